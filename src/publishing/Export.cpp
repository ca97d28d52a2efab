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

QPointer<Export>& theInstance() {
    static QPointer<Export> w;
    return w;
}
} // namespace

Export* Export::instance() {
    if (!theInstance()) theInstance() = new Export;
    return theInstance();
}

bool Export::loaded() {
    return !theInstance().isNull();
}

void Export::unload() {
    if (Export* e = theInstance()) e->close();
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
    auto* fileType = new QGroupBox("File type", this);
    auto* tl = new QVBoxLayout(fileType);
    tl->addWidget(Option1);
    tl->addWidget(Option2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdAceptar);
    buttons->addWidget(cmdCancelar);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(config);
    lay->addWidget(fileType);
    lay->addLayout(buttons);

    connect(cmdAceptar, &QPushButton::clicked, this, &Export::cmdAceptar_Click);
    connect(cmdCancelar, &QPushButton::clicked, this, &Export::cmdCancelar_Click);
    Form_Load();
}

void Export::Form_Load() {
    const QString totals = General::GetSetting("OE", "CUBO", "CHKTOTALES");
    if (!totals.isEmpty()) chkTotales->setChecked(totals.toInt() != 0);
}

void Export::Form_Unload() {
    General::SaveSetting("OE", "CUBO", "CHKTOTALES", chkTotales->isChecked() ? "1" : "0");
}

void Export::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}

void Export::Serve(bd::pivot::PivotTable* dc, const QString& table) {
    Cubo = dc;
    TABLA = table;
    setWindowTitle(kCaption + " " + TABLA);
    bd::os::fitTitle(this);
}

QString Export::ProposedName(const QString& table, const QString& extension) {
    QString name = table;
    name.replace(' ', '_').replace('/', '_');
    return name + "." + extension;
}

bool Export::ExportTo(const QString& path, QString* error) {
    if (!Cubo) {
        *error = QStringLiteral("The cube of this export is no longer open.");
        return false;
    }
    const bool totals = chkTotales->isChecked();
    if (Option1->isChecked()) return Cubo->exportSpreadsheet(path, totals, true, true, true, error);
    if (!Cubo->exportHtml(path, totals, true, true, true, error)) return false;
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
    r.fileName = ProposedName(TABLA, extension);
    r.defaultExt = extension;
    const std::optional<QString> chosen = fileDialogs().choose(r);
    if (!self) return;
    auto fail = [](const QString& why) { MsgBox(why, Buttons::Ok, Icon::Critical, "Export Error"); };
    // The dialog's own cancel error.
    if (!chosen) return fail("Cancel was selected.");
    if (chosen->isEmpty()) return;
    QString error;
    if (!ExportTo(*chosen, &error)) return fail(error);
    if (MsgBox("Do you want to open the file?", Buttons::YesNo, Icon::None, "Open") == Answer::Yes)
        General::AbrirArchivo(*chosen);
}

void Export::cmdCancelar_Click() {
    close();
}

void Export::reject() {
    close();
}
