#pragma once
// Shared procedures of the General module: the wait window and mouse pointer switches.
#include <QString>

namespace General {

// Wait window on or off; the window appears only when the wait lasts longer than a second.
void MostrarEspera(bool show);
// Hourglass pointer on (code 11) / default pointer (code 0).
void PunteroEspera();
void PunteroNormal();

} // namespace General
