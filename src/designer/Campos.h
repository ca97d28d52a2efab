#pragma once
// The cube designer window: connection, query and the definition grids of one cube.
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QWidget>

class InsCube;
class Cubo;

class Campos : public QWidget {
    Q_OBJECT
public:
    explicit Campos(QWidget* parent = nullptr);

    QPointer<InsCube> VinsCube;
    QPointer<Cubo> VCubo;
    bool Recarga = false;
    bool CerrarEnUnload = false;
    bool OpenConnectionDialog = false;

    QComboBox* cmbEngine;
    QLabel* lblCaption;

    void VerificarMotorDB();
    // True when the field grid holds at least one field.
    bool HayCampos() const;
    void setCaptionFromCube();

    // Number of fields known (filled by the field discovery).
    int fieldCount = 0;
};
