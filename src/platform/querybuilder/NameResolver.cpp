#include "platform/querybuilder/NameResolver.h"

namespace bd::querybuilder {

QString spelling(const QStringList& columns, const QString& column) {
    for (const QString& c : columns)
        if (c.compare(column, Qt::CaseInsensitive) == 0) return c;
    return {};
}

namespace {
class Resolver {
public:
    explicit Resolver(const Catalog& c) : catalog_(c) {}

    bool setTables(const QStringList& written) {
        for (const QString& w : written) {
            const QString name = catalog_.tables.isEmpty() ? w : catalog_.table(w);
            if (name.isEmpty() || index(name) >= 0) return false;
            names_ << name;
        }
        return !names_.isEmpty();
    }
    const QStringList& names() const { return names_; }

    int index(const QString& table) const {
        for (int i = 0; i < names_.size(); ++i)
            if (names_[i].compare(table, Qt::CaseInsensitive) == 0) return i;
        return -1;
    }

    // A column of a design table. Without its table, the one design table that has the column; a
    // table whose columns the catalog does not list takes any column as written.
    std::optional<ColumnRef> column(const ColumnRef& r) const {
        if (r.column.isEmpty()) return std::nullopt;
        if (r.table.isEmpty()) return unqualified(r.column);
        const int i = index(r.table);
        if (i < 0) return std::nullopt;
        const QStringList cols = catalog_.columnsOf(names_[i]);
        if (cols.isEmpty()) return ColumnRef{names_[i], r.column};
        const QString c = spelling(cols, r.column);
        if (c.isEmpty()) return std::nullopt;
        return ColumnRef{names_[i], c};
    }

private:
    std::optional<ColumnRef> unqualified(const QString& column) const {
        std::optional<ColumnRef> found;
        for (const QString& t : names_) {
            const QString c = spelling(catalog_.columnsOf(t), column);
            if (c.isEmpty()) continue;
            if (found) return std::nullopt; // ambiguous
            found = ColumnRef{t, c};
        }
        if (!found && names_.size() == 1 && catalog_.columnsOf(names_[0]).isEmpty())
            found = ColumnRef{names_[0], column};
        return found;
    }

    const Catalog& catalog_;
    QStringList names_;
};

// The join of table i: one side of the pair is table i, the other an earlier table.
std::optional<Join> join(const Resolver& r, int i, const JoinPair& p) {
    const std::optional<ColumnRef> a = r.column(p.a), b = r.column(p.b);
    if (!a || !b) return std::nullopt;
    const QString& own = r.names()[i];
    if (a->table == own && r.index(b->table) < i) return Join{b->table, b->column, a->column};
    if (b->table == own && r.index(a->table) < i) return Join{a->table, a->column, b->column};
    return std::nullopt;
}

bool selectList(const Resolver& r, const QVector<ColumnRef>& written, QVector<ColumnRef>* out) {
    for (const ColumnRef& w : written) {
        const std::optional<ColumnRef> c = r.column(w);
        if (!c || out->contains(*c)) return false;
        *out << *c;
    }
    return true;
}
} // namespace

std::optional<Design> resolveQuery(const ParsedQuery& q, const Catalog& catalog) {
    Resolver r(catalog);
    if (!r.setTables(q.tables) || q.joins.size() != q.tables.size() - 1) return std::nullopt;
    Design d;
    for (const QString& n : r.names())
        d.tables << DesignTable{n, {}};
    for (int i = 1; i < d.tables.size(); ++i) {
        const std::optional<Join> j = join(r, i, q.joins[i - 1]);
        if (!j) return std::nullopt;
        d.tables[i].join = *j;
    }
    if (!selectList(r, q.selected, &d.selected)) return std::nullopt;
    d.condition = q.condition;
    return d;
}

std::optional<Design> resolveDesign(const Design& in, const Catalog& catalog) {
    Resolver r(catalog);
    QStringList written;
    for (const DesignTable& t : in.tables)
        written << t.name;
    if (!in.tables.isEmpty() && !r.setTables(written)) return std::nullopt;
    Design d;
    for (const QString& n : r.names())
        d.tables << DesignTable{n, {}};
    for (int i = 1; i < d.tables.size(); ++i) {
        const Join& j = in.tables[i].join;
        if (j.complete()) {
            const std::optional<Join> rj =
                join(r, i, JoinPair{{j.table, j.column}, {d.tables[i].name, j.ownColumn}});
            if (!rj) return std::nullopt;
            d.tables[i].join = *rj;
        } else {
            // Left incomplete where the columns could not be listed; the user picks them.
            const int k = r.index(j.table);
            if (k >= 0 && k < i) d.tables[i].join.table = r.names()[k];
        }
    }
    for (const ColumnRef& c : in.selected)
        if (c.table.isEmpty()) return std::nullopt;
    if (!selectList(r, in.selected, &d.selected)) return std::nullopt;
    d.condition = in.condition;
    return d;
}

} // namespace bd::querybuilder
