// Window pictures for printing: drawn by the window itself, so hidden and covered windows come out
// as they are, cut to the asked rectangle.
#include "shell/ImprimirFormulario.h"

#include <QApplication>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

using namespace ImprimirFormulario;

namespace {

QWidget* colourBox(const QColor& c, QWidget* parent = nullptr) {
    auto* w = new QWidget(parent);
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
    return w;
}

// A window whose top half is red and bottom half blue, through layouts two deep.
std::unique_ptr<QWidget> twoBands() {
    auto w = std::make_unique<QWidget>();
    auto* l = new QVBoxLayout(w.get());
    l->setContentsMargins(0, 0, 0, 0);
    auto* inner = new QWidget;
    auto* il = new QVBoxLayout(inner);
    for (QVBoxLayout* x : {l, il}) {
        x->setContentsMargins(0, 0, 0, 0);
        x->setSpacing(0);
    }
    l->addWidget(inner);
    il->addWidget(colourBox(Qt::red));
    il->addWidget(colourBox(Qt::blue));
    w->resize(200, 120);
    return w;
}

QColor at(const QPixmap& p, int x, int y) {
    return p.toImage().pixelColor(x, y);
}

} // namespace

TEST(WindowCapture, AWindowNeverShownComesOutLaidOut) {
    auto w = twoBands();
    ASSERT_FALSE(w->isVisible());
    const QPixmap pic = CapturarFormulario(w.get());
    ASSERT_EQ(pic.size(), QSize(200, 120));
    EXPECT_EQ(at(pic, 100, 10), QColor(Qt::red));
    EXPECT_EQ(at(pic, 100, 110), QColor(Qt::blue));
    EXPECT_FALSE(w->isVisible()) << "the capture does not show it";
}

TEST(WindowCapture, ACoveredWindowComesOutAsItselfNotAsWhatCoversIt) {
    auto w = twoBands();
    w->move(40, 40);
    w->show();
    std::unique_ptr<QWidget> cover(colourBox(Qt::green));
    cover->setGeometry(w->geometry().adjusted(-10, -10, 10, 10));
    cover->show();
    cover->raise();
    QApplication::processEvents();
    const QPixmap pic = CapturarFormulario(w.get());
    ASSERT_EQ(pic.size(), QSize(200, 120));
    EXPECT_EQ(at(pic, 100, 10), QColor(Qt::red));
    EXPECT_EQ(at(pic, 100, 110), QColor(Qt::blue));
}

TEST(WindowCapture, ARectangleIsCutFromTheClientAreaOrTheWholeWindow) {
    auto w = twoBands();
    w->show();
    QApplication::processEvents();
    // 40 x 40 straddling the two bands: red above row 60 of the window, blue below.
    const QPixmap part = CapturarVentana(w.get(), true, 10, 40, 40, 40);
    ASSERT_EQ(part.size(), QSize(40, 40));
    EXPECT_EQ(at(part, 5, 5), QColor(Qt::red));
    EXPECT_EQ(at(part, 5, 35), QColor(Qt::blue));
    // The whole window's rectangle starts at the frame: the client area sits inside it by the frame.
    const QMargins frame = w->windowHandle() ? w->windowHandle()->frameMargins() : QMargins();
    const QPixmap whole = CapturarVentana(w.get(), false, 0, 0, 200 + frame.left() + frame.right(),
                                          120 + frame.top() + frame.bottom());
    EXPECT_EQ(at(whole, frame.left() + 100, frame.top() + 10), QColor(Qt::red));
    EXPECT_EQ(at(whole, frame.left() + 100, frame.top() + 110), QColor(Qt::blue));
    EXPECT_TRUE(CapturarVentana(w.get(), true, 0, 0, 0, 10).isNull());
    EXPECT_TRUE(CapturarFormulario(nullptr).isNull());
}

TEST(WindowCapture, TrueColourPicturesKeepTheirColoursAPaletteMapsThem) {
    auto w = twoBands();
    const QPixmap pic = CapturarFormulario(w.get());
    EXPECT_NE(pic.toImage().format(), QImage::Format_Indexed8);
    EXPECT_TRUE(pic.toImage().colorTable().isEmpty());

    QImage bitmap(4, 1, QImage::Format_RGB32);
    bitmap.setPixelColor(0, 0, QColor(250, 10, 10));
    bitmap.setPixelColor(1, 0, QColor(10, 10, 240));
    bitmap.setPixelColor(2, 0, QColor(200, 30, 30));
    bitmap.setPixelColor(3, 0, QColor(20, 0, 200));
    const QPixmap mapped = CrearImagenBitmap(bitmap, {qRgb(255, 0, 0), qRgb(0, 0, 255)});
    const QImage out = mapped.toImage();
    EXPECT_EQ(out.pixelColor(0, 0), QColor(255, 0, 0));
    EXPECT_EQ(out.pixelColor(1, 0), QColor(0, 0, 255));
    EXPECT_EQ(out.pixelColor(2, 0), QColor(255, 0, 0));
    EXPECT_EQ(out.pixelColor(3, 0), QColor(0, 0, 255));
}
