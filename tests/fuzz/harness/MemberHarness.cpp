// The cube's members on their own: a grid file and the pivot layout. What a reader accepts is saved
// again and must read back the same.
#include "CubeHarness.h"
#include "FuzzSupport.h"

#include "platform/grid/GridFile.h"
#include "platform/pivot/PivotTable.h"

namespace bd::fuzz {

void gridFile(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    grid::GridStore store;
    QString why;
    if (!grid::readGridJson(bytes, store, &why)) return require(!why.isEmpty(), "a refused grid says why");
    const QByteArray saved = grid::writeGridJson(store);
    grid::GridStore back;
    require(grid::readGridJson(saved, back, &why), "a grid that was read saves to a file that reads");
    require(back == store, "a saved grid reads back the same");
    require(grid::writeGridJson(back) == saved, "a grid read back saves the same file");
}

void pivotLayout(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    loadLayout(bytes, nullptr);
    pivot::PivotTable t;
    QString why;
    if (!t.loadLayoutJson(bytes, nullptr, &why)) return;
    const QByteArray saved = t.layoutJson(t.data() ? 3 : 2);
    pivot::PivotTable back;
    require(back.loadLayoutJson(saved, nullptr, &why), "a layout that was read saves to one that reads");
    require(back.layoutJson(back.data() ? 3 : 2) == saved, "a saved layout reads back the same");
}

} // namespace bd::fuzz
