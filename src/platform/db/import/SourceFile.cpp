#include "platform/db/import/SourceFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bd::db::import {
namespace {

QString checkStat(const struct stat& st, const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("\"%1\" is not a data file (a folder, device or pipe cannot be imported).")
            .arg(shown);
    if (int64_t(st.st_size) > kMaxSourceBytes)
        return QStringLiteral("The file \"%1\" is too large to be imported (more than %2 GB).")
            .arg(shown)
            .arg(kMaxSourceBytes >> 30);
    return {};
}

} // namespace

QString checkSourceFile(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("The file \"%1\" cannot be read.").arg(QDir::toNativeSeparators(path));
    return checkStat(st, path);
}

SourceFile::~SourceFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool SourceFile::open(const QString& path, QString* error) {
    // Non-blocking, so that a FIFO named as a source cannot hang the open; the type is checked next.
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    QString why;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        why = QStringLiteral("Cannot read the file \"%1\".").arg(QDir::toNativeSeparators(path));
    else
        why = checkStat(st, path);
    if (!why.isEmpty()) {
        if (error) *error = why;
        return false;
    }
    size_ = st.st_size;
    return true;
}

int64_t SourceFile::read(int64_t offset, char* into, size_t n) const {
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, into + done, n - done, off_t(offset + int64_t(done)));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += size_t(r);
    }
    return int64_t(done);
}

} // namespace bd::db::import
