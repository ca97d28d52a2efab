#include "designer/Campos.h"

#include "shell/InsCube.h"

#include <QVBoxLayout>

Campos::Campos(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Campos");
    cmbEngine = new QComboBox(this);
    cmbEngine->addItems({"ACCESS", "EXCEL", "MSSQL", "MYSQL", "ORACLE", "OTHER"});
    cmbEngine->setEditable(true);
    lblCaption = new QLabel(this);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(lblCaption);
    lay->addWidget(cmbEngine);
    lay->addStretch();
    resize(640, 480);
}

void Campos::VerificarMotorDB() {}

bool Campos::HayCampos() const { return fieldCount > 0; }

void Campos::setCaptionFromCube() {
    const QString id = VinsCube ? VinsCube->CubeId : QString();
    setWindowTitle("Cube Designer - " + id);
    lblCaption->setText(id);
}
