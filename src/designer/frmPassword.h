#pragma once
// The modal password prompt: the caller clears Pass and txtPass, shows it and compares Pass
// upper-cased with the cube's password. OK (or Enter) sets Pass; the close box leaves it empty.
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

class frmPassword : public QDialog {
    Q_OBJECT
public:
    explicit frmPassword(QWidget* parent = nullptr);

    QString Pass;
    QLineEdit* txtPass;
    QPushButton* cmdAceptar;

    void cmdAceptar_Click();
};
