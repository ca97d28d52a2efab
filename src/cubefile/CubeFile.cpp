// A layout saved with data is one member: a header (magic "BDLAYOUT", u32 version, u32 zero, u64 JSON
// bytes), the layout JSON, then the coded result. It is stored without a second compression: the
// coded columns are already compact and the zip's own pass would cost more time than it saves. A
// layout member that starts with "{" is JSON alone (without data, or with the data as text, as older
// cubes were saved). A small result is compressed all the same: there the pass costs nothing worth
// counting and the file is smaller.
#include "cubefile/CubeFile.h"
#include "cubefile/ColumnCodec.h"
#include "platform/zip/Zip.h"

#include <QFileInfo>
#include <cstring>

namespace bd::cubefile {

namespace {

constexpr char kLayoutMagic[8] = {'B', 'D', 'L', 'A', 'Y', 'O', 'U', 'T'};
constexpr uint32_t kLayoutVersion = 1;
constexpr qsizetype kLayoutHeaderBytes = 24;
// Coded results up to this size are compressed by the zip; larger ones are stored as they are.
constexpr uint64_t kCompressUpTo = 8ull * 1024 * 1024;

ColumnLimits dataLimits() {
    ColumnLimits l;
    l.maxBytes = uint64_t(Limits::maxDataBytes);
    return l;
}

QString megabytes(qint64 bytes) {
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', bytes < 10 * 1024 * 1024 ? 1 : 0);
}

// Saving refuses what opening would refuse.
QString tooLarge(const CubeContents& cube) {
    qint64 grids = 0;
    for (int i = 0; i < kGridCount; ++i) {
        const qint64 n = cube.grids[size_t(i)].size();
        grids += n;
        if (n > Limits::maxGridMember)
            return QStringLiteral(
                       "The cube is too large to be saved: its grid %1 holds %2 MB, at most %3 MB.")
                .arg(memberNames()[i + 1], megabytes(n), megabytes(Limits::maxGridMember));
    }
    if (grids > Limits::maxGridMembers)
        return QStringLiteral("The cube is too large to be saved: its grids hold %1 MB, at most %2 MB.")
            .arg(megabytes(grids), megabytes(Limits::maxGridMembers));
    if (cube.layout.size() > Limits::maxLayoutJson)
        return QStringLiteral("The cube is too large to be saved: its layout holds %1 MB, at most %2 MB.")
            .arg(megabytes(cube.layout.size()), megabytes(Limits::maxLayoutJson));
    return {};
}

} // namespace

const QStringList& memberNames() {
    static const QStringList n{"temp.cub",    "temp.spCal", "temp.spCam",
                               "temp.spSave", "temp.spFil", "temp.spUsrFil"};
    return n;
}

bool write(const QString& path, const CubeContents& cube, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (const QString why = tooLarge(cube); !why.isEmpty()) return fail(why);
    QList<zip::MemberBytes> members;
    if (cube.data) {
        const ColumnPlan plan(*cube.data);
        const ColumnLimits limits = dataLimits();
        if (plan.bytes() > limits.maxBytes || cube.data->rowCount > limits.maxRows ||
            cube.data->columns.size() > limits.maxColumns)
            return fail(QStringLiteral("The cube is too large to be saved with its data: %1 MB of data, at "
                                       "most %2 MB. Save it without data, or with a query that returns less.")
                            .arg(megabytes(qint64(plan.bytes())), megabytes(Limits::maxDataBytes)));
        QByteArray layout(kLayoutHeaderBytes + cube.layout.size() + qsizetype(plan.bytes()),
                          Qt::Uninitialized);
        char* p = layout.data();
        const uint32_t version = kLayoutVersion, zero = 0;
        const uint64_t json = uint64_t(cube.layout.size());
        std::memcpy(p, kLayoutMagic, 8);
        std::memcpy(p + 8, &version, 4);
        std::memcpy(p + 12, &zero, 4);
        std::memcpy(p + 16, &json, 8);
        std::memcpy(p + kLayoutHeaderBytes, cube.layout.constData(), size_t(cube.layout.size()));
        plan.write(p + kLayoutHeaderBytes + cube.layout.size());
        members.push_back({memberNames()[Layout], layout, plan.bytes() <= kCompressUpTo});
    } else {
        members.push_back({memberNames()[Layout], cube.layout, true});
    }
    for (int i = 0; i < kGridCount; ++i)
        members.push_back({memberNames()[i + 1], cube.grids[size_t(i)], true});
    return zip::packMembers(members, path, error);
}

namespace {

// The layout member: its JSON and, when saved with data, the decoded result.
bool readLayout(const QByteArray& member, CubeContents& out, QString* why) {
    const qsizetype n = member.size();
    if (n < 8 || std::memcmp(member.constData(), kLayoutMagic, 8) != 0) {
        if (n > Limits::maxLayoutJson) {
            *why = QStringLiteral("it is too large.");
            return false;
        }
        out.layout = member;
        return true;
    }
    uint32_t version = 0, zero = 0;
    uint64_t json = 0;
    if (n < kLayoutHeaderBytes) {
        *why = QStringLiteral("it is damaged.");
        return false;
    }
    std::memcpy(&version, member.constData() + 8, 4);
    std::memcpy(&zero, member.constData() + 12, 4);
    std::memcpy(&json, member.constData() + 16, 8);
    if (version > kLayoutVersion) {
        *why = QStringLiteral("it was written by a newer version of the program.");
        return false;
    }
    if (version < 1 || zero != 0 || json > uint64_t(Limits::maxLayoutJson) ||
        json > uint64_t(n - kLayoutHeaderBytes)) {
        *why = QStringLiteral("it is damaged.");
        return false;
    }
    const char* data = member.constData() + kLayoutHeaderBytes + qsizetype(json);
    const uint64_t dataBytes = uint64_t(n - kLayoutHeaderBytes) - json;
    auto result = std::make_shared<db::ColumnarResult>();
    if (!decodeColumns(data, dataBytes, dataLimits(), *result, why)) return false;
    out.layout = member.mid(kLayoutHeaderBytes, qsizetype(json));
    out.data = std::move(result);
    return true;
}

} // namespace

bool read(const QString& path, CubeContents& out, QString* error) {
    out = {};
    const QString file = QFileInfo(path).fileName();
    auto fail = [&](const QString& why) {
        out = {};
        if (error) *error = why;
        return false;
    };
    if (!QFileInfo(path).isFile()) return fail(QStringLiteral("The file %1 does not exist.").arg(path));
    QString why;
    qint64 room = Limits::maxGridMembers;
    for (int i = 0; i < kGridCount; ++i) {
        QByteArray& g = out.grids[size_t(i)];
        if (!zip::readMember(path, memberNames()[i + 1], g, &why, std::min(Limits::maxGridMember, room)))
            return fail(QStringLiteral("%1 is not a complete cube file: %2").arg(file, why));
        room -= g.size();
    }
    QByteArray layout;
    if (!zip::readMember(path, memberNames()[Layout], layout, &why, Limits::maxLayoutMember))
        return fail(QStringLiteral("%1 is not a complete cube file: %2").arg(file, why));
    if (!readLayout(layout, out, &why))
        return fail(QStringLiteral("The member %1 is damaged: %2").arg(memberNames()[Layout], why));
    return true;
}

} // namespace bd::cubefile
