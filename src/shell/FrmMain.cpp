#include "shell/FrmMain.h"

#include "designer/FrmNewCube.h"
#include "platform/controlhost/ControlHost.h"
#include "platform/os/AppPath.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Machine.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"
#include "shell/GeneralFiles.h"
#include "shell/GeneralWeb.h"
#include "shell/InsCube.h"
#include "shell/frmSplash.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>
#include <stdexcept>

namespace {
FrmMain::Launcher& realLauncher() {
    static FrmMain::Launcher launcher;
    return launcher;
}
} // namespace

FrmMain::FrmMain(QWidget* parent) : QWidget(parent), launcher_(&realLauncher()) {
    setWindowTitle("Brintova Deridoro");
    setObjectName("FrmMain");
    cmdNuevoCubo = new QPushButton("New Cube", this);
    cmdAbrirCubo = new QPushButton("Open Cube", this);
    cmdAbrirEjemplo = new QPushButton("Open Example", this);
    for (QPushButton* b : {cmdNuevoCubo, cmdAbrirCubo, cmdAbrirEjemplo}) {
        b->setMinimumSize(150, 72);
        QFont f = b->font();
        f.setPointSize(f.pointSize() + 2);
        b->setFont(f);
    }
    lblOpenLast = new QLabel("<a href=\"last\">Open Last</a>", this);
    lblOpenLast->setObjectName("lblOpenLast");
    lblOpenLast->setCursor(Qt::PointingHandCursor);
    auto* title = new QLabel("Brintova Deridoro", this);
    QFont tf = title->font();
    tf.setPointSize(tf.pointSize() + 8);
    tf.setBold(true);
    title->setFont(tf);
    auto* sub = new QLabel("Analyse your data as cubes: pick a cube to start.", this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdNuevoCubo);
    buttons->addWidget(cmdAbrirCubo);
    buttons->addWidget(cmdAbrirEjemplo);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(24, 20, 24, 16);
    lay->addWidget(title);
    lay->addWidget(sub);
    lay->addSpacing(12);
    lay->addLayout(buttons);
    lay->addSpacing(8);
    lay->addWidget(lblOpenLast, 0, Qt::AlignRight);

    connect(cmdNuevoCubo, &QPushButton::clicked, this, &FrmMain::cmdNuevoCubo_Click);
    connect(cmdAbrirCubo, &QPushButton::clicked, this, &FrmMain::cmdAbrirCubo_Click);
    connect(cmdAbrirEjemplo, &QPushButton::clicked, this, &FrmMain::cmdAbrirEjemplo_Click);
    connect(lblOpenLast, &QLabel::linkActivated, this, [this] { lblOpenLast_Click(); });
    auto* openShortcut = new QShortcut(QKeySequence::Open, this);
    connect(openShortcut, &QShortcut::activated, cmdAbrirCubo, &QPushButton::click);
}

FrmMain::~FrmMain() {
    delete splash;
}

FrmMain* FrmMain::start(QApplication& app) {
    auto* w = new FrmMain;
    w->setAttribute(Qt::WA_DeleteOnClose);
    QStringList args = app.arguments();
    args.removeFirst();
    w->commandLine = args.join(' ');
    w->Form_Load();
    return w;
}

int FrmMain::run(QApplication& app) {
    start(app);
    return app.exec();
}

void FrmMain::Form_Load() {
    try {
        hide();
        if (!splash) splash = new frmSplash;
        splash->Form_Load();
        splash->show();
        General::dHDNumber = General::SerialMagnitude(General::ObtenerHDNumber());
        General::InicializarNombres();
        General::sSepDecimal = General::ObtenerSeparadorDecimal();
        ComprobarExtension();
        // The control libraries shipped beside the program, before any window creates one.
        bd::controlhost::RegisterShippedControls();
        General::CargarTiposGrafico();
        while (splash && !splash->Listo)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        if (splash) splash->hide();
        show();
        General::CargarIdioma();
        General::sIdioma = "en";
        AbrirCuboInicial();
        updateOpenLast();
    } catch (const std::exception&) {
        bd::os::MsgBox("An error occurred when starting the application", bd::os::Buttons::Ok,
                       bd::os::Icon::Critical, "Error");
        // Whatever failed, the user must still get the start window.
        if (splash) splash->hide();
        updateOpenLast();
        show();
    }
}

void FrmMain::ComprobarExtension() {
    if (!General::GetSetting("OE", "Init", "Extension").isEmpty()) return;
    const QString exe = bd::os::AppPath() + "/brintova-deridoro";
    // Only a registration that succeeded counts as done.
    if (General::RegistrarExtension(exe, ".cub", "Cubefile", "Cube Data File"))
        General::SaveSetting("OE", "Init", "Extension", "YES");
}

void FrmMain::AbrirCuboInicial() {
    QString s = LeerArchivo(bd::os::AppPath() + "/InitialCube.txt");
    const QString cmd = commandLine.trimmed();
    if (!cmd.isEmpty()) s = cmd;
    s.remove('\r').remove('\n');
    s = bd::os::longPathName(s);
    if (s.isEmpty() && !cmd.isEmpty()) s = cmd;
    s.remove("\r\n").remove('\r').remove('\n').remove('"');
    if (!s.isEmpty()) NuevoCubo("Cubo", "", "", false, false, s, "", "");
}

QString FrmMain::LeerArchivo(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    QString text = QString::fromUtf8(f.readAll());
    text.replace("\r\n", "\n").replace('\r', '\n');
    QStringList lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    QString out;
    for (const QString& l : lines)
        out += l + "\r\n";
    return out;
}

void FrmMain::NuevoCubo(const QString& IdCube, const QString& Conexion, const QString& Query, bool Abrir,
                        bool CuboEjemplo, const QString& PathCubo, const QString& PathMSFile,
                        const QString& Tipo) {
    launcher_->openCube(*this, {IdCube, Conexion, Query, Abrir, CuboEjemplo, PathCubo, PathMSFile, Tipo});
}

void FrmMain::Launcher::openCube(FrmMain& main, const NewCubeArgs& a) {
    auto* cube = new InsCube;
    cube->CubeConnectionString = QString(a.Conexion).replace("\r\n", " ");
    cube->CubeSqlQuery = a.Query;
    cube->CubeId = "Cube";
    cube->HDNumber = General::dHDNumber;
    cube->Vparent = &main;
    cube->isExample = a.CuboEjemplo;
    cube->ShowCube(a.Abrir, a.CuboEjemplo, a.PathCubo, a.PathMSFile, a.Tipo);
}

void FrmMain::Launcher::quit() {
    QCoreApplication::exit(0);
}

void FrmMain::setLauncher(Launcher* l) {
    launcher_ = l ? l : &realLauncher();
}

void FrmMain::Terminar() {
    show();
    setVisible(true);
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    activateWindow();
    setFocus();
    if (QScreen* s = screen()) {
        const QRect g = s->geometry();
        move((g.width() - frameGeometry().width()) / 2, (g.height() - frameGeometry().height()) / 2);
    }
}

void FrmMain::updateOpenLast() {
    lblOpenLast->setVisible(!General::GetSetting("OE", "CUBO", "ULTIMO").isEmpty());
}

void FrmMain::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    updateOpenLast();
}

void FrmMain::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) updateOpenLast();
}

void FrmMain::MatarApp() {
    // Ends at once: windows go without their close questions.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this) continue;
        w->hide();
        w->deleteLater();
    }
    hide();
    launcher_->quit();
}

QString FrmMain::GLV(const QString& ObjectName) {
    return General::LeerTextoIdioma(ObjectName);
}

bool FrmMain::vEnviarMail(const QVariant& De, const QVariant& Para, const QVariant& Asunto,
                          const QVariant& Texto, const QVariant& nombreArchivo, const QVariant& DatosArchivo,
                          QString* error) {
    return General::EnviarMailWeb(De, Para, Asunto, Texto, nombreArchivo, DatosArchivo, error);
}

void FrmMain::cmdNuevoCubo_Click() {
    // The chooser hands its cube to NuevoCubo itself; cancelling it creates nothing.
    FrmNewCube chooser(*this);
    bd::os::runDialog(&chooser);
}

void FrmMain::cmdAbrirCubo_Click() {
    NuevoCubo("Nuevo Cubo", "", "", true, false, "", "", "");
}

void FrmMain::cmdAbrirEjemplo_Click() {
    NuevoCubo("Cubo", "", "", false, true, "", "", "");
}

void FrmMain::lblOpenLast_Click() {
    NuevoCubo("Nuevo Cubo", "", "", true, false, General::GetSetting("OE", "CUBO", "ULTIMO"), "", "");
}

void FrmMain::closeEvent(QCloseEvent* e) {
    General::BorrarGraficosTemporales();
    e->accept();
    // Closing the start window ends the program, whatever cubes are open.
    launcher_->quit();
}
