#include "platform/os/FileWrites.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace bd::os {

bool FileWrites::replace(const QString& temporary, const QString& target, QString* error) {
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    if (error)
        *error = QStringLiteral("Cannot replace \"%1\": %2")
                     .arg(QDir::toNativeSeparators(target), QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

namespace {
FileWrites* current = nullptr;
}

FileWrites& fileWrites() {
    static FileWrites real;
    return current ? *current : real;
}

void setFileWrites(FileWrites* w) {
    current = w;
}

} // namespace bd::os
