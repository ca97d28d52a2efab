#pragma once
// The title bar a window manager draws shows the window's title followed by the program's name; a
// small dialog or message box is made wide enough for that text to be read whole.
#include <QString>

class QMessageBox;
class QWidget;

namespace bd::os {

// The title as the title bar shows it: with " — " and the program's name unless it ends with it.
QString shownTitle(const QWidget* w);
// The width of a window whose title bar shows shownTitle(w) whole: the text, the window icon and
// the bar's buttons; never more than most of the screen.
int titleBarWidth(const QWidget* w);
// Widens a top-level window to titleBarWidth when it is narrower.
void fitTitle(QWidget* w);
// The same for a message box, which sizes itself from its own contents when it is shown.
void fitTitle(QMessageBox* box);

} // namespace bd::os
