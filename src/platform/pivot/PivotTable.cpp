// Fields, re-pivoting and the result grid of the pivot table (painting and mouse work: PivotView.cpp).
#include "platform/pivot/PivotTable.h"

#include "platform/db/ColumnReader.h"
#include "platform/pivot/NumberFormat.h"
#include "platform/pivot/engine/Formula.h"

#include <QCollator>
#include <algorithm>

namespace bd::pivot {

// ---------------------------------------------------------------------------------------------------
// PivotField

void PivotField::changed() {
    if (table_) table_->markDirty();
}
void PivotField::setCaption(const QString& c) {
    caption_ = c;
    changed();
}
void PivotField::setOrientation(int o) {
    if (o < Hidden || o > PageArea || o == orientation_) return;
    const int old = orientation_;
    orientation_ = o;
    double mx = -1;
    if (table_)
        for (PivotField* f : table_->area(o))
            if (f != this) mx = std::max(mx, f->order_);
    order_ = mx + 1;
    if (table_) {
        table_->renumber(old);
        table_->renumber(o);
    }
    changed();
}
int PivotField::position() const {
    if (!table_) return 0;
    const auto a = table_->area(orientation_);
    return int(std::find(a.begin(), a.end(), this) - a.begin());
}
void PivotField::setPosition(int p) {
    if (!table_) return;
    auto a = table_->area(orientation_);
    a.erase(std::find(a.begin(), a.end(), this));
    p = std::clamp(p, 0, int(a.size()));
    a.insert(a.begin() + p, this);
    for (size_t i = 0; i < a.size(); ++i)
        a[i]->order_ = double(i);
    changed();
}
void PivotField::setAggregate(int code) {
    if (code < 0 || code > 8) return;
    aggregate_ = code;
    changed();
}
void PivotField::setFormula(const QString& f) {
    formula_ = f;
    changed();
}
void PivotField::setNumberFormat(const QString& mask) {
    format_ = mask;
    changed();
}
void PivotField::setLabelOrder(int o) {
    labelOrder_ = o ? 1 : 0;
    changed();
}
void PivotField::setSortByDataMode(int m) {
    if (m < 0 || m > 2) return;
    sortMode_ = m;
    changed();
}
void PivotField::setSortByDataField(int d) {
    sortData_ = d;
    changed();
}
int PivotField::index() const {
    if (!table_) return -1;
    for (size_t i = 0; i < table_->fields_.size(); ++i)
        if (table_->fields_[i].get() == this) return int(i);
    return -1;
}
QStringList PivotField::members() const {
    QStringList out;
    if (!table_ || !table_->engine_ || !table_->data_) return out;
    const int col = table_->columnOf(name_);
    if (col < 0) return out;
    auto dim = table_->engine_->dimension(col);
    if (!dim) return out;
    std::vector<std::pair<uint32_t, uint32_t>> byRank;
    for (uint32_t c = 0; c < dim->cardinality(); ++c)
        byRank.push_back({dim->rank[c], c});
    std::sort(byRank.begin(), byRank.end());
    for (auto& [r, c] : byRank)
        out << QString::fromStdString(dim->labels[c]);
    if (labelOrder_ == 1) std::reverse(out.begin(), out.end());
    return out;
}
void PivotField::setMemberVisible(const QString& label, bool visible) {
    if (visible)
        hidden_.remove(label);
    else
        hidden_.insert(label);
    changed();
}
void PivotField::showAllMembers() {
    hidden_.clear();
    changed();
}
void PivotField::setHiddenMembers(const QSet<QString>& hidden) {
    hidden_ = hidden;
    changed();
}
QString PivotField::selectionText() const {
    if (hidden_.isEmpty()) return QStringLiteral("(All)");
    QStringList shown;
    for (const QString& m : members())
        if (isMemberVisible(m)) shown << m;
    return shown.size() == 1 ? shown.first() : QStringLiteral("(Multiple Items)");
}
QStringList PivotField::hiddenMembers() const {
    QStringList l(hidden_.begin(), hidden_.end());
    l.sort();
    return l;
}

PivotField* PivotFieldList::item(const QString& name) const {
    for (PivotField* f : items_)
        if (f->name().compare(name, Qt::CaseInsensitive) == 0) return f;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------------
// PivotTable: fields

PivotTable::~PivotTable() = default;

std::vector<PivotField*> PivotTable::area(int o) const {
    std::vector<PivotField*> a;
    for (const auto& f : fields_)
        if (f->orientation_ == o) a.push_back(f.get());
    std::stable_sort(a.begin(), a.end(), [](PivotField* x, PivotField* y) { return x->order_ < y->order_; });
    return a;
}

void PivotTable::renumber(int o) {
    const auto a = area(o);
    for (size_t i = 0; i < a.size(); ++i)
        a[i]->order_ = double(i);
}

static PivotFieldList listOf(std::vector<PivotField*> v) {
    return PivotFieldList(std::move(v));
}
PivotFieldList PivotTable::fields() const {
    std::vector<PivotField*> v;
    for (const auto& f : fields_)
        v.push_back(f.get());
    return listOf(v);
}
PivotFieldList PivotTable::rowFields() const {
    return listOf(area(RowArea));
}
PivotFieldList PivotTable::columnFields() const {
    return listOf(area(ColumnArea));
}
PivotFieldList PivotTable::dataFields() const {
    return listOf(area(DataArea));
}
PivotFieldList PivotTable::pageFields() const {
    return listOf(area(PageArea));
}

PivotField* PivotTable::addField(const QString& name, const QString& caption, int orientation) {
    if (orientation < Hidden || orientation > PageArea) orientation = PageArea;
    // a column may be a dimension and a data field at once, but each only once
    for (const auto& f : fields_)
        if (f->name().compare(name, Qt::CaseInsensitive) == 0 &&
            (f->orientation_ == DataArea) == (orientation == DataArea))
            return f.get();
    fields_.push_back(std::unique_ptr<PivotField>(new PivotField(this, name, caption, Hidden)));
    PivotField* f = fields_.back().get();
    f->setOrientation(orientation);
    markDirty();
    return f;
}

bool PivotTable::removeField(const QString& name) {
    bool removed = false;
    for (auto it = fields_.begin(); it != fields_.end();) {
        if ((*it)->name().compare(name, Qt::CaseInsensitive) != 0) {
            ++it;
            continue;
        }
        const int o = (*it)->orientation_;
        if (pressField_ == it->get()) pressField_ = nullptr, dragging_ = false;
        it = fields_.erase(it);
        renumber(o);
        removed = true;
    }
    if (removed) markDirty();
    return removed;
}

void PivotTable::removeAllFields() {
    pressField_ = nullptr;
    dragging_ = false;
    fields_.clear();
    markDirty();
}

void PivotTable::setSubtotals(bool on) {
    subtotals_ = on;
    markDirty();
}
void PivotTable::setGrandTotals(bool on) {
    grandTotals_ = on;
    markDirty();
}

void PivotTable::markDirty() {
    dirty_ = true;
    if (viewport()) viewport()->update();
}

// ---------------------------------------------------------------------------------------------------
// Data and re-pivoting

void PivotTable::setData(std::shared_ptr<const db::ColumnarResult> data) {
    data_ = std::move(data);
    engine_ = std::make_unique<engine::Engine>();
    QCollator coll;
    coll.setCaseSensitivity(Qt::CaseInsensitive);
    coll.setNumericMode(false);
    engine_->setCollation([coll](const std::string& a, const std::string& b) {
        return coll.compare(QString::fromStdString(a), QString::fromStdString(b));
    });
    if (data_) engine_->setData(data_);
    markDirty();
}

void PivotTable::setData(db::ColumnarResult data) {
    setData(std::make_shared<const db::ColumnarResult>(std::move(data)));
}

bool PivotTable::setAfterSql(bool on) {
    afterSql_ = on;
    if (!on) return true;
    auto r = std::make_shared<db::ColumnarResult>();
    QString err;
    if (!db::readColumns(connectionString_, recordSource_, *r, &err)) {
        lastError_ = err.isEmpty() ? QStringLiteral("The query could not be run.") : err;
        return false;
    }
    setData(std::shared_ptr<const db::ColumnarResult>(std::move(r)));
    return recalculate();
}

int PivotTable::columnOf(const QString& name) const {
    if (!data_) return -1;
    const std::string n = name.toStdString();
    for (size_t i = 0; i < data_->columns.size(); ++i)
        if (data_->columns[i].name == n) return int(i);
    for (size_t i = 0; i < data_->columns.size(); ++i)
        if (QString::fromStdString(data_->columns[i].name).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

bool PivotTable::recalculate() {
    dirty_ = true;
    const bool ok = compute();
    viewport()->update();
    return ok;
}

void PivotTable::refresh() {
    ensure();
    viewport()->update();
}

void PivotTable::ensure() const {
    if (dirty_) const_cast<PivotTable*>(this)->compute();
}

bool PivotTable::compute() {
    dirty_ = false;
    result_.reset();
    lastError_.clear();
    QStringList problems;
    if (data_ && engine_) {
        engine::PivotDefinition def;
        def.subtotals = subtotals_;
        def.grandTotals = grandTotals_;
        const auto rows = area(RowArea), cols = area(ColumnArea), pages = area(PageArea),
                   data = area(DataArea);
        auto axis = [&](const std::vector<PivotField*>& fs, std::vector<engine::AxisField>& out) {
            for (PivotField* f : fs) {
                const int c = columnOf(f->name());
                if (c < 0) {
                    problems << QStringLiteral("The field '%1' is not in the query.").arg(f->name());
                    continue;
                }
                engine::AxisField a{c, f->labelOrder_ == 1, f->sortMode_, f->sortData_};
                if (a.sortMode != 0 && (a.sortData < 0 || a.sortData >= int(data.size()))) a.sortMode = 0;
                out.push_back(a);
            }
        };
        axis(rows, def.rows);
        axis(cols, def.columns);
        for (PivotField* f : pages) {
            const int c = columnOf(f->name());
            if (c < 0) {
                problems << QStringLiteral("The field '%1' is not in the query.").arg(f->name());
                continue;
            }
            engine::PageField p{c, {}};
            for (const QString& h : f->hidden_)
                p.hidden.insert(h.toStdString());
            def.pages.push_back(std::move(p));
        }
        // An unusable data field stays in place and shows empty cells ("1/0" is never a value).
        static const auto alwaysEmpty = engine::Formula::parse(
            "1/0", [](const std::string&) { return -1; }, nullptr);
        for (size_t i = 0; i < data.size(); ++i) {
            PivotField* f = data[i];
            engine::DataField df;
            df.agg = engine::Agg(f->aggregate_);
            if (f->isCalculated()) {
                std::string err;
                auto resolve = [&](const std::string& n) {
                    const QString q = QString::fromStdString(n);
                    for (size_t j = 0; j < data.size(); ++j)
                        if (j != i && data[j]->name().compare(q, Qt::CaseInsensitive) == 0) return int(j);
                    for (size_t j = 0; j < data.size(); ++j)
                        if (j != i && data[j]->caption().compare(q, Qt::CaseInsensitive) == 0) return int(j);
                    return -1;
                };
                df.formula = engine::Formula::parse(f->formula_.toStdString(), resolve, &err);
                if (!df.formula) {
                    problems << QStringLiteral("Calculated field '%1': %2")
                                    .arg(f->caption(), QString::fromStdString(err));
                    df.formula = alwaysEmpty;
                }
            } else if (f->name() == "1") {
                df.column = -1;
            } else {
                df.column = columnOf(f->name());
                if (df.column < 0) {
                    problems << QStringLiteral("The field '%1' is not in the query.").arg(f->name());
                    df.formula = alwaysEmpty;
                }
            }
            def.data.push_back(std::move(df));
        }
        std::string err;
        result_ = engine_->compute(def, &err);
        if (!result_) problems << QString::fromStdString(err);
    }
    if (currentRow_ >= resultRows() || currentColumn_ >= resultColumns()) currentRow_ = currentColumn_ = -1;
    updateGeometryCache();
    lastError_ = problems.join('\n');
    emit recalculated();
    return problems.isEmpty();
}

// ---------------------------------------------------------------------------------------------------
// Result grid

int PivotTable::resultRows() const {
    ensure();
    return result_ ? result_->rowCount() : 0;
}
int PivotTable::resultColumns() const {
    ensure();
    return result_ ? result_->columnCount() : 0;
}
QVariant PivotTable::cellValue(int row, int column) const {
    ensure();
    if (!result_) return {};
    const auto v = result_->value(row, column);
    return v ? QVariant(*v) : QVariant();
}
QString PivotTable::cellText(int row, int column) const {
    const QVariant v = cellValue(row, column);
    if (!v.isValid()) return {};
    PivotField* f = dataFieldAt(row, column);
    return formatNumber(v.toDouble(), f ? f->numberFormat() : QString());
}
QString PivotTable::rowHeaderText(int row, int level) const {
    ensure();
    return result_ ? QString::fromStdString(result_->rowLabel(row, level)) : QString();
}
QString PivotTable::dataCaption(int d) const {
    const auto data = area(DataArea);
    return d >= 0 && d < int(data.size()) ? data[size_t(d)]->caption() : QString();
}
QString PivotTable::columnHeaderText(int column, int level) const {
    ensure();
    if (!result_) return {};
    if (level == int(result_->colDims.size())) return dataCaption(result_->dataFieldOf(column));
    return QString::fromStdString(result_->columnLabel(column, level));
}
bool PivotTable::isTotalRow(int row) const {
    ensure();
    return result_ && result_->isTotalRow(row);
}
bool PivotTable::isTotalColumn(int column) const {
    ensure();
    return result_ && result_->isTotalColumn(column);
}
int PivotTable::dataFieldIndex(int column) const {
    ensure();
    return result_ ? result_->dataFieldOf(column) : -1;
}
PivotField* PivotTable::dataFieldAt(int row, int column) const {
    if (row < 0 || row >= resultRows()) return nullptr;
    const int d = dataFieldIndex(column);
    const auto data = area(DataArea);
    return d >= 0 && d < int(data.size()) ? data[size_t(d)] : nullptr;
}
void PivotTable::setCurrentCell(int row, int column) {
    currentRow_ = row;
    currentColumn_ = column;
    viewport()->update();
}

void PivotTable::setCellFormatter(CellFormatter f) {
    formatter_ = std::move(f);
    viewport()->update();
}

CellFormat PivotTable::formatFor(int row, int column) const {
    CellFormat cf;
    cf.value = cellValue(row, column);
    cf.dataField = dataFieldIndex(column);
    cf.row = row;
    cf.column = column;
    cf.total = isTotalRow(row) || isTotalColumn(column);
    cf.back = cf.total ? QColor(0xf0, 0xf0, 0xf0) : QColor(Qt::white);
    cf.fore = QColor(Qt::black);
    if (formatter_) formatter_(cf);
    return cf;
}

} // namespace bd::pivot
