// The lines of one axis: children sorted by label or by a data field, subtotals after each group.
#include "platform/pivot/engine/Compute.h"
#include "platform/pivot/engine/ThreadPool.h"

#include <algorithm>
#include <iterator>

namespace bd::pivot::engine {

namespace {

// A node's children: a slice of the child index, sorted in place.
struct Children {
    uint32_t* b;
    uint32_t* e;
    size_t size() const { return size_t(e - b); }
    uint32_t* begin() const { return b; }
    uint32_t* end() const { return e; }
    std::reverse_iterator<uint32_t*> rbegin() const { return std::reverse_iterator<uint32_t*>(e); }
    std::reverse_iterator<uint32_t*> rend() const { return std::reverse_iterator<uint32_t*>(b); }
    uint32_t& operator[](size_t i) const { return b[i]; }
};

class LineLayout {
public:
    LineLayout(const ComputeContext& context, bool rowsAxis, PivotResult& result)
        : context_(context), result_(result), rowsAxis_(rowsAxis),
          nodes_(rowsAxis ? result.rowNodes : result.colNodes),
          fields_(rowsAxis ? context.def.rows : context.def.columns),
          dims_(rowsAxis ? result.rowDims : result.colDims),
          out_(rowsAxis ? result.rowLines : result.colLines),
          dataCount_(rowsAxis ? 0 : int(context.def.data.size())) {}

    void run() {
        indexChildren();
        sortChildren();
        emitLines();
    }

private:
    // children of node n: child_[first_[n] .. first_[n + 1])
    void indexChildren() {
        first_.assign(nodes_.size() + 1, 0);
        child_.assign(nodes_.size() ? nodes_.size() - 1 : 0, 0);
        for (size_t n = 1; n < nodes_.size(); ++n)
            ++first_[size_t(nodes_[n].parent) + 1];
        for (size_t n = 0; n < nodes_.size(); ++n)
            first_[n + 1] += first_[n];
        std::vector<uint32_t> at(first_.begin(), first_.end() - 1);
        for (size_t n = 1; n < nodes_.size(); ++n)
            child_[at[size_t(nodes_[n].parent)]++] = uint32_t(n);
    }

    Children children(size_t n) { return Children{child_.data() + first_[n], child_.data() + first_[n + 1]}; }

    // The field whose members a node's children are.
    int levelOf(const Children& children) const { return nodes_[children[0]].level - 1; }

    void sortChildren() {
        std::vector<uint32_t> byLabel; // parents whose children go in label order
        size_t byLabelChildren = 0;
        for (size_t n = 0; n < nodes_.size(); ++n) {
            const Children ch = children(n);
            if (ch.size() < 2) continue;
            if (fields_[size_t(levelOf(ch))].sortMode != 0) {
                sortByData(ch);
            } else {
                byLabel.push_back(uint32_t(n));
                byLabelChildren += ch.size();
            }
        }
        sortByLabel(byLabel, byLabelChildren);
    }

    // By the field's data field, ascending or descending; empty values last, ties in label order.
    void sortByData(const Children& ch) {
        const AxisField& f = fields_[size_t(levelOf(ch))];
        const Dimension& dim = *dims_[size_t(levelOf(ch))];
        std::vector<std::pair<std::optional<double>, uint32_t>> keyed;
        for (uint32_t c : ch)
            keyed.push_back(
                {rowsAxis_ ? result_.nodeValue(c, 0, f.sortData) : result_.nodeValue(0, c, f.sortData), c});
        const bool descending = f.sortMode == 2;
        std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
            if (a.first.has_value() != b.first.has_value()) return a.first.has_value();
            if (a.first && *a.first != *b.first)
                return descending ? *a.first > *b.first : *a.first < *b.first;
            return dim.rank[nodes_[a.second].code] < dim.rank[nodes_[b.second].code];
        });
        for (size_t i = 0; i < ch.size(); ++i)
            ch[i] = keyed[i].second;
    }

    // Label orders, in parallel when there are many: siblings have distinct members, so distinct ranks.
    void sortByLabel(const std::vector<uint32_t>& parents, size_t childCount) {
        const int tasks = childCount > context_.tuning.parallelLabelSort
                              ? int(std::min<size_t>(parents.size(), size_t(context_.manyTasks())))
                              : 1;
        parallelFor(context_.threads, tasks, [&](int t) {
            std::vector<uint64_t> keyed;
            for (size_t x = size_t(t); x < parents.size(); x += size_t(tasks)) {
                const Children ch = children(parents[x]);
                const int level = levelOf(ch);
                const Dimension& dim = *dims_[size_t(level)];
                keyed.resize(ch.size());
                for (size_t i = 0; i < ch.size(); ++i)
                    keyed[i] = uint64_t(dim.rank[nodes_[ch[i]].code]) << 32 | ch[i];
                std::sort(keyed.begin(), keyed.end());
                if (fields_[size_t(level)].descending) std::reverse(keyed.begin(), keyed.end());
                for (size_t i = 0; i < ch.size(); ++i)
                    ch[i] = uint32_t(keyed[i]);
            }
        });
    }

    void push(uint32_t node, int depth, bool total) {
        if (rowsAxis_)
            out_.push_back({node, depth, total, -1});
        else
            for (int d = 0; d < dataCount_; ++d)
                out_.push_back({node, depth, total, d});
    }

    // Depth first: a group's lines, then its subtotal; the grand total last.
    void emitLines() {
        const int levels = int(fields_.size());
        out_.reserve((nodes_.size() + 1) * size_t(rowsAxis_ ? 1 : std::max(dataCount_, 1)));
        if (levels == 0) {
            push(0, 0, false);
            return;
        }
        std::vector<std::pair<uint32_t, bool>> stack; // (node, children done)
        for (auto it = children(0).rbegin(); it != children(0).rend(); ++it)
            stack.push_back({*it, false});
        while (!stack.empty()) {
            auto [n, done] = stack.back();
            stack.pop_back();
            const int level = nodes_[n].level;
            if (level == levels) {
                push(n, levels, false);
            } else if (done) {
                if (context_.def.subtotals) push(n, level, true);
            } else {
                stack.push_back({n, true});
                for (auto it = children(n).rbegin(); it != children(n).rend(); ++it)
                    stack.push_back({*it, false});
            }
        }
        if (context_.def.grandTotals) push(0, 0, true);
    }

    const ComputeContext& context_;
    PivotResult& result_;
    const bool rowsAxis_;
    const std::vector<PivotResult::Node>& nodes_;
    const std::vector<AxisField>& fields_;
    const std::vector<std::shared_ptr<const Dimension>>& dims_;
    std::vector<PivotResult::Line>& out_;
    const int dataCount_; // columns: lines per node, one per data field
    std::vector<uint32_t> first_, child_;
};

} // namespace

void layOutLines(const ComputeContext& context, bool rowsAxis, PivotResult& result) {
    LineLayout(context, rowsAxis, result).run();
}

} // namespace bd::pivot::engine
