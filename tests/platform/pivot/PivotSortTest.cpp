// The sort settings the rank dialog writes: ranking an axis field by a data field, ascending or
// descending, and the descending label order, on both axes and at every level.
#include "platform/pivot/PivotTable.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace bd::pivot;
using bd::db::ColumnarResult;
using bd::db::ColumnData;
using bd::db::ColumnKind;

namespace {

// Four shops in two cities; per shop fixed amounts and counts so each ranking has one answer.
// shop  city   amount  qty
// Ash   North  10      9
// Birch North  40      1
// Cedar South  30      5
// Daisy South  20      7
ColumnarResult shops() {
    ColumnarResult r;
    ColumnData shop, city, amount, qty;
    shop.name = "shop", shop.kind = ColumnKind::Text, shop.dict = {"Ash", "Birch", "Cedar", "Daisy"};
    city.name = "city", city.kind = ColumnKind::Text, city.dict = {"North", "South"};
    amount.name = "amount", amount.kind = ColumnKind::Real, amount.adoType = 5;
    qty.name = "qty", qty.kind = ColumnKind::Integer, qty.adoType = 3;
    const double amounts[] = {10, 40, 30, 20};
    const int qtys[] = {9, 1, 5, 7};
    for (uint32_t s = 0; s < 4; ++s) {
        shop.codes.push_back(s);
        city.codes.push_back(s / 2);
        amount.reals.push_back(amounts[s]);
        qty.ints.push_back(qtys[s]);
    }
    r.columns = {shop, city, amount, qty};
    r.rowCount = 4;
    return r;
}

QStringList rowLabels(const PivotTable& t, int level) {
    QStringList out;
    for (int r = 0; r < t.resultRows(); ++r)
        if (!t.isTotalRow(r)) out << t.rowHeaderText(r, level);
    return out;
}

QStringList columnLabels(const PivotTable& t, int level) {
    QStringList out;
    for (int c = 0; c < t.resultColumns(); ++c)
        if (!t.isTotalColumn(c) && t.dataFieldIndex(c) == 0) out << t.columnHeaderText(c, level);
    return out;
}

struct Settings {
    int labelOrder, mode, data;
};

void apply(PivotField* f, Settings s) {
    f->setLabelOrder(s.labelOrder);
    f->setSortByDataMode(s.mode);
    f->setSortByDataField(s.data);
}

} // namespace

TEST(PivotSort, AnAxisFieldFollowsItsSortSettingsOnEitherAxis) {
    struct Case {
        const char* name;
        Settings s;
        const char* order;
    } cases[] = {
        {"labels ascending", {0, 0, 0}, "Ash Birch Cedar Daisy"},
        {"labels descending", {1, 0, 0}, "Daisy Cedar Birch Ash"},
        {"ranked ascending by amount", {0, 1, 0}, "Ash Daisy Cedar Birch"},
        {"ranked descending by amount", {0, 2, 0}, "Birch Cedar Daisy Ash"},
        {"ranked ascending by qty", {0, 1, 1}, "Birch Cedar Daisy Ash"},
        {"ranked descending by qty", {0, 2, 1}, "Ash Daisy Cedar Birch"},
        // amount / qty: 1.1, 40, 6, 2.9
        {"ranked ascending by a calculated field", {0, 1, 2}, "Ash Daisy Cedar Birch"},
        // A ranking wins over the label order it was set over.
        {"ranked descending by qty over descending labels", {1, 2, 1}, "Ash Daisy Cedar Birch"},
        // A ranking by a data field that is not there falls back to the labels.
        {"ranked by a missing data field", {1, 2, 5}, "Daisy Cedar Birch Ash"},
    };
    for (int axis : {RowArea, ColumnArea}) {
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(axis == RowArea ? "rows, " : "columns, ") + k.name);
            PivotTable t;
            t.setData(shops());
            PivotField* shop = t.addField("shop", "Shop", PageArea);
            shop->setOrientation(axis);
            t.addField("amount", "Amount", DataArea);
            t.addField("qty", "Qty", DataArea);
            t.addField("ratio", "Ratio", DataArea)->setFormula("amount / qty");
            ASSERT_TRUE(t.recalculate()) << t.lastError().toStdString();
            apply(shop, k.s);
            const QStringList got = axis == RowArea ? rowLabels(t, 0) : columnLabels(t, 0);
            EXPECT_EQ(got.join(' ').toStdString(), k.order);
        }
    }
}

// The inner field is ranked within each member of the outer one; the outer by its own totals.
TEST(PivotSort, RankingWorksWithinEachGroupAndOnTheOuterField) {
    PivotTable t;
    t.setData(shops());
    PivotField* city = t.addField("city", "City", PageArea);
    city->setOrientation(RowArea);
    PivotField* shop = t.addField("shop", "Shop", PageArea);
    shop->setOrientation(RowArea);
    t.addField("amount", "Amount", DataArea);
    t.addField("qty", "Qty", DataArea);
    ASSERT_TRUE(t.recalculate());
    apply(shop, {0, 2, 0});
    EXPECT_EQ(rowLabels(t, 1).join(' '), "Birch Ash Cedar Daisy");
    // North has 50 in amount and 10 in qty, South 50 and 12: ascending by qty keeps North first,
    // descending by qty puts South first.
    apply(city, {0, 2, 1});
    EXPECT_EQ(rowLabels(t, 0).join(' '), "South South North North");
    EXPECT_EQ(rowLabels(t, 1).join(' '), "Cedar Daisy Birch Ash");
    apply(city, {1, 0, 0});
    EXPECT_EQ(rowLabels(t, 0).join(' '), "South South North North");
    apply(city, {0, 0, 0});
    EXPECT_EQ(rowLabels(t, 0).join(' '), "North North South South");
}

// A change of the sort settings reaches the table by itself: the next read or repaint re-pivots.
TEST(PivotSort, ASortChangeIsSeenAtTheNextReadWithOneRecalculation) {
    PivotTable t;
    t.setData(shops());
    PivotField* shop = t.addField("shop", "Shop", PageArea);
    shop->setOrientation(RowArea);
    t.addField("amount", "Amount", DataArea);
    ASSERT_TRUE(t.recalculate());
    QSignalSpy recalculated(&t, &PivotTable::recalculated);
    shop->setSortByDataMode(2);
    shop->setSortByDataField(0);
    EXPECT_EQ(rowLabels(t, 0).join(' '), "Birch Cedar Daisy Ash");
    EXPECT_EQ(recalculated.count(), 1);
}
