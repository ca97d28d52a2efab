#pragma once
// The cube designer window: connection, query and the definition grids of one cube. Its procedures
// are spread over several source files by subject (Campos*.cpp).
#include "designer/DefinitionGrids.h"
#include "platform/grid/Grid.h"
#include "shell/CBalloonToolTip.h"

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
#include <functional>

class InsCube;
namespace bd::toolbar {
class Toolbar;
class Tool;
} // namespace bd::toolbar
class Cubo;
class frmClose;
class frmFormula;
namespace bd::os {
class Timer;
}
namespace bd::db {
class Connection;
struct Field;
class Recordset;
} // namespace bd::db
namespace bd::querybuilder {
class QueryBuilder;
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
    QTabWidget* SSTab1;           // 0 connection, 1 fields, 2 advanced, 3 query builder, 4 SQL preview
    QLineEdit* txtIdCubo;         // cube name
    QPlainTextEdit* txtConeccion; // connection string
    QPlainTextEdit* txtQuery;     // the cube's SQL
    QPushButton* cmdGenerarCnn;   // connection dialog
    QPushButton* comProbarCnn;    // test the connection
    QLabel* lblLastCnn;           // last connection
    QComboBox* cmbEngine;         // "ACCESS", "EXCEL", "MSSQL", "MYSQL", "ORACLE", "OTHER"
    QComboBox* cmbTbl;            // tables and views
    QPushButton* cmdOpenEditor;   // query builder
    QPushButton* cmdLastQuery;    // "Debug Last Query"
    QPushButton* cmdAceptar;      // OK: load the definition into the pivot
    QPushButton* cmdConectado;    // connection indicator
    QFrame* frameLockCnn;         // covers the connection data while locked
    QFrame* frameLockSql;         // covers the SQL while locked
    QPlainTextEdit* txtDescripcion;
    QCheckBox* chkRefresh; // re-run the query on open
    QCheckBox* chkSendAlert;
    QCheckBox* chkSaveWData;              // save with data
    QLineEdit* txtAutorefresh;            // minutes, "0" = off
    QLineEdit* txtAutoClose;              // minutes, "0" = off
    QLineEdit* txtLike;                   // "Like Separator"
    QLineEdit* txtDateIndicator;          // "Date Indicator Filter"
    QLineEdit* txtDBDateFormat;           // "DB Date Format"
    QLineEdit* txtDBHourFormat;           // "DB Hour Format"
    QLineEdit* cmdDBToDate;               // "DB Date Convert Function"
    QPlainTextEdit* txtViewQuery;         // SQL preview
    QPointer<bd::grid::Grid> spviewQuery; // query result preview
    // The cube property sheet: one setting per row in column 1, never shown.
    QPointer<bd::grid::Grid> spSave;
    bd::os::Timer* TimerAutoRefresh;
    bd::os::Timer* TimerAutoClose;
    bd::toolbar::Toolbar* AB;        // tools 65 and 76 show the tab; "Conectar" refreshes
    QPushButton* cmdSiguiente;       // connection tab: next step
    QPushButton* cmdUnLockCnn;       // on frameLockCnn
    QPushButton* cmdUnlockSql;       // on frameLockSql
    QPushButton* cmdCancelar;        // Close
    QPushButton* cmdViewClose;       // hides the designer
    QPushButton* cmdSetOk;           // advanced tab: OK
    QPushButton* cmdOpenScheduler;   // "Open Scheduler"
    QPushButton* cmdUpProperties;    // the upload properties dialog
    QPushButton* cmdQueryEditorView; // back to the query builder from the SQL preview
    static constexpr int ToolConnection = 65;
    static constexpr int ToolCube = 76;

    // ---- engine and date syntax ----
    // The engine's date delimiter and to-date template, applied only when the engine differs from
    // the one the boxes hold settings for; an empty delimiter is always filled in.
    void VerificarMotorDB();
    void cmbEngine_Click();
    void txtDBDateFormat_LostFocus();
    void txtDBHourFormat_LostFocus();
    static inline const QString OracleDateTemplate = QStringLiteral("to_date('<FIELD>', 'DB DATE FORMAT')");
    // The engine whose defaults the delimiter and template boxes hold.
    QString AppliedDbEngine;

    // ---- window ----
    void setCaptionFromCube();
    void Form_Activate();
    // cancel := true keeps the designer loaded (it is hidden instead).
    void Form_Unload(bool& cancel);
    void cmdViewClose_Click();
    void cmdSetOk_Click();
    void cmdCancelar_Click();
    void cmdAdvSet_Click();
    void cmdLastQuery_Click();
    void OpenScheduler();
    void cmdOpenScheduler_Click();
    // The upload properties dialog over rows 38, 40 and 41 of the property sheet.
    void cmdUpProperties_Click();
    void AB_ToolClick(bd::toolbar::Tool* tool);
    // A click on a tab's header: the command of its tool (tab 0 tool 65, tab 1 tool 76, tab 2 the
    // advanced settings), other tabs are only shown.
    void St_Click(int tab);
    void cmbTbl_Click();
    void cmbTbl_DropDown();
    void chkSaveWData_Click();
    // The hint balloon's window (nullptr when there is none); removed by tab changes and grid clicks.
    BalloonTip* Balloon() const { return balloon_.window(); }
    void DestroyBalloon();
    QPointer<bd::grid::Grid> VaOnfocus;
    static constexpr uint32_t ColorWindow = 0x80000005;
    static constexpr uint32_t ColorLocked = 0xE0E0E0;
    static constexpr uint32_t ColorFree = 0xFFFFFF;
    // The password prompt (frmPassword) over the designer: the text confirmed, "" when closed.
    QString AskPassword();

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
    bool FiltrosCambiados = false;
    bool Cambio = false;
    QString UltimaConsultaSQL;
    // The viewer shows its result without the user filters that its grid holds (they made the query
    // fail and were not cleared); a refresh that applies them clears it.
    bool FiltersNotApplied = false;
    // Removes every row of that field (upper-cased compare) from spCal, and from spFil and the viewer's
    // user-filter grid.
    void QuitarFilaEnCalculados(const QString& Campo);
    void QuitarFilaEnFiltros(const QString& Campo);
    // The display format of a field of spCam (the tag of column 2 of its row, exact name), "" when it
    // has none; and the decimals of that format, -1 when the field or its format is missing.
    QString getFormat(const QString& Campo) const;
    int getDecimals(const QString& Campo) const;
    // OK (cmdAceptar) loads the definition into the pivot. Safe to call more than once.
    void connectRefreshHandlers();
    // Back colour of a text box as an OLE colour (&H8080FF marks a field the user must correct).
    static void PaintBackground(QWidget* control, uint32_t ole);
    static constexpr uint32_t ColorError = 0x8080FF;

    // ---- definition grid editing ----
    // The measure grid and the filter grid share one place beside spCam; the button of the grid on
    // show is the disabled one.
    QPushButton* cmdSelCamCal;   // measures mode
    QPushButton* cmdShowFilters; // filters mode
    void cmdSelCamCal_Click();
    void cmdShowFilters_Click();
    // The spCam field of Row as a measure or as a filter; Col is the spCam column whose tag holds the
    // type class (3).
    void AgregarCampoASpCal(int Col, int Row);
    void AgregarCampoASpFil(int Col, int Row);
    // A named row of spCal (spFil) whose column 1 equals Name exactly.
    bool ExisteCampoEnGrilla(const QString& Name) const;
    bool ExisteCampoEnGrillaSpFil(const QString& Name) const;
    // The measure grid asks the field dialog for its chart button; the dialog clears it once used.
    bool mostrarCmdChartinFieldProperties = false;
    void spCam_ButtonClicked(int col, int row, int buttonDown);
    void spCam_Change(int col, int row);
    void spCam_Click(int col, int row);
    void spCam_DblClick(int col, int row);
    void spCam_GotFocus();
    void spCal_ButtonClicked(int col, int row, int buttonDown);
    void spCal_Change(int col, int row);
    void spCal_Click(int col, int row);
    void spCal_DblClick(int col, int row);
    void spCal_GotFocus();
    void spFil_ButtonClicked(int col, int row, int buttonDown);
    void spFil_Change(int col, int row);
    void spFil_Click(int col, int row);
    void spFil_DblClick(int col, int row);
    void spFil_ComboSelChange(int col, int row);
    void spFil_GotFocus();
    void spFil_KeyDown(int keyCode, int shift);
    // ---- calculated measures, chart and field properties, protection, row movers ----
    QPushButton* cmdCalcField;       // a new calculated measure
    QPushButton* cmdChartProperties; // chart settings of the active measure row
    QPushButton* cmdFieldProperties; // the field dialog of the active row of the last focused grid
    QPushButton* cmdProtect;         // password and protection switches
    QWidget* UpDown;                 // the row movers: buttons "UpDownUp" and "UpDownDown"
    // The formula editor; callers may fill it before SetCalculatedField, which deletes it.
    frmFormula* Formula();
    void SetCalculatedField();
    void cmdChartProperties_Click();
    void cmdFieldProperties_Click();
    void Protect();
    // Swap the active row of the focused definition grid with the row above (below); an alert group
    // of spCal moves as one block.
    void MoverFilaArriba();
    void MoverFilaAbajo();
    static constexpr uint32_t ColorModeInactive = 0x80000010; // button shadow
    static constexpr uint32_t ColorModeActive = 0x80000012;   // button text

    // ---- auto-refresh and auto-close timers ----
    // Each starts its timer with the minutes of its box, counting from now; a box of "", "0" or
    // anything but a positive number stops it instead.
    void PrenderTimerAutorefresh();
    void PrenderTimerAutoClose();
    double AutoRefreshMinutes = 0;
    double AutoCloseMinutes = 0;
    // One tick a minute: the refresh runs, or the countdown opens, once the minutes are reached.
    void TimerAutoRefresh_Timer();
    void TimerAutoClose_Timer();
    // The minutes boxes when they lose the focus: no number is "0"; separators are dropped.
    void txtAutorefresh_LostFocus();
    void txtAutoClose_LostFocus();
    // The viewer is closing: both timers stop, and a countdown still running with them.
    void stopMinuteTimers();
    // The auto-close countdown while it is open (nullptr otherwise).
    frmClose* countdown() const;

private:
    void connectTimerHandlers();
    void applyMinutes(QLineEdit* box, void (Campos::*start)());
    double autoRefreshTicks_ = 0;
    double autoCloseTicks_ = 0;
    QPointer<frmClose> countdown_;

private:
    void connectGridHandlers();
    // Every edit of the definition is an unsaved change of the cube.
    void markChanged();
    // spCam is as wide as its columns, so its buttons never leave the window.
    void fitSpCamWidth();
    void removeMeasure(int row);
    void addAlertRange(int row);
    void chooseAlertColors(int row);
    void chooseRecipients(int row);
    // Column 6 of a filter row as the operator wants it: a value button only for "Between".
    void betweenMode(int row);
    void chooseFilterValues(int col, int row);
    void removeFilter(int row);

    void moveRow(int paso);
    QPointer<frmFormula> formula_;
    bool starting_ = false;   // field discovery is running (GoTab with 1 calls back)
    bool refreshing_ = false; // a refresh is running (timers and events must not start another)
    // The steps of loading the definition into the pivot and of the refresh (CamposRefrescar.cpp).
    bool showViewerForDefinition();
    bool bindPivotToCube();
    void runDefinedPivot();
    struct RefreshRun;
    bool refreshConnect(RefreshRun& run);
    void showConnectionRefused(RefreshRun& run);
    bool refreshPrepareQuery(RefreshRun& run);
    bool refreshRunQuery(RefreshRun& run);
    void refreshShowResult(RefreshRun& run);
    void refreshFailed(RefreshRun& run, const QString& descripcion, const QString& sql);
    void refreshWithoutFilters(RefreshRun& run);
    void askAboutFailedFilters(RefreshRun& run);
    // Field discovery's steps (CamposCampos.cpp).
    bool openFieldsRecordset(QString* problem);
    bool addQueryFields(const QVector<bd::db::Field>& fields, bool* anyNumeric);

public:
    // ---- tabs, connection and the chart band ----
    void GoTab(int tab);
    void SetAbChecked();
    void IndicarConeccion();
    void BlockearCampos(bool on);
    void ShowConnectButton();
    void ObtnerQuery();
    // The connection string of a new cube over a data file of the chooser's kind ("ACCESS" or
    // "EXCEL"); "" for any other kind.
    static QString dataFileConnection(const QString& file, const QString& kind);
    void CargarComandosGraficos();
    // A measure row that gets a tool on the chart band: a visible main row with a name whose chart
    // type is not "None".
    static bool hasChartTool(const bd::grid::Grid& cal, int row);
    void MostrarToolMeasure();
    // Connection tab.
    QString Dialogo_ConnectionString();
    void cmdGenerarCnn_Click();
    void comProbarCnn_Click();
    void cmdSiguiente_Click();
    void lblLastCnn_Click();
    void cmdUnLockCnn_Click();
    void cmdUnlockSql_Click();
    // A table-list entry as the FROM of "SELECT * FROM": prefix removed, quoted for the engine.
    static QString SqlTableName(const QString& entrada, const QString& motor, const bd::db::Connection* cnn);

    // ---- query builder and SQL preview ----
    bd::querybuilder::QueryBuilder* aQ; // tag "WORK" once connected and loaded for this designer
    QPushButton* cmdQE;                 // takes the builder's SQL into the cube
    QPushButton* cmdGotoResults;        // "Show results": the builder's SQL into the preview
    QPushButton* cmdRunQuery;           // runs txtViewQuery into spviewQuery
    QLabel* lblViewQueryLimit;          // shown when the preview stopped at its row limit
    void cmdOpenEditor_Click();
    void builderTab_Click();
    void cmdQE_Click();
    void cmdGotoResults_Click();
    void cmdQueryEditorView_Click();
    void cmdRunQuery_Click();
    // The builder's SQL with its chain of inner joins nested in parentheses, as Access-style SQL needs
    // it; any text not in the builder's layout comes back unchanged.
    static QString PonerPatertesis(const QString& sql);
    // A name in the builder's SQL, always quoted: bracketed for ACCESS, EXCEL and MSSQL, else as the
    // connection quotes it.
    static QString quotedName(const QString& name, const QString& engine, const bd::db::Connection* cnn);
    // The builder's saved state, kept in the tag of spSave cell (0,0).
    QString CeldaEstadoConsulta() const;
    void setQueryStateCell(const QString& state);
    static constexpr int PreviewRowLimit = 100000;
    static constexpr int PreviewRowStep = 1000;

private:
    QWidget* buildQueryBuilderTab();
    QWidget* buildPreviewTab();
    void connectQueryHandlers();
    // The builder's SQL as the cube takes it: its own with the joins nested, a kept text as it is.
    QString builderSql() const;
    bool openPreview(bd::db::Recordset& rs, QString* error);
    bool fillPreview(bd::db::Recordset& rs, QString* error);

public:
    // ---- cube file and property sheet support ----
    // Rows of the property sheet spSave (column 1). Rows 2 and 3 keep their value in the cell tag;
    // the query builder's state is the tag of cell (0,0).
    static constexpr int ColProperty = 1;
    static constexpr int FilaNombreCubo = 1;
    static constexpr int FilaConexion = 2;
    static constexpr int FilaConsultaSQL = 3;
    static constexpr int FilaRefrescarCopia = 4;
    static constexpr int FilaDescripcion = 5;
    static constexpr int FilaPasswordCubo = 6;
    static constexpr int FilaProtegerConexion = 7;
    static constexpr int FilaProtegerSQL = 8;
    static constexpr int FilaPedirPassword = 9;
    static constexpr int FilaRefrescarAlAbrir = 10;
    static constexpr int FilaEnviarAlertas = 11;
    static constexpr int FilaMinutosRefresco = 12;
    static constexpr int FilaTareaNombre = 13;
    static constexpr int FilaTareaHora = 14;
    static constexpr int FilaTareaMinuto = 15;
    static constexpr int FilasTareaDias = 16; // 16..22, Monday..Sunday
    static constexpr int FilaMinutosCierre = 23;
    static constexpr int FilaGuardarConDatos = 24;
    static constexpr int FilaSeparadorLike = 25;
    static constexpr int FilaFormatoFecha = 26;
    static constexpr int FilaIndicadorFecha = 27;
    static constexpr int FilaFormatoHora = 28;
    static constexpr int FilaFuncionFecha = 29;
    static constexpr int FilaMotorDB = 30;
    static constexpr int FilaPanelFiltros = 31;
    static constexpr int FilaSinGrafico = 32;
    static constexpr int FilaMedidaGrafico = 34;
    static constexpr int FilaPosicionSplitFil = 35;
    static constexpr int FilaPosicionSplit = 36;
    static constexpr int FilaIdExportacion = 37;
    static constexpr int FilaSubirAlSalir = 38;
    static constexpr int FilaMailsSubida = 40;
    static constexpr int FilaPixelesFuente = 41;
    static constexpr int FilaProtegerConfiguracion = 42;
    static constexpr int PropertyRows = 42;
    static constexpr int RowQueryState = 0; // with column 0: CeldaEstadoConsulta
    // Text of a property-sheet row (column 1).
    QString Property(int row) const;
    // The cube settings as the designer had them when it was created; a cube opened into a designer
    // that held another starts from them again, with both minute timers stopped.
    void SaveInitialOptions();
    void RestoreCubeOptions();
    struct CubeOptions {
        QString autorefresh, autoclose, like, dateIndicator, dateFormat, hourFormat, toDate, engine;
        bool valid = false;
    };
    CubeOptions InitialOptions;

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void buildTabs();
    QWidget* buildConnectionTab();
    QWidget* buildFieldsTab();
    QWidget* buildAdvancedTab();
    void buildToolbar();
    void formLoad();
    void connectHandlers();
    void connectWindowHandlers(); // tab headers, grid clicks on the hint, keys
    void serveConnectionDialog();
    void unlock();
    void enableAB();
    bool activating_ = false;     // an activation is being served
    bool closingCube_ = false;    // the designer is taking its never-shown viewer with it
    bool applyingEngine_ = false; // VerificarMotorDB is writing the boxes
    bool ownSyntax_ = false;      // the boxes were given values other than the engine's defaults
    bool engineAdopted_ = false;  // the last engine change from code adopted the boxes as they were
    QString previousEngine_;
    QString dialogEngine_; // the engine name of the kind chosen in the last data-link dialog
    CBalloonToolTip balloon_;
    bd::os::Timer* dialogTimer_ = nullptr; // serves the connection dialog after activation
};
