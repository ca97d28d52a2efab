#pragma once
// Column types of imported sheets and text files, decided from the values as the spreadsheet and
// text drivers decide them: all numbers make a number column (integer when every value is one),
// all dates a date column, all truth values a Boolean one; anything else is text, long text past
// kShortTextLimit characters.
#include <QString>
#include <QStringList>

#include <cstdint>

namespace bd::db::import {

struct ColumnStats {
    bool any = false;
    bool allNumbers = true, allIntegers = true, allInt32 = true;
    bool allDates = true, allBooleans = true;
    uint32_t longestText = 0; // characters

    void addNumber(double v);
    void addInteger(int64_t v);
    void addDate() { any = true, allNumbers = allBooleans = false; }
    void addBoolean() { any = true, allNumbers = allDates = false; }
    void addText(uint32_t chars) {
        any = true, allNumbers = allDates = allBooleans = false;
        if (chars > longestText) longestText = chars;
    }
    void merge(const ColumnStats& o);
    // "INTEGER", "BIGINT", "DOUBLE", "DATE", "BOOLEAN", "VARCHAR(255)" or "MEMO".
    QString declaredType() const;
};

} // namespace bd::db::import

namespace bd::db::import {
// Column names from a header row (HDR=YES) or none: an empty name becomes F1..Fn by position, and a
// repeated one (in any letter case) gets a number.
QStringList uniqueColumnNames(const QStringList& header, int width);
} // namespace bd::db::import
