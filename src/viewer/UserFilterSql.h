#pragma once
// Turns the user-filter rows into an SQL condition and splices it into the cube's query, without
// changing what the query itself selects and without letting a filter value become SQL.
#include "platform/db/SqlText.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

namespace UserFilterSql {

struct Row {
    QString field;     // field name (the cell tag, else the text)
    QString op;        // "=", "Between", "Like", ">", "<"
    QString typeClass; // "ISNUMERIC", "ISTEXT", "ISMEMO", "ISDATE"
    QString from, to;  // "..." = no value
    QString mark;      // "(", ")" or ""
    QString connector; // "And", "Or" or ""
};

// The designer's date and Like settings. FormarFechaSQL fills empty patterns and, through
// fillDelimiter, an empty delimiter; the filled values are written back.
struct Syntax {
    QString likeSeparator = QStringLiteral("%");
    QString dateIndicator = QStringLiteral("'");
    QString dbDateFormat = QStringLiteral("YYYY-MM-DD");
    QString dbHourFormat = QStringLiteral(" HH:MM:SS");
    QString toDateTemplate;
    std::function<void(Syntax&)> fillDelimiter; // the engine's defaults (VerificarMotorDB)
    // How the engine that runs the query reads literals: from the live connection.
    bd::db::SqlDialect dialect;
    // The user's locale: the order of a typed date, the decimal and group separators of a number.
    QLocale locale;
};

struct Result {
    QString sql;
    bool applied = false; // at least one condition went into the query
    QStringList refused;  // one readable sentence per refused value
};

Result AplicarFiltro(const QString& sql, const QVector<Row>& rows, Syntax& syntax);

// The SQL expression behind an output column name of the query (the field itself when none is found).
QString GetNombreCampo(const QString& sql, const QString& field, const bd::db::SqlDialect& d = {});

// A date value as an SQL date literal for the engine's settings; "" when the value is not a date in
// the locale's order or in ISO form (yyyy-MM-dd, with an optional time).
QString FormarFechaSQL(const QString& value, Syntax& syntax);

// A year written with one or two digits, in the 100 years that end in 2029.
int yearOfTwoDigits(int yy);
// A date (and time) as the user types it: in the locale's order of day, month and year (a year of two
// digits as yearOfTwoDigits reads it), with the year first (ISO form), or with a month name and a
// four-digit year; never guessed in another order. Invalid when the text is no such date.
QDateTime parseUserDate(const QString& text, const QLocale& locale = QLocale());

// Parses a number as the user typed it in the locale (thousands and decimal separators); writes it in
// SQL's number form.
bool toSqlNumber(const QString& value, QString* sqlNumber, const QLocale& locale = QLocale());

// ---- literals for the engine that runs the query (also for the value pickers and alerts) ----

// A text as a string literal that selects exactly that text on the dialect: quotes doubled, and
// backslashes where the engine reads them as escapes. False for a text SQL cannot carry (a NUL).
bool textLiteral(const QString& value, const bd::db::SqlDialect& d, QString* literal);
// The right-hand side of "field Like ...": value matched literally (its %, _ and the escape character
// escaped) between the separator on both sides, with the ESCAPE clause when one is needed.
bool likePattern(const QString& value, const QString& separator, const bd::db::SqlDialect& d,
                 QString* pattern);
// A column name as the dialect quotes it.
QString quotedName(const QString& name, const bd::db::SqlDialect& d);

// Parenthesis marks and default connectors of the user-filter grid.
struct MarkRow {
    QString mark;
    QString connector;
    bool orRow = false; // an alternative row added under a base row
    bool connectorLocked = false;
};
void AplicarParentesis(QVector<MarkRow>& rows);

} // namespace UserFilterSql
