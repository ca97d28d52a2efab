#include "platform/pivot/engine/CellLayout.h"

namespace bd::pivot::engine {

CellLayout::CellLayout(const db::ColumnarResult& data, const PivotDefinition& def,
                       const std::vector<int>& measureOf, const std::vector<int>& measureColumns)
    : measures_(measureColumns.size()), cells_(measureColumns.size()) {
    for (size_t m = 0; m < measureColumns.size(); ++m) {
        const db::ColumnData& column = data.columns[size_t(measureColumns[m])];
        bool sum = false, variance = false, min = false, max = false;
        for (size_t i = 0; i < def.data.size(); ++i) {
            if (measureOf[i] != int(m)) continue;
            const Agg a = def.data[i].agg;
            sum |= a == Agg::Sum || a == Agg::Avg;
            variance |= a == Agg::StDev || a == Agg::StDevP || a == Agg::Var || a == Agg::VarP;
            min |= a == Agg::Min;
            max |= a == Agg::Max;
        }
        Measure& d = measures_[m];
        auto& l = cells_[m];
        l.text = column.kind == db::ColumnKind::Text;
        const bool anyNull =
            std::any_of(column.nulls.begin(), column.nulls.end(), [](uint8_t null) { return null != 0; });
        if (anyNull) d.nulls = column.nulls.data(), d.count = int(partialWidth_++), l.n = int(cellWidth_++);
        if (l.text) continue;
        if (column.kind == db::ColumnKind::Integer || column.kind == db::ColumnKind::Boolean)
            d.ints = column.ints.data();
        else
            d.reals = column.reals.data();
        if (variance) {
            d.shift = int(partialWidth_++), d.sum = int(partialWidth_++), d.sumSquares = int(partialWidth_++);
            l.sum = int(cellWidth_++), l.m2 = int(cellWidth_++);
        } else if (sum) {
            d.sum = int(partialWidth_++), l.sum = int(cellWidth_++);
        }
        if (min) d.min = int(partialWidth_++), l.min = int(cellWidth_++);
        if (max) d.max = int(partialWidth_++), l.max = int(cellWidth_++);
    }
}

} // namespace bd::pivot::engine
