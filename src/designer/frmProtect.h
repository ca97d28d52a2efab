#pragma once
// The cube's password and its four protection switches, loaded from and written to the designer's
// property sheet. OK writes them and marks the cube changed; closing the window changes nothing.
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVector>

class Campos;

class frmProtect : public QDialog {
    Q_OBJECT
public:
    explicit frmProtect(Campos* vcampos, QWidget* parent = nullptr);

    QPointer<Campos> Vcampos; // the designer whose cube is protected
    bool Cambio = false;

    QLineEdit* txtPass;
    QCheckBox* chkPdc;       // connection data locked
    QCheckBox* chkPcSql;     // SQL locked
    QCheckBox* chkPcC;       // the password is asked when the cube is opened
    QCheckBox* chkAllConfig; // the password is asked when the designer is shown
    QPushButton* cmdAceptar;

    void Form_Load();
    void cmdAceptar_Click();

private:
    struct ProtectionSwitch {
        QCheckBox* box;
        int row;
    };
    QVector<ProtectionSwitch> switches() const;
};
