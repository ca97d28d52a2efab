// The designer filter grid: what each value picker is given per type class and column, what comes
// back into the row, Delete on a pair, the operator, removing a row, and the flags that make the
// viewer's user-filter grid follow.
#include "designer/GridEditingSupport.h"
#include "designer/frmFieldProperties.h"
#include "platform/os/Clock.h"
#include "platform/os/DialogRunner.h"
#include "shell/General.h"
#include "viewer/frmSelectDate.h"
#include "viewer/frmSelectNum.h"
#include "viewer/frmSelectText.h"

using namespace gridedit;
using namespace bd::grid;
using bd::os::Answer;

namespace {

const QStringList kCities = {"create table Clientes (City varchar(20), Amount real, Day datetime)",
                             "insert into Clientes values ('Berlin', 1, '2024-03-05 10:00:00')",
                             "insert into Clientes values ('Cairo', 2, '2024-03-06 10:00:00')",
                             "insert into Clientes values ('Madrid', 3, '2024-03-07 10:00:00')"};

// What a picker showed when it opened.
struct Seen {
    QString from, to, minRange, maxRange, ftSql;
    bool onlyOne = false, tableVisible = false;
    int decimals = -1;
    QStringList list;
    QDateTime dateFrom, dateTo;
    bool withCube = false;
};

// Answers the picker of any kind: records what it was given, then fills From and To and confirms,
// or closes it.
struct Picker {
    Seen seen;
    int shown = 0;
    bool accept = true;
    QString from, to; // typed by the "user" (numbers and texts)
    QDateTime dateFrom, dateTo;
    std::function<void(frmSelectText&)> text;
    bd::os::ScopedDialogHandler handler{[this](QDialog* d) {
        ++shown;
        if (auto* n = qobject_cast<frmSelectNum*>(d)) {
            seen.from = n->FText->text();
            seen.to = n->TText->text();
            seen.onlyOne = n->NoRange && n->TText->isHidden();
            seen.decimals = n->CantDecimals;
            if (!from.isEmpty()) n->FText->setText(from);
            if (!to.isEmpty()) n->TText->setText(to);
            return closeWith(n, n->cmdAceptar);
        }
        if (auto* t = qobject_cast<frmSelectText*>(d)) {
            seen.from = t->FText->currentText();
            seen.to = t->TText->currentText();
            seen.minRange = t->MinRange;
            seen.maxRange = t->MaxRange;
            seen.ftSql = t->FTSql;
            seen.onlyOne = t->NoRange && t->TText->isHidden();
            seen.tableVisible = !t->cmdFromTBL->isHidden();
            seen.withCube = t->VinsCube != nullptr;
            for (int i = 0; i < t->FText->count(); ++i)
                seen.list << t->FText->itemText(i);
            if (!from.isEmpty()) t->FText->setEditText(from);
            if (!to.isEmpty()) t->TText->setEditText(to);
            if (text) text(*t);
            return closeWith(t, t->cmdAceptar);
        }
        if (auto* f = qobject_cast<frmSelectDate*>(d)) {
            seen.dateFrom = f->FDate->dateTime();
            seen.dateTo = f->TDate->dateTime();
            seen.onlyOne = f->NoRange && f->TDate->isHidden();
            if (dateFrom.isValid()) {
                f->FDate->setDateTime(dateFrom);
                f->FHour->setTime(dateFrom.time());
            }
            if (dateTo.isValid()) {
                f->TDate->setDateTime(dateTo);
                f->THour->setTime(dateTo.time());
            }
            return closeWith(f, f->cmdAceptar);
        }
        return int(QDialog::Rejected);
    }};
    int closeWith(QDialog* d, QPushButton* ok) {
        if (accept)
            ok->click();
        else
            d->close();
        return d->result();
    }
};

struct FilterGridTest : GridEditing {
    QString previousSeparator = General::sSepDecimal;
    bd::os::ManualClock clock{QDateTime(QDate(2026, 1, 15), QTime(10, 30, 0))};
    void SetUp() override {
        General::sSepDecimal = ".";
        t.db(kCities);
        t.sql("select * from Clientes");
    }
    void TearDown() override { General::sSepDecimal = previousSeparator; }
    QStringList buttons(int row) {
        QStringList out;
        for (int c = Campos::ColLimiteDesde; c <= Campos::ColLimiteHasta; ++c)
            out << filterGrid().typeButtonText(c, row);
        return out;
    }
    QStringList cellValues(int row) {
        QStringList out;
        for (int c = Campos::ColLimiteDesde; c <= Campos::ColLimiteHasta; ++c)
            out << filterGrid().text(c, row);
        return out;
    }
};

} // namespace

TEST_F(FilterGridTest, TheNumberPickerPerColumnAndOperator) {
    struct Case {
        const char* name;
        QString op;
        int col;
        QString format;
        QString from, to; // what the picker should open with
        bool onlyOne;
        int decimals;
        QStringList after; // button texts of columns 4-7 after OK with 7 and 9
    } cases[] = {
        {"'=' on the upper limit writes the lower",
         "=",
         7,
         "",
         "5",
         "...",
         true,
         2,
         {"7", "8", "...", "..."}},
        {"Between on the limits", "Between", 4, "0.0", "5", "0.0", false, 1, {"7", "8", "...", "9"}},
        {"Between on the values", "Between", 6, "", "8", "0.00", false, 2, {"5", "7", "9", "..."}},
        {"'>' on the second value writes the first",
         ">",
         6,
         "#",
         "8",
         "0",
         true,
         0,
         {"5", "7", "...", "..."}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        refreshtest::TestCube u;
        Campos& d = *u.c;
        d.spCam->setText(1, 1, "Amount");
        d.spCam->setCellTag(3, 1, "ISNUMERIC");
        d.spCam->setCellTag(Campos::TagFormato, 1, k.format);
        Grid& g = *d.spFil;
        g.setText(1, 1, "Amount");
        g.setText(3, 1, k.op);
        g.setCellTag(3, 1, "ISNUMERIC");
        emit g.comboSelChange(3, 1);
        const std::pair<int, QString> before[] = {{4, "5"}, {5, "8"}};
        for (const auto& [c, v] : before) {
            g.setTypeButtonText(c, 1, v);
            g.setText(c, 1, v);
        }
        Picker pk;
        pk.from = "7";
        pk.to = "9";
        press(g, k.col, 1);
        ASSERT_EQ(pk.shown, 1);
        EXPECT_EQ(pk.seen.onlyOne, k.onlyOne);
        EXPECT_EQ(pk.seen.decimals, k.decimals);
        EXPECT_EQ(pk.seen.from, k.col == 4 || k.col == 7 ? "5" : "8");
        if (!k.onlyOne) {
            EXPECT_EQ(pk.seen.to, k.to);
        }
        QStringList actual;
        for (int c = 4; c <= 7; ++c)
            actual << g.typeButtonText(c, 1);
        QStringList expected = k.after;
        // Column 4 (5) or 5 (8) takes the picked From; the untouched one keeps its value.
        if (k.col == 4 || k.col == 7) expected[1] = "8";
        if (k.col == 5 || k.col == 6) expected[0] = "5";
        EXPECT_EQ(actual, expected);
        EXPECT_EQ(g.text(k.col == 4 || k.col == 7 ? 4 : 5, 1), "7"); // cell value with the caption
        EXPECT_TRUE(d.FiltrosCambiados);
        EXPECT_TRUE(u.viewer->Salvar);
    }
}

TEST_F(FilterGridTest, TheTextPickerGetsTheLimitsAndTheValuesQuery) {
    const int r = filter("City", "ISTEXT");
    values(r, "B", "...", "...", "M");
    const QString query = "SELECT DISTINCT City FROM Clientes ORDER BY 1";
    filterGrid().setCellTag(Campos::ColSQLValores, r, query);
    filterGrid().setCellTag(Campos::ColTablaValores, r, "TBL --> Clientes");
    {
        Picker pk;
        pk.accept = false;
        press(filterGrid(), Campos::ColValorDesde, r);
        EXPECT_EQ(pk.seen.from, "B"); // no first value: the lower limit
        EXPECT_EQ(pk.seen.to, "M");
        EXPECT_EQ(pk.seen.minRange, "B");
        EXPECT_EQ(pk.seen.maxRange, "M");
        EXPECT_EQ(pk.seen.ftSql, query);
        EXPECT_EQ(pk.seen.list, QStringList({"Berlin", "Cairo", "Madrid"}));
        EXPECT_TRUE(pk.seen.tableVisible);
        EXPECT_TRUE(pk.seen.withCube);
        EXPECT_FALSE(pk.seen.onlyOne);
        // Closed without OK: nothing written, but the filters count as touched.
        EXPECT_EQ(buttons(r), QStringList({"B", "...", "...", "M"}));
        EXPECT_TRUE(c().FiltrosCambiados);
        EXPECT_FALSE(saveFlag());
    }
    {
        Picker pk;
        press(filterGrid(), Campos::ColLimiteHasta, r);
        EXPECT_EQ(pk.seen.from, "B"); // the limit pair opens with the limits themselves
        EXPECT_EQ(pk.seen.to, "M");
        EXPECT_TRUE(pk.seen.minRange.isEmpty());
    }
    {
        Picker pk;
        pk.from = "Cairo";
        pk.to = "Madrid";
        pk.text = [](frmSelectText& f) {
            f.FTTable = "TBL --> Clientes";
            f.FTField = "City";
            f.FTWhere = "Amount > 1";
            f.FTSql = "SELECT DISTINCT CITY FROM CLIENTES\r\n WHERE AMOUNT > 1";
        };
        press(filterGrid(), Campos::ColValorHasta, r);
        EXPECT_EQ(buttons(r), QStringList({"B", "Cairo", "Madrid", "M"}));
        EXPECT_EQ(cellValues(r), QStringList({"B", "Cairo", "Madrid", "M"}));
        EXPECT_EQ(filterGrid().cellTag(Campos::ColTablaValores, r), "TBL --> Clientes");
        EXPECT_EQ(filterGrid().cellTag(Campos::ColCampoValores, r), "City");
        EXPECT_EQ(filterGrid().cellTag(Campos::ColWhereValores, r), "Amount > 1");
        EXPECT_EQ(filterGrid().cellTag(Campos::ColSQLValores, r),
                  "SELECT DISTINCT CITY FROM CLIENTES\r\n WHERE AMOUNT > 1");
        EXPECT_TRUE(saveFlag());
        EXPECT_FALSE(frmSelectText::loaded());
    }
}

TEST_F(FilterGridTest, TheTextPickerOutOfBetweenStillTakesTheQueryBack) {
    const int r = filter("City", "ISMEMO", "Like");
    Picker pk;
    pk.from = "Ber";
    pk.text = [](frmSelectText& f) { f.FTSql = "SELECT DISTINCT CITY FROM CLIENTES"; };
    press(filterGrid(), Campos::ColValorDesde, r);
    EXPECT_TRUE(pk.seen.onlyOne);
    EXPECT_EQ(pk.seen.from, "A"); // nothing set: the picker's own start
    EXPECT_EQ(buttons(r), QStringList({"...", "Ber", "...", "..."}));
    EXPECT_EQ(filterGrid().cellTag(Campos::ColSQLValores, r), "SELECT DISTINCT CITY FROM CLIENTES");
}

TEST_F(FilterGridTest, TheDatePicker) {
    const QDateTime today(QDate(2026, 1, 15), QTime(0, 0));
    const int r = filter("Day", "ISDATE");
    {
        Picker pk;
        pk.accept = false;
        press(filterGrid(), Campos::ColValorDesde, r);
        EXPECT_EQ(pk.seen.dateFrom, today); // both values "...": today
        EXPECT_EQ(pk.seen.dateTo, today);
    }
    values(r, "2024-03-01 08:00:00", "2024-03-05 10:15:00", "...", "2024-03-31 00:00:00");
    {
        Picker pk;
        pk.dateFrom = QDateTime(QDate(2024, 3, 6), QTime(9, 30, 0));
        pk.dateTo = QDateTime(QDate(2024, 3, 8), QTime(18, 0, 0));
        press(filterGrid(), Campos::ColValorDesde, r);
        EXPECT_EQ(pk.seen.dateFrom, QDateTime(QDate(2024, 3, 5), QTime(10, 15, 0)));
        EXPECT_EQ(pk.seen.dateTo, today);
        EXPECT_EQ(buttons(r), QStringList({"2024-03-01 08:00:00", "2024-03-06 09:30:00",
                                           "2024-03-08 18:00:00", "2024-03-31 00:00:00"}));
    }
    {
        Picker pk;
        press(filterGrid(), Campos::ColLimiteHasta, r);
        EXPECT_EQ(pk.seen.dateFrom, QDateTime(QDate(2024, 3, 1), QTime(8, 0, 0)));
        EXPECT_EQ(pk.seen.dateTo, QDateTime(QDate(2024, 3, 31), QTime(0, 0, 0)));
    }
    // Another operator: one date, the To side hidden, and it lands in the pair's first column.
    filterGrid().setText(Campos::ColOperador, r, "=");
    emit filterGrid().comboSelChange(Campos::ColOperador, r);
    {
        Picker pk;
        pk.dateFrom = QDateTime(QDate(2024, 2, 1), QTime(0, 0, 0));
        press(filterGrid(), Campos::ColLimiteHasta, r);
        EXPECT_TRUE(pk.seen.onlyOne);
        EXPECT_EQ(filterGrid().typeButtonText(Campos::ColLimiteDesde, r), "2024-02-01 00:00:00");
        EXPECT_EQ(filterGrid().typeButtonText(Campos::ColLimiteHasta, r), "2024-03-31 00:00:00");
    }
}

TEST_F(FilterGridTest, RowsWithoutANameOrATypeClassIgnoreEveryButton) {
    const int noClass = filter("City", "");
    Picker pk;
    for (int col = Campos::ColLimiteDesde; col <= Campos::ColQuitarFiltro; ++col) {
        press(filterGrid(), col, noClass);
        press(filterGrid(), col, 50);
    }
    EXPECT_EQ(pk.shown, 0);
    EXPECT_TRUE(p->prompts.isEmpty());
    EXPECT_EQ(names(filterGrid()), QStringList({"City"}));
    EXPECT_TRUE(c().FiltrosCambiados);
}

TEST_F(FilterGridTest, DeleteClearsThePairOfTheActiveColumn) {
    struct Case {
        int col;
        QStringList left;
    } cases[] = {
        {4, {"...", "b", "c", "..."}}, {7, {"...", "b", "c", "..."}}, {5, {"a", "...", "...", "d"}},
        {6, {"a", "...", "...", "d"}}, {3, {"a", "b", "c", "d"}},     {8, {"a", "b", "c", "d"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.col);
        refreshtest::TestCube u;
        Grid& g = *u.c->spFil;
        g.setText(1, 1, "City");
        g.setText(3, 1, "Like"); // column 6 is a plain cell: it is cleared all the same
        g.setCellTag(3, 1, "ISTEXT");
        emit g.comboSelChange(3, 1);
        int c = 4;
        for (const char* v : {"a", "b", "c", "d"}) {
            g.setTypeButtonText(c, 1, v);
            g.setText(c++, 1, v);
        }
        u.c->FiltrosCambiados = false;
        u.viewer->Salvar = false;
        g.setActiveCell(k.col, 1);
        emit g.keyDown(46, 0);
        QStringList actual;
        for (int col = 4; col <= 7; ++col) {
            actual << g.typeButtonText(col, 1);
            if (g.typeButtonText(col, 1) == "...") {
                EXPECT_TRUE(g.text(col, 1).isEmpty());
            }
        }
        EXPECT_EQ(actual, k.left);
        const bool deleted = k.left != QStringList({"a", "b", "c", "d"});
        EXPECT_EQ(u.c->FiltrosCambiados, deleted);
        EXPECT_EQ(u.viewer->Salvar, deleted);
        EXPECT_EQ(g.cellType(6, 1), TypePlain);
    }
}

TEST_F(FilterGridTest, TheOperatorDecidesTheSecondValueCell) {
    const int r = filter("City", "ISTEXT");
    values(r, "a", "b", "c", "d");
    for (const char* op : {"=", "Like", ">", "<", "Between"}) {
        SCOPED_TRACE(op);
        c().FiltrosCambiados = false;
        t.viewer->Salvar = false;
        filterGrid().setText(Campos::ColOperador, r, op);
        emit filterGrid().comboSelChange(Campos::ColOperador, r);
        const bool between = QString(op) == "Between";
        EXPECT_EQ(filterGrid().cellType(Campos::ColValorHasta, r), between ? TypeButton : TypePlain);
        EXPECT_EQ(filterGrid().lock(Campos::ColValorHasta, r), !between);
        EXPECT_EQ(filterGrid().typeButtonText(Campos::ColValorHasta, r), "...");
        EXPECT_TRUE(filterGrid().text(Campos::ColValorHasta, r).isEmpty());
        EXPECT_EQ(filterGrid().typeButtonText(Campos::ColValorDesde, r), "b");
        EXPECT_EQ(filterGrid().typeButtonText(Campos::ColLimiteHasta, r), "d");
        EXPECT_TRUE(c().FiltrosCambiados);
        EXPECT_TRUE(saveFlag());
    }
}

TEST_F(FilterGridTest, RemoveAsksAndKeepsTheRowCount) {
    filter("A", "ISTEXT");
    const int r = filter("B", "ISNUMERIC");
    filter("C", "ISDATE");
    ASSERT_EQ(filterGrid().maxRows(), 300);
    p->answer(Answer::No);
    press(filterGrid(), Campos::ColQuitarFiltro, r);
    EXPECT_EQ(names(filterGrid()), QStringList({"A", "B", "C"}));
    EXPECT_FALSE(saveFlag());
    press(filterGrid(), Campos::ColQuitarFiltro, r);
    EXPECT_EQ(names(filterGrid()), QStringList({"A", "C"}));
    EXPECT_EQ(filterGrid().maxRows(), 300);
    EXPECT_EQ(filterGrid().cellTag(Campos::ColOperador, r), "ISDATE");
    EXPECT_EQ(texts(),
              QStringList({"Are you sure to remove this row ?", "Are you sure to remove this row ?"}));
    EXPECT_EQ(p->prompts[0].title, "Remove");
    EXPECT_TRUE(c().FiltrosCambiados);
    EXPECT_TRUE(saveFlag());
}

TEST_F(FilterGridTest, ChangesAndTheFieldDialogFromAFilter) {
    const int r = filter("City", "ISTEXT");
    tick(filterGrid(), Campos::ColFiltroUsuario, r);
    EXPECT_TRUE(c().FiltrosCambiados);
    EXPECT_TRUE(saveFlag());

    // Every field row of that name hands its caption and format to the filter.
    field("City", "ISTEXT");
    fieldGrid().setCellTag(Campos::TagFormato, 1, "@");
    int shownOnes = 0;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        auto* f = qobject_cast<frmFieldProperties*>(d);
        if (!f) return int(QDialog::Rejected);
        ++shownOnes;
        f->txtCaption->setText("Town");
        f->cmdAceptar->click();
        return f->result();
    });
    c().FiltrosCambiados = false;
    emit filterGrid().dblClicked(1, r);
    EXPECT_EQ(shownOnes, 1);
    EXPECT_EQ(filterGrid().cellTag(Campos::TagCaption, r), "Town");
    EXPECT_EQ(filterGrid().cellTag(Campos::TagFormato, r), "");
    EXPECT_TRUE(c().FiltrosCambiados);
}

TEST_F(FilterGridTest, FieldLookupsOfTheFilterGrids) {
    field("Amount", "ISNUMERIC");
    field("Units", "ISNUMERIC");
    fieldGrid().setCellTag(Campos::TagFormato, 1, "#,##0.000");
    EXPECT_EQ(c().getFormat("Amount"), "#,##0.000");
    EXPECT_EQ(c().getDecimals("Amount"), 3);
    EXPECT_EQ(c().getFormat("amount"), ""); // exact names only
    EXPECT_EQ(c().getDecimals("amount"), -1);
    EXPECT_EQ(c().getDecimals("Units"), -1); // no format
    // The number picker then shows 2 decimals.
    const int r = filter("Units", "ISNUMERIC");
    Picker pk;
    pk.accept = false;
    press(filterGrid(), Campos::ColLimiteDesde, r);
    EXPECT_EQ(pk.seen.decimals, 2);
    EXPECT_EQ(pk.seen.from, "0.00");
}

TEST_F(FilterGridTest, TheViewersFilterGridFollowsEveryFilterEdit) {
    const int city = field("City", "ISTEXT");
    c().AgregarCampoASpCal(3, field("Amount", "ISNUMERIC"));
    c().cmdShowFilters_Click();
    Grid& u = *t.viewer->spUsrFil;
    auto load = [&] {
        c().CargarDefinicionEnCubo();
        QStringList out;
        for (int r = 1; r <= u.maxRows(); ++r)
            if (!u.cellTag(Cubo::ColUsrCampo, r).isEmpty())
                out << u.cellTag(Cubo::ColUsrCampo, r) + " " + u.text(Cubo::ColUsrOperador, r) + " " +
                           u.typeButtonText(Cubo::ColUsrDesde, r);
        return out;
    };
    press(fieldGrid(), Campos::ColTipoCampo, city);
    EXPECT_TRUE(saveFlag());
    EXPECT_EQ(load(), QStringList({"City Between ..."}));

    filterGrid().setText(Campos::ColOperador, 1, "Like");
    emit filterGrid().comboSelChange(Campos::ColOperador, 1);
    EXPECT_EQ(load(), QStringList({"City Like ..."}));
    EXPECT_EQ(u.cellType(Cubo::ColUsrHasta, 1), TypePlain);

    values(1, "...", "Ber", "...", "...");
    filterGrid().setActiveCell(Campos::ColValorDesde, 1);
    emit filterGrid().keyDown(46, 0);
    filterGrid().setText(Campos::ColOperador, 1, "=");
    emit filterGrid().comboSelChange(Campos::ColOperador, 1);
    EXPECT_EQ(load(), QStringList({"City = ..."}));

    // A value picked in the viewer, then the designer's last filter removed: no condition is left.
    u.setTypeButtonText(Cubo::ColUsrDesde, 1, "Berlin");
    press(filterGrid(), Campos::ColQuitarFiltro, 1);
    EXPECT_TRUE(load().isEmpty());
    EXPECT_FALSE(c().UltimaConsultaSQL.contains("Berlin")) << c().UltimaConsultaSQL.toStdString();
    EXPECT_TRUE(p->prompts.size() == 1) << texts().join(" / ").toStdString();
}

TEST_F(FilterGridTest, TheViewerAsksForFiltersAndTheDesignerShowsItsFilterGrid) {
    field("City", "ISTEXT");
    t.viewer->SetToolChecked(Cubo::ToolFilterPane, true);
    p->answer(Answer::Yes);
    t.viewer->ColorcarGrillaFiltros(false, false, true);
    EXPECT_EQ(texts(), QStringList({"Do you want to define user filters ?"}));
    EXPECT_TRUE(c().isVisible());
    EXPECT_EQ(c().SSTab1->currentIndex(), 1);
    EXPECT_FALSE(c().spFil->isHidden());
    EXPECT_TRUE(c().spCal->isHidden());
    EXPECT_EQ(fieldGrid().cellType(Campos::ColTipoCampo, 1),
              TypeButton); // a text field can be taken as a filter
    c().hide();
}
