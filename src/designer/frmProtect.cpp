#include "designer/frmProtect.h"

#include "designer/Campos.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QFormLayout>
#include <QVBoxLayout>

frmProtect::frmProtect(Campos* vcampos, QWidget* parent) : QDialog(parent), Vcampos(vcampos) {
    setObjectName("frmProtect");
    setWindowTitle("Password");
    txtPass = new QLineEdit(this);
    txtPass->setObjectName("txtPass");
    txtPass->setEchoMode(QLineEdit::Password);
    auto caja = [this](const char* name, const char* caption) {
        auto* c = new QCheckBox(caption, this);
        c->setObjectName(name);
        return c;
    };
    chkPdc = caja("chkPdc", "Protect connection data");
    chkPcSql = caja("chkPcSql", "Protect Sql Query");
    chkPcC = caja("chkPcC", "Protect all information");
    chkAllConfig = caja("chkAllConfig", "Protect report and field configuration");
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    auto* form = new QFormLayout;
    form->addRow("Password", txtPass);
    for (QCheckBox* c : {chkPdc, chkPcSql, chkPcC, chkAllConfig})
        form->addRow(c);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addWidget(cmdAceptar, 0, Qt::AlignRight);
    connect(cmdAceptar, &QPushButton::clicked, this, &frmProtect::cmdAceptar_Click);
    Form_Load();
}

QVector<frmProtect::ProtectionSwitch> frmProtect::switches() const {
    return {{chkPdc, Campos::FilaProtegerConexion},
            {chkPcSql, Campos::FilaProtegerSQL},
            {chkPcC, Campos::FilaPedirPassword},
            {chkAllConfig, Campos::FilaProtegerConfiguracion}};
}

void frmProtect::Form_Load() {
    if (!Vcampos) return;
    if (Vcampos->VinsCube) txtPass->setText(Vcampos->VinsCube->vPass);
    for (const ProtectionSwitch& i : switches()) {
        const QString v = Vcampos->Property(i.row);
        if (v == "1" || v == "0") i.box->setChecked(v == "1");
    }
}

void frmProtect::cmdAceptar_Click() {
    if (Vcampos) {
        if (Vcampos->VinsCube) Vcampos->VinsCube->vPass = txtPass->text();
        bd::grid::Grid& hoja = *Vcampos->spSave;
        hoja.setText(Campos::ColProperty, Campos::FilaPasswordCubo, txtPass->text());
        for (const ProtectionSwitch& i : switches())
            hoja.setText(Campos::ColProperty, i.row, i.box->isChecked() ? "1" : "0");
        if (Vcampos->VCubo) Vcampos->VCubo->Salvar = true;
    }
    Cambio = true;
    accept();
}
