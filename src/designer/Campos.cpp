#include "designer/Campos.h"

#include "shell/InsCube.h"

#include <QVBoxLayout>

Campos::Campos(QWidget* parent) : QWidget(parent, Qt::Window), DefinitionGrids(this) {
    setObjectName("Campos");
    cmbEngine = new QComboBox(this);
    cmbEngine->addItems({"ACCESS", "EXCEL", "MSSQL", "MYSQL", "ORACLE", "OTHER"});
    cmbEngine->setEditable(true);
    lblCaption = new QLabel(this);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(lblCaption);
    lay->addWidget(cmbEngine);
    lay->addWidget(spCam);
    lay->addWidget(spCal);
    lay->addWidget(spFil);
    spSave = new bd::grid::Grid(this);
    spSave->setObjectName("spSave");
    spSave->setMaxCols(1);
    spSave->setMaxRows(42);
    spSave->hide();
    resize(640, 480);
}

void Campos::VerificarMotorDB() {}

void Campos::setCaptionFromCube() {
    const QString id = VinsCube ? VinsCube->CubeId : QString();
    setWindowTitle("Cube Designer - " + id);
    lblCaption->setText(id);
}
