#pragma once
// What the cube harnesses share: a cube's members checked by their own readers and shown in a pivot
// table as the viewer shows an opened cube.
#include "cubefile/CubeFile.h"

namespace bd::fuzz {

// Each grid through the grid reader, then the layout (with the saved data) checked and applied to a
// pivot table whose first cells and headers are read as the viewer paints them.
void openMembers(const cubefile::CubeContents& cube);

// The pivot table's first result cells and headers, as they are painted.
void loadLayout(const QByteArray& layout, std::shared_ptr<const db::ColumnarResult> data);

} // namespace bd::fuzz
