#include "platform/querybuilder/QueryModel.h"

#include "platform/querybuilder/NameResolver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace bd::querybuilder {

namespace {
// Marks a state string as ours; states of other programs (or later formats) are refused.
const QString kStateFormat = QStringLiteral("bd-querybuilder");
constexpr int kStateVersion = 1;

QString lineBreaks(QString text, const QString& eol) {
    text.replace("\r\n", "\n").replace('\r', '\n');
    if (eol != "\n") text.replace('\n', eol);
    return text;
}

QString columnSql(const Quoter& q, const QString& table, const QString& column) {
    return q(table) + '.' + q(column);
}
} // namespace

QString quoteStandard(const QString& name) {
    return '"' + QString(name).replace('"', "\"\"") + '"';
}

QString Catalog::table(const QString& name) const {
    if (tables.contains(name)) return name;
    for (const QString& t : tables)
        if (t.compare(name, Qt::CaseInsensitive) == 0) return t;
    return {};
}

int Design::indexOf(const QString& table) const {
    for (int i = 0; i < tables.size(); ++i)
        if (tables[i].name.compare(table, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QString designSql(const Design& d, const Quoter& quote, Layout layout) {
    if (d.tables.isEmpty()) return {};
    const Quoter q = quote ? quote : Quoter(quoteStandard);
    QStringList columns;
    for (const ColumnRef& c : d.selected)
        columns << columnSql(q, c.table, c.column);
    QStringList lines;
    lines << "Select " + (columns.isEmpty() ? QStringLiteral("*") : columns.join(", "));
    lines << "From " + q(d.tables[0].name);
    for (int i = 1; i < d.tables.size(); ++i) {
        const DesignTable& t = d.tables[i];
        QString line = "Inner Join " + q(t.name);
        if (t.join.complete())
            line += " On " + columnSql(q, t.join.table, t.join.column) + " = " +
                    columnSql(q, t.name, t.join.ownColumn);
        lines << line;
    }
    const QString eol = layout == Layout::Lines ? QStringLiteral("\r\n") : QStringLiteral(" ");
    const QString condition = d.condition.trimmed();
    if (!condition.isEmpty())
        lines << "Where " + lineBreaks(condition, layout == Layout::Lines ? eol : QStringLiteral("\n"));
    return lines.join(eol);
}

QStringList designProblems(const Design& d) {
    QStringList out;
    for (int i = 1; i < d.tables.size(); ++i)
        if (!d.tables[i].join.complete())
            out << QStringLiteral("Choose the columns that join %1.").arg(d.tables[i].name);
    return out;
}

// ---- the model ----

QueryModel::QueryModel() : quote_(quoteStandard) {}

void QueryModel::setCatalog(Catalog c) {
    catalog_ = std::move(c);
}

void QueryModel::setQuoter(Quoter q) {
    quote_ = q ? std::move(q) : Quoter(quoteStandard);
}

void QueryModel::setSql(const QString& sql) {
    if (sql.trimmed().isEmpty()) {
        clear();
        return;
    }
    if (std::optional<Design> d = parseSql(sql, catalog_)) {
        design_ = *d;
        isText_ = false;
        text_.clear();
        return;
    }
    design_ = {};
    isText_ = true;
    text_ = sql;
}

QString QueryModel::sql() const {
    return isText_ ? text_ : designSql(design_, quote_, Layout::OneLine);
}

QString QueryModel::formattedSql() const {
    return isText_ ? text_ : designSql(design_, quote_, Layout::Lines);
}

void QueryModel::setText(const QString& t) {
    design_ = {};
    isText_ = true;
    text_ = t;
}

QString QueryModel::state() const {
    QJsonObject o{{"format", kStateFormat}, {"version", kStateVersion}};
    if (isText_) {
        o["text"] = text_;
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    QJsonArray tables;
    for (int i = 0; i < design_.tables.size(); ++i) {
        const DesignTable& t = design_.tables[i];
        QJsonObject to{{"name", t.name}};
        if (i > 0)
            to["join"] =
                QJsonObject{{"table", t.join.table}, {"column", t.join.column}, {"own", t.join.ownColumn}};
        tables.append(to);
    }
    QJsonArray columns;
    for (const ColumnRef& c : design_.selected)
        columns.append(QJsonArray{c.table, c.column});
    o["tables"] = tables;
    o["columns"] = columns;
    o["condition"] = design_.condition;
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

namespace {
bool readString(const QJsonObject& o, const char* key, QString* out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined()) return true;
    if (!v.isString()) return false;
    *out = v.toString();
    return true;
}

// The design a state object describes, names as written; nothing when the object is not ours.
std::optional<Design> designFromState(const QJsonObject& o) {
    Design d;
    const QJsonValue tables = o.value("tables"), columns = o.value("columns");
    if (!tables.isArray() || !columns.isArray()) return std::nullopt;
    for (const QJsonValue& tv : tables.toArray()) {
        if (!tv.isObject()) return std::nullopt;
        const QJsonObject to = tv.toObject();
        DesignTable t;
        if (!readString(to, "name", &t.name) || t.name.isEmpty()) return std::nullopt;
        const QJsonValue jv = to.value("join");
        if (!jv.isUndefined()) {
            if (!jv.isObject()) return std::nullopt;
            const QJsonObject jo = jv.toObject();
            if (!readString(jo, "table", &t.join.table) || !readString(jo, "column", &t.join.column) ||
                !readString(jo, "own", &t.join.ownColumn))
                return std::nullopt;
        }
        d.tables << t;
    }
    for (const QJsonValue& cv : columns.toArray()) {
        if (!cv.isArray()) return std::nullopt;
        const QJsonArray pair = cv.toArray();
        if (pair.size() != 2 || !pair[0].isString() || !pair[1].isString()) return std::nullopt;
        d.selected << ColumnRef{pair[0].toString(), pair[1].toString()};
    }
    if (!readString(o, "condition", &d.condition)) return std::nullopt;
    return d;
}
} // namespace

bool QueryModel::setState(const QString& state) {
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(state.toUtf8(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonObject o = doc.object();
    if (o.value("format").toString() != kStateFormat || o.value("version").toInt(-1) != kStateVersion)
        return false;
    if (o.contains("text")) {
        if (!o.value("text").isString()) return false;
        setText(o.value("text").toString());
        return true;
    }
    std::optional<Design> d = designFromState(o);
    if (!d) return false;
    std::optional<Design> matched = resolveDesign(*d, catalog_);
    if (!matched) return false;
    design_ = *matched;
    isText_ = false;
    text_.clear();
    return true;
}

// ---- editing ----

void QueryModel::clear() {
    design_ = {};
    isText_ = false;
    text_.clear();
}

void QueryModel::toDesign() {
    if (isText_) clear();
}

QStringList QueryModel::columnsOf(const QString& table) const {
    const QStringList known = catalog_.columnsOf(table);
    if (!known.isEmpty()) return known;
    QStringList named;
    auto add = [&](const QString& t, const QString& c) {
        if (!c.isEmpty() && t.compare(table, Qt::CaseInsensitive) == 0 &&
            !named.contains(c, Qt::CaseInsensitive))
            named << c;
    };
    for (const DesignTable& t : design_.tables) {
        add(t.name, t.join.ownColumn);
        add(t.join.table, t.join.column);
    }
    for (const ColumnRef& c : design_.selected)
        add(c.table, c.column);
    return named;
}

Join QueryModel::defaultJoin(int index) const {
    const QString name = design_.tables[index].name;
    const QStringList own = columnsOf(name);
    for (const QString& c : own)
        for (int e = 0; e < index; ++e) {
            const QStringList theirs = columnsOf(design_.tables[e].name);
            for (const QString& t : theirs)
                if (t.compare(c, Qt::CaseInsensitive) == 0) return Join{design_.tables[e].name, t, c};
        }
    const QString first = design_.tables[0].name;
    const QStringList firstColumns = columnsOf(first);
    return Join{first, firstColumns.value(0), own.value(0)};
}

void QueryModel::repairJoins() {
    if (design_.tables.isEmpty()) return;
    design_.tables[0].join = {};
    for (int i = 1; i < design_.tables.size(); ++i) {
        const int k = design_.indexOf(design_.tables[i].join.table);
        if (k < 0 || k >= i) design_.tables[i].join = defaultJoin(i);
    }
}

bool QueryModel::addTable(const QString& table) {
    toDesign();
    const QString name = catalog_.tables.isEmpty() ? table.trimmed() : catalog_.table(table);
    if (name.isEmpty() || design_.indexOf(name) >= 0) return false;
    design_.tables << DesignTable{name, {}};
    if (design_.tables.size() > 1) design_.tables.last().join = defaultJoin(design_.tables.size() - 1);
    return true;
}

void QueryModel::removeTable(const QString& table) {
    toDesign();
    const int i = design_.indexOf(table);
    if (i < 0) return;
    const QString name = design_.tables[i].name;
    design_.tables.remove(i);
    design_.selected.removeIf([&](const ColumnRef& c) { return c.table == name; });
    for (DesignTable& t : design_.tables)
        if (t.join.table == name) t.join = {};
    repairJoins();
}

void QueryModel::setColumnChecked(const QString& table, const QString& column, bool on) {
    toDesign();
    const int i = design_.indexOf(table);
    if (i < 0) return;
    const QString t = design_.tables[i].name;
    QString c = spelling(columnsOf(t), column);
    if (c.isEmpty()) {
        if (!catalog_.columnsOf(t).isEmpty()) return;
        c = column;
    }
    const ColumnRef ref{t, c};
    const bool present = design_.selected.contains(ref);
    if (on && !present) design_.selected << ref;
    if (!on && present) design_.selected.removeAll(ref);
}

bool QueryModel::isChecked(const QString& table, const QString& column) const {
    for (const ColumnRef& c : design_.selected)
        if (c.table.compare(table, Qt::CaseInsensitive) == 0 &&
            c.column.compare(column, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool QueryModel::setJoin(const QString& table, const QString& ownColumn, const QString& other,
                         const QString& column) {
    toDesign();
    const int i = design_.indexOf(table), k = design_.indexOf(other);
    if (i < 1 || k < 0 || k >= i) return false;
    // Columns a catalog does not list are taken as written.
    auto pick = [this](const QString& t, const QString& c) {
        const QString s = spelling(columnsOf(t), c);
        return s.isEmpty() && catalog_.columnsOf(t).isEmpty() ? c.trimmed() : s;
    };
    const QString own = pick(design_.tables[i].name, ownColumn);
    const QString theirs = pick(design_.tables[k].name, column);
    if (own.isEmpty() || theirs.isEmpty()) return false;
    design_.tables[i].join = Join{design_.tables[k].name, theirs, own};
    return true;
}

void QueryModel::setCondition(const QString& condition) {
    toDesign();
    design_.condition = condition;
}

} // namespace bd::querybuilder
