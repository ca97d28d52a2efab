#include "shell/frmClose.h"

#include "designer/Campos.h"
#include "platform/os/Clock.h"
#include "platform/os/Prompter.h"
#include "shell/FrmMain.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
QString countdownText(int left) {
    return QStringLiteral("Auto closing in %1 seconds. ").arg(left);
}
} // namespace

frmClose::frmClose(QWidget* parent) : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName("frmClose");
    setWindowTitle("Auto Closing");
    setAttribute(Qt::WA_DeleteOnClose);
    // Nothing else of the program takes input while the countdown runs; it blocks no caller.
    setWindowModality(Qt::ApplicationModal);
    lblAutoclose = new QLabel(countdownText(CountdownSeconds), this);
    lblAutoclose->setObjectName("lblAutoclose");
    QFont f = lblAutoclose->font();
    f.setPointSize(f.pointSize() + 3);
    lblAutoclose->setFont(f);
    lblAutoclose->setAlignment(Qt::AlignCenter);
    cmdCancel = new QPushButton("Cancel auto closing", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    buttons->addStretch();
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(24, 20, 24, 16);
    lay->setSpacing(16);
    lay->addWidget(lblAutoclose);
    lay->addLayout(buttons);
    setMinimumWidth(320);
    connect(cmdCancel, &QPushButton::clicked, this, &frmClose::cmdCancel_Click);
    Timer = new bd::os::Timer(this, 1000);
    connect(Timer, &bd::os::Timer::timeout, this, &frmClose::Timer_Timer);
    Timer->setEnabled(true);
}

bool frmClose::counting() const {
    return Timer->isEnabled();
}

void frmClose::Timer_Timer() {
    ++ticks_;
    lblAutoclose->setText(countdownText(CountdownSeconds - ticks_));
    if (ticks_ < CountdownSeconds) return;
    Timer->setEnabled(false);
    hide();
    closeCube();
}

void frmClose::closeCube() {
    QPointer<frmClose> self(this);
    QPointer<Cubo> viewer = Vcampos ? Vcampos->VCubo : nullptr;
    QPointer<FrmMain> main = VinsCube ? VinsCube->Vparent : nullptr;
    bool closed = false;
    if (viewer) {
        viewer->carradoAutomatico = true;
        // Nobody kept the cube open: what the close still asks answers by itself.
        const bool wasUnattended = bd::os::unattended();
        bd::os::setUnattended(true, bd::os::unattendedCountdown());
        closed = viewer->close();
        bd::os::setUnattended(wasUnattended, bd::os::unattendedCountdown());
        if (!closed && viewer) viewer->carradoAutomatico = false;
    }
    // A viewer that is gone already or stayed open (its save failed) ends nothing.
    if (closed && main) {
        main->MatarApp();
    } else if (self) {
        close();
    }
}

void frmClose::cmdCancel_Click() {
    close();
}

void frmClose::closeEvent(QCloseEvent* e) {
    Timer->setEnabled(false);
    if (Vcampos) Vcampos->TimerAutoClose->setEnabled(false);
    e->accept();
}
