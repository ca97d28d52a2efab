#pragma once
// The last step of every save that replaces a file: moving the finished temporary file over the
// target. It goes through one seam so that a test can make a save fail as a full disk would, and see
// that the old file stays.
#include <QString>

namespace bd::os {

class FileWrites {
public:
    virtual ~FileWrites() = default;
    // Moves temporary over target in one step; false with a readable reason (the target unchanged).
    virtual bool replace(const QString& temporary, const QString& target, QString* error);
};

FileWrites& fileWrites();
void setFileWrites(FileWrites* w); // nullptr restores the real one

} // namespace bd::os
