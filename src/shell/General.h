#pragma once
// Shared procedures and process-wide facts of the General module: settings, language texts, machine
// and export ids, the decimal separator, the chart type catalogue, the wait window and the pointer.
#include "shell/KeyedCollection.h"

#include <QString>

class CBalloonToolTip;
class InsCube;
class QWidget;
class frmNavigator;

namespace General {

// Process-wide facts, settled once at start-up.
extern KeyedCollection colIdioma;
extern QString sIdioma;
extern double dHDNumber;
extern QString sSepDecimal;
extern KeyedCollection colNombreGrafico;
extern KeyedCollection colIdGrafico;
extern KeyedCollection colGraficoMS;
extern QString sGraficoDefNombre, sGraficoDefId;
extern QString sTamFuenteHTML, sArchivoVista, sArchivoDatos, sArchivoImagen;
extern QString sColorFondo, sColorTexto;

// Settings under application "OE".
QString GetSetting(const QString& app, const QString& section, const QString& key, const QString& def = {});
void SaveSetting(const QString& app, const QString& section, const QString& key, const QString& value);

void InicializarNombres();
// Reads "language.txt" of the program folder into colIdioma.
void CargarIdioma();
QString LeerTextoIdioma(const QString& key);
// Signed 32-bit serial of the system volume (its stand-in on this platform), 0 when unknown.
double ObtenerHDNumber();
// Magnitude of a signed serial, taken in 64 bits so the most negative value cannot overflow.
double SerialMagnitude(double serial);
void AsignarIdExport(InsCube& cube);
QString ObtenerSeparadorDecimal();
QString FormatoDosDecimales();
int ContarDecimales(const QString& mask);
void CargarTiposGrafico();
// File-type registration: the four keys in the registry layer plus the desktop's own counterpart.
// True only when every write succeeded.
bool RegistrarExtension(const QString& exePath, const QString& extension, const QString& className,
                        const QString& description);

// Wait window on or off; the window appears only when the wait lasts longer than a second.
void MostrarEspera(bool show);
// The wait window while it is on (nullptr otherwise).
frmNavigator* WaitWindow();
// Hourglass pointer on (code 11) / default pointer (code 0).
void PunteroEspera();
void PunteroNormal();

// The general numeric test of text boxes: digits with any "." and "," separators, an optional sign
// before or after them, an optional exponent, blanks around; the empty text is no number.
bool isNumeric(const QString& text);

// An information balloon titled title with text, pointing at (X, Y) of control (pixels, rounded to whole
// ones); tt keeps it until its visible time runs out or tt.Destroy().
void MostrarGlobo(CBalloonToolTip& tt, const QString& title, const QString& text, double X, double Y,
                  QWidget* control);

// Quotes a path for the Exec line of a desktop entry.
QString QuoteDesktopExec(const QString& path);

} // namespace General
