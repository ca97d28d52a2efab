// The export dialog over a small pivot, and the example cube exported the way a user exports it:
// the spreadsheet read back by LibreOffice, the HTML page read back by Qt's HTML engine.
#include "publishing/Export.h"

#include "common/TestSupport.h"
#include "designer/Campos.h"
#include "platform/controlhost/ControlHost.h"
#include "platform/db/ColumnarResult.h"
#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "platform/os/WindowTitle.h"
#include "platform/zip/Zip.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "viewer/Cubo.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <utility>

using namespace bd;

namespace {

std::shared_ptr<db::ColumnarResult> salesData() {
    db::ColumnData customer, amount;
    customer.name = "Customer", customer.kind = db::ColumnKind::Text,
    customer.dict = {"Lee", "O'Brien <Ltd>"};
    amount.name = "Amount", amount.kind = db::ColumnKind::Real, amount.adoType = 5;
    customer.codes = {0, 1, 1};
    amount.reals = {10.5, 2, 3};
    auto r = std::make_shared<db::ColumnarResult>();
    r->rowCount = 3;
    r->columns = {customer, amount};
    return r;
}

struct ExportDialog : ::testing::Test {
    test::TempHome home{false};
    os::ScopedPrompter prompts;
    os::ScriptedFileDialogs dialogs;
    os::RecordingDesktop desktop;
    QTemporaryDir out;
    pivot::PivotTable* dc = new pivot::PivotTable;
    void SetUp() override {
        os::setFileDialogs(&dialogs);
        os::setDesktop(&desktop);
        dc->setData(salesData());
        dc->addField("Customer", "Customer", pivot::PageArea)->setOrientation(pivot::RowArea);
        dc->addField("Amount", "Amount", pivot::DataArea)->setNumberFormat("0.00");
        dc->recalculate();
    }
    void TearDown() override {
        Export::unload();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete dc;
        os::setFileDialogs(nullptr);
        os::setDesktop(nullptr);
    }
    Export* openExport(const QString& resultTable) {
        Export* e = Export::instance();
        e->Serve(dc, resultTable);
        e->show();
        return e;
    }
};

// Converts the file with LibreOffice into folder; the converted file's path, "" with the reason in
// *error.
QString convert(const QString& file, const QString& filter, const QString& ext, const QString& folder,
                QString* error) {
    const QString lo = QStandardPaths::findExecutable("libreoffice");
    if (lo.isEmpty()) {
        *error = "libreoffice is not installed (package libreoffice-calc-nogui of .ci/packages)";
        return {};
    }
    QTemporaryDir profile;
    QProcess p;
    p.start(lo, {"-env:UserInstallation=" + QUrl::fromLocalFile(profile.path()).toString(), "--headless",
                 "--convert-to", filter, "--outdir", folder, file});
    if (!p.waitForFinished(180000) || p.exitCode() != 0) {
        *error = "libreoffice failed: " + QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    const QString out = folder + "/" + QFileInfo(file).completeBaseName() + "." + ext;
    if (!QFile::exists(out))
        *error = "nothing converted: " + QString::fromLocal8Bit(p.readAllStandardOutput());
    return out;
}

// The cells of a CSV text, row by row, quotes taken off.
QVector<QStringList> readCsv(const QString& text) {
    QVector<QStringList> rows;
    for (QString line : text.split('\n')) {
        line.remove('\r');
        if (line.isEmpty()) continue;
        QStringList cells;
        QString cell;
        bool quoted = false;
        for (QChar ch : line) {
            if (ch == '"')
                quoted = !quoted;
            else if (ch == ',' && !quoted)
                cells << std::exchange(cell, QString());
            else
                cell += ch;
        }
        rows << (cells << cell);
    }
    return rows;
}

// How many cells of each value type ("float", "string") the first sheet of an OpenDocument
// spreadsheet holds, from its content.xml.
QMap<QString, int> odsTypes(const QString& ods, QString* error) {
    QByteArray content;
    QMap<QString, int> out;
    if (!zip::readMember(ods, "content.xml", content, error)) return out;
    const QString office = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
    const QString table = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
    QXmlStreamReader r(content);
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement() || r.name() != QLatin1String("table-cell")) continue;
        const QString t = r.attributes().value(office, "value-type").toString();
        // Equal neighbours are stored once with a repeat count.
        const int repeated = std::max(1, r.attributes().value(table, "number-columns-repeated").toInt());
        if (!t.isEmpty()) out[t] += repeated;
    }
    return out;
}

// The example cube opened from the start window and refreshed.
struct Ejemplo {
    test::TempHome home{true};
    os::ScopedPrompter prompts;
    FrmMain start;
    Cubo* v = nullptr;
    Ejemplo() {
        controlhost::RegisterControlLibrary(QStringLiteral(BD_APP_DIR "/libglimford.so"));
        start.cmdAbrirEjemplo_Click();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* c = qobject_cast<Cubo*>(w)) v = c;
        if (v) v->Vcampos->Refrescar();
    }
    ~Ejemplo() {
        Export::unload();
        if (v) v->Salvar = false;
        delete v;
    }
};

} // namespace

TEST_F(ExportDialog, ProposedNameCaptionAndTheCancelledSaveDialog) {
    EXPECT_EQ(Export::ProposedName("Sales by region", "xls"), "Sales_by_region.xls");
    EXPECT_EQ(Export::ProposedName("Sales by region", "html"), "Sales_by_region.html");
    EXPECT_EQ(Export::ProposedName("2024/25 North", "xls"), "2024_25_North.xls");

    Export* e = openExport("Sales by region");
    EXPECT_EQ(e->windowTitle(), "Export Sales by region");
    EXPECT_FALSE(e->isModal());
    // The one dialog serves the viewer that opened it last, caption and all.
    EXPECT_EQ(openExport("2024/25 North"), e);
    EXPECT_EQ(e->windowTitle(), "Export 2024/25 North");
    EXPECT_GE(e->minimumWidth(), bd::os::titleBarWidth(e)) << "the caption is read whole";

    e->Option2->setChecked(true);
    e->cmdAceptar_Click();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_TRUE(dialogs.requests[0].save);
    EXPECT_EQ(dialogs.requests[0].fileName, "2024_25_North.html");
    EXPECT_EQ(dialogs.requests[0].defaultExt, "html");
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].text, "Cancel was selected.");
    EXPECT_EQ(prompts->prompts[0].title, "Export Error");
    EXPECT_EQ(prompts->prompts[0].icon, os::Icon::Critical);
    EXPECT_TRUE(e->isVisible()); // the dialog stays open
    EXPECT_TRUE(QDir(out.path()).isEmpty());
}

TEST_F(ExportDialog, TheTotalsChoiceSurvivesReopening) {
    Export* e = openExport("T");
    EXPECT_FALSE(e->chkTotales->isChecked());
    e->chkTotales->setChecked(true);
    e->cmdCancelar_Click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Export::loaded());
    EXPECT_EQ(os::GetSetting("OE", "CUBO", "CHKTOTALES"), "1");
    e = openExport("T");
    EXPECT_TRUE(e->chkTotales->isChecked());
    e->chkTotales->setChecked(false);
    e->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(os::GetSetting("OE", "CUBO", "CHKTOTALES"), "0");
    EXPECT_FALSE(openExport("T")->chkTotales->isChecked());
}

TEST_F(ExportDialog, HtmlExportIsPostProcessedEscapedAndOffersToOpen) {
    Export* e = openExport("Sales");
    e->Option2->setChecked(true);
    e->chkTotales->setChecked(true);
    const QString file = out.filePath("Sales.html");
    dialogs.answers << file;
    prompts->answer(os::Answer::Yes);
    General::sTamFuenteHTML = "20"; // as a publishing left it
    e->cmdAceptar_Click();
    General::sTamFuenteHTML = "15";
    ASSERT_EQ(prompts->prompts.size(), 1) << prompts->texts().join('/').toStdString();
    EXPECT_EQ(prompts->prompts[0].text, "Do you want to open the file?");
    EXPECT_EQ(prompts->prompts[0].title, "Open");
    EXPECT_EQ(prompts->prompts[0].buttons, os::Buttons::YesNo);
    EXPECT_EQ(desktop.opened, QStringList{file});
    const QString html = QString::fromUtf8(test::readFile(file));
    EXPECT_TRUE(html.startsWith("<HTML><HEAD>\r\n"));
    EXPECT_TRUE(
        html.contains("<STYLE type='text/css'>\r\np {  border:1px solid gray; border-collapse:collapse; "
                      "font:normal 20px verdana"));
    EXPECT_TRUE(html.contains("O'Brien &lt;Ltd&gt;")) << html.toStdString();
    EXPECT_FALSE(html.contains("<Ltd>"));
    EXPECT_TRUE(html.endsWith("</STYLE>\r\n</BODY></HTML>\r\n"));
    EXPECT_TRUE(e->isVisible());

    // Answering No opens nothing.
    dialogs.answers << file;
    prompts->answer(os::Answer::No);
    e->cmdAceptar_Click();
    EXPECT_EQ(desktop.opened.size(), 1);
}

TEST_F(ExportDialog, APivotThatWentAwayIsAnErrorNotACrash) {
    Export* e = openExport("Sales");
    delete dc;
    dc = nullptr;
    EXPECT_TRUE(e->Cubo.isNull());
    dialogs.answers << out.filePath("Sales.xls");
    e->cmdAceptar_Click();
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].title, "Export Error");
    EXPECT_EQ(prompts->prompts[0].text, "The cube of this export is no longer open.");
    EXPECT_FALSE(QFile::exists(out.filePath("Sales.xls")));
}

TEST(ExampleExport, SpreadsheetOpensInLibreOfficeWithTheSameNumbers) {
    Ejemplo x;
    ASSERT_NE(x.v, nullptr) << x.prompts->texts().join('/').toStdString();
    os::ScriptedFileDialogs dialogs;
    os::setFileDialogs(&dialogs);
    QTemporaryDir out;
    const QString file = out.filePath("Example.xls");
    dialogs.answers << file;
    x.v->ExportarCubo();
    Export* e = Export::instance();
    EXPECT_EQ(e->Cubo, x.v->DC);
    e->Option1->setChecked(true);
    e->chkTotales->setChecked(true);
    x.prompts->answer(os::Answer::No);
    e->cmdAceptar_Click();
    os::setFileDialogs(nullptr);
    ASSERT_EQ(x.prompts->texts(), QStringList{"Do you want to open the file?"});

    QString error;
    // Cell contents as stored, not as shown: the numbers themselves.
    const QString csvFile =
        convert(file, "csv:Text - txt - csv (StarCalc):44,34,76,1,,1033,false,false,false", "csv", out.path(),
                &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const QVector<QStringList> rows = readCsv(QString::fromUtf8(test::readFile(csvFile)));

    const pivot::PivotTable& dc = *x.v->DC;
    ASSERT_GT(dc.resultRows(), 10);
    const int pages = dc.pageFields().count();
    const int top = pages + (pages ? 1 : 0) + dc.columnFields().count() + 1;
    const int left = std::max(1, dc.rowFields().count());
    ASSERT_EQ(rows.size(), top + dc.resultRows());
    int numbers = 0;
    for (int r = 0; r < dc.resultRows(); ++r) {
        const QStringList& cells = rows[top + r];
        ASSERT_EQ(cells.size(), left + dc.resultColumns()) << cells.join('|').toStdString();
        for (int l = 0; l < dc.rowFields().count(); ++l)
            EXPECT_EQ(cells[l], dc.rowHeaderText(r, l));
        for (int c = 0; c < dc.resultColumns(); ++c) {
            const QVariant v = dc.cellValue(r, c);
            const QString cell = cells[left + c];
            if (!v.isValid()) {
                EXPECT_TRUE(cell.isEmpty()) << r << "," << c;
                continue;
            }
            bool ok = false;
            const double d = cell.toDouble(&ok);
            ASSERT_TRUE(ok) << r << "," << c << ": " << cell.toStdString();
            EXPECT_NEAR(d, v.toDouble(), 1e-9 * std::max(1.0, std::abs(v.toDouble()))) << r << "," << c;
            ++numbers;
        }
    }
    EXPECT_GT(numbers, 20);
    // Numbers as numbers: every value cell is a number in the spreadsheet, every header a text.
    const QMap<QString, int> types = odsTypes(convert(file, "ods", "ods", out.path(), &error), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(types.value("float"), numbers);
    EXPECT_EQ(types.keys(), (QStringList{"float", "string"}));
}

TEST(ExampleExport, HtmlPageShowsTheTableInQtsHtmlEngine) {
    Ejemplo x;
    ASSERT_NE(x.v, nullptr) << x.prompts->texts().join('/').toStdString();
    os::ScriptedFileDialogs dialogs;
    os::setFileDialogs(&dialogs);
    QTemporaryDir out;
    const QString file = out.filePath("Example.html");
    dialogs.answers << file;
    x.v->ExportarCubo();
    Export* e = Export::instance();
    e->Option2->setChecked(true);
    e->chkTotales->setChecked(true);
    x.prompts->answer(os::Answer::No);
    e->cmdAceptar_Click();
    os::setFileDialogs(nullptr);
    ASSERT_EQ(x.prompts->texts(), QStringList{"Do you want to open the file?"});

    QTextDocument doc;
    doc.setHtml(QString::fromUtf8(test::readFile(file)));
    QTextTable* table = nullptr;
    for (QTextFrame* f : doc.rootFrame()->childFrames())
        if ((table = qobject_cast<QTextTable*>(f))) break;
    ASSERT_NE(table, nullptr);
    const pivot::PivotTable& dc = *x.v->DC;
    const int pages = dc.pageFields().count();
    const int top = pages + (pages ? 1 : 0) + dc.columnFields().count() + 1;
    const int left = std::max(1, dc.rowFields().count());
    ASSERT_EQ(table->rows(), top + dc.resultRows());
    ASSERT_EQ(table->columns(), left + dc.resultColumns());
    auto text = [&](int row, int col) {
        QTextTableCell cell = table->cellAt(row, col);
        QTextCursor a = cell.firstCursorPosition(), b = cell.lastCursorPosition();
        a.setPosition(b.position(), QTextCursor::KeepAnchor);
        return a.selectedText().replace(QChar(0xA0), ' ').trimmed();
    };
    for (int r = 0; r < dc.resultRows(); ++r)
        for (int c = 0; c < dc.resultColumns(); ++c)
            EXPECT_EQ(text(top + r, left + c), dc.cellText(r, c).trimmed()) << r << "," << c;
    // The row headers of the first row, as the pivot shows them.
    for (int l = 0; l < dc.rowFields().count(); ++l)
        EXPECT_EQ(text(top, l), dc.rowHeaderText(0, l));
}

// A sum past the largest double shows as an empty cell in the table; the spreadsheet gets the same
// empty cell rather than a "Number" that no program reads.
TEST_F(ExportDialog, AnOverflowedSumIsAnEmptyCellInTheSpreadsheet) {
    db::ColumnData k, v;
    k.name = "K", k.kind = db::ColumnKind::Text, k.dict = {"a", "b"};
    v.name = "V", v.kind = db::ColumnKind::Real, v.adoType = 5;
    k.codes = {0, 0, 1};
    v.reals = {1e308, 1e308, 2.5};
    auto r = std::make_shared<db::ColumnarResult>();
    r->rowCount = 3;
    r->columns = {k, v};
    dc->setData(r);
    dc->removeAllFields();
    dc->addField("K", "K", pivot::PageArea)->setOrientation(pivot::RowArea);
    dc->addField("V", "V", pivot::DataArea);
    dc->recalculate();
    ASSERT_TRUE(std::isinf(dc->cellValue(0, 0).toDouble()));
    EXPECT_EQ(dc->cellText(0, 0), "");
    Export* e = openExport("Big");
    e->chkTotales->setChecked(true);
    const QString file = out.filePath("Big.xls");
    dialogs.answers << file;
    prompts->answer(os::Answer::No);
    e->cmdAceptar_Click();
    QString error;
    const QString csv = convert(file, "csv:Text - txt - csv (StarCalc):44,34,76,1,,1033,false,false,false",
                                "csv", out.path(), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const QVector<QStringList> rows = readCsv(QString::fromUtf8(test::readFile(csv)));
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[1], (QStringList{"a", ""}));
    EXPECT_EQ(rows[2], (QStringList{"b", "2.5"}));
    EXPECT_EQ(rows[3], (QStringList{"Grand Total", ""}));
}
