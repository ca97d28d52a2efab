#include "platform/db/import/ImportTypes.h"

#include "platform/db/AdoTypes.h"

#include <algorithm>
#include <cmath>

namespace bd::db::import {

namespace {
constexpr double kInt32Max = 2147483647.0;
constexpr double kInt64Safe = 9.2e18;
} // namespace

void ColumnStats::addNumber(double v) {
    any = true, allDates = allBooleans = false;
    if (std::floor(v) != v || std::fabs(v) > kInt64Safe)
        allIntegers = allInt32 = false;
    else if (std::fabs(v) > kInt32Max)
        allInt32 = false;
}

void ColumnStats::addInteger(int64_t v) {
    any = true, allDates = allBooleans = false;
    if (v > int64_t(kInt32Max) || v < -int64_t(kInt32Max)) allInt32 = false;
}

void ColumnStats::merge(const ColumnStats& o) {
    any = any || o.any;
    allNumbers = allNumbers && o.allNumbers;
    allIntegers = allIntegers && o.allIntegers;
    allInt32 = allInt32 && o.allInt32;
    allDates = allDates && o.allDates;
    allBooleans = allBooleans && o.allBooleans;
    longestText = std::max(longestText, o.longestText);
}

QString ColumnStats::declaredType() const {
    if (!any) return QStringLiteral("VARCHAR(255)");
    if (allNumbers)
        return allInt32      ? QStringLiteral("INTEGER")
               : allIntegers ? QStringLiteral("BIGINT")
                             : QStringLiteral("DOUBLE");
    if (allDates) return QStringLiteral("DATE");
    if (allBooleans) return QStringLiteral("BOOLEAN");
    return longestText > uint32_t(kShortTextLimit) ? QStringLiteral("MEMO") : QStringLiteral("VARCHAR(255)");
}

} // namespace bd::db::import

namespace bd::db::import {
QStringList uniqueColumnNames(const QStringList& header, int width) {
    QStringList names;
    QStringList seen;
    for (int c = 0; c < width; ++c) {
        QString n = header.value(c).trimmed();
        if (n.isEmpty()) n = QStringLiteral("F%1").arg(c + 1);
        QString unique = n;
        for (int k = 1; seen.contains(unique.toUpper()); ++k)
            unique = n + QString::number(k);
        seen << unique.toUpper();
        names << unique;
    }
    return names;
}
} // namespace bd::db::import
