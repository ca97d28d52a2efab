#pragma once
// The cube designer window: connection, query and the definition grids of one cube.
#include "designer/DefinitionGrids.h"
#include "platform/grid/Grid.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QWidget>

class InsCube;
class Cubo;

class Campos : public QWidget, public DefinitionGrids {
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

    // The cube property sheet: one setting per row in column 1, never shown.
    QPointer<bd::grid::Grid> spSave;

    void VerificarMotorDB();
    void setCaptionFromCube();
};
