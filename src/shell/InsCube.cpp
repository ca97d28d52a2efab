#include "shell/InsCube.h"

#include "platform/db/Connection.h"

InsCube::InsCube() : CnnSql(std::make_unique<bd::db::Connection>()), RsSql(std::make_unique<bd::db::Recordset>()) {}

InsCube::~InsCube() = default;

void InsCube::ShowCube(bool, bool, const QString&, const QString&, const QString&) {}
