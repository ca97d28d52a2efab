// The sort dialog: what it shows for a field's sort settings, what a user's clicks write into the
// field, how often the pivot re-pivots for them, and its protocol with the caller.
#include "viewer/RankForm.h"

#include "common/TestSupport.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace bd;
using pivot::PivotField;
using pivot::PivotTable;

namespace {

// shop (rows): Ash 10/9, Birch 40/1, Cedar 30/5, Daisy 20/7 in amount/qty; city on columns, month a
// page field; two data fields.
db::ColumnarResult shops() {
    db::ColumnarResult r;
    db::ColumnData shop, city, month, amount, qty;
    shop.name = "shop", shop.kind = db::ColumnKind::Text, shop.dict = {"Ash", "Birch", "Cedar", "Daisy"};
    city.name = "city", city.kind = db::ColumnKind::Text, city.dict = {"North", "South"};
    month.name = "month", month.kind = db::ColumnKind::Text, month.dict = {"Jan"};
    amount.name = "amount", amount.kind = db::ColumnKind::Real, amount.adoType = 5;
    qty.name = "qty", qty.kind = db::ColumnKind::Integer, qty.adoType = 3;
    const double amounts[] = {10, 40, 30, 20};
    const int qtys[] = {9, 1, 5, 7};
    for (uint32_t s = 0; s < 4; ++s) {
        shop.codes.push_back(s);
        city.codes.push_back(s / 2);
        month.codes.push_back(0);
        amount.reals.push_back(amounts[s]);
        qty.ints.push_back(qtys[s]);
    }
    r.columns = {shop, city, month, amount, qty};
    r.rowCount = 4;
    return r;
}

struct Settings {
    int labelOrder, mode, data;
    bool operator==(const Settings&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Settings& s) {
    return o << "{" << s.labelOrder << "," << s.mode << "," << s.data << "}";
}
Settings settingsOf(const PivotField* f) {
    return {f->labelOrder(), f->sortByDataMode(), f->sortByDataField()};
}

struct Fixture {
    PivotTable t;
    PivotField* shop;
    Fixture() {
        t.setData(shops());
        shop = t.addField("shop", "Shop", pivot::PageArea);
        shop->setOrientation(pivot::RowArea);
        t.addField("city", "City", pivot::PageArea)->setOrientation(pivot::ColumnArea);
        t.addField("month", "Month", pivot::PageArea);
        t.addField("amount", "Amount", pivot::DataArea);
        t.addField("qty", "Qty", pivot::DataArea);
        t.recalculate();
    }
    void set(Settings s) {
        shop->setLabelOrder(s.labelOrder);
        shop->setSortByDataMode(s.mode);
        shop->setSortByDataField(s.data);
        t.recalculate();
    }
    QString order() const {
        QStringList out;
        for (int r = 0; r < t.resultRows(); ++r)
            if (!t.isTotalRow(r)) out << t.rowHeaderText(r, 0);
        return out.join(' ');
    }
};

QString checkedOption(const RankForm& f) {
    const char* names[] = {"Default", "Ascending", "Descending"};
    QString out;
    for (int i = 0; i < 3; ++i)
        if (f.SortOption[size_t(i)]->isChecked()) out += names[i];
    return out.isEmpty() ? "none" : out;
}

QString chosenEntry(const RankForm& f) {
    return f.cboDataFields->currentIndex() < 0 ? "none" : f.cboDataFields->currentText();
}

void clickOption(RankForm& f, int i) {
    QTest::mouseClick(f.SortOption[size_t(i)], Qt::LeftButton);
}

void chooseEntry(RankForm& f, int entry) {
    f.cboDataFields->setCurrentIndex(entry);
    emit f.cboDataFields->activated(entry);
}

} // namespace

TEST(RankForm, ListsTheAxisFieldsAndOpensOnTheSelectedFieldsSettings) {
    struct Case {
        const char* name;
        Settings s;
        const char *option, *entry;
        bool comboEnabled;
    } cases[] = {
        {"by its labels", {0, 0, 0}, "Default", "shop", false},
        {"labels descending", {1, 0, 0}, "Descending", "shop", true},
        {"ranked ascending by the first data field", {0, 1, 0}, "Ascending", "amount", true},
        {"ranked descending by the second data field", {0, 2, 1}, "Descending", "qty", true},
        {"ranked by a data field that is gone", {0, 1, 7}, "Ascending", "none", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Fixture x;
        x.set(k.s);
        QSignalSpy recalculated(&x.t, &PivotTable::recalculated);
        RankForm f;
        QSignalSpy changed(&f, &RankForm::sortChanged);
        f.setPivotCube(&x.t);
        f.setSelectedField(x.shop);
        EXPECT_EQ(f.windowTitle(), "Field Ranking Options");
        ASSERT_EQ(f.lstAxisFields->count(), 3) << "rows, columns and pages; no data fields";
        EXPECT_EQ(f.lstAxisFields->item(0)->text(), "shop");
        EXPECT_EQ(f.lstAxisFields->item(2)->text(), "month");
        EXPECT_EQ(f.lstAxisFields->item(2)->data(Qt::UserRole).toInt(), 2);
        ASSERT_NE(f.lstAxisFields->currentItem(), nullptr);
        EXPECT_EQ(f.lstAxisFields->currentItem()->text(), "shop");
        EXPECT_EQ(f.SelectedField(), x.shop);
        EXPECT_EQ(checkedOption(f), k.option);
        EXPECT_EQ(chosenEntry(f), k.entry);
        EXPECT_EQ(f.cboDataFields->count(), 3);
        EXPECT_EQ(f.cboDataFields->itemData(2).toInt(), 1);
        EXPECT_EQ(f.cboDataFields->isEnabled(), k.comboEnabled);
        EXPECT_TRUE(f.SortOption[0]->isEnabled() && f.SortOrderLabel->isEnabled());
        // Opening writes nothing.
        EXPECT_EQ(settingsOf(x.shop), k.s);
        EXPECT_EQ(recalculated.count(), 0);
        EXPECT_EQ(changed.count(), 0);
    }
}

// Each user action that changes the field re-pivots once, at once, and tells the viewer; one that
// changes nothing does neither.
TEST(RankForm, ClicksWriteTheSettingsAndRepivotOncePerChange) {
    enum Step { Default, Ascending, Descending, Self, FirstData, SecondData };
    struct Case {
        const char* name;
        Settings start;
        std::vector<Step> steps;
        Settings end;
        int recalculations;
        const char* order;
    } cases[] = {
        {"Descending orders the labels downwards",
         {0, 0, 0},
         {Descending},
         {1, 0, 0},
         1,
         "Daisy Cedar Birch Ash"},
        {"Default brings the labels back up", {1, 0, 0}, {Default}, {0, 0, 0}, 1, "Ash Birch Cedar Daisy"},
        {"Ascending on ascending labels changes nothing",
         {0, 0, 0},
         {Ascending},
         {0, 0, 0},
         0,
         "Ash Birch Cedar Daisy"},
        {"a data field under Ascending ranks ascending by it",
         {0, 0, 0},
         {Ascending, SecondData},
         {0, 1, 1},
         1,
         "Birch Cedar Daisy Ash"},
        {"Descending keeps the data field of a ranking",
         {0, 1, 1},
         {Descending},
         {0, 2, 1},
         1,
         "Ash Daisy Cedar Birch"},
        {"another data field", {0, 2, 1}, {FirstData}, {0, 2, 0}, 1, "Birch Cedar Daisy Ash"},
        {"the field itself under Descending: its labels downwards",
         {0, 2, 1},
         {Self},
         {1, 0, 0},
         1,
         "Daisy Cedar Birch Ash"},
        {"Default ends a ranking", {0, 2, 1}, {Default}, {0, 0, 0}, 1, "Ash Birch Cedar Daisy"},
        {"two changes, two recalculations",
         {0, 0, 0},
         {Descending, Default},
         {0, 0, 0},
         2,
         "Ash Birch Cedar Daisy"},
        {"the same option twice", {0, 0, 0}, {Descending, Descending}, {1, 0, 0}, 1, "Daisy Cedar Birch Ash"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Fixture x;
        x.set(k.start);
        RankForm f;
        f.setPivotCube(&x.t);
        f.setSelectedField(x.shop);
        QSignalSpy recalculated(&x.t, &PivotTable::recalculated);
        QSignalSpy changed(&f, &RankForm::sortChanged);
        for (Step s : k.steps) {
            if (s <= Descending)
                clickOption(f, s);
            else
                chooseEntry(f, s - Self);
        }
        EXPECT_EQ(settingsOf(x.shop), k.end);
        EXPECT_EQ(recalculated.count(), k.recalculations);
        EXPECT_EQ(changed.count(), k.recalculations);
        EXPECT_EQ(x.order(), k.order);
    }
}

TEST(RankForm, DefaultDisablesTheDataFieldList) {
    Fixture x;
    x.set({1, 0, 0});
    RankForm f;
    f.setPivotCube(&x.t);
    f.setSelectedField(x.shop);
    ASSERT_TRUE(f.cboDataFields->isEnabled());
    clickOption(f, RankForm::OptDefault);
    EXPECT_FALSE(f.cboDataFields->isEnabled());
    EXPECT_EQ(chosenEntry(f), "shop");
    clickOption(f, RankForm::OptAscending);
    EXPECT_TRUE(f.cboDataFields->isEnabled());
}

TEST(RankForm, TheFieldBeforeThePivotIsACriticalMessageAndAnEmptyDialog) {
    os::ScopedPrompter prompts;
    Fixture x;
    RankForm f;
    f.setSelectedField(x.shop);
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].text,
              "Must set the Form.PivotCube property before calling setting this property.");
    EXPECT_EQ(prompts->prompts[0].title, "Invalid Property Call - SelectedField");
    EXPECT_EQ(prompts->prompts[0].icon, os::Icon::Critical);
    EXPECT_EQ(f.SelectedField(), nullptr);
    EXPECT_EQ(f.lstAxisFields->count(), 0);
    EXPECT_EQ(checkedOption(f), "none");
}

TEST(RankForm, AFieldOffTheAxesOrNoFieldLeavesNothingSelected) {
    Fixture x;
    RankForm f;
    f.setPivotCube(&x.t);
    f.setSelectedField(x.shop);
    ASSERT_NE(f.lstAxisFields->currentItem(), nullptr);
    f.setSelectedField(x.t.dataFields().item(1));
    EXPECT_EQ(f.lstAxisFields->currentItem(), nullptr);
    EXPECT_TRUE(f.lstAxisFields->selectedItems().isEmpty());

    f.setSelectedField(x.shop);
    f.setSelectedField(nullptr);
    EXPECT_EQ(f.SelectedField(), nullptr);
    EXPECT_TRUE(f.lstAxisFields->selectedItems().isEmpty());
    EXPECT_EQ(checkedOption(f), "none");
    EXPECT_EQ(chosenEntry(f), "none");
    for (QRadioButton* b : f.SortOption)
        EXPECT_FALSE(b->isEnabled());
    EXPECT_FALSE(f.cboDataFields->isEnabled() || f.MeasureComboLabel->isEnabled());
}

// A list entry whose field has left the pivot ends the list's click step early; the dialog still
// shows and writes the next field it is given.
TEST(RankForm, AnEntryWhoseFieldIsGoneLeavesTheDialogWorking) {
    Fixture x;
    RankForm f;
    f.setPivotCube(&x.t);
    x.t.removeAllFields();
    f.lstAxisFields->setCurrentRow(1); // the user picks "city"
    EXPECT_EQ(f.SelectedField(), nullptr);

    PivotField* shop = x.t.addField("shop", "Shop", pivot::PageArea);
    shop->setOrientation(pivot::RowArea);
    x.t.addField("amount", "Amount", pivot::DataArea);
    shop->setLabelOrder(1);
    f.setPivotCube(&x.t);
    f.setSelectedField(shop);
    EXPECT_EQ(checkedOption(f), "Descending");
    clickOption(f, RankForm::OptDefault);
    EXPECT_EQ(shop->labelOrder(), 0);
}

TEST(RankForm, CloseEndsTheModalDialogAndKeepsTheChanges) {
    Fixture x;
    RankForm f;
    f.setPivotCube(&x.t);
    f.setSelectedField(x.shop);
    int result = -1;
    os::ScopedDialogHandler h([&](QDialog* d) {
        d->show();
        clickOption(f, RankForm::OptDescending);
        QTest::mouseClick(f.CloseButton, Qt::LeftButton);
        EXPECT_FALSE(d->isVisible());
        return d->result();
    });
    result = os::runDialog(&f);
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(x.shop->labelOrder(), 1);
}
