#pragma once
// The query builder's model: the tables of a design, the columns ticked, the inner joins by column,
// the condition; the SQL they make; the text of a query the design cannot hold; and the saved state.
//
// Text in: SQL in the shapes the builder writes (and plain SELECT ... FROM ... [INNER] JOIN ... ON
// a.x = b.y ... WHERE ...) becomes a design; any other SQL is kept as text and given back unchanged.
// Text out: one clause a line, each join on its own line, lines ending CR LF, every name quoted.
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

namespace bd::querybuilder {

// How a table or column name is written in the SQL.
using Quoter = std::function<QString(const QString& name)>;
// Standard SQL quoting ("name", doubled quotes inside).
QString quoteStandard(const QString& name);

// What the builder knows of the database: its tables and views, and the columns of each (empty when
// they cannot be listed). Without any table the builder takes names as it finds them.
struct Catalog {
    QStringList tables;
    std::function<QStringList(const QString& table)> columns;
    // The catalog's spelling of a table, compared without letter case; empty when unknown.
    QString table(const QString& name) const;
    QStringList columnsOf(const QString& table) const { return columns ? columns(table) : QStringList(); }
};

// The join of a table to one placed before it: earlier.column = this table's ownColumn.
struct Join {
    QString table;
    QString column;
    QString ownColumn;
    bool complete() const { return !table.isEmpty() && !column.isEmpty() && !ownColumn.isEmpty(); }
    bool operator==(const Join&) const = default;
};

struct DesignTable {
    QString name;
    Join join; // unused for the first table
    bool operator==(const DesignTable&) const = default;
};

struct ColumnRef {
    QString table;
    QString column;
    bool operator==(const ColumnRef&) const = default;
};

// A design: the first table, then each further table joined to an earlier one.
struct Design {
    QVector<DesignTable> tables;
    QVector<ColumnRef> selected; // in the order of the select list; none = every column
    QString condition;           // the Where clause's text, as typed
    int indexOf(const QString& table) const;
    bool operator==(const Design&) const = default;
};

enum class Layout { Lines, OneLine };

// The SQL of a design (empty for a design without tables).
QString designSql(const Design& d, const Quoter& quote, Layout layout);
// What keeps a design from being complete SQL, one sentence each.
QStringList designProblems(const Design& d);
// The design an SQL text describes, or nothing when the builder cannot hold it. Names are matched to
// the catalog without letter case and take its spelling.
std::optional<Design> parseSql(const QString& sql, const Catalog& catalog);

class QueryModel {
public:
    QueryModel();

    void setCatalog(Catalog c);
    const Catalog& catalog() const { return catalog_; }
    void setQuoter(Quoter q);

    // SQL text. A text the design cannot hold is kept as it is.
    void setSql(const QString& sql);
    QString sql() const;
    QString formattedSql() const;
    bool isText() const { return isText_; }
    QString text() const { return text_; }
    // The user's edit of a kept text.
    void setText(const QString& t);

    // Saved state: one string. setState refuses (and changes nothing on) a string it did not write,
    // or one naming tables or columns the catalog does not have.
    QString state() const;
    bool setState(const QString& state);

    // Design editing. Every change leaves the model holding a design (not a text).
    const Design& design() const { return design_; }
    void clear();
    // Adds a table (false when it is already in the design or unknown to the catalog); it is joined
    // to an earlier table on a column of the same name when there is one.
    bool addTable(const QString& table);
    void removeTable(const QString& table);
    void setColumnChecked(const QString& table, const QString& column, bool on);
    bool isChecked(const QString& table, const QString& column) const;
    // Joins a table to an earlier one; false when the tables or columns do not fit.
    bool setJoin(const QString& table, const QString& ownColumn, const QString& other, const QString& column);
    void setCondition(const QString& condition);
    // The columns of a design table: the catalog's, or else those the design names.
    QStringList columnsOf(const QString& table) const;

private:
    void toDesign();
    void repairJoins();
    Join defaultJoin(int index) const;
    bool fitsCatalog(const Design& d) const;

    Catalog catalog_;
    Quoter quote_;
    Design design_;
    bool isText_ = false;
    QString text_;
};

} // namespace bd::querybuilder
