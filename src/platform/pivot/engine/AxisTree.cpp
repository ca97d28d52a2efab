// The node tree of one axis, from its distinct tuple keys.
#include "platform/pivot/engine/Compute.h"

#include <algorithm>

namespace bd::pivot::engine {

namespace {

// Sorted tuples share each prefix with their neighbours: a new node wherever a prefix changes.
void buildFromSorted(const std::vector<uint64_t>& tupleKeys, const std::vector<uint32_t>& cards,
                     const std::vector<uint64_t>& after, AxisTree& tree) {
    const size_t levels = cards.size();
    std::vector<uint64_t> last(levels + 1, ~uint64_t(0));
    std::vector<uint32_t> node(levels + 1, 0);
    for (size_t tuple = 0; tuple < tupleKeys.size(); ++tuple) {
        bool changed = false;
        uint32_t* out = tree.tupleNodes.data() + tuple * (levels + 1);
        out[0] = 0;
        for (size_t i = 1; i <= levels; ++i) {
            const uint64_t prefix = tupleKeys[tuple] / after[i];
            if (changed || prefix != last[i]) {
                changed = true;
                last[i] = prefix;
                node[i] = uint32_t(tree.nodes.size());
                tree.nodes.push_back({int(i), int(node[i - 1]), uint32_t(prefix % cards[i - 1])});
            }
            out[i] = node[i];
        }
    }
}

// Tuples in any order: a map per level from prefix to node.
void buildFromUnsorted(const std::vector<uint64_t>& tupleKeys, const std::vector<uint32_t>& cards,
                       const std::vector<uint64_t>& after, AxisTree& tree) {
    const size_t levels = cards.size();
    std::vector<KeyMap> maps;
    for (size_t i = 0; i < levels; ++i)
        maps.emplace_back(64);
    for (size_t tuple = 0; tuple < tupleKeys.size(); ++tuple) {
        uint32_t parent = 0;
        tree.tupleNodes[tuple * (levels + 1)] = 0;
        for (size_t i = 1; i <= levels; ++i) {
            const uint64_t prefix = tupleKeys[tuple] / after[i];
            bool inserted;
            const uint32_t id = maps[i - 1].get(prefix, uint32_t(tree.nodes.size()), inserted);
            if (inserted) tree.nodes.push_back({int(i), int(parent), uint32_t(prefix % cards[i - 1])});
            tree.tupleNodes[tuple * (levels + 1) + i] = id;
            parent = id;
        }
    }
}

} // namespace

AxisTree buildAxisTree(const std::vector<uint64_t>& tupleKeys, const std::vector<uint32_t>& cards) {
    const size_t levels = cards.size();
    AxisTree tree;
    tree.levels = levels;
    tree.nodes.push_back({0, -1, 0});
    std::vector<uint64_t> after(levels + 1, 1); // after[i] = product of cards[i..levels-1]
    for (size_t i = levels; i-- > 0;)
        after[i] = after[i + 1] * cards[i];
    tree.tupleNodes.resize(tupleKeys.size() * (levels + 1));
    if (std::is_sorted(tupleKeys.begin(), tupleKeys.end()))
        buildFromSorted(tupleKeys, cards, after, tree);
    else
        buildFromUnsorted(tupleKeys, cards, after, tree);
    return tree;
}

} // namespace bd::pivot::engine
