#pragma once
// The cube viewer window, one per open cube: the pivot table, the user filters, the chart and the
// toolbar. Its procedures are spread over several source files by subject (Cubo*.cpp).
#include "platform/browser/PageView.h"
#include "platform/grid/Grid.h"
#include "platform/os/Desktop.h"
#include "platform/pivot/PivotTable.h"
#include "platform/toolbar/Toolbar.h"
#include "publishing/ChartFiles.h"
#include "shell/CBalloonToolTip.h"
#include "viewer/SplitBar.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QVector>
#include <QWidget>
#include <functional>

class InsCube;
class Campos;
namespace bd::os {
class Timer;
}
namespace bd::publishing {
struct ChartEntry;
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
    CBalloonToolTip TT1; // the drag hint

    // ---- controls ----
    bd::pivot::PivotTable* DC;
    QPointer<bd::grid::Grid> spUsrFil; // user filters
    QStatusBar* SB;
    QLabel* sizePanel; // panel 2 of SB: the result's size
    bd::os::Timer* TimerWait;

    // ---- lifecycle ----
    void SeleccionarCampos(bool Abrir = false, bool CuboEjemplo = false, const QString& PathCubo = {},
                           const QString& PathMSFile = {}, const QString& Tipo = {});
    static inline const QString HelpText = QStringLiteral("Drag and drop headers to reorganize.");
    // Activation of the window: the drag hint on its first three activations across runs.
    void Form_Activate();
    // The close sequence; false when the user's save was cancelled or failed (the viewer stays).
    bool Form_Unload();
    void TimerWait_Timer();

    // ---- layout ----
    // Main toolbar and chart toolbar. Tool 80 checked = chart hidden; tool 104 checked = user-filter
    // pane shown.
    static constexpr int ToolNoChart = 80;
    static constexpr int ToolFilterPane = 104;
    bd::toolbar::Toolbar* AB;
    bd::toolbar::Toolbar* ABGraph;
    bool ToolChecked(int id) const;
    void SetToolChecked(int id, bool on);
    bd::browser::PageView* CHA; // chart browser
    QString CHATag;             // "NOLOADED": its page was never loaded
    QFrame* frameCover;         // placed over CHA by OcultarChart
    QPushButton* cmdConectado;
    SplitBar* Split;    // between the pivot and the chart
    SplitBar* SplitFil; // below the user-filter pane
    void AcomodarPantalla();
    // Charts on (tool 80 unchecked); when they were off, the chart area comes back where the Charts
    // command puts it.
    void restoreChartArea();
    void Form_Resize();
    void Split_MoveComplete();
    void SplitFil_MoveComplete();
    // The size a viewer opens at: the one the user left the last viewer at, else the screen's
    // available area.
    void setInitialSize();
    // The viewer's and the designer's captions name the cube: its file, or its name until saved.
    void updateTitles();
    // A cube was opened or saved: captions, and the start window's "Open Last".
    void cubeFileChanged();
    // The window's outer size in twips; setting it resizes the window.
    int WindowWidth() const;
    int WindowHeight() const;
    void SetWindowWidth(int twips);
    void SetWindowHeight(int twips);

    // ---- cube file ----
    // Saves the cube; false when the dialog was cancelled or the save failed (the old file, Salvar
    // and the last-cube setting then stay as they were).
    bool Guardar(bool ConDatos = false, bool GuardarComo = false);
    // Opens a cube file into this viewer and its designer ("" = through the Open dialog). False when
    // nothing was opened; a damaged file changes nothing.
    bool Abrir(const QString& vFile = {}, bool Ejemplo = false);
    bool AbrirUltimo();
    void VerificarCubo();
    void EliminarArchivos();
    // The six members of a cube file, keys "1" to "6" in this order.
    static const QStringList& MemberNames();
    // The common dialog, kept for the life of the viewer (its file name carries over).
    bd::os::FileDialogRequest CD;
    bool CDCancelError = false;

    // ---- user filters into SQL ----
    static constexpr int ColUsrCampo = 1;
    static constexpr int ColUsrOperador = 2;
    static constexpr int ColUsrDesde = 3;
    static constexpr int ColUsrHasta = 4;
    static constexpr int ColUsrParentesis = 5;
    static constexpr int ColUsrConector = 6;
    static constexpr int ColUsrAgregarOr = 7;
    static constexpr int ColUsrQuitar = 8;
    // Shows or hides the user-filter pane and lays it out; trims (onInit) or rebuilds (DesdeCampos)
    // the grid on request.
    void ColorcarGrillaFiltros(bool onInit, bool DesdeCampos, bool FromAbFileterCmd);
    QString EncontrarCaption(const QString& field);
    // Headers, cell types and lists of the user-filter grid's columns.
    void PrepareFilterGrid();
    QString AplicarFiltro(const QString& vSql);
    void AplicarParentesis();
    void ClearFilters();
    QString GetNombreCampo(const QString& sql, const QString& field);
    QString FormarFechaSQL(const QString& value);

    // ---- charts ----
    // Band of ABGraph that holds one tool per charted measure and the chart type combo.
    static inline const QString ChartBand = QStringLiteral("Band2");
    static inline const QString ChartTypeCombo = QStringLiteral("cmbChartType");
    QIcon picGraph;                // picture of every measure tool
    QPixmap picImprimir;           // the last captured picture
    bool bGraficoListo = false;    // the chart toolbar may start a redraw
    bool bGraficoDibujado = false; // the last GraphChart finished a chart
    bool ChartLimited = false;     // the last chart stopped at its result limit
    QString sPaginaGrafico;        // path of the last chart page
    // Draws the chart of a measure ("" = the one charted last), only while the chart is shown.
    void Graph(const QString& NombreCampo);
    void GraphChart(const QString& ChartId, const QString& NombreCampo, int AutoHide, int MaxChars,
                    int ResultLimit, const QString& Caption, const QString& SubCaption, const QString& EjeX,
                    const QString& EjeY, bool DibujarTotales);
    // Writes the chart's data and page and shows the page; a failure hides the chart and says why.
    void showChartPage(const QString& chartId, const QString& xml, int resultLimit);
    // The measure name of spCal that name stands for: an exact match, else the first whose name
    // without blanks equals name without blanks (files of earlier versions), else name itself.
    QString ChartMeasure(const QString& name) const;
    // What the category axis shows for a body of the data file: the captions of the fields whose
    // headers make the labels.
    QString categoryAxisTitle(bd::charts::ChartBody body) const;
    // The measure's main rows all have the chart type "None".
    bool chartTypeIsNone(const QString& measure) const;
    // The first measure of spCal that has a tool on the chart band; "" when none has.
    QString firstChartedMeasure() const;
    // False covers the chart pane with frameCover, true uncovers it.
    void OcultarChart(bool vVisible);
    // Radio behaviour of the measure tools: every tool of AB unchecked, then vTool checked.
    void ToolChekBar(bd::toolbar::Tool* vTool, bd::toolbar::Toolbar* AB);
    // Writes a picture of the current chart page to path (a bitmap).
    void getChartImg(const QString& path);
    void ClickBarraGrafico(bd::toolbar::Tool* tool);
    void ElegirTipoGrafico(bd::toolbar::Tool* tool);
    void GraficoCargado();
    // Chart band, picture and notices; the constructor calls it once the controls exist.
    void StartCharts();

    // ---- user-filter pane events ----
    void spUsrFil_ButtonClicked(int col, int row, int buttonDown);
    void spUsrFil_Change(int col, int row);
    void spUsrFil_ComboSelChange(int col, int row);
    void spUsrFil_KeyDown(int keyCode, int shift);
    // What the value picker of a row is offered: limits that are not numbers (numeric fields) or
    // dates (date fields) are left out.
    struct SelectorValues {
        QString typeClass, from, to; // type class; From and To ("" when "...")
        bool between = false;        // Between mode: the To cell is a button
        QString fromLimit, toLimit;
    };
    SelectorValues ReadSelectorValues(int row) const;
    // Opens the row's value picker; what the user accepts goes into the row and re-runs the query.
    void ShowValueSelector(int row);

    // ---- alerts and their mails ----
    // True: the pivot's cells are drawn without alert colours.
    bool NoFetch = false;
    // Rewrites the alert results (spCal column-8 tags) from the pivot's current cells.
    void EncontrarAlertas();
    // With "Send E-Mail Alerts when leaving" checked: searches, and tells whether some rule with
    // recipients has cells in range.
    bool HayAlertas();
    // One mail per recipient string through the mail relay; failures are reported once at the end.
    void EnviarAlertas();
    // The report-updated mail to the addresses of the upload properties, after a publishing.
    void EnviarMailsAfterUpload();
    // The pivot's per-cell format handler: the colours of the last alert rule the cell is in.
    void ResaltarAlertas(bd::pivot::CellFormat& cell);
    // Mail and upload failures go to standard error instead of a box: nobody is there to read it.
    bool IsUnattended() const;

    // ---- export and web-view publishing ----
    // Shows the export dialog for this viewer's pivot.
    void ExportarCubo();
    // Publishes the current view: the table page, a picture of each chart drawn and the frame page
    // go to the web-view service; then the view opens and the report-updated mail goes out. A
    // failure keeps the files and reports; an unattended run (IsUnattended) asks nothing.
    void UpLoadToWeb();
    // The upload's steps after the size question; false with the reason in *error.
    bool PublishView(QString* error);
    // Draws, captures, converts and uploads each visible chart tool's chart, in toolbar order.
    bool PublishCharts(const QString& address, QVector<bd::publishing::ChartEntry>& charts, QString* error);

    // ---- pivot events ----
    void DC_HintRemoval();
    void DC_DblClick(bd::pivot::PivotElement e);
    // The right button acts as a double click.
    void DC_MouseDown(int button, bd::pivot::PivotElement e);
    void DC_LayoutChange();
    void DC_ChartRedraw();
    // The size of the result in panel 2, or the reset text when Encero.
    void IndicarCantidades(bool Encero = false);
    // The sort dialog for field; the chart follows the new order.
    void MostrarRanking(bd::pivot::PivotField* field);
    // The row of spCal that holds the measure of a result cell (through the cell's own data field);
    // 0 when there is none.
    int measureRowOf(const bd::pivot::PivotElement& e) const;

    // ---- dialogs and commands ----
    void MostrarToolDrag();
    // Chart Print: the chart page through the print dialog.
    void ImpGr();
    // Window Print: a picture of the viewer, as wide as the page.
    void PrintScreen();
    void OpenScheduler();
    void Protect();
    void AdvancedSettings();
    // Tells the user that a command is not available yet.
    static void NotAvailable(const QString& command);

    // ---- main toolbar ----
    // Builds the bands and tools of AB.
    void CreateToolbarAB();
    void AB_ToolClick(bd::toolbar::Tool* tool);
    // Runs the command of a command key; unknown keys do nothing.
    void RunCommand(const QString& key);
    // Before a cube replaces this one: the unsaved-changes question of closing. False = stay.
    bool AskToSaveChanges();

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    // Maximizing or restoring keeps the pivot's and the chart's shares of the height: the splitter
    // moves in proportion. Plain resizes keep it where it is.
    struct LayoutAt {
        int height = 0, width = 0, split = 0; // twips
    };
    void scaleSplitOnStateChange();
    void createShortcuts();
    void connectPivotEvents();
    // The user-filter pane (CuboPanelFiltros.cpp).
    void hideFilterPane();
    void showFilterPane();
    void fillUserFiltersFromDesigner();
    // Toolbar commands with more than one step (CuboToolbar.cpp).
    void toggleChart();
    void previewPivot();
    LayoutAt lastLayout_;        // the last layout
    bool scaleOnResize_ = false; // a state change whose resize is still to come
    LayoutAt layoutBeforeState_; // the layout before that state change
    bool fitOnShow_ = false;     // first show: fit the frame into the available area
    QSize initialSize_;          // as setInitialSize left it
    void frameTimer_Timer();
    bool fitFrameIntoScreen();            // false while the frame is not known
    bd::os::Timer* frameTimer_ = nullptr; // waits for the window manager's frame
    int frameTries_ = 0;
    static constexpr int kFrameTries = 20; // ticks of 50 ms
    bool publishing_ = false;              // an upload is under way: no second one, no close
    QString membersFolder_;                // private folder of the save or open in progress
    QString captionBase_;
};
