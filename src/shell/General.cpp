#include "shell/General.h"

#include <QApplication>
#include <QCursor>

namespace General {

void MostrarEspera(bool) {}

void PunteroEspera() {
    if (qApp && !QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void PunteroNormal() {
    if (!qApp) return;
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

} // namespace General
