#pragma once
// The cube viewer window: one per open cube.
#include <QLabel>
#include <QPointer>
#include <QWidget>

class InsCube;
class Campos;

class Cubo : public QWidget {
    Q_OBJECT
public:
    explicit Cubo(QWidget* parent = nullptr);
    ~Cubo() override;

    QPointer<InsCube> VinsCube;
    QPointer<Campos> Vcampos;
    bool Cerrar = false;
    bool Salvar = false;
    bool carradoAutomatico = false;

    void AcomodarPantalla();
    void SeleccionarCampos(bool Abrir = false, bool CuboEjemplo = false, const QString& PathCubo = {},
                           const QString& PathMSFile = {}, const QString& Tipo = {});
    // Opens a cube file ("" = through the open-file dialog).
    bool Abrir(const QString& path);

    QLabel* lblCaption;

protected:
    void closeEvent(QCloseEvent* e) override;
};
