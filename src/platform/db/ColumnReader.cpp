// Placeholder: plain SQLite file paths through Qt's driver, row by row. The data layer replaces it.
#include "platform/db/ColumnReader.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <unordered_map>

namespace bd::db {

bool readColumns(const QString& connectionString, const QString& sql, ColumnarResult& out, QString* error) {
    QString path = connectionString;
    const int i = path.indexOf("Data Source=", 0, Qt::CaseInsensitive);
    if (i >= 0) path = path.mid(i + 12).section(';', 0, 0);
    const QString name = QUuid::createUuid().toString();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        if (!db.open()) {
            if (error) *error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (!q.exec(sql)) {
                if (error) *error = q.lastError().text();
            } else {
                out = {};
                const QSqlRecord rec = q.record();
                std::vector<std::unordered_map<std::string, uint32_t>> dicts(rec.count());
                for (int c = 0; c < rec.count(); ++c) {
                    ColumnData col;
                    col.name = rec.fieldName(c).toStdString();
                    out.columns.push_back(col);
                }
                bool first = true;
                while (q.next()) {
                    for (int c = 0; c < rec.count(); ++c) {
                        ColumnData& col = out.columns[c];
                        const QVariant v = q.value(c);
                        if (first) {
                            const auto t = v.metaType().id();
                            col.kind = (t == QMetaType::LongLong || t == QMetaType::Int) ? ColumnKind::Integer
                                       : t == QMetaType::Double                          ? ColumnKind::Real
                                                                                          : ColumnKind::Text;
                            col.adoType = col.kind == ColumnKind::Integer ? 3 : col.kind == ColumnKind::Real ? 5 : 200;
                        }
                        const bool isNull = v.isNull();
                        if (isNull && col.nulls.empty()) col.nulls.assign(out.rowCount, 0);
                        if (!col.nulls.empty()) col.nulls.push_back(isNull ? 1 : 0);
                        switch (col.kind) {
                        case ColumnKind::Integer:
                        case ColumnKind::Boolean: col.ints.push_back(v.toLongLong()); break;
                        case ColumnKind::Real:
                        case ColumnKind::DateTime: col.reals.push_back(v.toDouble()); break;
                        case ColumnKind::Text: {
                            const std::string s = v.toString().toStdString();
                            auto [it, added] = dicts[c].try_emplace(s, uint32_t(col.dict.size()));
                            if (added) col.dict.push_back(s);
                            col.codes.push_back(it->second);
                            break;
                        }
                        }
                    }
                    first = false;
                    ++out.rowCount;
                }
                ok = true;
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace bd::db
