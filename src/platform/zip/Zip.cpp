#include "platform/zip/Zip.h"
#include "platform/os/FileWrites.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryFile>

#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace bd::zip {
namespace {

struct ArchiveCloser {
    void operator()(zip_t* z) const {
        if (z) zip_discard(z);
    }
};
using ArchivePtr = std::unique_ptr<zip_t, ArchiveCloser>;

struct FileCloser {
    void operator()(zip_file_t* f) const {
        if (f) zip_fclose(f);
    }
};

void setError(QString* error, const QString& text) {
    if (error) *error = text;
}

// Links followed before a save gives up on a chain of them.
constexpr int kMaxLinkHops = 40;

// The file a save replaces: the end of a chain of symbolic links (the links stay), else the path.
QString replacedFile(const QString& archive) {
    QString path = QFileInfo(archive).absoluteFilePath();
    for (int hop = 0; hop < kMaxLinkHops && QFileInfo(path).isSymLink(); ++hop)
        path = QFileInfo(path).symLinkTarget();
    return path;
}

// The process's umask, read without changing it (other threads may be creating files).
mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint v = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) return mode_t(v);
            }
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
}

// The rights a new archive gets: those of the file it replaces (owner too, where the process may set
// it), or the ones the umask leaves for a new file.
void giveRights(const QString& tmp, const struct stat* old) {
    const QByteArray t = QFile::encodeName(tmp);
    if (!old) {
        ::chmod(t.constData(), 0666 & ~currentUmask());
        return;
    }
    ::chmod(t.constData(), old->st_mode & 07777);
    if (::chown(t.constData(), old->st_uid, old->st_gid) != 0 &&
        ::chown(t.constData(), uid_t(-1), old->st_gid) != 0) {
        // Not ours to give: the new file keeps this process's owner.
    }
    ::chmod(t.constData(), old->st_mode & 07777); // chown may clear set-id bits
}

// A file is read-only when no one may write it, or this process may not.
bool isReadOnly(const QString& path, const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
           ::access(QFile::encodeName(path).constData(), W_OK) != 0;
}

ArchivePtr openForReading(const QString& archive, QString* error) {
    int code = 0;
    zip_t* z = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, &code);
    if (!z) {
        zip_error_t e;
        zip_error_init_with_code(&e, code);
        setError(error,
                 QStringLiteral("Cannot open the archive \"%1\": %2")
                     .arg(QDir::toNativeSeparators(archive), QString::fromUtf8(zip_error_strerror(&e))));
        zip_error_fini(&e);
    }
    return ArchivePtr(z);
}

// Streams member index into sink, stopping with an error past maxBytes (the stored size may lie).
template <class Sink>
bool readIndex(zip_t* z, zip_uint64_t index, qint64 maxBytes, Sink&& sink, QString* error) {
    zip_stat_t st;
    zip_stat_init(&st);
    const QString name = QString::fromUtf8(zip_get_name(z, index, ZIP_FL_ENC_GUESS));
    if (zip_stat_index(z, index, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE) && qint64(st.size) > maxBytes) {
        setError(error, QStringLiteral("The member \"%1\" is too large.").arg(name));
        return false;
    }
    std::unique_ptr<zip_file_t, FileCloser> f(zip_fopen_index(z, index, 0));
    if (!f) {
        setError(error, QStringLiteral("Cannot read the member \"%1\": %2")
                            .arg(name, QString::fromUtf8(zip_strerror(z))));
        return false;
    }
    char buf[65536];
    qint64 total = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(f.get(), buf, sizeof buf);
        if (n < 0) {
            setError(error,
                     QStringLiteral("Cannot read the member \"%1\": %2")
                         .arg(name, QString::fromUtf8(zip_error_strerror(zip_file_get_error(f.get())))));
            return false;
        }
        if (n == 0) break;
        total += n;
        if (total > maxBytes) {
            setError(error, QStringLiteral("The member \"%1\" is too large.").arg(name));
            return false;
        }
        if (!sink(buf, qint64(n))) {
            setError(error, QStringLiteral("Cannot write the member \"%1\".").arg(name));
            return false;
        }
    }
    return true;
}

// Writes an archive through addMembers to a temporary file beside the target, then replaces it.
bool writeArchive(const QString& archive, const std::function<bool(zip_t*, QString*)>& addMembers,
                  QString* error) {
    const QString file = replacedFile(archive);
    struct stat old;
    const bool replacing = ::stat(QFile::encodeName(file).constData(), &old) == 0;
    if (replacing && isReadOnly(file, old)) {
        setError(error,
                 QStringLiteral("The file \"%1\" is read-only.").arg(QDir::toNativeSeparators(archive)));
        return false;
    }
    if (replacing && !S_ISREG(old.st_mode)) {
        setError(error, QStringLiteral("\"%1\" is not a file.").arg(QDir::toNativeSeparators(archive)));
        return false;
    }
    const QFileInfo target(file);
    QString tmpPath;
    {
        QTemporaryFile reserve(target.absolutePath() + '/' + target.fileName() + ".XXXXXX.tmp");
        reserve.setAutoRemove(false);
        if (!reserve.open()) {
            setError(error, QStringLiteral("Cannot write in the folder \"%1\".")
                                .arg(QDir::toNativeSeparators(target.absolutePath())));
            return false;
        }
        tmpPath = reserve.fileName();
    }
    QFile::remove(tmpPath); // libzip creates it afresh
    auto fail = [&](const QString& why) {
        QFile::remove(tmpPath);
        setError(error, why);
        return false;
    };

    int code = 0;
    zip_t* z = zip_open(QFile::encodeName(tmpPath).constData(), ZIP_CREATE | ZIP_EXCL, &code);
    if (!z)
        return fail(
            QStringLiteral("Cannot create the archive \"%1\".").arg(QDir::toNativeSeparators(archive)));
    if (QString why; !addMembers(z, &why)) {
        zip_discard(z);
        return fail(why);
    }
    if (zip_close(z) != 0) {
        const QString why = QString::fromUtf8(zip_strerror(z));
        zip_discard(z);
        return fail(QStringLiteral("Cannot write the archive \"%1\": %2")
                        .arg(QDir::toNativeSeparators(archive), why));
    }
    giveRights(tmpPath, replacing ? &old : nullptr);
    if (QString why; !bd::os::fileWrites().replace(tmpPath, file, &why)) return fail(why);
    return true;
}

} // namespace

bool isPlainMemberName(const QString& raw) {
    QString name = raw;
    name.replace('\\', '/');
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/') || name.contains(':'))
        return false;
    for (const QChar c : name)
        if (c.unicode() < 32 || c.unicode() == 127) return false;
    return name.trimmed() == name;
}

bool pack(const QStringList& files, const QString& archive, QString* error) {
    if (files.isEmpty()) {
        setError(error, QStringLiteral("There are no files to compress."));
        return false;
    }
    QSet<QString> names;
    for (const QString& f : files) {
        const QFileInfo fi(f);
        QFile probe(f);
        if (!fi.isFile() || !probe.open(QIODevice::ReadOnly)) {
            setError(error, QStringLiteral("Cannot read the file \"%1\".").arg(QDir::toNativeSeparators(f)));
            return false;
        }
        if (names.contains(fi.fileName())) {
            setError(error, QStringLiteral("Two files have the same name \"%1\".").arg(fi.fileName()));
            return false;
        }
        names.insert(fi.fileName());
    }

    return writeArchive(
        archive,
        [&](zip_t* z, QString* why) {
            for (const QString& f : files) {
                zip_source_t* src = zip_source_file_create(QFile::encodeName(f).constData(), 0, -1, nullptr);
                if (!src || zip_file_add(z, QFileInfo(f).fileName().toUtf8().constData(), src,
                                         ZIP_FL_ENC_UTF_8) < 0) {
                    const QString e = QString::fromUtf8(zip_strerror(z));
                    if (src) zip_source_free(src);
                    *why = QStringLiteral("Cannot add \"%1\" to the archive: %2")
                               .arg(QDir::toNativeSeparators(f), e);
                    return false;
                }
            }
            return true;
        },
        error);
}

bool packMembers(const QList<MemberBytes>& members, const QString& archive, QString* error) {
    if (members.isEmpty()) {
        setError(error, QStringLiteral("There are no files to compress."));
        return false;
    }
    QSet<QString> names;
    for (const MemberBytes& m : members) {
        if (!isPlainMemberName(m.name) || names.contains(m.name)) {
            setError(error, QStringLiteral("The member name \"%1\" cannot be written.").arg(m.name));
            return false;
        }
        names.insert(m.name);
    }
    return writeArchive(
        archive,
        [&](zip_t* z, QString* why) {
            for (const MemberBytes& m : members) {
                // The bytes stay alive (members is the caller's) until the archive is closed.
                zip_source_t* src =
                    zip_source_buffer(z, m.bytes.constData(), zip_uint64_t(m.bytes.size()), 0);
                const zip_int64_t index =
                    src ? zip_file_add(z, m.name.toUtf8().constData(), src, ZIP_FL_ENC_UTF_8) : -1;
                if (index < 0 ||
                    (!m.compress && zip_set_file_compression(z, zip_uint64_t(index), ZIP_CM_STORE, 0) != 0)) {
                    const QString e = QString::fromUtf8(zip_strerror(z));
                    if (src && index < 0) zip_source_free(src);
                    *why = QStringLiteral("Cannot add \"%1\" to the archive: %2").arg(m.name, e);
                    return false;
                }
            }
            return true;
        },
        error);
}

bool unpack(const QString& archive, const QString& folder, QString* error, const UnpackLimits& limits) {
    ArchivePtr z = openForReading(archive, error);
    if (!z) return false;
    if (!QDir().mkpath(folder)) {
        setError(error,
                 QStringLiteral("Cannot create the folder \"%1\".").arg(QDir::toNativeSeparators(folder)));
        return false;
    }
    const QDir dir(folder);
    QStringList problems;
    qint64 total = 0;
    const zip_int64_t count = zip_get_num_entries(z.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(z.get(), zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        const QString name = raw ? QString::fromUtf8(raw) : QString();
        if (name.endsWith('/') || name.endsWith('\\')) continue; // folder entries carry nothing
        if (!isPlainMemberName(name)) {
            problems << QStringLiteral("The member name \"%1\" was refused.").arg(name);
            continue;
        }
        const QString dest = dir.filePath(name);
        // A link planted under the member's name must not redirect the write.
        if (QFileInfo(dest).isSymLink()) QFile::remove(dest);
        QSaveFile out(dest);
        out.setDirectWriteFallback(false);
        if (!out.open(QIODevice::WriteOnly)) {
            problems << QStringLiteral("Cannot write \"%1\".").arg(QDir::toNativeSeparators(dest));
            continue;
        }
        QString why;
        const qint64 room = std::min(limits.maxMemberBytes, limits.maxTotalBytes - total);
        qint64 written = 0;
        const bool ok = readIndex(
            z.get(), zip_uint64_t(i), room,
            [&](const char* d, qint64 n) {
                written += n;
                return out.write(d, n) == n;
            },
            &why);
        if (!ok) {
            out.cancelWriting();
            problems << why;
            continue;
        }
        if (!out.commit()) {
            problems << QStringLiteral("Cannot write \"%1\".").arg(QDir::toNativeSeparators(dest));
            continue;
        }
        total += written;
    }
    if (!problems.isEmpty()) {
        setError(error, problems.join('\n'));
        return false;
    }
    return true;
}

QStringList memberNames(const QString& archive, QString* error) {
    QStringList names;
    ArchivePtr z = openForReading(archive, error);
    if (!z) return names;
    const zip_int64_t count = zip_get_num_entries(z.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(z.get(), zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        if (raw) names << QString::fromUtf8(raw);
    }
    return names;
}

// Whether the bytes a member stores can inflate to the size it states: only then is that size taken
// at its word and reserved at once. A crafted header may claim gigabytes for a member of a few bytes;
// such a member is read as it comes instead, and fails when its data runs out.
static bool plausibleSize(const zip_stat_t& st, qint64 archiveBytes) {
    constexpr zip_uint64_t kMaxDeflateRatio = 1032; // the most deflate can expand
    if (!(st.valid & ZIP_STAT_COMP_SIZE) || !(st.valid & ZIP_STAT_COMP_METHOD) ||
        st.comp_size > zip_uint64_t(archiveBytes))
        return false;
    if (st.comp_method == ZIP_CM_STORE) return st.size <= st.comp_size;
    return st.comp_method == ZIP_CM_DEFLATE && st.size / kMaxDeflateRatio <= st.comp_size;
}

// The member's index, or -1 with the error set when the archive has no such member.
static zip_int64_t locateMember(zip_t* z, const QString& name, bool caseInsensitive, QString* error) {
    const zip_int64_t index =
        zip_name_locate(z, name.toUtf8().constData(), caseInsensitive ? ZIP_FL_NOCASE : 0);
    if (index < 0) setError(error, QStringLiteral("The archive has no member \"%1\".").arg(name));
    return index;
}

bool streamMember(const QString& archive, const QString& name,
                  const std::function<bool(const char* data, qint64 n)>& sink, QString* error,
                  qint64 maxBytes, bool caseInsensitive) {
    ArchivePtr z = openForReading(archive, error);
    if (!z) return false;
    const zip_int64_t index = locateMember(z.get(), name, caseInsensitive, error);
    if (index < 0) return false;
    return readIndex(z.get(), zip_uint64_t(index), maxBytes, sink, error);
}

bool readMember(const QString& archive, const QString& name, QByteArray& out, QString* error, qint64 maxBytes,
                bool caseInsensitive) {
    out.clear();
    ArchivePtr z = openForReading(archive, error);
    if (!z) return false;
    const zip_int64_t index = locateMember(z.get(), name, caseInsensitive, error);
    if (index < 0) return false;
    zip_stat_t st;
    zip_stat_init(&st);
    const bool sized = zip_stat_index(z.get(), zip_uint64_t(index), 0, &st) == 0 &&
                       (st.valid & ZIP_STAT_SIZE) && plausibleSize(st, QFileInfo(archive).size());
    if (!sized || qint64(st.size) > maxBytes || st.size == 0)
        return readIndex(
            z.get(), zip_uint64_t(index), maxBytes,
            [&](const char* d, qint64 n) {
                out.append(d, n);
                return true;
            },
            error);
    // The stated size, read straight into place; a member longer or shorter than it says is refused.
    auto damaged = [&](zip_file_t* f) {
        setError(error, QStringLiteral("Cannot read the member \"%1\": %2")
                            .arg(name, f ? QString::fromUtf8(zip_error_strerror(zip_file_get_error(f)))
                                         : QString::fromUtf8(zip_strerror(z.get()))));
        out.clear();
        return false;
    };
    std::unique_ptr<zip_file_t, FileCloser> f(zip_fopen_index(z.get(), zip_uint64_t(index), 0));
    if (!f) return damaged(nullptr);
    out.resize(qsizetype(st.size));
    qint64 done = 0;
    while (done < qint64(st.size)) {
        const zip_int64_t n = zip_fread(f.get(), out.data() + done, zip_uint64_t(qint64(st.size) - done));
        if (n <= 0) return damaged(f.get());
        done += n;
    }
    char extra = 0;
    if (zip_fread(f.get(), &extra, 1) != 0) return damaged(f.get());
    return true;
}

} // namespace bd::zip
