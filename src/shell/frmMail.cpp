#include "shell/frmMail.h"

#include "platform/os/Clock.h"
#include "platform/os/Twips.h"

#include <QPainter>
#include <QPixmap>
#include <iterator>

namespace {
QPixmap letter(const QColor& c) {
    QPixmap pm(32, 22);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(c, 2));
    p.drawRect(1, 1, 30, 20);
    p.drawLine(1, 1, 16, 12);
    p.drawLine(31, 1, 16, 12);
    return pm;
}
} // namespace

frmMail::frmMail(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setObjectName("frmMail");
    setWindowTitle("Mail Sending");
    using bd::os::twipsToPixels;
    resize(twipsToPixels(4800), twipsToPixels(1800));
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(twipsToPixels(120), twipsToPixels(120), twipsToPixels(4560), twipsToPixels(600));
    Label1->setWordWrap(true);
    Picture1 = new QLabel(this);
    Picture1->setPixmap(letter(QColor(0x30, 0x60, 0xa0)));
    Picture1->setGeometry(twipsToPixels(600), twipsToPixels(900), 32, 22);
    Picture2 = new QLabel(this);
    Picture2->setPixmap(letter(QColor(0x90, 0x90, 0x90)));
    Picture2->setGeometry(twipsToPixels(Picture2Steps[0]), twipsToPixels(900), 32, 22);
    Timer1 = new bd::os::Timer(this, 300);
    connect(Timer1, &bd::os::Timer::timeout, this, &frmMail::Timer1_Timer);
    Timer1->setEnabled(true);
}

void frmMail::Timer1_Timer() {
    repaint();
    // From any other place the picture stays where it is.
    constexpr int n = int(std::size(Picture2Steps));
    for (int i = 0; i < n; ++i)
        if (Picture2->x() == bd::os::twipsToPixels(Picture2Steps[i])) {
            Picture2->move(bd::os::twipsToPixels(Picture2Steps[(i + 1) % n]), Picture2->y());
            return;
        }
}
