#pragma once
// Number masks as the measure grid stores them ("0,00", "#,##0.00", "0%"): digit placeholders 0 and #,
// a decimal separator, an optional thousands separator, percent, and literal text around the number.
// The mask is written in the user's locale: a single kind of separator that equals the locale's
// decimal separator is the decimal point; with both '.' and ',' present the later one is. The output
// uses the locale's separators.
#include <QLocale>
#include <QString>

namespace bd::pivot {

QString formatNumber(double v, const QString& mask, const QLocale& locale = QLocale());
// Decimals the mask shows (2 for an empty mask, as the chart and alert code expects).
int maskDecimals(const QString& mask, const QLocale& locale = QLocale());
// The count of "0" from the decimal separator on; 0 for an empty mask or one without the separator.
int ContarDecimales(const QString& mask, const QString& decimalSeparator);

} // namespace bd::pivot
