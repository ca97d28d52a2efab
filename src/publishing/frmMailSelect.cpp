#include "publishing/frmMailSelect.h"

#include "platform/os/AppPath.h"
#include "platform/os/Prompter.h"
#include "shell/GeneralFiles.h"

#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QSaveFile>
#include <QTextStream>
#include <QVBoxLayout>

using bd::os::Buttons;
using bd::os::Icon;
using bd::os::MsgBox;

frmMailSelect::frmMailSelect(QWidget* parent) : QDialog(parent) {
    setObjectName("frmMailSelect");
    setWindowTitle("Select or enter an email address");
    lstMail = new QListWidget(this);
    lstMail->setObjectName("lstMail");
    txtMail = new QLineEdit(this);
    txtMail->setObjectName("txtMail");
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdRemove = new QPushButton("Remove", this);
    cmdRemove->setObjectName("cmdRemove");
    for (QPushButton* b : {cmdAceptar, cmdRemove})
        b->setAutoDefault(false);
    Label1 = new QLabel("Send an email if you have values in this range. To do an list: "
                        "ana@example.com, luis@example.com",
                        this);
    Label1->setObjectName("Label1");
    Label1->setWordWrap(true);
    Label2 = new QLabel("Check your spam folder.", this);
    Label2->setObjectName("Label2");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdRemove);
    buttons->addStretch(1);
    buttons->addWidget(cmdAceptar);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(Label1);
    lay->addWidget(txtMail);
    lay->addWidget(lstMail, 1);
    lay->addWidget(Label2);
    lay->addLayout(buttons);

    connect(cmdAceptar, &QPushButton::clicked, this, &frmMailSelect::cmdAceptar_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmMailSelect::cmdRemove_Click);
    connect(lstMail, &QListWidget::itemClicked, this, &frmMailSelect::lstMail_Click);
    txtMail->installEventFilter(this);
    resize(460, 380);
    Form_Load();
}

QString frmMailSelect::MailsFile() {
    return bd::os::AppPath() + "/mails.txt";
}

void frmMailSelect::Form_Load() {
    const QString path = MailsFile();
    lstMail->clear();
    QFile f(path);
    if (!General::ExisteArchivo(path)) {
        // A first use starts the history; a folder that cannot take it is told at OK.
        if (f.open(QIODevice::WriteOnly)) f.close();
        return;
    }
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return;
    QTextStream in(&f);
    in.setEncoding(QStringConverter::Utf8);
    QString line;
    while (in.readLineInto(&line))
        lstMail->addItem(line);
}

void frmMailSelect::lstMail_Click(QListWidgetItem* item) {
    if (item) txtMail->setText(item->text());
}

bool frmMailSelect::eventFilter(QObject* o, QEvent* e) {
    if (o == txtMail && e->type() == QEvent::KeyPress) {
        const int k = static_cast<QKeyEvent*>(e)->key();
        if (k == Qt::Key_Return || k == Qt::Key_Enter) {
            cmdAceptar_Click();
            return true;
        }
    }
    return QDialog::eventFilter(o, e);
}

void frmMailSelect::cmdAceptar_Click() {
    const QString t = txtMail->text();
    if (!t.isEmpty() && (!t.contains('.') || !t.contains('@'))) {
        MsgBox("Incorrect Email", Buttons::Ok, Icon::Information, "Error");
        return;
    }
    // The window stays while the history cannot be written, so nothing typed is lost.
    if (!SalvarTxt()) return;
    Cambio = true;
    accept();
}

void frmMailSelect::cmdRemove_Click() {
    delete lstMail->takeItem(lstMail->currentRow());
    txtMail->clear();
}

bool frmMailSelect::SalvarTxt() {
    // Typed blanks at either end would make a second entry of an address at the next rewrite.
    const QString typed = txtMail->text().trimmed();
    QString content;
    bool listed = false;
    for (int i = 0; i < lstMail->count(); ++i) {
        const QString entry = lstMail->item(i)->text().trimmed();
        if (!entry.isEmpty()) content += entry + "\r\n";
        if (entry.toUpper() == typed.toUpper()) listed = true;
    }
    if (!typed.isEmpty() && !listed) content += typed + "\r\n";
    QSaveFile f(MailsFile());
    if (f.open(QIODevice::WriteOnly) && f.write(content.toUtf8()) >= 0 && f.commit()) return true;
    MsgBox("The list of addresses could not be saved to " + MailsFile() + ": " + f.errorString() + ".",
           Buttons::Ok, Icon::Information, "Error");
    return false;
}

void frmMailSelect::reject() {
    Cambio = false;
    QDialog::reject();
}

void frmMailSelect::closeEvent(QCloseEvent* e) {
    QDialog::closeEvent(e);
    if (!CancelarUnload) deleteLater();
}
