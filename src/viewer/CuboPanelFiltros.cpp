// The user-filter pane: showing, hiding and laying out the grid above the pivot, and its rebuild
// from the filters the designer offers to the user. The grid's edits are in CuboFiltrosEventos.cpp.
#include "designer/Campos.h"
#include "platform/os/Prompter.h"
#include "viewer/Cubo.h"
#include "viewer/SplitBar.h"
#include "viewer/TwipsGeometry.h"

using namespace TwipsGeometry;
using bd::grid::Grid;

void Cubo::PrepareFilterGrid() {
    Grid& g = *spUsrFil;
    g.setMaxCols(8);
    const char* headers[] = {"Filtered Field", "Type", "From", "To", "()", "And Or", "+", "-"};
    for (int c = 1; c <= 8; ++c)
        g.setText(c, 0, QString::fromLatin1(headers[c - 1]));
    g.setCellType(ColUsrOperador, -1, bd::grid::TypeComboBox);
    g.setTypeComboBoxList(ColUsrOperador, -1, {"=", "Between", "Like", ">", "<"});
    g.setCellType(ColUsrDesde, -1, bd::grid::TypeButton);
    g.setCellType(ColUsrHasta, -1, bd::grid::TypeButton);
    g.setCellType(ColUsrConector, -1, bd::grid::TypeComboBox);
    g.setTypeComboBoxList(ColUsrConector, -1, {" ", "And", "Or"});
    g.setCellType(ColUsrAgregarOr, -1, bd::grid::TypeButton);
    g.setTypeButtonText(ColUsrAgregarOr, -1, "+");
    g.setCellType(ColUsrQuitar, -1, bd::grid::TypeButton);
    g.setTypeButtonText(ColUsrQuitar, -1, "-");
    connect(&g, &Grid::buttonClicked, this, &Cubo::spUsrFil_ButtonClicked, Qt::UniqueConnection);
    connect(&g, &Grid::changed, this, &Cubo::spUsrFil_Change, Qt::UniqueConnection);
    connect(&g, &Grid::comboSelChange, this, &Cubo::spUsrFil_ComboSelChange, Qt::UniqueConnection);
    connect(&g, &Grid::keyDown, this, &Cubo::spUsrFil_KeyDown, Qt::UniqueConnection);
}

QString Cubo::EncontrarCaption(const QString& field) {
    if (!Vcampos) return QString();
    Grid& cam = *Vcampos->spCam;
    for (int r = 1; r <= cam.maxRows(); ++r)
        if (cam.text(Campos::ColCampo, r) == field) return cam.cellTag(Campos::TagCaption, r);
    return QString();
}

void Cubo::ColorcarGrillaFiltros(bool onInit, bool DesdeCampos, bool FromAbFileterCmd) {
    if (!ToolChecked(ToolFilterPane)) {
        hideFilterPane();
        return;
    }
    const bool hasFilters = Vcampos && Campos::HayCampos(*Vcampos->spFil);
    if (!hasFilters) {
        // The designer's last filter went: its conditions must not go on filtering from a hidden grid.
        if (DesdeCampos && Vcampos) spUsrFil->setMaxRows(0);
        SetToolChecked(ToolFilterPane, false);
        hideFilterPane();
        if (FromAbFileterCmd &&
            bd::os::MsgBox("Do you want to define user filters ?", bd::os::Buttons::YesNo, bd::os::Icon::None,
                           "User Filters not available") == bd::os::Answer::Yes &&
            Vcampos) {
            Vcampos->show();
            Vcampos->GoTab(1);
            if (Vcampos) Vcampos->cmdShowFilters_Click();
        }
        return;
    }
    showFilterPane();
    Grid& g = *spUsrFil;
    if (onInit) {
        for (int r = 1; r <= g.maxRows(); ++r)
            if (g.text(ColUsrCampo, r).isEmpty()) {
                g.setMaxRows(r - 1);
                break;
            }
    }
    if (DesdeCampos && Vcampos) {
        fillUserFiltersFromDesigner();
        AplicarParentesis();
        AcomodarPantalla();
    }
}

// The pivot takes the pane's place below the toolbar.
void Cubo::hideFilterPane() {
    spUsrFil->setVisible(false);
    placeTwips(DC, leftTwips(DC), topTwips(AB) + heightTwips(AB), widthTwips(DC), Split->Top() - 400);
    SplitFil->setVisible(false);
}

// The pane below the toolbar, its splitter under it and the pivot below that.
void Cubo::showFilterPane() {
    const int belowAB = topTwips(AB) + heightTwips(AB);
    spUsrFil->setVisible(true);
    placeTwips(spUsrFil, 0, belowAB, widthTwips(DC), 2000);
    placeTwips(DC, leftTwips(DC), topTwips(spUsrFil) + heightTwips(spUsrFil) + SplitFil->Height(),
               widthTwips(DC), Split->Top() - heightTwips(spUsrFil) - 500);
    SplitFil->setWidth(WindowWidth() * 2);
    SplitFil->setLeft(0);
    if (!SplitFil->Visible() && isVisible()) {
        SplitFil->setVisible(true);
        SplitFil->setTop(topTwips(DC) - SplitFil->Height());
    } else {
        // The grid follows the splitter.
        placeTwips(spUsrFil, 0, belowAB, widthTwips(DC), SplitFil->Top() - belowAB);
        placeTwips(DC, leftTwips(DC), topTwips(spUsrFil) + heightTwips(spUsrFil) + SplitFil->Height(),
                   widthTwips(DC), Split->Top() - heightTwips(spUsrFil) - 500);
    }
}

// The user-filter grid anew from the filters the designer offers to the user, one after another so
// that none is lost at the next open.
void Cubo::fillUserFiltersFromDesigner() {
    Grid& g = *spUsrFil;
    Grid& fil = *Vcampos->spFil;
    g.setMaxRows(0);
    for (int i = 1; i <= fil.maxRows(); ++i) {
        if (fil.text(Campos::ColFiltroCampo, i).isEmpty() || fil.value(Campos::ColFiltroUsuario, i) != "1")
            continue;
        const int r = g.maxRows() + 1;
        g.setMaxRows(r);
        const QString field = fil.text(Campos::ColFiltroCampo, i);
        const QString caption = EncontrarCaption(field);
        g.setText(ColUsrCampo, r, caption.isEmpty() ? field : caption);
        g.setCellTag(ColUsrCampo, r, field);
        const QString op = fil.text(Campos::ColOperador, i);
        g.setCellTag(ColUsrOperador, r, fil.cellTag(Campos::ColOperador, i));
        g.setText(ColUsrOperador, r, op);
        g.setTypeButtonText(ColUsrDesde, r, "...");
        g.setTypeButtonText(ColUsrHasta, r, "...");
        if (op.toUpper() != "BETWEEN") {
            g.setCellType(ColUsrHasta, r, bd::grid::TypePlain);
            g.setLock(ColUsrHasta, r, true);
        }
        auto copy = [&](int from, int col, bool aTag) {
            const QString v = fil.typeButtonText(from, i);
            if (v.isEmpty()) return;
            if (aTag)
                g.setCellTag(col, r, v);
            else
                g.setTypeButtonText(col, r, v);
        };
        copy(Campos::ColValorDesde, ColUsrDesde, false);
        copy(Campos::ColLimiteDesde, ColUsrDesde, true);
        copy(Campos::ColValorHasta, ColUsrHasta, false);
        copy(Campos::ColLimiteHasta, ColUsrHasta, true);
        g.setCellTag(ColUsrParentesis, r, fil.cellTag(Campos::ColSQLValores, i));
    }
}
