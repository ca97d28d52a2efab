#pragma once
// Desktop databases (.mdb, .accdb), read through mdbtools: every user table with its own column types,
// and the saved queries as views where their SQL runs on SQLite.
#include "platform/db/import/SqliteWriter.h"

namespace bd::db::import {

bool importMdb(const QString& path, ImportWriter& writer, QString* error);

// The SQL of a saved query in SQLite's dialect: "texts" become 'texts', #dates# ISO texts.
QString accessQueryToSqlite(const QString& sql);

} // namespace bd::db::import
