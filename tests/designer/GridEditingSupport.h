#pragma once
// A designer linked to its viewer and cube object, with a scripted prompter, and the small steps the
// grid-editing tests take: a field row, a measure row, a filter row, a button pressed and a check box
// ticked as the user does them.
#include "designer/RefreshTestCube.h"
#include "platform/os/Prompter.h"

#include <gtest/gtest.h>

namespace gridedit {

using bd::grid::Grid;

struct GridEditing : ::testing::Test {
    refreshtest::TestCube t;
    bd::os::ScopedPrompter p;

    Campos& c() { return *t.c; }
    Grid& fieldGrid() { return *t.c->spCam; }
    Grid& measureGrid() { return *t.c->spCal; }
    Grid& filterGrid() { return *t.c->spFil; }
    bool saveFlag() const { return t.viewer->Salvar; }

    // A field of the query in the first free row of spCam.
    int field(const QString& name, const QString& typeClass, const QString& dimension = "1") {
        const int r = c().BuscarPosicion(fieldGrid());
        fieldGrid().setText(Campos::ColCampo, r, name);
        fieldGrid().setText(Campos::ColDimension, r, dimension);
        fieldGrid().setCellTag(Campos::ColTipoCampo, r, typeClass);
        return r;
    }
    // A main measure row as the field grid writes it.
    int measure(const QString& name, bool visible = true) {
        const int r = c().BuscarPosicion(measureGrid());
        measureGrid().setText(Campos::ColMedida, r, name);
        measureGrid().setText(Campos::ColVisible, r, visible ? "1" : "0");
        measureGrid().setText(Campos::ColAgregado, r, "Sum");
        measureGrid().setText(Campos::ColLimiteInferior, r, "0,00");
        measureGrid().setText(Campos::ColLimiteSuperior, r, "0,00");
        return r;
    }
    // A filter row as the field grid writes it.
    int filter(const QString& name, const QString& typeClass, const QString& op = "Between") {
        const int r = c().BuscarPosicion(filterGrid());
        filterGrid().setText(Campos::ColFiltroCampo, r, name);
        filterGrid().setText(Campos::ColFiltroUsuario, r, "1");
        filterGrid().setText(Campos::ColOperador, r, op);
        filterGrid().setCellTag(Campos::ColOperador, r, typeClass);
        if (op != "Between") {
            filterGrid().setCellType(Campos::ColValorHasta, r, bd::grid::TypePlain);
            filterGrid().setLock(Campos::ColValorHasta, r, true);
        }
        return r;
    }
    void values(int row, const QString& l1, const QString& v1, const QString& v2, const QString& l2) {
        const std::pair<int, QString> cells[] = {{Campos::ColLimiteDesde, l1},
                                                 {Campos::ColValorDesde, v1},
                                                 {Campos::ColValorHasta, v2},
                                                 {Campos::ColLimiteHasta, l2}};
        for (const auto& [col, v] : cells) {
            filterGrid().setTypeButtonText(col, row, v);
            filterGrid().setText(col, row, v == "..." ? QString() : v);
        }
    }
    static void press(Grid& g, int col, int row) { emit g.buttonClicked(col, row, 0); }
    // A check box toggled by the user: the box changes, then the button and change events.
    static void tick(Grid& g, int col, int row) {
        g.setText(col, row, g.value(col, row).toString() == "1" ? "0" : "1");
        emit g.buttonClicked(col, row, g.value(col, row).toString() == "1" ? 1 : 0);
        emit g.changed(col, row);
    }
    QStringList names(Grid& g) {
        QStringList out;
        for (int r = 1; r <= g.maxRows(); ++r)
            if (!g.text(1, r).isEmpty()) out << g.text(1, r);
        return out;
    }
    QStringList texts() { return p->texts(); }
};

} // namespace gridedit
