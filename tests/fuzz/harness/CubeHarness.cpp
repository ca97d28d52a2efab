// The cube file as the viewer opens it (cube_file), and the layout member that carries the saved
// query result in its coded form (cube_data).
#include "CubeHarness.h"
#include "FuzzSupport.h"

#include "platform/grid/GridFile.h"
#include "platform/pivot/PivotTable.h"
#include "platform/zip/Zip.h"

#include <cstring>

namespace bd::fuzz {
namespace {

namespace cf = bd::cubefile;

// The painted part of a result: enough to reach every formatting path without walking a large one.
constexpr int kCellsShown = 40;

void showResult(const pivot::PivotTable& t) {
    const int rows = std::min(t.resultRows(), kCellsShown), cols = std::min(t.resultColumns(), kCellsShown);
    for (int r = 0; r < rows; ++r) {
        for (int level = 0; level < t.rowFields().count(); ++level)
            (void)t.rowHeaderText(r, level);
        for (int c = 0; c < cols; ++c)
            (void)t.cellText(r, c);
    }
    for (int c = 0; c < cols; ++c)
        for (int level = 0; level <= t.columnFields().count(); ++level)
            (void)t.columnHeaderText(c, level);
}

bool sameColumns(const db::ColumnarResult& a, const db::ColumnarResult& b) {
    if (a.rowCount != b.rowCount || a.columns.size() != b.columns.size()) return false;
    for (size_t k = 0; k < a.columns.size(); ++k) {
        const db::ColumnData &x = a.columns[k], &y = b.columns[k];
        // Reals compare bit for bit: a NaN or a -0 must come back as it was saved.
        const bool reals = x.reals.size() == y.reals.size() &&
                           (x.reals.empty() || std::memcmp(x.reals.data(), y.reals.data(),
                                                           x.reals.size() * sizeof(double)) == 0);
        if (x.name != y.name || x.adoType != y.adoType || x.kind != y.kind || x.nulls != y.nulls ||
            x.ints != y.ints || !reals || x.codes != y.codes || x.dict != y.dict)
            return false;
    }
    return true;
}

} // namespace

void loadLayout(const QByteArray& layout, std::shared_ptr<const db::ColumnarResult> data) {
    QString why;
    pivot::PivotTable checked;
    const bool valid = checked.loadLayoutJson(layout, data, &why, true);
    require(valid || !why.isEmpty(), "a refused layout says why");
    if (!valid) return;
    pivot::PivotTable t;
    require(t.loadLayoutJson(layout, data, &why), "a layout that passed the check applies");
    t.recalculate();
    showResult(t);
}

void openMembers(const cf::CubeContents& cube) {
    for (int i = 0; i < cf::kGridCount; ++i) {
        grid::GridStore store;
        QString why;
        if (!grid::readGridJson(cube.grids[size_t(i)], store, &why))
            return require(!why.isEmpty(), "a refused grid member says why");
    }
    loadLayout(cube.layout, cube.data);
}

// The whole cube file.
void cubeFile(const uint8_t* data, size_t size) {
    const QString path = writeScratch(
        "fuzz.cub", QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    cf::CubeContents cube;
    QString why;
    if (!cf::read(path, cube, &why)) {
        require(!why.isEmpty(), "a cube that cannot be opened says why");
        require(cube.layout.isEmpty() && !cube.data, "a refused cube leaves nothing half read");
        return;
    }
    openMembers(cube);
}

// The layout member with the saved query result ("BDLAYOUT", the JSON, the coded columns), packed
// into a cube with empty grids as a save would pack it, then opened. What opens is saved again and
// must open as the same cube.
void cubeData(const uint8_t* data, size_t size) {
    static const QByteArray emptyGrid = [] {
        grid::GridStore g;
        return grid::writeGridJson(g);
    }();
    QList<zip::MemberBytes> members{{cf::memberNames()[cf::Layout],
                                     QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                                     false}};
    for (int i = 1; i <= cf::kGridCount; ++i)
        members.push_back({cf::memberNames()[i], emptyGrid, false});
    const QString path = scratchDir() + "/data.cub";
    QString why;
    require(zip::packMembers(members, path, &why), "the harness packs its cube");
    cf::CubeContents cube;
    if (!cf::read(path, cube, &why)) {
        require(!why.isEmpty(), "a cube that cannot be opened says why");
        return;
    }
    openMembers(cube);

    const QString again = scratchDir() + "/again.cub";
    if (!cf::write(again, cube, &why)) {
        require(!why.isEmpty(), "a cube that cannot be saved says why");
        return;
    }
    cf::CubeContents back;
    require(cf::read(again, back, &why), "a cube that saved opens again");
    require(back.layout == cube.layout && back.grids == cube.grids, "the members come back as saved");
    require(!cube.data == !back.data && (!cube.data || sameColumns(*cube.data, *back.data)),
            "the saved data comes back as saved");
}

} // namespace bd::fuzz
