#pragma once
// Placeholder of the data layer's connection and recordset; the data-access work replaces it.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace bd::db {

class Connection {
public:
    bool open(const QString& connectionString, int timeoutSeconds, QString* error);
    void close();
    bool isOpen() const { return open_; }
    QString connectionString() const { return cs_; }

private:
    bool open_ = false;
    QString cs_;
};

class Recordset {
public:
    bool open(const QString& sql, Connection& c, QString* error);
    void close() { open_ = false; }
    bool isOpen() const { return open_; }

private:
    bool open_ = false;
};

} // namespace bd::db
