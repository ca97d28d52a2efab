#include "platform/os/WindowTitle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>
#include <QWidget>
#include <algorithm>

namespace bd::os {
namespace {
// Window icon, the bar's three buttons and its margins beside the title text, in pixels.
constexpr int kTitleBarDecoration = 120;
// A title never makes a window wider than this share of the screen.
constexpr double kMaxScreenShare = 0.9;
const QString kSeparator = QStringLiteral(" \u2014 ");
} // namespace

QString shownTitle(const QWidget* w) {
    const QString title = w ? w->windowTitle() : QString();
    const QString program = QGuiApplication::applicationDisplayName();
    if (program.isEmpty() || title.endsWith(program)) return title;
    return title.isEmpty() ? program : title + kSeparator + program;
}

int titleBarWidth(const QWidget* w) {
    if (!w) return 0;
    // Title bars draw their text bold.
    QFont f = QApplication::font("QMdiSubWindowTitleBar");
    f.setBold(true);
    const int wanted = QFontMetrics(f).horizontalAdvance(shownTitle(w)) + kTitleBarDecoration;
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? std::min(wanted, int(s->availableGeometry().width() * kMaxScreenShare)) : wanted;
}

void fitTitle(QWidget* w) {
    if (!w || !w->isWindow()) return;
    const int wanted = titleBarWidth(w);
    if (w->minimumWidth() < wanted) w->setMinimumWidth(wanted);
}

void fitTitle(QMessageBox* box) {
    if (!box) return;
    // The box fixes its size from its layout when shown: the layout gets a row as wide as the title.
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid) return;
    grid->addItem(new QSpacerItem(titleBarWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace bd::os
