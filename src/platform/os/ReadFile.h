#pragma once
// Reading a whole file that may come from someone else: only a regular file (a device or FIFO would
// block or never end) and only up to a size.
#include <QByteArray>
#include <QString>

namespace bd::os {

// False with a one-sentence reason when path is no regular file, is larger than maxBytes or cannot be
// read.
bool readRegularFile(const QString& path, qint64 maxBytes, QByteArray& out, QString* error);

} // namespace bd::os
