#include "platform/os/ReadFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bd::os {

bool readRegularFile(const QString& path, qint64 maxBytes, QByteArray& out, QString* error) {
    out.clear();
    const QString shown = QDir::toNativeSeparators(path);
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    // Non-blocking, so that opening a FIFO returns at once; the type is checked on what was opened.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fail(
            QStringLiteral("The file %1 could not be opened: %2.").arg(shown, qt_error_string(errno)));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("%1 is not a regular file.").arg(shown));
    }
    if (st.st_size > maxBytes) {
        ::close(fd);
        return fail(QStringLiteral("The file %1 is too large.").arg(shown));
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(QStringLiteral("The file %1 could not be read.").arg(shown));
    }
    // The size may have changed since: never read past the limit.
    out = f.read(maxBytes + 1);
    if (out.size() > maxBytes) {
        out.clear();
        return fail(QStringLiteral("The file %1 is too large.").arg(shown));
    }
    return true;
}

} // namespace bd::os
