// A cube file that someone sent, whose SQL tries to write, to attach or vacuum into a file, or to run a
// second statement, refreshes on open: it is refused with a message and no file appears.
#include "common/TestSupport.h"
#include "platform/grid/Grid.h"
#include "platform/zip/Zip.h"
#include "viewer/ViewerTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <zip.h>

using namespace bd;
using test::LinkedViewer;

namespace {

using Members = QList<QPair<QString, QByteArray>>;

Members membersOf(const QString& cub) {
    Members out;
    QString error;
    for (const QString& n : Cubo::MemberNames()) {
        QByteArray b;
        zip::readMember(cub, n, b, &error);
        out << qMakePair(n, b);
    }
    return out;
}

bool writeZip(const QString& path, const Members& members) {
    QFile::remove(path);
    int err = 0;
    zip_t* z = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) return false;
    for (const auto& m : members) {
        zip_source_t* s = zip_source_buffer(z, m.second.constData(), zip_uint64_t(m.second.size()), 0);
        if (zip_file_add(z, m.first.toUtf8().constData(), s, ZIP_FL_OVERWRITE) < 0) zip_source_free(s);
    }
    return zip_close(z) == 0;
}

struct CraftedCube : test::ViewerFixture {};

} // namespace

TEST_F(CraftedCube, SqlThatWouldWriteAttachOrRunASecondStatementIsRefusedOnOpen) {
    const QString path = home.path("example.cub");
    {
        LinkedViewer w;
        QString error;
        ASSERT_TRUE(test::FillExampleCube(w, &error)) << error.toStdString();
        dialogs.answers << path;
        ASSERT_TRUE(w.v->Guardar(true, false)) << prompts->texts().join("/").toStdString();
    }
    const QString made = home.path("made.db");
    const struct {
        QString sql;
        const char* reason;
    } cases[] = {
        {"VACUUM INTO '" + made + "'", "ATTACH (and VACUUM INTO) is not allowed"},
        {"ATTACH DATABASE '" + made + "' AS x", "ATTACH (and VACUUM INTO) is not allowed"},
        {"SELECT * FROM Sales; VACUUM INTO '" + made + "'", "more than one statement"},
        {"SELECT * FROM Sales;\r\nATTACH DATABASE '" + made + "' AS x;", "more than one statement"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.sql.toStdString());
        Members m = membersOf(path);
        grid::Grid sheet;
        ASSERT_TRUE(sheet.loadFromBytes(m[3].second));
        sheet.setCellTag(Campos::ColProperty, Campos::FilaConsultaSQL, k.sql);
        sheet.setText(Campos::ColProperty, Campos::FilaRefrescarAlAbrir, "1");
        m[3].second = sheet.saveToBytes();
        const QString crafted = home.path("crafted.cub");
        ASSERT_TRUE(writeZip(crafted, m));
        prompts->prompts.clear();
        LinkedViewer w;
        w.v->Abrir(crafted);
        bool told = false;
        for (const auto& p : prompts->prompts)
            told |= p.title == "Failed to refresh data" && p.text.contains(QLatin1String(k.reason));
        EXPECT_TRUE(told) << prompts->texts().join(" / ").toStdString();
        EXPECT_FALSE(QFileInfo::exists(made));
        EXPECT_FALSE(w.v->DC->isVisibleTo(w.v));
    }
}
