#include "viewer/frmSelectNum.h"

#include "shell/General.h"
#include "shell/GeneralGrid.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace {
constexpr int kInitialMax = 1000; // the slider's span on load: 0 to 1000

QString decimalSeparator() {
    return General::sSepDecimal.isEmpty() ? QString(QLocale().decimalPoint()) : General::sSepDecimal;
}
} // namespace

frmSelectNum::frmSelectNum(QWidget* parent) : QDialog(parent) {
    setObjectName("frmSelectNum");
    setWindowTitle("Select Num Range");
    Label4 = new QLabel("From", this);
    FText = new QLineEdit(this);
    FText->setObjectName("FText");
    lblTo = new QLabel("To", this);
    TText = new QLineEdit(this);
    TText->setObjectName("TText");
    TimeRange = new RangeSlider(this, "TimeRange");
    // Designed with both thumbs at 0.
    TimeRange->setLowerValue(0);
    TimeRange->setUpperValue(0);
    cmdAceptar = new QPushButton("OK", this);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdAceptar->setAutoDefault(false);

    auto* boxes = new QGridLayout;
    boxes->addWidget(Label4, 0, 0);
    boxes->addWidget(FText, 0, 1);
    boxes->addWidget(lblTo, 1, 0);
    boxes->addWidget(TText, 1, 1);
    boxes->setColumnStretch(1, 1);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(boxes);
    lay->addWidget(TimeRange->widget());
    lay->addWidget(cmdAceptar, 0, Qt::AlignRight);

    connect(TimeRange, &RangeSlider::Change, this, &frmSelectNum::TimeRangeChange);
    connect(TimeRange, &RangeSlider::Scroll, this, &frmSelectNum::TimeRangeChange);
    connect(cmdAceptar, &QPushButton::clicked, this, &frmSelectNum::cmdAceptar_Click);
    Form_Load();
}

void frmSelectNum::Form_Load() {
    InitializeNumericField(FText);
    InitializeNumericField(TText);
    if (NoRange) {
        lblTo->hide();
        TText->hide();
    }
    TimeRange->setMin(0);
    TimeRange->setMax(kInitialMax);
}

QString frmSelectNum::ZeroText() const {
    if (CantDecimals < 1) return QStringLiteral("0");
    return "0" + decimalSeparator() + General::RepetirTexto("0", CantDecimals);
}

void frmSelectNum::InitializeNumericFields() {
    InitializeNumericField(FText);
    InitializeNumericField(TText);
}

void frmSelectNum::InitializeNumericField(QLineEdit* box) {
    if (box) box->setText(ZeroText());
}

bool frmSelectNum::ReadNumber(const QString& text, double* value) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    bool ok = false;
    double d = QLocale().toDouble(t, &ok);
    if (!ok) {
        // The program's decimal separator, or a lone comma, as the decimal point.
        QString c = t;
        if (decimalSeparator() != ".") c.replace(decimalSeparator(), ".");
        if (!c.contains('.')) c.replace(',', '.');
        d = QLocale::c().toDouble(c, &ok);
    }
    if (!ok || !std::isfinite(d)) return false;
    *value = d;
    return true;
}

int frmSelectNum::WholeNumber(double value) {
    const double r = std::nearbyint(value);
    if (r <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    if (r >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return int(r);
}

void frmSelectNum::GetRange() {
    if (NoRange) {
        lblTo->hide();
        TText->hide();
        TimeRange->setUpperVisible(false);
        TimeRange->setUpperValue(0);
    }
    // A value of 0 or below, or a text that is no number, leaves the slider as it is.
    double v = 0;
    if (ReadNumber(FText->text(), &v) && v > 0) {
        if (v < TimeRange->Min()) TimeRange->setMin(WholeNumber(v));
        TimeRange->setLowerValue(WholeNumber(v));
    }
    if (!NoRange && ReadNumber(TText->text(), &v) && v > 0) {
        if (v > TimeRange->Max()) TimeRange->setMax(WholeNumber(v));
        TimeRange->setUpperValue(WholeNumber(v));
    }
}

void frmSelectNum::TimeRangeChange() {
    const QString decimales =
        CantDecimals < 1 ? QString() : decimalSeparator() + General::RepetirTexto("0", CantDecimals);
    TText->setText(QString::number(TimeRange->UpperValue()) + decimales);
    FText->setText(QString::number(TimeRange->LowerValue()) + decimales);
}

void frmSelectNum::cmdAceptar_Click() {
    Cambio = true;
    double v = 0;
    for (QLineEdit* box : {FText, TText})
        if (!ReadNumber(box->text(), &v)) InitializeNumericField(box);
    accept();
}
