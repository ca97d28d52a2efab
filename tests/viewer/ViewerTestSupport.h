#pragma once
// A viewer and its designer linked as the viewer links them, without showing either, and the
// example cube's generator (its database and its cube file, made by the program's own save).
#include "designer/Campos.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QPointer>
#include <QString>

namespace bd::test {

struct Visor {
    QPointer<Cubo> v;
    QPointer<Campos> c;
    QPointer<InsCube> cube;
    Visor();
    ~Visor();
    Visor(const Visor&) = delete;
    Visor& operator=(const Visor&) = delete;
};

// Writes the example's SQLite database (deterministic rows) to path.
bool EscribirBaseEjemplo(const QString& path, QString* error);
// Rows of the example database as one text, for comparisons.
QString VolcarBase(const QString& path);

// Fills a linked viewer with the example cube's definition, its settings and a pivot over the
// example database of the program folder ("APP_PATH").
bool LlenarCuboEjemplo(Visor& w, QString* error);

// Makes Example.sqlite and Example.cub in folder (the program folder while it runs), through the
// cube's own save, with a fixed clock and machine id. The folder must be AppPath().
bool HacerEjemplo(const QString& folder, QString* error);

} // namespace bd::test
