// The value buttons of the user-filter grid on the example cube: each opens the picker of its field's
// type with the row's values and limits; what the user accepts goes into the row and re-runs the query.
#include "common/TestSupport.h"
#include "platform/controlhost/ControlHost.h"
#include "platform/os/AppPath.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"
#include "viewer/ViewerTestSupport.h"
#include "viewer/frmSelectDate.h"
#include "viewer/frmSelectNum.h"
#include "viewer/frmSelectText.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace bd;
using bd::grid::Grid;
using bd::grid::TypeButton;

namespace {

struct UserFilters : ::testing::Test {
    test::TempHome home{true};
    test::LinkedViewer w;
    os::ScopedPrompter prompts;
    QString previousSeparator = General::sSepDecimal;
    Grid& g() { return *w.v->spUsrFil; }

    void SetUp() override {
        QString error;
        ASSERT_TRUE(controlhost::RegisterControlLibrary(BD_APP_DIR "/libspanwell.so", &error))
            << error.toStdString();
        ASSERT_TRUE(test::FillExampleCube(w, &error)) << error.toStdString();
        g().setCellTag(Cubo::ColUsrParentesis, 1, "SELECT DISTINCT Region FROM Sales ORDER BY 1");
        w.c->UltimaConsultaSQL.clear();
    }
    void TearDown() override { General::sSepDecimal = previousSeparator; }

    // Row 1 as a filter on another field of the example, in Between mode with these limits.
    void filaEntre(const QString& field, const QString& clase, const QString& from, const QString& to) {
        g().setText(Cubo::ColUsrCampo, 1, field);
        g().setCellTag(Cubo::ColUsrCampo, 1, field);
        g().setText(Cubo::ColUsrOperador, 1, "Between");
        g().setCellTag(Cubo::ColUsrOperador, 1, clase);
        g().setCellTag(Cubo::ColUsrDesde, 1, from);
        g().setCellTag(Cubo::ColUsrHasta, 1, to);
        g().setCellType(Cubo::ColUsrHasta, 1, TypeButton);
        g().setLock(Cubo::ColUsrHasta, 1, false);
        g().setTypeButtonText(Cubo::ColUsrHasta, 1, "...");
        g().setCellTag(Cubo::ColUsrParentesis, 1, QString());
    }
    bool refreshed() {
        const bool si = !w.c->UltimaConsultaSQL.isEmpty();
        w.c->UltimaConsultaSQL.clear();
        return si;
    }
    void press(int col) { emit g().buttonClicked(col, 1, 0); }
    double totalAmount() {
        const int r = w.v->DC->resultRows() - 1;
        if (r < 0) return 0;
        EXPECT_EQ(w.v->DC->rowHeaderText(r, 0), "Grand Total");
        return w.v->DC->cellValue(r, 0).toDouble();
    }
    // SQLite's own sum of Amount over the rows the condition keeps, the values bound, never written.
    double sumOf(const QString& where, const QVariantList& values = {}) {
        const QString name = QUuid::createUuid().toString();
        double out = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(os::AppPath() + "/Example.sqlite");
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            EXPECT_TRUE(q.prepare("SELECT SUM(Amount) FROM Sales WHERE " + where));
            for (const QVariant& v : values)
                q.addBindValue(v);
            EXPECT_TRUE(q.exec());
            EXPECT_TRUE(q.next());
            out = q.value(0).toDouble();
        }
        QSqlDatabase::removeDatabase(name);
        return out;
    }
};

QStringList items(QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

} // namespace

TEST_F(UserFilters, ATextValuePickedFromTheListFiltersThePivot) {
    QStringList lista;
    bool onlyOne = false;
    QString inicial;
    os::ScopedDialogHandler handler([&](QDialog* d) {
        auto* f = qobject_cast<frmSelectText*>(d);
        EXPECT_TRUE(f);
        if (!f) return int(QDialog::Rejected);
        lista = items(f->FText);
        onlyOne = f->NoRange && f->TText->isHidden() && !f->TimeRange->UpperVisible();
        inicial = f->FText->currentText();
        f->FText->setCurrentIndex(f->FText->findText("North"));
        f->cmdAceptar->click();
        return int(QDialog::Accepted);
    });
    press(Cubo::ColUsrDesde);
    EXPECT_EQ(lista, QStringList({"Central", "East", "North", "South", "West"}));
    EXPECT_TRUE(onlyOne);
    EXPECT_EQ(inicial, "A"); // no value and no limit: the picker's own start
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), "North");
    EXPECT_TRUE(refreshed());
    EXPECT_NEAR(totalAmount(), sumOf("Region = ?", {"North"}), 0.005);
    EXPECT_FALSE(frmSelectText::loaded());
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
}

TEST_F(UserFilters, APickerClosedWithoutOkChangesNothing) {
    const double antes = totalAmount();
    for (int col : {Cubo::ColUsrDesde, Cubo::ColUsrHasta}) {
        os::ScopedDialogHandler handler([](QDialog* d) {
            d->close();
            return int(QDialog::Rejected);
        });
        g().setTypeButtonText(Cubo::ColUsrDesde, 1, "...");
        press(col);
        EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), "...");
        EXPECT_FALSE(refreshed());
        EXPECT_FALSE(frmSelectText::loaded());
    }
    EXPECT_EQ(totalAmount(), antes);
}

TEST_F(UserFilters, BetweenTextValuesStartFromTheRowsValuesAndLimits) {
    g().setText(Cubo::ColUsrOperador, 1, "Between");
    g().setCellType(Cubo::ColUsrHasta, 1, TypeButton);
    g().setLock(Cubo::ColUsrHasta, 1, false);
    g().setTypeButtonText(Cubo::ColUsrDesde, 1, "Central");
    g().setTypeButtonText(Cubo::ColUsrHasta, 1, "...");
    g().setCellTag(Cubo::ColUsrDesde, 1, "B");
    g().setCellTag(Cubo::ColUsrHasta, 1, "M");
    struct {
        QString from, to, minRange, maxRange;
        int min, max, lower, upper;
    } seen;
    os::ScopedDialogHandler handler([&](QDialog* d) {
        auto* f = qobject_cast<frmSelectText*>(d);
        if (!f) return int(QDialog::Rejected);
        seen = {f->FText->currentText(),
                f->TText->currentText(),
                f->MinRange,
                f->MaxRange,
                f->TimeRange->Min(),
                f->TimeRange->Max(),
                f->TimeRange->LowerValue(),
                f->TimeRange->UpperValue()};
        f->TText->setCurrentIndex(f->TText->findText("North"));
        f->cmdAceptar->click();
        return int(QDialog::Accepted);
    });
    press(Cubo::ColUsrHasta);
    EXPECT_EQ(seen.from, "Central");
    EXPECT_EQ(seen.to, "M"); // no To value: the upper limit
    EXPECT_EQ(seen.minRange, "B");
    EXPECT_EQ(seen.maxRange, "M");
    EXPECT_EQ(seen.min, 2);
    EXPECT_EQ(seen.max, 13);
    EXPECT_EQ(seen.lower, 3);
    EXPECT_EQ(seen.upper, 13);
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), "Central");
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrHasta, 1), "North");
    EXPECT_TRUE(refreshed());
    EXPECT_NEAR(totalAmount(), sumOf("Region BETWEEN ? AND ?", {"Central", "North"}), 0.005);
}

TEST_F(UserFilters, NumbersArePickedBetweenTheLimitsInTheFieldsDecimals) {
    General::sSepDecimal = ".";
    filaEntre("Amount", "ISNUMERIC", "100", "2500,5");
    const struct {
        const char* format;
        int decimals;
    } cases[] = {{"", 2}, {"#,##0.000", 3}, {"#,##0", 0}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.format);
        General::EscribirCelda(*w.c->spCam, Campos::TagFormato, 6, tc.format); // Amount
        g().setTypeButtonText(Cubo::ColUsrDesde, 1, "...");
        g().setTypeButtonText(Cubo::ColUsrHasta, 1, "...");
        struct {
            int decimals, min, max, lower, upper;
            QString from, to, format;
        } seen{};
        os::ScopedDialogHandler handler([&](QDialog* d) {
            auto* f = qobject_cast<frmSelectNum*>(d);
            if (!f) return int(QDialog::Rejected);
            seen = {f->CantDecimals,
                    f->TimeRange->Min(),
                    f->TimeRange->Max(),
                    f->TimeRange->LowerValue(),
                    f->TimeRange->UpperValue(),
                    f->FText->text(),
                    f->TText->text(),
                    f->Formato};
            f->FText->setText("150");
            f->TText->setText("900.5");
            f->cmdAceptar->click();
            return int(QDialog::Accepted);
        });
        press(Cubo::ColUsrDesde);
        EXPECT_EQ(seen.decimals, tc.decimals);
        EXPECT_EQ(seen.format, tc.format);
        EXPECT_EQ(seen.min, 100);
        EXPECT_EQ(seen.max, 2500); // 2500.5 to the even neighbour
        EXPECT_EQ(seen.lower, 100);
        EXPECT_EQ(seen.upper, 2500);
        EXPECT_EQ(seen.from, "100");
        EXPECT_EQ(seen.to, "2500,5");
        EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), "150");
        EXPECT_EQ(g().typeButtonText(Cubo::ColUsrHasta, 1), "900.5");
        EXPECT_TRUE(refreshed());
        EXPECT_NEAR(totalAmount(), sumOf("Amount BETWEEN 150 AND 900.5"), 0.005);
    }
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
}

TEST_F(UserFilters, DatesArePickedInsideTheLimitsAndWrittenInIso) {
    filaEntre("SaleDate", "ISDATE", "2024-01-01", "2025-12-31");
    struct {
        QDateTime minDate, maxDate, from, to;
        int max;
    } seen;
    os::ScopedDialogHandler handler([&](QDialog* d) {
        auto* f = qobject_cast<frmSelectDate*>(d);
        if (!f) return int(QDialog::Rejected);
        seen = {f->MinDate, f->MaxDate, f->FDate->dateTime(), f->TDate->dateTime(), f->TimeRange->Max()};
        f->FDate->setDateTime(QDateTime(QDate(2024, 3, 1), QTime(0, 0)));
        f->TDate->setDateTime(QDateTime(QDate(2024, 3, 31), QTime(0, 0)));
        f->cmdAceptar->click();
        return int(QDialog::Accepted);
    });
    press(Cubo::ColUsrDesde);
    EXPECT_EQ(seen.minDate, QDateTime(QDate(2024, 1, 1), QTime(0, 0)));
    EXPECT_EQ(seen.maxDate, QDateTime(QDate(2025, 12, 31), QTime(0, 0)));
    EXPECT_EQ(seen.from, seen.minDate); // no values: the limits
    EXPECT_EQ(seen.to, seen.maxDate);
    EXPECT_EQ(seen.max, 730);
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), "2024-03-01 00:00:00");
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrHasta, 1), "2024-03-31 00:00:00");
    EXPECT_TRUE(refreshed());
    EXPECT_NEAR(totalAmount(), sumOf("SaleDate BETWEEN '2024-03-01' AND '2024-03-31'"), 0.005);

    // The values picked before come back with their times of day; limits that are no dates are left
    // out and the values set the span.
    g().setTypeButtonText(Cubo::ColUsrDesde, 1, "2024-03-05 08:30:00");
    g().setTypeButtonText(Cubo::ColUsrHasta, 1, "2024-02-20");
    g().setCellTag(Cubo::ColUsrDesde, 1, "yesterday");
    g().setCellTag(Cubo::ColUsrHasta, 1, "...");
    QTime time;
    os::ScopedDialogHandler again([&](QDialog* d) {
        auto* f = qobject_cast<frmSelectDate*>(d);
        if (!f) return int(QDialog::Rejected);
        seen = {f->MinDate, f->MaxDate, f->FDate->dateTime(), f->TDate->dateTime(), f->TimeRange->Max()};
        time = f->FHour->time();
        f->close();
        return int(QDialog::Rejected);
    });
    press(Cubo::ColUsrDesde);
    EXPECT_EQ(seen.minDate, QDateTime(QDate(2024, 2, 20), QTime(0, 0))); // the earlier of the two
    EXPECT_EQ(seen.maxDate, QDateTime(QDate(2024, 3, 5), QTime(8, 30)));
    EXPECT_EQ(seen.from, QDateTime(QDate(2024, 3, 5), QTime(8, 30)));
    EXPECT_EQ(time, QTime(8, 30));
    EXPECT_EQ(seen.max, 14);
    EXPECT_FALSE(refreshed());
}

// Values with quotes and backslashes reach SQL as data: each filters exactly its own rows.
TEST_F(UserFilters, APickedValueWithQuotesOrBackslashesFiltersExactlyItsRows) {
    const QStringList oddValues = {"O'Brien",         "back\\slash",     "\"Quoted\"",
                                   "it\\'s both\\\\", "semi;colon -- x", "' OR '1'='1"};
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(home.path("Example.sqlite").toUtf8().constData(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(
            sqlite3_prepare_v2(db,
                               "INSERT INTO Sales (SaleDate, Region, Product, Salesperson, Quantity, Amount) "
                               "VALUES ('2024-06-01', ?, 'Mouse', 'Ana Ruiz', 1, ?)",
                               -1, &st, nullptr),
            SQLITE_OK);
        for (int i = 0; i < oddValues.size(); ++i) {
            const QByteArray v = oddValues[i].toUtf8();
            sqlite3_bind_text(st, 1, v.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 2, 10.0 * (i + 1));
            ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    for (const QString& value : oddValues) {
        SCOPED_TRACE(value.toStdString());
        bool enLista = false;
        os::ScopedDialogHandler handler([&](QDialog* d) {
            auto* f = qobject_cast<frmSelectText*>(d);
            if (!f) return int(QDialog::Rejected);
            const int i = f->FText->findText(value, Qt::MatchExactly);
            enLista = i >= 0;
            f->FText->setCurrentIndex(i);
            f->cmdAceptar->click();
            return int(QDialog::Accepted);
        });
        press(Cubo::ColUsrDesde);
        EXPECT_TRUE(enLista);
        EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), value);
        EXPECT_TRUE(refreshed());
        const double esperado = sumOf("Region = ?", {value});
        EXPECT_GT(esperado, 0);
        EXPECT_NEAR(totalAmount(), esperado, 0.005);
        EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
    }
}

TEST_F(UserFilters, RowsOfOtherTypeClassesOpenNoPicker) {
    g().setCellTag(Cubo::ColUsrOperador, 1, "ISBINARY");
    int shown = 0;
    os::ScopedDialogHandler handler([&](QDialog*) { return ++shown, int(QDialog::Rejected); });
    press(Cubo::ColUsrDesde);
    EXPECT_EQ(shown, 0);
    EXPECT_FALSE(refreshed());
}
