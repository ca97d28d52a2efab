#include "viewer/UserFilterSql.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace UserFilterSql {
namespace {

// Two-digit years below it are of this century, the others of the last: 1930 to 2029.
constexpr int kCenturyPivot = 30;

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

// Which characters are SQL code (outside literals, quoted names and comments, as the engine reads
// them) and at which parenthesis depth each stands.
struct Scan {
    QVector<bool> code;
    QVector<int> depth;
};

Scan scan(const QString& s, const bd::db::SqlDialect& d) {
    const QVector<bd::db::SqlPart> parts = bd::db::scanSql(s, d);
    Scan r;
    r.code.resize(s.size());
    r.depth.resize(s.size());
    int depth = 0;
    for (int i = 0; i < s.size(); ++i) {
        const bool code = parts[i] == bd::db::SqlPart::Code;
        if (code && s[i] == ')') depth = std::max(0, depth - 1);
        r.code[i] = code;
        r.depth[i] = depth;
        if (code && s[i] == '(') ++depth;
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

// ---- dates as the user types them ----

// The order of day, month and year in the locale's short date format: "DMY", "MDY" or "YMD".
QString dateOrder(const QLocale& loc) {
    const QString f = loc.dateFormat(QLocale::ShortFormat);
    QString order;
    bool quoted = false;
    for (QChar c : f) {
        if (c == '\'') quoted = !quoted;
        if (quoted) continue;
        const QChar k = c == 'd' ? QChar('D') : c == 'M' ? QChar('M') : c == 'y' ? QChar('Y') : QChar();
        if (!k.isNull() && !order.contains(k)) order += k;
    }
    return order.size() == 3 ? order : QStringLiteral("DMY");
}

int fullYear(const QString& digits) {
    const int y = digits.toInt();
    if (digits.size() <= 2) return UserFilterSql::yearOfTwoDigits(y);
    return digits.size() == 4 ? y : -1;
}

// "13:05", "1:05:30 PM": the time after the date, or an invalid time.
QTime parseTime(const QString& text, const QLocale& loc) {
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*(\\S*)$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch()) return {};
    int h = m.captured(1).toInt();
    const QString ampm = m.captured(4).remove('.').toUpper();
    if (!ampm.isEmpty()) {
        const bool pm = ampm == "PM" || ampm == QString(loc.pmText()).remove('.').toUpper();
        const bool am = ampm == "AM" || ampm == QString(loc.amText()).remove('.').toUpper();
        if ((!pm && !am) || h < 1 || h > 12) return {};
        h = h % 12 + (pm ? 12 : 0);
    }
    return QTime(h, m.captured(2).toInt(), m.captured(3).toInt());
}

QString two(int v) {
    return QString::number(v).rightJustified(2, '0');
}

// Groups of three digits after a first group of one to three: "1", "12,345", "1,234,567".
bool validGroups(const QStringList& groups) {
    if (groups.isEmpty() || groups[0].isEmpty() || groups[0].size() > 3) return false;
    for (int i = 1; i < groups.size(); ++i)
        if (groups[i].size() != 3) return false;
    return true;
}

bool asciiDigits(const QString& s) {
    for (QChar c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

} // namespace

int yearOfTwoDigits(int yy) {
    return yy < kCenturyPivot ? 2000 + yy : 1900 + yy;
}

QDateTime parseUserDate(const QString& text, const QLocale& loc) {
    const QString v = text.trimmed();
    if (v.isEmpty()) return {};
    static const QRegularExpression numeric(
        QStringLiteral("^(\\d{1,4})([/.\\-])(\\d{1,2})\\2(\\d{1,4})\\.?(?:(?:\\s+|T)(.+))?$"));
    const auto m = numeric.match(v);
    if (m.hasMatch()) {
        const QString parts[3] = {m.captured(1), m.captured(3), m.captured(4)};
        int y = -1, mo = 0, d = 0;
        if (parts[0].size() == 4) { // the year first cannot be read in any other order
            y = parts[0].toInt(), mo = parts[1].toInt(), d = parts[2].toInt();
        } else if (parts[0].size() <= 2) {
            const QString order = dateOrder(loc);
            for (int i = 0; i < 3; ++i) {
                if (order[i] == 'Y') y = fullYear(parts[i]);
                if (order[i] == 'M') mo = parts[i].size() <= 2 ? parts[i].toInt() : 0;
                if (order[i] == 'D') d = parts[i].size() <= 2 ? parts[i].toInt() : 0;
            }
        }
        const QDate date(y, mo, d);
        if (y < 0 || !date.isValid()) return {};
        QTime time(0, 0);
        if (!m.captured(5).isEmpty()) {
            time = parseTime(m.captured(5), loc);
            if (!time.isValid()) return {};
        }
        return QDateTime(date, time);
    }
    // Dates written with month names carry a four-digit year.
    const QDateTime dt = loc.toDateTime(v, QLocale::LongFormat);
    if (dt.isValid()) return dt;
    const QDate d = loc.toDate(v, QLocale::LongFormat);
    return d.isValid() ? QDateTime(d, QTime(0, 0)) : QDateTime();
}

bool toSqlNumber(const QString& value, QString* sqlNumber, const QLocale& locale) {
    QString v = value.trimmed();
    // Blanks (the locale's own too, like the narrow no-break space) only group digits.
    for (QChar blank : {QChar(' '), QChar(0x00A0), QChar(0x202F)})
        v.remove(blank);
    QString sign;
    if (v.startsWith('-') || v.startsWith('+')) {
        if (v.startsWith('-')) sign = "-";
        v = v.mid(1);
    }
    if (v.isEmpty()) return false;
    // A number in scientific notation is written as it is.
    static const QRegularExpression scientific(QStringLiteral("^\\d+(?:\\.\\d+)?[eE][+-]?\\d+$"));
    if (scientific.match(v).hasMatch()) {
        *sqlNumber = sign + v;
        return true;
    }
    const QChar dec = locale.decimalPoint().isEmpty() ? QChar('.') : locale.decimalPoint().at(0);
    const QChar grp = locale.groupSeparator().isEmpty() ? QChar(',') : locale.groupSeparator().at(0);
    // The separators the text holds, in order.
    QString seps;
    for (QChar c : v)
        if (c == '.' || c == ',' || c == '\'' || c == grp) seps += c;
    QString whole = v, fraction;
    auto splitAt = [&](qsizetype at) {
        whole = v.left(at);
        fraction = v.mid(at + 1);
    };
    auto ungroup = [&](QChar g) {
        const QStringList groups = whole.split(g);
        if (!validGroups(groups)) return false;
        whole = groups.join(QString());
        return true;
    };
    if (!seps.isEmpty()) {
        const QChar last = seps.back();
        if (seps.count(last) != seps.size()) {
            // "1,234.5" or "1.234,5": the last separator is the decimal one, the others group.
            if (seps.count(last) != 1) return false;
            splitAt(v.lastIndexOf(last));
            if (!ungroup(seps.front())) return false;
        } else if (seps.size() > 1) {
            if (!ungroup(last)) return false; // "1,234,567"
        } else if (last == dec) {
            splitAt(v.indexOf(last));
        } else if (last == grp && validGroups(v.split(last))) {
            ungroup(last); // "1,234" where "," groups thousands
        } else {
            splitAt(v.indexOf(last)); // "3,5" where "." is the decimal separator: still 3.5
        }
    }
    if (whole.isEmpty() && fraction.isEmpty()) return false;
    if (!asciiDigits(whole) || !asciiDigits(fraction)) return false;
    if (whole.isEmpty()) whole = "0";
    while (fraction.endsWith('0'))
        fraction.chop(1);
    *sqlNumber = sign + whole + (fraction.isEmpty() ? QString() : '.' + fraction);
    return true;
}

bool textLiteral(const QString& value, const bd::db::SqlDialect& d, QString* literal) {
    if (value.contains(QChar(0))) return false;
    QString e;
    e.reserve(value.size() + 8);
    for (QChar c : value) {
        if (c == '\'') e += '\'';
        if (c == '\\' && d.backslashEscapes) e += '\\';
        e += c;
    }
    // SQL Server reads a literal without N in the database's code page.
    bool wide = false;
    if (d.kind == bd::db::SqlDialect::SqlServer)
        for (QChar c : value)
            wide |= c.unicode() > 127;
    *literal = (wide ? QStringLiteral("N'") : QStringLiteral("'")) + e + '\'';
    return true;
}

bool likePattern(const QString& value, const QString& separator, const bd::db::SqlDialect& d,
                 QString* pattern) {
    // "!" escapes: no engine gives it a meaning of its own, in a literal or in a pattern.
    const QChar esc('!');
    QString body;
    bool escaped = false;
    for (QChar c : value) {
        if (c == '%' || c == '_' || c == esc || (c == '[' && d.kind == bd::db::SqlDialect::SqlServer)) {
            body += esc;
            escaped = true;
        }
        // MySQL and PostgreSQL take "\" for the escape of a pattern that names no escape of its own.
        if (c == '\\') escaped = true;
        body += c;
    }
    QString literal;
    if (!textLiteral(separator + body + separator, d, &literal)) return false;
    *pattern = escaped ? literal + QStringLiteral(" ESCAPE '!'") : literal;
    return true;
}

QString quotedName(const QString& name, const bd::db::SqlDialect& d) {
    switch (d.kind) {
    case bd::db::SqlDialect::MySql:
    case bd::db::SqlDialect::SQLite:
        return '`' + QString(name).replace('`', "``") + '`';
    case bd::db::SqlDialect::SqlServer:
        return '[' + QString(name).replace(']', "]]") + ']';
    default:
        return '"' + QString(name).replace('"', "\"\"") + '"';
    }
}

QString FormarFechaSQL(const QString& value, Syntax& syntax) {
    const QDateTime dt = parseUserDate(value, syntax.locale);
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

QString GetNombreCampo(const QString& sql, const QString& field, const bd::db::SqlDialect& d) {
    const QString U = searchCopy(sql);
    const QString F = searchCopy(field.trimmed());
    if (F.isEmpty()) return field;
    const Scan sc = scan(sql, d);
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
            bool first = true; // the first entry of the select list, where TOP and DISTINCT stand
            for (int i = p - 1; i >= 0; --i) {
                if (!sc.code[i] || sc.depth[i] != 0) continue;
                if (U[i] == ',') {
                    start = i + 1;
                    first = false;
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
            QString expr = sql.mid(start, p - start).trimmed();
            // "TOP 10", "TOP (5) PERCENT WITH TIES" and DISTINCT belong to the select list, not to the
            // expression.
            static const QRegularExpression modifier(
                QStringLiteral(
                    "^(?:(?:DISTINCTROW|DISTINCT|ALL)\\s+|TOP\\s*(?:\\([^()]*\\)|\\d+)(?:\\s+PERCENT)?"
                    "(?:\\s+WITH\\s+TIES)?\\s+)"),
                QRegularExpression::CaseInsensitiveOption);
            for (QRegularExpressionMatch m; first && (m = modifier.match(expr)).hasMatch();)
                expr = expr.mid(m.capturedLength()).trimmed();
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

namespace {

// The literals of one row's values for its type class; false with the reason when a value is refused.
bool rowValues(const Row& r, QString& op, const QString& v1, const QString& v2, Syntax& syntax, QString* s1,
               QString* s2, QString* refusal) {
    const QString fieldName = r.field.trimmed();
    const QString cls = r.typeClass.trimmed().toUpper();
    auto refuse = [&](const QString& value, const char* what) {
        *refusal =
            QStringLiteral("The value \"%1\" of the filter on %2 is %3: the filter is not applied.")
                .arg(QString(value).replace(QChar(0), QStringLiteral("\\0")), fieldName, QLatin1String(what));
        return false;
    };
    if (cls == "ISNUMERIC") {
        if (op == "Like") op = "=";
        if (!toSqlNumber(v1, s1, syntax.locale)) return refuse(v1, "not a number");
        if (!v2.isEmpty() && !toSqlNumber(v2, s2, syntax.locale)) return refuse(v2, "not a number");
    } else if (cls == "ISTEXT" || cls == "ISMEMO") {
        const bool ok1 = op == "Like" ? likePattern(v1, syntax.likeSeparator, syntax.dialect, s1)
                                      : textLiteral(v1, syntax.dialect, s1);
        if (!ok1) return refuse(v1, "a text with a NUL character, which SQL cannot carry");
        if (!v2.isEmpty() && !textLiteral(v2, syntax.dialect, s2))
            return refuse(v2, "a text with a NUL character, which SQL cannot carry");
    } else if (cls == "ISDATE") {
        *s1 = FormarFechaSQL(v1, syntax);
        if (s1->isEmpty()) return refuse(v1, "not a date");
        if (!v2.isEmpty()) {
            *s2 = FormarFechaSQL(v2, syntax);
            if (s2->isEmpty()) return refuse(v2, "not a date");
        }
    } else {
        s1->clear(); // the designer writes no other class: no condition
    }
    return true;
}

// A query of several SELECTs joined at the top by UNION, EXCEPT or INTERSECT: the filter narrows the
// whole result, so the query becomes a derived table and its ORDER BY or LIMIT the outer query's.
QString filterUnion(const QString& sql, const QString& U, const Scan& sc, const QString& filter) {
    int lastSet = 0;
    for (const char* kw : {"UNION", "EXCEPT", "INTERSECT"})
        for (int p : topLevelKeyword(U, sc, QString::fromLatin1(kw)))
            lastSet = std::max(lastSet, p);
    int end = U.size();
    for (const char* kw : {"ORDER BY", "LIMIT", "OFFSET", "FETCH"}) {
        const QVector<int> hits = topLevelKeyword(U, sc, QString::fromLatin1(kw), lastSet);
        if (!hits.isEmpty()) end = std::min(end, hits.first());
    }
    const QString rest = sql.mid(end).trimmed();
    return "SELECT * FROM (" + sql.left(end).trimmed() + ") bd_union\r\n WHERE \r\n" + filter +
           (rest.isEmpty() ? QString() : " " + rest);
}

bool isSetQuery(const QString& U, const Scan& sc) {
    for (const char* kw : {"UNION", "EXCEPT", "INTERSECT"})
        if (!topLevelKeyword(U, sc, QString::fromLatin1(kw)).isEmpty()) return true;
    return false;
}

// The condition the user's rows make, a line a row, with the connectors that joined them.
struct FilterText {
    QString text;
    QStringList connectors; // of the rows that went into the filter, in order
};

FilterText filterText(const QString& sql, bool setQuery, const QVector<Row>& rows, Syntax& syntax,
                      QStringList* refused) {
    FilterText f;
    QString& filter = f.text;
    bool open = false;
    for (const Row& r : rows) {
        QString connector = r.connector.trimmed();
        if (!connector.isEmpty())
            connector = connector.compare("Or", Qt::CaseInsensitive) == 0 ? QStringLiteral(" Or ")
                                                                          : QStringLiteral(" And ");
        const QString v1 = r.from == "..." ? QString() : r.from;
        const QString v2 = r.to == "..." ? QString() : r.to;
        QString mark = r.mark.trimmed();
        if (mark != "(" && mark != ")") mark.clear();
        if (mark == ")" && !open) mark.clear();
        QString op = normalOperator(r.op);
        if (op == "Between" && !v1.isEmpty() && v2.isEmpty()) op = "=";
        if (v1.isEmpty()) continue;
        const QString fieldName = r.field.trimmed();
        if (op.isEmpty()) {
            *refused
                << QStringLiteral(
                       "The operator \"%1\" of the filter on %2 is not known: the filter is not applied.")
                       .arg(r.op, fieldName);
            continue;
        }
        QString s1, s2, refusal;
        if (!rowValues(r, op, v1, v2, syntax, &s1, &s2, &refusal)) {
            *refused << refusal;
            continue;
        }
        if (s1.isEmpty()) continue;
        if (mark == "(")
            open = true;
        else if (mark == ")")
            open = false;
        f.connectors << connector;
        const QString cond = (op == "Between" && !s2.isEmpty()) ? s1 + " And " + s2 : s1;
        // Over a set query the outer query sees the output columns by their names.
        const QString target =
            setQuery ? quotedName(fieldName, syntax.dialect) : GetNombreCampo(sql, fieldName, syntax.dialect);
        filter += "\r\n" + QString(mark == "(" ? "(" : "") + target + " " + op + " " + cond + " " +
                  QString(mark == ")" ? ")" : "") + connector;
    }
    filter = trimBlanks(filter);
    if (filter.endsWith(" And")) filter.chop(4);
    filter = trimBlanks(filter);
    if (filter.endsWith(" Or")) filter.chop(3);
    if (!filter.trimmed().isEmpty() && open) filter += ")";
    return f;
}

// A plain query with the filter put before its own condition, or as its condition when it has none.
QString filterSelect(const QString& sql, const QString& U, const Scan& sc, FilterText& f) {
    QString& filter = f.text;
    const QVector<int> wheres = topLevelKeyword(U, sc, "WHERE");
    if (wheres.isEmpty()) {
        const int end = clauseEnd(U, sc, 0);
        QString head = sql.left(end);
        while (!head.isEmpty() && head.back().isSpace())
            head.chop(1);
        const QString rest = sql.mid(end).trimmed();
        return head + "\r\n WHERE \r\n" + filter + (rest.isEmpty() ? QString() : " " + rest);
    }
    const int w = wheres.last();
    const int end = clauseEnd(U, sc, w + 5);
    const QString cond = sql.mid(w + 5, end - (w + 5)).trimmed();
    const QString rest = sql.mid(end).trimmed();
    // An Or between the user's rows must not reach past the query's own condition either.
    f.connectors.removeLast();
    if (!cond.isEmpty() && f.connectors.contains(QStringLiteral(" Or ")) && filter.startsWith("\r\n"))
        filter = "\r\n(" + filter.mid(2) + ")";
    return sql.left(w + 5) + filter + (cond.isEmpty() ? QString() : " And (" + cond + ")") +
           (rest.isEmpty() ? QString() : " " + rest);
}

} // namespace

Result AplicarFiltro(const QString& query, const QVector<Row>& rows, Syntax& syntax) {
    Result res;
    res.sql = query;
    // A line comment would swallow what is spliced after it on its line.
    const QString sql = bd::db::removeLineComments(query, syntax.dialect);
    const QString U = searchCopy(sql);
    const Scan sc = scan(sql, syntax.dialect);
    const bool setQuery = isSetQuery(U, sc);
    FilterText f = filterText(sql, setQuery, rows, syntax, &res.refused);
    res.refused.removeDuplicates();
    if (f.text.trimmed().isEmpty()) return res;

    if (setQuery)
        res.sql = filterUnion(sql, U, sc, f.text);
    else
        res.sql = filterSelect(sql, U, sc, f);
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
