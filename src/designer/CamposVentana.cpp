// The designer window's life: activation, closing and hiding, the tabs and the toolbar, the hint
// balloon and the lock state of the definition grids.
#include "designer/Campos.h"

#include "platform/os/Clock.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/toolbar/Toolbar.h"
#include "publishing/frmScheduler.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QShortcut>
#include <QTabBar>

using bd::os::Answer;
using bd::os::Buttons;
using bd::os::Icon;
using bd::os::MsgBox;

// ---- tabs and toolbar ----

void Campos::connectWindowHandlers() {
    // A click on a tab's header runs the command of that tab's tool; the tab changes only through it.
    SSTab1->tabBar()->installEventFilter(this);
    connect(SSTab1, &QTabWidget::currentChanged, this, &Campos::SetAbChecked);
    // Grid clicks end the hint.
    for (bd::grid::Grid* g : {spCam.data(), spCal.data()})
        connect(g, &bd::grid::Grid::clicked, this, &Campos::DestroyBalloon);
    // Keys on the existing commands: F5 refreshes, Ctrl+S saves the cube through its viewer.
    auto* refrescar = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(refrescar, &QShortcut::activated, this, [this] {
        if (bd::toolbar::Tool* t = AB->tool(QStringLiteral("Conectar"))) AB->clickTool(t);
    });
    auto* guardar = new QShortcut(QKeySequence::Save, this);
    connect(guardar, &QShortcut::activated, this, [this] {
        if (!VCubo) return;
        if (bd::toolbar::Band* b = VCubo->AB->band("Band2"))
            if (bd::toolbar::Tool* t = b->tool(QStringLiteral("Guardar"))) VCubo->AB->clickTool(t);
    });
}

void Campos::St_Click(int tab) {
    switch (tab) {
    case 0:
        AB->clickTool(AB->tool(ToolConnection));
        break;
    case 1:
        AB->clickTool(AB->tool(ToolCube));
        break;
    case 2:
        cmdAdvSet_Click();
        break;
    case 3:
        builderTab_Click();
        break;
    default:
        if (tab < 0 || tab >= SSTab1->count()) return;
        SSTab1->setCurrentIndex(tab);
        SetAbChecked();
    }
}

void Campos::GoTab(int tab) {
    if (tab == 0) {
        SSTab1->setCurrentIndex(0);
        SetAbChecked();
        return;
    }
    if (tab >= 2 && tab < SSTab1->count()) {
        SSTab1->setCurrentIndex(tab);
        SetAbChecked();
        return;
    }
    if (tab != 1) return;
    SSTab1->setCurrentIndex(1);
    SetAbChecked();
    if (!txtQuery->toPlainText().isEmpty() && !txtConeccion->toPlainText().isEmpty() && !HayCampos(*spCam))
        Cambio = true;
    if (!Cambio) return;
    if (VinsCube) {
        QString cs = txtConeccion->toPlainText();
        if (!cs.isEmpty()) VinsCube->CubeConnectionString = cs.replace("\r\n", " ").replace('\n', ' ');
        if (!txtQuery->toPlainText().isEmpty()) VinsCube->CubeSqlQuery = txtQuery->toPlainText().trimmed();
    }
    Cambio = false;
    QPointer<Campos> self(this);
    Iniciar();
    if (!self || !VCubo) return;
    VCubo->lastChart.clear();
    VCubo->Graph(QString());
}

void Campos::SetAbChecked() {
    const int t = SSTab1->currentIndex();
    if (t != 1) DestroyBalloon();
    AB->tool(ToolConnection)->setChecked(t == 0);
    AB->tool(ToolCube)->setChecked(t == 1);
}

void Campos::enableAB() {
    AB->setEnabled(true);
}

void Campos::AB_ToolClick(bd::toolbar::Tool* tool) {
    if (!tool) return;
    const QString key = tool->key();
    DestroyBalloon();
    QPointer<Campos> self(this);
    QPointer<Cubo> cubo = VCubo;
    const bool visor = cubo && cubo->isVisible();
    if (visor) AB->setEnabled(false);
    if (key == QStringLiteral("CONFIGURAR CONEXIÓN")) {
        GoTab(0);
    } else if (key == QStringLiteral("CONFIGURAR CUBO")) {
        cmdSiguiente_Click();
    } else if (key == QStringLiteral("CONECTAR")) {
        bool desdeFiltros = false;
        Refrescar(&desdeFiltros);
    }
    if (!self) return;
    if (visor && cubo) {
        // The viewer's wait timer gives the toolbar back.
        connect(cubo->TimerWait, &bd::os::Timer::timeout, this, &Campos::enableAB, Qt::UniqueConnection);
        cubo->TimerWait->setEnabled(true);
    } else {
        AB->setEnabled(true);
    }
}

void Campos::cmdAdvSet_Click() {
    DestroyBalloon();
    AB->tool(ToolConnection)->setChecked(false);
    AB->tool(ToolCube)->setChecked(false);
    SSTab1->setCurrentIndex(2);
    SetAbChecked();
}

void Campos::cmdLastQuery_Click() {
    txtViewQuery->setPlainText(UltimaConsultaSQL);
    SSTab1->setCurrentIndex(4);
    cmdQueryEditorView->hide();
    SetAbChecked();
}

void Campos::cmdCancelar_Click() {
    hide();
    if (!VCubo) return;
    if (VCubo->isVisible() && VCubo->DC->fields().count() > 0) return;
    // The cube is being abandoned: its viewer must not be shown.
    CerrarEnUnload = true;
    VCubo->Cerrar = true;
    closingCube_ = true;
    VCubo->close();
}

void Campos::OpenScheduler() {
    if (VCubo) VCubo->Salvar = true;
    QPointer<Campos> self(this);
    // Saving may be cancelled: ask again until the cube has a file or the user says No.
    while (self && VinsCube && VinsCube->PathOpenCube.isEmpty()) {
        MsgBox("You must to save the cube first", Buttons::Ok, Icon::Information, "Save First");
        if (MsgBox("Do you want to save ?", Buttons::YesNo, Icon::None, "Save") != Answer::Yes) return;
        if (VCubo) VCubo->Guardar(true, false);
    }
    if (!self || !VinsCube) return;
    frmScheduler dlg(this);
    dlg.VinsCube = VinsCube;
    dlg.Vcampos = this;
    bd::os::runDialog(&dlg);
}

void Campos::cmdOpenScheduler_Click() {
    OpenScheduler();
}

// ---- window life ----

void Campos::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) {
        // Served after the event: it may open modal dialogs.
        QMetaObject::invokeMethod(this, &Campos::Form_Activate, Qt::QueuedConnection);
    } else if (e->type() == QEvent::WindowStateChange && isMinimized()) {
        // A designer put aside is hidden; the viewer brings it back.
        setWindowState(windowState() & ~Qt::WindowMinimized);
        hide();
    }
}

void Campos::Form_Activate() {
    if (activating_) return;
    activating_ = true;
    QPointer<Campos> self(this);
    struct ClearOnExit {
        QPointer<Campos> c;
        ~ClearOnExit() {
            if (c) c->activating_ = false;
        }
    } fin{self};
    if (vProtected) {
        hide();
        const QString pass = AskPassword();
        if (!self) return;
        if (!VinsCube || pass.toUpper() != VinsCube->vPass.toUpper()) {
            General::MensajePasswordIncorrecto();
            return;
        }
        vProtected = false;
        show();
    }
    const int n = General::GetSetting("OE", "CUBO", "FRMCAMPOS_INIT").toInt() + 1;
    if (SSTab1->currentIndex() == 1 && n < 4) {
        General::SaveSetting("OE", "CUBO", "FRMCAMPOS_INIT", QString::number(n));
        MostrarToolMeasure();
    }
    if (OpenConnectionDialog) {
        OpenConnectionDialog = false;
        General::EnfocarControl(this);
        dialogTimer_->setEnabled(true);
    }
}

void Campos::serveConnectionDialog() {
    dialogTimer_->setEnabled(false);
    // Hidden meanwhile: the next activation serves it.
    if (!isVisible()) {
        OpenConnectionDialog = true;
        return;
    }
    cmdGenerarCnn_Click();
}

void Campos::Form_Unload(bool& cancel) {
    if (!VCubo || !VCubo->isVisible()) CerrarEnUnload = true;
    if (!CerrarEnUnload) {
        cancel = true;
        hide();
    }
}

void Campos::closeEvent(QCloseEvent* e) {
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel) {
        e->ignore();
        return;
    }
    e->accept();
    DestroyBalloon();
    dialogTimer_->setEnabled(false);
    // A viewer that was never shown has nothing to keep: the whole cube closes.
    if (VCubo && !VCubo->isVisible() && !closingCube_) {
        closingCube_ = true;
        VCubo->Cerrar = true;
        VCubo->close();
    }
}

void Campos::cmdViewClose_Click() {
    hide();
}

void Campos::cmdSetOk_Click() {
    if (VCubo) VCubo->Salvar = true;
    hide();
}

bool Campos::eventFilter(QObject* o, QEvent* e) {
    if (o == SSTab1->tabBar() && e->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(e);
        const int tab = SSTab1->tabBar()->tabAt(me->position().toPoint());
        if (me->button() != Qt::LeftButton || tab < 0) return false;
        St_Click(tab);
        return true;
    }
    if (e->type() == QEvent::FocusIn) {
        if (o == txtConeccion || o == txtQuery || o == txtDateIndicator || o == txtDBDateFormat ||
            o == txtDBHourFormat || o == txtLike || o == cmbEngine) {
            PaintBackground(static_cast<QWidget*>(o), ColorWindow);
            if (o == cmbEngine) {
                QPalette p = cmbEngine->palette();
                p.setColor(QPalette::Button, palette().color(QPalette::Button));
                cmbEngine->setPalette(p);
            }
        }
        if (o == txtConeccion) cmbTbl->clear();
    } else if (e->type() == QEvent::FocusOut) {
        const auto why = static_cast<QFocusEvent*>(e)->reason();
        // Leaving the window or opening a menu is no edit finished.
        if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason) {
            if (o == txtDBDateFormat) txtDBDateFormat_LostFocus();
            if (o == txtDBHourFormat) txtDBHourFormat_LostFocus();
            if (o == txtAutorefresh) txtAutorefresh_LostFocus();
            if (o == txtAutoClose) txtAutoClose_LostFocus();
        }
    } else if (e->type() == QEvent::MouseButtonPress && (o == chkRefresh || o == chkSendAlert)) {
        if (VCubo) VCubo->Salvar = true;
    }
    return QWidget::eventFilter(o, e);
}

// ---- hint balloon ----

void Campos::MostrarToolMeasure() {
    // The hint is for a cube without a measure only.
    if (!isVisible() || SSTab1->currentIndex() != 1 || HayCampos(*spCal)) return;
    // Owned by the designer: it goes when the designer hides.
    General::MostrarGlobo(balloon_, "Click --> to add a measure field",
                          "At least one measure field is necessary", 220, 105, this);
}

void Campos::DestroyBalloon() {
    balloon_.Destroy();
}

// ---- grid locks ----

void Campos::BlockearCampos(bool on) {
    const uint32_t color = on ? ColorLocked : ColorFree;
    for (bd::grid::Grid* g : {spCal.data(), spCam.data()}) {
        g->setBackColor(1, -1, color);
        g->setLock(1, -1, true);
        for (int c : {2, 3}) {
            g->setBackColor(c, -1, color);
            g->setLock(c, -1, on);
        }
    }
    BlockearColumnasSpCal();
}

void Campos::ShowConnectButton() {}
