#pragma once
// The new-cube chooser, shown modally by the start window: one picture button per kind of data
// source. A file kind asks for the file, a server kind first shows its information dialog; then the
// kind (and the file) go to FrmMain::NuevoCubo. The chooser builds no connection string.
#include "platform/os/Desktop.h"

#include <QDialog>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QToolButton>

class FrmMain;

class FrmNewCube : public QDialog {
    Q_OBJECT
public:
    explicit FrmNewCube(FrmMain& main);

    // File selection for a data-file cube ("ACCESS" or "EXCEL").
    void GetCDOpen(QString& Tipo);
    // A new cube without a file.
    void MostrarNuevoCubo(const QString& Tipo);

    void cmdAccess_Click();
    void cmdExcel_Click();
    void cmdSql_Click();
    void cmdMySql_Click();
    void cmdOracle_Click();
    void cmdOtroTipo_Click();

    QToolButton* cmdAccess;
    QToolButton* cmdExcel;
    QToolButton* cmdSql;
    QToolButton* cmdMySql;
    QToolButton* cmdOracle;
    QToolButton* cmdOtroTipo;
    QLabel* Label1; // the hint of the button under the pointer
    QLabel* lblDatos;
    bd::os::FileDialogRequest CD;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QToolButton* pictureButton(const char* name, const QString& caption, const QString& kind,
                               const QString& hint);
    // Why the chosen file cannot make a cube ("" when it can); read as the new cube will read it.
    QString unusableFileReason(const QString& file, const QString& kind);
    // Hands the cube to the start window and closes the chooser.
    void handOver(const QString& IdCube, const QString& PathMSFile, const QString& Tipo);

    QPointer<FrmMain> main_;
    QHash<QObject*, QString> hints_;
};
