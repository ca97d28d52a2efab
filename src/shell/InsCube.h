#pragma once
// One open cube's parameters; the viewer holds it for its lifetime.
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class FrmMain;
class Cubo;
namespace bd::db {
class Connection;
class Recordset;
} // namespace bd::db

class InsCube : public QObject {
    Q_OBJECT
public:
    InsCube();
    ~InsCube() override;

    QString CubeId;
    QString IdExportCube;
    QString CubeSqlQuery;
    QString CubeConnectionString;
    QPointer<FrmMain> Vparent;
    std::unique_ptr<bd::db::Connection> CnnSql;
    std::unique_ptr<bd::db::Recordset> RsSql;
    bool Conectado = false;
    bool NoMostrarErrConeccion = false;
    QString vPass;
    QString PathOpenCube;
    double HDNumber = 0;
    QString DBEngine;
    bool isExample = false;

    // Creates the viewer, lays it out and lets it open or start the cube.
    void ShowCube(bool Abrir, bool CuboEjemplo, const QString& PathCubo, const QString& PathMSFile,
                  const QString& Tipo);

    // The viewer created by ShowCube (it owns this object from then on).
    QPointer<Cubo> viewer;
};
