#include "shell/frmSplash.h"

#include "platform/os/AppPath.h"
#include "platform/os/Clock.h"
#include "platform/os/Desktop.h"
#include "platform/os/Twips.h"
#include "shell/General.h"

#include <QFont>
#include <QPainter>
#include <QVBoxLayout>

int frmSplash::DisplayMs = 1500;

namespace {
// The built-in picture: a plain banner drawn once, so the program needs no image file to start.
QPixmap builtInPicture() {
    QPixmap pm(420, 240);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, 240);
    g.setColorAt(0, QColor(0x1f, 0x4e, 0x79));
    g.setColorAt(1, QColor(0x2e, 0x75, 0xb6));
    p.fillRect(pm.rect(), g);
    p.setPen(Qt::white);
    QFont f("Sans", 24, QFont::Bold);
    p.setFont(f);
    p.drawText(pm.rect().adjusted(0, 0, 0, -40), Qt::AlignCenter, "Brintova Deridoro");
    p.setFont(QFont("Sans", 11));
    p.drawText(pm.rect().adjusted(0, 60, 0, 0), Qt::AlignCenter, "Cube analysis");
    return pm;
}
} // namespace

frmSplash::frmSplash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    pB.load(bd::os::AppPath() + "/splash.png");
    if (pB.isNull()) pB = builtInPicture();
    fr = new QFrame(this);
    fr->setFrameShape(QFrame::Box);
    img = new QLabel(fr);
    lblChange = new QLabel(fr);
    lblChange->setCursor(Qt::PointingHandCursor);
    auto* lay = new QVBoxLayout(fr);
    // Margins of 120, 220 and 350 twips around the picture.
    lay->setContentsMargins(bd::os::twipsToPixels(120), bd::os::twipsToPixels(120),
                            bd::os::twipsToPixels(120), bd::os::twipsToPixels(220));
    lay->addWidget(img);
    lay->addSpacing(bd::os::twipsToPixels(350) - bd::os::twipsToPixels(220));
    lay->addWidget(lblChange);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(fr);
    Timer1 = new bd::os::Timer(this, DisplayMs);
    connect(Timer1, &bd::os::Timer::timeout, this, &frmSplash::Timer1_Timer);
    connect(lblChange, &QLabel::linkActivated, this, [this] { lblChange_Click(); });
}

void frmSplash::Form_Load() {
    Timer1->setInterval(DisplayMs);
    Timer1->setEnabled(true);
    const QString pic = General::GetSetting("OE", "Init", "IMG");
    QPixmap pm;
    if (!pic.isEmpty()) pm.load(pic);
    img->setPixmap(pm.isNull() ? pB : pm);
    lblChange->setText("<a href=\"change\">Replace this image with your own company.</a>");
    adjustSize();
}

void frmSplash::Timer1_Timer() {
    Listo = true;
    Timer1->setEnabled(false);
}

void frmSplash::lblChange_Click() {
    Timer1->setEnabled(false);
    Listo = false;
    bd::os::FileDialogRequest r;
    r.filter = "*.jpg|*.jpg|*.bmp|*.bmp|";
    r.owner = this;
    if (auto chosen = bd::os::fileDialogs().choose(r)) General::SaveSetting("OE", "Init", "IMG", *chosen);
    Form_Load();
}
