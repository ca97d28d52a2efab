#include "platform/grid/GridFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <unordered_map>

namespace bd::grid {
namespace {

constexpr char kFormatName[] = "brintova-grid";
// Cells are kept row by row up to each row's last used column: a few cells far to the right in many
// rows would take gigabytes for a file of kilobytes. The places the cells take are counted against
// this (some 200 MB; a 100,000-row grid of 8 columns takes under a million).
constexpr qint64 kMaxCellPlaces = qint64(1) << 22;

QJsonObject formatToJson(const Format& f) {
    QJsonObject o;
    if (f.type) o["type"] = *f.type;
    if (f.lock) o["lock"] = *f.lock;
    if (f.backColor) o["backColor"] = double(*f.backColor);
    if (f.foreColor) o["foreColor"] = double(*f.foreColor);
    if (f.buttonText) o["buttonText"] = *f.buttonText;
    if (f.buttonColor) o["buttonColor"] = double(*f.buttonColor);
    if (f.buttonPicture) o["buttonPicture"] = *f.buttonPicture;
    if (f.floatDecimalChar) o["floatDecimalChar"] = QString(*f.floatDecimalChar);
    if (f.floatDecimalPlaces) o["floatDecimalPlaces"] = *f.floatDecimalPlaces;
    if (f.comboList) o["comboList"] = QJsonArray::fromStringList(*f.comboList);
    if (f.comboEditable) o["comboEditable"] = *f.comboEditable;
    return o;
}

// Reading: every helper returns false with a reason on the first thing it does not like.
struct Reader {
    QString error;

    bool fail(const QString& why) {
        error = why;
        return false;
    }

    bool integer(const QJsonValue& v, const char* what, qint64 lo, qint64 hi, qint64& out) {
        if (!v.isDouble()) return fail(QString("%1 is not a number").arg(what));
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || d < double(lo) || d > double(hi))
            return fail(QString("%1 is out of range").arg(what));
        out = qint64(d);
        return true;
    }

    bool colour(const QJsonValue& v, const char* what, std::optional<uint32_t>& out) {
        qint64 n = 0;
        if (!integer(v, what, 0, 0xFFFFFFFFLL, n)) return false;
        const auto u = uint32_t(n);
        // An RGB value, or a system-colour reference 0x800000nn.
        if (u > 0xFFFFFFu && (u & 0xFFFFFF00u) != 0x80000000u)
            return fail(QString("%1 is not a colour").arg(what));
        out = u;
        return true;
    }

    bool string(const QJsonValue& v, const char* what, QString& out) {
        if (!v.isString()) return fail(QString("%1 is not a text").arg(what));
        out = v.toString();
        return true;
    }

    bool boolean(const QJsonValue& v, const char* what, std::optional<bool>& out) {
        if (!v.isBool()) return fail(QString("%1 is not true or false").arg(what));
        out = v.toBool();
        return true;
    }

    bool format(const QJsonValue& v, Format& f) {
        if (!v.isObject()) return fail("a format is not an object");
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            const QString k = it.key();
            const QJsonValue x = it.value();
            qint64 n = 0;
            QString s;
            if (k == "type") {
                if (!integer(x, "a cell type", 0, 100, n)) return false;
                if (!isValidCellType(int(n))) return fail("a cell type is unknown");
                f.type = int(n);
            } else if (k == "lock") {
                if (!boolean(x, "a lock", f.lock)) return false;
            } else if (k == "backColor") {
                if (!colour(x, "a back colour", f.backColor)) return false;
            } else if (k == "foreColor") {
                if (!colour(x, "a text colour", f.foreColor)) return false;
            } else if (k == "buttonColor") {
                if (!colour(x, "a button colour", f.buttonColor)) return false;
            } else if (k == "buttonText") {
                if (!string(x, "a button text", s)) return false;
                f.buttonText = s;
            } else if (k == "buttonPicture") {
                if (!string(x, "a button picture", s)) return false;
                f.buttonPicture = s;
            } else if (k == "floatDecimalChar") {
                if (!string(x, "a decimal separator", s)) return false;
                if (s.size() != 1 || s[0].isDigit() || s[0] == '-' || s[0].isSpace())
                    return fail("a decimal separator is not one punctuation character");
                f.floatDecimalChar = s[0];
            } else if (k == "floatDecimalPlaces") {
                if (!integer(x, "a number of decimals", 0, 15, n)) return false;
                f.floatDecimalPlaces = int(n);
            } else if (k == "comboList") {
                if (!x.isArray()) return fail("a combo list is not a list");
                const QJsonArray a = x.toArray();
                if (a.size() > 100000) return fail("a combo list is too long");
                QStringList l;
                for (const QJsonValue& e : a) {
                    if (!string(e, "a combo item", s)) return false;
                    l << s;
                }
                f.comboList = l;
            } else if (k == "comboEditable") {
                if (!boolean(x, "a combo edit switch", f.comboEditable)) return false;
            } else {
                return fail(QString("the format key \"%1\" is unknown").arg(k));
            }
        }
        return true;
    }

    // Whether the cells' rows, each as wide as its last used column, stay within kMaxCellPlaces; counted
    // before anything is built. Cells this cannot place are left to the checks that follow.
    static bool fitsInPlaces(const QJsonArray& cells, qint64 rows) {
        std::unordered_map<qint64, int> rowWidth; // rows that hold a cell
        qint64 places = 0;
        for (const QJsonValue& v : cells) {
            const double c = v.toObject().value("col").toDouble(-1),
                         r = v.toObject().value("row").toDouble(-1);
            if (!(c >= 0 && c <= kMaxFileCols && r >= 0 && r <= double(rows))) continue;
            int& width = rowWidth[qint64(r)];
            if (int(c) + 1 > width) {
                places += int(c) + 1 - width;
                width = int(c) + 1;
            }
        }
        return places <= kMaxCellPlaces;
    }

    bool read(const QByteArray& data, GridStore& g) {
        if (data.size() > kMaxFileBytes) return fail("the file is too large");
        QJsonParseError pe;
        const QJsonDocument doc = QJsonDocument::fromJson(data, &pe);
        if (pe.error != QJsonParseError::NoError || !doc.isObject())
            return fail("the file is not a grid file");
        const QJsonObject o = doc.object();
        qint64 rows = 0, cols = 0;
        if (!header(o, rows, cols)) return false;
        g.setMaxRows(int(rows));
        g.setMaxCols(int(cols));
        if (o.contains("sheet") && !format(o.value("sheet"), g.sheetFormat())) return false;
        return columns(o.value("columns"), cols, g) && cells(o.value("cells"), rows, cols, g) &&
               floatsHoldNumbers(g);
    }

    // The format name, version and counts, and no key the format does not have.
    bool header(const QJsonObject& o, qint64& rows, qint64& cols) {
        if (o.value("format").toString() != kFormatName) return fail("the file is not a grid file");
        qint64 version = 0;
        if (!integer(o.value("version"), "the version", 1, 1 << 20, version)) return false;
        if (version > kGridFileVersion) return fail("the file was written by a newer version");
        if (!integer(o.value("maxRows"), "the row count", 0, kMaxFileRows, rows)) return false;
        if (!integer(o.value("maxCols"), "the column count", 0, kMaxFileCols, cols)) return false;
        for (auto it = o.begin(); it != o.end(); ++it)
            if (!QStringList{"format", "version", "maxRows", "maxCols", "sheet", "columns", "cells"}.contains(
                    it.key()))
                return fail(QString("the key \"%1\" is unknown").arg(it.key()));
        return true;
    }

    // The column defaults, each column at most once.
    bool columns(const QJsonValue& colsV, qint64 cols, GridStore& g) {
        if (colsV.isUndefined()) return true;
        if (!colsV.isArray()) return fail("the column list is not a list");
        std::vector<bool> seen(size_t(cols) + 1);
        for (const QJsonValue& cv : colsV.toArray()) {
            if (!cv.isObject()) return fail("a column is not an object");
            const QJsonObject co = cv.toObject();
            qint64 c = 0;
            if (!integer(co.value("col"), "a column number", 0, cols, c)) return false;
            if (seen[size_t(c)]) return fail("a column appears twice");
            seen[size_t(c)] = true;
            if (!column(co, g.column(int(c)))) return false;
        }
        return true;
    }

    bool column(const QJsonObject& co, Column& col) {
        for (auto it = co.begin(); it != co.end(); ++it) {
            const QString k = it.key();
            if (k == "col") continue;
            if (k == "width") {
                const double w = it.value().toDouble(-1);
                if (!it.value().isDouble() || !std::isfinite(w) || w < 0 || w > 1000)
                    return fail("a column width is out of range");
                col.width = w;
            } else if (k == "hidden") {
                if (!it.value().isBool()) return fail("a hidden switch is not true or false");
                col.hidden = it.value().toBool();
            } else if (k == "format") {
                if (!format(it.value(), col.format)) return false;
            } else {
                return fail(QString("the column key \"%1\" is unknown").arg(k));
            }
        }
        return true;
    }

    // The stored cells, each inside the counts, at most once and holding something.
    bool cells(const QJsonValue& cellsV, qint64 rows, qint64 cols, GridStore& g) {
        if (cellsV.isUndefined()) return true;
        if (!cellsV.isArray()) return fail("the cell list is not a list");
        if (!fitsInPlaces(cellsV.toArray(), rows)) return fail("the grid is too large");
        for (const QJsonValue& v : cellsV.toArray()) {
            if (!v.isObject()) return fail("a cell is not an object");
            const QJsonObject co = v.toObject();
            qint64 c = 0, r = 0;
            if (!integer(co.value("col"), "a cell's column", 0, cols, c)) return false;
            if (!integer(co.value("row"), "a cell's row", 0, rows, r)) return false;
            if (const Cell* old = g.cell(int(c), int(r)); old && !old->empty())
                return fail("a cell appears twice");
            Cell cell;
            if (!cellContent(co, cell)) return false;
            if (cell.empty()) return fail("a cell holds nothing");
            g.cellRef(int(c), int(r)) = std::move(cell);
        }
        return true;
    }

    bool cellContent(const QJsonObject& co, Cell& cell) {
        for (auto it = co.begin(); it != co.end(); ++it) {
            const QString k = it.key();
            if (k == "col" || k == "row") continue;
            if (k == "text") {
                if (!string(it.value(), "a cell text", cell.text)) return false;
            } else if (k == "tag") {
                if (!string(it.value(), "a cell tag", cell.tag)) return false;
            } else if (k == "format") {
                auto f = std::make_unique<Format>();
                if (!format(it.value(), *f)) return false;
                if (!f->empty()) cell.format = std::move(f);
            } else {
                return fail(QString("the cell key \"%1\" is unknown").arg(k));
            }
        }
        return true;
    }

    // Float cells hold a number or nothing.
    bool floatsHoldNumbers(const GridStore& g) {
        bool floatsOk = true;
        g.forEachStoredCell([&](int c, int r, const Cell& cell) {
            if (r > 0 && c > 0 && !cell.text.isEmpty() &&
                g.resolve(c, r, &Format::type, int(TypePlain)) == TypeFloat) {
                bool ok = false;
                const double d = cell.text.toDouble(&ok);
                if (!ok || !std::isfinite(d)) floatsOk = false;
            }
        });
        if (!floatsOk) return fail("a number cell does not hold a number");
        return true;
    }
};

} // namespace

QByteArray writeGridJson(const GridStore& g) {
    QJsonObject o;
    o["format"] = kFormatName;
    o["version"] = kGridFileVersion;
    o["maxRows"] = g.maxRows();
    o["maxCols"] = g.maxCols();
    if (!g.sheetFormat().empty()) o["sheet"] = formatToJson(g.sheetFormat());
    QJsonArray cols;
    for (int c = 0; c <= g.maxCols(); ++c) {
        const Column& col = g.column(c);
        if (col == Column()) continue;
        QJsonObject co;
        co["col"] = c;
        if (col.width) co["width"] = *col.width;
        if (col.hidden) co["hidden"] = true;
        if (!col.format.empty()) co["format"] = formatToJson(col.format);
        cols.append(co);
    }
    o["columns"] = cols;
    QJsonArray cells;
    g.forEachStoredCell([&](int c, int r, const Cell& cell) {
        QJsonObject co;
        co["col"] = c;
        co["row"] = r;
        if (!cell.text.isEmpty()) co["text"] = cell.text;
        if (!cell.tag.isEmpty()) co["tag"] = cell.tag;
        if (cell.format && !cell.format->empty()) co["format"] = formatToJson(*cell.format);
        cells.append(co);
    });
    o["cells"] = cells;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

bool readGridJson(const QByteArray& data, GridStore& out, QString* error) {
    Reader rd;
    GridStore fresh;
    if (!rd.read(data, fresh)) {
        if (error) *error = "The grid file is damaged: " + rd.error + ".";
        return false;
    }
    out = std::move(fresh);
    return true;
}

} // namespace bd::grid
