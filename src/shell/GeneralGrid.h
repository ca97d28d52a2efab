#pragma once
// Shared procedures of the General module: the hidden tag of one grid cell, collections, the
// cooperative wait, small text helpers, the time-picker setter, focus and z-order, and the one
// wrong-password message.
#include <QDateTime>
#include <QString>
#include <QVariant>

class QDateTimeEdit;
class QWidget;
namespace bd::grid {
class Grid;
}

namespace General {

// The cell tag of (col, row), written and read without moving the grid's current cell, its active
// cell, its selection or any visible text.
void EscribirCelda(bd::grid::Grid& grid, int col, int row, const QString& value);
QString LeerCelda(bd::grid::Grid& grid, int col, int row);

// Collections: any keyed container (QMap, QHash, std::map) or list.
template <class C> void VaciarColeccion(C& c) {
    c.clear();
}
template <class C> bool ExisteEnColeccion(const C& c, const QString& key) {
    if constexpr (requires { c.contains(key); })
        return c.contains(key);
    else
        return c.count(key) > 0;
}

// Returns after about n seconds (elapsed time rounded to whole seconds), the event loop running
// meanwhile; also across midnight. With n below 1 it yields once.
void Esperar(long n);

QString RepetirTexto(const QString& text, int n);
// "00" for an empty value, "0" + value for one character, the value unchanged otherwise.
QString DosDigitos(const QVariant& value);

// The picker's hour, minute and second := those of the date. A text that is no date leaves the
// picker as it was and returns false.
bool FijarHora(const QDateTime& date, QDateTimeEdit* picker);
bool FijarHora(const QString& date, QDateTimeEdit* picker);

// Focus and z-order that never fail (a missing, hidden or disabled control is left alone).
void EnfocarControl(QWidget* control);
void TraerAlFrente(QWidget* control);

void MensajePasswordIncorrecto();

} // namespace General
