#include "shell/FrmColor.h"

#include "platform/os/DialogRunner.h"
#include "platform/os/Twips.h"
#include "shell/General.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

namespace {
constexpr int kPaletteWidth = 192;
constexpr int kPaletteHeight = 128;
constexpr int kGreyStripHeight = 16; // the grey strip under the hues

// Hues from left to right, light at the top to dark at the bottom, and a grey strip from white to
// black.
QPixmap palettePixmap() {
    QImage img(kPaletteWidth, kPaletteHeight, QImage::Format_RGB32);
    const int hueRows = kPaletteHeight - kGreyStripHeight;
    for (int y = 0; y < kPaletteHeight; ++y)
        for (int x = 0; x < kPaletteWidth; ++x) {
            QColor c;
            if (y < hueRows) {
                const double lightness = 0.95 - 0.85 * y / (hueRows - 1);
                c = QColor::fromHslF(double(x) / kPaletteWidth, 1.0, lightness);
            } else {
                const int g = 255 - 255 * x / (kPaletteWidth - 1);
                c = QColor(g, g, g);
            }
            img.setPixel(x, y, c.rgb());
        }
    return QPixmap::fromImage(img);
}

QLabel* makePalette(QWidget* parent, const char* name) {
    auto* p = new QLabel(parent);
    p->setObjectName(name);
    p->setPixmap(palettePixmap());
    p->setFixedSize(kPaletteWidth, kPaletteHeight);
    p->setCursor(Qt::CrossCursor);
    return p;
}
} // namespace

FrmColor::FrmColor(QWidget* parent) : QDialog(parent) {
    setObjectName("FrmColor");
    setWindowTitle("Select Color");
    Frame1 = new QGroupBox("Back Color", this);
    Frame1->setObjectName("Frame1");
    Frame2 = new QGroupBox("Fore Color", this);
    Frame2->setObjectName("Frame2");
    Picture1 = makePalette(Frame1, "Picture1");
    Picture2 = makePalette(Frame2, "Picture2");
    for (auto [frame, picture] : {std::pair{Frame1, Picture1}, std::pair{Frame2, Picture2}}) {
        frame->setAutoFillBackground(true);
        auto* l = new QVBoxLayout(frame);
        l->addWidget(picture);
        picture->installEventFilter(this);
    }
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdAceptar->setAutoDefault(false);
    auto* frames = new QHBoxLayout;
    frames->addWidget(Frame1);
    frames->addWidget(Frame2);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(frames);
    lay->addWidget(cmdAceptar, 0, Qt::AlignRight);
    connect(cmdAceptar, &QPushButton::clicked, this, &FrmColor::cmdAceptar_Click);
}

QString FrmColor::colorAt(const QLabel* picture, double X, double Y) {
    const QPixmap pm = picture->pixmap();
    if (X < 0 || Y < 0 || X >= pm.width() || Y >= pm.height()) return {};
    const QColor c = pm.toImage().pixelColor(int(X), int(Y));
    return QString::number(bd::os::colorToOle(c));
}

void FrmColor::showColor(QGroupBox* frame, const QString& color) {
    if (color.isEmpty()) return;
    QPalette p = frame->palette();
    p.setColor(QPalette::Window, bd::os::oleToColor(color.toUInt()));
    frame->setPalette(p);
}

void FrmColor::Cambiar_Color(double X, double Y) {
    const QString c = colorAt(Picture1, X, Y);
    if (!c.isEmpty()) VColor = c;
}

void FrmColor::Cambiar_Color2(double X, double Y) {
    const QString c = colorAt(Picture2, X, Y);
    if (!c.isEmpty()) VColor2 = c;
}

bool FrmColor::eventFilter(QObject* o, QEvent* e) {
    const bool mouseEvent = e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseMove;
    if (mouseEvent && (o == Picture1 || o == Picture2)) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->buttons() & Qt::LeftButton) {
            const QPointF at = me->position();
            if (o == Picture1) {
                Cambiar_Color(at.x(), at.y());
                showColor(Frame1, VColor);
            } else {
                Cambiar_Color2(at.x(), at.y());
                showColor(Frame2, VColor2);
            }
            return true;
        }
    }
    return QDialog::eventFilter(o, e);
}

void FrmColor::cmdAceptar_Click() {
    accept();
}

void FrmColor::reject() {
    // Closed without OK: nothing was picked.
    VColor.clear();
    VColor2.clear();
    QDialog::reject();
}

namespace General {
void ElegirColores(QWidget* owner) {
    sColorFondo.clear();
    sColorTexto.clear();
    QPointer<FrmColor> f = new FrmColor(owner);
    const bool accepted = bd::os::runDialog(f) == QDialog::Accepted;
    if (!f) return;
    if (accepted && !f->VColor.isEmpty()) sColorFondo = f->VColor;
    if (accepted && !f->VColor2.isEmpty()) sColorTexto = f->VColor2;
    delete f.data();
}
} // namespace General
