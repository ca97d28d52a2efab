#pragma once
// Packing files into a zip archive and unpacking one, over libzip.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace bd::zip {

struct UnpackLimits {
    qint64 maxMemberBytes = 512ll * 1024 * 1024; // one member, uncompressed
    qint64 maxTotalBytes = 2048ll * 1024 * 1024; // all members together
};

// Writes an archive holding the given files, each under its own file name. The archive is written to a
// temporary file beside the target and renamed over it only when complete, so a failure leaves an
// existing archive untouched. A replaced archive keeps its permission bits (and owner and group where
// the process may set them); a read-only one is not replaced; through a symbolic link the link's
// target is written and the link stays. A new archive gets the rights the umask leaves. False with a
// readable error on any failure.
bool pack(const QStringList& files, const QString& archive, QString* error);

// One member written from memory. A member that is already compact is stored as it is: a second
// compression pass would cost more time than it saves room.
struct MemberBytes {
    QString name;
    QByteArray bytes;
    bool compress = true;
};

// As pack, from memory: the same temporary file, rights and replace.
bool packMembers(const QList<MemberBytes>& members, const QString& archive, QString* error);

// Extracts every member into folder. Only plain member names are taken ("\" read as "/"; no folders,
// no "..", no absolute or drive paths): anything else is refused and nothing is ever written outside
// the folder. Members above the limits are refused too. False (with the refused names or the failure)
// when anything was refused or failed; the members that were fine are extracted.
bool unpack(const QString& archive, const QString& folder, QString* error, const UnpackLimits& limits = {});

// The names of the archive's members, as stored.
QStringList memberNames(const QString& archive, QString* error);

// Reads one member (exact name; caseInsensitive for readers of other programs' archives) into out.
bool readMember(const QString& archive, const QString& name, QByteArray& out, QString* error,
                qint64 maxBytes = 512ll * 1024 * 1024, bool caseInsensitive = false);

// Streams one member to sink in pieces (sink returns false to stop), at most maxBytes in all.
bool streamMember(const QString& archive, const QString& name,
                  const std::function<bool(const char* data, qint64 n)>& sink, QString* error,
                  qint64 maxBytes = 512ll * 1024 * 1024, bool caseInsensitive = false);

// True when name is a plain file name that may be written into a folder.
bool isPlainMemberName(const QString& name);

} // namespace bd::zip
