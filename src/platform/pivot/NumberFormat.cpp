#include "platform/pivot/NumberFormat.h"

#include <cmath>

namespace bd::pivot {
namespace {

struct Mask {
    QString prefix, suffix;
    int decimals = 0;
    int minInt = 0;
    bool group = false;
    bool percent = false;
    bool valid = false;
};

Mask parseMask(const QString& mask, const QLocale& locale) {
    Mask m;
    const int first = [&] {
        for (int i = 0; i < mask.size(); ++i)
            if (mask[i] == '0' || mask[i] == '#') return i;
        return -1;
    }();
    if (first < 0) return m;
    int last = first;
    for (int i = first; i < mask.size(); ++i) {
        const QChar c = mask[i];
        if (c == '0' || c == '#' || c == '.' || c == ',')
            last = i;
        else
            break;
    }
    while (last > first && mask[last] != '0' && mask[last] != '#')
        --last;
    const QString body = mask.mid(first, last - first + 1);
    m.prefix = mask.left(first);
    m.suffix = mask.mid(last + 1);
    m.percent = m.prefix.contains('%') || m.suffix.contains('%');
    const int dot = body.lastIndexOf('.'), comma = body.lastIndexOf(',');
    QChar dec;
    if (dot >= 0 && comma >= 0)
        dec = dot > comma ? QChar('.') : QChar(',');
    else if (dot >= 0 || comma >= 0) {
        const QChar only = dot >= 0 ? QChar('.') : QChar(',');
        const QString ld = locale.decimalPoint();
        if (!ld.isEmpty() && ld[0] == only)
            dec = only;
        else if (only == '.' && body.count('.') == 1 && !(ld == ","))
            dec = only;
    }
    const int decPos = dec.isNull() ? -1 : body.lastIndexOf(dec);
    const QString intPart = decPos < 0 ? body : body.left(decPos);
    const QString fracPart = decPos < 0 ? QString() : body.mid(decPos + 1);
    const QChar grp = dec == '.'   ? QChar(',')
                      : dec == ',' ? QChar('.')
                                   : (locale.decimalPoint() == "," ? QChar('.') : QChar(','));
    m.group = intPart.contains(grp);
    m.minInt = int(intPart.count('0'));
    m.decimals = int(fracPart.count('0') + fracPart.count('#'));
    m.valid = true;
    return m;
}

} // namespace

QString formatNumber(double v, const QString& mask, const QLocale& locale) {
    if (!std::isfinite(v)) return QString();
    const Mask m = parseMask(mask.trimmed(), locale);
    if (!m.valid) {
        // General number: up to 15 significant digits with the locale's separator.
        QString s = locale.toString(v, 'g', 15);
        return mask.trimmed().isEmpty() ? s : mask;
    }
    if (m.percent) v *= 100;
    // Separators by hand: the locale's grouping rules (minimum grouping digits) would leave
    // four-digit numbers ungrouped in some locales, unlike the masks' meaning.
    QString s = QString::number(std::fabs(v), 'f', m.decimals);
    QString intDigits = s.section('.', 0, 0), frac = s.contains('.') ? s.section('.', 1) : QString();
    if (m.minInt == 0 && intDigits == "0" && !frac.isEmpty()) intDigits.clear();
    while (intDigits.size() < m.minInt)
        intDigits.prepend('0');
    if (m.group)
        for (int i = int(intDigits.size()) - 3; i > 0; i -= 3)
            intDigits.insert(i, locale.groupSeparator());
    s = intDigits + (frac.isEmpty() ? QString() : locale.decimalPoint() + frac);
    bool negative = false; // "-0.00" reads as "0.00"
    if (v < 0)
        for (QChar ch : s)
            if (ch >= '1' && ch <= '9') {
                negative = true;
                break;
            }
    return (negative ? QString("-") : QString()) + m.prefix + s + m.suffix;
}

int maskDecimals(const QString& mask, const QLocale& locale) {
    if (mask.trimmed().isEmpty()) return 2;
    const Mask m = parseMask(mask.trimmed(), locale);
    return m.valid ? m.decimals : 0;
}

int ContarDecimales(const QString& mask, const QString& decimalSeparator) {
    if (mask.isEmpty() || decimalSeparator.isEmpty()) return 0;
    const int at = int(mask.indexOf(decimalSeparator));
    if (at < 0) return 0;
    return int(mask.mid(at).count('0'));
}

} // namespace bd::pivot
