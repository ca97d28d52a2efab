#pragma once
// SQL text as the engine that runs it reads it: where literals, quoted names and comments are, whether
// the text is one statement. No SQL is parsed beyond that.
#include <QString>
#include <QVector>

namespace bd::db {

// How the engine behind a live connection reads SQL text (Connection::dialect()).
struct SqlDialect {
    enum Kind { Generic, SQLite, MySql, PostgreSql, SqlServer };
    Kind kind = Generic;
    // A backslash escapes the next character inside string literals: MySQL and MariaDB unless the
    // session has NO_BACKSLASH_ESCAPES, PostgreSQL with standard_conforming_strings off.
    bool backslashEscapes = false;
    bool operator==(const SqlDialect&) const = default;
};

// What each character of a text is.
enum class SqlPart : char {
    Code,
    Literal,      // a string literal, its quotes included
    QuotedName,   // "name", `name`, [name]
    LineComment,  // from "--" (or MySQL's "#") up to, not including, the line break
    BlockComment, // /* ... */
};

// One entry per character of sql.
QVector<SqlPart> scanSql(const QString& sql, const SqlDialect& d = {});

// Line comments removed (their line breaks stay), everything else as it was.
QString removeLineComments(const QString& sql, const SqlDialect& d = {});

// Position of the ";" after which another statement follows, or -1 when the text is at most one
// statement (a final ";", blanks and comments after it are no statement).
int secondStatementAt(const QString& sql, const SqlDialect& d = {});

// The message for a text that holds more than one statement.
QString secondStatementMessage();

// Why a server would not run the text as a read-only query ("" when it would): on MySQL/MariaDB and
// PostgreSQL the statement must be a query (SELECT, WITH, VALUES, TABLE, a bracketed query, or
// SHOW/DESCRIBE/EXPLAIN), since a statement that changes the schema ends a read-only transaction
// on MySQL before it runs; MySQL's SELECT ... INTO OUTFILE/DUMPFILE writes a file and is refused too.
// Other dialects are not judged here.
QString readOnlyProblem(const QString& sql, const SqlDialect& d);

} // namespace bd::db
