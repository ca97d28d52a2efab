#pragma once
// The cube viewer window, one per open cube: the pivot table, the user filters, the chart and the
// toolbar. Its procedures are spread over several source files by subject (Cubo*.cpp).
#include "platform/grid/Grid.h"
#include "platform/pivot/PivotTable.h"

#include <QLabel>
#include <QPointer>
#include <QStatusBar>
#include <QWidget>

class InsCube;
class Campos;
namespace bd::os {
class Timer;
}

class Cubo : public QWidget {
    Q_OBJECT
public:
    explicit Cubo(QWidget* parent = nullptr);
    ~Cubo() override;

    QPointer<InsCube> VinsCube;
    QPointer<Campos> Vcampos;
    bool Cerrar = false;
    bool Salvar = false;
    bool carradoAutomatico = false;
    QString lastChart;

    // ---- controls ----
    bd::pivot::PivotTable* DC;
    QPointer<bd::grid::Grid> spUsrFil; // user filters
    QStatusBar* SB;
    bd::os::Timer* TimerWait;

    // ---- lifecycle ----
    void SeleccionarCampos(bool Abrir = false, bool CuboEjemplo = false, const QString& PathCubo = {},
                           const QString& PathMSFile = {}, const QString& Tipo = {});

    // ---- layout ----
    void AcomodarPantalla();

    // ---- cube file ----
    // Opens a cube file ("" = through the open-file dialog).
    bool Abrir(const QString& path);

    // ---- user filters into SQL ----
    static constexpr int ColUsrCampo = 1;
    static constexpr int ColUsrOperador = 2;
    static constexpr int ColUsrDesde = 3;
    static constexpr int ColUsrHasta = 4;
    static constexpr int ColUsrParentesis = 5;
    static constexpr int ColUsrConector = 6;
    static constexpr int ColUsrAgregarOr = 7;
    QString AplicarFiltro(const QString& vSql);
    void AplicarParentesis();
    void ClearFilters();
    QString GetNombreCampo(const QString& sql, const QString& field);
    QString FormarFechaSQL(const QString& value);

    // ---- charts, user-filter pane, alerts and publishing still to come (minimal until then) ----
    void Graph(const QString& measure);
    void IndicarCantidades(bool reset);
    void ColorcarGrillaFiltros(bool DesdeCampos, bool onInit, bool FromAbFileterCmd);
    void OcultarChart(bool show);
    void MostrarToolDrag();
    bool HayAlertas();
    void EnviarAlertas();
    void UpLoadToWeb();

protected:
    void closeEvent(QCloseEvent* e) override;
};
