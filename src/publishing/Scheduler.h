#pragma once
// Scheduled tasks: the task scheduler's command lines as the scheduler window builds them, and their
// run through our scheduler program (bd-schtasks, in the program folder), which keeps one line per
// task in the user's crontab.
#include <QString>
#include <QStringList>

namespace bd::publishing {

// Weekday codes of the scheduler, Monday first.
inline const QStringList CodigosDias = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};

// The task name of a typed identifier: every blank becomes "_", nothing else changes.
QString NombreTarea(const QString& id);
// Appends an item to a comma list.
void Concatena(QString& lista, const QString& item);
// A typed hour or minute as the box keeps it: "00" for what is no number, otherwise without "." and
// "," and with a leading "0" when one character long. No range check.
QString ValidarNumero(const QString& text);

// A task name the scheduler can hold: not empty, no control character and none of \ / : * ? " < > | %.
bool NombreTareaValido(const QString& nombre);
// A cube path a task can carry: no double quote and no line break.
bool RutaProgramable(const QString& path);

QString ComandoBorrar(const QString& nombre);
// Empty (refused) when no day is given.
QString ComandoCrear(const QString& dias, const QString& nombre, const QString& hora, const QString& minuto,
                     const QString& cubo);
// Our own listing of the scheduled tasks (one "name TAB days TAB hh:mm TAB cube" line each).
QString ComandoConsultar();

// A command line split into arguments as the scheduler tool's own start-up splits it: blanks part
// arguments outside double quotes; 2n backslashes before a quote give n and toggle quoting, 2n+1 give
// n and a literal quote; other backslashes stand as they are.
QStringList SepararArgumentos(const QString& line);

// Where our scheduler program lives: beside the program, in the program folder.
QString ProgramaProgramador();
// How long one scheduler command may take.
constexpr int kSchedulerTimeoutMs = 30000;

struct SchedulerResult {
    bool ok = false;
    bool noSuchTask = false; // a delete found no task of that name (the end state asked for)
    QString reason;          // why it failed, as one sentence
    QString output;          // what the program printed (the listing of a query)
};
// Splits the command line, runs it through the process seam with our program in place of the tool
// and waits for it.
SchedulerResult EjecutarProgramador(const QString& commandLine);

struct ScheduledTask {
    QString name, days, time, cube;
};
QList<ScheduledTask> LeerListaTareas(const QString& output);

} // namespace bd::publishing
