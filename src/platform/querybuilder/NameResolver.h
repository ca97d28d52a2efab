#pragma once
// Inside the query builder: matching the names of a parsed query or a saved state to the catalog.
#include "platform/querybuilder/QueryModel.h"

namespace bd::querybuilder {

// The catalog's spelling of a column (letter case ignored); empty when it has no such column.
QString spelling(const QStringList& columns, const QString& column);

// A join as the SQL writes it: two column references, one of them of the joined table.
struct JoinPair {
    ColumnRef a, b;
};

// A query as read, names as written; a column reference may lack its table.
struct ParsedQuery {
    QStringList tables;
    QVector<ColumnRef> selected;
    QVector<JoinPair> joins; // one for each table after the first
    QString condition;
};

// The design of a parsed query, names in the catalog's spelling; nothing when a name is unknown or
// ambiguous, a table is named twice, or a join does not link its table to an earlier one.
std::optional<Design> resolveQuery(const ParsedQuery& q, const Catalog& catalog);
// The same for a design read from a saved state.
std::optional<Design> resolveDesign(const Design& d, const Catalog& catalog);

} // namespace bd::querybuilder
