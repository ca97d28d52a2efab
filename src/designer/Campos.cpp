#include "designer/Campos.h"

#include "platform/os/Clock.h"
#include "shell/InsCube.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

Campos::Campos(QWidget* parent) : QWidget(parent, Qt::Window), DefinitionGrids(this) {
    setObjectName("Campos");
    txtIdCubo = new QLineEdit(this);
    txtConeccion = new QPlainTextEdit(this);
    txtQuery = new QPlainTextEdit(this);
    cmdGenerarCnn = new QPushButton("Connect", this);
    comProbarCnn = new QPushButton("Test", this);
    lblLastCnn = new QLabel("<a href=\"last\">Last</a>", this);
    cmbEngine = new QComboBox(this);
    cmbEngine->addItems(Motores());
    cmbTbl = new QComboBox(this);
    cmdOpenEditor = new QPushButton("Query Builder", this);
    cmdLastQuery = new QPushButton("Debug Last Query", this);
    cmdAceptar = new QPushButton("OK", this);
    cmdConectado = new QPushButton(this);
    frameLockCnn = new QFrame(this);
    frameLockSql = new QFrame(this);
    for (QFrame* f : {frameLockCnn, frameLockSql}) {
        f->setFrameShape(QFrame::StyledPanel);
        f->hide();
    }
    txtDescripcion = new QPlainTextEdit(this);
    chkRefresh = new QCheckBox("Refresh on open", this);
    chkSendAlert = new QCheckBox("Send alerts", this);
    chkSaveWData = new QCheckBox("Save with data", this);
    txtAutorefresh = new QLineEdit("0", this);
    txtAutoClose = new QLineEdit("0", this);
    txtLike = new QLineEdit("%", this);
    txtDateIndicator = new QLineEdit("'", this);
    txtDBDateFormat = new QLineEdit("YYYY-MM-DD", this);
    txtDBHourFormat = new QLineEdit(" HH:MM:SS", this);
    cmdDBToDate = new QLineEdit(this);
    txtViewQuery = new QPlainTextEdit(this);
    txtViewQuery->setReadOnly(true);
    spviewQuery = new bd::grid::Grid(this);
    spviewQuery->setObjectName("spviewQuery");
    spSave = new bd::grid::Grid(this);
    spSave->setObjectName("spSave");
    spSave->setMaxCols(1);
    spSave->setMaxRows(42);
    spSave->hide();
    TimerAutoRefresh = new bd::os::Timer(this, 60000);
    TimerAutoClose = new bd::os::Timer(this, 60000);
    buildTabs();
    connectRefreshHandlers();
    resize(900, 620);
}

Campos::~Campos() = default;

void Campos::buildTabs() {
    SSTab1 = new QTabWidget(this);
    auto* cnn = new QWidget;
    auto* cl = new QFormLayout(cnn);
    cl->addRow("Cube name", txtIdCubo);
    cl->addRow("Connection", txtConeccion);
    auto* cb = new QHBoxLayout;
    cb->addWidget(cmdGenerarCnn);
    cb->addWidget(comProbarCnn);
    cb->addWidget(lblLastCnn);
    cb->addStretch();
    cl->addRow(cb);
    cl->addRow("Engine", cmbEngine);
    cl->addRow("Table", cmbTbl);
    cl->addRow("SQL", txtQuery);
    SSTab1->addTab(cnn, "Connection");

    auto* fields = new QWidget;
    auto* fl = new QGridLayout(fields);
    fl->addWidget(spCam, 0, 0, 2, 1);
    fl->addWidget(spCal, 0, 1);
    fl->addWidget(spFil, 1, 1);
    fl->setColumnStretch(1, 3);
    SSTab1->addTab(fields, "Fields");

    auto* adv = new QWidget;
    auto* al = new QFormLayout(adv);
    al->addRow("Description", txtDescripcion);
    al->addRow(chkRefresh);
    al->addRow(chkSendAlert);
    al->addRow(chkSaveWData);
    al->addRow("Auto refresh (minutes)", txtAutorefresh);
    al->addRow("Auto close (minutes)", txtAutoClose);
    al->addRow("Date Indicator Filter", txtDateIndicator);
    al->addRow("DB Date Format", txtDBDateFormat);
    al->addRow("DB Hour Format", txtDBHourFormat);
    al->addRow("DB Date Convert Function", cmdDBToDate);
    al->addRow("Like Separator", txtLike);
    SSTab1->addTab(adv, "Advanced");

    auto* qb = new QWidget;
    auto* ql = new QVBoxLayout(qb);
    ql->addWidget(cmdOpenEditor);
    ql->addStretch();
    SSTab1->addTab(qb, "Query Builder");

    auto* pv = new QWidget;
    auto* pl = new QVBoxLayout(pv);
    pl->addWidget(txtViewQuery, 1);
    pl->addWidget(spviewQuery, 3);
    pl->addWidget(cmdLastQuery, 0, Qt::AlignLeft);
    SSTab1->addTab(pv, "SQL Preview");

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(SSTab1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cmdConectado);
    bottom->addStretch();
    bottom->addWidget(cmdAceptar);
    lay->addLayout(bottom);
}

void Campos::VerificarMotorDB() {
    const QString e = cmbEngine->currentText();
    txtDateIndicator->setText(e == "EXCEL" || e == "ACCESS" ? "#" : "'");
    if (e == "ORACLE") {
        cmdDBToDate->setText("to_date('<FIELD>', 'DB DATE FORMAT')");
        txtDateIndicator->setText("'");
    }
}

void Campos::setCaptionFromCube() {
    const QString id = VinsCube ? VinsCube->CubeId : QString();
    setWindowTitle("Cube Designer - " + id);
    txtIdCubo->setText(id);
}
