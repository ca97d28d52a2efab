#pragma once
// The start window and the program's start-up object. Other windows reach it through
// InsCube::Vparent and call NuevoCubo, Terminar, MatarApp, GLV and vEnviarMail.
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

class frmSplash;

class FrmMain : public QWidget {
    Q_OBJECT
public:
    explicit FrmMain(QWidget* parent = nullptr);
    ~FrmMain() override;

    // Runs the load step with the program's command line and enters the event loop.
    static int run(QApplication& app);
    // The start window with its load step run on the program's command line.
    static FrmMain* start(QApplication& app);

    // The load step: splash, machine id, names, separator, registration, charts, language, first cube.
    void Form_Load();

    void NuevoCubo(const QString& IdCube, const QString& Conexion, const QString& Query, bool Abrir = false,
                   bool CuboEjemplo = false, const QString& PathCubo = {}, const QString& PathMSFile = {},
                   const QString& Tipo = {});
    void ComprobarExtension();
    void AbrirCuboInicial();
    static QString LeerArchivo(const QString& path);
    void Terminar();
    // "Open Last" is shown once a last cube is recorded (a cube saved or opened, in this run too).
    void updateOpenLast();
    void MatarApp();
    QString GLV(const QString& ObjectName);
    // One mail through the web mail relay; True when the relay confirmed it, else the reason goes
    // to *error.
    bool vEnviarMail(const QVariant& De, const QVariant& Para, const QVariant& Asunto, const QVariant& Texto,
                     const QVariant& nombreArchivo, const QVariant& DatosArchivo, QString* error = nullptr);

    void cmdNuevoCubo_Click();
    void cmdAbrirCubo_Click();
    void cmdAbrirEjemplo_Click();
    void lblOpenLast_Click();

    // The command line as one text (arguments joined by blanks), as the program received it.
    QString commandLine;

    QPushButton* cmdNuevoCubo;
    QPushButton* cmdAbrirCubo;
    QPushButton* cmdAbrirEjemplo;
    QLabel* lblOpenLast;
    QPointer<frmSplash> splash;

    struct NewCubeArgs {
        QString IdCube, Conexion, Query;
        bool Abrir, CuboEjemplo;
        QString PathCubo, PathMSFile, Tipo;
    };
    // What the start window sets going outside itself: NuevoCubo's cube in a viewer of its own, and
    // the end of the program. Tests give their window a launcher that records instead.
    class Launcher {
    public:
        virtual ~Launcher() = default;
        virtual void openCube(FrmMain& main, const NewCubeArgs& a);
        // Leaves the event loop.
        virtual void quit();
    };
    // Not owned; nullptr restores the real launcher.
    void setLauncher(Launcher* l);

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    Launcher* launcher_;
};
