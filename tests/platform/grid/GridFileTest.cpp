#include "platform/grid/GridFile.h"
#include "platform/grid/Grid.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace bd::grid;

namespace {

Grid* smallGrid() {
    auto* g = new Grid;
    g->setMaxCols(3);
    g->setMaxRows(4);
    g->setCellType(2, -1, TypeFloat);
    g->setText(1, 1, "A");
    g->setCellTag(1, 1, "ISNUMERIC");
    g->setText(2, 1, "1,5");
    g->setBackColor(3, 2, 0x8080FF);
    return g;
}

QJsonObject asJson(const Grid& g) {
    return QJsonDocument::fromJson(g.saveToBytes()).object();
}
QByteArray bytes(const QJsonObject& o) {
    return QJsonDocument(o).toJson();
}

QJsonObject withCell(QJsonObject o, const QJsonObject& cell) {
    QJsonArray cells = o["cells"].toArray();
    cells.append(cell);
    o["cells"] = cells;
    return o;
}

} // namespace

TEST(GridFile, DamagedOrHostileFilesAreRefusedAndChangeNothing) {
    std::unique_ptr<Grid> src(smallGrid());
    const QByteArray good = src->saveToBytes();
    const QJsonObject o = asJson(*src);

    struct Case {
        const char* name;
        QByteArray data;
    };
    auto set = [&](const char* key, QJsonValue v) {
        QJsonObject x = o;
        x[key] = v;
        return bytes(x);
    };
    const std::vector<Case> cases = {
        {"truncated", good.left(good.size() / 2)},
        {"empty", QByteArray()},
        {"not json", "hello"},
        {"other format", set("format", "something else")},
        {"newer version", set("version", kGridFileVersion + 1)},
        {"negative rows", set("maxRows", -1)},
        {"huge rows", set("maxRows", 1e12)},
        {"fractional cols", set("maxCols", 2.5)},
        {"rows as text", set("maxRows", "4")},
        {"unknown key", set("extra", 1)},
        {"cell beyond the rows", bytes(withCell(o, {{"col", 1}, {"row", 5}, {"text", "x"}}))},
        {"cell beyond the columns", bytes(withCell(o, {{"col", 4}, {"row", 1}, {"text", "x"}}))},
        {"negative cell", bytes(withCell(o, {{"col", -1}, {"row", 1}, {"text", "x"}}))},
        {"duplicate cell", bytes(withCell(o, {{"col", 1}, {"row", 1}, {"text", "again"}}))},
        {"unknown cell type",
         bytes(withCell(o, {{"col", 3}, {"row", 3}, {"format", QJsonObject{{"type", 3}}}}))},
        {"bad colour",
         bytes(withCell(
             o, {{"col", 3}, {"row", 3}, {"format", QJsonObject{{"backColor", double(0x81000000u)}}}}))},
        {"bad separator",
         bytes(withCell(o, {{"col", 2}, {"row", 3}, {"format", QJsonObject{{"floatDecimalChar", "7"}}}}))},
        {"not a number in a float cell", bytes(withCell(o, {{"col", 2}, {"row", 2}, {"text", "abc"}}))},
        {"empty cell", bytes(withCell(o, {{"col", 3}, {"row", 4}}))},
        {"tag not text", bytes(withCell(o, {{"col", 3}, {"row", 4}, {"tag", 5}}))},
        {"combo item not text",
         bytes(withCell(o, {{"col", 3}, {"row", 4}, {"format", QJsonObject{{"comboList", QJsonArray{1}}}}}))},
    };

    QTemporaryDir dir;
    for (const Case& c : cases) {
        std::unique_ptr<Grid> target(smallGrid());
        target->setText(3, 4, "before");
        const QByteArray before = target->saveToBytes();
        const QString path = dir.filePath("f.grid");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.data);
        f.close();
        QString err;
        EXPECT_FALSE(target->loadFromFile(path, &err)) << c.name;
        EXPECT_TRUE(err.startsWith("The grid file is damaged")) << c.name << ": " << err.toStdString();
        EXPECT_EQ(target->saveToBytes(), before) << c.name;
    }
}

TEST(GridFile, MissingFileIsAnErrorToo) {
    Grid g;
    QString err;
    EXPECT_FALSE(g.loadFromFile("/nonexistent/folder/temp.spCam", &err));
    EXPECT_FALSE(err.isEmpty());
}

TEST(GridFile, GoodFileStillLoadsAndIsVersioned) {
    std::unique_ptr<Grid> src(smallGrid());
    const QJsonObject o = asJson(*src);
    EXPECT_EQ(o["format"].toString(), "brintova-grid");
    EXPECT_EQ(o["version"].toInt(), kGridFileVersion);
    Grid g;
    QString err;
    ASSERT_TRUE(g.loadFromBytes(src->saveToBytes(), &err)) << err.toStdString();
    EXPECT_EQ(g.text(2, 1), "1.50");
    EXPECT_EQ(g.cellTag(1, 1), "ISNUMERIC");
    EXPECT_EQ(g.backColor(3, 2), 0x8080FFu);
}
