#pragma once
// A viewer, its designer and its cube object over a small SQLite file, wired as the program wires them.
#include "common/TestSupport.h"
#include "designer/Campos.h"
#include "platform/db/Connection.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QPalette>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <gtest/gtest.h>

namespace refreshtest {

inline void runSql(const QString& file, const QStringList& statements) {
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const QString& s : statements)
            ASSERT_TRUE(q.exec(s)) << s.toStdString() << q.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(name);
}

struct TestCube {
    bd::test::TempHome home{false};
    QString dbFile = home.path("cube.sqlite");
    QPointer<Cubo> viewer = new Cubo;
    QPointer<Campos> c = new Campos;
    QPointer<InsCube> cube = new InsCube;

    explicit TestCube(const QStringList& ddl = {}) {
        runSql(dbFile, ddl);
        // The viewer owns its designer and its cube object.
        viewer->VinsCube = cube;
        viewer->Vcampos = c;
        c->VinsCube = cube;
        c->VCubo = viewer;
        connection("Provider=SQLite;Data Source=" + dbFile);
    }
    ~TestCube() { delete viewer.data(); }
    void connection(const QString& cs) {
        cube->CubeConnectionString = cs;
        c->txtConeccion->setPlainText(cs);
    }
    void sql(const QString& q) {
        cube->CubeSqlQuery = q;
        c->txtQuery->setPlainText(q);
    }
    void db(const QStringList& statements) { runSql(dbFile, statements); }
};

inline bool paintedAsError(QWidget* w) {
    return w->palette().color(QPalette::Base) == QColor(0xFF, 0x80, 0x80);
}

} // namespace refreshtest
