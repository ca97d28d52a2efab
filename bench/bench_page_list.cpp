// Page-field member list benchmark. Run (from the checkout):
//   cmake --build build --target bench_page_list && QT_QPA_PLATFORM=offscreen build/bench/bench_page_list
// Optional argument: the member count (default 100000). Environment: BENCH_RUNS (default 5).
//
// A pivot over one row per member (a customer field in the page area, an amount summed by region)
// prints the medians of:
//   members   the field's members in label order (what the list is given)
//   open      the list built and shown, laid out at its size
//   search    a search text typed (the listed rows narrowed), then cleared
//   none+one  None, one member ticked, the members to hide gathered (what OK takes)
//   apply     the choice applied to the field and the pivot recalculated once
#include "platform/pivot/PageFieldList.h"
#include "platform/pivot/PivotTable.h"

#include "BenchTiming.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace bd::pivot;
using bench::Clock;
using bench::median;
using bench::ms;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int runs = std::max(
        1, qEnvironmentVariableIntValue("BENCH_RUNS") ? qEnvironmentVariableIntValue("BENCH_RUNS") : 5);

    bd::db::ColumnarResult r;
    bd::db::ColumnData customer, region, amount;
    customer.name = "customer", customer.kind = bd::db::ColumnKind::Text;
    region.name = "region", region.kind = bd::db::ColumnKind::Text, region.dict = {"North", "South", "East"};
    amount.name = "amount", amount.kind = bd::db::ColumnKind::Real;
    for (int i = 0; i < n; ++i) {
        customer.dict.push_back("Customer " + std::to_string(1000000 + i).substr(1));
        customer.codes.push_back(uint32_t(i));
        region.codes.push_back(uint32_t(i % 3));
        amount.reals.push_back(i * 0.5);
    }
    r.columns = {customer, region, amount};
    r.rowCount = size_t(n);
    PivotTable t;
    t.setData(std::move(r));
    PivotField* f = t.addField("customer", "Customer", PageArea);
    t.addField("region", "Region", PageArea)->setOrientation(RowArea);
    t.addField("amount", "Amount", DataArea);
    t.recalculate();

    std::vector<double> tMembers, tOpen, tSearch, tPick, tApply;
    for (int run = 0; run < runs; ++run) {
        f->showAllMembers();
        t.recalculate();
        auto a = Clock::now();
        const QStringList members = f->members();
        auto b = Clock::now();
        tMembers.push_back(ms(a, b));
        a = Clock::now();
        PageFieldList list(f->caption(), members, {});
        list.show();
        QApplication::processEvents();
        b = Clock::now();
        tOpen.push_back(ms(a, b));
        a = Clock::now();
        list.txtSearch->setText("9999");
        QApplication::processEvents();
        list.txtSearch->clear();
        QApplication::processEvents();
        b = Clock::now();
        tSearch.push_back(ms(a, b));
        a = Clock::now();
        list.model()->setAllChecked(false);
        list.model()->toggle(42);
        const QSet<QString> hidden = list.hiddenMembers();
        b = Clock::now();
        tPick.push_back(ms(a, b));
        a = Clock::now();
        f->setHiddenMembers(hidden);
        t.recalculate();
        b = Clock::now();
        tApply.push_back(ms(a, b));
        if (t.resultRows() < 1) std::printf("unexpected empty result\n");
    }
    std::printf("page list, %d members, median of %d runs (ms)\n", n, runs);
    std::printf(
        "  members   %8.1f\n  open      %8.1f\n  search    %8.1f\n  none+one  %8.1f\n  apply     %8.1f\n",
        median(tMembers), median(tOpen), median(tSearch), median(tPick), median(tApply));
    return 0;
}
