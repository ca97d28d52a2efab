#include "platform/db/import/XlsxReader.h"

#include "platform/dates/OleDate.h"
#include "platform/db/import/SheetTable.h"
#include "platform/zip/Zip.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <charconv>
#include <cstring>
#include <expat.h>

namespace bd::db::import {
namespace {

// Largest inflated member read.
constexpr qint64 kMaxXmlMember = 1024ll * 1024 * 1024;
// Rows and columns a sheet can have.
constexpr size_t kMaxRows = 1048576;
constexpr size_t kMaxColumns = 16384;
// The 1904 date system starts this many days later.
constexpr double k1904Offset = 1462;

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

// An element's name without its namespace prefix.
const char* localName(const char* name) {
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

const char* attribute(const char** attrs, const char* name) {
    for (int i = 0; attrs[i]; i += 2)
        if (std::strcmp(localName(attrs[i]), name) == 0) return attrs[i + 1];
    return nullptr;
}

// "AB12" -> column 27 (from 0); -1 without letters.
long columnOf(const char* ref) {
    long c = 0;
    for (; *ref; ++ref) {
        const char ch = *ref;
        if (ch >= 'A' && ch <= 'Z')
            c = c * 26 + (ch - 'A' + 1);
        else if (ch >= 'a' && ch <= 'z')
            c = c * 26 + (ch - 'a' + 1);
        else
            break;
        if (c > long(kMaxColumns)) return -1;
    }
    return c - 1;
}

bool parseNumber(const std::string& s, double& v) {
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    while (end > p && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\n' || end[-1] == '\r'))
        --end;
    if (p < end && *p == '+') ++p;
    const auto r = std::from_chars(p, end, v);
    return p < end && r.ec == std::errc() && r.ptr == end;
}

// Feeds a member to an expat parser as it is inflated.
bool parseMember(const QString& path, const QString& member, XML_Parser parser, QString* error) {
    bool xmlOk = true;
    const bool ok = bd::zip::streamMember(
        path, member,
        [&](const char* d, qint64 n) {
            xmlOk = XML_Parse(parser, d, int(n), 0) == XML_STATUS_OK;
            return xmlOk;
        },
        error, kMaxXmlMember, true);
    if (ok) xmlOk = XML_Parse(parser, nullptr, 0, 1) == XML_STATUS_OK;
    if (!xmlOk && error)
        *error = QStringLiteral("%1 (line %2)")
                     .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(parser))))
                     .arg(XML_GetCurrentLineNumber(parser));
    return ok && xmlOk;
}

// ---- shared strings -----------------------------------------------------------------------------

struct SharedStrings {
    std::vector<std::string> texts;
    std::string current;
    int inItem = 0, phonetic = 0;
    bool inText = false;

    static void start(void* d, const char* name, const char**) {
        auto* s = static_cast<SharedStrings*>(d);
        const char* n = localName(name);
        if (std::strcmp(n, "si") == 0) {
            s->inItem = 1;
            s->current.clear();
        } else if (std::strcmp(n, "rPh") == 0) {
            ++s->phonetic;
        } else if (std::strcmp(n, "t") == 0) {
            s->inText = s->inItem && !s->phonetic;
        }
    }
    static void end(void* d, const char* name) {
        auto* s = static_cast<SharedStrings*>(d);
        const char* n = localName(name);
        if (std::strcmp(n, "si") == 0) {
            s->texts.push_back(std::move(s->current));
            s->current.clear();
            s->inItem = 0;
        } else if (std::strcmp(n, "rPh") == 0) {
            --s->phonetic;
        } else if (std::strcmp(n, "t") == 0) {
            s->inText = false;
        }
    }
    static void chars(void* d, const char* text, int len) {
        auto* s = static_cast<SharedStrings*>(d);
        if (s->inText) s->current.append(text, size_t(len));
    }
};

// ---- sheets -------------------------------------------------------------------------------------

struct SheetParser {
    SheetParser(SheetTable& t, const std::vector<bool>& dates, bool in1904)
        : table(t), xfIsDate(dates), date1904(in1904) {}
    SheetTable& table;
    const std::vector<bool>& xfIsDate;
    bool date1904 = false;

    size_t nextRow = 0, nextCol = 0, col = 0;
    bool stopped = false; // past the last row a sheet can have
    std::string type;
    int style = 0;
    std::string value, inlineText;
    enum { None, InValue, InInline } collecting = None;
    int inInline = 0, phonetic = 0;

    static void start(void* d, const char* name, const char** attrs) {
        auto* p = static_cast<SheetParser*>(d);
        if (p->stopped) return;
        const char* n = localName(name);
        if (std::strcmp(n, "c") == 0) {
            const char* ref = attribute(attrs, "r");
            const long c = ref ? columnOf(ref) : -1;
            p->col = c >= 0 ? size_t(c) : p->nextCol;
            p->nextCol = p->col + 1;
            const char* t = attribute(attrs, "t");
            p->type = t ? t : "";
            const char* s = attribute(attrs, "s");
            p->style = s ? std::atoi(s) : 0;
            p->value.clear();
            p->inlineText.clear();
        } else if (std::strcmp(n, "v") == 0) {
            p->collecting = InValue;
        } else if (std::strcmp(n, "is") == 0) {
            p->inInline = 1;
        } else if (std::strcmp(n, "rPh") == 0) {
            ++p->phonetic;
        } else if (std::strcmp(n, "t") == 0 && p->inInline && !p->phonetic) {
            p->collecting = InInline;
        } else if (std::strcmp(n, "row") == 0) {
            const char* r = attribute(attrs, "r");
            const long row = r ? std::atol(r) - 1 : -1;
            const size_t at = row >= 0 && size_t(row) >= p->nextRow ? size_t(row) : p->nextRow;
            if (at >= kMaxRows) {
                p->stopped = true;
                return;
            }
            p->table.startRow(at);
            p->nextRow = at + 1;
            p->nextCol = 0;
        }
    }

    static void end(void* d, const char* name) {
        auto* p = static_cast<SheetParser*>(d);
        if (p->stopped) return;
        const char* n = localName(name);
        if (std::strcmp(n, "c") == 0) {
            p->cell();
        } else if (std::strcmp(n, "v") == 0 || std::strcmp(n, "t") == 0) {
            p->collecting = None;
        } else if (std::strcmp(n, "is") == 0) {
            p->inInline = 0;
        } else if (std::strcmp(n, "rPh") == 0) {
            --p->phonetic;
        }
    }

    static void chars(void* d, const char* text, int len) {
        auto* p = static_cast<SheetParser*>(d);
        if (p->collecting == InValue)
            p->value.append(text, size_t(len));
        else if (p->collecting == InInline)
            p->inlineText.append(text, size_t(len));
    }

    void cell() {
        if (col >= kMaxColumns) return;
        if (type == "s") {
            double i;
            if (parseNumber(value, i) && i >= 0) table.sharedText(col, uint32_t(i));
        } else if (type == "inlineStr") {
            table.text(col, inlineText.data(), inlineText.size());
        } else if (type == "str") {
            table.text(col, value.data(), value.size());
        } else if (type == "b") {
            double b;
            table.boolean(col, parseNumber(value, b) && b == 1);
        } else if (type == "e") {
            // an error value is no value
        } else if (type == "d") {
            double ole;
            if (bd::dates::parseIsoDate(value.data(), value.size(), ole))
                table.date(col, ole);
            else
                table.text(col, value.data(), value.size());
        } else if (!value.empty()) {
            double v;
            if (!parseNumber(value, v)) {
                table.text(col, value.data(), value.size());
                return;
            }
            const bool isDate = style >= 0 && size_t(style) < xfIsDate.size() && xfIsDate[size_t(style)];
            if (isDate)
                table.date(col, date1904 ? v + k1904Offset : v);
            else
                table.number(col, v);
        }
    }
};

struct ExpatParser {
    XML_Parser p = XML_ParserCreate("UTF-8");
    ~ExpatParser() { XML_ParserFree(p); }
};

// The workbook's date system and its sheets (name, relationship id), in order.
void readWorkbook(const QByteArray& workbook, bool* date1904, QList<QPair<QString, QString>>* sheets) {
    for (QXmlStreamReader x(workbook); !x.atEnd();) {
        if (x.readNext() != QXmlStreamReader::StartElement) continue;
        if (x.name() == QLatin1String("workbookPr")) {
            const QString v = attr(x, "date1904");
            *date1904 = v == "1" || v == "true";
        } else if (x.name() == QLatin1String("sheet")) {
            sheets->append({attr(x, "name"), attr(x, "id")});
        }
    }
}

// Each relationship id's target (a sheet's member).
QHash<QString, QString> relationshipTargets(const QByteArray& rels) {
    QHash<QString, QString> targets;
    for (QXmlStreamReader x(rels); !x.atEnd();)
        if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("Relationship"))
            targets.insert(attr(x, "Id"), attr(x, "Target"));
    return targets;
}

// For each cell style (cellXfs), whether its number format shows a date.
std::vector<bool> dateStyles(const QByteArray& styles) {
    QHash<int, bool> customDate;
    std::vector<bool> xfIsDate;
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
                xfIsDate.push_back(customDate.contains(id) ? customDate.value(id) : isBuiltinDateFormat(id));
            }
        } else if (tok == QXmlStreamReader::EndElement && x.name() == QLatin1String("cellXfs")) {
            inCellXfs = false;
        }
    }
    return xfIsDate;
}

} // namespace

bool importXlsx(const QString& path, bool header, ImportWriter& writer, QString* error) {
    const QString shown = QDir::toNativeSeparators(path);
    auto fail = [&](const QString& why) {
        if (error) *error = QStringLiteral("The workbook \"%1\" cannot be read: %2").arg(shown, why);
        return false;
    };
    QByteArray workbook, rels, styles;
    QString why;
    if (!bd::zip::readMember(path, "xl/workbook.xml", workbook, &why, kMaxXmlMember, true) ||
        !bd::zip::readMember(path, "xl/_rels/workbook.xml.rels", rels, &why, kMaxXmlMember, true))
        return fail(why);
    bd::zip::readMember(path, "xl/styles.xml", styles, nullptr, kMaxXmlMember, true);

    bool date1904 = false;
    QList<QPair<QString, QString>> sheets; // name, relationship id
    readWorkbook(workbook, &date1904, &sheets);
    const QHash<QString, QString> targets = relationshipTargets(rels);
    const std::vector<bool> xfIsDate = dateStyles(styles);

    SharedStrings shared;
    if (bd::zip::memberNames(path, nullptr).contains("xl/sharedStrings.xml", Qt::CaseInsensitive)) {
        ExpatParser x;
        XML_SetUserData(x.p, &shared);
        XML_SetElementHandler(x.p, &SharedStrings::start, &SharedStrings::end);
        XML_SetCharacterDataHandler(x.p, &SharedStrings::chars);
        if (!parseMember(path, "xl/sharedStrings.xml", x.p, &why)) return fail(why);
    }

    for (const auto& [sheetName, rid] : sheets) {
        QString target = targets.value(rid);
        if (target.isEmpty()) continue;
        target = target.startsWith('/') ? target.mid(1) : "xl/" + target;
        const QString table = sheetName + '$';
        if (writer.hasTable(table)) continue;
        SheetTable cells;
        cells.setSharedTexts(&shared.texts);
        SheetParser sheet(cells, xfIsDate, date1904);
        ExpatParser x;
        XML_SetUserData(x.p, &sheet);
        XML_SetElementHandler(x.p, &SheetParser::start, &SheetParser::end);
        XML_SetCharacterDataHandler(x.p, &SheetParser::chars);
        if (!parseMember(path, target, x.p, &why)) {
            if (error)
                *error = QStringLiteral("The sheet \"%1\" of \"%2\" cannot be read: %3")
                             .arg(sheetName, shown, why);
            return false;
        }
        cells.dropTrailingEmptyRows();
        if (!cells.write(table, header, writer, error)) return false;
    }
    return true;
}

} // namespace bd::db::import
