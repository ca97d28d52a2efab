#pragma once
// The registry layer: keys with named string values (the default value has the name ""), kept in a
// JSON file in the user's configuration folder. File-type and control-library registrations live here.
#include <QString>
#include <QStringList>
#include <optional>

namespace bd::os {

class Registry {
public:
    virtual ~Registry() = default;
    // Creates the key (and its parents) when missing; false on failure.
    virtual bool createKey(const QString& key) = 0;
    virtual bool setValue(const QString& key, const QString& name, const QString& value) = 0;
    virtual std::optional<QString> value(const QString& key, const QString& name = QString()) const = 0;
    virtual bool keyExists(const QString& key) const = 0;
    virtual bool deleteKey(const QString& key) = 0;
    virtual QStringList keys() const = 0;
};

// Keys are compared without regard to case; "\" separates levels, e.g. "HKEY_CLASSES_ROOT\.cub".
class FileRegistry : public Registry {
public:
    explicit FileRegistry(QString path = QString()); // "" = ConfigPath()/registry.json
    bool createKey(const QString& key) override;
    bool setValue(const QString& key, const QString& name, const QString& value) override;
    std::optional<QString> value(const QString& key, const QString& name = QString()) const override;
    bool keyExists(const QString& key) const override;
    bool deleteKey(const QString& key) override;
    QStringList keys() const override;
    // Test hook: every write fails.
    bool failWrites = false;

private:
    QString path_;
};

Registry& registry();
void setRegistry(Registry* r); // nullptr restores the file registry

} // namespace bd::os
