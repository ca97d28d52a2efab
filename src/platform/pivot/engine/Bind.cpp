// Binding a definition to the data, and the packed keys of its rows.
#include "platform/pivot/engine/Compute.h"
#include "platform/pivot/engine/Formula.h"

#include <algorithm>

namespace bd::pivot::engine {

namespace {

bool sortsByMissingData(const std::vector<AxisField>& fields, size_t dataCount) {
    return std::any_of(fields.begin(), fields.end(), [&](const AxisField& f) {
        return f.sortMode != 0 && (f.sortData < 0 || f.sortData >= int(dataCount));
    });
}

} // namespace

std::string bindDefinition(Engine& engine, const PivotDefinition& def, PivotResult& result,
                           Binding& binding) {
    for (const auto& f : def.rows) {
        auto d = engine.dimension(f.column);
        if (!d) return "The pivot names a row field that is not in the query.";
        result.rowDims.push_back(d);
        binding.groupDims.push_back(d);
    }
    for (const auto& f : def.columns) {
        auto d = engine.dimension(f.column);
        if (!d) return "The pivot names a column field that is not in the query.";
        result.colDims.push_back(d);
        binding.groupDims.push_back(d);
    }
    for (const auto& p : def.pages) {
        auto d = engine.dimension(p.column);
        if (!d) return "The pivot names a page field that is not in the query.";
        if (p.hidden.empty()) continue;
        PageFilter filter{d, std::vector<uint8_t>(d->cardinality(), 1)};
        for (uint32_t c = 0; c < d->cardinality(); ++c)
            if (p.hidden.count(d->labels[c])) filter.keep[c] = 0;
        binding.filters.push_back(std::move(filter));
    }
    // Measures: one accumulator per distinct column used by a plain data field.
    const size_t columnCount = engine.data()->columns.size();
    auto& columns = binding.measureColumns;
    result.measureOf.assign(def.data.size(), -1);
    for (size_t i = 0; i < def.data.size(); ++i) {
        const DataField& df = def.data[i];
        if (df.formula) {
            for (int r : df.formula->references())
                if (r < 0 || r >= int(def.data.size())) return "A calculated field names an unknown field.";
            continue;
        }
        if (df.column < 0) continue;
        if (df.column >= int(columnCount)) return "The pivot names a data field that is not in the query.";
        auto it = std::find(columns.begin(), columns.end(), df.column);
        if (it == columns.end()) {
            columns.push_back(df.column);
            it = columns.end() - 1;
        }
        result.measureOf[i] = int(it - columns.begin());
    }
    if (sortsByMissingData(def.rows, def.data.size()) || sortsByMissingData(def.columns, def.data.size()))
        return "A field is sorted by a data field that does not exist.";
    return {};
}

bool KeyCoder::init(const db::ColumnarResult& data, const Binding& binding) {
    data_ = &data;
    binding_ = &binding;
    const auto& dims = binding.groupDims;
    stride_.assign(dims.size(), 1);
    long double space = 1;
    for (size_t g = dims.size(); g-- > 0;) {
        stride_[g] = uint64_t(space);
        space *= dims[g]->cardinality() ? dims[g]->cardinality() : 1;
    }
    if (space > 1.8e19L) return false;
    space_ = uint64_t(space);
    return true;
}

void KeyCoder::keysOf(size_t begin, size_t n, uint64_t* keys, uint32_t* codes) const {
    std::fill(keys, keys + n, 0);
    const auto& dims = binding_->groupDims;
    for (size_t g = 0; g < dims.size(); ++g) {
        dims[g]->code(data_->columns[size_t(dims[g]->column)], begin, n, codes);
        const uint64_t stride = stride_[g];
        for (size_t i = 0; i < n; ++i)
            keys[i] += codes[i] * stride;
    }
    for (const auto& f : binding_->filters) {
        f.dimension->code(data_->columns[size_t(f.dimension->column)], begin, n, codes);
        for (size_t i = 0; i < n; ++i)
            if (!f.keep[codes[i]]) keys[i] = kSkip;
    }
}

} // namespace bd::pivot::engine
