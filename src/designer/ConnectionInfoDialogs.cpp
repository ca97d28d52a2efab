#include "designer/ConnectionInfoDialogs.h"

#include "designer/NewCubePictures.h"
#include "shell/FrmMain.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
constexpr int kPictureSide = 72;
constexpr int kTextWidth = 420;

// A language text as a label shows it: the file's line breaks are CR LF.
QString languageText(FrmMain* main, const QString& key) {
    return main ? main->GLV(key).replace("\r\n", "\n") : QString();
}
} // namespace

ConnectionInfoDialog::ConnectionInfoDialog(FrmMain* main, QWidget* parent, const QString& name,
                                           const QString& caption, const QString& textKey,
                                           const QString& kind)
    : QDialog(parent) {
    setObjectName(name);
    setWindowTitle(caption);
    picture = new QLabel(this);
    picture->setObjectName("picture");
    picture->setPixmap(newCubePicture(kind, kPictureSide));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    lblGen = new QLabel(languageText(main, textKey), this);
    lblGen->setObjectName("lblGen");
    lblGen->setWordWrap(true);
    lblGen->setFixedWidth(kTextWidth);
    lblGen->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdAceptar = new QPushButton(languageText(main, "cmdAceptar"), this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdAceptar->setDefault(true);
    cmdAceptar->setMinimumWidth(90);

    auto* body = new QHBoxLayout;
    body->setSpacing(16);
    body->addWidget(picture, 0, Qt::AlignTop);
    body->addWidget(lblGen, 1);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(18, 18, 18, 14);
    lay->addLayout(body);
    lay->addSpacing(8);
    lay->addWidget(cmdAceptar, 0, Qt::AlignRight);
    lay->setSizeConstraint(QLayout::SetFixedSize);
    connect(cmdAceptar, &QPushButton::clicked, this, &ConnectionInfoDialog::cmdAceptar_Click);
}

void ConnectionInfoDialog::cmdAceptar_Click() {
    accept();
}

frmSqlCon::frmSqlCon(FrmMain* main, QWidget* parent)
    : ConnectionInfoDialog(main, parent, "frmSqlCon", "Sql Server", "frmSqlCon.lblgen", "MSSQL") {}

frmOracleCon::frmOracleCon(FrmMain* main, QWidget* parent)
    : ConnectionInfoDialog(main, parent, "frmOracleCon", "Oracle", "frmOracleCon.lblgen", "ORACLE") {}

frmMySqlCon::frmMySqlCon(FrmMain* main, QWidget* parent)
    : ConnectionInfoDialog(main, parent, "frmMySqlCon", "MySql", "frmMySqlCon.lblgen", "MYSQL") {}
