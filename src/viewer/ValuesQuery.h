#pragma once
// The values query of a text filter: the query that lists the distinct values a user picks from, as
// the "From Table" dialog composes it, and its read-only run over the cube's connection.
#include <QString>
#include <QStringList>

class InsCube;
namespace bd::db {
class Connection;
}

namespace ValuesQuery {

// Upper case for the SQL outside quoted texts, quoted names and comments: 'es' keeps its letters.
QString UpperOutsideQuotes(const QString& sql);

// SELECT DISTINCT of a column of a table or view (a list entry, its "TBL --> " or "VIEW --> " prefix
// removed), both names quoted for the engine as the designer quotes them, and the optional condition
// on a line of its own. "" when the table or the column is missing.
QString Compose(const QString& tableEntry, const QString& column, const QString& where, const QString& engine,
                const bd::db::Connection* cnn);

// Why sql may not run as a values query, "" when it may: it must be one SELECT statement that writes
// nothing.
QString Refusal(const QString& sql);

// Runs the values query over the cube's connection (opened afresh) in a read-only transaction where the
// engine has one: the first column of each row as text, NULLs left out. False with *error set when
// the query was refused or failed; false with an empty *error when there is no connection (the
// connection procedure has told the user).
bool Read(InsCube& cube, const QString& sql, QStringList* values, QString* error);

} // namespace ValuesQuery
