#pragma once
// The data-access library's field type numbers, and how each engine's own types map onto them.
#include "platform/dates/OleDate.h"
#include "platform/db/ColumnarResult.h"

#include <QMetaType>
#include <QString>

namespace bd::db {

namespace ado {
enum Type : int {
    Empty = 0,
    SmallInt = 2,
    Integer = 3,
    Single = 4,
    Double = 5,
    Currency = 6,
    Date = 7,
    Boolean = 11,
    Decimal = 14,
    TinyInt = 16,
    UnsignedTinyInt = 17,
    UnsignedSmallInt = 18,
    UnsignedInt = 19,
    BigInt = 20,
    UnsignedBigInt = 21,
    Guid = 72,
    Binary = 128,
    Char = 129,
    Numeric = 131,
    DBDate = 133,
    DBTime = 134,
    DBTimeStamp = 135,
    VarChar = 200,
    LongVarChar = 201,
    VarBinary = 204,
    LongVarBinary = 205,
};
} // namespace ado

// Text columns longer than this are long text (memo), as the spreadsheet drivers decide it.
constexpr int kShortTextLimit = 255;

// A SQLite declared column type ("INTEGER", "varchar(20)", "DATE", "MEMO" ...); empty = unknown.
int adoTypeFromDeclared(const QString& declared);
// Native type numbers reported by Qt's drivers (QSqlField::typeID) plus the value type Qt chose.
int adoTypeFromMySql(int mysqlType, QMetaType meta);
int adoTypeFromPostgres(int oid, QMetaType meta);
int adoTypeFromOdbc(int sqlType, QMetaType meta);
int adoTypeFromMeta(QMetaType meta);

// How the pivot's columns store a field of that type.
ColumnKind columnKindOf(int adoType);
bool isDateType(int adoType);

// Dates in the data layer: OLE date numbers (days since 1899-12-30, time as fraction).
using bd::dates::parseIsoDate;

} // namespace bd::db
