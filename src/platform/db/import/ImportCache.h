#pragma once
// Imports kept per source (path, size and modification time of every file read), most recent first,
// so that opening the same unchanged file again costs nothing.
#include "platform/db/FileImport.h"

#include <QString>
#include <memory>

namespace bd::db::import {

std::shared_ptr<const ImportedDatabase> cachedImport(const QString& key);
void keepImport(const QString& key, std::shared_ptr<const ImportedDatabase> db);
void dropImports();

} // namespace bd::db::import
