#pragma once
// Turns the user-filter rows into an SQL condition and splices it into the cube's query, without
// changing what the query itself selects and without letting a filter value become SQL.
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
};

struct Result {
    QString sql;
    bool applied = false; // at least one condition went into the query
    QStringList refused;  // one readable sentence per refused value
};

Result AplicarFiltro(const QString& sql, const QVector<Row>& rows, Syntax& syntax);

// The SQL expression behind an output column name of the query (the field itself when none is found).
QString GetNombreCampo(const QString& sql, const QString& field);

// A date value as an SQL date literal for the engine's settings; "" when the value is not a date.
QString FormarFechaSQL(const QString& value, Syntax& syntax);

// Parses a number typed with either decimal separator; writes it in SQL's number form.
bool NumeroSQL(const QString& value, QString* sqlNumber);

// Parenthesis marks and default connectors of the user-filter grid.
struct MarkRow {
    QString mark;
    QString connector;
    bool orRow = false; // an alternative row added under a base row
    bool connectorLocked = false;
};
void AplicarParentesis(QVector<MarkRow>& rows);

} // namespace UserFilterSql
