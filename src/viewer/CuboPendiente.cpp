// Viewer procedures that the designer and the cube file call and whose full work belongs to the
// chart, user-filter pane, alert and publishing work. Minimal, safe behaviour until then.
#include "viewer/Cubo.h"

void Cubo::IndicarCantidades(bool) {}
void Cubo::MostrarToolDrag() {}
bool Cubo::HayAlertas() { return false; }
void Cubo::EnviarAlertas() {}
void Cubo::UpLoadToWeb() {}
