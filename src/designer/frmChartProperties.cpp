#include "designer/frmChartProperties.h"

#include "shell/General.h"

#include <QEvent>
#include <QFocusEvent>
#include <QFormLayout>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {
const QString kDefault = QStringLiteral("Default");
}

frmChartProperties::frmChartProperties(QWidget* parent) : QDialog(parent) {
    setObjectName("frmChartProperties");
    setWindowTitle("Chart Properties");
    auto caja = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        return e;
    };
    cmbTypeGraph = new QComboBox(this);
    cmbTypeGraph->setObjectName("cmbTypeGraph");
    cmbTypeGraph->setEditable(true);
    cmbTypeGraph->setInsertPolicy(QComboBox::NoInsert);
    txtTitle = caja("txtTitle");
    txtSubTitle = caja("txtSubTitle");
    txtxAxis = caja("txtxAxis");
    txtyAxis = caja("txtyAxis");
    txtMaxChar = caja("txtMaxChar");
    txtAutohide = caja("txtAutohide");
    txtResultLimit = caja("txtResultLimit");
    chkDrawTotals = new QCheckBox("Draw Totals", this);
    chkDrawTotals->setObjectName("chkDrawTotals");
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdAceptar->setAutoDefault(false);

    auto* form = new QFormLayout;
    form->addRow("Type:", cmbTypeGraph);
    form->addRow("Title:", txtTitle);
    form->addRow("Sub Title:", txtSubTitle);
    form->addRow("xAxisName:", txtxAxis);
    form->addRow("yAxisName:", txtyAxis);
    form->addRow("Max Label Caracters:", txtMaxChar);
    form->addRow("Auto hide Labels After:", txtAutohide);
    form->addRow("Chart Results Limit:", txtResultLimit);
    form->addRow(chkDrawTotals);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addWidget(cmdAceptar, 0, Qt::AlignRight);
    connect(cmdAceptar, &QPushButton::clicked, this, &frmChartProperties::cmdAceptar_Click);
    txtMaxChar->installEventFilter(this);

    General::CargarTiposGrafico();
    cmbTypeGraph->addItems(General::colNombreGrafico.values());
    cmbTypeGraph->setCurrentIndex(-1);
    cmbTypeGraph->setEditText(kDefault);
}

bool frmChartProperties::isQuantity(const QString& text) {
    static const QRegularExpression digitos(QStringLiteral("^\\d+$"));
    return digitos.match(text.trimmed()).hasMatch();
}

void frmChartProperties::cmdAceptar_Click() {
    for (QLineEdit* e : {txtMaxChar, txtAutohide, txtResultLimit})
        e->setText(isQuantity(e->text()) ? e->text().trimmed() : QString());
    const QString tipo = cmbTypeGraph->currentText();
    // "Default" and names the list does not hold leave the chart page's own choice.
    if (tipo == kDefault || cmbTypeGraph->findText(tipo, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        cmbTypeGraph->setEditText(QString());
    Cambio = true;
    accept();
}

void frmChartProperties::txtMaxChar_LostFocus() {
    if (!isQuantity(txtMaxChar->text())) txtMaxChar->setText("0");
}

bool frmChartProperties::eventFilter(QObject* o, QEvent* e) {
    if (o == txtMaxChar && e->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(e)->reason() != Qt::ActiveWindowFocusReason)
        txtMaxChar_LostFocus();
    return QDialog::eventFilter(o, e);
}
