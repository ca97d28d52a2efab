#include "designer/frmPassword.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

frmPassword::frmPassword(QWidget* parent) : QDialog(parent) {
    setObjectName("frmPassword");
    setWindowTitle("Password");
    txtPass = new QLineEdit(this);
    txtPass->setObjectName("txtPass");
    txtPass->setEchoMode(QLineEdit::Password);
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdAceptar->setDefault(true); // Return anywhere in the dialog confirms
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Password", this));
    row->addWidget(txtPass, 1);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(row);
    lay->addWidget(cmdAceptar, 0, Qt::AlignRight);
    connect(cmdAceptar, &QPushButton::clicked, this, &frmPassword::cmdAceptar_Click);
}

void frmPassword::cmdAceptar_Click() {
    Pass = txtPass->text();
    accept();
}
