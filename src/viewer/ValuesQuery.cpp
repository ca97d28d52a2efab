#include "viewer/ValuesQuery.h"

#include "designer/Campos.h"
#include "platform/db/Connection.h"
#include "shell/GeneralDb.h"
#include "shell/InsCube.h"

#include <QVector>

namespace ValuesQuery {
namespace {

// A stretch of SQL text: code, or a quoted text, quoted name or comment.
struct Piece {
    int start, end;
    bool code;
};

// Cuts sql into code and the rest. With backslashEscapes a backslash takes the next character into a
// quoted text, as MySQL reads it; without, only a doubled quote does.
QVector<Piece> pieces(const QString& s, bool backslashEscapes) {
    QVector<Piece> out;
    const int n = int(s.size());
    int codeStart = 0;
    auto other = [&](int from, int to) {
        if (from > codeStart) out.append({codeStart, from, true});
        out.append({from, to, false});
        codeStart = to;
    };
    int i = 0;
    while (i < n) {
        const QChar c = s[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const QChar close = c == '[' ? QChar(']') : c;
            int j = i + 1;
            while (j < n) {
                if (backslashEscapes && c != '[' && c != '`' && s[j] == '\\') {
                    j += 2;
                } else if (s[j] == close) {
                    if (j + 1 < n && s[j + 1] == close && c != '[')
                        j += 2; // doubled: part of the text
                    else
                        break;
                } else {
                    ++j;
                }
            }
            j = std::min(j + 1, n);
            other(i, j);
            i = j;
        } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
            int j = i;
            while (j < n && s[j] != '\n' && s[j] != '\r')
                ++j;
            other(i, j);
            i = j;
        } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            int j = int(s.indexOf(QStringLiteral("*/"), i + 2));
            j = j < 0 ? n : j + 2;
            other(i, j);
            i = j;
        } else {
            ++i;
        }
    }
    if (n > codeStart) out.append({codeStart, n, true});
    return out;
}

// The code of sql with every quoted text, name and comment replaced by one blank.
QString codeOnly(const QString& s, bool backslashEscapes) {
    QString out;
    for (const Piece& p : pieces(s, backslashEscapes))
        out += p.code ? s.mid(p.start, p.end - p.start) : QStringLiteral(" ");
    return out;
}

QStringList words(const QString& code) {
    QStringList out;
    QString w;
    for (const QChar c : code) {
        if (c.isLetterOrNumber() || c == '_') {
            w += c.toUpper();
        } else if (!w.isEmpty()) {
            out << w;
            w.clear();
        }
    }
    if (!w.isEmpty()) out << w;
    return out;
}

// Words that make a statement write, or run something that may.
const QStringList& writingWords() {
    static const QStringList w = {"INSERT",   "UPDATE", "DELETE", "MERGE",  "DROP",    "CREATE",  "ALTER",
                                  "TRUNCATE", "GRANT",  "REVOKE", "EXEC",   "EXECUTE", "CALL",    "INTO",
                                  "ATTACH",   "DETACH", "PRAGMA", "VACUUM", "COPY",    "OUTFILE", "DUMPFILE"};
    return w;
}

QString refusalIn(const QString& sql, bool backslashEscapes) {
    QString code = codeOnly(sql, backslashEscapes);
    // One statement: a ";" only at the very end.
    code = code.trimmed();
    while (code.endsWith(';'))
        code = code.chopped(1).trimmed();
    if (code.contains(';')) return QStringLiteral("The values query must be one statement.");
    const QStringList w = words(code);
    if (w.isEmpty() || w.first() != "SELECT")
        return QStringLiteral("The values query must be a SELECT statement.");
    for (const QString& word : w)
        if (writingWords().contains(word))
            return QStringLiteral("The values query may only read data; it holds %1.").arg(word);
    return {};
}

QString withoutPrefixes(QString entry) {
    for (const char* prefix : {"TBL --> ", "VIEW --> "})
        entry.remove(QLatin1String(prefix), Qt::CaseInsensitive);
    return entry.trimmed();
}

} // namespace

QString UpperOutsideQuotes(const QString& sql) {
    QString out;
    out.reserve(sql.size());
    for (const Piece& p : pieces(sql, false)) {
        const QString part = sql.mid(p.start, p.end - p.start);
        out += p.code ? part.toUpper() : part;
    }
    return out;
}

QString Compose(const QString& tableEntry, const QString& column, const QString& where, const QString& engine,
                const bd::db::Connection* cnn) {
    const QString table = withoutPrefixes(tableEntry);
    const QString field = column.trimmed();
    if (table.isEmpty() || field.isEmpty()) return {};
    QString q = "SELECT DISTINCT " + Campos::SqlTableName(field, engine, cnn) + " FROM " +
                Campos::SqlTableName(table, engine, cnn);
    if (!where.trimmed().isEmpty()) q += "\r\n WHERE " + UpperOutsideQuotes(where);
    return q;
}

QString Refusal(const QString& sql) {
    if (sql.trimmed().isEmpty()) return QStringLiteral("The values query is empty.");
    // Read both ways: a quote escaped by a backslash must not hide a second statement on any engine.
    for (bool backslashEscapes : {false, true})
        if (const QString why = refusalIn(sql, backslashEscapes); !why.isEmpty()) return why;
    return {};
}

bool Read(InsCube& cube, const QString& sql, QStringList* values, QString* error) {
    values->clear();
    error->clear();
    QString text = sql;
    General::LimpiarSQL(text);
    if (const QString why = Refusal(text); !why.isEmpty()) {
        *error = why;
        return false;
    }
    General::AbrirConexion(cube);
    if (!cube.CnnSql || !cube.CnnSql->isOpen()) return false;
    // The data layer runs every query read-only (a read-only transaction on the servers).
    bd::db::Recordset rs;
    bool ok = rs.open(text, *cube.CnnSql, error);
    for (; ok && !rs.eof() && rs.fieldCount() > 0; rs.moveNext()) {
        const QVariant v = rs.value(0);
        if (!v.isNull()) values->append(v.toString()); // a NULL is no entry, and no reason to stop
    }
    if (ok && !rs.lastError().isEmpty()) {
        *error = rs.lastError();
        ok = false;
    }
    return ok;
}

} // namespace ValuesQuery
