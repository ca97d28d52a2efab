#include "platform/db/import/ImportCache.h"

#include <list>
#include <mutex>

namespace bd::db::import {
namespace {

constexpr size_t kCacheEntries = 4;

struct Entry {
    QString key;
    std::shared_ptr<const ImportedDatabase> db;
};

std::mutex cacheMutex;
std::list<Entry> cache; // most recent first

} // namespace

std::shared_ptr<const ImportedDatabase> cachedImport(const QString& key) {
    std::lock_guard lock(cacheMutex);
    for (auto it = cache.begin(); it != cache.end(); ++it)
        if (it->key == key) {
            cache.splice(cache.begin(), cache, it);
            return cache.front().db;
        }
    return {};
}

void keepImport(const QString& key, std::shared_ptr<const ImportedDatabase> db) {
    std::lock_guard lock(cacheMutex);
    cache.push_front({key, std::move(db)});
    while (cache.size() > kCacheEntries)
        cache.pop_back();
}

void dropImports() {
    std::lock_guard lock(cacheMutex);
    cache.clear();
}

} // namespace bd::db::import
