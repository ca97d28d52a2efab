#include "platform/db/SqlText.h"

namespace bd::db {

namespace {

bool wordChar(QChar c) {
    return c.isLetterOrNumber() || c == '_' || c == '$';
}

// Where a literal or quoted name that opens at i ends (one past its closing character). close is
// doubled inside to stand for itself; with escapes a backslash takes the next character along.
int closeAt(const QString& s, int i, QChar close, bool escapes) {
    const int n = int(s.size());
    int j = i + 1;
    while (j < n) {
        if (escapes && s[j] == '\\') {
            j += 2;
            continue;
        }
        if (s[j] == close) {
            if (j + 1 < n && s[j + 1] == close) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return n;
}

// PostgreSQL's $tag$ ... $tag$; -1 when no dollar quote opens at i.
int dollarQuoteEnd(const QString& s, int i) {
    const int n = int(s.size());
    if (i > 0 && wordChar(s[i - 1])) return -1;
    int j = i + 1;
    while (j < n && s[j] != '$') {
        if (!(s[j].isLetter() || s[j] == '_' || (j > i + 1 && s[j].isDigit()))) return -1;
        ++j;
    }
    if (j >= n) return -1;
    const QString tag = s.mid(i, j - i + 1);
    const int end = int(s.indexOf(tag, j + 1));
    return end < 0 ? n : end + int(tag.size());
}

// Where a block comment opening at i ends; PostgreSQL nests them.
int blockCommentEnd(const QString& s, int i, bool nested) {
    const int n = int(s.size());
    int depth = 1;
    int j = i + 2;
    while (j < n) {
        if (nested && s[j] == '/' && j + 1 < n && s[j + 1] == '*') {
            ++depth;
            j += 2;
        } else if (s[j] == '*' && j + 1 < n && s[j + 1] == '/') {
            j += 2;
            if (--depth == 0) return j;
        } else {
            ++j;
        }
    }
    return n;
}

bool lineCommentAt(const QString& s, int i, const SqlDialect& d) {
    const int n = int(s.size());
    if (s[i] == '#') return d.kind == SqlDialect::MySql;
    if (s[i] != '-' || i + 1 >= n || s[i + 1] != '-') return false;
    // MySQL reads "--" as a comment only before a blank or a control character: "a--1" is a - -1.
    if (d.kind == SqlDialect::MySql)
        return i + 2 >= n || s[i + 2].isSpace() || s[i + 2].category() == QChar::Other_Control;
    return true;
}

} // namespace

QVector<SqlPart> scanSql(const QString& s, const SqlDialect& d) {
    const int n = int(s.size());
    QVector<SqlPart> out(n, SqlPart::Code);
    auto mark = [&](int from, int to, SqlPart p) {
        for (int k = from; k < to && k < n; ++k)
            out[k] = p;
    };
    const bool my = d.kind == SqlDialect::MySql, pg = d.kind == SqlDialect::PostgreSql;
    int i = 0;
    while (i < n) {
        const QChar c = s[i];
        int end = -1;
        SqlPart part = SqlPart::Code;
        if (c == '\'') {
            const bool escaped = pg && i > 0 && (s[i - 1] == 'E' || s[i - 1] == 'e') &&
                                 (i < 2 || !wordChar(s[i - 2])); // E'...' always takes escapes
            end = closeAt(s, i, c, d.backslashEscapes || escaped);
            part = SqlPart::Literal;
        } else if (c == '"') {
            end = closeAt(s, i, c, my && d.backslashEscapes);
            part = my ? SqlPart::Literal : SqlPart::QuotedName; // MySQL's "..." is a text
        } else if (c == '`' && (my || d.kind == SqlDialect::SQLite || d.kind == SqlDialect::Generic)) {
            end = closeAt(s, i, c, false);
            part = SqlPart::QuotedName;
        } else if (c == '[' && !my && !pg) {
            end = closeAt(s, i, ']', false);
            part = SqlPart::QuotedName;
        } else if (c == '$' && pg) {
            end = dollarQuoteEnd(s, i);
            part = SqlPart::Literal;
        } else if (lineCommentAt(s, i, d)) {
            end = i;
            while (end < n && s[end] != '\n' && s[end] != '\r')
                ++end;
            part = SqlPart::LineComment;
        } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            // MySQL runs what stands in /*! ... */: that is code.
            if (!(my && i + 2 < n && (s[i + 2] == '!' || s[i + 2] == 'M'))) {
                end = blockCommentEnd(s, i, pg);
                part = SqlPart::BlockComment;
            }
        }
        if (end > i) {
            mark(i, end, part);
            i = end;
        } else {
            ++i;
        }
    }
    return out;
}

QString removeLineComments(const QString& sql, const SqlDialect& d) {
    const QVector<SqlPart> parts = scanSql(sql, d);
    QString out;
    out.reserve(sql.size());
    for (int i = 0; i < sql.size(); ++i)
        if (parts[i] != SqlPart::LineComment) out += sql[i];
    return out;
}

int secondStatementAt(const QString& sql, const SqlDialect& d) {
    const QVector<SqlPart> parts = scanSql(sql, d);
    int semicolon = -1;
    for (int i = 0; i < sql.size(); ++i) {
        if (parts[i] == SqlPart::LineComment || parts[i] == SqlPart::BlockComment) continue;
        const QChar c = sql[i];
        if (parts[i] == SqlPart::Code && c == ';') {
            if (semicolon < 0) semicolon = i;
            continue;
        }
        if (c.isSpace()) continue;
        if (semicolon >= 0) return semicolon;
    }
    return -1;
}

namespace {
// The words of the code (outside literals, names and comments), upper-cased; "(" counts as a word.
QStringList codeWords(const QString& sql, const SqlDialect& d) {
    const QVector<SqlPart> parts = scanSql(sql, d);
    QStringList words;
    QString w;
    auto flush = [&] {
        if (!w.isEmpty()) words << w.toUpper();
        w.clear();
    };
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (parts[i] == SqlPart::Code && (c.isLetterOrNumber() || c == '_')) {
            w += c;
            continue;
        }
        flush();
        if (parts[i] == SqlPart::Code && c == '(')
            words << QStringLiteral("(");
        else if (parts[i] != SqlPart::Code && parts[i] != SqlPart::LineComment &&
                 parts[i] != SqlPart::BlockComment && (words.isEmpty() || words.last() != "'"))
            words << QStringLiteral("'"); // a literal or a quoted name
    }
    flush();
    return words;
}
} // namespace

QString readOnlyProblem(const QString& sql, const SqlDialect& d) {
    const bool my = d.kind == SqlDialect::MySql;
    if (!my && d.kind != SqlDialect::PostgreSql) return {};
    const QStringList words = codeWords(sql, d);
    static const QStringList queries = {"SELECT", "WITH", "VALUES", "TABLE", "(", "SHOW", "EXPLAIN"};
    static const QStringList mysqlOnly = {"DESCRIBE", "DESC"};
    const QString first = words.value(0);
    if (!queries.contains(first) && !(my && mysqlOnly.contains(first)))
        return QStringLiteral("The query may only read data: a cube runs a SELECT statement, not %1.")
            .arg(first.isEmpty() || first == "'" ? QStringLiteral("this text") : first);
    if (my)
        for (int i = 0; i + 1 < words.size(); ++i)
            if (words[i] == "INTO" && (words[i + 1] == "OUTFILE" || words[i + 1] == "DUMPFILE"))
                return QStringLiteral("The query may only read data: SELECT ... INTO %1 writes a file.")
                    .arg(words[i + 1]);
    return {};
}

QString secondStatementMessage() {
    return QStringLiteral("The query holds more than one statement; a cube runs one SELECT statement only.");
}

} // namespace bd::db
