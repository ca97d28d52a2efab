#include "publishing/frmUploadProperties.h"

#include "platform/os/Prompter.h"
#include "publishing/WebView.h"

#include <QClipboard>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>

namespace {
void toClipboard(const QString& text, const QString& notice) {
    if (QClipboard* c = QGuiApplication::clipboard()) {
        c->clear();
        c->setText(text);
    }
    bd::os::MsgBox(notice, bd::os::Buttons::Ok, bd::os::Icon::Information, "Ok");
}
} // namespace

frmUploadProperties::frmUploadProperties(QWidget* parent) : QDialog(parent) {
    setObjectName("frmUploadProperties");
    setWindowTitle("Upload config");
    txtUrl = new QLineEdit(this);
    txtUrl->setObjectName("txtUrl");
    txtUrl->setReadOnly(true);
    chkUpload = new QCheckBox("Upload to web when leaving", this);
    chkUpload->setObjectName("chkUpload");
    txtMailAlert = new QLineEdit(this);
    txtMailAlert->setObjectName("txtMailAlert");
    txtFontPix = new QLineEdit(this);
    txtFontPix->setObjectName("txtFontPix");
    cmdCopyUrl = new QPushButton("Copy url", this);
    cmdCopyUrl->setObjectName("cmdCopyUrl");
    cmdEmbebed = new QPushButton("Embed code", this);
    cmdEmbebed->setObjectName("cmdEmbebed");
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdAceptar->setDefault(true);

    auto* form = new QFormLayout(this);
    auto* url = new QHBoxLayout;
    url->addWidget(txtUrl, 1);
    url->addWidget(cmdCopyUrl);
    url->addWidget(cmdEmbebed);
    form->addRow("Url", url);
    form->addRow(chkUpload);
    form->addRow("Email alert after web update.", txtMailAlert);
    form->addRow("Font Pixels", txtFontPix);
    form->addRow(cmdAceptar);
    resize(560, sizeHint().height());

    connect(cmdAceptar, &QPushButton::clicked, this, &frmUploadProperties::cmdAceptar_Click);
    connect(cmdCopyUrl, &QPushButton::clicked, this, &frmUploadProperties::cmdCopyUrl_Click);
    connect(cmdEmbebed, &QPushButton::clicked, this, &frmUploadProperties::cmdEmbebed_Click);
    connect(txtFontPix, &QLineEdit::editingFinished, this, &frmUploadProperties::txtFontPix_Validate);
}

void frmUploadProperties::cmdAceptar_Click() {
    // OK by the keyboard leaves the box without its check.
    txtFontPix_Validate();
    Cambio = true;
    accept();
}

void frmUploadProperties::cmdCopyUrl_Click() {
    toClipboard(txtUrl->text(), "The url was copied to clipboard");
}

void frmUploadProperties::cmdEmbebed_Click() {
    toClipboard(bd::publishing::EmbedCode(txtUrl->text()), "The embebed code was copied to clipboard");
}

void frmUploadProperties::txtFontPix_Validate() {
    const QString v = bd::publishing::ValidFontPixels(txtFontPix->text());
    if (v != txtFontPix->text()) txtFontPix->setText(v);
}
