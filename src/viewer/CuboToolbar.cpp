// The viewer's main toolbar AB: its bands and tools, and one handler that runs the command of the
// clicked tool's name.
#include "designer/Campos.h"
#include "platform/os/Clock.h"
#include "platform/os/Prompter.h"
#include "shell/FrmMain.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <exception>

using bd::os::Answer;
using bd::os::Buttons;
using bd::os::Icon;
using bd::os::MsgBox;
using bd::toolbar::BandKind;
using bd::toolbar::Tool;
using bd::toolbar::ToolStyle;

namespace {
struct DefTool {
    const char* name;
    const char* caption; // nullptr: the name
};

// Enables both toolbars again when the command ends without having started TimerWait (which
// enables them itself), whatever way it ends.
struct ReenableBars {
    QPointer<Cubo> v;
    ~ReenableBars() {
        if (!v || v->TimerWait->isEnabled()) return;
        v->AB->setEnabled(true);
        v->ABGraph->setEnabled(true);
    }
};
} // namespace

void Cubo::CreateToolbarAB() {
    int id = 1;
    auto addTools = [&](bd::toolbar::Band* b, std::initializer_list<DefTool> defs) {
        for (const DefTool& d : defs) {
            while (id == ToolNoChart || id == ToolFilterPane)
                ++id;
            const QString name = QString::fromUtf8(d.name);
            b->addTool(id++, name, d.caption ? QString::fromUtf8(d.caption) : name);
        }
    };
    auto* archivo = AB->addBand("&Archivo", BandKind::Menu, "&File");
    addTools(archivo, {{"Nuevo", "New"},
                       {"Guardar", "&Save"},
                       {"SaveAs", "Save As"},
                       {"Abrir", "&Open"},
                       {"Abrir Último", "Open Last"},
                       {"Vista Previa", "Preview"},
                       {"Exportar", "&Export"},
                       {"Imprimir Gráfico", "Chart Print"},
                       {"Imprimir Pantalla", "Window Print"},
                       {"&Guardar Estructura", "Structure Save"},
                       {"Protect", nullptr},
                       {"Salir", "&Exit"}});
    auto* bar = AB->addBand("Band2");
    addTools(bar, {{"Abrir", "Open"}, {"Guardar", "Save"}, {"Rank", "Sort"}});
    Tool* filters = bar->addTool(ToolFilterPane, "Filters", "Filters", ToolStyle::Check);
    Tool* noChart = bar->addTool(ToolNoChart, "noGrph", "Charts", ToolStyle::Check);
    addTools(bar, {{"Conectar", "Refresh"},
                   {"vSeleccionar Campos", "Fields"},
                   {"AdvConfig", "Config."},
                   {"Scheduler", nullptr},
                   {"Vista Previa", "Preview"},
                   {"Exportar", "Export"},
                   {"WebView", "Publish"},
                   {"3dLine", nullptr},
                   {"3dArea", nullptr},
                   {"3dStep", nullptr},
                   {"3dCombination", nullptr},
                   {"2dLine", nullptr},
                   {"2dArea", nullptr},
                   {"2dStep", nullptr},
                   {"2dCombination", nullptr},
                   {"Apilar Series", nullptr},
                   {"Legends Limit", nullptr},
                   {"Graphic Limit", nullptr}});
    // The chart-style tools run no command: kept by name, not shown.
    for (const char* n : {"3dLine", "3dArea", "3dStep", "3dCombination", "2dLine", "2dArea", "2dStep",
                          "2dCombination", "Apilar Series", "Legends Limit", "Graphic Limit"})
        bar->tool(QString::fromUtf8(n))->setVisible(false);
    auto* config = AB->addBand("Bconfig", BandKind::Menu, "Config");
    addTools(config, {{"&Seleccionar Campos", "Select Fields"}, {"Advanced Settings", nullptr}});

    // The hidden actions created first hold the states; the tools on the bar follow them.
    for (QAction* a : AB->actions()) {
        const int tid = a->property("toolId").toInt();
        Tool* t = tid == ToolNoChart ? noChart : tid == ToolFilterPane ? filters : nullptr;
        if (!t) continue;
        connect(a, &QAction::toggled, t, [t](bool on) { t->setChecked(on); });
    }
    connect(AB, &bd::toolbar::Toolbar::toolClick, this, &Cubo::AB_ToolClick);
}

void Cubo::AB_ToolClick(Tool* tool) {
    if (tool) RunCommand(tool->key());
}

bool Cubo::AskToSaveChanges() {
    if (!Salvar) return true;
    if (MsgBox("Do you want to save the changes ?", Buttons::YesNo, Icon::None, "Save") != Answer::Yes)
        return true;
    return Guardar(true, false);
}

void Cubo::RunCommand(const QString& key) {
    const QPointer<Cubo> self(this);
    try {
        if (key == "WEBVIEW") {
            UpLoadToWeb();
        } else if (key == "NOGRPH") {
            toggleChart();
        } else if (key == "NUEVO") {
            if (VinsCube && VinsCube->Vparent) VinsCube->Vparent->NuevoCubo("Dovrane", QString(), QString());
        } else if (key == "GUARDAR") {
            Guardar(true, false);
        } else if (key == "SAVEAS") {
            Guardar(true, true);
        } else if (key == "ABRIR") {
            if (AskToSaveChanges() && self) Abrir(QString(), false);
        } else if (key == QStringLiteral("ABRIR ÚLTIMO")) {
            if (AskToSaveChanges() && self) AbrirUltimo();
        } else if (key == "FILTERS") {
            SetToolChecked(ToolFilterPane, !ToolChecked(ToolFilterPane));
            ColorcarGrillaFiltros(false, false, true);
        } else if (key == "VSELECCIONAR CAMPOS" || key == "ADVCONFIG") {
            SeleccionarCampos(false, false, QString(), QString(), QString());
            if (self && Vcampos) {
                Vcampos->GoTab(key == "ADVCONFIG" ? 2 : 1);
                Vcampos->SetAbChecked();
            }
        } else if (key == "CONECTAR") {
            ReenableBars reenable{self};
            AB->setEnabled(false);
            ABGraph->setEnabled(false);
            if (Vcampos) Vcampos->Refrescar(nullptr);
            if (self) TimerWait->setEnabled(true);
        } else if (key == "EXPORTAR") {
            ExportarCubo();
        } else if (key == "SCHEDULER") {
            OpenScheduler();
        } else if (key == "VISTA PREVIA") {
            previewPivot();
        } else if (key == QStringLiteral("IMPRIMIR GRÁFICO")) {
            ImpGr();
        } else if (key == "ADVANCED SETTINGS") {
            if (Vcampos) {
                Vcampos->show();
                General::EnfocarControl(Vcampos);
            }
            AdvancedSettings();
        } else if (key == "IMPRIMIR PANTALLA") {
            PrintScreen();
        } else if (key == "PROTECT") {
            Protect();
        } else if (key == "RANK") {
            const bd::pivot::PivotFieldList rows = DC->rowFields();
            if (rows.count() == 0)
                MsgBox("Not rows in the cube", Buttons::Ok, Icon::Information, "Drag the headers");
            else
                MostrarRanking(rows.item(0));
        } else if (key == "SALIR") {
            close();
        }
    } catch (const std::exception& e) {
        MsgBox(QString::fromLocal8Bit(e.what()));
    }
}

// The chart shown or hidden; without a measure the designer is offered instead.
void Cubo::toggleChart() {
    const QPointer<Cubo> self(this);
    ReenableBars reenable{self};
    AB->setEnabled(false);
    ABGraph->setEnabled(false);
    if (!Vcampos || !Campos::HayCampos(*Vcampos->spCal)) {
        if (MsgBox("There are not measures. Do you want to define ?", Buttons::YesNo, Icon::None,
                   "Not Measures") == Answer::Yes &&
            self && Vcampos) {
            Vcampos->GoTab(1);
            Vcampos->SetAbChecked();
            Vcampos->show();
        }
        return;
    }
    OcultarChart(false);
    SetToolChecked(ToolNoChart, !ToolChecked(ToolNoChart));
    Split->setTop(WindowHeight() / 2);
    Split->setVisible(true);
    CHA->setVisible(true);
    AcomodarPantalla();
    Graph(QString());
    if (self) TimerWait->setEnabled(true);
}

// The pivot's print preview, headed by the cube's description or else its name.
void Cubo::previewPivot() {
    QString header;
    if (Vcampos) {
        header = Vcampos->txtDescripcion->toPlainText();
        if (header.isEmpty()) header = Vcampos->txtIdCubo->text();
    }
    DC->setPrintHeader(header);
    DC->printPreview();
}
