#include "viewer/frmSelectFormTable.h"

#include "platform/db/Connection.h"
#include "shell/GeneralDb.h"
#include "shell/InsCube.h"
#include "viewer/ValuesQuery.h"

#include <QFormLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {}

frmSelectFormTable::frmSelectFormTable(QWidget* parent) : QDialog(parent) {
    setObjectName("frmSelectFormTable");
    setWindowTitle("From Table");
    cmbTbl = new QComboBox(this);
    cmbTbl->setObjectName("cmbTbl");
    cmbFields = new QComboBox(this);
    cmbFields->setObjectName("cmbFields");
    for (QComboBox* c : {cmbTbl, cmbFields}) {
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
    }
    txtWhere = new QLineEdit(this);
    txtWhere->setObjectName("txtWhere");
    txtSQL = new QPlainTextEdit(this);
    txtSQL->setObjectName("txtSQL");
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdAceptar->setAutoDefault(false);
    auto* form = new QFormLayout;
    form->addRow("Table", cmbTbl);
    form->addRow("Field", cmbFields);
    form->addRow("Where (Optional)", txtWhere);
    form->addRow("SQL Query (Optional)", txtSQL);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addWidget(cmdAceptar, 0, Qt::AlignRight);

    connect(cmbTbl, &QComboBox::editTextChanged, this, &frmSelectFormTable::cmbTbl_Change);
    connect(cmbTbl, &QComboBox::activated, this, &frmSelectFormTable::cmbTbl_Change);
    connect(cmbFields, &QComboBox::activated, this, &frmSelectFormTable::ArmarWhere);
    connect(txtWhere, &QLineEdit::textChanged, this, &frmSelectFormTable::ArmarWhere);
    connect(cmdAceptar, &QPushButton::clicked, this, &frmSelectFormTable::cmdAceptar_Click);
}

// The columns of the table named in the box; the column typed or chosen before stays in the box.
void frmSelectFormTable::cmbTbl_Change() {
    if (!VinsCube) return;
    QString table = cmbTbl->currentText();
    const QString field = cmbFields->currentText();
    const QSignalBlocker quiet(cmbFields);
    General::ListarColumnas(*VinsCube, cmbFields, table);
    cmbFields->setCurrentIndex(-1);
    cmbFields->setEditText(field);
}

void frmSelectFormTable::ArmarWhere() {
    const bd::db::Connection* cnn =
        VinsCube && VinsCube->CnnSql && VinsCube->CnnSql->isOpen() ? VinsCube->CnnSql.get() : nullptr;
    const QString q = ValuesQuery::Compose(cmbTbl->currentText(), cmbFields->currentText(), txtWhere->text(),
                                           VinsCube ? VinsCube->DBEngine : QString(), cnn);
    // Without a table and a column there is no query to compose: what the box holds stays.
    if (!q.isEmpty()) txtSQL->setPlainText(q);
}

void frmSelectFormTable::cmdAceptar_Click() {
    accept();
}
