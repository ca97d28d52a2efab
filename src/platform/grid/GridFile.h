#pragma once
// The grid file: versioned JSON holding the row and column counts, the sheet and column formatting
// (type, lock, width, colours, float settings, combo list, hidden) and the sparse cells, headers
// included. A grid file may come from a cube somebody sent, so reading checks every count, index and
// value and builds a fresh store; the caller swaps it in only on success.
#include "platform/grid/GridStore.h"

#include <QByteArray>
#include <QString>

namespace bd::grid {

constexpr int kGridFileVersion = 1;
constexpr int kMaxFileRows = 1 << 20;
constexpr int kMaxFileCols = 16384;
constexpr qint64 kMaxFileBytes = 256LL << 20;

QByteArray writeGridJson(const GridStore& store);
// On failure returns false, leaves out untouched and puts a one-sentence reason into error.
bool readGridJson(const QByteArray& data, GridStore& out, QString* error);

} // namespace bd::grid
