#include "publishing/Export.h"

#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"
#include "platform/os/WindowTitle.h"
#include "platform/pivot/PivotTable.h"
#include "shell/General.h"
#include "shell/GeneralFiles.h"
#include "shell/GeneralHtml.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
const QString kCaption = QStringLiteral("Export");

QPointer<Export>& laInstancia() {
    static QPointer<Export> w;
    return w;
}
} // namespace

Export* Export::instance() {
    if (!laInstancia()) laInstancia() = new Export;
    return laInstancia();
}

bool Export::loaded() {
    return !laInstancia().isNull();
}

void Export::unload() {
    if (Export* e = laInstancia()) e->close();
}

Export::Export(QWidget* parent) : QDialog(parent) {
    setObjectName("Export");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kCaption);
    chkTotales = new QCheckBox("Include totals", this);
    chkTotales->setObjectName("chkTotales");
    Option1 = new QRadioButton("Excel", this);
    Option1->setObjectName("Option1");
    Option1->setChecked(true);
    Option2 = new QRadioButton("Html", this);
    Option2->setObjectName("Option2");
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdCancelar = new QPushButton("Cancel", this);
    cmdCancelar->setObjectName("cmdCancelar");

    auto* config = new QGroupBox("Config", this);
    (new QVBoxLayout(config))->addWidget(chkTotales);
    auto* tipo = new QGroupBox("File type", this);
    auto* tl = new QVBoxLayout(tipo);
    tl->addWidget(Option1);
    tl->addWidget(Option2);
    auto* botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(cmdAceptar);
    botones->addWidget(cmdCancelar);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(config);
    lay->addWidget(tipo);
    lay->addLayout(botones);

    connect(cmdAceptar, &QPushButton::clicked, this, &Export::cmdAceptar_Click);
    connect(cmdCancelar, &QPushButton::clicked, this, &Export::cmdCancelar_Click);
    Form_Load();
}

void Export::Form_Load() {
    const QString totales = General::GetSetting("OE", "CUBO", "CHKTOTALES");
    if (!totales.isEmpty()) chkTotales->setChecked(totales.toInt() != 0);
}

void Export::Form_Unload() {
    General::SaveSetting("OE", "CUBO", "CHKTOTALES", chkTotales->isChecked() ? "1" : "0");
}

void Export::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}

void Export::Servir(bd::pivot::PivotTable* dc, const QString& tabla) {
    Cubo = dc;
    TABLA = tabla;
    setWindowTitle(kCaption + " " + TABLA);
    bd::os::fitTitle(this);
}

QString Export::NombrePropuesto(const QString& tabla, const QString& extension) {
    QString nombre = tabla;
    nombre.replace(' ', '_').replace('/', '_');
    return nombre + "." + extension;
}

bool Export::Exportar(const QString& path, QString* error) {
    if (!Cubo) {
        *error = QStringLiteral("The cube of this export is no longer open.");
        return false;
    }
    const bool totales = chkTotales->isChecked();
    if (Option1->isChecked()) return Cubo->exportSpreadsheet(path, totales, true, true, true, error);
    if (!Cubo->exportHtml(path, totales, true, true, true, error)) return false;
    General::AjustarHTML(path, QString());
    return true;
}

void Export::cmdAceptar_Click() {
    using namespace bd::os;
    const QPointer<Export> self(this);
    const QString extension = Option1->isChecked() ? QStringLiteral("xls") : QStringLiteral("html");
    FileDialogRequest r;
    r.save = true;
    r.owner = this;
    r.fileName = NombrePropuesto(TABLA, extension);
    r.defaultExt = extension;
    const std::optional<QString> elegido = fileDialogs().choose(r);
    if (!self) return;
    auto fallo = [](const QString& why) { MsgBox(why, Buttons::Ok, Icon::Critical, "Export Error"); };
    // The dialog's own cancel error.
    if (!elegido) return fallo("Cancel was selected.");
    if (elegido->isEmpty()) return;
    QString error;
    if (!Exportar(*elegido, &error)) return fallo(error);
    if (MsgBox("Do you want to open the file?", Buttons::YesNo, Icon::None, "Open") == Answer::Yes)
        General::AbrirArchivo(*elegido);
}

void Export::cmdCancelar_Click() {
    close();
}

void Export::reject() {
    close();
}
