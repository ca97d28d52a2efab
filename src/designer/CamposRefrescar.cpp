// Field discovery, loading the definition into the pivot and the cube refresh.
#include "designer/Campos.h"

void Campos::Iniciar() {}
void Campos::VerificarNumericos() {}
void Campos::BlockearColumnasSpCal() {}
int Campos::BuscarPosicion(bd::grid::Grid&) { return 0; }
bool Campos::EstaEnGrilla(bd::grid::Grid&, const QString&) { return false; }
bool Campos::EsNumericoEnGrilla(bd::grid::Grid&, const QString&) { return false; }
bool Campos::EstaEnquery(const QString&) { return false; }
void Campos::BorrarCamposNoEnQuery() {}
void Campos::CargarDefinicionEnCubo() {}
void Campos::Refrescar(bool*) {}
void Campos::PrenderTimerAutorefresh() {}
void Campos::PrenderTimerAutoClose() {}
