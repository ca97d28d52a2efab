// The pivot table as its callers use it: fields, results, SQLite binding, layout file, exports,
// printing and the events of the widget.
#include "platform/pivot/PivotTable.h"
#include "common/TestSupport.h"
#include "platform/pivot/NumberFormat.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPrinter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

using namespace bd::pivot;
using bd::db::ColumnarResult;
using bd::db::ColumnData;
using bd::db::ColumnKind;

namespace {

// region (text), product (text, with NULLs), year (int), amount (real, with NULLs), qty (int)
ColumnarResult sales() {
    ColumnarResult r;
    ColumnData region, product, year, amount, qty;
    region.name = "region", region.kind = ColumnKind::Text, region.dict = {"North", "South", "East"};
    product.name = "product", product.kind = ColumnKind::Text, product.dict = {"Tea", "Coffee <b>"};
    year.name = "year", year.kind = ColumnKind::Integer, year.adoType = 3;
    amount.name = "amount", amount.kind = ColumnKind::Real, amount.adoType = 5;
    qty.name = "qty", qty.kind = ColumnKind::Integer, qty.adoType = 3;
    for (int i = 0; i < 60; ++i) {
        region.codes.push_back(uint32_t(i % 3));
        product.codes.push_back(uint32_t(i % 2));
        product.nulls.push_back(i % 11 == 0);
        year.ints.push_back(2020 + i % 4);
        amount.reals.push_back(i * 1.25);
        amount.nulls.push_back(i % 7 == 0);
        qty.ints.push_back(1 + i % 5);
    }
    r.columns = {region, product, year, amount, qty};
    r.rowCount = 60;
    return r;
}

void standardLayout(PivotTable& t) {
    t.addField("region", "Region", 4)->setOrientation(RowArea);
    t.addField("year", "Year", 4)->setOrientation(ColumnArea);
    t.addField("product", "Product", 4);
    PivotField* a = t.addField("amount", "amount", 3);
    a->setCaption("Amount");
    a->setNumberFormat("#,##0.00");
    t.addField("qty", "qty", 3)->setAggregate(Max);
}

std::vector<QString> gridTexts(const PivotTable& t) {
    std::vector<QString> out;
    for (int r = 0; r < t.resultRows(); ++r)
        for (int l = 0; l < t.rowFields().count(); ++l)
            out.push_back(t.rowHeaderText(r, l));
    for (int c = 0; c < t.resultColumns(); ++c)
        for (int l = 0; l <= t.columnFields().count(); ++l)
            out.push_back(t.columnHeaderText(c, l));
    for (int r = 0; r < t.resultRows(); ++r)
        for (int c = 0; c < t.resultColumns(); ++c)
            out.push_back(t.cellText(r, c));
    return out;
}

void sendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton b, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), b, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

QPoint find(const PivotTable& t, const std::function<bool(const PivotElement&)>& want) {
    const QSize s = t.viewport()->size();
    for (int y = 2; y < s.height(); y += 3)
        for (int x = 2; x < s.width(); x += 3)
            if (want(t.elementAt({x, y}))) return {x, y};
    return {-1, -1};
}

} // namespace

TEST(PivotTable, FieldCollectionsAreZeroBasedAndVisitEachFieldOnce) {
    PivotTable t;
    t.setData(sales());
    standardLayout(t);
    EXPECT_EQ(t.fields().count(), 5);
    EXPECT_EQ(t.rowFields().count(), 1);
    EXPECT_EQ(t.columnFields().count(), 1);
    EXPECT_EQ(t.pageFields().count(), 1);
    EXPECT_EQ(t.dataFields().count(), 2);
    QStringList seen;
    for (int i = 0; i < t.fields().count(); ++i)
        seen << t.fields().item(i)->name();
    EXPECT_EQ(seen, (QStringList{"region", "year", "product", "amount", "qty"}));
    EXPECT_EQ(t.fields().item(5), nullptr);
    EXPECT_EQ(t.fields().item(-1), nullptr);
    EXPECT_EQ(t.fields().item("AMOUNT")->caption(), "Amount");
    EXPECT_EQ(t.fields().item("nope"), nullptr);
    EXPECT_EQ(t.dataFields().item(1)->name(), "qty");
    // a position beyond the end means last; position 0 first
    t.dataFields().item("qty")->setPosition(0);
    EXPECT_EQ(t.dataFields().item(0)->name(), "qty");
    t.dataFields().item("qty")->setPosition(99);
    EXPECT_EQ(t.dataFields().item(1)->name(), "qty");
    // a column can be a dimension and a data field at once; the same kind again is the same field
    PivotField* qtyDim = t.addField("qty", "qty", 4);
    EXPECT_NE(qtyDim, t.dataFields().item("qty"));
    EXPECT_EQ(t.addField("QTY", "qty", 3), t.dataFields().item("qty"));
    EXPECT_EQ(t.pageFields().count(), 2);
    EXPECT_TRUE(t.removeField("qty"));
    EXPECT_EQ(t.dataFields().count(), 1);
    EXPECT_TRUE(t.removeField("Product"));
    EXPECT_FALSE(t.removeField("Product"));
    EXPECT_EQ(t.pageFields().count(), 0);
    t.removeAllFields();
    EXPECT_EQ(t.fields().count(), 0);
    EXPECT_EQ(t.resultRows(), 0);
}

TEST(PivotTable, ResultGridHeadersTotalsAndDataFields) {
    PivotTable t;
    t.setData(sales());
    standardLayout(t);
    ASSERT_TRUE(t.recalculate()) << t.lastError().toStdString();
    // rows: East, North, South (collation), Grand Total; columns: 4 years + total, times 2 data fields
    ASSERT_EQ(t.resultRows(), 4);
    ASSERT_EQ(t.resultColumns(), 10);
    EXPECT_EQ(t.rowHeaderText(0, 0), "East");
    EXPECT_EQ(t.rowHeaderText(3, 0), "Grand Total");
    EXPECT_TRUE(t.isTotalRow(3));
    EXPECT_FALSE(t.isTotalRow(0));
    EXPECT_EQ(t.columnHeaderText(0, 0), "2020");
    EXPECT_EQ(t.columnHeaderText(0, 1), "Amount");
    EXPECT_EQ(t.columnHeaderText(1, 1), "qty");
    EXPECT_EQ(t.columnHeaderText(8, 0), "Grand Total");
    EXPECT_TRUE(t.isTotalColumn(9));
    EXPECT_EQ(t.dataFieldAt(0, 1)->name(), "qty");
    EXPECT_EQ(t.dataFieldIndex(2), 0);
    // Grand total of amount: every non-null amount
    double sum = 0;
    for (int i = 0; i < 60; ++i)
        if (i % 7) sum += i * 1.25;
    EXPECT_DOUBLE_EQ(t.cellValue(3, 8).toDouble(), sum);
    EXPECT_EQ(t.cellValue(3, 9).toDouble(), 5);
    // label order descending, then sort by the data field qty's Max ascending
    PivotField* region = t.rowFields().item(0);
    region->setLabelOrder(1);
    EXPECT_EQ(t.rowHeaderText(0, 0), "South");
    region->setSortByDataMode(1);
    region->setSortByDataField(0);
    QStringList byAmount;
    for (int r = 0; r < 3; ++r)
        byAmount << t.rowHeaderText(r, 0);
    std::vector<double> v;
    for (int r = 0; r < 3; ++r)
        v.push_back(t.cellValue(r, 8).toDouble());
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    // a page selection narrows every cell
    t.pageFields().item(0)->setMemberVisible("Tea", false);
    EXPECT_LT(t.cellValue(t.resultRows() - 1, 8).toDouble(), sum);
    EXPECT_EQ(t.pageFields().item(0)->members(), (QStringList{"Coffee <b>", "Tea", "(blank)"}));
}

TEST(PivotTable, CalculatedFieldsCountFieldAndFormulaErrors) {
    PivotTable t;
    t.setData(sales());
    t.addField("region", "Region", 1);
    t.addField("amount", "amount", 3);
    t.addField("1", "Count", 3);
    PivotField* calc = t.addField("Per_record", "Per record", 3);
    calc->setFormula("amount / [Count]");
    PivotField* zero = t.addField("Zero", "Zero", 3);
    zero->setFormula("amount / (Count - Count)");
    ASSERT_TRUE(t.recalculate()) << t.lastError().toStdString();
    for (int r = 0; r < t.resultRows(); ++r) {
        EXPECT_DOUBLE_EQ(t.cellValue(r, 2).toDouble(),
                         t.cellValue(r, 0).toDouble() / t.cellValue(r, 1).toDouble());
        EXPECT_FALSE(t.cellValue(r, 3).isValid()); // division by zero: empty
    }
    EXPECT_EQ(t.cellValue(t.resultRows() - 1, 1).toInt(), 60); // "1" counts records, the total row too
    calc->setFormula("amount / (Count");
    EXPECT_FALSE(t.recalculate());
    EXPECT_TRUE(t.lastError().contains("Per record")) << t.lastError().toStdString();
    EXPECT_FALSE(t.cellValue(0, 2).isValid());
    EXPECT_TRUE(t.cellValue(0, 0).isValid()); // the other fields still show
    calc->setFormula("amount * unknownField");
    EXPECT_FALSE(t.recalculate());
}

TEST(PivotTable, SumsMatchSqliteGroupBy) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sales.db");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fixture");
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("CREATE TABLE sales(region TEXT, year INTEGER, amount REAL)"));
        db.transaction();
        q.prepare("INSERT INTO sales VALUES (?, ?, ?)");
        for (int i = 0; i < 500; ++i) {
            q.addBindValue(QStringLiteral("R%1").arg(i % 6));
            q.addBindValue(2015 + i % 5);
            q.addBindValue(i % 13 == 5 ? QVariant() : QVariant((i * 37 % 1000) / 10.0));
            ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        }
        db.commit();
    }
    PivotTable t;
    t.setConnectionType(5);
    t.setConnectionString("Provider=SQLite;Data Source=" + path);
    t.setRecordSource("SELECT region, year, amount FROM sales");
    t.addField("region", "region", 4)->setOrientation(RowArea);
    t.addField("year", "year", 4)->setOrientation(ColumnArea);
    t.addField("amount", "amount", 3);
    ASSERT_TRUE(t.setAfterSql(true)) << t.lastError().toStdString();
    std::map<std::pair<QString, QString>, double> want;
    {
        QSqlDatabase db = QSqlDatabase::database("fixture");
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("SELECT region, year, SUM(amount) FROM sales GROUP BY region, year"));
        while (q.next())
            want[{q.value(0).toString(), q.value(1).toString()}] = q.value(2).toDouble();
        ASSERT_TRUE(q.exec("SELECT region, SUM(amount) FROM sales GROUP BY region"));
        while (q.next())
            want[{q.value(0).toString(), "Grand Total"}] = q.value(1).toDouble();
        ASSERT_TRUE(q.exec("SELECT year, SUM(amount) FROM sales GROUP BY year"));
        while (q.next())
            want[{"Grand Total", q.value(0).toString()}] = q.value(1).toDouble();
    }
    QSqlDatabase::removeDatabase("fixture");
    size_t checked = 0;
    for (int r = 0; r < t.resultRows(); ++r)
        for (int c = 0; c < t.resultColumns(); ++c) {
            auto it = want.find({t.rowHeaderText(r, 0), t.columnHeaderText(c, 0)});
            if (it == want.end()) continue;
            EXPECT_NEAR(t.cellValue(r, c).toDouble(), it->second, 1e-9);
            ++checked;
        }
    EXPECT_EQ(checked, want.size());
    // a failing query keeps the previous result and reports the error
    t.setRecordSource("SELECT nothing FROM nowhere");
    EXPECT_FALSE(t.setAfterSql(true));
    EXPECT_FALSE(t.lastError().isEmpty());
    EXPECT_EQ(t.resultRows(), 7);
}

TEST(PivotTable, LayoutWithDataReloadsWithoutDatabase) {
    QTemporaryDir dir;
    const QString path = dir.filePath("temp.cub");
    PivotTable t;
    t.setData(sales());
    standardLayout(t);
    t.rowFields().item(0)->setLabelOrder(1);
    t.pageFields().item(0)->setMemberVisible("Tea", false);
    t.dataFields().item(0)->setSortByDataMode(0);
    t.setPrintHeader("Header");
    ASSERT_TRUE(t.saveLayout(path, 3));
    PivotTable u;
    QString err;
    ASSERT_TRUE(u.loadLayout(path, &err)) << err.toStdString();
    EXPECT_EQ(gridTexts(u), gridTexts(t));
    EXPECT_EQ(u.dataFields().item(0)->numberFormat(), "#,##0.00");
    EXPECT_EQ(u.printHeader(), "Header");
    EXPECT_EQ(u.fields().item(3)->name(), "amount");
    // layout only: the fields come back, the data does not
    ASSERT_TRUE(t.saveLayout(path, 2));
    PivotTable v;
    ASSERT_TRUE(v.loadLayout(path));
    EXPECT_EQ(v.fields().count(), 5);
    EXPECT_EQ(v.resultRows(), 0);
}

TEST(PivotTable, DamagedLayoutFilesChangeNothing) {
    QTemporaryDir dir;
    const QString good = dir.filePath("good.cub");
    PivotTable t;
    t.setData(sales());
    standardLayout(t);
    ASSERT_TRUE(t.saveLayout(good, 3));
    const QByteArray bytes = bd::test::readFile(good);
    QByteArray wrongCode = bytes;
    // a text code pointing past its dictionary
    const QByteArray oneCode = QByteArray::fromRawData("\x07\x00\x00\x00", 4).toBase64();
    QByteArray badCount = bytes;
    badCount.replace("\"rowCount\":60", "\"rowCount\":61");
    QByteArray future = bytes;
    future.replace("\"version\":1", "\"version\":99");
    QByteArray badAgg = bytes;
    badAgg.replace("\"aggregate\":3", "\"aggregate\":12");
    const std::vector<QByteArray> cases = {bytes.left(bytes.size() / 2),
                                           "",
                                           "[1,2]",
                                           "{\"format\":\"something else\",\"version\":1}",
                                           badCount,
                                           future,
                                           badAgg};
    const auto before = gridTexts(t);
    for (size_t i = 0; i < cases.size(); ++i) {
        const QString p = dir.filePath(QStringLiteral("bad%1.cub").arg(i));
        ASSERT_TRUE(bd::test::writeFile(p, cases[i]));
        QString err;
        EXPECT_FALSE(t.loadLayout(p, &err)) << i;
        EXPECT_FALSE(err.isEmpty()) << i;
        EXPECT_EQ(gridTexts(t), before) << i;
        EXPECT_EQ(t.fields().count(), 5) << i;
    }
    EXPECT_FALSE(t.loadLayout(dir.filePath("missing.cub")));
    // A device or a FIFO named as a layout is refused at once, not read for ever.
    const QString fifo = dir.filePath("layout.fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& p : {fifo, QString("/dev/zero")}) {
        QString err;
        EXPECT_FALSE(t.loadLayout(p, &err));
        EXPECT_TRUE(err.contains("not a regular file")) << err.toStdString();
    }
    EXPECT_EQ(t.fields().count(), 5);
}

// The reading side of the HTML post-processing: what it expects of the export's lines.
TEST(PivotTable, HtmlExportHasThePostProcessingLineLayout) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.html");
    PivotTable t;
    t.setData(sales());
    standardLayout(t);
    t.fields().item("product")->setOrientation(RowArea);
    ASSERT_TRUE(t.exportHtml(path, true, true, true, true));
    const QByteArray raw = bd::test::readFile(path);
    ASSERT_TRUE(raw.endsWith("\r\n"));
    const QStringList lines = QString::fromUtf8(raw).split("\r\n");
    ASSERT_TRUE(lines.first().startsWith("<HTML>"));
    const int body = int(lines.indexOf(QRegularExpression("^</HEAD><BODY>.*")));
    const int table = int(lines.indexOf(QRegularExpression("^<TABLE.*")));
    const int style = int(lines.indexOf(QRegularExpression("^<STYLE type=.*")));
    ASSERT_GE(body, 1);
    ASSERT_GT(table, body);
    ASSERT_GT(style, table);
    QStringList kept;
    for (int i = style + 1; i < lines.size(); ++i)
        if (lines[i].startsWith(" td.data") && !lines[i].startsWith(" td.data ")) kept << lines[i];
    EXPECT_EQ(kept, (QStringList{
                        " td.data0 { font:normal normal normal 9.75pt normal Verdana; text-align:right; }",
                        " td.data1 { font:normal normal normal 9.75pt normal Verdana; text-align:right; }"}));
    for (int i = style + 1; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].startsWith(" td.") || lines[i] == "</STYLE>" || lines[i] == "</BODY></HTML>" ||
                    lines[i].isEmpty())
            << lines[i].toStdString();
    // one element per line, and member texts are escaped
    EXPECT_TRUE(lines.contains("<TD class=\"header\">Coffee &lt;b&gt;</TD>"));
    for (int i = table; i < style; ++i)
        EXPECT_LE(lines[i].count("<TD"), 1) << lines[i].toStdString();
    // totals off: no total lines
    ASSERT_TRUE(t.exportHtml(path, false));
    EXPECT_FALSE(QString::fromUtf8(bd::test::readFile(path)).contains("Total"));
}

TEST(PivotTable, SpreadsheetExportReadsBackWithTheSameNumbers) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.xls");
    PivotTable t;
    t.setData(sales());
    standardLayout(t);
    t.fields().item("product")->setOrientation(RowArea);
    ASSERT_TRUE(t.exportSpreadsheet(path, true, true, true, true));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QXmlStreamReader x(&f);
    std::vector<double> numbers;
    std::vector<QString> strings;
    bool number = false, sawPi = false;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isProcessingInstruction() &&
            x.processingInstructionTarget() == QLatin1String("mso-application"))
            sawPi = true;
        if (x.isStartElement() && x.name() == QLatin1String("Data")) {
            number = x.attributes().value("urn:schemas-microsoft-com:office:spreadsheet", "Type") ==
                     QLatin1String("Number");
            const QString text = x.readElementText();
            if (number)
                numbers.push_back(text.toDouble());
            else
                strings.push_back(text);
        }
    }
    ASSERT_FALSE(x.hasError()) << x.errorString().toStdString();
    EXPECT_TRUE(sawPi);
    std::vector<double> want;
    for (int r = 0; r < t.resultRows(); ++r)
        for (int c = 0; c < t.resultColumns(); ++c)
            if (t.cellValue(r, c).isValid()) want.push_back(t.cellValue(r, c).toDouble());
    EXPECT_EQ(numbers, want);
    EXPECT_NE(std::find(strings.begin(), strings.end(), "Grand Total"), strings.end());
    EXPECT_NE(std::find(strings.begin(), strings.end(), "Coffee <b>"),
              strings.end()); // escaped by the writer, read back intact
}

TEST(PivotTable, PrintsHeaderAndTableToPdf) {
    QTemporaryDir dir;
    PivotTable t;
    t.setData(sales());
    standardLayout(t);
    t.setPrintHeader("Sales by region");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("out.pdf"));
    t.print(&printer);
    const QByteArray pdf = bd::test::readFile(dir.filePath("out.pdf"));
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_GT(pdf.size(), 2000);
}

TEST(PivotTable, DraggingAHeaderRaisesLayoutChangedOnceAndRepivots) {
    PivotTable t;
    t.resize(900, 420);
    t.setData(sales());
    standardLayout(t);
    t.show();
    QApplication::processEvents();
    QSignalSpy changed(&t, &PivotTable::layoutChangedByUser);
    QSignalSpy hint(&t, &PivotTable::hintRemoval);
    const QPoint from = find(t, [](const PivotElement& e) {
        return e.kind == PivotElement::FieldHeader && e.field->name() == "product";
    });
    // drop on the right half of the region header: product becomes the inner row field
    QPoint to = find(t, [](const PivotElement& e) {
        return e.kind == PivotElement::FieldHeader && e.field->name() == "region";
    });
    ASSERT_GE(from.x(), 0);
    ASSERT_GE(to.x(), 0);
    while (t.elementAt(to + QPoint(3, 0)).field && t.elementAt(to + QPoint(3, 0)).field->name() == "region")
        to += QPoint(3, 0);
    QWidget* vp = t.viewport();
    sendMouse(vp, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 10; ++i)
        sendMouse(vp, QEvent::MouseMove, from + (to - from) * i / 10, Qt::NoButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(hint.count(), 1);
    ASSERT_EQ(t.rowFields().count(), 2);
    EXPECT_EQ(t.rowFields().item(1)->name(), "product");
    EXPECT_EQ(t.rowHeaderText(0, 1), "Coffee <b>");
    EXPECT_EQ(t.rowHeaderText(1, 1), "Tea");
    EXPECT_EQ(t.rowHeaderText(3, 0), "East Total");
    // a click without moving does not change the layout
    const QPoint year = find(t, [](const PivotElement& e) {
        return e.kind == PivotElement::FieldHeader && e.field->name() == "year";
    });
    sendMouse(vp, QEvent::MouseButtonPress, year, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, year, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(changed.count(), 1);
}

TEST(PivotTable, MouseEventsReportElementsAndButtons) {
    PivotTable t;
    t.resize(900, 420);
    t.setData(sales());
    standardLayout(t);
    t.show();
    QApplication::processEvents();
    QSignalSpy pressed(&t, &PivotTable::mouseButtonPressed);
    QSignalSpy dbl(&t, &PivotTable::elementDoubleClicked);
    QWidget* vp = t.viewport();
    const QPoint member = find(t, [](const PivotElement& e) { return e.kind == PivotElement::RowMember; });
    sendMouse(vp, QEvent::MouseButtonPress, member, Qt::RightButton, Qt::RightButton);
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed[0][0].toInt(), 2);
    const auto e = pressed[0][1].value<PivotElement>();
    EXPECT_EQ(e.kind, 5);
    EXPECT_EQ(e.index, 0);
    EXPECT_EQ(e.field->name(), "region");
    const QPoint cell =
        find(t, [](const PivotElement& e) { return e.kind == PivotElement::Cell && e.column == 3; });
    QMouseEvent de(QEvent::MouseButtonDblClick, QPointF(cell), vp->mapToGlobal(QPointF(cell)), Qt::LeftButton,
                   Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &de);
    ASSERT_EQ(dbl.count(), 1);
    EXPECT_EQ(dbl[0][0].value<PivotElement>().kind, PivotElement::Cell);
    const QPoint header = find(t, [](const PivotElement& e) {
        return e.kind == PivotElement::FieldHeader && e.field->name() == "year";
    });
    EXPECT_EQ(t.elementAt(header).kind, 3);
    sendMouse(vp, QEvent::MouseButtonPress, cell, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, cell, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(t.currentColumn(), 3);
    EXPECT_EQ(t.elementUnderPointer().column, 3);
}

TEST(PivotTable, CellFormatterSeesValuesAndColoursCells) {
    PivotTable t;
    t.resize(1000, 360);
    t.setData(sales());
    standardLayout(t);
    t.fields().item("product")->setOrientation(RowArea);
    int calls = 0, wrong = 0;
    t.setCellFormatter([&](CellFormat& c) {
        ++calls;
        if (c.value != t.cellValue(c.row, c.column) || c.dataField != t.dataFieldIndex(c.column)) ++wrong;
        if (c.dataField == 0 && c.value.isValid() && c.value.toDouble() > 50 && !c.total) {
            c.back = QColor(0xff, 0x80, 0x80);
            c.fore = Qt::blue;
        }
    });
    t.show();
    const QImage img = t.grab().toImage();
    EXPECT_GT(calls, 20);
    EXPECT_EQ(wrong, 0);
    img.save(QDir::tempPath() + "/pivot_grab.png");
    bool red = false;
    for (int y = 0; y < img.height() && !red; ++y)
        for (int x = 0; x < img.width() && !red; ++x)
            red = img.pixelColor(x, y) == QColor(0xff, 0x80, 0x80);
    EXPECT_TRUE(red);
}

TEST(PivotNumberFormat, MasksFollowTheLocale) {
    const QLocale en(QLocale::English, QLocale::UnitedStates), es(QLocale::Spanish, QLocale::Spain);
    struct Case {
        double v;
        const char* mask;
        const QLocale* loc;
        const char* want;
    };
    const Case cases[] = {{1234.567, "#,##0.00", &en, "1,234.57"},
                          {1234.567, "0,00", &es, "1234,57"},
                          {1234567.5, "#.##0,00", &es, "1.234.567,50"},
                          {-0.5, "0.0", &en, "-0.5"},
                          {0.256, "0%", &en, "26%"},
                          {1234.567, "0", &en, "1235"},
                          {2.5, "", &en, "2.5"},
                          {2.5, "", &es, "2,5"},
                          {7, "000", &en, "007"},
                          {1234567.5, "#,##0.00", &es, "1.234.567,50"}};
    for (const auto& c : cases)
        EXPECT_EQ(formatNumber(c.v, c.mask, *c.loc), c.want) << c.mask;
    EXPECT_EQ(maskDecimals("0,00", es), 2);
    EXPECT_EQ(maskDecimals("", en), 2);
    EXPECT_EQ(maskDecimals("0", en), 0);
}

TEST(PivotTable, LargeResultScrollsToItsLastRow) {
    ColumnarResult r;
    ColumnData id, v;
    id.name = "id", id.kind = ColumnKind::Integer;
    v.name = "v", v.kind = ColumnKind::Real;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        id.ints.push_back(i);
        v.reals.push_back(i * 0.5);
    }
    r.columns = {id, v};
    r.rowCount = n;
    PivotTable t;
    t.resize(600, 400);
    t.setData(std::move(r));
    t.addField("id", "id", RowArea);
    t.addField("v", "v", DataArea);
    t.show();
    ASSERT_EQ(t.resultRows(), n + 1);
    t.verticalScrollBar()->setValue(t.verticalScrollBar()->maximum());
    const QImage img = t.grab().toImage();
    EXPECT_FALSE(img.isNull());
    // the grand total row is on screen
    EXPECT_GE(find(t, [&](const PivotElement& e) { return e.kind == PivotElement::Cell && e.row == n; }).x(),
              0);
    EXPECT_EQ(t.rowHeaderText(n - 1, 0), "199999");
}
