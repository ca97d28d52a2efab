// The engine against a brute-force reference on random data with NULLs.
#include "platform/pivot/engine/Formula.h"
#include "platform/pivot/engine/PivotEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <thread>

using namespace bd::pivot::engine;
using bd::db::ColumnarResult;
using bd::db::ColumnData;
using bd::db::ColumnKind;

namespace {

ColumnData textCol(const std::string& name) {
    ColumnData c;
    c.name = name;
    c.kind = ColumnKind::Text;
    return c;
}
void pushText(ColumnData& c, const std::string& s, bool null) {
    auto it = std::find(c.dict.begin(), c.dict.end(), s);
    if (it == c.dict.end()) {
        c.dict.push_back(s);
        it = c.dict.end() - 1;
    }
    c.codes.push_back(uint32_t(it - c.dict.begin()));
    c.nulls.push_back(null);
}

// Columns: 0 region (text), 1 product (text), 2 year (int), 3 flag (bool), 4 big (int, wide range),
// 5 price (real dimension), 6 amount (real measure), 7 qty (int measure), 8 note (text measure).
std::shared_ptr<ColumnarResult> makeData(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    auto r = std::make_shared<ColumnarResult>();
    r->rowCount = n;
    ColumnData region = textCol("region"), product = textCol("product"), note = textCol("note");
    ColumnData year, flag, big, price, amount, qty;
    year.name = "year", year.kind = ColumnKind::Integer;
    flag.name = "flag", flag.kind = ColumnKind::Boolean;
    big.name = "big", big.kind = ColumnKind::Integer;
    price.name = "price", price.kind = ColumnKind::Real;
    amount.name = "amount", amount.kind = ColumnKind::Real;
    qty.name = "qty", qty.kind = ColumnKind::Integer;
    const char* regions[] = {"North", "south", "East", "West", "Ñandú"};
    for (size_t i = 0; i < n; ++i) {
        pushText(region, regions[rng() % 5], rng() % 17 == 0);
        pushText(product, "P" + std::to_string(rng() % 7), rng() % 23 == 0);
        pushText(note, "n" + std::to_string(rng() % 3), rng() % 4 == 0);
        year.ints.push_back(2015 + int(rng() % 4));
        year.nulls.push_back(rng() % 19 == 0);
        flag.ints.push_back(rng() % 2);
        big.ints.push_back(int64_t(rng() % 1000000000) - 500000000);
        price.reals.push_back(double(rng() % 100000) / 8.0);
        amount.reals.push_back(double(int(rng() % 200000) - 50000) / 100.0);
        amount.nulls.push_back(rng() % 7 == 0);
        qty.ints.push_back(1 + int(rng() % 49));
    }
    r->columns = {region, product, year, flag, big, price, amount, qty, note};
    return r;
}

std::string numberLabel(double v) {
    char b[64];
    auto [p, ec] = std::to_chars(b, b + 64, v);
    return std::string(b, p);
}

std::string labelOf(const ColumnarResult& d, int col, size_t row) {
    const ColumnData& c = d.columns[col];
    if (c.isNull(row)) return kNullLabel;
    switch (c.kind) {
    case ColumnKind::Text:
        return c.dict[c.codes[row]];
    case ColumnKind::Boolean:
        return c.ints[row] ? "True" : "False";
    case ColumnKind::Integer:
        return std::to_string(c.ints[row]);
    default:
        return numberLabel(c.reals[row]);
    }
}
// Label order: null last, text by bytes, numbers by value.
bool labelLess(const ColumnarResult& d, int col, const std::string& a, const std::string& b) {
    if ((a == kNullLabel) != (b == kNullLabel)) return b == kNullLabel;
    if (d.columns[col].kind == ColumnKind::Text) return a < b;
    if (d.columns[col].kind == ColumnKind::Boolean) return a == "False" && b == "True";
    return std::stod(a) < std::stod(b);
}

struct Reference {
    const ColumnarResult& d;
    const PivotDefinition& s;
    std::vector<size_t> rows; // after the page selections

    std::optional<double> plain(const std::vector<size_t>& rs, const DataField& f) const {
        if (rs.empty()) return std::nullopt;
        std::vector<double> v;
        if (f.column < 0)
            v.assign(rs.size(), 1.0);
        else {
            const ColumnData& c = d.columns[f.column];
            for (size_t r : rs) {
                if (c.isNull(r)) continue;
                v.push_back(c.kind == ColumnKind::Real   ? c.reals[r]
                            : c.kind == ColumnKind::Text ? 0
                                                         : double(c.ints[r]));
            }
            if (c.kind == ColumnKind::Text && f.agg != Agg::Count) return std::nullopt;
        }
        const double n = double(v.size());
        if (f.agg == Agg::Count) return n;
        if (v.empty()) return std::nullopt;
        double sum = 0;
        for (double x : v)
            sum += x;
        const double mean = sum / n;
        double ss = 0;
        for (double x : v)
            ss += (x - mean) * (x - mean);
        switch (f.agg) {
        case Agg::Sum:
            return sum;
        case Agg::Avg:
            return mean;
        case Agg::Max:
            return *std::max_element(v.begin(), v.end());
        case Agg::Min:
            return *std::min_element(v.begin(), v.end());
        case Agg::StDev:
            return n > 1 ? std::optional<double>(std::sqrt(ss / (n - 1))) : std::nullopt;
        case Agg::StDevP:
            return std::sqrt(ss / n);
        case Agg::Var:
            return n > 1 ? std::optional<double>(ss / (n - 1)) : std::nullopt;
        case Agg::VarP:
            return ss / n;
        default:
            return std::nullopt;
        }
    }
    std::optional<double> value(const std::vector<size_t>& rs, int di) const {
        const DataField& f = s.data[di];
        if (!f.formula) return plain(rs, f);
        if (rs.empty()) return std::nullopt;
        return f.formula->eval([&](int ref) { return value(rs, ref); });
    }
    std::vector<size_t> match(const std::vector<size_t>& rs, const std::vector<AxisField>& fields,
                              const std::vector<std::string>& prefix) const {
        std::vector<size_t> out;
        for (size_t r : rs) {
            bool ok = true;
            for (size_t l = 0; l < prefix.size() && ok; ++l)
                ok = labelOf(d, fields[l].column, r) == prefix[l];
            if (ok) out.push_back(r);
        }
        return out;
    }
    struct Line {
        std::vector<std::string> prefix;
        bool total;
    };
    void lines(const std::vector<AxisField>& fields, const std::vector<size_t>& rs,
               std::vector<std::string> prefix, std::vector<Line>& out) const {
        const size_t l = prefix.size();
        if (l == fields.size()) {
            out.push_back({prefix, false});
            return;
        }
        const AxisField& f = fields[l];
        std::set<std::string> seen;
        for (size_t r : rs)
            seen.insert(labelOf(d, f.column, r));
        std::vector<std::string> kids(seen.begin(), seen.end());
        std::stable_sort(kids.begin(), kids.end(), [&](const auto& a, const auto& b) {
            return f.descending ? labelLess(d, f.column, b, a) : labelLess(d, f.column, a, b);
        });
        if (f.sortMode != 0) {
            std::vector<std::string> byLabel = kids;
            std::sort(byLabel.begin(), byLabel.end(),
                      [&](const auto& a, const auto& b) { return labelLess(d, f.column, a, b); });
            std::map<std::string, std::optional<double>> val;
            for (const auto& k : kids) {
                auto p = prefix;
                p.push_back(k);
                val[k] = value(match(rs, fields, p), f.sortData);
            }
            kids = byLabel;
            std::stable_sort(kids.begin(), kids.end(), [&](const auto& a, const auto& b) {
                const auto &va = val[a], &vb = val[b];
                if (va.has_value() != vb.has_value()) return va.has_value();
                if (!va || *va == *vb) return false;
                return f.sortMode == 2 ? *va > *vb : *va < *vb;
            });
        }
        for (const auto& k : kids) {
            auto p = prefix;
            p.push_back(k);
            lines(fields, match(rs, fields, p), p, out);
            if (p.size() < fields.size() && s.subtotals) out.push_back({p, true});
        }
    }
    std::vector<Line> axis(const std::vector<AxisField>& fields) const {
        std::vector<Line> out;
        if (rows.empty()) return out;
        if (fields.empty()) return {{{}, false}};
        lines(fields, rows, {}, out);
        if (s.grandTotals) out.push_back({{}, true});
        return out;
    }
};

std::string expectedLabel(const Reference::Line& l, int level) {
    if (l.total && l.prefix.empty()) return level == 0 ? "Grand Total" : "";
    if (level >= int(l.prefix.size())) return "";
    return l.prefix[level] + (l.total && level == int(l.prefix.size()) - 1 ? " Total" : "");
}

bool near(std::optional<double> a, std::optional<double> b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    return std::fabs(*a - *b) <= 1e-6 * std::max(1.0, std::fabs(*b));
}

PivotDefinition randomDefinition(std::mt19937& rng, const ColumnarResult& d) {
    PivotDefinition s;
    std::vector<int> dims = {0, 1, 2, 3, 4, 5};
    std::shuffle(dims.begin(), dims.end(), rng);
    const int nr = int(rng() % 4), nc = int(rng() % 3);
    // the wide-range columns 4 and 5 together push the key space into the sparse path
    for (int i = 0; i < nr; ++i)
        s.rows.push_back({dims[i], rng() % 3 == 0, 0, -1});
    for (int i = 0; i < nc; ++i)
        s.columns.push_back({dims[nr + i], rng() % 3 == 0, 0, -1});
    if (rng() % 2) {
        PageField p{dims[nr + nc], {}};
        for (int k = 0; k < 3; ++k)
            p.hidden.insert(labelOf(d, p.column, rng() % d.rowCount));
        s.pages.push_back(p);
    }
    const int measures[] = {6, 7, 8, -1};
    const int nd = 1 + int(rng() % 4);
    for (int i = 0; i < nd; ++i)
        s.data.push_back({measures[rng() % 4], Agg(rng() % kAggCount), nullptr});
    if (rng() % 2) {
        std::string err;
        auto f = Formula::parse(
            "([d0] - 2) / d1 + -d0 ^ 2 * 0.5",
            [](const std::string& n) { return n == "d0"   ? 0
                                              : n == "d1" ? int(1)
                                                          : -1; }, &err);
        if (s.data.size() < 2) s.data.push_back({7, Agg::Sum, nullptr});
        s.data.push_back({-1, Agg::Sum, f});
    }
    for (auto* axis : {&s.rows, &s.columns})
        for (auto& f : *axis)
            if (rng() % 3 == 0) f.sortMode = 1 + int(rng() % 2), f.sortData = int(rng() % s.data.size());
    s.subtotals = rng() % 4 != 0;
    s.grandTotals = rng() % 4 != 0;
    return s;
}

void checkAgainstReference(const ColumnarResult& d, const PivotDefinition& s, const PivotResult& res,
                           int trial) {
    Reference ref{d, s, {}};
    for (size_t r = 0; r < d.rowCount; ++r) {
        bool keep = true;
        for (const auto& p : s.pages)
            keep = keep && !p.hidden.count(labelOf(d, p.column, r));
        if (keep) ref.rows.push_back(r);
    }
    const auto rl = ref.axis(s.rows), cl0 = ref.axis(s.columns);
    std::vector<std::pair<Reference::Line, int>> cl;
    for (const auto& l : cl0)
        for (int di = 0; di < int(s.data.size()); ++di)
            cl.push_back({l, di});
    ASSERT_EQ(res.rowCount(), int(rl.size())) << "trial " << trial;
    ASSERT_EQ(res.columnCount(), int(cl.size())) << "trial " << trial;
    for (int r = 0; r < res.rowCount(); ++r) {
        ASSERT_EQ(res.isTotalRow(r), rl[r].total) << "trial " << trial << " row " << r;
        for (int lv = 0; lv < int(s.rows.size()); ++lv)
            ASSERT_EQ(res.rowLabel(r, lv), expectedLabel(rl[r], lv)) << "trial " << trial << " row " << r;
    }
    for (int c = 0; c < res.columnCount(); ++c) {
        ASSERT_EQ(res.isTotalColumn(c), cl[c].first.total) << "trial " << trial;
        ASSERT_EQ(res.dataFieldOf(c), cl[c].second);
        for (int lv = 0; lv < int(s.columns.size()); ++lv)
            ASSERT_EQ(res.columnLabel(c, lv), expectedLabel(cl[c].first, lv))
                << "trial " << trial << " col " << c;
    }
    for (int r = 0; r < res.rowCount(); ++r) {
        const auto rs = ref.match(ref.rows, s.rows, rl[r].prefix);
        for (int c = 0; c < res.columnCount(); ++c) {
            const auto cs = ref.match(rs, s.columns, cl[c].first.prefix);
            const auto want = ref.value(cs, cl[c].second), got = res.value(r, c);
            ASSERT_TRUE(near(got, want)) << "trial " << trial << " cell " << r << "," << c << " got "
                                         << (got ? std::to_string(*got) : "empty") << " want "
                                         << (want ? std::to_string(*want) : "empty");
        }
    }
}

} // namespace

TEST(PivotEngine, MatchesBruteForceOnRandomData) {
    auto data = makeData(400, 7);
    Engine dense;
    dense.setData(data);
    std::mt19937 rng(42);
    Engine sparse; // same data through the open-addressing path
    sparse.setData(data);
    sparse.setDenseLimit(4);
    for (int trial = 0; trial < 300; ++trial) {
        const PivotDefinition s = randomDefinition(rng, *data);
        Engine& e = trial % 2 ? sparse : dense;
        std::string err;
        auto res = e.compute(s, &err);
        ASSERT_TRUE(res) << err;
        checkAgainstReference(*data, s, *res, trial);
        if (HasFatalFailure()) return;
    }
}

TEST(PivotEngine, ParallelAndSparsePathsAgreeWithSingleThread) {
    auto data = makeData(300000, 3);
    Engine par, one;
    par.setData(data);
    one.setData(data);
    one.setMaxThreads(1);
    std::vector<PivotDefinition> defs(4);
    defs[0].rows = {{0}, {1}};
    defs[0].columns = {{2}};
    defs[1].rows = {{4}}; // hundreds of thousands of members: open addressing
    defs[1].columns = {{5}};
    defs[2].rows = {{3}};
    defs[2].pages = {{0, {"North"}}};
    // Two wide fields under a narrow one: a key space too large to index, so the finest cells come in
    // no key order, while the result cells stay dense; each subtotal of the narrow field gathers cells
    // from all over them.
    defs[3].rows = {{0}, {4}, {5}};
    for (auto& s : defs)
        for (int a = 0; a < kAggCount; ++a)
            s.data.push_back({6, Agg(a), nullptr});
    for (auto& s : defs) {
        auto a = par.compute(s), b = one.compute(s);
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->rowCount(), b->rowCount());
        ASSERT_EQ(a->columnCount(), b->columnCount());
        // every grand total and subtotal of the first field, a sample of the other lines
        const int step = 1 + a->rowCount() / 500;
        for (int r = 0; r < a->rowCount(); ++r) {
            const bool topTotal = a->isTotalRow(r) && (s.rows.size() < 2 || a->rowLabel(r, 1).empty());
            if (r % step != 0 && !topTotal) continue;
            ASSERT_EQ(a->rowLabel(r, 0), b->rowLabel(r, 0)) << r;
            for (int c = 0; c < a->columnCount(); c += 1 + a->columnCount() / 50)
                ASSERT_TRUE(near(a->value(r, c), b->value(r, c))) << r << "," << c;
        }
    }
    EXPECT_FALSE(par.compute(defs[1])->denseCells);
    EXPECT_TRUE(par.compute(defs[3])->denseCells);
}

// Many finest cells (rows split by key range, roll-up in parallel), pivots repeated on one engine
// (buffers reused) and pivots of two engines at once (the shared threads busy): all agree.
TEST(PivotEngine, RepeatedAndConcurrentPivotsAgreeWithSingleThread) {
    auto data = makeData(300000, 5);
    Engine one, par, other;
    for (Engine* e : {&one, &par, &other})
        e->setData(data);
    one.setMaxThreads(1);
    std::vector<PivotDefinition> defs(3);
    defs[0].rows = {{0}, {5}}; // region, price: about 100000 members, so a large key space
    defs[0].columns = {{2}};
    defs[1].rows = {{0}};
    defs[1].columns = {{2}};
    defs[2].rows = {{5}, {1}};
    defs[2].columns = {{3}};
    for (auto& s : defs) {
        s.data = {{6, Agg::Sum, nullptr},
                  {6, Agg::StDev, nullptr},
                  {7, Agg::Max, nullptr},
                  {-1, Agg::Count, nullptr}};
    }
    auto same = [](const PivotResult& a, const PivotResult& b) {
        ASSERT_EQ(a.rowCount(), b.rowCount());
        ASSERT_EQ(a.columnCount(), b.columnCount());
        for (int r = 0; r < a.rowCount(); r += 1 + a.rowCount() / 2000)
            for (int c = 0; c < a.columnCount(); ++c) {
                ASSERT_TRUE(near(a.value(r, c), b.value(r, c))) << r << "," << c;
                ASSERT_EQ(a.rowLabel(r, 0), b.rowLabel(r, 0));
            }
    };
    std::vector<std::shared_ptr<const PivotResult>> ref;
    for (auto& s : defs)
        ref.push_back(one.compute(s));
    for (int round = 0; round < 2; ++round)
        for (size_t i = 0; i < defs.size(); ++i) {
            std::shared_ptr<const PivotResult> b;
            std::thread t([&] { b = other.compute(defs[(i + 1) % defs.size()]); });
            auto a = par.compute(defs[i]);
            t.join();
            ASSERT_TRUE(a && b && ref[i]);
            same(*a, *ref[i]);
            same(*b, *ref[(i + 1) % defs.size()]);
            if (HasFatalFailure()) return;
        }
}

TEST(PivotEngine, NoRecordsGivesNoLinesAndBadDefinitionsGiveErrors) {
    auto data = makeData(50, 1);
    Engine e;
    e.setData(data);
    PivotDefinition s;
    s.rows = {{0}};
    s.data = {{6, Agg::Sum, nullptr}};
    PageField all{3, {"True", "False"}};
    s.pages = {all};
    auto res = e.compute(s);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->rowCount(), 0);
    std::string err;
    s.rows = {{99}};
    EXPECT_FALSE(e.compute(s, &err));
    EXPECT_FALSE(err.empty());
    s.rows = {{0, false, 1, 5}};
    EXPECT_FALSE(e.compute(s, &err));
}

TEST(PivotEngine, DateLabelsAndNumericOrder) {
    auto r = std::make_shared<ColumnarResult>();
    ColumnData d;
    d.name = "when";
    d.kind = ColumnKind::DateTime;
    d.reals = {45000.0, 36526.5, 2.0};
    ColumnData n;
    n.name = "n";
    n.kind = ColumnKind::Integer;
    n.ints = {10, 9, 100};
    r->columns = {d, n};
    r->rowCount = 3;
    Engine e;
    e.setData(r);
    auto dim = e.dimension(0);
    EXPECT_EQ(dim->labels, (std::vector<std::string>{"1900-01-01", "2000-01-01 12:00:00", "2023-03-15"}));
    PivotDefinition s;
    s.rows = {{1}};
    s.data = {{-1, Agg::Sum, nullptr}};
    auto res = e.compute(s);
    EXPECT_EQ(res->rowLabel(0, 0), "9");
    EXPECT_EQ(res->rowLabel(1, 0), "10");
    EXPECT_EQ(res->rowLabel(2, 0), "100");
}

TEST(PivotFormula, ParsesAndEvaluates) {
    auto resolve = [](const std::string& n) {
        return n == "Net Sales" ? 0 : n == "qty" ? 1 : n == "a-b" ? 2 : -1;
    };
    auto vals = [](int i) -> std::optional<double> { return std::vector<double>{10, 4, 0}[i]; };
    struct Case {
        const char* text;
        std::optional<double> want;
    };
    const Case ok[] = {{"Net Sales / qty", 2.5},      {"-qty ^ 2", -16},    {"2 ^ 3 ^ 2", 512},
                       {"(Net Sales + qty) * 2", 28}, {"[a-b] + 1", 1},     {"qty / [a-b]", std::nullopt},
                       {"1.5e1 - - 5", 20},           {"  Net Sales  ", 10}};
    for (const auto& c : ok) {
        std::string err;
        auto f = Formula::parse(c.text, resolve, &err);
        ASSERT_TRUE(f) << c.text << ": " << err;
        EXPECT_EQ(f->eval(vals), c.want) << c.text;
    }
    const char* bad[] = {"", "qty +", "(qty", "qty)", "unknown * 2", "[qty", "qty ] 1", "* qty", "qty qty2"};
    for (const char* b : bad) {
        std::string err;
        EXPECT_FALSE(Formula::parse(b, resolve, &err)) << b;
        EXPECT_FALSE(err.empty()) << b;
    }
}
