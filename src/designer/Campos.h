#pragma once
// The cube designer window: connection, query and the definition grids of one cube. Its procedures
// are spread over several source files by subject (Campos*.cpp).
#include "designer/DefinitionGrids.h"
#include "platform/grid/Grid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QWidget>

class InsCube;
class Cubo;
namespace bd::os {
class Timer;
}

class Campos : public QWidget, public DefinitionGrids {
    Q_OBJECT
public:
    explicit Campos(QWidget* parent = nullptr);
    ~Campos() override;

    QPointer<InsCube> VinsCube;
    QPointer<Cubo> VCubo;
    bool Recarga = false;
    bool CerrarEnUnload = false;
    bool OpenConnectionDialog = false;
    bool vProtected = false;

    // ---- controls ----
    QTabWidget* SSTab1;             // 0 connection, 1 fields, 2 advanced, 3 query builder, 4 SQL preview
    QLineEdit* txtIdCubo;           // cube name
    QPlainTextEdit* txtConeccion;   // connection string
    QPlainTextEdit* txtQuery;       // the cube's SQL
    QPushButton* cmdGenerarCnn;     // connection dialog
    QPushButton* comProbarCnn;      // test the connection
    QLabel* lblLastCnn;             // last connection
    QComboBox* cmbEngine;           // "ACCESS", "EXCEL", "MSSQL", "MYSQL", "ORACLE", "OTHER"
    QComboBox* cmbTbl;              // tables and views
    QPushButton* cmdOpenEditor;     // query builder
    QPushButton* cmdLastQuery;      // "Debug Last Query"
    QPushButton* cmdAceptar;        // OK: load the definition into the pivot
    QPushButton* cmdConectado;      // connection indicator
    QFrame* frameLockCnn;           // covers the connection data while locked
    QFrame* frameLockSql;           // covers the SQL while locked
    QPlainTextEdit* txtDescripcion;
    QCheckBox* chkRefresh;          // re-run the query on open
    QCheckBox* chkSendAlert;
    QCheckBox* chkSaveWData;        // save with data
    QLineEdit* txtAutorefresh;      // minutes, "0" = off
    QLineEdit* txtAutoClose;        // minutes, "0" = off
    QLineEdit* txtLike;             // "Like Separator"
    QLineEdit* txtDateIndicator;    // "Date Indicator Filter"
    QLineEdit* txtDBDateFormat;     // "DB Date Format"
    QLineEdit* txtDBHourFormat;     // "DB Hour Format"
    QLineEdit* cmdDBToDate;         // "DB Date Convert Function"
    QPlainTextEdit* txtViewQuery;   // SQL preview
    QPointer<bd::grid::Grid> spviewQuery; // query result preview
    // The cube property sheet: one setting per row in column 1, never shown.
    QPointer<bd::grid::Grid> spSave;
    bd::os::Timer* TimerAutoRefresh;
    bd::os::Timer* TimerAutoClose;

    // ---- engine and date syntax ----
    void VerificarMotorDB();

    // ---- window ----
    void setCaptionFromCube();

    // ---- field discovery, definition into the pivot, refresh ----
    void Iniciar();
    void VerificarNumericos();
    void BlockearColumnasSpCal();
    int BuscarPosicion(bd::grid::Grid& Grilla);
    bool EstaEnGrilla(bd::grid::Grid& Grilla, const QString& Campo);
    bool EsNumericoEnGrilla(bd::grid::Grid& Grilla, const QString& Campo);
    bool EstaEnquery(const QString& Campo);
    void BorrarCamposNoEnQuery();
    void CargarDefinicionEnCubo();
    // DesdeFiltros: the refresh comes from a change of the user filters (may be set by the refresh).
    void Refrescar(bool* DesdeFiltros = nullptr);
    void PrenderTimerAutorefresh();
    void PrenderTimerAutoClose();
    bool FiltrosCambiados = false;
    bool Cambio = false;
    QString UltimaConsultaSQL;
    double MinutosAutoRefresh = 0;
    double MinutosAutoClose = 0;
    // The viewer shows its result without the user filters that its grid holds (they made the query
    // fail and were not cleared); a refresh that applies them clears it.
    bool FiltrosSinAplicar = false;
    // Removes every row of that field (upper-cased compare) from spCal, and from spFil and the viewer's
    // user-filter grid.
    void QuitarFilaEnCalculados(const QString& Campo);
    void QuitarFilaEnFiltros(const QString& Campo);
    // OK (cmdAceptar) loads the definition into the pivot. Safe to call more than once.
    void connectRefreshHandlers();
    // Back colour of a text box as an OLE colour (&H8080FF marks a field the user must correct).
    static void PintarFondo(QWidget* control, uint32_t ole);
    static constexpr uint32_t ColorError = 0x8080FF;

private:
    bool iniciando_ = false;   // field discovery is running (GoTab with 1 calls back)
    bool refrescando_ = false; // a refresh is running (timers and events must not start another)

public:

    // ---- designer procedures of the window's own work still to come (minimal until then) ----
    void GoTab(int tab);
    void SetAbChecked();
    void IndicarConeccion();
    void BlockearCampos(bool on);
    void ShowConnectButton();
    void ObtnerQuery();
    void CargarComandosGraficos();
    void MostrarToolMeasure();

    // ---- cube file and property sheet support ----

private:
    void buildTabs();
};
