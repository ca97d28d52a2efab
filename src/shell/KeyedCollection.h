#pragma once
// A keyed collection of texts: keys compared without regard to case, insertion order kept, adding a
// key twice fails.
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

class KeyedCollection {
public:
    bool add(const QString& key, const QString& value) {
        const QString k = key.toUpper();
        if (index_.contains(k)) return false;
        index_.insert(k, values_.size());
        keys_ << key;
        values_ << value;
        return true;
    }
    std::optional<QString> item(const QString& key) const {
        const auto it = index_.constFind(key.toUpper());
        if (it == index_.constEnd()) return std::nullopt;
        return values_[*it];
    }
    bool contains(const QString& key) const { return index_.contains(key.toUpper()); }
    int count() const { return int(values_.size()); }
    const QStringList& keys() const { return keys_; }
    const QStringList& values() const { return values_; }
    void clear() {
        index_.clear();
        keys_.clear();
        values_.clear();
    }

private:
    QHash<QString, int> index_;
    QStringList keys_, values_;
};
