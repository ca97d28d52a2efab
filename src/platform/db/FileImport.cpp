#include "platform/db/FileImport.h"

#include "platform/db/AdoTypes.h"
#include "platform/zip/Zip.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

#include <cmath>
#include <freexl.h>
#include <list>
#include <mdbtools.h>
#include <mutex>
#include <sqlite3.h>

namespace bd::db {

ImportedDatabase::~ImportedDatabase() {
    sqlite3_free(data);
}

namespace {

// ---- cells and tables -------------------------------------------------------------------------

struct Cell {
    enum Kind : uint8_t { Null, Number, Date, Text, Bool } kind = Null;
    double num = 0;
    QString text;
    static Cell number(double v) { return {Number, v, {}}; }
    static Cell date(double v) { return {Date, v, {}}; }
    static Cell str(const QString& s) { return {Text, 0, s}; }
    static Cell boolean(bool b) { return {Bool, b ? 1.0 : 0.0, {}}; }
};

struct Table {
    QString name;
    QStringList columns;
    QStringList declared; // SQLite declared types; empty = infer from the cells
    QVector<QVector<Cell>> rows;
};

QString formatNumber(double v) {
    if (std::floor(v) == v && std::fabs(v) < 1e15) return QString::number(qint64(v));
    return QString::number(v, 'g', 15);
}

QString cellText(const Cell& c) {
    switch (c.kind) {
    case Cell::Number:
        return formatNumber(c.num);
    case Cell::Date:
        return QString::fromStdString(bd::dates::oleToIso(c.num));
    case Cell::Bool:
        return c.num != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case Cell::Text:
        return c.text;
    case Cell::Null:
        break;
    }
    return {};
}

// Column names from the first row (HDR=YES) or F1..Fn; empty and repeated names are made unique.
void nameColumns(Table& t, bool header, int width) {
    QStringList names;
    QSet<QString> seen;
    for (int c = 0; c < width; ++c) {
        QString n;
        if (header && !t.rows.isEmpty() && c < t.rows[0].size()) n = cellText(t.rows[0][c]).trimmed();
        if (n.isEmpty()) n = QStringLiteral("F%1").arg(c + 1);
        QString unique = n;
        for (int k = 1; seen.contains(unique.toUpper()); ++k)
            unique = n + QString::number(k);
        seen.insert(unique.toUpper());
        names << unique;
    }
    if (header && !t.rows.isEmpty()) t.rows.removeFirst();
    t.columns = names;
    for (auto& r : t.rows)
        r.resize(width);
}

// Types from the values, as the spreadsheet drivers decide them.
void inferTypes(Table& t) {
    t.declared.clear();
    for (int c = 0; c < t.columns.size(); ++c) {
        bool any = false, allNum = true, allInt = true, allInt32 = true, allDate = true, allBool = true;
        bool longText = false;
        for (const auto& r : t.rows) {
            const Cell& v = r[c];
            if (v.kind == Cell::Null) continue;
            any = true;
            if (v.kind != Cell::Number) allNum = false;
            if (v.kind != Cell::Date) allDate = false;
            if (v.kind != Cell::Bool) allBool = false;
            if (v.kind == Cell::Number) {
                if (std::floor(v.num) != v.num || std::fabs(v.num) > 9.2e18)
                    allInt = allInt32 = false;
                else if (std::fabs(v.num) > 2147483647.0)
                    allInt32 = false;
            }
            if (v.kind == Cell::Text && v.text.size() > kShortTextLimit) longText = true;
            if (!longText && v.kind != Cell::Text && cellText(v).size() > kShortTextLimit) longText = true;
        }
        QString type;
        if (!any)
            type = "VARCHAR(255)";
        else if (allNum)
            type = allInt32 ? "INTEGER" : allInt ? "BIGINT" : "DOUBLE";
        else if (allDate)
            type = "DATE";
        else if (allBool)
            type = "BOOLEAN";
        else
            type = longText ? "MEMO" : "VARCHAR(255)";
        t.declared << type;
    }
}

QString quoteName(const QString& n) {
    QString q = n;
    q.replace('"', "\"\"");
    return '"' + q + '"';
}

bool parseInt(const QString& s, qint64& v) {
    bool ok = false;
    v = s.trimmed().toLongLong(&ok);
    return ok;
}

bool parseReal(const QString& s, double& v) {
    bool ok = false;
    v = s.trimmed().toDouble(&ok); // C locale: "." as decimal point
    return ok;
}

// Writes the tables into a fresh in-memory database and serializes it.
std::shared_ptr<ImportedDatabase> buildDatabase(QVector<Table>& tables, QString* error) {
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
        if (error) *error = QStringLiteral("Cannot create the in-memory database.");
        sqlite3_close(db);
        return {};
    }
    auto fail = [&](const QString& what) -> std::shared_ptr<ImportedDatabase> {
        if (error) *error = what + ": " + QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return {};
    };
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    QSet<QString> used;
    for (auto& t : tables) {
        if (used.contains(t.name.toUpper())) continue;
        used.insert(t.name.toUpper());
        if (t.columns.isEmpty()) continue;
        if (t.declared.size() != t.columns.size()) inferTypes(t);
        QStringList defs;
        for (int c = 0; c < t.columns.size(); ++c)
            defs << quoteName(t.columns[c]) + ' ' + t.declared[c];
        const QString create = "CREATE TABLE " + quoteName(t.name) + " (" + defs.join(", ") + ")";
        if (sqlite3_exec(db, create.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return fail(QStringLiteral("Cannot import the table \"%1\"").arg(t.name));
        QStringList marks;
        for (int c = 0; c < t.columns.size(); ++c)
            marks << "?";
        const QByteArray insert =
            ("INSERT INTO " + quoteName(t.name) + " VALUES (" + marks.join(',') + ")").toUtf8();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, insert.constData(), -1, &st, nullptr) != SQLITE_OK)
            return fail(QStringLiteral("Cannot import the table \"%1\"").arg(t.name));
        QVector<int> types;
        for (const auto& d : t.declared)
            types << adoTypeFromDeclared(d);
        for (const auto& r : t.rows) {
            for (int c = 0; c < t.columns.size(); ++c) {
                const Cell& v = c < r.size() ? r[c] : Cell{};
                const int col = c + 1;
                const ColumnKind kind = columnKindOf(types[c]);
                if (v.kind == Cell::Null || types[c] == ado::LongVarBinary) {
                    sqlite3_bind_null(st, col);
                    continue;
                }
                qint64 iv;
                double dv;
                if (kind == ColumnKind::Integer || kind == ColumnKind::Boolean) {
                    if (v.kind == Cell::Number || v.kind == Cell::Bool)
                        sqlite3_bind_int64(st, col, qint64(v.num));
                    else if (parseInt(v.text, iv))
                        sqlite3_bind_int64(st, col, iv);
                    else if (kind == ColumnKind::Boolean)
                        sqlite3_bind_int(st, col, v.text.compare("TRUE", Qt::CaseInsensitive) == 0 ? 1 : 0);
                    else
                        sqlite3_bind_null(st, col);
                } else if (kind == ColumnKind::Real) {
                    if (v.kind == Cell::Number)
                        sqlite3_bind_double(st, col, v.num);
                    else if (parseReal(v.text, dv))
                        sqlite3_bind_double(st, col, dv);
                    else
                        sqlite3_bind_null(st, col);
                } else if (kind == ColumnKind::DateTime) {
                    QString s = v.kind == Cell::Text ? v.text.trimmed() : cellText(v);
                    if (s.endsWith(QLatin1String(" 00:00:00"))) s.chop(9);
                    const QByteArray b = s.toUtf8();
                    sqlite3_bind_text(st, col, b.constData(), int(b.size()), SQLITE_TRANSIENT);
                } else {
                    const QByteArray b = cellText(v).toUtf8();
                    sqlite3_bind_text(st, col, b.constData(), int(b.size()), SQLITE_TRANSIENT);
                }
            }
            if (sqlite3_step(st) != SQLITE_DONE) {
                sqlite3_finalize(st);
                return fail(QStringLiteral("Cannot import the table \"%1\"").arg(t.name));
            }
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    auto out = std::make_shared<ImportedDatabase>();
    sqlite3_int64 size = 0;
    out->data = sqlite3_serialize(db, "main", &size, 0);
    out->size = size;
    sqlite3_close(db);
    if (!out->data) {
        if (error) *error = QStringLiteral("Cannot keep the imported data in memory.");
        return {};
    }
    return out;
}

// ---- csv ----------------------------------------------------------------------------------------

bool looksInteger(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^[+-]?\\d{1,18}$"));
    return re.match(s).hasMatch();
}
bool looksReal(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    return re.match(s).hasMatch();
}

Cell csvCell(const QString& raw, bool quoted) {
    if (raw.isEmpty()) return {};
    if (quoted) return Cell::str(raw);
    const QString s = raw.trimmed();
    if (looksInteger(s) || looksReal(s)) return Cell::number(s.toDouble());
    double ole;
    const QByteArray b = s.toUtf8();
    if (parseIsoDate(b.constData(), size_t(b.size()), ole)) return Cell::date(ole);
    return Cell::str(raw);
}

bool readCsv(const QString& path, QChar delimiter, bool header, Table& t, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read the file \"%1\".").arg(QDir::toNativeSeparators(path));
        return false;
    }
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    QVector<Cell> row;
    QString field;
    bool quoted = false, inQuotes = false, any = false;
    int width = 0;
    auto endField = [&] {
        row.append(csvCell(field, quoted));
        field.clear();
        quoted = false;
    };
    auto endRow = [&] {
        endField();
        if (!(row.size() == 1 && row[0].kind == Cell::Null)) {
            width = std::max(width, int(row.size()));
            t.rows.append(row);
        }
        row.clear();
    };
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        const QChar ch = text[i];
        any = true;
        if (inQuotes) {
            if (ch == '"') {
                if (i + 1 < n && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                field += ch;
            }
        } else if (ch == '"' && field.trimmed().isEmpty()) {
            field.clear();
            inQuotes = quoted = true;
        } else if (ch == delimiter) {
            endField();
        } else if (ch == '\r' || ch == '\n') {
            if (ch == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
            endRow();
            any = false;
        } else {
            field += ch;
        }
    }
    if (any) endRow();
    nameColumns(t, header, width);
    return true;
}

// ---- xlsx ---------------------------------------------------------------------------------------

constexpr qint64 kMaxXmlMember = 1024ll * 1024 * 1024;

bool isDateFormatCode(QString code) {
    static const QRegularExpression quoted(QStringLiteral("\"[^\"]*\"|\\\\.|\\[[^\\]]*\\]|_.|\\*."));
    code.remove(quoted);
    code = code.toLower();
    if (code.contains("general")) return false;
    return code.contains('y') || code.contains('d') || code.contains('m') || code.contains('h') ||
           code.contains('s');
}

bool isBuiltinDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

QString attr(const QXmlStreamReader& x, const char* name) {
    for (const auto& a : x.attributes())
        if (a.name() == QLatin1String(name)) return a.value().toString();
    return {};
}

int columnIndex(const QString& ref) {
    int c = 0;
    for (const QChar ch : ref) {
        if (ch >= 'A' && ch <= 'Z')
            c = c * 26 + (ch.unicode() - 'A' + 1);
        else if (ch >= 'a' && ch <= 'z')
            c = c * 26 + (ch.unicode() - 'a' + 1);
        else
            break;
    }
    return c - 1;
}

int rowIndex(const QString& ref) {
    int i = 0;
    while (i < ref.size() && ref[i].isLetter())
        ++i;
    bool ok = false;
    const int r = ref.mid(i).toInt(&ok);
    return ok ? r - 1 : -1;
}

bool readXlsx(const QString& path, bool header, QVector<Table>& tables, QString* error) {
    auto member = [&](const QString& name, QByteArray& out, bool required) {
        QString why;
        if (bd::zip::readMember(path, name, out, &why, kMaxXmlMember, true)) return true;
        if (required && error)
            *error = QStringLiteral("The workbook \"%1\" cannot be read: %2")
                         .arg(QDir::toNativeSeparators(path), why);
        return !required;
    };
    QByteArray workbook, rels, shared, styles;
    if (!member("xl/workbook.xml", workbook, true) || !member("xl/_rels/workbook.xml.rels", rels, true))
        return false;
    member("xl/sharedStrings.xml", shared, false);
    member("xl/styles.xml", styles, false);

    bool date1904 = false;
    QList<QPair<QString, QString>> sheets; // name, relationship id
    for (QXmlStreamReader x(workbook); !x.atEnd();) {
        if (x.readNext() != QXmlStreamReader::StartElement) continue;
        if (x.name() == QLatin1String("workbookPr")) {
            const QString v = attr(x, "date1904");
            date1904 = v == "1" || v == "true";
        } else if (x.name() == QLatin1String("sheet")) {
            sheets.append({attr(x, "name"), attr(x, "id")});
        }
    }
    QHash<QString, QString> targets;
    for (QXmlStreamReader x(rels); !x.atEnd();)
        if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("Relationship"))
            targets.insert(attr(x, "Id"), attr(x, "Target"));

    QStringList strings;
    for (QXmlStreamReader x(shared); !x.atEnd();) {
        if (x.readNext() != QXmlStreamReader::StartElement) continue;
        if (x.name() == QLatin1String("si")) {
            QString s;
            int depth = 1, phonetic = 0;
            while (depth > 0 && !x.atEnd()) {
                const auto tok = x.readNext();
                if (tok == QXmlStreamReader::StartElement) {
                    ++depth;
                    if (x.name() == QLatin1String("rPh"))
                        ++phonetic;
                    else if (x.name() == QLatin1String("t") && !phonetic)
                        s += x.readElementText(), --depth;
                } else if (tok == QXmlStreamReader::EndElement) {
                    --depth;
                    if (x.name() == QLatin1String("rPh")) --phonetic;
                }
            }
            strings << s;
        }
    }

    QHash<int, bool> customDate;
    QVector<bool> xfIsDate;
    bool inCellXfs = false;
    for (QXmlStreamReader x(styles); !x.atEnd();) {
        const auto tok = x.readNext();
        if (tok == QXmlStreamReader::StartElement) {
            if (x.name() == QLatin1String("numFmt"))
                customDate.insert(attr(x, "numFmtId").toInt(), isDateFormatCode(attr(x, "formatCode")));
            else if (x.name() == QLatin1String("cellXfs"))
                inCellXfs = true;
            else if (inCellXfs && x.name() == QLatin1String("xf")) {
                const int id = attr(x, "numFmtId").toInt();
                xfIsDate << (customDate.contains(id) ? customDate.value(id) : isBuiltinDateFormat(id));
            }
        } else if (tok == QXmlStreamReader::EndElement && x.name() == QLatin1String("cellXfs")) {
            inCellXfs = false;
        }
    }

    for (const auto& [sheetName, rid] : sheets) {
        QString target = targets.value(rid);
        if (target.isEmpty()) continue;
        target = target.startsWith('/') ? target.mid(1) : "xl/" + target;
        QByteArray xml;
        if (!member(target, xml, true)) return false;
        Table t;
        t.name = sheetName + '$';
        int width = 0, nextRow = 0;
        QXmlStreamReader x(xml);
        while (!x.atEnd()) {
            if (x.readNext() != QXmlStreamReader::StartElement || x.name() != QLatin1String("row")) continue;
            int r = rowIndex("A" + attr(x, "r"));
            if (r < 0) r = nextRow;
            nextRow = r + 1;
            if (r > 1048576) break;
            while (t.rows.size() <= r)
                t.rows.append(QVector<Cell>());
            QVector<Cell>& row = t.rows[r];
            int nextCol = 0;
            while (x.readNextStartElement()) {
                if (x.name() != QLatin1String("c")) {
                    x.skipCurrentElement();
                    continue;
                }
                const QString ref = attr(x, "r");
                int c = ref.isEmpty() ? nextCol : columnIndex(ref);
                if (c < 0 || c > 16384) c = nextCol;
                nextCol = c + 1;
                const QString type = attr(x, "t");
                const int style = attr(x, "s").toInt();
                QString v, inlineText;
                while (x.readNextStartElement()) {
                    if (x.name() == QLatin1String("v"))
                        v = x.readElementText();
                    else if (x.name() == QLatin1String("is")) {
                        while (x.readNextStartElement()) {
                            if (x.name() == QLatin1String("t"))
                                inlineText += x.readElementText();
                            else if (x.name() == QLatin1String("r")) {
                                while (x.readNextStartElement())
                                    if (x.name() == QLatin1String("t"))
                                        inlineText += x.readElementText();
                                    else
                                        x.skipCurrentElement();
                            } else
                                x.skipCurrentElement();
                        }
                    } else
                        x.skipCurrentElement();
                }
                Cell cell;
                if (type == "s") {
                    const int i = v.toInt();
                    if (i >= 0 && i < strings.size()) cell = Cell::str(strings[i]);
                } else if (type == "inlineStr") {
                    cell = Cell::str(inlineText);
                } else if (type == "str") {
                    cell = Cell::str(v);
                } else if (type == "b") {
                    cell = Cell::boolean(v.trimmed() == "1");
                } else if (type == "e") {
                    cell = {};
                } else if (type == "d") {
                    double ole;
                    const QByteArray b = v.toUtf8();
                    cell =
                        parseIsoDate(b.constData(), size_t(b.size()), ole) ? Cell::date(ole) : Cell::str(v);
                } else if (!v.isEmpty()) {
                    bool ok = false;
                    const double d = v.toDouble(&ok);
                    if (ok) {
                        const bool isDate = style >= 0 && style < xfIsDate.size() && xfIsDate[style];
                        cell = isDate ? Cell::date(date1904 ? d + 1462 : d) : Cell::number(d);
                    } else {
                        cell = Cell::str(v);
                    }
                }
                if (cell.kind == Cell::Text && cell.text.isEmpty()) cell = {};
                if (row.size() <= c) row.resize(c + 1);
                row[c] = cell;
                width = std::max(width, c + 1);
            }
        }
        if (x.hasError()) {
            if (error)
                *error = QStringLiteral("The sheet \"%1\" of \"%2\" cannot be read: %3")
                             .arg(sheetName, QDir::toNativeSeparators(path), x.errorString());
            return false;
        }
        // Trailing empty rows carry nothing.
        while (!t.rows.isEmpty()) {
            bool empty = true;
            for (const auto& c : t.rows.last())
                empty = empty && c.kind == Cell::Null;
            if (!empty) break;
            t.rows.removeLast();
        }
        nameColumns(t, header, width);
        tables.append(std::move(t));
    }
    return true;
}

// ---- xls ----------------------------------------------------------------------------------------

bool readXls(const QString& path, bool header, QVector<Table>& tables, QString* error) {
    const void* h = nullptr;
    const QByteArray p = QFile::encodeName(path);
    auto fail = [&](const QString& why) {
        if (h) freexl_close(h);
        if (error)
            *error = QStringLiteral("The workbook \"%1\" cannot be read: %2")
                         .arg(QDir::toNativeSeparators(path), why);
        return false;
    };
    if (freexl_open(p.constData(), &h) != FREEXL_OK) return fail(QStringLiteral("not a readable .xls file."));
    unsigned int info = 0;
    if (freexl_get_info(h, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
        return fail(QStringLiteral("the workbook is protected by a password."));
    unsigned int count = 0;
    if (freexl_get_info(h, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK)
        return fail(QStringLiteral("no sheets."));
    for (unsigned short s = 0; s < count; ++s) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(h, s, &name) != FREEXL_OK ||
            freexl_select_active_worksheet(h, s) != FREEXL_OK)
            return fail(QStringLiteral("a sheet cannot be read."));
        unsigned int rows = 0;
        unsigned short cols = 0;
        if (freexl_worksheet_dimensions(h, &rows, &cols) != FREEXL_OK)
            return fail(QStringLiteral("a sheet cannot be read."));
        Table t;
        t.name = QString::fromUtf8(name ? name : "") + '$';
        for (unsigned int r = 0; r < rows; ++r) {
            QVector<Cell> row(cols);
            for (unsigned short c = 0; c < cols; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(h, r, c, &v) != FREEXL_OK) continue;
                double ole;
                switch (v.type) {
                case FREEXL_CELL_INT:
                    row[c] = Cell::number(v.value.int_value);
                    break;
                case FREEXL_CELL_DOUBLE:
                    row[c] = Cell::number(v.value.double_value);
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT: {
                    const QString s = QString::fromUtf8(v.value.text_value);
                    if (!s.isEmpty()) row[c] = Cell::str(s);
                    break;
                }
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                    if (v.value.text_value &&
                        parseIsoDate(v.value.text_value, strlen(v.value.text_value), ole))
                        row[c] = Cell::date(ole);
                    break;
                case FREEXL_CELL_TIME:
                    row[c] = Cell::str(QString::fromUtf8(v.value.text_value));
                    break;
                default:
                    break;
                }
            }
            t.rows.append(row);
        }
        nameColumns(t, header, cols);
        tables.append(std::move(t));
    }
    freexl_close(h);
    return true;
}

// ---- mdb / accdb --------------------------------------------------------------------------------

QString mdbDeclared(int type, bool& binary) {
    binary = false;
    switch (type) {
    case MDB_BOOL:
        return "BOOLEAN";
    case MDB_BYTE:
        return "BYTE";
    case MDB_INT:
        return "SMALLINT";
    case MDB_LONGINT:
        return "INTEGER";
    case MDB_MONEY:
        return "CURRENCY";
    case MDB_FLOAT:
        return "SINGLE";
    case MDB_DOUBLE:
        return "DOUBLE";
    case MDB_DATETIME:
        return "DATE";
    case MDB_TEXT:
        return "VARCHAR(255)";
    case MDB_MEMO:
        return "MEMO";
    case MDB_REPID:
        return "GUID";
    case MDB_NUMERIC:
        return "DECIMAL";
    case MDB_COMPLEX:
        return "INTEGER";
    default:
        binary = true;
        return "BLOB";
    }
}

bool readMdb(const QString& path, QVector<Table>& tables, QString* error) {
    const QByteArray p = QFile::encodeName(path);
    MdbHandle* mdb = mdb_open(p.constData(), MDB_NOFLAGS);
    if (!mdb) {
        if (error)
            *error =
                QStringLiteral("The database \"%1\" cannot be read.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    constexpr size_t kBind = 256 * 1024;
    mdb_set_bind_size(mdb, kBind);
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    if (!mdb_read_catalog(mdb, MDB_TABLE)) {
        mdb_close(mdb);
        if (error)
            *error = QStringLiteral("The database \"%1\" has no readable catalogue.")
                         .arg(QDir::toNativeSeparators(path));
        return false;
    }
    for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry)) continue;
        MdbTableDef* table = mdb_read_table(entry);
        if (!table) continue;
        mdb_read_columns(table);
        mdb_rewind_table(table);
        Table t;
        t.name = QString::fromUtf8(entry->object_name);
        const unsigned int n = table->num_cols;
        std::vector<std::vector<char>> bufs(n, std::vector<char>(kBind + 1));
        std::vector<int> lens(n, 0);
        std::vector<bool> binary(n, false);
        for (unsigned int c = 0; c < n; ++c) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
            t.columns << QString::fromUtf8(col->name);
            bool bin = false;
            t.declared << mdbDeclared(col->col_type, bin);
            binary[c] = bin;
            mdb_bind_column(table, int(c + 1), bufs[c].data(), &lens[c]);
        }
        while (mdb_fetch_row(table)) {
            QVector<Cell> row(static_cast<int>(n));
            for (unsigned int c = 0; c < n; ++c) {
                if (binary[c] || lens[c] <= 0) {
                    // Booleans come back as "1"/"0" of length 1; an empty text is an empty text.
                    continue;
                }
                row[int(c)] =
                    Cell::str(QString::fromUtf8(bufs[c].data(), std::min<int>(lens[c], int(kBind))));
            }
            t.rows.append(row);
        }
        mdb_free_tabledef(table);
        tables.append(std::move(t));
    }
    mdb_close(mdb);
    return true;
}

// ---- cache --------------------------------------------------------------------------------------

struct CacheEntry {
    QString key;
    std::shared_ptr<const ImportedDatabase> db;
};
std::mutex cacheMutex;
std::list<CacheEntry> cache; // most recent first
constexpr size_t kCacheEntries = 4;

QStringList sourceFiles(const EngineChoice& c) {
    const QFileInfo fi(c.file);
    if (c.engine == Engine::Csv && fi.isDir()) {
        QStringList files;
        for (const auto& e : QDir(c.file).entryInfoList({"*.csv", "*.txt", "*.tab"}, QDir::Files, QDir::Name))
            files << e.absoluteFilePath();
        return files;
    }
    return {fi.absoluteFilePath()};
}

} // namespace

QString resolveFileCase(const QString& path) {
    if (path.isEmpty() || QFileInfo::exists(path)) return path;
    const QString clean =
        QDir::cleanPath(QDir(path).isAbsolute() ? path : QDir::current().absoluteFilePath(path));
    const QStringList parts = clean.split('/', Qt::SkipEmptyParts);
    QString cur = clean.startsWith('/') ? QStringLiteral("/") : QString();
    for (const QString& part : parts) {
        const QString direct = QDir(cur).filePath(part);
        if (QFileInfo::exists(direct)) {
            cur = direct;
            continue;
        }
        QString found;
        for (const QString& e : QDir(cur).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            if (e.compare(part, Qt::CaseInsensitive) == 0) {
                if (!found.isEmpty()) return path; // ambiguous: keep what was given
                found = e;
            }
        if (found.isEmpty()) return path;
        cur = QDir(cur).filePath(found);
    }
    return cur;
}

std::shared_ptr<const ImportedDatabase> importFile(const EngineChoice& choice, QString* error) {
    const QString file = resolveFileCase(choice.file);
    const QFileInfo fi(file);
    if (!fi.exists()) {
        if (error)
            *error =
                QStringLiteral("The file \"%1\" does not exist.").arg(QDir::toNativeSeparators(choice.file));
        return {};
    }
    EngineChoice c = choice;
    c.file = file;
    QString key = engineName(c.engine) + '|' + QString::number(c.header) + '|' + QString(c.delimiter);
    for (const QString& f : sourceFiles(c)) {
        const QFileInfo s(f);
        key += '|' + f + '|' + QString::number(s.size()) + '|' +
               QString::number(s.lastModified().toMSecsSinceEpoch());
    }
    {
        std::lock_guard lock(cacheMutex);
        for (auto it = cache.begin(); it != cache.end(); ++it)
            if (it->key == key) {
                cache.splice(cache.begin(), cache, it);
                return cache.front().db;
            }
    }

    QVector<Table> tables;
    bool ok = false;
    const QString suffix = fi.suffix().toLower();
    switch (c.engine) {
    case Engine::Csv: {
        ok = true;
        for (const QString& f : sourceFiles(c)) {
            Table t;
            t.name = QFileInfo(f).fileName();
            if (!readCsv(f, c.delimiter, c.header, t, error)) {
                ok = false;
                break;
            }
            tables.append(std::move(t));
        }
        break;
    }
    case Engine::Excel:
        ok = suffix == "xls" ? readXls(file, c.header, tables, error)
                             : readXlsx(file, c.header, tables, error);
        break;
    case Engine::Access:
        ok = readMdb(file, tables, error);
        break;
    default:
        if (error) *error = QStringLiteral("This engine has no file import.");
        break;
    }
    if (!ok) return {};
    std::shared_ptr<const ImportedDatabase> db = buildDatabase(tables, error);
    if (!db) return {};
    std::lock_guard lock(cacheMutex);
    cache.push_front({key, db});
    while (cache.size() > kCacheEntries)
        cache.pop_back();
    return db;
}

void clearImportCache() {
    std::lock_guard lock(cacheMutex);
    cache.clear();
}

QString desktopSqlToSqlite(const QString& sql) {
    static const QRegularExpression iso(QStringLiteral(
        "^\\s*(\\d{4})[-/](\\d{1,2})[-/](\\d{1,2})(?:[ T]+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?\\s*$"));
    static const QRegularExpression us(
        QStringLiteral("^\\s*(\\d{1,2})[/.-](\\d{1,2})[/"
                       ".-](\\d{2,4})(?:\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*([AaPp][Mm])?)?\\s*$"));
    QString out;
    const int n = sql.size();
    for (int i = 0; i < n; ++i) {
        const QChar ch = sql[i];
        if (ch == '\'' || ch == '"' || ch == '[' || ch == '`') {
            const QChar close = ch == '[' ? QChar(']') : ch;
            int j = i + 1;
            while (j < n && sql[j] != close)
                ++j;
            out += sql.mid(i, j - i + 1);
            i = j;
            continue;
        }
        if (ch == '#') {
            const int j = sql.indexOf('#', i + 1);
            if (j > i) {
                const QString lit = sql.mid(i + 1, j - i - 1);
                int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0;
                bool time = false, ok = false;
                if (auto mt = iso.match(lit); mt.hasMatch()) {
                    y = mt.captured(1).toInt(), m = mt.captured(2).toInt(), d = mt.captured(3).toInt();
                    time = !mt.captured(4).isEmpty();
                    h = mt.captured(4).toInt(), mi = mt.captured(5).toInt(), s = mt.captured(6).toInt();
                    ok = true;
                } else if (auto mu = us.match(lit); mu.hasMatch()) {
                    // The desktop engines read #a/b/y# month first, unless that cannot be a month.
                    m = mu.captured(1).toInt(), d = mu.captured(2).toInt(), y = mu.captured(3).toInt();
                    if (m > 12 && d <= 12) std::swap(m, d);
                    if (y < 100) y += y < 30 ? 2000 : 1900;
                    time = !mu.captured(4).isEmpty();
                    h = mu.captured(4).toInt(), mi = mu.captured(5).toInt(), s = mu.captured(6).toInt();
                    const QString ampm = mu.captured(7).toUpper();
                    if (ampm == "PM" && h < 12) h += 12;
                    if (ampm == "AM" && h == 12) h = 0;
                    ok = true;
                }
                if (ok && QDate(y, m, d).isValid()) {
                    QString text = QDate(y, m, d).toString(Qt::ISODate);
                    if (time && (h || mi || s))
                        text += ' ' + QTime(h, mi, s).toString(QStringLiteral("HH:mm:ss"));
                    out += '\'' + text + '\'';
                    i = j;
                    continue;
                }
            }
        }
        out += ch;
    }
    return out;
}

} // namespace bd::db
