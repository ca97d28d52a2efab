// Designer procedures that other windows call and whose full work belongs to the chart band.
// Minimal, safe behaviour until then.
#include "designer/Campos.h"

void Campos::CargarComandosGraficos() {}
