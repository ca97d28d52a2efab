#include "shell/GeneralGrid.h"

#include "platform/dates/OleDate.h"
#include "platform/grid/Grid.h"
#include "platform/os/Clock.h"
#include "platform/os/Prompter.h"

#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QEventLoop>
#include <QLocale>
#include <QTimer>
#include <cmath>

namespace General {

void EscribirCelda(bd::grid::Grid& grid, int col, int row, const QString& value) {
    const int c = grid.col(), r = grid.row();
    grid.setCol(col);
    grid.setRow(row);
    grid.setCellTag(value);
    grid.setCol(c);
    grid.setRow(r);
}

QString LeerCelda(bd::grid::Grid& grid, int col, int row) {
    const int c = grid.col(), r = grid.row();
    grid.setCol(col);
    grid.setRow(row);
    const QString tag = grid.cellTag();
    grid.setCol(c);
    grid.setRow(r);
    return tag;
}

void Esperar(long n) {
    const double start = bd::os::SecondsSinceMidnight();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        double elapsed = bd::os::SecondsSinceMidnight() - start;
        if (elapsed < 0) elapsed += 86400; // the clock passed midnight
        if (std::lround(elapsed) >= n) return;
        // Sleep a little inside the event loop rather than spin.
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

QString RepetirTexto(const QString& text, int n) {
    return n < 1 ? QString() : text.repeated(n);
}

QString DosDigitos(const QVariant& value) {
    const QString s = value.isNull() ? QString() : value.toString();
    if (s.isEmpty()) return "00";
    if (s.size() == 1) return "0" + s;
    return s;
}

bool FijarHora(const QDateTime& date, QDateTimeEdit* picker) {
    if (!picker || !date.isValid()) return false;
    const QTime t = date.time();
    // Hour, then minute, then second, as the picker's own properties would be set.
    QTime now = picker->time();
    now.setHMS(t.hour(), now.minute(), now.second());
    now.setHMS(now.hour(), t.minute(), now.second());
    now.setHMS(now.hour(), now.minute(), t.second());
    picker->setTime(now);
    return true;
}

bool FijarHora(const QString& date, QDateTimeEdit* picker) {
    const QString s = date.trimmed();
    QDateTime d = QDateTime::fromString(s, Qt::ISODate);
    const QLocale loc;
    for (const QString& f :
         {loc.dateTimeFormat(QLocale::ShortFormat), loc.dateTimeFormat(QLocale::LongFormat),
          QString("dd/MM/yyyy HH:mm:ss"), QString("d/M/yyyy H:mm:ss"), QString("dd/MM/yyyy HH:mm"),
          QString("yyyy-MM-dd HH:mm:ss"), QString("HH:mm:ss"), QString("H:mm")}) {
        if (d.isValid()) break;
        d = loc.toDateTime(s, f);
        if (!d.isValid()) {
            const QTime t = QTime::fromString(s, f);
            if (t.isValid())
                d = QDateTime(
                    QDate(bd::dates::kOleEpochYear, bd::dates::kOleEpochMonth, bd::dates::kOleEpochDay), t);
        }
    }
    if (!d.isValid()) {
        // A date alone sets midnight.
        for (const QString& f :
             {loc.dateFormat(QLocale::ShortFormat), QString("dd/MM/yyyy"), QString("yyyy-MM-dd")}) {
            const QDate dd = loc.toDate(s, f);
            if (dd.isValid()) {
                d = QDateTime(dd, QTime(0, 0));
                break;
            }
        }
    }
    return FijarHora(d, picker);
}

void EnfocarControl(QWidget* control) {
    if (!control || !control->isVisible() || !control->isEnabled()) return;
    // A window given the focus comes to the front, as the user's working window.
    if (control->isWindow() && !control->isActiveWindow()) {
        control->raise();
        control->activateWindow();
    }
    control->setFocus();
}

void TraerAlFrente(QWidget* control) {
    if (control) control->raise();
}

void MensajePasswordIncorrecto() {
    bd::os::MsgBox("Incorrect Password", bd::os::Buttons::Ok, bd::os::Icon::Information, "Error");
}

} // namespace General
