#include "designer/frmFieldProperties.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

frmFieldProperties::frmFieldProperties(QWidget* parent) : QDialog(parent) {
    setObjectName("frmFieldProperties");
    setWindowTitle("Field Properties");
    auto named = [](QLineEdit* e, const char* name) {
        e->setObjectName(name);
        return e;
    };
    txtId = named(new QLineEdit(this), "txtId");
    txtId->setReadOnly(true);
    txtCaption = named(new QLineEdit(this), "txtCaption");
    txtFormat = named(new QLineEdit(this), "txtFormat");
    txtType = named(new QLineEdit(this), "txtType");
    txtType->setReadOnly(true);
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdChartProperties = new QPushButton("   Chart Properties", this);
    cmdChartProperties->setObjectName("cmdChartProperties");
    cmdChartProperties->hide();
    for (QPushButton* b : {cmdAceptar, cmdChartProperties})
        b->setAutoDefault(false);
    lblFormat_ = new QLabel("Format:", this);
    lblFormatHint_ = new QLabel("Use 0 for no decimal places ", this);

    auto* form = new QFormLayout;
    form->addRow(txtId);
    form->addRow("Caption:", txtCaption);
    form->addRow(lblFormat_, txtFormat);
    form->addRow(QString(), lblFormatHint_);
    form->addRow("Type:", txtType);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdChartProperties);
    buttons->addStretch(1);
    buttons->addWidget(cmdAceptar);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addLayout(buttons);
    connect(cmdAceptar, &QPushButton::clicked, this, &frmFieldProperties::cmdAceptar_Click);
    connect(cmdChartProperties, &QPushButton::clicked, this, &frmFieldProperties::cmdChartProperties_Click);
}

void frmFieldProperties::HideFormat() {
    for (QWidget* w : std::initializer_list<QWidget*>{txtFormat, lblFormat_, lblFormatHint_})
        w->hide();
}

void frmFieldProperties::cmdAceptar_Click() {
    Cambio = true;
    accept();
}

// Closes without Cambio: the caption and format are not written back.
void frmFieldProperties::cmdChartProperties_Click() {
    done(ChartRequested);
}
