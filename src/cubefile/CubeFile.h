#pragma once
// The cube file: a zip of six members, the pivot layout (with or without the query result) and five
// grids. Reading checks every member against the same caps that writing enforces, so a cube that
// saves also opens; writing goes to a temporary file that replaces the target only when complete.
#include "platform/db/ColumnarResult.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>

namespace bd::cubefile {

enum Member { Layout, SpCal, SpCam, SpSave, SpFil, SpUsrFil, MemberCount };
constexpr int kGridCount = MemberCount - 1;

// The member names, keys "1" to "6" in this order.
const QStringList& memberNames();

// What one cube file may hold: a crafted archive cannot take the machine's memory, and save refuses
// a cube that open would refuse.
struct Limits {
    // A grid member is a small JSON file (the largest real ones are well under a megabyte).
    static constexpr qint64 maxGridMember = 96ll * 1024 * 1024;
    static constexpr qint64 maxGridMembers = 128ll * 1024 * 1024; // the five together
    // The layout as JSON (older cubes kept their data inside it, as text).
    static constexpr qint64 maxLayoutJson = 512ll * 1024 * 1024;
    // The query result saved with the cube, coded.
    static constexpr qint64 maxDataBytes = 2048ll * 1024 * 1024;
    // The layout member whole: a short header, the JSON and the data.
    static constexpr qint64 maxLayoutMember = 64 + maxLayoutJson + maxDataBytes;
};

struct CubeContents {
    QByteArray layout;                              // the pivot layout, JSON
    std::shared_ptr<const db::ColumnarResult> data; // the saved query result; null without one
    std::array<QByteArray, kGridCount> grids;       // spCal, spCam, spSave, spFil, spUsrFil
};

// Writes the cube to path. False with a message a user can act on (too large, cannot write) and the
// file at path as it was.
bool write(const QString& path, const CubeContents& cube, QString* error);

// Reads the six members, within the caps, and decodes the data. False with the reason when a member
// is missing, too large or damaged; out is then left empty. The grids and the layout JSON are
// returned as stored: their readers check them.
bool read(const QString& path, CubeContents& out, QString* error);

} // namespace bd::cubefile
