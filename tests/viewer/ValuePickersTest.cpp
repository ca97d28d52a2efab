// The three value pickers on their own, with the range slider loaded through the control host, and the
// values query of the text picker.
#include "common/TestSupport.h"
#include "platform/controlhost/ControlHost.h"
#include "platform/db/Connection.h"
#include "platform/os/AppPath.h"
#include "platform/os/Clock.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "shell/General.h"
#include "shell/InsCube.h"
#include "viewer/ValuesQuery.h"
#include "viewer/frmSelectDate.h"
#include "viewer/frmSelectFormTable.h"
#include "viewer/frmSelectNum.h"
#include "viewer/frmSelectText.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTest>
#include <gtest/gtest.h>

using namespace bd;

namespace {

// A private program folder with the slider library registered, a fixed clock and scripted boxes; every
// picker unloaded and the locale back to C afterwards.
struct Pickers : ::testing::Test {
    test::TempHome home{true};
    os::ScopedPrompter prompts;
    os::ManualClock clock{QDateTime(QDate(2026, 1, 15), QTime(10, 30, 0))};
    QString previousSeparator = General::sSepDecimal;

    void SetUp() override {
        QString error;
        ASSERT_TRUE(controlhost::RegisterControlLibrary(BD_APP_DIR "/libspanwell.so", &error))
            << error.toStdString();
    }
    void TearDown() override {
        frmSelectText::unload();
        frmSelectFormTable::unload();
        frmSelectDate::unload();
        frmSelectNum::unload();
        QLocale::setDefault(QLocale::c());
        General::sSepDecimal = previousSeparator;
    }

    // Drags a thumb of a shown picker's slider so that it lands on value.
    static void moveTo(RangeSlider* r, const char* thumb, int value) {
        QWidget* w = r->widget();
        QWidget* t = w->findChild<QWidget*>(thumb);
        ASSERT_TRUE(t && r->control());
        const int track = w->width() - 17, span = r->Max() - r->Min();
        ASSERT_GT(span, 0);
        const int d = qRound(double(value - r->Min()) * track / span);
        QTest::mousePress(t, Qt::LeftButton, {}, QPoint(7, 7));
        QTest::mouseMove(t, QPoint(7 + d - t->x(), 7));
        QTest::mouseRelease(t, Qt::LeftButton, {}, QPoint(7 + d - t->x(), 7));
    }
    static QStringList items(QComboBox* c) {
        QStringList out;
        for (int i = 0; i < c->count(); ++i)
            out << c->itemText(i);
        return out;
    }
    // The example cube's connection (SQLite, read-only) in a parameter object.
    std::unique_ptr<InsCube> cuboEjemplo() {
        auto cube = std::make_unique<InsCube>();
        cube->CubeConnectionString = "Provider=SQLite;Data Source=APP_PATH/Example.sqlite";
        cube->DBEngine = "OTHER";
        return cube;
    }
};

// ---- text picker ----------------------------------------------------------------------------------

TEST_F(Pickers, LettersAndTheirSliderPositions) {
    frmSelectText* f = frmSelectText::instance();
    const struct {
        const char* text;
        int position;
    } cases[] = {{"A", 1},     {"Berlin", 2},  {"Z", 26},      {"b", 2},     {"zurich", 26},
                 {"Émile", 5}, {"...", 1},     {"1st", 1},     {" x", 1},    {"", 26},
                 {"[x]", 26},  {"ßtraße", 26}, {"~tilde", 26}, {"Ñandú", 14}};
    for (const auto& tc : cases)
        EXPECT_EQ(f->EncontratIndiceABC(QString::fromUtf8(tc.text)), tc.position) << tc.text;
    const struct {
        int position;
        const char* letter;
    } letters[] = {{1, "A"}, {2, "B"}, {26, "Z"}, {0, "A"}, {27, "Z"}, {-4, "A"}};
    for (const auto& tc : letters)
        EXPECT_EQ(f->GetLetter(tc.position), tc.letter) << tc.position;
}

TEST_F(Pickers, TextPickerLoadsOverTheWholeAlphabet) {
    frmSelectText* f = frmSelectText::instance();
    EXPECT_EQ(f->windowTitle(), "Select text Range");
    EXPECT_EQ(f->FText->currentText(), "A");
    EXPECT_EQ(f->TText->currentText(), "Z");
    ASSERT_TRUE(f->TimeRange->control()) << "the slider control is hosted";
    EXPECT_EQ(f->TimeRange->Min(), 1);
    EXPECT_EQ(f->TimeRange->Max(), 26);
    EXPECT_EQ(f->TimeRange->LowerValue(), 1);
    EXPECT_EQ(f->TimeRange->UpperValue(), 26);
    EXPECT_TRUE(f->cmdFromTBL->isHidden());
    EXPECT_EQ(f->cmdFromTBL->text(), "   From Table");
}

TEST_F(Pickers, GetRangePlacesTheThumbsAndLeavesTheTexts) {
    const struct {
        const char *what, *from, *to, *minRange, *maxRange;
        bool noRange;
        int min, max, lower, upper;
    } cases[] = {
        {"From Berlin", "Berlin", "Zagreb", "", "", false, 1, 26, 2, 26},
        {"limits Cairo and Madrid", "Dakar", "Lima", "Cairo", "Madrid", false, 3, 13, 4, 12},
        {"values outside the limits", "Athens", "Zagreb", "Cairo", "Madrid", false, 3, 13, 3, 13},
        {"lower case and accents", "berlin", "Émile", "", "", false, 1, 26, 2, 5},
        {"open bounds and digits", "...", "2024 report", "", "", false, 1, 26, 1, 1},
        {"single value", "Lisbon", "Zagreb", "", "", true, 1, 26, 12, 12},
        {"single value with limits", "Athens", "", "Cairo", "Madrid", true, 3, 13, 3, 3},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.what);
        frmSelectText::unload();
        frmSelectText* f = frmSelectText::instance();
        f->FText->setEditText(QString::fromUtf8(tc.from));
        f->TText->setEditText(QString::fromUtf8(tc.to));
        f->MinRange = tc.minRange;
        f->MaxRange = tc.maxRange;
        f->NoRange = tc.noRange;
        f->GetRange();
        EXPECT_EQ(f->TimeRange->Min(), tc.min);
        EXPECT_EQ(f->TimeRange->Max(), tc.max);
        EXPECT_EQ(f->TimeRange->LowerValue(), tc.lower);
        EXPECT_EQ(f->TimeRange->UpperValue(), tc.upper);
        EXPECT_EQ(f->FText->currentText(), QString::fromUtf8(tc.from));
        EXPECT_EQ(f->TText->isHidden(), tc.noRange);
        EXPECT_EQ(f->lblTo->isHidden(), tc.noRange);
        EXPECT_EQ(f->TimeRange->UpperVisible(), !tc.noRange);
    }
}

TEST_F(Pickers, MovingALetterThumbSnapsTheBoxToTheFirstValueOfThatLetter) {
    frmSelectText* f = frmSelectText::instance();
    for (QComboBox* c : {f->FText, f->TText})
        c->addItems({"apple", "dog", "Delta", "kiwi", "Émile"});
    f->FText->setEditText("A");
    f->TText->setEditText("Z");
    f->GetRange();
    f->show();
    moveTo(f->TimeRange, "picBottom", 4); // "D"
    f->grab().save(QCoreApplication::applicationDirPath() + "/picker-text.png");
    EXPECT_EQ(f->FText->currentText(), "dog");
    EXPECT_EQ(f->TText->currentText(), "Z"); // no value starts with Z: the letter stays
    moveTo(f->TimeRange, "picTop", 5);       // "E": the accented value counts
    EXPECT_EQ(f->TText->currentText(), "Émile");
    moveTo(f->TimeRange, "picBottom", 7); // "G" pushes the upper thumb along
    EXPECT_EQ(f->FText->currentText(), "G");
    EXPECT_EQ(f->TText->currentText(), "G");
    moveTo(f->TimeRange, "picBottom", 1);
    EXPECT_EQ(f->FText->currentText(), "apple");
    EXPECT_EQ(f->TText->currentText(), "G"); // where it stood at the press
}

TEST_F(Pickers, OkTurnsEmptyBoxesIntoTheOpenBoundAndTheCloseBoxCancels) {
    frmSelectText* f = frmSelectText::instance();
    f->FText->setEditText("Berlin");
    f->TText->setEditText("");
    f->cmdAceptar->click();
    EXPECT_TRUE(f->Cambio);
    EXPECT_EQ(f->FText->currentText(), "Berlin");
    EXPECT_EQ(f->TText->currentText(), "...");
    EXPECT_TRUE(f->isHidden());
    f->show();
    f->close();
    EXPECT_FALSE(f->Cambio);
}

TEST_F(Pickers, ValueListsComeFromTheValuesQuery) {
    auto cube = cuboEjemplo();
    frmSelectText* f = frmSelectText::instance();
    f->FText->setEditText("B");
    f->FillValueLists(*cube, "SELECT DISTINCT Region FROM Sales ORDER BY 1;");
    const QStringList regions{"Central", "East", "North", "South", "West"};
    EXPECT_EQ(items(f->FText), regions);
    EXPECT_EQ(items(f->TText), regions);
    EXPECT_EQ(f->FText->currentText(), "B"); // the text stays as it was
    EXPECT_EQ(f->TText->currentText(), "Z");
    EXPECT_TRUE(prompts->prompts.isEmpty());

    // A query that would write is refused before it reaches the database.
    const QString before = test::readFile(home.path("Example.sqlite")).toHex();
    f->FillValueLists(*cube, "DELETE FROM Sales");
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].title, "Error trying to fill combo.");
    EXPECT_TRUE(prompts->prompts[0].text.contains("SELECT statement"))
        << prompts->prompts[0].text.toStdString();
    EXPECT_EQ(f->FText->count(), 0);
    EXPECT_EQ(test::readFile(home.path("Example.sqlite")).toHex(), before);
}

TEST_F(Pickers, FromTableIsOffNoCubeAndComposesTheQueryWithOne) {
    frmSelectText* f = frmSelectText::instance();
    f->cmdFromTBL->setVisible(true); // as the designer shows it
    f->show();
    EXPECT_FALSE(f->cmdFromTBL->isEnabled());
    int shown = 0;
    {
        os::ScopedDialogHandler count([&](QDialog*) { return ++shown, int(QDialog::Rejected); });
        f->cmdFromTBL_Click();
    }
    EXPECT_EQ(shown, 0);
    f->hide();

    auto cube = cuboEjemplo();
    f->VinsCube = cube.get();
    f->FTTable = "TBL --> Sales";
    f->FTWhere = "";
    f->FTSql = "SELECT DISTINCT Product FROM Sales";
    f->show();
    EXPECT_TRUE(f->cmdFromTBL->isEnabled());
    QStringList tablas, columnas;
    QString inicial;
    os::ScopedDialogHandler handler([&](QDialog* d) {
        auto* t = qobject_cast<frmSelectFormTable*>(d);
        EXPECT_TRUE(t);
        if (!t) return int(QDialog::Rejected);
        EXPECT_EQ(t->windowTitle(), "From Table");
        tablas = items(t->cmbTbl);
        columnas = items(t->cmbFields);
        inicial = t->txtSQL->toPlainText();
        t->cmbFields->setCurrentIndex(t->cmbFields->findText("Region"));
        emit t->cmbFields->activated(t->cmbFields->currentIndex());
        t->txtWhere->setText("Product = 'Laptop' and Salesperson <> 'Ana Ruiz'");
        t->cmdAceptar->click();
        return int(QDialog::Accepted);
    });
    f->cmdFromTBL_Click();
    EXPECT_EQ(tablas, QStringList({"TBL --> Sales"}));
    EXPECT_EQ(columnas,
              QStringList({"SaleId", "SaleDate", "Region", "Product", "Salesperson", "Quantity", "Amount"}));
    EXPECT_EQ(inicial, "SELECT DISTINCT Product FROM Sales");
    EXPECT_EQ(f->FTTable, "TBL --> Sales");
    EXPECT_EQ(f->FTField, "Region");
    EXPECT_EQ(f->FTWhere, "Product = 'Laptop' and Salesperson <> 'Ana Ruiz'");
    EXPECT_EQ(
        f->FTSql,
        "SELECT DISTINCT `Region` FROM `Sales`\n WHERE PRODUCT = 'Laptop' AND SALESPERSON <> 'Ana Ruiz'");
    // The composed query runs and finds the regions that sold laptops.
    f->FillValueLists(*cube, f->FTSql);
    EXPECT_EQ(f->FText->count(), 5);
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
}

// ---- values query ---------------------------------------------------------------------------------

TEST_F(Pickers, TheValuesQueryStrings) {
    const struct {
        const char *table, *field, *where, *engine, *expected;
    } cases[] = {
        {"TBL --> Customers", "city", "country = 'es'", "MSSQL",
         "SELECT DISTINCT CITY FROM CUSTOMERS\r\n WHERE COUNTRY = 'es'"},
        {"TBL --> Customers", "city", "", "MSSQL", "SELECT DISTINCT CITY FROM CUSTOMERS"},
        {"VIEW --> Sales 2024", "Sale Date", "", "ACCESS", "SELECT DISTINCT [SALE DATE] FROM [SALES 2024]"},
        {"TBL --> Sheet1$", "Name", "", "EXCEL", "SELECT DISTINCT NAME FROM [SHEET1$]"},
        {"tbl --> Customers", "city", "", "MYSQL", "SELECT DISTINCT `city` FROM `Customers`"},
        {"TBL --> Customers", "ci`ty", "name LIKE 'O''Brien%'", "MYSQL",
         "SELECT DISTINCT `ci``ty` FROM `Customers`\r\n WHERE NAME LIKE 'O''Brien%'"},
        {"TBL --> Customers", "city", "\"Country\" = 'es' -- spain\r\nor x = 'It'", "ORACLE",
         "SELECT DISTINCT \"city\" FROM \"Customers\"\r\n WHERE \"Country\" = 'es' -- spain\r\nOR X = 'It'"},
        {"TBL --> Customers", "city", "   ", "OTHER", "SELECT DISTINCT \"city\" FROM \"Customers\""},
        {"", "city", "x = 1", "OTHER", ""},
        {"TBL --> Customers", "", "x = 1", "OTHER", ""},
    };
    for (const auto& tc : cases)
        EXPECT_EQ(ValuesQuery::Compose(tc.table, tc.field, tc.where, tc.engine, nullptr), tc.expected)
            << tc.table;

    // With a connection open its own quoting is used.
    db::Connection cnn;
    QString error;
    ASSERT_TRUE(cnn.open("Provider=SQLite;Data Source=APP_PATH/Example.sqlite", 5, &error))
        << error.toStdString();
    EXPECT_EQ(ValuesQuery::Compose("TBL --> Sales", "Region", "region = 'North'", "OTHER", &cnn),
              "SELECT DISTINCT `Region` FROM `Sales`\r\n WHERE REGION = 'North'");
}

TEST_F(Pickers, UpperCaseStopsAtQuotesAndComments) {
    const struct {
        const char *in, *out;
    } cases[] = {
        {"country = 'es'", "COUNTRY = 'es'"},
        {"a = 'it''s' and b = 'x'", "A = 'it''s' AND B = 'x'"},
        {"\"Mixed\" = [Other] or `tick` = 'v'", "\"Mixed\" = [Other] OR `tick` = 'v'"},
        {"x = 1 -- keep me\nand y = 'q'", "X = 1 -- keep me\nAND Y = 'q'"},
        {"x /* keep */ = 'a", "X /* keep */ = 'a"},
        {"name = 'münchen' and ciudad = 'ñ'", "NAME = 'münchen' AND CIUDAD = 'ñ'"},
    };
    for (const auto& tc : cases)
        EXPECT_EQ(ValuesQuery::UpperOutsideQuotes(QString::fromUtf8(tc.in)), QString::fromUtf8(tc.out))
            << tc.in;
}

TEST_F(Pickers, OnlyOneReadingSelectRunsAsAValuesQuery) {
    const struct {
        const char* sql;
        bool allowed;
    } cases[] = {
        {"SELECT DISTINCT Region FROM Sales", true},
        {"  select x from t where y = 'DELETE; DROP TABLE t'", true},
        {"SELECT x FROM t;", true},
        {"(SELECT x FROM t) UNION (SELECT y FROM u)", true},
        {"SELECT REPLACE(x, 'a', 'b') FROM t -- delete", true},
        {"DELETE FROM Sales", false},
        {"SELECT 1; DROP TABLE Sales", false},
        {"SELECT x INTO copy FROM t", false},
        {"SELECT x FROM t FOR UPDATE", false},
        {"WITH d AS (DELETE FROM t RETURNING *) SELECT * FROM d", false},
        {"SELECT 'a\\'; DROP TABLE t; --'", false}, // a backslash-escaped quote on MySQL
        {"SELECT * FROM t INTO OUTFILE '/tmp/x'", false},
        {"PRAGMA writable_schema = 1", false},
        {"", false},
        {"   ", false},
    };
    for (const auto& tc : cases)
        EXPECT_EQ(ValuesQuery::Refusal(tc.sql).isEmpty(), tc.allowed) << tc.sql;
}

// ---- date picker ----------------------------------------------------------------------------------

TEST_F(Pickers, DatePickerLoadsTwoQuartersEitherSideOfNow) {
    frmSelectDate* f = frmSelectDate::instance();
    EXPECT_EQ(f->windowTitle(), "Select date");
    EXPECT_EQ(f->MinDate, QDateTime(QDate(2025, 7, 15), QTime(10, 30)));
    EXPECT_EQ(f->MaxDate, QDateTime(QDate(2026, 7, 15), QTime(10, 30)));
    EXPECT_EQ(f->DefMinDate, QDateTime(QDate(2026, 1, 15), QTime(0, 0)));
    EXPECT_EQ(f->TimeRange->Min(), 0);
    EXPECT_EQ(f->TimeRange->Max(), 365);
    EXPECT_EQ(f->TimeRange->LowerValue(), 184);
    EXPECT_EQ(f->TimeRange->UpperValue(), 184);
    EXPECT_EQ(f->FDate->dateTime(), QDateTime(QDate(2026, 1, 15), QTime(0, 0)));
    EXPECT_EQ(f->TDate->dateTime(), QDateTime(QDate(2026, 1, 15), QTime(0, 0)));
    QStringList captions;
    for (QPushButton* b : f->cmdChangeDate)
        captions << b->text();
    EXPECT_EQ(captions, QStringList({"1D", "1W", "1M", "3M", "6M", "1Y", "5Y", "10Y", "20Y"}));
    EXPECT_EQ(f->testDate->date(), QDate(2026, 1, 15));
    EXPECT_TRUE(f->testDate->isHidden());
}

TEST_F(Pickers, QuickSpansCountBackFromNow) {
    const struct {
        QDateTime now;
        const char* caption;
        QDateTime from;
        int days;
    } cases[] = {
        {QDateTime(QDate(2026, 3, 10), QTime(15, 0)), "1W", QDateTime(QDate(2026, 3, 3), QTime(15, 0)), 8},
        {QDateTime(QDate(2026, 3, 10), QTime(15, 0)), "1D", QDateTime(QDate(2026, 3, 9), QTime(15, 0)), 2},
        {QDateTime(QDate(2026, 3, 31), QTime(9, 0)), "1M", QDateTime(QDate(2026, 2, 28), QTime(9, 0)), 32},
        {QDateTime(QDate(2024, 3, 31), QTime(9, 0)), "1M", QDateTime(QDate(2024, 2, 29), QTime(9, 0)), 32},
        {QDateTime(QDate(2026, 5, 31), QTime(9, 0)), "3M", QDateTime(QDate(2026, 2, 28), QTime(9, 0)), 93},
        {QDateTime(QDate(2026, 8, 31), QTime(9, 0)), "6M", QDateTime(QDate(2026, 2, 28), QTime(9, 0)), 185},
        {QDateTime(QDate(2024, 2, 29), QTime(9, 0)), "1Y", QDateTime(QDate(2023, 2, 28), QTime(9, 0)), 367},
        {QDateTime(QDate(2026, 1, 15), QTime(9, 0)), "5Y", QDateTime(QDate(2021, 1, 15), QTime(9, 0)), 1827},
        {QDateTime(QDate(2026, 1, 15), QTime(9, 0)), "10Y", QDateTime(QDate(2016, 1, 15), QTime(9, 0)), 3654},
        {QDateTime(QDate(2026, 1, 15), QTime(9, 0)), "20Y", QDateTime(QDate(2006, 1, 15), QTime(9, 0)), 7306},
    };
    frmSelectDate* f = frmSelectDate::instance();
    for (const auto& tc : cases) {
        SCOPED_TRACE(std::string(tc.caption) + " " + tc.now.toString(Qt::ISODate).toStdString());
        clock.set(tc.now);
        for (QPushButton* b : f->cmdChangeDate)
            if (b->text() == tc.caption) b->click();
        EXPECT_EQ(f->FDate->dateTime(), tc.from);
        EXPECT_EQ(f->TDate->dateTime(), tc.now.addDays(1));
        EXPECT_EQ(f->MinDate, tc.from);
        EXPECT_EQ(f->MaxDate, tc.now.addDays(1));
        EXPECT_EQ(f->TimeRange->Max(), tc.days);
        EXPECT_EQ(f->TimeRange->LowerValue(), 0);
        EXPECT_EQ(f->TimeRange->UpperValue(), tc.days);
    }
}

TEST_F(Pickers, DaySliderAndDateBoxesFollowEachOther) {
    frmSelectDate* f = frmSelectDate::instance();
    f->MinDate = QDateTime(QDate(2026, 1, 1), QTime(23, 0));
    f->MaxDate = QDateTime(QDate(2026, 1, 31), QTime(1, 0));
    f->DefMinDate = QDateTime(QDate(2026, 1, 5), QTime(0, 0));
    f->DefMaxDate = QDateTime(QDate(2026, 1, 20), QTime(0, 0));
    f->GetRange();
    EXPECT_EQ(f->TimeRange->Max(), 30); // day boundaries, the times left aside
    EXPECT_EQ(f->TimeRange->LowerValue(), 4);
    EXPECT_EQ(f->TimeRange->UpperValue(), 19);
    f->show();
    moveTo(f->TimeRange, "picBottom", 10);
    f->grab().save(QCoreApplication::applicationDirPath() + "/picker-date.png");
    EXPECT_EQ(f->FDate->dateTime(), QDateTime(QDate(2026, 1, 11), QTime(23, 0)));
    EXPECT_EQ(f->TDate->dateTime(), QDateTime(QDate(2026, 1, 20), QTime(23, 0)));
    // A date typed into a box moves its thumb; one outside the span stops at the end.
    f->TDate->setDateTime(QDateTime(QDate(2026, 1, 25), QTime(8, 0)));
    EXPECT_EQ(f->TimeRange->UpperValue(), 24);
    f->FDate->setDateTime(QDateTime(QDate(2025, 12, 1), QTime(8, 0)));
    EXPECT_EQ(f->TimeRange->LowerValue(), 0);
    EXPECT_EQ(f->FDate->date(), QDate(2025, 12, 1)); // the box keeps the earlier date
    clock.set(QDateTime(QDate(2026, 1, 28), QTime(17, 45)));
    f->cmdTNow->click();
    EXPECT_EQ(f->TDate->dateTime(), clock.now());
    EXPECT_EQ(f->TimeRange->UpperValue(), 27);
    f->cmdFNow->click();
    EXPECT_EQ(f->TimeRange->LowerValue(), 27);
}

TEST_F(Pickers, SpansThatRunBackwardsOrStartLateAreHandled) {
    frmSelectDate* f = frmSelectDate::instance();
    // The From date before the span: the thumb at the start, the box on the date.
    f->MinDate = QDateTime(QDate(2026, 3, 1), QTime(0, 0));
    f->MaxDate = QDateTime(QDate(2026, 3, 31), QTime(0, 0));
    f->DefMinDate = QDateTime(QDate(2026, 2, 1), QTime(0, 0));
    f->DefMaxDate = QDateTime(QDate(2026, 3, 10), QTime(0, 0));
    f->GetRange();
    EXPECT_EQ(f->TimeRange->LowerValue(), 0);
    EXPECT_EQ(f->FDate->date(), QDate(2026, 2, 1));
    // From after To and a span that runs backwards.
    f->MinDate = QDateTime(QDate(2026, 3, 31), QTime(0, 0));
    f->MaxDate = QDateTime(QDate(2026, 3, 1), QTime(0, 0));
    f->DefMinDate = QDateTime(QDate(2026, 3, 20), QTime(0, 0));
    f->DefMaxDate = QDateTime(QDate(2026, 3, 5), QTime(0, 0));
    f->GetRange();
    EXPECT_EQ(f->MaxDate, f->MinDate);
    EXPECT_EQ(f->TimeRange->Max(), 0);
    EXPECT_EQ(f->TimeRange->LowerValue(), 0);
    EXPECT_EQ(f->FDate->date(), QDate(2026, 3, 20));
    EXPECT_EQ(f->TDate->date(), QDate(2026, 3, 5));
}

TEST_F(Pickers, OkTakesTheTimesOfDayAndSingleModeHidesTheTo) {
    frmSelectDate* f = frmSelectDate::instance();
    f->DefMinDate = QDateTime(QDate(2026, 1, 10), QTime(0, 0));
    f->NoRange = true;
    f->GetRange();
    for (QWidget* w : {static_cast<QWidget*>(f->lblTo), static_cast<QWidget*>(f->TDate),
                       static_cast<QWidget*>(f->THour), static_cast<QWidget*>(f->cmdTNow)})
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
    EXPECT_FALSE(f->TimeRange->UpperVisible());
    EXPECT_EQ(f->TimeRange->UpperValue(), f->TimeRange->LowerValue());
    f->FHour->setTime(QTime(8, 30, 0));
    f->THour->setTime(QTime(18, 15, 30));
    f->cmdAceptar->click();
    EXPECT_TRUE(f->Cambio);
    EXPECT_EQ(f->FDate->dateTime(), QDateTime(QDate(2026, 1, 10), QTime(8, 30, 0)));
    EXPECT_EQ(f->TDate->time(), QTime(18, 15, 30));
    f->show();
    f->close();
    EXPECT_FALSE(f->Cambio);
}

TEST_F(Pickers, ShortDateIsRememberedAtOnce) {
    EXPECT_EQ(os::GetSetting("OE", "frmSelectDate", "ShortDate"), "");
    frmSelectDate* f = frmSelectDate::instance();
    EXPECT_FALSE(f->chkShort->isChecked());
    const QString largo = f->FDate->displayFormat();
    f->chkShort->click();
    EXPECT_EQ(os::GetSetting("OE", "frmSelectDate", "ShortDate"), "YES");
    EXPECT_NE(f->FDate->displayFormat(), largo);
    EXPECT_TRUE(f->FDate->displayFormat().contains("yyyy"));
    f->show();
    f->close(); // without OK
    frmSelectDate::unload();
    f = frmSelectDate::instance();
    EXPECT_TRUE(f->chkShort->isChecked());
    EXPECT_NE(f->TDate->displayFormat(), largo);
    f->chkShort->click();
    EXPECT_EQ(os::GetSetting("OE", "frmSelectDate", "ShortDate"), "NO");
    EXPECT_EQ(f->TDate->displayFormat(), largo);
}

TEST_F(Pickers, DatesAreWrittenInIsoAndReadInIsoOrTheLocalesForm) {
    EXPECT_EQ(frmSelectDate::IsoText(QDateTime(QDate(2026, 3, 3), QTime(15, 0))), "2026-03-03 15:00:00");
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    const struct {
        const char* text;
        QDateTime expected;
    } cases[] = {
        {"2026-03-03 15:00:00", QDateTime(QDate(2026, 3, 3), QTime(15, 0))},
        {"2026-03-03", QDateTime(QDate(2026, 3, 3), QTime(0, 0))},
        {"2026-03-03T15:00:00", QDateTime(QDate(2026, 3, 3), QTime(15, 0))},
        {"03/03/2026", QDateTime(QDate(2026, 3, 3), QTime(0, 0))},
        {"03/03/2026 08:30:00", QDateTime(QDate(2026, 3, 3), QTime(8, 30))},
        {"2026-02-30", QDateTime()},
        {"tomorrow", QDateTime()},
        {"...", QDateTime()},
        {"", QDateTime()},
    };
    for (const auto& tc : cases)
        EXPECT_EQ(frmSelectDate::ReadDate(tc.text), tc.expected) << tc.text;
}

// Each part of a date typed in the default, long display is taken when the box is left.
TEST_F(Pickers, ADateTypedInTheLongDisplayIsTaken) {
    const struct {
        QDateTimeEdit::Section section;
        const char* typed;
        QDate expected;
    } cases[] = {{QDateTimeEdit::DaySection, "5", QDate(2026, 1, 5)},
                 {QDateTimeEdit::MonthSection, "March", QDate(2026, 3, 15)},
                 {QDateTimeEdit::YearSection, "2024", QDate(2024, 1, 15)}};
    for (const auto& tc : cases) {
        frmSelectDate* f = frmSelectDate::instance();
        ASSERT_FALSE(f->chkShort->isChecked());
        f->show();
        for (QDateTimeEdit* box : {f->FDate, f->TDate}) {
            box->setDateTime(QDateTime(QDate(2026, 1, 15), QTime(0, 0)));
            box->setFocus();
            box->setSelectedSection(tc.section);
            QTest::keyClicks(box, QString::fromLatin1(tc.typed));
            QTest::keyClick(box, Qt::Key_Return);
            EXPECT_EQ(box->date(), tc.expected) << tc.typed << " in " << box->displayFormat().toStdString();
        }
        frmSelectDate::unload();
    }
}

// A year of two digits is read in the 100 years that end in 2029, as the filter's SQL reads it.
TEST_F(Pickers, TwoDigitYearsAreReadAsTheFilterReadsThem) {
    const struct {
        QLocale locale;
        const char* text;
        QDate expected;
    } cases[] = {
        {QLocale(QLocale::Spanish, QLocale::Spain), "03/03/26", QDate(2026, 3, 3)},
        {QLocale(QLocale::Spanish, QLocale::Spain), "5/3/85", QDate(1985, 3, 5)},
        {QLocale(QLocale::English, QLocale::UnitedStates), "3/5/24", QDate(2024, 3, 5)},
        {QLocale(QLocale::English, QLocale::UnitedStates), "12/31/29 13:05", QDate(2029, 12, 31)},
        {QLocale(QLocale::German, QLocale::Germany), "31.12.30", QDate(1930, 12, 31)},
    };
    for (const auto& tc : cases) {
        QLocale::setDefault(tc.locale);
        EXPECT_EQ(frmSelectDate::ReadDate(tc.text).date(), tc.expected) << tc.text;
    }
}

// A year typed with two digits in a date box is taken in full when the box is left, in the long and
// the short display; four digits stay as typed.
TEST_F(Pickers, ADateBoxTakesATwoDigitYearTypedInIt) {
    const struct {
        bool shortFormat;
        const char* typed;
        int year;
    } cases[] = {{false, "24", 2024},
                 {false, "85", 1985},
                 {true, "24", 2024},
                 {true, "7", 2007},
                 {true, "1999", 1999}};
    for (const auto& tc : cases) {
        frmSelectDate* f = frmSelectDate::instance();
        if (f->chkShort->isChecked() != tc.shortFormat) f->chkShort->click();
        f->show();
        QDateTimeEdit* box = f->FDate;
        box->setDateTime(QDateTime(QDate(2026, 1, 15), QTime(0, 0)));
        box->setFocus();
        box->setSelectedSection(QDateTimeEdit::YearSection);
        QTest::keyClicks(box, QString::fromLatin1(tc.typed));
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(box->date(), QDate(tc.year, 1, 15)) << tc.typed << (tc.shortFormat ? " short" : " long");
        frmSelectDate::unload();
    }
}

// ---- number picker --------------------------------------------------------------------------------

TEST_F(Pickers, NumberSliderFollowsTheBoxes) {
    const struct {
        const char *from, *to;
        bool noRange;
        int min, max, lower, upper;
    } cases[] = {
        {"1500", "2500", false, 0, 2500, 1000, 2500}, // From first: it stops at 1000
        {"12.7", "13.2", false, 0, 1000, 13, 13},
        {"2.5", "3.5", false, 0, 1000, 2, 4}, // halves to the even neighbour
        {"0", "-5", false, 0, 1000, 0, 0},    // 0 and below leave the thumbs
        {"abc", "", false, 0, 1000, 0, 0},
        {"1e12", "3e12", false, 0, 2147483647, 1000, 2147483647},
        {"250", "700", true, 0, 1000, 250, 250},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(std::string(tc.from) + " / " + tc.to);
        frmSelectNum::unload();
        frmSelectNum* f = frmSelectNum::instance();
        f->CantDecimals = 2;
        f->InitializeNumericFields();
        f->FText->setText(tc.from);
        f->TText->setText(tc.to);
        f->NoRange = tc.noRange;
        f->GetRange();
        EXPECT_EQ(f->TimeRange->Min(), tc.min);
        EXPECT_EQ(f->TimeRange->Max(), tc.max);
        EXPECT_EQ(f->TimeRange->LowerValue(), tc.lower);
        EXPECT_EQ(f->TimeRange->UpperValue(), tc.upper);
        EXPECT_EQ(f->FText->text(), tc.from); // the box keeps its text until the slider moves
        EXPECT_EQ(f->TText->isHidden(), tc.noRange);
        EXPECT_EQ(f->lblTo->isHidden(), tc.noRange);
    }
}

TEST_F(Pickers, NumberBoxesFollowTheSliderInTheFieldsDecimals) {
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    General::sSepDecimal = ",";
    const struct {
        int decimals;
        const char *zero, *decimalPart;
    } cases[] = {{2, "0,00", ",00"}, {0, "0", ""}, {3, "0,000", ",000"}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.decimals);
        frmSelectNum::unload();
        frmSelectNum* f = frmSelectNum::instance();
        f->CantDecimals = tc.decimals;
        f->InitializeNumericFields();
        EXPECT_EQ(f->FText->text(), tc.zero);
        f->FText->setText("12,7");
        f->TText->setText("1000");
        f->GetRange();
        EXPECT_EQ(f->TimeRange->LowerValue(), 13);
        f->resize(600, f->height());
        f->show();
        // One unit a pixel, so the thumb lands where it is put.
        f->TimeRange->setMax(f->TimeRange->widget()->width() - 17);
        moveTo(f->TimeRange, "picBottom", 250);
        f->grab().save(QCoreApplication::applicationDirPath() + "/picker-number.png");
        EXPECT_EQ(f->FText->text(), "250" + QString(tc.decimalPart));
        EXPECT_EQ(f->TText->text(), QString::number(f->TimeRange->UpperValue()) + tc.decimalPart);
        // OK keeps numbers and turns anything else into the zero text.
        f->TText->setText("abc");
        f->cmdAceptar->click();
        EXPECT_TRUE(f->Cambio);
        EXPECT_EQ(f->FText->text(), "250" + QString(tc.decimalPart));
        EXPECT_EQ(f->TText->text(), tc.zero);
    }
}

} // namespace

// Without the slider library the pickers work with their boxes, and the stand-in keeps the slider's
// numbers by the same rules.
TEST(PickersWithoutSlider, TheBoxesStillWork) {
    test::TempHome home{true};
    os::ScopedPrompter prompts;
    ASSERT_FALSE(controlhost::IsControlRegistered("SliderSpanwell.Spanwell"));
    frmSelectText* f = frmSelectText::instance();
    EXPECT_EQ(f->TimeRange->control(), nullptr);
    ASSERT_NE(f->TimeRange->widget(), nullptr);
    f->FText->setEditText("Lisbon");
    f->MinRange = "Cairo";
    f->MaxRange = "Madrid";
    f->NoRange = true;
    f->GetRange();
    EXPECT_EQ(f->TimeRange->Min(), 3);
    EXPECT_EQ(f->TimeRange->Max(), 13);
    EXPECT_EQ(f->TimeRange->LowerValue(), 12);
    EXPECT_EQ(f->TimeRange->UpperValue(), 12);
    EXPECT_FALSE(f->TimeRange->UpperVisible());
    f->cmdAceptar->click();
    EXPECT_TRUE(f->Cambio);
    EXPECT_EQ(f->FText->currentText(), "Lisbon");
    frmSelectText::unload();

    frmSelectNum* n = frmSelectNum::instance();
    n->FText->setText("1500");
    n->TText->setText("2500");
    n->GetRange();
    EXPECT_EQ(n->TimeRange->LowerValue(), 1000);
    EXPECT_EQ(n->TimeRange->Max(), 2500);
    EXPECT_EQ(n->TimeRange->UpperValue(), 2500);
    n->TimeRange->setMax(-4);
    EXPECT_EQ(n->TimeRange->Min(), 0);
    EXPECT_EQ(n->TimeRange->LowerValue(), 0);
    frmSelectNum::unload();
    EXPECT_TRUE(prompts->prompts.isEmpty());
}
