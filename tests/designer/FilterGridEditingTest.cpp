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

const QStringList kCiudades = {"create table Clientes (City varchar(20), Amount real, Day datetime)",
                               "insert into Clientes values ('Berlin', 1, '2024-03-05 10:00:00')",
                               "insert into Clientes values ('Cairo', 2, '2024-03-06 10:00:00')",
                               "insert into Clientes values ('Madrid', 3, '2024-03-07 10:00:00')"};

// What a picker showed when it opened.
struct Visto {
    QString desde, hasta, minRange, maxRange, ftSql;
    bool soloUno = false, tablaVisible = false;
    int decimales = -1;
    QStringList lista;
    QDateTime fechaDesde, fechaHasta;
    bool conCubo = false;
};

// Answers the picker of any kind: records what it was given, then fills From and To and confirms,
// or closes it.
struct Picker {
    Visto visto;
    int shown = 0;
    bool aceptar = true;
    QString desde, hasta; // typed by the "user" (numbers and texts)
    QDateTime fechaDesde, fechaHasta;
    std::function<void(frmSelectText&)> texto;
    bd::os::ScopedDialogHandler handler{[this](QDialog* d) {
        ++shown;
        if (auto* n = qobject_cast<frmSelectNum*>(d)) {
            visto.desde = n->FText->text();
            visto.hasta = n->TText->text();
            visto.soloUno = n->NoRange && n->TText->isHidden();
            visto.decimales = n->CantDecimals;
            if (!desde.isEmpty()) n->FText->setText(desde);
            if (!hasta.isEmpty()) n->TText->setText(hasta);
            return cerrar(n, n->cmdAceptar);
        }
        if (auto* t = qobject_cast<frmSelectText*>(d)) {
            visto.desde = t->FText->currentText();
            visto.hasta = t->TText->currentText();
            visto.minRange = t->MinRange;
            visto.maxRange = t->MaxRange;
            visto.ftSql = t->FTSql;
            visto.soloUno = t->NoRange && t->TText->isHidden();
            visto.tablaVisible = !t->cmdFromTBL->isHidden();
            visto.conCubo = t->VinsCube != nullptr;
            for (int i = 0; i < t->FText->count(); ++i)
                visto.lista << t->FText->itemText(i);
            if (!desde.isEmpty()) t->FText->setEditText(desde);
            if (!hasta.isEmpty()) t->TText->setEditText(hasta);
            if (texto) texto(*t);
            return cerrar(t, t->cmdAceptar);
        }
        if (auto* f = qobject_cast<frmSelectDate*>(d)) {
            visto.fechaDesde = f->FDate->dateTime();
            visto.fechaHasta = f->TDate->dateTime();
            visto.soloUno = f->NoRange && f->TDate->isHidden();
            if (fechaDesde.isValid()) {
                f->FDate->setDateTime(fechaDesde);
                f->FHour->setTime(fechaDesde.time());
            }
            if (fechaHasta.isValid()) {
                f->TDate->setDateTime(fechaHasta);
                f->THour->setTime(fechaHasta.time());
            }
            return cerrar(f, f->cmdAceptar);
        }
        return int(QDialog::Rejected);
    }};
    int cerrar(QDialog* d, QPushButton* ok) {
        if (aceptar)
            ok->click();
        else
            d->close();
        return d->result();
    }
};

struct FiltrosTest : Edicion {
    QString separadorPrevio = General::sSepDecimal;
    bd::os::ManualClock reloj{QDateTime(QDate(2026, 1, 15), QTime(10, 30, 0))};
    void SetUp() override {
        General::sSepDecimal = ".";
        t.db(kCiudades);
        t.sql("select * from Clientes");
    }
    void TearDown() override { General::sSepDecimal = separadorPrevio; }
    QStringList botones(int row) {
        QStringList out;
        for (int c = Campos::ColLimiteDesde; c <= Campos::ColLimiteHasta; ++c)
            out << fil().typeButtonText(c, row);
        return out;
    }
    QStringList valoresCelda(int row) {
        QStringList out;
        for (int c = Campos::ColLimiteDesde; c <= Campos::ColLimiteHasta; ++c)
            out << fil().text(c, row);
        return out;
    }
};

} // namespace

TEST_F(FiltrosTest, TheNumberPickerPerColumnAndOperator) {
    struct Caso {
        const char* nombre;
        QString operador;
        int col;
        QString formato;
        QString desde, hasta; // what the picker should open with
        bool soloUno;
        int decimales;
        QStringList despues; // button texts of columns 4-7 after OK with 7 and 9
    } casos[] = {
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
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.nombre);
        refreshtest::CuboDePrueba u;
        Campos& d = *u.c;
        d.spCam->setText(1, 1, "Amount");
        d.spCam->setCellTag(3, 1, "ISNUMERIC");
        d.spCam->setCellTag(Campos::TagFormato, 1, k.formato);
        Grid& g = *d.spFil;
        g.setText(1, 1, "Amount");
        g.setText(3, 1, k.operador);
        g.setCellTag(3, 1, "ISNUMERIC");
        emit g.comboSelChange(3, 1);
        const std::pair<int, QString> antes[] = {{4, "5"}, {5, "8"}};
        for (const auto& [c, v] : antes) {
            g.setTypeButtonText(c, 1, v);
            g.setText(c, 1, v);
        }
        Picker pk;
        pk.desde = "7";
        pk.hasta = "9";
        pulsar(g, k.col, 1);
        ASSERT_EQ(pk.shown, 1);
        EXPECT_EQ(pk.visto.soloUno, k.soloUno);
        EXPECT_EQ(pk.visto.decimales, k.decimales);
        EXPECT_EQ(pk.visto.desde, k.col == 4 || k.col == 7 ? "5" : "8");
        if (!k.soloUno) {
            EXPECT_EQ(pk.visto.hasta, k.hasta);
        }
        QStringList hechos;
        for (int c = 4; c <= 7; ++c)
            hechos << g.typeButtonText(c, 1);
        QStringList esperados = k.despues;
        // Column 4 (5) or 5 (8) takes the picked From; the untouched one keeps its value.
        if (k.col == 4 || k.col == 7) esperados[1] = "8";
        if (k.col == 5 || k.col == 6) esperados[0] = "5";
        EXPECT_EQ(hechos, esperados);
        EXPECT_EQ(g.text(k.col == 4 || k.col == 7 ? 4 : 5, 1), "7"); // cell value with the caption
        EXPECT_TRUE(d.FiltrosCambiados);
        EXPECT_TRUE(u.viewer->Salvar);
    }
}

TEST_F(FiltrosTest, TheTextPickerGetsTheLimitsAndTheValuesQuery) {
    const int r = filtro("City", "ISTEXT");
    valores(r, "B", "...", "...", "M");
    const QString consulta = "SELECT DISTINCT City FROM Clientes ORDER BY 1";
    fil().setCellTag(Campos::ColSQLValores, r, consulta);
    fil().setCellTag(Campos::ColTablaValores, r, "TBL --> Clientes");
    {
        Picker pk;
        pk.aceptar = false;
        pulsar(fil(), Campos::ColValorDesde, r);
        EXPECT_EQ(pk.visto.desde, "B"); // no first value: the lower limit
        EXPECT_EQ(pk.visto.hasta, "M");
        EXPECT_EQ(pk.visto.minRange, "B");
        EXPECT_EQ(pk.visto.maxRange, "M");
        EXPECT_EQ(pk.visto.ftSql, consulta);
        EXPECT_EQ(pk.visto.lista, QStringList({"Berlin", "Cairo", "Madrid"}));
        EXPECT_TRUE(pk.visto.tablaVisible);
        EXPECT_TRUE(pk.visto.conCubo);
        EXPECT_FALSE(pk.visto.soloUno);
        // Closed without OK: nothing written, but the filters count as touched.
        EXPECT_EQ(botones(r), QStringList({"B", "...", "...", "M"}));
        EXPECT_TRUE(c().FiltrosCambiados);
        EXPECT_FALSE(salvar());
    }
    {
        Picker pk;
        pulsar(fil(), Campos::ColLimiteHasta, r);
        EXPECT_EQ(pk.visto.desde, "B"); // the limit pair opens with the limits themselves
        EXPECT_EQ(pk.visto.hasta, "M");
        EXPECT_TRUE(pk.visto.minRange.isEmpty());
    }
    {
        Picker pk;
        pk.desde = "Cairo";
        pk.hasta = "Madrid";
        pk.texto = [](frmSelectText& f) {
            f.FTTable = "TBL --> Clientes";
            f.FTField = "City";
            f.FTWhere = "Amount > 1";
            f.FTSql = "SELECT DISTINCT CITY FROM CLIENTES\r\n WHERE AMOUNT > 1";
        };
        pulsar(fil(), Campos::ColValorHasta, r);
        EXPECT_EQ(botones(r), QStringList({"B", "Cairo", "Madrid", "M"}));
        EXPECT_EQ(valoresCelda(r), QStringList({"B", "Cairo", "Madrid", "M"}));
        EXPECT_EQ(fil().cellTag(Campos::ColTablaValores, r), "TBL --> Clientes");
        EXPECT_EQ(fil().cellTag(Campos::ColCampoValores, r), "City");
        EXPECT_EQ(fil().cellTag(Campos::ColWhereValores, r), "Amount > 1");
        EXPECT_EQ(fil().cellTag(Campos::ColSQLValores, r),
                  "SELECT DISTINCT CITY FROM CLIENTES\r\n WHERE AMOUNT > 1");
        EXPECT_TRUE(salvar());
        EXPECT_FALSE(frmSelectText::loaded());
    }
}

TEST_F(FiltrosTest, TheTextPickerOutOfBetweenStillTakesTheQueryBack) {
    const int r = filtro("City", "ISMEMO", "Like");
    Picker pk;
    pk.desde = "Ber";
    pk.texto = [](frmSelectText& f) { f.FTSql = "SELECT DISTINCT CITY FROM CLIENTES"; };
    pulsar(fil(), Campos::ColValorDesde, r);
    EXPECT_TRUE(pk.visto.soloUno);
    EXPECT_EQ(pk.visto.desde, "A"); // nothing set: the picker's own start
    EXPECT_EQ(botones(r), QStringList({"...", "Ber", "...", "..."}));
    EXPECT_EQ(fil().cellTag(Campos::ColSQLValores, r), "SELECT DISTINCT CITY FROM CLIENTES");
}

TEST_F(FiltrosTest, TheDatePicker) {
    const QDateTime hoy(QDate(2026, 1, 15), QTime(0, 0));
    const int r = filtro("Day", "ISDATE");
    {
        Picker pk;
        pk.aceptar = false;
        pulsar(fil(), Campos::ColValorDesde, r);
        EXPECT_EQ(pk.visto.fechaDesde, hoy); // both values "...": today
        EXPECT_EQ(pk.visto.fechaHasta, hoy);
    }
    valores(r, "2024-03-01 08:00:00", "2024-03-05 10:15:00", "...", "2024-03-31 00:00:00");
    {
        Picker pk;
        pk.fechaDesde = QDateTime(QDate(2024, 3, 6), QTime(9, 30, 0));
        pk.fechaHasta = QDateTime(QDate(2024, 3, 8), QTime(18, 0, 0));
        pulsar(fil(), Campos::ColValorDesde, r);
        EXPECT_EQ(pk.visto.fechaDesde, QDateTime(QDate(2024, 3, 5), QTime(10, 15, 0)));
        EXPECT_EQ(pk.visto.fechaHasta, hoy);
        EXPECT_EQ(botones(r), QStringList({"2024-03-01 08:00:00", "2024-03-06 09:30:00",
                                           "2024-03-08 18:00:00", "2024-03-31 00:00:00"}));
    }
    {
        Picker pk;
        pulsar(fil(), Campos::ColLimiteHasta, r);
        EXPECT_EQ(pk.visto.fechaDesde, QDateTime(QDate(2024, 3, 1), QTime(8, 0, 0)));
        EXPECT_EQ(pk.visto.fechaHasta, QDateTime(QDate(2024, 3, 31), QTime(0, 0, 0)));
    }
    // Another operator: one date, the To side hidden, and it lands in the pair's first column.
    fil().setText(Campos::ColOperador, r, "=");
    emit fil().comboSelChange(Campos::ColOperador, r);
    {
        Picker pk;
        pk.fechaDesde = QDateTime(QDate(2024, 2, 1), QTime(0, 0, 0));
        pulsar(fil(), Campos::ColLimiteHasta, r);
        EXPECT_TRUE(pk.visto.soloUno);
        EXPECT_EQ(fil().typeButtonText(Campos::ColLimiteDesde, r), "2024-02-01 00:00:00");
        EXPECT_EQ(fil().typeButtonText(Campos::ColLimiteHasta, r), "2024-03-31 00:00:00");
    }
}

TEST_F(FiltrosTest, RowsWithoutANameOrATypeClassIgnoreEveryButton) {
    const int sinClase = filtro("City", "");
    Picker pk;
    for (int col = Campos::ColLimiteDesde; col <= Campos::ColQuitarFiltro; ++col) {
        pulsar(fil(), col, sinClase);
        pulsar(fil(), col, 50);
    }
    EXPECT_EQ(pk.shown, 0);
    EXPECT_TRUE(p->prompts.isEmpty());
    EXPECT_EQ(nombres(fil()), QStringList({"City"}));
    EXPECT_TRUE(c().FiltrosCambiados);
}

TEST_F(FiltrosTest, DeleteClearsThePairOfTheActiveColumn) {
    struct Caso {
        int col;
        QStringList quedan;
    } casos[] = {
        {4, {"...", "b", "c", "..."}}, {7, {"...", "b", "c", "..."}}, {5, {"a", "...", "...", "d"}},
        {6, {"a", "...", "...", "d"}}, {3, {"a", "b", "c", "d"}},     {8, {"a", "b", "c", "d"}},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.col);
        refreshtest::CuboDePrueba u;
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
        QStringList hechos;
        for (int col = 4; col <= 7; ++col) {
            hechos << g.typeButtonText(col, 1);
            if (g.typeButtonText(col, 1) == "...") {
                EXPECT_TRUE(g.text(col, 1).isEmpty());
            }
        }
        EXPECT_EQ(hechos, k.quedan);
        const bool borrado = k.quedan != QStringList({"a", "b", "c", "d"});
        EXPECT_EQ(u.c->FiltrosCambiados, borrado);
        EXPECT_EQ(u.viewer->Salvar, borrado);
        EXPECT_EQ(g.cellType(6, 1), TypePlain);
    }
}

TEST_F(FiltrosTest, TheOperatorDecidesTheSecondValueCell) {
    const int r = filtro("City", "ISTEXT");
    valores(r, "a", "b", "c", "d");
    for (const char* op : {"=", "Like", ">", "<", "Between"}) {
        SCOPED_TRACE(op);
        c().FiltrosCambiados = false;
        t.viewer->Salvar = false;
        fil().setText(Campos::ColOperador, r, op);
        emit fil().comboSelChange(Campos::ColOperador, r);
        const bool entre = QString(op) == "Between";
        EXPECT_EQ(fil().cellType(Campos::ColValorHasta, r), entre ? TypeButton : TypePlain);
        EXPECT_EQ(fil().lock(Campos::ColValorHasta, r), !entre);
        EXPECT_EQ(fil().typeButtonText(Campos::ColValorHasta, r), "...");
        EXPECT_TRUE(fil().text(Campos::ColValorHasta, r).isEmpty());
        EXPECT_EQ(fil().typeButtonText(Campos::ColValorDesde, r), "b");
        EXPECT_EQ(fil().typeButtonText(Campos::ColLimiteHasta, r), "d");
        EXPECT_TRUE(c().FiltrosCambiados);
        EXPECT_TRUE(salvar());
    }
}

TEST_F(FiltrosTest, RemoveAsksAndKeepsTheRowCount) {
    filtro("A", "ISTEXT");
    const int r = filtro("B", "ISNUMERIC");
    filtro("C", "ISDATE");
    ASSERT_EQ(fil().maxRows(), 300);
    p->answer(Answer::No);
    pulsar(fil(), Campos::ColQuitarFiltro, r);
    EXPECT_EQ(nombres(fil()), QStringList({"A", "B", "C"}));
    EXPECT_FALSE(salvar());
    pulsar(fil(), Campos::ColQuitarFiltro, r);
    EXPECT_EQ(nombres(fil()), QStringList({"A", "C"}));
    EXPECT_EQ(fil().maxRows(), 300);
    EXPECT_EQ(fil().cellTag(Campos::ColOperador, r), "ISDATE");
    EXPECT_EQ(textos(),
              QStringList({"Are you sure to remove this row ?", "Are you sure to remove this row ?"}));
    EXPECT_EQ(p->prompts[0].title, "Remove");
    EXPECT_TRUE(c().FiltrosCambiados);
    EXPECT_TRUE(salvar());
}

TEST_F(FiltrosTest, ChangesAndTheFieldDialogFromAFilter) {
    const int r = filtro("City", "ISTEXT");
    marcar(fil(), Campos::ColFiltroUsuario, r);
    EXPECT_TRUE(c().FiltrosCambiados);
    EXPECT_TRUE(salvar());

    // Every field row of that name hands its caption and format to the filter.
    campo("City", "ISTEXT");
    cam().setCellTag(Campos::TagFormato, 1, "@");
    int mostrados = 0;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        auto* f = qobject_cast<frmFieldProperties*>(d);
        if (!f) return int(QDialog::Rejected);
        ++mostrados;
        f->txtCaption->setText("Town");
        f->cmdAceptar->click();
        return f->result();
    });
    c().FiltrosCambiados = false;
    emit fil().dblClicked(1, r);
    EXPECT_EQ(mostrados, 1);
    EXPECT_EQ(fil().cellTag(Campos::TagCaption, r), "Town");
    EXPECT_EQ(fil().cellTag(Campos::TagFormato, r), "");
    EXPECT_TRUE(c().FiltrosCambiados);
}

TEST_F(FiltrosTest, FieldLookupsOfTheFilterGrids) {
    campo("Amount", "ISNUMERIC");
    campo("Units", "ISNUMERIC");
    cam().setCellTag(Campos::TagFormato, 1, "#,##0.000");
    EXPECT_EQ(c().getFormat("Amount"), "#,##0.000");
    EXPECT_EQ(c().getDecimals("Amount"), 3);
    EXPECT_EQ(c().getFormat("amount"), ""); // exact names only
    EXPECT_EQ(c().getDecimals("amount"), -1);
    EXPECT_EQ(c().getDecimals("Units"), -1); // no format
    // The number picker then shows 2 decimals.
    const int r = filtro("Units", "ISNUMERIC");
    Picker pk;
    pk.aceptar = false;
    pulsar(fil(), Campos::ColLimiteDesde, r);
    EXPECT_EQ(pk.visto.decimales, 2);
    EXPECT_EQ(pk.visto.desde, "0.00");
}

TEST_F(FiltrosTest, TheViewersFilterGridFollowsEveryFilterEdit) {
    const int city = campo("City", "ISTEXT");
    c().AgregarCampoASpCal(3, campo("Amount", "ISNUMERIC"));
    c().cmdShowFilters_Click();
    Grid& u = *t.viewer->spUsrFil;
    auto cargar = [&] {
        c().CargarDefinicionEnCubo();
        QStringList out;
        for (int r = 1; r <= u.maxRows(); ++r)
            if (!u.cellTag(Cubo::ColUsrCampo, r).isEmpty())
                out << u.cellTag(Cubo::ColUsrCampo, r) + " " + u.text(Cubo::ColUsrOperador, r) + " " +
                           u.typeButtonText(Cubo::ColUsrDesde, r);
        return out;
    };
    pulsar(cam(), Campos::ColTipoCampo, city);
    EXPECT_TRUE(salvar());
    EXPECT_EQ(cargar(), QStringList({"City Between ..."}));

    fil().setText(Campos::ColOperador, 1, "Like");
    emit fil().comboSelChange(Campos::ColOperador, 1);
    EXPECT_EQ(cargar(), QStringList({"City Like ..."}));
    EXPECT_EQ(u.cellType(Cubo::ColUsrHasta, 1), TypePlain);

    valores(1, "...", "Ber", "...", "...");
    fil().setActiveCell(Campos::ColValorDesde, 1);
    emit fil().keyDown(46, 0);
    fil().setText(Campos::ColOperador, 1, "=");
    emit fil().comboSelChange(Campos::ColOperador, 1);
    EXPECT_EQ(cargar(), QStringList({"City = ..."}));

    // A value picked in the viewer, then the designer's last filter removed: no condition is left.
    u.setTypeButtonText(Cubo::ColUsrDesde, 1, "Berlin");
    pulsar(fil(), Campos::ColQuitarFiltro, 1);
    EXPECT_TRUE(cargar().isEmpty());
    EXPECT_FALSE(c().UltimaConsultaSQL.contains("Berlin")) << c().UltimaConsultaSQL.toStdString();
    EXPECT_TRUE(p->prompts.size() == 1) << textos().join(" / ").toStdString();
}

TEST_F(FiltrosTest, TheViewerAsksForFiltersAndTheDesignerShowsItsFilterGrid) {
    campo("City", "ISTEXT");
    t.viewer->SetToolChecked(Cubo::ToolFilterPane, true);
    p->answer(Answer::Yes);
    t.viewer->ColorcarGrillaFiltros(false, false, true);
    EXPECT_EQ(textos(), QStringList({"Do you want to define user filters ?"}));
    EXPECT_TRUE(c().isVisible());
    EXPECT_EQ(c().SSTab1->currentIndex(), 1);
    EXPECT_FALSE(c().spFil->isHidden());
    EXPECT_TRUE(c().spCal->isHidden());
    EXPECT_EQ(cam().cellType(Campos::ColTipoCampo, 1), TypeButton); // a text field can be taken as a filter
    c().hide();
}
