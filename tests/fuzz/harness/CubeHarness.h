#pragma once
// What the cube harnesses share: a cube's members checked by their own readers and shown in a pivot
// table as the viewer shows an opened cube.
#include "cubefile/CubeFile.h"

namespace bd::fuzz {

// Each grid through the grid reader, then the layout (with the saved data) checked and applied to a
// pivot table whose first cells and headers are read as the viewer paints them.
void openMembers(const cubefile::CubeContents& cube);

// A layout checked, then applied to a pivot table (with the data given) whose first result cells and
// headers are read as the viewer paints them. A refused layout must say why.
void loadLayout(const QByteArray& layout, std::shared_ptr<const db::ColumnarResult> data);

} // namespace bd::fuzz
