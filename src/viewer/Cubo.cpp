// The viewer window's life: its controls, the designer it creates, activation and the close sequence.
#include "viewer/Cubo.h"

#include "designer/Campos.h"
#include "platform/os/AppPath.h"
#include "platform/os/Clock.h"
#include "platform/os/Prompter.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QWindow>

namespace {
QAction* tool(QToolBar* tb, const QString& name, const QString& caption, int id, bool check) {
    QAction* a = tb->addAction(caption);
    a->setObjectName(name);
    a->setProperty("toolId", id);
    a->setCheckable(check);
    return a;
}
} // namespace

Cubo::Cubo(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Cubo");
    captionBase_ = "Cube";
    setWindowTitle(captionBase_);
    setAttribute(Qt::WA_DeleteOnClose);

    AB = new bd::toolbar::Toolbar("AB", this);
    AB->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // The checked states of tools 80 and 104 (ToolChecked/SetToolChecked); the bar's tools show them.
    tool(AB, "noGrph", "Charts", ToolNoChart, true)->setVisible(false);
    tool(AB, "Filters", "Filters", ToolFilterPane, true)->setVisible(false);
    CreateToolbarAB();
    DC = new bd::pivot::PivotTable(this);
    DC->setObjectName("DC");
    DC->setCellFormatter([this](bd::pivot::CellFormat& cell) { ResaltarAlertas(cell); });
    spUsrFil = new bd::grid::Grid(this);
    spUsrFil->setObjectName("spUsrFil");
    spUsrFil->setMaxCols(8);
    spUsrFil->setMaxRows(0);
    spUsrFil->hide();
    SplitFil = new SplitBar(this, "SplitFil");
    SplitFil->setVisible(false);
    Split = new SplitBar(this, "Split");
    ABGraph = new bd::toolbar::Toolbar("ABGraph", this);
    CHA = new bd::browser::PageView(this);
    CHA->setObjectName("CHA");
    CHA->setAutoFillBackground(true);
    CHA->setBackgroundRole(QPalette::Base);
    CHATag = "NOLOADED";
    frameCover = new QFrame(this);
    frameCover->setObjectName("frameCover");
    frameCover->hide();
    cmdConectado = new QPushButton("Not Connected", this);
    cmdConectado->setObjectName("cmdConectado");
    cmdConectado->adjustSize();
    SB = new QStatusBar(this);
    SB->setObjectName("SB");
    SB->setSizeGripEnabled(false);
    sizePanel = new QLabel(SB);
    sizePanel->setObjectName("sizePanel");
    SB->addPermanentWidget(sizePanel);
    TimerWait = new bd::os::Timer(this, 1000);
    frameTimer_ = new bd::os::Timer(this, 50);
    connect(frameTimer_, &bd::os::Timer::timeout, this, &Cubo::frameTimer_Timer);
    connect(TimerWait, &bd::os::Timer::timeout, this, &Cubo::TimerWait_Timer);
    connect(Split, &SplitBar::MoveComplete, this, &Cubo::Split_MoveComplete);
    connect(SplitFil, &SplitBar::MoveComplete, this, &Cubo::SplitFil_MoveComplete);
    StartCharts();
    connectPivotEvents();

    AB->resize(AB->sizeHint());
    ABGraph->resize(ABGraph->sizeHint());
    setInitialSize();
    createShortcuts();
    // Window load.
    Split->setTop(WindowHeight() * 3 / 4);
    SB->showMessage(HelpText);
    DC->setToolTip(HelpText);
    PrepareFilterGrid();
    spUsrFil->setColWidth(-1, 14);
    spUsrFil->setLock(1, -1, true);
}

Cubo::~Cubo() {
    if (Vcampos) delete Vcampos.data();
    if (VinsCube) delete VinsCube.data();
}

void Cubo::SeleccionarCampos(bool Abrir_, bool CuboEjemplo, const QString& PathCubo,
                             const QString& PathMSFile, const QString& Tipo) {
    if (Vcampos) {
        if (Vcampos->isHidden()) Vcampos->show();
        General::EnfocarControl(Vcampos);
        return;
    }
    // The designer belongs to this window: the window manager keeps it above the viewer.
    auto* c = new Campos(this);
    c->SaveInitialOptions();
    c->VinsCube = VinsCube;
    c->VCubo = this;
    c->Recarga = true;
    Vcampos = c;
    if (!PathCubo.isEmpty()) {
        Abrir(PathCubo);
        return;
    }
    if (CuboEjemplo) {
        Abrir(bd::os::AppPath() + "/Example.cub");
        return;
    }
    if (Abrir_) {
        Abrir(QString());
        return;
    }
    c->txtIdCubo->setText(VinsCube ? VinsCube->CubeId : QString());
    updateTitles();
    c->GoTab(0);
    c->SetAbChecked();
    c->IndicarConeccion();
    c->txtConeccion->clear();
    c->txtQuery->clear();
    const QString archivo = PathMSFile.isEmpty() ? QString() : Campos::dataFileConnection(PathMSFile, Tipo);
    if (!archivo.isEmpty()) {
        c->txtConeccion->setPlainText(archivo);
        c->ObtnerQuery();
    } else if (PathMSFile.isEmpty()) {
        c->OpenConnectionDialog = true;
    }
    c->show();
}

void Cubo::Form_Activate() {
    if (!isVisible()) return;
    const int count = General::GetSetting("OE", "CUBO", "FRMCUBO_INIT").toInt() + 1;
    if (count > 3) return;
    General::SaveSetting("OE", "CUBO", "FRMCUBO_INIT", QString::number(count));
    MostrarToolDrag();
}

void Cubo::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) Form_Activate();
    if (e->type() == QEvent::WindowStateChange) {
        const auto old = static_cast<QWindowStateChangeEvent*>(e)->oldState();
        const Qt::WindowStates large = Qt::WindowMaximized | Qt::WindowFullScreen;
        if ((old & large) != (windowState() & large) && !isMinimized() && !(old & Qt::WindowMinimized))
            scaleSplitOnStateChange();
    }
}

void Cubo::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Laid out again once shown: the filter pane places its splitter only in a visible window, and a
    // window shown at the size it already has gets no resize afterwards.
    if (!e->spontaneous()) Form_Resize();
    if (!fitOnShow_) return;
    fitOnShow_ = false;
    if (size() != initialSize_) return; // sized by its caller meanwhile
    frameTries_ = 0;
    if (!fitFrameIntoScreen()) frameTimer_->setEnabled(true);
}

bool Cubo::fitFrameIntoScreen() {
    // The whole window, frame and all, fits the available area. A window manager tells the frame
    // only once the window is on screen: until then the margins are null.
    const QMargins m = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (m.isNull()) return false;
    if (!isMaximized() && !isFullScreen() && screen() && size() == initialSize_)
        setGeometry(screen()->availableGeometry().marginsRemoved(m));
    return true;
}

void Cubo::frameTimer_Timer() {
    if (fitFrameIntoScreen() || ++frameTries_ >= kFrameTries) frameTimer_->setEnabled(false);
}

void Cubo::setInitialSize() {
    const QByteArray saved =
        QByteArray::fromBase64(General::GetSetting("OE", "CUBO", "VIEWER_GEOMETRY").toLatin1());
    if (!saved.isEmpty() && restoreGeometry(saved)) return;
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) {
        resize(1000, 700);
        return;
    }
    setGeometry(s->availableGeometry());
    initialSize_ = size();
    fitOnShow_ = true;
}

void Cubo::createShortcuts() {
    // Keys on the toolbar's own commands: a disabled toolbar ignores them as it ignores clicks.
    const struct {
        QKeySequence keys;
        const char* tool;
    } shortcuts[] = {{QKeySequence::Save, "Guardar"},
                     {QKeySequence::Open, "Abrir"},
                     {QKeySequence(Qt::Key_F5), "Conectar"}};
    for (const auto& a : shortcuts) {
        auto* sc = new QShortcut(a.keys, this);
        const QString tool = QString::fromUtf8(a.tool);
        connect(sc, &QShortcut::activated, this, [this, tool] {
            if (bd::toolbar::Band* b = AB->band("Band2"))
                if (bd::toolbar::Tool* t = b->tool(tool)) AB->clickTool(t);
        });
    }
}

void Cubo::updateTitles() {
    const QString path = VinsCube ? VinsCube->PathOpenCube : QString();
    const QString cube = path.isEmpty() && VinsCube ? VinsCube->CubeId : path;
    // A new cube keeps the default name, the caption's own word: it is not said twice.
    const bool sameWord = path.isEmpty() && cube.compare(captionBase_, Qt::CaseInsensitive) == 0;
    setWindowTitle(cube.isEmpty() || sameWord ? captionBase_ : captionBase_ + "  " + cube);
    if (Vcampos) Vcampos->setWindowTitle(cube.isEmpty() ? "Cube Designer" : "Cube Designer - " + cube);
}

void Cubo::cubeFileChanged() {
    updateTitles();
    if (VinsCube && VinsCube->Vparent) VinsCube->Vparent->updateOpenLast();
}

void Cubo::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    if (Vcampos) Vcampos->hide();
}

void Cubo::TimerWait_Timer() {
    AB->setEnabled(true);
    ABGraph->setEnabled(true);
    TimerWait->setEnabled(false);
}

bool Cubo::Form_Unload() {
    using namespace bd::os;
    if (Salvar) {
        Prompt p{"Do you want to save the changes ?", "Save", Buttons::YesNo, Icon::None, std::nullopt};
        // Closing unattended, the question answers No by itself.
        if (carradoAutomatico) p.defaultAnswer = Answer::No;
        // The user asked for a save: without one the cube must stay open.
        if (MsgBox(p) == Answer::Yes && !Guardar(true, false)) return false;
    }
    // Both minute timers (and a running countdown) stop before any mail or upload.
    if (Vcampos) Vcampos->stopMinuteTimers();
    if (carradoAutomatico) {
        EnviarAlertas();
    } else if (HayAlertas()) {
        if (MsgBox("Email alert field is checked. Do you want to send email alerts ?", Buttons::YesNo,
                   Icon::None, "Email Alerts") == Answer::Yes)
            EnviarAlertas();
    }
    if (Vcampos && Vcampos->Property(Campos::FilaSubirAlSalir) == "1") {
        if (carradoAutomatico)
            UpLoadToWeb();
        else if (MsgBox("Web Upload field is checked. Do you want to upload report and send notifications ?",
                        Buttons::YesNo, Icon::None, "Upload") == Answer::Yes)
            UpLoadToWeb();
    }
    if (VinsCube && VinsCube->Vparent) VinsCube->Vparent->Terminar();
    if (Vcampos) {
        Vcampos->CerrarEnUnload = true;
        Vcampos->close();
        Vcampos->deleteLater();
        Vcampos = nullptr;
    }
    return true;
}

void Cubo::closeEvent(QCloseEvent* e) {
    // The upload's waits keep the event loop running; the viewer stays until it ends.
    if (publishing_) {
        e->ignore();
        return;
    }
    // The next viewer opens at the size this one was left at.
    const bool shown = isVisible();
    const QByteArray geometry = saveGeometry();
    if (Form_Unload()) {
        if (shown)
            General::SaveSetting("OE", "CUBO", "VIEWER_GEOMETRY", QString::fromLatin1(geometry.toBase64()));
        e->accept();
    } else {
        e->ignore();
    }
}
