#include "viewer/UserFilterSql.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>

namespace UserFilterSql {
namespace {

// Upper case and blanks for every kind of white space, one character for one: positions found in the
// copy are positions in the original text.
QString searchCopy(const QString& s) {
    QString u(s.size(), QChar());
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        u[i] = c.isSpace() ? QChar(' ') : c.toUpper();
    }
    return u;
}

// Which characters are SQL code (outside literals, quoted names and comments) and at which
// parenthesis depth each stands.
struct Scan {
    QVector<bool> code;
    QVector<int> depth;
};

Scan scan(const QString& s) {
    Scan r;
    r.code.resize(s.size());
    r.depth.resize(s.size());
    int depth = 0;
    int i = 0;
    const int n = s.size();
    auto mark = [&](int from, int to, bool code) {
        for (int k = from; k < to && k < n; ++k) {
            r.code[k] = code;
            r.depth[k] = depth;
        }
    };
    while (i < n) {
        const QChar c = s[i];
        auto closeQuoted = [&](QChar close) {
            int j = i + 1;
            while (j < n) {
                if (s[j] == close) {
                    if (j + 1 < n && s[j + 1] == close)
                        j += 2; // doubled: part of the text
                    else
                        break;
                } else
                    ++j;
            }
            mark(i, j + 1, false);
            i = j + 1;
        };
        if (c == '\'')
            closeQuoted('\'');
        else if (c == '"')
            closeQuoted('"');
        else if (c == '`')
            closeQuoted('`');
        else if (c == '[')
            closeQuoted(']');
        else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
            int j = i;
            while (j < n && s[j] != '\n' && s[j] != '\r')
                ++j;
            mark(i, j, false);
            i = j;
        } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            int j = s.indexOf("*/", i + 2);
            j = j < 0 ? n : j + 2;
            mark(i, j, false);
            i = j;
        } else {
            if (c == ')') depth = std::max(0, depth - 1);
            mark(i, i + 1, true);
            if (c == '(') ++depth;
            ++i;
        }
    }
    return r;
}

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == '_' || c == '$' || c == '#' || c == '@';
}

// Is the keyword (one or more words separated by blanks in kw) at position i, at top level, as whole words?
int keywordAt(const QString& u, const Scan& sc, int i, const QStringList& words) {
    int p = i;
    if (p > 0 && isWordChar(u[p - 1])) return -1;
    for (int w = 0; w < words.size(); ++w) {
        if (w > 0) {
            const int start = p;
            while (p < u.size() && u[p] == ' ' && sc.code[p])
                ++p;
            if (p == start) return -1;
        }
        const QString& word = words[w];
        if (u.mid(p, word.size()) != word) return -1;
        for (int k = p; k < p + word.size(); ++k)
            if (!sc.code[k] || sc.depth[k] != 0) return -1;
        p += word.size();
    }
    if (p < u.size() && isWordChar(u[p])) return -1;
    return p;
}

QVector<int> topLevelKeyword(const QString& u, const Scan& sc, const QString& kw, int from = 0) {
    QVector<int> hits;
    const QStringList words = kw.split(' ');
    for (int i = u.indexOf(words[0], from); i >= 0; i = u.indexOf(words[0], i + 1))
        if (keywordAt(u, sc, i, words) >= 0) hits << i;
    return hits;
}

// The first top-level clause that ends a WHERE condition (or where a missing WHERE goes).
int clauseEnd(const QString& u, const Scan& sc, int from) {
    int best = u.size();
    for (const char* kw : {"GROUP BY", "HAVING", "ORDER BY", "LIMIT", "UNION", "EXCEPT", "INTERSECT"}) {
        const QVector<int> hits = topLevelKeyword(u, sc, QString::fromLatin1(kw), from);
        if (!hits.isEmpty()) best = std::min(best, hits.first());
    }
    return best;
}

QString quoted(const QString& s) {
    QString e = s;
    e.replace('\'', "''");
    return '\'' + e + '\'';
}

QString trimBlanks(QString s) {
    int a = 0, b = s.size();
    while (a < b && s[a] == ' ')
        ++a;
    while (b > a && s[b - 1] == ' ')
        --b;
    return s.mid(a, b - a);
}

QString normalOperator(const QString& op) {
    for (const char* known : {"=", "Between", "Like", ">", "<"})
        if (op.trimmed().compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(known);
    return QString();
}

QDateTime parseDate(const QString& text) {
    const QString v = text.trimmed();
    if (v.isEmpty()) return {};
    const QLocale loc = QLocale::system();
    QDateTime dt;
    for (QLocale::FormatType f : {QLocale::ShortFormat, QLocale::LongFormat}) {
        dt = loc.toDateTime(v, f);
        if (dt.isValid()) return dt;
        const QDate d = loc.toDate(v, f);
        if (d.isValid()) return QDateTime(d, QTime(0, 0));
    }
    dt = QDateTime::fromString(v, Qt::ISODate);
    if (dt.isValid()) return dt;
    static const char* dateFormats[] = {"yyyy-MM-dd", "d/M/yyyy", "d.M.yyyy", "d-M-yyyy", "yyyy/M/d"};
    static const char* timeFormats[] = {"", " H:mm:ss", " H:mm"};
    for (const char* df : dateFormats)
        for (const char* tf : timeFormats) {
            dt = QDateTime::fromString(v, QString::fromLatin1(df) + QString::fromLatin1(tf));
            if (dt.isValid()) return dt;
        }
    return {};
}

QString two(int v) {
    return QString::number(v).rightJustified(2, '0');
}

} // namespace

bool NumeroSQL(const QString& value, QString* sqlNumber) {
    QString v = value.trimmed();
    v.remove(' ');
    if (v.isEmpty()) return false;
    bool ok = false;
    // Whole numbers keep every digit.
    const qlonglong whole = v.toLongLong(&ok);
    if (ok) {
        *sqlNumber = QString::number(whole);
        return true;
    }
    double d = 0;
    if (!v.contains('.') || !v.contains(',')) {
        QString c = v;
        c.replace(',', '.');
        d = QLocale::c().toDouble(c, &ok);
    }
    if (!ok) d = QLocale::system().toDouble(v, &ok);
    if (!ok || !std::isfinite(d)) return false;
    *sqlNumber = QString::number(d, 'g', QLocale::FloatingPointShortest);
    return true;
}

QString FormarFechaSQL(const QString& value, Syntax& syntax) {
    const QDateTime dt = parseDate(value);
    if (!dt.isValid()) return QString();
    if (syntax.dateIndicator.isEmpty() && syntax.fillDelimiter) syntax.fillDelimiter(syntax);
    const QString D = syntax.dateIndicator;
    if (syntax.dbDateFormat.isEmpty()) syntax.dbDateFormat = "YYYY-MM-DD";
    const QString P = syntax.dbDateFormat.toUpper();
    if (syntax.dbHourFormat.isEmpty()) syntax.dbHourFormat = "HH:MM:SS";
    const QString H = syntax.dbHourFormat.toUpper();
    const bool shortYear = !P.contains("YYYY") && P.contains("YY");
    const QDate d = dt.date();
    const QTime t = dt.time();
    const QString year = shortYear ? QString::number(d.year()).rightJustified(4, '0').right(2)
                                   : QString::number(d.year()).rightJustified(4, '0');
    const bool withTime = t.hour() != 0 || t.minute() != 0 || t.second() != 0;
    QString date = P;
    date.replace(shortYear ? "YY" : "YYYY", year).replace("MM", two(d.month())).replace("DD", two(d.day()));
    QString time = H;
    if (withTime)
        time.replace("HH", two(t.hour())).replace("MM", two(t.minute())).replace("SS", two(t.second()));
    if (!syntax.toDateTemplate.isEmpty()) {
        QString T = syntax.toDateTemplate;
        T.replace("DB DATE FORMAT", withTime ? P + " " + H : P);
        T.replace("<FIELD>", withTime ? date + " " + time : date);
        return T;
    }
    return withTime ? D + date + " " + time + D : D + date + D;
}

QString GetNombreCampo(const QString& sql, const QString& field) {
    const QString U = searchCopy(sql);
    const QString F = searchCopy(field.trimmed());
    if (F.isEmpty()) return field;
    const Scan sc = scan(sql);
    // Only the select list names output columns: stop at the first top-level FROM.
    const QVector<int> froms = topLevelKeyword(U, sc, "FROM");
    const int limit = froms.isEmpty() ? U.size() : froms.first();
    const QStringList asPatterns = {" AS " + F + " ",  " AS " + F + ",",    " AS [" + F + "]",
                                    " AS '" + F + "'", " AS \"" + F + "\"", " AS `" + F + "`"};
    for (const QString& pat : asPatterns) {
        for (int p = U.indexOf(pat); p >= 0 && p < limit; p = U.indexOf(pat, p + 1)) {
            if (!sc.code[p + 1] || sc.depth[p + 1] != 0) continue;
            // Back to the top-level comma, SELECT or DISTINCT that starts the expression.
            int start = 0;
            for (int i = p - 1; i >= 0; --i) {
                if (!sc.code[i] || sc.depth[i] != 0) continue;
                if (U[i] == ',') {
                    start = i + 1;
                    break;
                }
                bool stop = false;
                for (const char* kw : {"SELECT", "DISTINCT", "ALL"}) {
                    const int len = int(qstrlen(kw));
                    const int k = i - len + 1;
                    if (k >= 0 && keywordAt(U, sc, k, {QString::fromLatin1(kw)}) == i + 1) {
                        start = i + 1;
                        stop = true;
                        break;
                    }
                }
                if (stop) break;
            }
            const QString expr = sql.mid(start, p - start).trimmed();
            if (!expr.isEmpty()) return expr;
        }
    }
    for (const QString& pat : {"." + F + " ", "." + F + ","}) {
        for (int p = U.indexOf(pat); p >= 0 && p < limit; p = U.indexOf(pat, p + 1)) {
            if (!sc.code[p] || sc.depth[p] != 0) continue;
            int start = p;
            while (start > 0 && U[start - 1] != ' ' && U[start - 1] != ',' && U[start - 1] != '(')
                --start;
            return sql.mid(start, p - start + 1 + F.size());
        }
    }
    return field.trimmed();
}

Result AplicarFiltro(const QString& sql, const QVector<Row>& rows, Syntax& syntax) {
    Result res;
    res.sql = sql;
    QString filter;
    bool open = false;
    QStringList appliedConnectors; // of the rows that went into the filter, in order
    for (const Row& r : rows) {
        QString connector = r.connector.trimmed();
        if (!connector.isEmpty())
            connector = connector.compare("Or", Qt::CaseInsensitive) == 0 ? QStringLiteral(" Or ")
                                                                          : QStringLiteral(" And ");
        QString v1 = r.from == "..." ? QString() : r.from;
        QString v2 = r.to == "..." ? QString() : r.to;
        QString mark = r.mark.trimmed();
        if (mark != "(" && mark != ")") mark.clear();
        if (mark == ")" && !open) mark.clear();
        QString op = normalOperator(r.op);
        if (op == "Between" && !v1.isEmpty() && v2.isEmpty()) op = "=";
        if (v1.isEmpty()) continue;
        const QString fieldName = r.field.trimmed();
        if (op.isEmpty()) {
            res.refused
                << QStringLiteral(
                       "The operator \"%1\" of the filter on %2 is not known: the filter is not applied.")
                       .arg(r.op, fieldName);
            continue;
        }
        const QString cls = r.typeClass.trimmed().toUpper();
        QString s1, s2;
        if (cls == "ISNUMERIC") {
            if (op == "Like") op = "=";
            if (!NumeroSQL(v1, &s1) || (!v2.isEmpty() && !NumeroSQL(v2, &s2))) {
                res.refused
                    << QStringLiteral(
                           "The value \"%1\" of the filter on %2 is not a number: the filter is not applied.")
                           .arg(NumeroSQL(v1, &s1) ? v2 : v1, fieldName);
                continue;
            }
        } else if (cls == "ISTEXT" || cls == "ISMEMO") {
            s1 = op == "Like" ? quoted(syntax.likeSeparator + v1 + syntax.likeSeparator) : quoted(v1);
            if (!v2.isEmpty()) s2 = quoted(v2);
        } else if (cls == "ISDATE") {
            s1 = FormarFechaSQL(v1, syntax);
            if (!v2.isEmpty()) s2 = FormarFechaSQL(v2, syntax);
            if (s1.isEmpty() || (!v2.isEmpty() && s2.isEmpty())) {
                res.refused
                    << QStringLiteral(
                           "The value \"%1\" of the filter on %2 is not a date: the filter is not applied.")
                           .arg(s1.isEmpty() ? v1 : v2, fieldName);
                continue;
            }
        } else {
            continue; // the designer writes no other class
        }
        if (mark == "(")
            open = true;
        else if (mark == ")")
            open = false;
        appliedConnectors << connector;
        const QString cond = (op == "Between" && !s2.isEmpty()) ? s1 + " And " + s2 : s1;
        filter += "\r\n" + QString(mark == "(" ? "(" : "") + GetNombreCampo(sql, fieldName) + " " + op + " " +
                  cond + " " + QString(mark == ")" ? ")" : "") + connector;
    }
    filter = trimBlanks(filter);
    if (filter.endsWith(" And")) filter.chop(4);
    filter = trimBlanks(filter);
    if (filter.endsWith(" Or")) filter.chop(3);
    if (filter.trimmed().isEmpty()) return res;
    if (open) filter += ")";

    const QString U = searchCopy(sql);
    const Scan sc = scan(sql);
    const QVector<int> wheres = topLevelKeyword(U, sc, "WHERE");
    if (!wheres.isEmpty()) {
        const int w = wheres.last();
        const int end = clauseEnd(U, sc, w + 5);
        const QString cond = sql.mid(w + 5, end - (w + 5)).trimmed();
        const QString rest = sql.mid(end).trimmed();
        // An Or between the user's rows must not reach past the query's own condition either.
        appliedConnectors.removeLast();
        if (!cond.isEmpty() && appliedConnectors.contains(QStringLiteral(" Or ")) &&
            filter.startsWith("\r\n"))
            filter = "\r\n(" + filter.mid(2) + ")";
        res.sql = sql.left(w + 5) + filter + (cond.isEmpty() ? QString() : " And (" + cond + ")") +
                  (rest.isEmpty() ? QString() : " " + rest);
    } else {
        const int end = clauseEnd(U, sc, 0);
        QString head = sql.left(end);
        while (!head.isEmpty() && head.back().isSpace())
            head.chop(1);
        const QString rest = sql.mid(end).trimmed();
        res.sql = head + "\r\n WHERE \r\n" + filter + (rest.isEmpty() ? QString() : " " + rest);
    }
    res.applied = true;
    return res;
}

void AplicarParentesis(QVector<MarkRow>& rows) {
    const int n = rows.size();
    if (n == 0) return;
    for (MarkRow& r : rows)
        r.connectorLocked = false;
    auto at = [&](int i) -> MarkRow& { return rows[i - 1]; }; // rows are numbered from 1
    if (n > 1) {
        for (int i = 1; i <= n - 1; ++i) {
            at(i).mark.clear();
            if (at(i).connector.isEmpty()) at(i).connector = "And";
        }
        at(n).mark.clear();
    } else {
        at(1).mark.clear();
        at(1).connector.clear();
        return;
    }
    for (int i = 2; i <= n - 1; ++i) {
        if (at(i).orRow) {
            if (!at(i - 1).orRow) at(i - 1).mark = "(";
            if (!at(i + 1).orRow) at(i).mark = ")";
        }
        if (i + 1 == n && at(n).orRow) {
            at(n).mark = ")";
            at(n).connector.clear();
            at(i).mark = "(";
            if (at(i).orRow) at(i).mark.clear();
        }
    }
    at(n).connector.clear();
    at(n).connectorLocked = true;
}

} // namespace UserFilterSql
