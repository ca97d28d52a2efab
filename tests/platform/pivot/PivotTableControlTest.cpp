// The pivot control as a user meets it: the page-field member list, field chips that never overlap,
// and printing that fits the table to the page.
#include "common/TestSupport.h"
#include "platform/os/DialogRunner.h"
#include "platform/pivot/PageFieldList.h"
#include "platform/pivot/PivotTable.h"

#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace bd::pivot;
using bd::db::ColumnarResult;
using bd::db::ColumnData;
using bd::db::ColumnKind;

namespace {

constexpr int kDays = 719; // as many dates as the example cube's Date field holds

// One sale a day from 2024-01-01, the amount being the day's number plus a quarter; a last sale
// without a date (NULL).
ColumnarResult daily() {
    ColumnarResult r;
    ColumnData day, region, amount, cost, tax;
    day.name = "day", day.kind = ColumnKind::Text;
    region.name = "region", region.kind = ColumnKind::Text, region.dict = {"North", "South", "East", "West"};
    amount.name = "amount", amount.kind = ColumnKind::Real, amount.adoType = 5;
    cost.name = "cost", cost.kind = ColumnKind::Real, cost.adoType = 5;
    tax.name = "tax", tax.kind = ColumnKind::Real, tax.adoType = 5;
    const QDate first(2024, 1, 1);
    for (int i = 0; i <= kDays; ++i) {
        const bool null = i == kDays;
        if (!null) day.dict.push_back(first.addDays(i).toString(Qt::ISODate).toStdString());
        day.codes.push_back(null ? 0 : uint32_t(i));
        day.nulls.push_back(null);
        region.codes.push_back(uint32_t(i % 4));
        amount.reals.push_back(i + 0.25);
        cost.reals.push_back((i + 0.25) * 0.6);
        tax.reals.push_back((i + 0.25) * 0.21);
    }
    r.columns = {day, region, amount, cost, tax};
    r.rowCount = kDays + 1;
    return r;
}

double grandTotal(const PivotTable& t) {
    return t.cellValue(t.resultRows() - 1, t.resultColumns() - 1).toDouble();
}

void clickRow(QListView* list, int row) {
    const QRect r = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

struct DailyTable {
    PivotTable t;
    PivotField* day;
    DailyTable() {
        t.resize(900, 500);
        t.setData(daily());
        day = t.addField("day", "Date", PageArea);
        t.addField("region", "Region", PageArea)->setOrientation(RowArea);
        t.addField("amount", "Amount", DataArea)->setNumberFormat("#,##0.00");
        t.recalculate();
        t.show();
        QApplication::processEvents();
    }
    // A click on the Date chip opens its list; script answers it.
    int open(const std::function<int(PageFieldList&)>& script) {
        int shown = 0;
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            auto* list = qobject_cast<PageFieldList*>(d);
            EXPECT_NE(list, nullptr);
            ++shown;
            return list ? script(*list) : int(QDialog::Rejected);
        });
        QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, t.chipRect(day).center());
        return shown;
    }
};

} // namespace

TEST(PageFieldList, SearchNoneTickTwoOkRecalculatesOnceWithTheRightTotals) {
    DailyTable d;
    QSignalSpy recalculated(&d.t, &PivotTable::recalculated);
    QSignalSpy redraw(&d.t, &PivotTable::chartRedraw);
    QStringList picked;
    EXPECT_EQ(d.open([&](PageFieldList& list) {
        // Every member is listed, the NULL one too: nothing is cut at 500.
        EXPECT_EQ(list.model()->rowCount(), kDays + 1);
        EXPECT_EQ(list.lstMembers->model()->index(kDays, 0).data().toString(), "(blank)");
        EXPECT_EQ(list.lblCount->text(), QString("%1 of %1").arg(kDays + 1));
        QTest::keyClicks(list.txtSearch, "2024-03-1");
        EXPECT_EQ(list.model()->rowCount(), 10); // 2024-03-10 .. 2024-03-19
        QTest::mouseClick(list.cmdNone, Qt::LeftButton);
        EXPECT_FALSE(list.cmdOk->isEnabled()) << "nothing ticked is no choice";
        clickRow(list.lstMembers, 2);
        clickRow(list.lstMembers, 5);
        picked << list.model()->label(2) << list.model()->label(5);
        EXPECT_EQ(list.lblCount->text(), QString("2 of %1").arg(kDays + 1));
        EXPECT_TRUE(recalculated.isEmpty()) << "nothing changes before OK";
        QTest::mouseClick(list.cmdOk, Qt::LeftButton);
        return list.result();
    }),
              1);
    EXPECT_EQ(picked, QStringList({"2024-03-12", "2024-03-15"}));
    EXPECT_EQ(recalculated.count(), 1);
    EXPECT_EQ(redraw.count(), 1);
    // Day 71 (2024-03-12) and day 74: 71.25 + 74.25.
    EXPECT_DOUBLE_EQ(grandTotal(d.t), 71.25 + 74.25);
    EXPECT_EQ(d.day->hiddenMembers().size(), kDays - 1);
    EXPECT_TRUE(d.day->isMemberVisible("2024-03-15"));

    // Opened again it shows the choice; Cancel keeps it, All and OK (by Return) bring every day back.
    d.open([&](PageFieldList& list) {
        EXPECT_EQ(list.lblCount->text(), QString("2 of %1").arg(kDays + 1));
        QTest::mouseClick(list.cmdAll, Qt::LeftButton);
        QTest::mouseClick(list.cmdCancel, Qt::LeftButton);
        return list.result();
    });
    EXPECT_EQ(recalculated.count(), 1);
    EXPECT_DOUBLE_EQ(grandTotal(d.t), 71.25 + 74.25);
    d.open([&](PageFieldList& list) {
        QTest::mouseClick(list.cmdAll, Qt::LeftButton);
        QTest::keyClick(list.txtSearch, Qt::Key_Return);
        return list.result();
    });
    EXPECT_EQ(recalculated.count(), 2);
    EXPECT_TRUE(d.day->hiddenMembers().isEmpty());
    const double all = (kDays + 1) * 0.25 + double(kDays) * (kDays + 1) / 2;
    EXPECT_DOUBLE_EQ(grandTotal(d.t), all);

    // OK without a change recalculates nothing.
    d.open([&](PageFieldList& list) {
        QTest::mouseClick(list.cmdOk, Qt::LeftButton);
        return list.result();
    });
    EXPECT_EQ(recalculated.count(), 2);
}

TEST(PageFieldList, SpaceAndClicksTickTheCurrentRowAndTheBlankMemberCanBeLeftOut) {
    DailyTable d;
    d.open([&](PageFieldList& list) {
        QTest::keyClicks(list.txtSearch, "blank"); // the NULL member's label
        EXPECT_EQ(list.model()->rowCount(), 1);
        list.txtSearch->clear();
        list.lstMembers->setCurrentIndex(list.lstMembers->model()->index(kDays, 0));
        QTest::keyClick(list.lstMembers, Qt::Key_Space);
        EXPECT_FALSE(list.model()->isChecked(kDays));
        clickRow(list.lstMembers, 0);
        clickRow(list.lstMembers, 1);
        clickRow(list.lstMembers, 1); // twice: ticked again
        QTest::mouseClick(list.cmdOk, Qt::LeftButton);
        return list.result();
    });
    EXPECT_EQ(d.day->hiddenMembers(), QStringList({"(blank)", "2024-01-01"}));
    EXPECT_DOUBLE_EQ(grandTotal(d.t),
                     (kDays + 1) * 0.25 + double(kDays) * (kDays + 1) / 2 - 0.25 - (kDays + 0.25));
}

// A model over the labels: 100,000 members are rows of one view, not 100,000 widgets.
TEST(PageFieldList, HundredThousandMembersAreOneModelOfOneView) {
    QStringList members;
    for (int i = 0; i < 100000; ++i)
        members << QString("Customer %1").arg(i, 6, 10, QChar('0'));
    PageFieldList list("Customer", members, {"Customer 000007"});
    list.show();
    QApplication::processEvents();
    EXPECT_EQ(list.model()->rowCount(), 100000);
    EXPECT_LT(list.findChildren<QWidget*>().size(), 40);
    EXPECT_FALSE(list.model()->isChecked(7));
    QTest::keyClicks(list.txtSearch, "0999");
    EXPECT_EQ(list.model()->rowCount(), members.filter("0999").size());
    EXPECT_EQ(list.model()->label(0), "Customer 000999");
    QTest::mouseClick(list.cmdNone, Qt::LeftButton);
    clickRow(list.lstMembers, 0);
    EXPECT_EQ(list.hiddenMembers().size(), 100000 - 1);
    EXPECT_FALSE(list.hiddenMembers().contains(list.model()->label(0)));
}

TEST(PivotChips, ChipsNeverOverlapWhateverTheLayout) {
    ColumnarResult r = daily();
    struct Layout {
        const char* name;
        std::vector<std::pair<const char*, int>> fields; // name, area
        int width;
    } layouts[] = {
        {"many data fields over one narrow row field",
         {{"region", RowArea}, {"amount", DataArea}, {"day", ColumnArea}},
         600},
        {"data fields wider than the row headers, column fields after them",
         {{"region", RowArea}, {"amount", DataArea}, {"day", ColumnArea}, {"region", ColumnArea}},
         900},
        {"no row field", {{"amount", DataArea}, {"day", ColumnArea}}, 500},
        {"pages only", {{"day", PageArea}, {"region", PageArea}}, 300},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        PivotTable t;
        t.resize(l.width, 400);
        t.setData(r);
        for (const auto& [name, area] : l.fields)
            t.addField(name, name, PageArea)->setOrientation(area);
        // Long data captions, as measures often have.
        for (const char* caption : {"Sales amount in euros", "Quantity sold", "Average price"})
            t.addField("amount", caption, DataArea);
        for (PivotField* f : t.dataFields())
            f->setCaption(f == t.dataFields().item(0)   ? "Sales amount in euros"
                          : f == t.dataFields().item(1) ? "Quantity sold"
                                                        : "Average price");
        t.recalculate();
        t.show();
        QApplication::processEvents();
        const QFontMetrics fm(t.font());
        const PivotFieldList all = t.fields();
        for (int i = 0; i < all.count(); ++i) {
            const QRect a = t.chipRect(all.item(i));
            if (a.isEmpty()) continue;
            if (all.item(i)->orientation() != RowArea) {
                EXPECT_GE(a.width(), fm.horizontalAdvance(all.item(i)->caption()))
                    << all.item(i)->caption().toStdString() << " is squeezed";
            }
            for (int j = i + 1; j < all.count(); ++j) {
                const QRect b = t.chipRect(all.item(j));
                EXPECT_FALSE(a.intersects(b)) << all.item(i)->caption().toStdString() << " overlaps "
                                              << all.item(j)->caption().toStdString();
            }
        }
        // A page field showing some members only is marked, and its chip holds the mark too.
        if (PivotField* page = t.pageFields().item(0)) {
            page->setMemberVisible(page->members().value(0), false);
            t.recalculate();
            EXPECT_GE(t.chipRect(page).width(),
                      fm.horizontalAdvance(page->caption() + " *") + fm.horizontalAdvance("\u25BE"));
        }
        // The strip of chips belongs to the data area up to the last data chip.
        const QRect lastData = t.chipRect(t.dataFields().item(t.dataFields().count() - 1));
        EXPECT_EQ(t.elementAt(lastData.center()).field, t.dataFields().item(t.dataFields().count() - 1));
    }
}

namespace {

QString pdfText(const QString& pdf, int page = 0) {
    QProcess p;
    QStringList args{"-layout"};
    if (page > 0) args << "-f" << QString::number(page) << "-l" << QString::number(page);
    p.start("pdftotext", args << pdf << "-");
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}
int pdfPages(const QString& pdf) {
    QProcess p;
    p.start("pdfinfo", {pdf});
    p.waitForFinished(20000);
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
        if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
    return -1;
}

} // namespace

// The printed table: every number whole on its line, landscape when the table is wide, headers on
// every page.
TEST(PivotPrint, FitsThePageWithoutWrappingANumber) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "pdftotext is not installed";
    QTemporaryDir dir;
    struct Case {
        const char* name;
        bool wide;
    } cases[] = {{"narrow", false}, {"wide", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PivotTable t;
        ColumnarResult r = daily();
        for (int col : {2, 3, 4})
            for (double& v : r.columns[size_t(col)].reals)
                v *= 1834.27; // numbers as long as "1,316,964.27"
        t.setData(std::move(r));
        t.addField("day", "Date", PageArea)->setOrientation(RowArea);
        if (c.wide) t.addField("region", "Region", PageArea)->setOrientation(ColumnArea);
        t.addField("amount", "Sales amount", DataArea)->setNumberFormat("#,##0.00");
        if (c.wide)
            for (const char* name : {"cost", "tax"})
                t.addField(name, name, DataArea)->setNumberFormat("#,##0.00");
        t.setPrintHeader("Daily sales <all regions>");
        t.recalculate();
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = dir.filePath(QString(c.name) + ".pdf");
        printer.setOutputFileName(pdf);
        t.print(&printer);
        EXPECT_EQ(printer.pageLayout().orientation(),
                  c.wide ? QPageLayout::Landscape : QPageLayout::Portrait);
        const QString text = pdfText(pdf);
        ASSERT_FALSE(text.isEmpty());
        // Every cell's text whole: its own formatted value stands in the page text.
        int missing = 0;
        for (int row : {0, 71, 500, t.resultRows() - 1})
            for (int col = 0; col < t.resultColumns(); ++col) {
                const QString cell = t.cellText(row, col);
                if (!cell.isEmpty() && !text.contains(cell)) {
                    ++missing;
                    ADD_FAILURE() << "missing " << cell.toStdString();
                }
            }
        EXPECT_EQ(missing, 0) << text.left(3000).toStdString();
        EXPECT_TRUE(text.contains(t.cellText(t.resultRows() - 1, 0))) << "the grand total";
        const int pages = pdfPages(pdf);
        EXPECT_GT(pages, 5); // 720 days do not fit on one page
        // The headers and the page number on every page, the header text too.
        const QString last = pdfText(pdf, pages);
        EXPECT_TRUE(last.contains("Daily sales <all regions>"));
        EXPECT_TRUE(last.contains("Sales amount"));
        EXPECT_TRUE(last.contains(QString("Page %1 of %1").arg(pages))) << last.toStdString();
        if (c.wide) {
            EXPECT_TRUE(last.contains("South"));
        }
    }
}

TEST(PivotPrint, PreviewIsLandscapeForAWideTable) {
    PivotTable t;
    ColumnarResult r = daily();
    t.setData(std::move(r));
    t.addField("region", "Region", PageArea)->setOrientation(RowArea);
    t.addField("day", "Date", PageArea)->setOrientation(ColumnArea);
    t.addField("amount", "Amount", DataArea)->setNumberFormat("#,##0.00");
    t.recalculate();
    int pages = 0;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(d);
        EXPECT_NE(preview, nullptr);
        if (!preview) return int(QDialog::Rejected);
        auto* w = preview->findChild<QPrintPreviewWidget*>();
        w->updatePreview();
        QApplication::processEvents();
        pages = w->pageCount();
        orientation = preview->printer()->pageLayout().orientation();
        return int(QDialog::Rejected);
    });
    t.printPreview();
    EXPECT_EQ(orientation, QPageLayout::Landscape);
    // 720 date columns at a readable size go on to several pages, down then over.
    EXPECT_GT(pages, 3);
}
