#include "platform/db/import/XlsReader.h"

#include "platform/dates/OleDate.h"
#include "platform/db/import/SheetTable.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <freexl.h>

namespace bd::db::import {
namespace {

// The most rows and columns a BIFF8 sheet can have: a sheet's stated size beyond them is damage, and
// would be walked cell by cell.
constexpr unsigned int kMaxRows = 65536;
constexpr unsigned short kMaxColumns = 256;

} // namespace

bool importXls(const QString& path, bool header, ImportWriter& writer, QString* error) {
    const void* h = nullptr;
    auto fail = [&](const QString& why) {
        if (h) freexl_close(h);
        if (error)
            *error = QStringLiteral("The workbook \"%1\" cannot be read: %2")
                         .arg(QDir::toNativeSeparators(path), why);
        return false;
    };
    if (freexl_open(QFile::encodeName(path).constData(), &h) != FREEXL_OK)
        return fail(QStringLiteral("not a readable .xls file."));
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
        if (freexl_worksheet_dimensions(h, &rows, &cols) != FREEXL_OK || rows > kMaxRows ||
            cols > kMaxColumns)
            return fail(QStringLiteral("a sheet cannot be read."));
        const QString table = QString::fromUtf8(name ? name : "") + '$';
        if (writer.hasTable(table)) continue;
        SheetTable cells;
        for (unsigned int r = 0; r < rows; ++r) {
            cells.startRow(r);
            for (unsigned short c = 0; c < cols; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(h, r, c, &v) != FREEXL_OK) continue;
                double ole;
                switch (v.type) {
                case FREEXL_CELL_INT:
                    cells.number(c, v.value.int_value);
                    break;
                case FREEXL_CELL_DOUBLE:
                    cells.number(c, v.value.double_value);
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                case FREEXL_CELL_TIME:
                    if (v.value.text_value)
                        cells.text(c, v.value.text_value, std::strlen(v.value.text_value));
                    break;
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                    if (v.value.text_value &&
                        bd::dates::parseIsoDate(v.value.text_value, std::strlen(v.value.text_value), ole))
                        cells.date(c, ole);
                    break;
                default:
                    break;
                }
            }
        }
        if (!cells.write(table, header, writer, error)) {
            freexl_close(h);
            return false;
        }
    }
    freexl_close(h);
    return true;
}

} // namespace bd::db::import
