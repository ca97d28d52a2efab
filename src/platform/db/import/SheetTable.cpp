#include "platform/db/import/SheetTable.h"

#include "platform/dates/OleDate.h"
#include "platform/db/import/ImportTypes.h"
#include "platform/db/import/TextEncoding.h"

#include <cmath>
#include <cstdio>

namespace bd::db::import {
namespace {

// Rows per parallel run.
constexpr size_t kRowsPerRun = 65536;
// A sheet is kept row by row up to each row's last used column, so one cell far to the right in many
// rows would take gigabytes for a file of kilobytes. The empty places before the cells are bounded:
// any sheet may hold this many, and so many more for each cell with a value.
constexpr size_t kFreePlaces = size_t(1) << 20;
constexpr size_t kPlacesPerValue = 64;

std::string formatNumber(double v) {
    char buf[64];
    if (std::floor(v) == v && std::fabs(v) < 1e15)
        std::snprintf(buf, sizeof buf, "%lld", (long long)v);
    else
        std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

enum class Target { Integer, Boolean, Real, Date, Text };

Target targetOf(const QString& declared) {
    if (declared == "INTEGER" || declared == "BIGINT") return Target::Integer;
    if (declared == "BOOLEAN") return Target::Boolean;
    if (declared == "DOUBLE") return Target::Real;
    if (declared == "DATE") return Target::Date;
    return Target::Text;
}

} // namespace

void SheetTable::startRow(size_t row) {
    while (rowStart_.size() <= row)
        rowStart_.push_back(cells_.size());
}

SheetTable::Cell& SheetTable::put(size_t col, Kind kind) {
    if (rowStart_.empty()) rowStart_.push_back(0);
    const size_t begin = size_t(rowStart_.back());
    ++values_;
    if (tooSparse_ || begin + col >= kFreePlaces + kPlacesPerValue * values_) {
        tooSparse_ = true;
        return spare_;
    }
    while (cells_.size() <= begin + col)
        cells_.emplace_back();
    Cell& c = cells_[begin + col];
    c.kind = kind;
    return c;
}

void SheetTable::text(size_t col, const char* p, size_t n) {
    if (n == 0) return;
    Cell& c = put(col, Text);
    c.offset = texts_.size();
    c.n = uint32_t(n);
    texts_.append(p, n);
}

void SheetTable::sharedText(size_t col, uint32_t index) {
    if (!shared_ || index >= shared_->size() || (*shared_)[index].empty()) return;
    put(col, SharedText).n = index;
}

void SheetTable::dropTrailingEmptyRows() {
    while (!rowStart_.empty()) {
        const size_t r = rowStart_.size() - 1;
        bool empty = true;
        for (size_t i = rowBegin(r); i < rowEnd(r) && empty; ++i)
            empty = cells_[i].kind == Null;
        if (!empty) break;
        cells_.resize(rowBegin(r));
        rowStart_.pop_back();
    }
}

std::string_view SheetTable::textOf(const Cell& c) const {
    if (c.kind == SharedText) return (*shared_)[c.n];
    return std::string_view(texts_).substr(size_t(c.offset), c.n);
}

std::string SheetTable::cellText(const Cell& c) const {
    switch (c.kind) {
    case Number:
        return formatNumber(c.d);
    case Date:
        return bd::dates::oleToIso(c.d);
    case Boolean:
        return c.d != 0 ? "TRUE" : "FALSE";
    case Text:
    case SharedText:
        return std::string(textOf(c));
    case Null:
        break;
    }
    return {};
}

// The widest row's cell count.
size_t SheetTable::width() const {
    size_t width = 0;
    for (size_t r = 0; r < rowCount(); ++r)
        width = std::max(width, rowEnd(r) - rowBegin(r));
    return width;
}

// What each column holds from row first on, for its declared type.
std::vector<ColumnStats> SheetTable::columnStats(size_t first, size_t width) const {
    std::vector<ColumnStats> stats(width);
    for (size_t r = first; r < rowCount(); ++r)
        for (size_t i = rowBegin(r), col = 0; i < rowEnd(r); ++i, ++col) {
            const Cell& c = cells_[i];
            switch (c.kind) {
            case Null:
                break;
            case Number:
                stats[col].addNumber(c.d);
                break;
            case Date:
                stats[col].addDate();
                break;
            case Boolean:
                stats[col].addBoolean();
                break;
            case Text:
            case SharedText: {
                const std::string_view t = textOf(c);
                stats[col].addText(uint32_t(utf8Length(t.data(), t.size())));
                break;
            }
            }
        }
    return stats;
}

bool SheetTable::write(const QString& name, bool header, ImportWriter& writer, QString* error) const {
    if (tooSparse_) {
        if (error)
            *error =
                QStringLiteral("The sheet \"%1\" cannot be imported: its cells lie too far apart.").arg(name);
        return false;
    }
    const size_t width = this->width();
    const size_t first = header && rowCount() > 0 ? 1 : 0;
    QStringList names;
    if (first) {
        for (size_t i = rowBegin(0); i < rowEnd(0); ++i) {
            const std::string t = cellText(cells_[i]);
            names << QString::fromUtf8(t.data(), qsizetype(t.size()));
        }
    }
    const std::vector<ColumnStats> stats = columnStats(first, width);
    TableSchema schema;
    schema.name = name;
    schema.columns = uniqueColumnNames(names, int(width));
    std::vector<Target> targets;
    for (const auto& s : stats) {
        schema.declared << s.declaredType();
        targets.push_back(targetOf(schema.declared.back()));
    }
    if (width == 0) return true;
    if (!writer.createTable(schema, error)) return false;

    const size_t rows = rowCount() - first;
    const size_t runs = (rows + kRowsPerRun - 1) / kRowsPerRun;
    auto fill = [&](size_t k, RowSink& sink, QString* why) {
        std::string t;
        const size_t end = std::min(rows, (k + 1) * kRowsPerRun) + first;
        for (size_t r = k * kRowsPerRun + first; r < end; ++r) {
            const size_t begin = rowBegin(r), n = rowEnd(r) - begin;
            for (size_t col = 0; col < width; ++col) {
                const int cc = int(col);
                const Cell* c = col < n ? &cells_[begin + col] : nullptr;
                if (!c || c->kind == Null) {
                    sink.null(cc);
                    continue;
                }
                switch (targets[col]) {
                case Target::Integer:
                case Target::Boolean:
                    sink.integer(cc, int64_t(c->d));
                    break;
                case Target::Real:
                    sink.real(cc, c->d);
                    break;
                case Target::Date:
                case Target::Text:
                    if (c->kind == Text || c->kind == SharedText) {
                        const std::string_view v = textOf(*c);
                        sink.text(cc, v.data(), v.size(), true);
                    } else {
                        t = cellText(*c);
                        sink.text(cc, t.data(), t.size());
                    }
                    break;
                }
            }
            if (!sink.endRow()) {
                if (why) *why = sink.error();
                return false;
            }
        }
        return true;
    };
    return writer.fillParallel(schema, runs, fill, error);
}

} // namespace bd::db::import
