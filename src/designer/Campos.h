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
