#pragma once
// A data file opened for import: only a regular file (not a device, FIFO or folder) and only up to a
// size that an in-memory import can hold.
#include <QString>

#include <cstddef>
#include <cstdint>

namespace bd::db::import {

// Largest file imported.
constexpr int64_t kMaxSourceBytes = 4ll * 1024 * 1024 * 1024;

// "" when path names a regular file within the size limit, else the message that says why not.
QString checkSourceFile(const QString& path);

class SourceFile {
public:
    SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile();
    bool open(const QString& path, QString* error);
    int64_t size() const { return size_; }
    // Reads n bytes at offset (fewer only at the end of the file); -1 on error.
    int64_t read(int64_t offset, char* into, size_t n) const;

private:
    int fd_ = -1;
    int64_t size_ = 0;
};

} // namespace bd::db::import
