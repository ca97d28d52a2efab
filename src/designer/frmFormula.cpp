#include "designer/frmFormula.h"

#include "designer/Campos.h"

#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
const char* const kSimbolos[] = {"*", "/", "+", "-", "( )", "^"};
constexpr int kParentesis = 4;
} // namespace

frmFormula::frmFormula(QWidget* parent) : QDialog(parent) {
    setObjectName("frmFormula");
    setWindowTitle("Calculated Field Editor");
    auto named = [this](QLineEdit* e, const char* name, const char* text) {
        e->setObjectName(name);
        e->setText(text);
        e->installEventFilter(this);
        return e;
    };
    txtId = named(new QLineEdit(this), "txtId", "Calculation_1");
    txtCaption = named(new QLineEdit(this), "txtCaption", "Calculation 1");
    txtFormat = named(new QLineEdit(this), "txtFormat", "");
    txtFormula = named(new QLineEdit(this), "txtFormula", "");
    lstAvailFields = new QListWidget(this);
    lstAvailFields->setObjectName("lstAvailFields");
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdAceptar->setAutoDefault(false);

    auto* simbolos = new QHBoxLayout;
    for (int i = 0; i < int(std::size(kSimbolos)); ++i) {
        auto* b = new QPushButton(kSimbolos[i], this);
        b->setObjectName(QStringLiteral("btnInsMathSymbol_%1").arg(i));
        b->setAutoDefault(false);
        // The selection of the formula must survive the click.
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, [this, i] { btnInsMathSymbol_Click(i); });
        btnInsMathSymbol << b;
        simbolos->addWidget(b);
    }
    auto* form = new QFormLayout;
    form->addRow("Id:", txtId);
    form->addRow("Caption:", txtCaption);
    form->addRow("Format:", txtFormat);
    form->addRow("Formula:", txtFormula);
    form->addRow(QString(), simbolos);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addWidget(new QLabel("(Double-click to insert into formula)", this));
    lay->addWidget(lstAvailFields, 1);
    lay->addWidget(cmdAceptar, 0, Qt::AlignRight);
    connect(cmdAceptar, &QPushButton::clicked, this, &frmFormula::cmdAceptar_Click);
    connect(lstAvailFields, &QListWidget::itemDoubleClicked, this, &frmFormula::lstAvailFields_DblClick);
}

void frmFormula::cmdAceptar_Click() {
    // A measure without an identifier could never be found or overwritten again.
    bool valido = true;
    for (QLineEdit* e : {txtId, txtFormula})
        if (e->text().trimmed().isEmpty()) {
            Campos::PaintBackground(e, Campos::ColorError);
            valido = false;
        }
    if (!valido) return;
    Cambio = true;
    accept();
}

void frmFormula::lstAvailFields_DblClick() {
    QListWidgetItem* it = lstAvailFields->currentItem();
    if (!it) return;
    txtFormula->insert(it->text());
    txtFormula->setFocus();
}

void frmFormula::btnInsMathSymbol_Click(int index) {
    if (index < 0 || index >= int(std::size(kSimbolos))) return;
    if (index == kParentesis) {
        const QString sel = txtFormula->selectedText();
        if (sel.size() >= 2) txtFormula->insert('(' + sel + ')');
    } else {
        txtFormula->insert(kSimbolos[index]);
    }
    txtFormula->setFocus();
}

bool frmFormula::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::FocusIn && (o == txtFormula || o == txtId))
        Campos::PaintBackground(static_cast<QWidget*>(o), Campos::ColorFree);
    return QDialog::eventFilter(o, e);
}
