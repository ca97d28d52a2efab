#include "platform/db/AdoTypes.h"

#include <QRegularExpression>

namespace bd::db {

int adoTypeFromMeta(QMetaType meta) {
    switch (meta.id()) {
    case QMetaType::Bool:
        return ado::Boolean;
    case QMetaType::Short:
        return ado::SmallInt;
    case QMetaType::UShort:
        return ado::UnsignedSmallInt;
    case QMetaType::Int:
        return ado::Integer;
    case QMetaType::UInt:
        return ado::UnsignedInt;
    case QMetaType::Long:
    case QMetaType::LongLong:
        return ado::BigInt;
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return ado::UnsignedBigInt;
    case QMetaType::Float:
        return ado::Single;
    case QMetaType::Double:
        return ado::Double;
    case QMetaType::QDate:
        return ado::Date;
    case QMetaType::QTime:
        return ado::DBTime;
    case QMetaType::QDateTime:
        return ado::DBTimeStamp;
    case QMetaType::QByteArray:
        return ado::VarBinary;
    default:
        return ado::VarChar;
    }
}

int adoTypeFromDeclared(const QString& declared) {
    const QString t = declared.trimmed().toUpper();
    if (t.isEmpty()) return ado::Empty;
    // Whole-word names first, then SQLite's affinity rules.
    static const QRegularExpression base(QStringLiteral("^([A-Z_ ]+?)\\s*(\\(.*)?$"));
    const auto m = base.match(t);
    const QString name = m.hasMatch() ? m.captured(1).trimmed() : t;
    if (name == "DATE") return ado::Date;
    if (name == "DATETIME" || name == "TIMESTAMP" || name == "SMALLDATETIME" || name == "DATETIME2")
        return ado::DBTimeStamp;
    if (name == "TIME") return ado::DBTime;
    if (name == "BOOLEAN" || name == "BOOL" || name == "BIT" || name == "YESNO") return ado::Boolean;
    if (name == "TINYINT") return ado::TinyInt;
    if (name == "BYTE") return ado::UnsignedTinyInt;
    if (name == "SMALLINT" || name == "INT2") return ado::SmallInt;
    if (name == "BIGINT" || name == "INT8" || name == "UNSIGNED BIG INT") return ado::BigInt;
    if (name == "CURRENCY" || name == "MONEY" || name == "SMALLMONEY") return ado::Currency;
    if (name == "DECIMAL" || name == "NUMERIC" || name == "NUMBER") return ado::Numeric;
    if (name == "FLOAT4" || name == "SINGLE") return ado::Single; // SQLite's REAL is a double: below
    if (name == "MEMO" || name == "LONGTEXT" || name == "MEDIUMTEXT" || name == "CLOB" || name == "NTEXT" ||
        name == "LONG VARCHAR" || name == "LONGCHAR" || name == "NCLOB")
        return ado::LongVarChar;
    if (name == "CHAR" || name == "NCHAR" || name == "CHARACTER") return ado::Char;
    if (name == "GUID" || name == "UUID" || name == "UNIQUEIDENTIFIER") return ado::Guid;
    if (t.contains("INT")) return t.contains("BIG") ? ado::BigInt : ado::Integer;
    if (t.contains("CHAR") || t.contains("CLOB") || t.contains("TEXT")) return ado::VarChar;
    if (t.contains("BLOB") || t.contains("BINARY") || t.contains("IMAGE") || name == "OLE")
        return ado::LongVarBinary;
    if (t.contains("REAL") || t.contains("FLOA") || t.contains("DOUB")) return ado::Double;
    return ado::Numeric;
}

int adoTypeFromMySql(int mysqlType, QMetaType meta) {
    const bool bytes = meta.id() == QMetaType::QByteArray;
    const bool isUnsigned = meta.id() == QMetaType::UInt || meta.id() == QMetaType::ULongLong;
    switch (mysqlType) {
    case 0:
    case 246:
        return ado::Numeric;
    case 1:
        return isUnsigned ? ado::UnsignedTinyInt : ado::TinyInt;
    case 2:
    case 13:
        return isUnsigned ? ado::UnsignedSmallInt : ado::SmallInt;
    case 3:
    case 9:
        return isUnsigned ? ado::UnsignedInt : ado::Integer;
    case 8:
        return isUnsigned ? ado::UnsignedBigInt : ado::BigInt;
    case 4:
        return ado::Single;
    case 5:
        return ado::Double;
    case 10:
    case 14:
        return ado::Date;
    case 11:
    case 19:
        return ado::DBTime;
    case 7:
    case 12:
    case 17:
    case 18:
        return ado::DBTimeStamp;
    case 16:
        return ado::Boolean;
    case 245:
        return ado::LongVarChar;
    case 249:
    case 250:
    case 251:
    case 252:
        return bytes ? ado::LongVarBinary : ado::LongVarChar;
    case 253:
    case 15:
    case 247:
    case 248:
        return bytes ? ado::VarBinary : ado::VarChar;
    case 254:
        return bytes ? ado::Binary : ado::Char;
    case 255:
        return ado::LongVarBinary;
    default:
        return adoTypeFromMeta(meta);
    }
}

int adoTypeFromPostgres(int oid, QMetaType meta) {
    switch (oid) {
    case 16:
        return ado::Boolean;
    case 17:
        return ado::LongVarBinary;
    case 18:
    case 1042:
        return ado::Char;
    case 19:
    case 1043:
        return ado::VarChar;
    case 20:
        return ado::BigInt;
    case 21:
        return ado::SmallInt;
    case 23:
    case 26:
        return ado::Integer;
    case 25:
    case 114:
    case 3802:
        return ado::LongVarChar; // unbounded text is long text, as the ODBC driver reports it
    case 700:
        return ado::Single;
    case 701:
        return ado::Double;
    case 790:
        return ado::Currency;
    case 1082:
        return ado::Date;
    case 1083:
    case 1266:
        return ado::DBTime;
    case 1114:
    case 1184:
        return ado::DBTimeStamp;
    case 1700:
        return ado::Numeric;
    case 2950:
        return ado::Guid;
    default:
        return adoTypeFromMeta(meta);
    }
}

int adoTypeFromOdbc(int sqlType, QMetaType meta) {
    switch (sqlType) {
    case 1:  // SQL_CHAR
    case -8: // SQL_WCHAR
        return ado::Char;
    case 12: // SQL_VARCHAR
    case -9: // SQL_WVARCHAR
        return ado::VarChar;
    case -1:  // SQL_LONGVARCHAR
    case -10: // SQL_WLONGVARCHAR
        return ado::LongVarChar;
    case 2: // SQL_NUMERIC
    case 3: // SQL_DECIMAL
        return ado::Numeric;
    case 4:
        return meta.id() == QMetaType::UInt ? ado::UnsignedInt : ado::Integer;
    case 5:
        return meta.id() == QMetaType::UShort ? ado::UnsignedSmallInt : ado::SmallInt;
    case -6:
        return ado::TinyInt;
    case -5:
        return meta.id() == QMetaType::ULongLong ? ado::UnsignedBigInt : ado::BigInt;
    case 7:
        return ado::Single;
    case 6:
    case 8:
        return ado::Double;
    case 9:
    case 91:
        return ado::Date;
    case 10:
    case 92:
        return ado::DBTime;
    case 11:
    case 93:
        return ado::DBTimeStamp;
    case -7:
        return ado::Boolean;
    case -2:
        return ado::Binary;
    case -3:
        return ado::VarBinary;
    case -4:
        return ado::LongVarBinary;
    case -11:
        return ado::Guid;
    default:
        return adoTypeFromMeta(meta);
    }
}

ColumnKind columnKindOf(int t) {
    switch (t) {
    case ado::SmallInt:
    case ado::Integer:
    case ado::TinyInt:
    case ado::UnsignedTinyInt:
    case ado::UnsignedSmallInt:
    case ado::UnsignedInt:
    case ado::BigInt:
    case ado::UnsignedBigInt:
        return ColumnKind::Integer;
    case ado::Single:
    case ado::Double:
    case ado::Currency:
    case ado::Decimal:
    case ado::Numeric:
    case 139:
        return ColumnKind::Real;
    case ado::Date:
    case ado::DBDate:
    case ado::DBTimeStamp:
        return ColumnKind::DateTime;
    case ado::Boolean:
        return ColumnKind::Boolean;
    default:
        return ColumnKind::Text;
    }
}

bool isDateType(int t) {
    return t == ado::Date || t == ado::DBDate || t == ado::DBTimeStamp;
}

} // namespace bd::db
