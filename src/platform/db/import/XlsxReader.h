#pragma once
// Workbooks in the Office Open XML format (.xlsx, .xlsm): each sheet becomes the table "name$".
// The sheets are parsed as they are inflated, never held whole.
#include "platform/db/import/SqliteWriter.h"

namespace bd::db::import {

bool importXlsx(const QString& path, bool header, ImportWriter& writer, QString* error);

} // namespace bd::db::import
