// The user-filter translation: the viewer's filter rows spliced into the cube's query. The values are
// the user's, so the SQL that comes out must hold each of them as one literal that means exactly that
// value, and otherwise be the SQL the same rows give with harmless values. Input: options on the
// first line (dialect: "0" generic, "1" SQLite; locale: "0" C, "1" German, "2" US English, "3"
// French), the query on the second, then one row per line: field, operator, from, to, parenthesis,
// connector and optionally the type class, separated by tabs ("\t", "\n", "\\" escapes).
#include "FuzzSupport.h"

#include "viewer/UserFilterSql.h"

#include <QRegularExpression>
#include <algorithm>
#include <sqlite3.h>

namespace bd::fuzz {
namespace {

using UserFilterSql::Row;
using UserFilterSql::Syntax;

constexpr int kMaxRows = 12;
constexpr int kMaxValue = 400;

// The table the checks run against: the columns the rows name, with their type classes.
const char* const kTable = "CREATE TABLE sales(Region TEXT, Product TEXT, Notes TEXT, Amount REAL, "
                           "Quantity INTEGER, SaleDate TEXT)";
QString classOf(const QString& field) {
    static const QList<QPair<QString, QString>> columns = {{"REGION", "ISTEXT"},      {"PRODUCT", "ISTEXT"},
                                                           {"NOTES", "ISMEMO"},       {"AMOUNT", "ISNUMERIC"},
                                                           {"QUANTITY", "ISNUMERIC"}, {"SALEDATE", "ISDATE"}};
    for (const auto& [name, cls] : columns)
        if (field.trimmed().toUpper() == name) return cls;
    return {};
}

// One value that went into the SQL, with the literal it gave and the placeholder standing for it.
struct Value {
    QString field; // the row's field, upper case
    QString text, cls;
    bool like = false;
    QString literal;            // what the value gave in the filtered query
    QString placeholder;        // the harmless value of the second run
    QString placeholderLiteral; // and its literal
};

QString asciiLower(const QString& s) {
    QString out = s;
    for (QChar& c : out)
        if (c >= 'A' && c <= 'Z') c = QChar(c.unicode() + 32);
    return out;
}

// ---- SQLite, whose parser judges the literals and runs both queries ------------------------------

struct Db {
    sqlite3* h = nullptr;
    Db() {
        sqlite3_open(":memory:", &h);
        // "X REGEXP Y" stands in the reference query for a Like: X contains Y, ASCII letters matched
        // without regard to case as SQLite's LIKE matches them.
        sqlite3_create_function(
            h, "regexp", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
            [](sqlite3_context* ctx, int, sqlite3_value** argv) {
                if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
                    return sqlite3_result_null(ctx);
                const QString pattern =
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
                const QString value =
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])));
                sqlite3_result_int(ctx, asciiLower(value).contains(asciiLower(pattern)) ? 1 : 0);
            },
            nullptr, nullptr);
    }
    ~Db() { sqlite3_close(h); }
    bool exec(const QString& sql) {
        return sqlite3_exec(h, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
};

// One statement, all of the text: a tail would be a filter SQLite never ran.
sqlite3_stmt* prepareWhole(Db& db, const QString& sql) {
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db.h, text.constData(), int(text.size()), &st, &tail) != SQLITE_OK || !st) {
        sqlite3_finalize(st);
        return nullptr;
    }
    if (!QByteArray(tail).trimmed().isEmpty()) {
        sqlite3_finalize(st);
        return nullptr;
    }
    return st;
}

struct Literal {
    bool single = false; // SQLite read it as one literal
    QString type;        // "text", "integer", "real"
    QString text;
    double number = 0;
    qint64 integer = 0;
};

// A column default takes one literal (or a bracketed expression, which the text cannot start with):
// SQLite reads the text there and gives back the value it means.
Literal readLiteral(Db& db, const QString& literal) {
    Literal out;
    if (literal.trimmed().startsWith('(')) return out;
    db.exec("DROP TABLE IF EXISTS lit");
    // Prepared, not executed as a script: a literal that ends the statement must not run another.
    sqlite3_stmt* st = prepareWhole(db, "CREATE TABLE lit(x DEFAULT " + literal + ")");
    const bool created = st && sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    if (!created || !db.exec("INSERT INTO lit DEFAULT VALUES")) return out;
    sqlite3_prepare_v2(db.h, "SELECT typeof(x), x FROM lit", -1, &st, nullptr);
    if (sqlite3_step(st) == SQLITE_ROW) {
        out.single = true;
        out.type = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        out.number = sqlite3_column_double(st, 1);
        out.integer = sqlite3_column_int64(st, 1);
        out.text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                                     sqlite3_column_bytes(st, 1));
    }
    sqlite3_finalize(st);
    db.exec("DROP TABLE lit");
    return out;
}

bool likeMatches(Db& db, const QString& probe, const QString& pattern) {
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = ("SELECT ?1 LIKE " + pattern).toUtf8();
    require(sqlite3_prepare_v2(db.h, sql.constData(), -1, &st, nullptr) == SQLITE_OK,
            "a Like pattern is SQL");
    const QByteArray p = probe.toUtf8();
    sqlite3_bind_text(st, 1, p.constData(), int(p.size()), SQLITE_TRANSIENT);
    const bool match = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) == 1;
    sqlite3_finalize(st);
    return match;
}

QString digitsOf(const QString& s, bool trimZeros) {
    QString d;
    for (QChar c : s)
        if (c >= '0' && c <= '9') d += c;
    if (trimZeros) {
        while (d.startsWith('0'))
            d.remove(0, 1);
        while (d.endsWith('0'))
            d.chop(1);
    }
    return d;
}

// The value each literal must mean, read by SQLite; what the reference query binds in its place.
Literal checkLiteral(Db& db, const Value& v) {
    if (v.like) {
        QString body = v.literal;
        const QString escape = QStringLiteral(" ESCAPE '!'");
        if (body.endsWith(escape)) body.chop(escape.size());
        const Literal l = readLiteral(db, body);
        require(l.single && l.type == "text", "a Like pattern is one text literal");
        // The pattern finds the value itself and nothing else: its %, _ and escapes match literally.
        const QString probes[] = {v.text,
                                  "x" + v.text + "y",
                                  v.text.toUpper(),
                                  v.text.toLower(),
                                  v.text.left(v.text.size() - 1),
                                  v.text.mid(1),
                                  "%",
                                  "_",
                                  "!" + v.text,
                                  QString(v.text).replace('_', 'x')};
        for (const QString& probe : probes)
            require(likeMatches(db, probe, v.literal) == asciiLower(probe).contains(asciiLower(v.text)),
                    "a Like value matches exactly the texts that contain it");
        return l;
    }
    const Literal l = readLiteral(db, v.literal);
    require(l.single, "a filter value is one SQL literal");
    if (v.cls == "ISNUMERIC") {
        require(l.type == "integer" || l.type == "real", "a number value is a number literal");
        require(digitsOf(v.literal, true) == digitsOf(v.text, true),
                "a number literal holds the value's digits");
        require(v.literal.startsWith('-') == v.text.trimmed().startsWith('-'),
                "a number literal keeps the sign");
    } else if (v.cls == "ISDATE") {
        // The designer's time pattern starts with a blank (" HH:MM:SS"): date and time two blanks apart.
        static const QRegularExpression iso(
            QStringLiteral("^\\d{4}-\\d{2}-\\d{2}( +\\d{2}:\\d{2}:\\d{2})?$"));
        require(l.type == "text" && iso.match(l.text).hasMatch(), "a date value is a date literal");
        // The year as written: whole, or its last two digits.
        const int year = l.text.left(4).toInt();
        static const QRegularExpression number(QStringLiteral("\\d+"));
        bool found = false;
        for (auto it = number.globalMatch(v.text); it.hasNext();) {
            const int n = it.next().captured().toInt();
            found |= n == year || n == year % 100;
        }
        require(found, "a date literal holds the value's year");
    } else {
        require(l.type == "text" && l.text == v.text, "a text value reads back as the same text");
    }
    return l;
}

// ---- the rows, with their values and with placeholders ------------------------------------------

QString normalOperator(const QString& op) {
    for (const char* known : {"=", "Between", "Like", ">", "<"})
        if (op.trimmed().compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(known);
    return {};
}

// The literal the value gives and its placeholder, or false when the translation refuses the value
// (it then stays as it is in both runs).
bool literalOf(const QString& value, const QString& cls, bool like, const Syntax& base, int k, Value& out) {
    Syntax s = base;
    out.text = value;
    out.cls = cls;
    out.like = like;
    if (cls == "ISNUMERIC") {
        out.placeholder = QString::number(98765000 + k);
        return UserFilterSql::toSqlNumber(value, &out.literal, s.locale) &&
               UserFilterSql::toSqlNumber(out.placeholder, &out.placeholderLiteral, s.locale);
    }
    if (cls == "ISTEXT" || cls == "ISMEMO") {
        out.placeholder = QStringLiteral("bdS%1x").arg(k);
        auto literal = [&](const QString& v, QString* l) {
            return like ? UserFilterSql::likePattern(v, s.likeSeparator, s.dialect, l)
                        : UserFilterSql::textLiteral(v, s.dialect, l);
        };
        return literal(value, &out.literal) && literal(out.placeholder, &out.placeholderLiteral);
    }
    if (cls == "ISDATE") {
        out.placeholder = QStringLiteral("%1-01-01").arg(1700 + k);
        out.literal = UserFilterSql::FormarFechaSQL(value, s);
        out.placeholderLiteral = UserFilterSql::FormarFechaSQL(out.placeholder, s);
        return !out.literal.isEmpty();
    }
    return false;
}

struct Parsed {
    Syntax syntax;
    QString query;
    QVector<Row> rows;
};

bool parseInput(const uint8_t* data, size_t size, Parsed& p) {
    const QStringList lines =
        splitLines(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (lines.size() < 2) return false;
    const QString opts = lines[0];
    auto opt = [&](int i) { return i < opts.size() ? opts[i].unicode() : 0; };
    p.syntax.dialect.kind = opt(0) & 1 ? db::SqlDialect::SQLite : db::SqlDialect::Generic;
    static const QLocale locales[] = {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                      QLocale(QLocale::English, QLocale::UnitedStates),
                                      QLocale(QLocale::French, QLocale::France)};
    p.syntax.locale = locales[opt(1) & 3];
    p.query = unescape(lines[1]);
    for (int i = 2; i < lines.size() && p.rows.size() < kMaxRows; ++i) {
        const QStringList f = lines[i].split('\t');
        Row r;
        r.field = unescape(f.value(0)).left(kMaxValue);
        r.op = unescape(f.value(1)).left(kMaxValue);
        r.from = unescape(f.value(2)).left(kMaxValue);
        r.to = unescape(f.value(3)).left(kMaxValue);
        r.mark = unescape(f.value(4)).left(kMaxValue);
        r.connector = unescape(f.value(5)).left(kMaxValue);
        r.typeClass = f.size() > 6 ? unescape(f[6]).left(kMaxValue) : classOf(r.field);
        p.rows.push_back(r);
    }
    return true;
}

// ---- running both queries -------------------------------------------------------------------------

QStringList rowsOf(Db& db, sqlite3_stmt* st) {
    QStringList out;
    while (sqlite3_step(st) == SQLITE_ROW) {
        QStringList cells;
        for (int c = 0; c < sqlite3_column_count(st); ++c)
            cells << (sqlite3_column_type(st, c) == SQLITE_NULL
                          ? QStringLiteral("<null>")
                          : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c))));
        out << cells.join('|');
    }
    (void)db;
    out.sort();
    return out;
}

void fillTable(Db& db, const QVector<Value>& values, const QVector<Literal>& read) {
    db.exec("DROP TABLE IF EXISTS sales");
    db.exec(kTable);
    db.exec("INSERT INTO sales VALUES ('North', 'Tea', 'a 50% share', 10.5, 3, '2024-03-05'), "
            "('South', 'Coffee', 'x_y', -2, 0, '2025-12-31 13:05:00'), ('East', NULL, '', 0, NULL, NULL), "
            "('West', 'tea', 'It''s', 1e6, 98765001, '1705-01-01')");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db.h, "INSERT INTO sales VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1, &st, nullptr);
    auto row = [&](const QString& text, const QVariant& number, const QString& date) {
        const QByteArray t = text.toUtf8(), d = date.toUtf8();
        for (int c = 1; c <= 3; ++c)
            sqlite3_bind_text(st, c, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        if (number.typeId() == QMetaType::LongLong) {
            sqlite3_bind_int64(st, 4, number.toLongLong());
            sqlite3_bind_int64(st, 5, number.toLongLong());
        } else {
            sqlite3_bind_double(st, 4, number.toDouble());
            sqlite3_bind_double(st, 5, number.toDouble());
        }
        sqlite3_bind_text(st, 6, d.constData(), int(d.size()), SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    };
    for (int i = 0; i < values.size(); ++i) {
        const Value& v = values[i];
        const Literal& l = read[i];
        const QVariant n = l.type == "integer" ? QVariant(l.integer) : QVariant(l.number);
        const QString date = v.cls == "ISDATE" ? l.text : QStringLiteral("2024-01-01");
        row(v.text, n, date);
        row("x" + v.text + "y", n, date + " 00:00:00");
        row(v.text.toUpper(), l.number + 1, date.left(10));
        row(v.text.toLower(), l.number - 1, date.left(9));
        row(v.text.left(v.text.size() - 1), 0.5, "");
    }
    // One row that meets every condition at once, each column holding the first value named for it.
    const char* const columns[] = {"REGION", "PRODUCT", "NOTES", "AMOUNT", "QUANTITY", "SALEDATE"};
    QStringList cells;
    for (const char* column : columns) {
        QString cell = QStringLiteral("NULL");
        for (int i = 0; i < values.size(); ++i)
            if (values[i].field == QLatin1String(column)) {
                const Literal& l = read[i];
                cell =
                    l.type == "integer" ? QString::number(l.integer)
                    : l.type == "real"
                        ? QString::number(l.number, 'g', 17)
                        : "'" + QString(values[i].like ? values[i].text : l.text).replace('\'', "''") + "'";
                break;
            }
        cells << cell;
    }
    sqlite3_finalize(st);
    sqlite3_stmt* all = prepareWhole(db, "INSERT INTO sales VALUES (" + cells.join(", ") + ")");
    if (all) sqlite3_step(all);
    sqlite3_finalize(all);
}

// The reference query: the placeholder run with every value bound as a parameter (a Like as REGEXP
// over the value itself), so no value can be read as SQL there.
QString referenceSql(QString sql, const QVector<Value>& values) {
    for (int i = 0; i < values.size(); ++i) {
        const QString param = QStringLiteral("?%1").arg(i + 1);
        if (values[i].like)
            sql.replace("Like " + values[i].placeholderLiteral, "REGEXP " + param);
        else
            sql.replace(values[i].placeholderLiteral, param);
    }
    return sql;
}

void bindValue(sqlite3_stmt* st, int index, const Value& v, const Literal& l) {
    const QByteArray text = (v.like ? v.text : l.text).toUtf8();
    if (!v.like && l.type == "integer")
        sqlite3_bind_int64(st, index, l.integer);
    else if (!v.like && l.type == "real")
        sqlite3_bind_double(st, index, l.number);
    else
        sqlite3_bind_text(st, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

} // namespace

void userFilter(const uint8_t* data, size_t size) {
    Parsed in;
    if (!parseInput(data, size, in)) return;
    Syntax a = in.syntax;
    const UserFilterSql::Result filtered = UserFilterSql::AplicarFiltro(in.query, in.rows, a);
    if (!filtered.applied)
        return require(filtered.sql == in.query, "a query no filter applies to is left as it was");

    // The second run, every accepted value replaced by a harmless one of its class.
    QVector<Value> values;
    QVector<Row> rows = in.rows;
    for (Row& r : rows) {
        const QString cls = r.typeClass.trimmed().toUpper();
        const QString op = normalOperator(r.op);
        for (QString* v : {&r.from, &r.to}) {
            if (v->isEmpty() || *v == "...") continue;
            Value value;
            const bool like = op == "Like" && v == &r.from && cls != "ISNUMERIC";
            if (!literalOf(*v, cls, like, in.syntax, int(values.size()), value)) continue;
            value.field = r.field.trimmed().toUpper();
            *v = value.placeholder;
            values.push_back(value);
        }
    }
    for (const Value& v : values)
        if (in.query.contains(v.placeholderLiteral) || in.query.contains("bdS") || in.query.contains("98765"))
            return; // the query itself holds a placeholder: nothing to tell apart
    for (const Row& r : in.rows)
        if (r.field.contains("bdS") || r.field.contains("98765") || r.field.contains("-01-01")) return;
    Syntax b = in.syntax;
    const UserFilterSql::Result placeholders = UserFilterSql::AplicarFiltro(in.query, rows, b);
    require(placeholders.applied && placeholders.refused.size() == filtered.refused.size(),
            "harmless values of the same classes give the same filter");

    // The filtered query is the placeholder one with the values' literals in the placeholders' places.
    QString expected;
    const QString& p = placeholders.sql;
    for (int i = 0; i < p.size();) {
        bool replaced = false;
        for (const Value& v : values)
            if (QStringView(p).mid(i).startsWith(v.placeholderLiteral)) {
                expected += v.literal;
                i += int(v.placeholderLiteral.size());
                replaced = true;
                break;
            }
        if (!replaced) expected += p[i++];
    }
    require(expected == filtered.sql, "the values change nothing of the filter but their own literals");

    // Each literal means its value, as SQLite reads it; then both queries select the same rows.
    if (in.syntax.dialect.kind != db::SqlDialect::Generic && in.syntax.dialect.kind != db::SqlDialect::SQLite)
        return;
    static Db db;
    QVector<Literal> read;
    for (const Value& v : values)
        read.push_back(checkLiteral(db, v));
    fillTable(db, values, read);
    sqlite3_stmt* actual = prepareWhole(db, filtered.sql);
    if (actual && sqlite3_bind_parameter_count(actual) > 0) {
        // The query has parameters of its own ("@name" in a select list): the reference's would clash.
        sqlite3_finalize(actual);
        return;
    }
    if (!actual)
        return; // not SQL SQLite runs (a query of another engine, or not valid): nothing more to compare
    sqlite3_stmt* reference = prepareWhole(db, referenceSql(placeholders.sql, values));
    require(reference != nullptr, "the reference query is SQL wherever the filtered one is");
    for (int i = 0; i < values.size(); ++i)
        if (sqlite3_bind_parameter_index(reference, QStringLiteral("?%1").arg(i + 1).toUtf8().constData()) >
            0)
            bindValue(reference, i + 1, values[i], read[i]);
    const QStringList got = rowsOf(db, actual), want = rowsOf(db, reference);
    sqlite3_finalize(actual);
    sqlite3_finalize(reference);
    require(got == want, "the filtered query selects the rows its values name");
}

} // namespace bd::fuzz
