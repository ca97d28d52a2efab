#pragma once
// Workbooks in the binary format (.xls), read through libfreexl: each sheet becomes "name$".
#include "platform/db/import/SqliteWriter.h"

namespace bd::db::import {

bool importXls(const QString& path, bool header, ImportWriter& writer, QString* error);

} // namespace bd::db::import
