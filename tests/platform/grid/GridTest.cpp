#include "platform/grid/Grid.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLocale>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace bd::grid;

namespace {

// A grid holding one of everything, used by the round-trip and the row tests.
void fillEverything(Grid& g) {
    g.setMaxCols(8);
    g.setMaxRows(12);
    g.setText(1, 0, "FIELD");
    g.setText(0, 3, "third");
    g.setCellTag(0, 0, "builder state");
    g.setCellTag(2, 0, "header tag");
    g.setCellType(2, -1, TypeCheckBox);
    g.setCellType(3, -1, TypeComboBox);
    g.setTypeComboBoxList(3, -1, {"Sum", "Max", "Min"});
    g.setCellType(4, -1, TypeFloat);
    g.setTypeFloatDecimalChar(4, -1, ',');
    g.setTypeFloatDecimalPlaces(4, -1, 3);
    g.setLock(1, -1, true);
    g.setBackColor(1, -1, 0xE0E0E0);
    g.setColHidden(8, true);
    g.setColWidth(5, 17);
    for (int r = 1; r <= 5; ++r) {
        g.setText(1, r, QString("name%1").arg(r));
        g.setCellTag(1, r, QString("tag%1").arg(r));
        g.setText(2, r, r % 2 ? "1" : "0");
        g.setText(3, r, "Max");
        g.setText(4, r, QString("%1,5").arg(r));
    }
    g.setCellType(5, 2, TypeButton);
    g.setTypeButtonText(5, 2, "...");
    g.setText(5, 2, "value kept apart");
    g.setTypeButtonColor(5, 2, 0xFFFFFF);
    g.setTypeButtonPicture(5, 2, "picFlecha");
    g.setBackColor(6, 3, 0x8080FF);
    g.setForeColor(6, 3, 0x80000012); // system colour: button text
    g.setBackColor(6, 4, 0x80000005);
    g.setCellType(7, 4, TypeComboBox);
    g.setTypeComboBoxList(7, 4, {"", "And", "Or"});
    g.setTypeComboBoxEditable(7, 4, true);
    g.setText(7, 4, "Or");
    g.setCellType(3, 5, TypePlain); // a sub-row style override inside a combo column
    g.setLock(3, 5, true);
    g.setTypeFloatDecimalPlaces(4, 5, 0);
}

} // namespace

TEST(Grid, SaveLoadRoundTripIsExact) {
    Grid g;
    fillEverything(g);
    g.insertRows(2, 2);
    g.deleteRows(3, 1); // rows 2.. moved down by one in all
    g.setText(8, 9, "hidden column text");

    QTemporaryDir dir;
    const QString path = dir.filePath("temp.spCal");
    QString err;
    ASSERT_TRUE(g.saveToFile(path, &err)) << err.toStdString();

    Grid back;
    back.setMaxRows(3);
    back.setText(1, 1, "old");
    ASSERT_TRUE(back.loadFromFile(path, &err)) << err.toStdString();
    EXPECT_TRUE(back.store() == g.store());
    EXPECT_EQ(back.saveToBytes(), g.saveToBytes());

    // A few reads through the public operations.
    EXPECT_EQ(back.cellTag(0, 0), "builder state");
    EXPECT_EQ(back.text(1, 0), "FIELD");
    EXPECT_EQ(back.text(4, 1), "1,500");
    EXPECT_EQ(back.typeButtonText(5, 3), "...");
    EXPECT_EQ(back.text(5, 3), "value kept apart");
    EXPECT_EQ(back.typeButtonPicture(5, 3), "picFlecha");
    EXPECT_EQ(back.foreColor(6, 4), 0x80000012u);
    EXPECT_TRUE(back.colHidden(8));
    EXPECT_DOUBLE_EQ(back.colWidth(5), 17);
    EXPECT_TRUE(back.typeComboBoxEditable(7, 5));
    EXPECT_TRUE(back.view()->isColumnHidden(7));
    EXPECT_EQ(back.maxRows(), 12);
}

TEST(Grid, RowsCarryEverythingWhenInsertedAndDeleted) {
    Grid g;
    fillEverything(g);
    // Row 3 before the move.
    const QString text = g.text(6, 3), tag = g.cellTag(1, 3);
    const uint32_t back = g.backColor(6, 3), fore = g.foreColor(6, 3);
    const int type = g.cellType(5, 2);

    g.insertRows(2, 1); // rows 2.. move down by one
    EXPECT_EQ(g.text(1, 2), "");
    EXPECT_EQ(g.text(1, 3), "name2");
    EXPECT_EQ(g.cellTag(1, 4), tag);
    EXPECT_EQ(g.backColor(6, 4), back);
    EXPECT_EQ(g.foreColor(6, 4), fore);
    EXPECT_EQ(g.cellType(5, 3), type);
    EXPECT_EQ(g.text(5, 3), "value kept apart");
    EXPECT_EQ(g.maxRows(), 12); // the blank last row fell off

    g.deleteRows(1, 2); // back up by two
    EXPECT_EQ(g.text(1, 1), "name2");
    EXPECT_EQ(g.cellTag(1, 2), tag);
    EXPECT_EQ(g.backColor(6, 2), back);
    EXPECT_EQ(g.cellType(5, 1), type);
    EXPECT_EQ(g.maxRows(), 12); // blank rows come in at the end
    EXPECT_EQ(g.text(1, 12), "");
    EXPECT_EQ(g.cellTag(0, 0), "builder state"); // headers never move
    EXPECT_EQ(g.text(1, 0), "FIELD");
}

TEST(Grid, InsertedRowInheritsWholeColumnSettings) {
    Grid g;
    fillEverything(g);
    g.insertRows(3, 1);
    EXPECT_TRUE(g.lock(1, 3));
    EXPECT_EQ(g.backColor(1, 3), 0xE0E0E0u);
    EXPECT_EQ(g.cellType(2, 3), TypeCheckBox);
    EXPECT_EQ(g.typeComboBoxList(3, 3), QStringList({"Sum", "Max", "Min"}));
}

TEST(Grid, InsertNeverDropsARowWithData) {
    Grid g;
    g.setMaxCols(2);
    g.setMaxRows(3);
    g.setText(1, 3, "last");
    g.insertRows(1, 1);
    EXPECT_EQ(g.maxRows(), 4);
    EXPECT_EQ(g.text(1, 4), "last");
    g.setCellTag(2, 4, "x");
    g.setText(1, 4, "");
    g.insertRows(1, 1); // a tag counts as data
    EXPECT_EQ(g.maxRows(), 5);
}

TEST(Grid, WholeColumnSettingReplacesCellSettings) {
    Grid g;
    g.setMaxCols(3);
    g.setMaxRows(5);
    g.setLock(3, 2, false);
    g.setLock(3, -1, true);
    EXPECT_TRUE(g.lock(3, 2));
    g.setBackColor(-1, -1, 0xFFFFFF);
    EXPECT_EQ(g.backColor(1, 1), 0xFFFFFFu);
    g.setBackColor(-1, 4, 0x00FF00); // whole row
    EXPECT_EQ(g.backColor(2, 4), 0x00FF00u);
    EXPECT_EQ(g.backColor(2, 3), 0xFFFFFFu);
}

TEST(Grid, CopyRowCopiesTheWholeRow) {
    Grid g;
    fillEverything(g);
    g.copyRow(2, 9);
    for (int c = 0; c <= g.maxCols(); ++c) {
        EXPECT_EQ(g.text(c, 9), g.text(c, 2));
        EXPECT_EQ(g.cellTag(c, 9), g.cellTag(c, 2));
        EXPECT_EQ(g.cellType(c, 9), g.cellType(c, 2));
        EXPECT_EQ(g.typeButtonText(c, 9), g.typeButtonText(c, 2));
    }
    g.setText(1, 9, "changed");
    EXPECT_EQ(g.text(1, 2), "name2"); // a copy, not a share
}

TEST(Grid, FloatCellHoldsANumberInAnyLocale) {
    const QLocale saved;
    for (const char* loc : {"de_DE", "en_US", "C"}) {
        QLocale::setDefault(QLocale(loc));
        Grid g;
        g.setMaxCols(1);
        g.setMaxRows(1);
        g.setCellType(1, -1, TypeFloat);
        struct Case {
            QString in;
            QVariant value;
        };
        const Case cases[] = {{"0,00", 0.0},    {"0.00", 0.0},       {"12,5", 12.5},
                              {"-3.25", -3.25}, {"1.234,5", 1234.5}, {"1,234.5", 1234.5},
                              {"", QVariant()}, {"abc", QVariant()}};
        for (const Case& c : cases) {
            g.setText(1, 1, c.in);
            EXPECT_EQ(g.value(1, 1), c.value) << loc << " " << c.in.toStdString();
        }
        g.setText(1, 1, "0,00");
        g.setTypeFloatDecimalChar(1, -1, ',');
        EXPECT_EQ(g.text(1, 1), "0,00");
        g.setTypeFloatDecimalChar(1, -1, '.');
        g.setTypeFloatDecimalPlaces(1, -1, 3);
        EXPECT_EQ(g.text(1, 1), "0.000");
    }
    QLocale::setDefault(saved);
}

TEST(Grid, CheckBoxReadsOneOrZero) {
    Grid g;
    g.setMaxCols(1);
    g.setMaxRows(1);
    g.setCellType(1, -1, TypeCheckBox);
    EXPECT_EQ(g.value(1, 1).toString(), "0");
    for (const auto& [in, out] : std::vector<std::pair<QString, QString>>{
             {"1", "1"}, {"0", "0"}, {"True", "1"}, {"-1", "1"}, {"", "0"}}) {
        g.setText(1, 1, in);
        EXPECT_EQ(g.value(1, 1).toString(), out) << in.toStdString();
    }
}

TEST(Grid, CurrentCellStyleAddressesCellsWithoutMovingTheActiveCell) {
    Grid g;
    g.setMaxCols(4);
    g.setMaxRows(10);
    g.setActiveCell(3, 7);
    g.setCol(2);
    g.setRow(5);
    g.setText("hello");
    g.setCellTag("tag");
    g.setCellType(TypeButton);
    g.setTypeButtonText("go");
    EXPECT_EQ(g.text(2, 5), "hello");
    EXPECT_EQ(g.cellTag(2, 5), "tag");
    EXPECT_EQ(g.typeButtonText(2, 5), "go");
    EXPECT_EQ(g.activeCol(), 3);
    EXPECT_EQ(g.activeRow(), 7);
    g.setRow(-1);
    g.setLock(true); // whole column 2
    EXPECT_TRUE(g.lock(2, 9));
}

TEST(Grid, CodeWritesRaiseNoEvents) {
    Grid g;
    g.setMaxCols(3);
    g.setMaxRows(3);
    QSignalSpy changed(&g, &Grid::changed), button(&g, &Grid::buttonClicked), leave(&g, &Grid::leaveCell);
    g.setText(1, 1, "x");
    g.setCellType(2, 1, TypeCheckBox);
    g.setText(2, 1, "1");
    g.insertRows(1, 1);
    g.setActiveCell(2, 2);
    g.setActiveCell(3, 3);
    g.deleteRows(3, 1); // the active row goes
    g.setMaxRows(1);
    ASSERT_TRUE(g.loadFromBytes(g.saveToBytes()));
    EXPECT_EQ(changed.count() + button.count() + leave.count(), 0);
}

TEST(Grid, UserEventsArriveWithCellAndPlatformKeyCodes) {
    Grid g;
    g.resize(600, 300);
    g.setMaxCols(3);
    g.setMaxRows(5);
    g.setCellType(2, -1, TypeCheckBox);
    g.setCellType(3, 2, TypeButton);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));

    QStringList seen;
    QObject::connect(&g, &Grid::buttonClicked, [&](int c, int r, int down) {
        seen << QString("button %1,%2,%3 value %4").arg(c).arg(r).arg(down).arg(g.value(c, r).toString());
    });
    QObject::connect(&g, &Grid::changed,
                     [&](int c, int r) { seen << QString("change %1,%2").arg(c).arg(r); });
    QObject::connect(&g, &Grid::clicked, [&](int c, int r) { seen << QString("click %1,%2").arg(c).arg(r); });
    QObject::connect(&g, &Grid::keyDown, [&](int k, int s) { seen << QString("key %1 %2").arg(k).arg(s); });

    auto* v = g.view();
    auto at = [&](int c, int r) { return v->visualRect(v->model()->index(r - 1, c - 1)).center(); };
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at(2, 1));
    // The check box has toggled by the time its button event arrives.
    EXPECT_TRUE(seen.contains("button 2,1,1 value 1")) << seen.join(" | ").toStdString();
    EXPECT_TRUE(seen.contains("change 2,1"));
    EXPECT_TRUE(seen.contains("click 2,1"));
    seen.clear();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at(3, 2));
    EXPECT_TRUE(seen.contains("button 3,2,0 value ")) << seen.join(" | ").toStdString();
    g.setLock(3, 2, true);
    seen.clear();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at(3, 2));
    EXPECT_FALSE(seen.join(" ").contains("button")); // a locked button does nothing

    seen.clear();
    g.setActiveCell(1, 1);
    v->setFocus();
    QTest::keyClick(v, Qt::Key_Delete);
    QTest::keyClick(v, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(seen.contains("key 46 0")) << seen.join(" | ").toStdString();
    EXPECT_TRUE(seen.contains("key 13 1"));
}

TEST(Grid, UserTypingFiresChangeOnce) {
    Grid g;
    g.resize(600, 300);
    g.setMaxCols(2);
    g.setMaxRows(3);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    QSignalSpy changed(&g, &Grid::changed), focus(&g, &Grid::gotFocus);
    g.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&g));
    g.setActiveCell(1, 2);
    g.view()->clearFocus();
    g.view()->setFocus();
    EXPECT_GE(focus.count(), 1);
    QTest::keyClick(g.view(), Qt::Key_A);
    ASSERT_NE(QApplication::focusWidget(), g.view()); // the editor is open
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_B);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // The delegate commits on a queued call, and the change is reported after the editor closed.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(g.text(1, 2), "ab");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toInt(), 1);
    EXPECT_EQ(changed[0][1].toInt(), 2);
    // Locked cells take no typing.
    g.setLock(1, 3, true);
    g.setActiveCell(1, 3);
    QTest::keyClicks(g.view(), "zz");
    EXPECT_EQ(g.text(1, 3), "");
}

TEST(Grid, HundredThousandRowsStayAModelNotWidgets) {
    Grid g;
    g.resize(800, 400);
    g.setMaxCols(6);
    g.setRedraw(false);
    g.setMaxRows(1000);
    for (int r = 1; r <= 100000; ++r) {
        if (r > g.maxRows()) g.setMaxRows(g.maxRows() + 1000);
        for (int c = 1; c <= 6; ++c)
            g.setText(c, r, QString::number(r * 10 + c));
    }
    g.setRedraw(true);
    EXPECT_EQ(g.maxRows(), 100000);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.view()->scrollToBottom();
    g.setActiveCell(3, 99999);
    EXPECT_FALSE(g.grab().isNull());
    EXPECT_EQ(g.text(6, 100000), "1000006");
    EXPECT_EQ(g.view()->model()->rowCount(), 100000);
    // No widget per cell: the view's children stay a handful.
    EXPECT_LT(g.findChildren<QWidget*>().size(), 40);
    g.deleteRows(1, 50000);
    EXPECT_EQ(g.text(6, 50000), "1000006");
}

TEST(Grid, HeadersAreAddressable) {
    Grid g;
    g.setMaxCols(3);
    g.setMaxRows(2);
    g.setText(1, 0, "FIELD");
    EXPECT_EQ(g.view()->model()->headerData(0, Qt::Horizontal).toString(), "FIELD");
    EXPECT_EQ(g.view()->model()->headerData(1, Qt::Horizontal).toString(), "B");
    g.setText(0, 2, "-->");
    EXPECT_EQ(g.view()->model()->headerData(1, Qt::Vertical).toString(), "-->");
    g.setCellTag(0, 0, "state");
    EXPECT_EQ(g.cellTag(0, 0), "state");
}

TEST(Grid, VirtualKeyCodes) {
    const std::pair<int, int> cases[] = {{Qt::Key_Delete, 46}, {Qt::Key_Return, 13}, {Qt::Key_Enter, 13},
                                         {Qt::Key_Escape, 27}, {Qt::Key_A, 65},      {Qt::Key_9, 57},
                                         {Qt::Key_F1, 112},    {Qt::Key_Down, 40}};
    for (auto [qt, vk] : cases)
        EXPECT_EQ(virtualKeyCode(qt), vk) << qt;
}

TEST(Grid, ComboPickRaisesSelectionChangeWithTheNewText) {
    Grid g;
    g.resize(600, 300);
    g.setMaxCols(2);
    g.setMaxRows(3);
    g.setCellType(2, -1, TypeComboBox);
    g.setTypeComboBoxList(2, -1, {"=", "Between", "Like"});
    g.setText(2, 1, "Between");
    g.show();
    g.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&g));
    QStringList seen;
    QObject::connect(&g, &Grid::comboSelChange,
                     [&](int c, int r) { seen << QString("sel %1,%2 %3").arg(c).arg(r).arg(g.text(c, r)); });
    QObject::connect(&g, &Grid::changed,
                     [&](int c, int r) { seen << QString("change %1,%2").arg(c).arg(r); });
    auto* v = g.view();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(v->model()->index(0, 1)).center());
    auto* cb = v->findChild<QComboBox*>();
    ASSERT_NE(cb, nullptr); // the click opened the combo
    EXPECT_EQ(cb->currentText(), "Between");
    QCoreApplication::processEvents(); // its list pops up
    ASSERT_TRUE(cb->view()->isVisible());
    QTest::keyClick(cb->view(), Qt::Key_Down);
    QTest::keyClick(cb->view(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(g.text(2, 1), "Like");
    EXPECT_EQ(seen, QStringList({"sel 2,1 Like", "change 2,1"}));
}

TEST(Grid, DoubleClickAndLeaveCellComeFromTheUser) {
    Grid g;
    g.resize(600, 300);
    g.setMaxCols(3);
    g.setMaxRows(3);
    g.setLock(-1, -1, true);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    QSignalSpy dbl(&g, &Grid::dblClicked), leave(&g, &Grid::leaveCell);
    auto* v = g.view();
    g.setActiveCell(1, 1);
    const QPoint at = v->visualRect(v->model()->index(1, 2)).center();
    QTest::mousePress(v->viewport(), Qt::LeftButton, {}, at);
    QMouseEvent twice(QEvent::MouseButtonDblClick, at, v->viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, {});
    QApplication::sendEvent(v->viewport(), &twice);
    QTest::mouseRelease(v->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(dbl.count(), 1);
    EXPECT_EQ(dbl[0][0].toInt(), 3);
    EXPECT_EQ(dbl[0][1].toInt(), 2);
    ASSERT_GE(leave.count(), 1);
    EXPECT_EQ(leave[0], QVariantList({1, 1, 3, 2}));
}

namespace {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kBoundMs = 120000; // sanitizers run this a few dozen times slower
#else
constexpr int kBoundMs = 5000;
#endif
} // namespace

TEST(Grid, ThreeHundredThousandTextCellsLoadAndTakeCellTypesRowByRow) {
    Grid source;
    constexpr int kRows = 100000, kCols = 3;
    source.setMaxCols(kCols);
    source.setMaxRows(kRows);
    source.setRedraw(false);
    for (int r = 1; r <= kRows; ++r)
        for (int c = 1; c <= kCols; ++c)
            source.setText(c, r, c == 2 ? QString("%1.5").arg(r) : QString("text %1").arg(r));
    const QByteArray bytes = source.saveToBytes();
    QElapsedTimer t;
    t.start();
    Grid g;
    g.setRedraw(false);
    ASSERT_TRUE(g.loadFromBytes(bytes));
    // As the designer does after a load: a type per cell, row after row, and one per column.
    for (int r = 1; r <= kRows; ++r)
        g.setCellType(1, r, r % 2 ? TypeButton : TypePlain);
    g.setTypeFloatDecimalChar(2, -1, ',');
    g.setCellType(2, -1, TypeFloat);
    for (int r = 1; r <= kRows; ++r)
        g.setCellType(3, r, TypeCheckBox);
    EXPECT_LT(t.elapsed(), kBoundMs) << "was quadratic in the cells";
    EXPECT_EQ(g.text(2, 7), "7,50");
    EXPECT_EQ(g.text(3, 9), "text 9");
    EXPECT_EQ(g.cellType(3, 9), TypeCheckBox);
    EXPECT_EQ(g.cellType(1, 3), TypeButton);
}

TEST(Grid, FilesThatAreNoRegularFilesAreRefused) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("grid.fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    Grid g;
    QString error;
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(g.loadFromFile(fifo, &error));
    EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
    EXPECT_FALSE(g.loadFromFile("/dev/zero", &error));
    EXPECT_FALSE(g.loadFromFile(dir.path(), &error));
    EXPECT_LT(t.elapsed(), 5000);
}
