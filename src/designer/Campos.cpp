// The designer window: its controls, their layout, the load step and the wiring of the handlers.
#include "designer/Campos.h"

#include "designer/UserEditText.h"
#include "platform/os/Clock.h"
#include "platform/querybuilder/QueryBuilder.h"
#include "platform/toolbar/Toolbar.h"
#include "shell/General.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QAbstractItemView>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// A combo box that reports the opening of its list before it opens.
class ListCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> alAbrir;
    void showPopup() override {
        if (alAbrir) alAbrir();
        QComboBox::showPopup();
    }
};
} // namespace

Campos::Campos(QWidget* parent) : QWidget(parent, Qt::Window), DefinitionGrids(this) {
    setObjectName("Campos");
    auto named = [](auto* w, const char* name) {
        w->setObjectName(name);
        return w;
    };
    txtIdCubo = named(new QLineEdit(this), "txtIdCubo");
    txtConeccion = named(new UserEditText(this), "txtConeccion");
    txtQuery = named(new UserEditText(this), "txtQuery");
    cmdGenerarCnn = named(new QPushButton("Connect", this), "cmdGenerarCnn");
    comProbarCnn = named(new QPushButton("Test Connection", this), "comProbarCnn");
    lblLastCnn = named(new QLabel("<a href=\"last\">Last</a>", this), "lblLastCnn");
    cmbEngine = named(new QComboBox(this), "cmbEngine");
    cmbEngine->addItems(Engines());
    // A drop-down combo: empty until an engine is chosen, and a stored or reset text shows as it is.
    cmbEngine->setEditable(true);
    cmbEngine->setInsertPolicy(QComboBox::NoInsert);
    cmbEngine->setCurrentIndex(-1);
    cmbEngine->setEditText(QString());
    auto* tablas = new ListCombo(this);
    tablas->alAbrir = [this] { cmbTbl_DropDown(); };
    cmbTbl = named(tablas, "cmbTbl");
    cmdOpenEditor = named(new QPushButton("Open query editor", this), "cmdOpenEditor");
    cmdLastQuery = named(new QPushButton("Debug Last Query", this), "cmdLastQuery");
    cmdAceptar = named(new QPushButton("OK", this), "cmdAceptar");
    cmdConectado = named(new QPushButton("Not Connected", this), "cmdConectado");
    frameLockCnn = named(new QFrame(this), "frameLockCnn");
    frameLockSql = named(new QFrame(this), "frameLockSql");
    cmdUnLockCnn = named(new QPushButton("Unlock", frameLockCnn), "cmdUnLockCnn");
    cmdUnlockSql = named(new QPushButton("Unlock", frameLockSql), "cmdUnlockSql");
    for (QFrame* f : {frameLockCnn, frameLockSql}) {
        f->setFrameShape(QFrame::StyledPanel);
        f->setAutoFillBackground(true);
        auto* l = new QHBoxLayout(f);
        l->addStretch();
        l->addWidget(f == frameLockCnn ? cmdUnLockCnn : cmdUnlockSql);
        f->hide();
    }
    txtDescripcion = named(new UserEditText(this), "txtDescripcion");
    chkRefresh = named(new QCheckBox("Refresh on open", this), "chkRefresh");
    chkSendAlert = named(new QCheckBox("Send alerts", this), "chkSendAlert");
    chkSaveWData = named(new QCheckBox("Save with data", this), "chkSaveWData");
    txtAutorefresh = named(new QLineEdit("0", this), "txtAutorefresh");
    txtAutoClose = named(new QLineEdit("0", this), "txtAutoClose");
    txtLike = named(new QLineEdit("%", this), "txtLike");
    txtDateIndicator = named(new QLineEdit("'", this), "txtDateIndicator");
    txtDBDateFormat = named(new QLineEdit("YYYY-MM-DD", this), "txtDBDateFormat");
    txtDBHourFormat = named(new QLineEdit(" HH:MM:SS", this), "txtDBHourFormat");
    // No engine yet, so no engine's template: a template other engines lack would break their filters.
    cmdDBToDate = named(new QLineEdit(this), "cmdDBToDate");
    txtViewQuery = named(new QPlainTextEdit(this), "txtViewQuery");
    spviewQuery = new bd::grid::Grid(this);
    spviewQuery->setObjectName("spviewQuery");
    spSave = new bd::grid::Grid(this);
    spSave->setObjectName("spSave");
    spSave->setMaxCols(1);
    spSave->setMaxRows(42);
    spSave->hide();
    cmdSiguiente = named(new QPushButton("Next >>", this), "cmdSiguiente");
    cmdCancelar = named(new QPushButton("Close", this), "cmdCancelar");
    cmdViewClose = named(new QPushButton("Hide", this), "cmdViewClose");
    cmdSetOk = named(new QPushButton("OK", this), "cmdSetOk");
    cmdOpenScheduler = named(new QPushButton("Open Scheduler", this), "cmdOpenScheduler");
    cmdUpProperties = named(new QPushButton("Upload config", this), "cmdUpProperties");
    cmdQueryEditorView = named(new QPushButton("Query editor", this), "cmdQueryEditorView");
    cmdQueryEditorView->hide();
    cmdSelCamCal = named(new QPushButton("Measures", this), "cmdSelCamCal");
    cmdShowFilters = named(new QPushButton("Filters", this), "cmdShowFilters");
    cmdCalcField = named(new QPushButton("   Create a calculated field", this), "cmdCalcField");
    cmdChartProperties = named(new QPushButton("   Chart Properties", this), "cmdChartProperties");
    cmdFieldProperties = named(new QPushButton("   Field Properties", this), "cmdFieldProperties");
    cmdProtect = named(new QPushButton("Protect", this), "cmdProtect");
    UpDown = named(new QWidget(this), "UpDown");
    {
        auto* l = new QVBoxLayout(UpDown);
        l->setContentsMargins(0, 0, 0, 0);
        l->setSpacing(0);
        for (auto [name, arrow] :
             {std::pair{"UpDownUp", Qt::UpArrow}, std::pair{"UpDownDown", Qt::DownArrow}}) {
            auto* b = named(new QToolButton(UpDown), name);
            b->setArrowType(arrow);
            // The grid that had the focus stays the one the buttons move rows in.
            b->setFocusPolicy(Qt::NoFocus);
            l->addWidget(b);
        }
    }
    TimerAutoRefresh = new bd::os::Timer(this, bd::os::MinuteMs());
    TimerAutoClose = new bd::os::Timer(this, bd::os::MinuteMs());
    dialogTimer_ = new bd::os::Timer(this, 1000);
    dialogTimer_->setSingleShot(true);
    AppliedDbEngine = cmbEngine->currentText();
    buildToolbar();
    buildTabs();
    connectHandlers();
    connectWindowHandlers();
    connectRefreshHandlers();
    connectQueryHandlers();
    connectGridHandlers();
    connectTimerHandlers();
    formLoad();
    resize(900, 620);
}

Campos::~Campos() = default;

void Campos::buildToolbar() {
    using bd::toolbar::ToolStyle;
    AB = new bd::toolbar::Toolbar("AB", this);
    AB->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bd::toolbar::Band* b = AB->addBand("Designer");
    b->addTool(ToolConnection, QStringLiteral("Configurar Conexión"), "1 - Connection Config",
               ToolStyle::Check);
    b->addTool(ToolCube, QStringLiteral("Configurar Cubo"), "2 - Fields Config", ToolStyle::Check);
    b->addTool(0, QStringLiteral("Conectar"), "Connect and Refresh");
}

void Campos::buildTabs() {
    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName("St");
    SSTab1->addTab(buildConnectionTab(), "Connection");
    SSTab1->addTab(buildFieldsTab(), "Cube Fields");
    SSTab1->addTab(buildAdvancedTab(), "Advanced");
    SSTab1->addTab(buildQueryBuilderTab(), "Query Builder");
    SSTab1->addTab(buildPreviewTab(), "SQL Preview");

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(AB);
    lay->addWidget(SSTab1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cmdConectado);
    bottom->addStretch();
    bottom->addWidget(cmdViewClose);
    bottom->addWidget(cmdCancelar);
    bottom->addWidget(cmdAceptar);
    lay->addLayout(bottom);
}

// The connection and the SQL, each under its lock frame.
QWidget* Campos::buildConnectionTab() {
    auto* cnn = new QWidget;
    auto* cg = new QGridLayout(cnn);
    auto* cnnBox = new QWidget;
    auto* cl = new QFormLayout(cnnBox);
    cl->setContentsMargins(0, 0, 0, 0);
    cl->addRow("Cube name", txtIdCubo);
    cl->addRow("Connection", txtConeccion);
    auto* cb = new QHBoxLayout;
    cb->addWidget(cmdGenerarCnn);
    cb->addWidget(comProbarCnn);
    cb->addWidget(lblLastCnn);
    cb->addStretch();
    cl->addRow(cb);
    cl->addRow("DB Engine", cmbEngine);
    cg->addWidget(cnnBox, 0, 0);
    cg->addWidget(frameLockCnn, 0, 0);
    auto* sqlBox = new QWidget;
    auto* sl = new QFormLayout(sqlBox);
    sl->setContentsMargins(0, 0, 0, 0);
    auto* tb = new QHBoxLayout;
    tb->addWidget(cmbTbl, 1);
    tb->addWidget(cmdOpenEditor);
    sl->addRow("Tables and views", tb);
    sl->addRow("SQL", txtQuery);
    cg->addWidget(sqlBox, 1, 0);
    cg->addWidget(frameLockSql, 1, 0);
    cg->addWidget(cmdSiguiente, 2, 0, Qt::AlignRight);
    return cnn;
}

QWidget* Campos::buildFieldsTab() {
    auto* fields = new QWidget;
    auto* fl = new QGridLayout(fields);
    auto* modos = new QHBoxLayout;
    modos->addWidget(cmdSelCamCal);
    modos->addWidget(cmdShowFilters);
    modos->addStretch(1);
    modos->addWidget(cmdFieldProperties);
    modos->addWidget(cmdCalcField);
    modos->addWidget(cmdChartProperties);
    modos->addWidget(UpDown);
    fl->addLayout(modos, 0, 1);
    // spCam keeps the width of its columns; the measure and filter grids share the rest.
    fl->addWidget(spCam, 1, 0);
    fl->addWidget(spCal, 1, 1);
    fl->addWidget(spFil, 1, 1);
    fl->setColumnStretch(1, 1);
    fl->setRowStretch(1, 1);
    return fields;
}

QWidget* Campos::buildAdvancedTab() {
    auto* adv = new QWidget;
    auto* al = new QFormLayout(adv);
    al->addRow("Description", txtDescripcion);
    al->addRow(chkRefresh);
    al->addRow(chkSendAlert);
    al->addRow(chkSaveWData);
    al->addRow("Minutes to auto data refresh", txtAutorefresh);
    al->addRow("Minutes to auto close", txtAutoClose);
    al->addRow("Date Indicator Filter", txtDateIndicator);
    al->addRow("DB Date Format", txtDBDateFormat);
    al->addRow("DB Hour Format", txtDBHourFormat);
    al->addRow("DB Date Convert Function", cmdDBToDate);
    al->addRow("Like Separator", txtLike);
    auto* ab = new QHBoxLayout;
    ab->addWidget(cmdOpenScheduler);
    ab->addWidget(cmdUpProperties);
    ab->addWidget(cmdProtect);
    ab->addStretch();
    ab->addWidget(cmdSetOk);
    al->addRow(ab);
    return adv;
}

void Campos::connectHandlers() {
    connect(AB, &bd::toolbar::Toolbar::toolClick, this, &Campos::AB_ToolClick);
    connect(cmdGenerarCnn, &QPushButton::clicked, this, &Campos::cmdGenerarCnn_Click);
    connect(comProbarCnn, &QPushButton::clicked, this, &Campos::comProbarCnn_Click);
    connect(cmdSiguiente, &QPushButton::clicked, this, &Campos::cmdSiguiente_Click);
    connect(lblLastCnn, &QLabel::linkActivated, this, &Campos::lblLastCnn_Click);
    connect(cmdUnLockCnn, &QPushButton::clicked, this, &Campos::cmdUnLockCnn_Click);
    connect(cmdUnlockSql, &QPushButton::clicked, this, &Campos::cmdUnlockSql_Click);
    connect(cmdCancelar, &QPushButton::clicked, this, &Campos::cmdCancelar_Click);
    connect(cmdViewClose, &QPushButton::clicked, this, &Campos::cmdViewClose_Click);
    connect(cmdSetOk, &QPushButton::clicked, this, &Campos::cmdSetOk_Click);
    connect(cmdLastQuery, &QPushButton::clicked, this, &Campos::cmdLastQuery_Click);
    connect(cmdOpenScheduler, &QPushButton::clicked, this, &Campos::cmdOpenScheduler_Click);
    connect(cmdUpProperties, &QPushButton::clicked, this, &Campos::cmdUpProperties_Click);
    connect(cmdCalcField, &QPushButton::clicked, this, &Campos::SetCalculatedField);
    connect(cmdChartProperties, &QPushButton::clicked, this, &Campos::cmdChartProperties_Click);
    connect(cmdFieldProperties, &QPushButton::clicked, this, &Campos::cmdFieldProperties_Click);
    connect(cmdProtect, &QPushButton::clicked, this, &Campos::Protect);
    connect(UpDown->findChild<QToolButton*>("UpDownUp"), &QToolButton::clicked, this,
            &Campos::MoverFilaArriba);
    connect(UpDown->findChild<QToolButton*>("UpDownDown"), &QToolButton::clicked, this,
            &Campos::MoverFilaAbajo);
    connect(cmbEngine, &QComboBox::activated, this, &Campos::cmbEngine_Click);
    connect(cmbEngine, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        // An engine set from code over boxes that were given their own values (a cube's stored
        // settings): those values belong to that engine.
        previousEngine_ = AppliedDbEngine;
        engineAdopted_ = ownSyntax_;
        if (ownSyntax_) AppliedDbEngine = t;
    });
    for (QLineEdit* w : {txtDateIndicator, cmdDBToDate})
        connect(w, &QLineEdit::textChanged, this, [this] {
            if (!applyingEngine_) ownSyntax_ = true;
        });
    connect(cmbTbl, &QComboBox::activated, this, &Campos::cmbTbl_Click);
    connect(chkSaveWData, &QCheckBox::clicked, this, &Campos::chkSaveWData_Click);
    // Text set from code keeps the cube object in step; the user's own edits and the connection
    // tab's actions mark the definition changed.
    connect(txtConeccion, &QPlainTextEdit::textChanged, this, [this] {
        if (VinsCube) {
            QString t = txtConeccion->toPlainText();
            t.replace("\r\n", " ");
            t.replace('\n', ' ');
            VinsCube->CubeConnectionString = t;
        }
        VerificarMotorDB();
    });
    connect(txtQuery, &QPlainTextEdit::textChanged, this, [this] {
        if (VinsCube) VinsCube->CubeSqlQuery = txtQuery->toPlainText();
    });
    connect(txtIdCubo, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (VinsCube) VinsCube->CubeId = t;
        if (VCubo) VCubo->updateTitles();
    });
    auto salvar = [this] {
        if (VCubo) VCubo->Salvar = true;
    };
    connect(txtIdCubo, &QLineEdit::textEdited, this, salvar);
    connect(static_cast<UserEditText*>(txtDescripcion), &UserEditText::userEdited, this, salvar);
    connect(static_cast<UserEditText*>(txtConeccion), &UserEditText::userEdited, this, [this, salvar] {
        Cambio = true;
        Recarga = true;
        // The builder connects again with the new string.
        aQ->setTag(QString());
        salvar();
    });
    connect(static_cast<UserEditText*>(txtQuery), &UserEditText::userEdited, this, [this, salvar] {
        Cambio = true;
        Recarga = true;
        // SQL typed by hand discards the builder's design and saved state.
        aQ->setSql(QString());
        aQ->setTag(QString());
        setQueryStateCell(QString());
        salvar();
    });
    connect(dialogTimer_, &bd::os::Timer::timeout, this, &Campos::serveConnectionDialog);
    // Focus changes: error colours cleared, format checks.
    for (QWidget* w :
         std::initializer_list<QWidget*>{txtConeccion, txtQuery, cmbEngine, txtDateIndicator, txtDBDateFormat,
                                         txtDBHourFormat, txtLike, chkRefresh, chkSendAlert})
        w->installEventFilter(this);
}

void Campos::formLoad() {
    const QChar sep = General::sSepDecimal.isEmpty() ? QChar('.') : General::sSepDecimal.at(0);
    spCal->setTypeFloatDecimalChar(ColLimiteInferior, -1, sep);
    spCal->setTypeFloatDecimalChar(ColLimiteSuperior, -1, sep);
    for (bd::grid::Grid* g : {spCam.data(), spCal.data(), spFil.data()})
        for (int c = 1; c <= g->maxCols(); ++c)
            g->setColWidth(c, 17);
    BlockearCampos(true);
    spFil->setLock(ColFiltroCampo, -1, true);
    VaOnfocus = spCam;
    cmdSelCamCal_Click();
    lblLastCnn->setVisible(!General::GetSetting("OE", "CUBO", "LASTCNN").isEmpty());
}

void Campos::setCaptionFromCube() {
    const QString id = VinsCube ? VinsCube->CubeId : QString();
    setWindowTitle("Cube Designer - " + id);
    txtIdCubo->setText(id);
}
