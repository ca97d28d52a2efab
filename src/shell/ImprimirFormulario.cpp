#include "shell/ImprimirFormulario.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace ImprimirFormulario {

namespace {

// Palette displays have this many colours or fewer.
constexpr int kPaletteDepth = 8;

QMargins frameOf(QWidget* w) {
    const QWindow* h = w->windowHandle();
    return w->isWindow() && h ? h->frameMargins() : QMargins();
}

} // namespace

QPixmap CapturarFormulario(QWidget* form) {
    if (!form) return {};
    return CapturarVentana(form, true, 0, 0, form->width(), form->height());
}

QPixmap CapturarVentana(QWidget* window, bool clientArea, int left, int top, int width, int height) {
    if (!window || width <= 0 || height <= 0) return {};
    const qreal ratio = window->devicePixelRatioF();
    QImage bitmap(QSize(width, height) * ratio, QImage::Format_RGB32);
    bitmap.setDevicePixelRatio(ratio);
    bitmap.fill(window->palette().color(QPalette::Window));
    // The whole window's rectangle starts at the frame's outer corner.
    const QMargins frame = clientArea ? QMargins() : frameOf(window);
    window->render(&bitmap, QPoint(frame.left() - left, frame.top() - top), QRegion(),
                   QWidget::DrawWindowBackground | QWidget::DrawChildren);
    QVector<QRgb> palette;
    const QScreen* s = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (s && s->depth() <= kPaletteDepth)
        palette = bitmap.convertToFormat(QImage::Format_Indexed8).colorTable();
    return CrearImagenBitmap(bitmap, palette);
}

QPixmap CrearImagenBitmap(const QImage& bitmap, const QVector<QRgb>& palette) {
    if (palette.isEmpty()) return QPixmap::fromImage(bitmap);
    QImage mapped = bitmap.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);
    mapped.setDevicePixelRatio(bitmap.devicePixelRatio());
    return QPixmap::fromImage(mapped);
}

} // namespace ImprimirFormulario
