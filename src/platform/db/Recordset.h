#pragma once
// A forward-only, read-only query result: field names, type numbers and the current row's values.
#include <QString>
#include <QVariant>
#include <QVector>
#include <memory>

namespace bd::db {

class Connection;

struct Field {
    QString name;
    int type = 200; // the data-access type number (see AdoTypes.h)
    QVariant value; // current row; null QVariant = NULL. Dates are QDate or QDateTime.
    bool isNull() const { return value.isNull(); }
};

namespace detail {
class Cursor;
}

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Runs sql on the open connection; on success the recordset stands on the first row (eof() when
    // there is none). An open recordset is closed first.
    bool open(const QString& sql, Connection& c, QString* error);
    void close();
    bool isOpen() const { return cursor_ != nullptr; }

    bool eof() const { return eof_; }
    // Moves to the next row; false at the end or on an error (then lastError() says why).
    bool moveNext();

    int fieldCount() const { return int(fields_.size()); }
    const QVector<Field>& fields() const { return fields_; }
    const Field& field(int i) const { return fields_[i]; }
    QVariant value(int i) const { return fields_[i].value; }
    // Index of a field by name, ignoring letter case; -1 when absent.
    int indexOf(const QString& name) const;
    QString lastError() const { return lastError_; }

private:
    bool fetch();
    std::unique_ptr<detail::Cursor> cursor_;
    QVector<Field> fields_;
    bool eof_ = true;
    QString lastError_;
};

} // namespace bd::db
