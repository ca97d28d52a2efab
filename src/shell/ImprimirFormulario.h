#pragma once
// Pictures of windows for printing and saving. They come from each widget's own rendering, not
// from the screen, so a hidden window or one under another window comes out as it is drawn.
#include <QImage>
#include <QPixmap>
#include <QVector>

class QWidget;

namespace ImprimirFormulario {

// The client area of a window, without title bar and borders.
QPixmap CapturarFormulario(QWidget* form);
// A rectangle (pixels) of a window's client area, or of the whole window with its frame when
// clientArea is false (the frame drawn by the window manager shows as the window colour).
QPixmap CapturarVentana(QWidget* window, bool clientArea, int left, int top, int width, int height);
// The picture of a bitmap; with a palette, its colours are taken from that palette (palette
// displays).
QPixmap CrearImagenBitmap(const QImage& bitmap, const QVector<QRgb>& palette = {});

} // namespace ImprimirFormulario
