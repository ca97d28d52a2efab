// NULL and the empty text are two members of a dimension, from the query through the pivot and a
// layout file that keeps the data; hiding one leaves the other.
#include "platform/db/ColumnReader.h"
#include "platform/db/DbTestData.h"
#include "platform/pivot/PivotTable.h"

#include <QTemporaryDir>

using namespace bd::db;
using namespace bd::pivot;

namespace {

bool makeFile(const QString& path, const QString& rows) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) return false;
    const QString sql = "CREATE TABLE t (Name VARCHAR(20), Qty INTEGER); INSERT INTO t VALUES " + rows + ";";
    const bool ok = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Row label -> Sum of Qty, the grand total left out.
std::map<QString, double> byName(PivotTable& t) {
    std::map<QString, double> out;
    for (int r = 0; r < t.resultRows(); ++r)
        if (!t.isTotalRow(r)) out[t.rowHeaderText(r, 0)] = t.cellValue(r, 0).toDouble();
    return out;
}

} // namespace

TEST(NullText, NullAndEmptyAreDifferentMembers) {
    QTemporaryDir dir;
    const QString file = dir.filePath("t.db");
    ASSERT_TRUE(makeFile(file, "('a', 1), ('', 2), (NULL, 4), ('a', 8), (NULL, 16), ('', 32)"));
    const QString cs = "Provider=SQLite;Data Source=" + file;

    // Read straight into columns: no code of "" for a NULL.
    ColumnarResult cols;
    QString error;
    ASSERT_TRUE(readColumns(cs, "SELECT Name, Qty FROM t WHERE Name IS NULL OR Name = 'a'", cols, &error))
        << error.toStdString();
    EXPECT_EQ(cols.columns[0].dict, std::vector<std::string>{"a"}); // no phantom empty text

    PivotTable t;
    t.setConnectionString(cs);
    t.setRecordSource("SELECT Name, Qty FROM t");
    t.addField("Name", "Name", PageArea)->setOrientation(RowArea);
    t.addField("Qty", "Qty", DataArea)->setAggregate(Sum);
    ASSERT_TRUE(t.setAfterSql(true)) << t.lastError().toStdString();
    PivotField* name = t.rowFields().item(0);
    EXPECT_EQ(name->members(), (QStringList{"", "a", "(blank)"}));
    EXPECT_EQ(byName(t), (std::map<QString, double>{{"", 34}, {"a", 9}, {"(blank)", 20}}));

    // As a page field, hiding one member leaves the other's records in.
    name->setOrientation(PageArea);
    auto total = [&] { return t.cellValue(t.resultRows() - 1, 0).toDouble(); };
    EXPECT_EQ(total(), 63);
    name->setMemberVisible("", false);
    EXPECT_EQ(total(), 63 - 34);
    name->showAllMembers();
    name->setMemberVisible("(blank)", false);
    EXPECT_EQ(total(), 63 - 20);
    name->showAllMembers();
    name->setOrientation(RowArea);

    // Kept with the data in a layout file, it reads back the same.
    const QString layout = dir.filePath("temp.cub");
    ASSERT_TRUE(t.saveLayout(layout, 3, &error)) << error.toStdString();
    PivotTable u;
    ASSERT_TRUE(u.loadLayout(layout, &error)) << error.toStdString();
    EXPECT_EQ(byName(u), byName(t));
}

TEST(NullText, LargeColumnsKeepNullsApartToo) {
    // Enough rows for the text encoder thread and several of its batches.
    QTemporaryDir dir;
    const QString file = dir.filePath("big.db");
    ASSERT_TRUE(makeFile(file, "('x', 1)"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50000) "
                     "INSERT INTO t SELECT CASE i % 3 WHEN 0 THEN NULL WHEN 1 THEN '' ELSE 'x' END, 1 FROM n",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    ColumnarResult cols;
    QString error;
    ASSERT_TRUE(readColumns("Provider=SQLite;Data Source=" + file, "SELECT Name FROM t", cols, &error));
    const ColumnData& c = cols.columns[0];
    size_t nulls = 0, empty = 0;
    for (size_t r = 0; r < cols.rowCount; ++r) {
        if (c.isNull(r)) {
            ++nulls;
            EXPECT_EQ(c.codes[r], c.dict.size());
        } else if (c.dict[c.codes[r]].empty()) {
            ++empty;
        }
    }
    EXPECT_EQ(nulls, 16666u);
    EXPECT_EQ(empty, 16667u);
}
