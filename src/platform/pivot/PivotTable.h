#pragma once
// The viewer's pivot table: fields in four areas over a query result, the laid-out result grid, the
// layout file, HTML and spreadsheet export, printing, and the events the viewer handles.
//
// Index base: every index of this interface counts from 0: the field collections (item(0) ..
// item(count() - 1)), field positions, data field numbers, result rows and columns, and header levels.
// A loop "for i in 0 .. count() - 1" visits each field exactly once.
//
// Orientation codes: 0 hidden, 1 row area, 2 column area, 3 data field, 4 page area. A dimension added
// with 4 starts in the page area (all members shown) and the user drags it to rows or columns.
//
// Header levels: row levels 0 .. rowFields().count() - 1, outermost first. Column levels 0 ..
// columnFields().count() - 1, then one more level (index columnFields().count()) that holds the
// caption of the column's data field. A total line reads "<member> Total" at its own level ("Grand
// Total" at level 0) and "" below it.
#include "platform/db/ColumnarResult.h"
#include "platform/pivot/engine/PivotEngine.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QPointer>
#include <QSet>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class QPainter;
class QPrinter;

namespace bd::pivot {

enum Orientation : int { Hidden = 0, RowArea = 1, ColumnArea = 2, DataArea = 3, PageArea = 4 };

// Aggregate codes 0-8: Sum, Count, Avg, Max, Min, StDev (sample), StDevP (population), Var (sample),
// VarP (population). NULLs are skipped.
enum Aggregate : int {
    Sum = 0,
    Count = 1,
    Avg = 2,
    Max = 3,
    Min = 4,
    StDev = 5,
    StDevP = 6,
    Var = 7,
    VarP = 8
};

class PivotTable;

class PivotField {
public:
    QString name() const { return name_; }
    QString caption() const { return caption_.isEmpty() ? name_ : caption_; }
    void setCaption(const QString& c);
    int orientation() const { return orientation_; }
    void setOrientation(int o); // to the end of the new area
    int position() const;       // within its area
    void setPosition(int p);    // beyond the end: last
    int aggregate() const { return aggregate_; }
    void setAggregate(int code); // codes outside 0-8 are ignored
    // A data field with a formula is calculated: the formula names other data fields (by name or
    // caption, [name] for any name) and is evaluated per cell on their aggregated values.
    QString formula() const { return formula_; }
    void setFormula(const QString& f);
    bool isCalculated() const { return !formula_.trimmed().isEmpty(); }
    QString numberFormat() const { return format_; }
    void setNumberFormat(const QString& mask);
    // Label order: 0 ascending, 1 descending (text by collation, numbers and dates by value).
    int labelOrder() const { return labelOrder_; }
    void setLabelOrder(int o);
    // Sort by a data field (the rank dialog): mode 0 by label, 1 ascending, 2 descending; the data
    // field is its position in dataFields().
    int sortByDataMode() const { return sortMode_; }
    void setSortByDataMode(int m);
    int sortByDataField() const { return sortData_; }
    void setSortByDataField(int d);
    // Position in the all-fields collection.
    int index() const;

    // Members of a dimension field, in label order ("" is the NULL member); empty without data.
    QStringList members() const;
    bool isMemberVisible(const QString& label) const { return !hidden_.contains(label); }
    void setMemberVisible(const QString& label, bool visible);
    void showAllMembers();
    // Hides exactly these members (one change, whatever their number).
    void setHiddenMembers(const QSet<QString>& hidden);
    QStringList hiddenMembers() const;
    // What a page field shows: "(All)", its one member, or "(Multiple Items)".
    QString selectionText() const;

    PivotTable* table() const { return table_; }

private:
    friend class PivotTable;
    PivotField(PivotTable* t, const QString& name, const QString& caption, int orientation)
        : table_(t), name_(name), caption_(caption), orientation_(orientation) {}
    void changed();
    PivotTable* table_;
    QString name_, caption_, formula_, format_;
    int orientation_ = 0;
    double order_ = 0;
    int aggregate_ = Sum, labelOrder_ = 0, sortMode_ = 0, sortData_ = 0;
    QSet<QString> hidden_;
};

// A snapshot of one collection, in area order (the all-fields collection in the order of creation).
class PivotFieldList {
public:
    explicit PivotFieldList(std::vector<PivotField*> items = {}) : items_(std::move(items)) {}
    int count() const { return int(items_.size()); }
    PivotField* item(int index) const {
        return index >= 0 && index < count() ? items_[size_t(index)] : nullptr;
    }
    PivotField* item(const QString& name) const; // first of that name, without regard to case; or nullptr
    PivotField* operator[](int index) const { return item(index); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<PivotField*> items_;
};

// What lies under a point of the table.
struct PivotElement {
    enum Kind : int { None = 0, Cell = 1, ColumnMember = 2, FieldHeader = 3, RowMember = 5 };
    int kind = None;
    PivotField* field = nullptr; // FieldHeader: the field; RowMember/ColumnMember: the axis field
    int index = -1;              // FieldHeader: the field's position in its area; Row/ColumnMember: the level
    int row = -1, column = -1;   // result row and column (Cell; RowMember row; ColumnMember column)
};

// The per-cell format callback: value (invalid when empty), data field, result row and column; the
// handler may change the back and text colours.
struct CellFormat {
    QVariant value;
    int dataField = -1;
    int row = -1, column = -1;
    bool total = false;
    QColor back, fore;
};

class PivotTable : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit PivotTable(QWidget* parent = nullptr);
    ~PivotTable() override;

    // --- Data source -------------------------------------------------------------------------
    void setConnectionType(int t) { connectionType_ = t; }
    int connectionType() const { return connectionType_; }
    void setConnectionString(const QString& s) { connectionString_ = s; }
    QString connectionString() const { return connectionString_; }
    void setRecordSource(const QString& sql) { recordSource_ = sql; }
    QString recordSource() const { return recordSource_; }
    // The after-SQL switch: True runs the record source over the connection and re-pivots. Returns
    // false with lastError() when the query fails (the previous result stays).
    bool setAfterSql(bool on);
    bool afterSql() const { return afterSql_; }
    // Binds a result directly (tests, layout files with data).
    void setData(std::shared_ptr<const db::ColumnarResult> data);
    void setData(db::ColumnarResult data);
    std::shared_ptr<const db::ColumnarResult> data() const { return data_; }
    QString lastError() const { return lastError_; }

    // --- Fields ------------------------------------------------------------------------------
    PivotFieldList fields() const; // all fields
    PivotFieldList rowFields() const;
    PivotFieldList columnFields() const;
    PivotFieldList dataFields() const;
    PivotFieldList pageFields() const;
    // New field: name (a query column, "1" for the record count, or a calculated field's id), caption,
    // orientation (4 dimension, 3 data field; 0-2 also accepted). A column may be both a dimension and
    // a data field; adding the same name as the same kind again returns the existing field.
    PivotField* addField(const QString& name, const QString& caption, int orientation);
    bool removeField(const QString& name); // every field of that name
    // Property changes take effect at recalculate(), or by themselves at the next read of the result
    // or repaint.
    void removeAllFields();

    void setSubtotals(bool on);
    bool subtotals() const { return subtotals_; }
    void setGrandTotals(bool on);
    bool grandTotals() const { return grandTotals_; }

    // Re-pivots now; false with lastError() when a field cannot be used (the others still show).
    bool recalculate();
    // Repaints (re-pivoting first when something changed).
    void refresh();

    // --- Result grid -------------------------------------------------------------------------
    int resultRows() const;
    int resultColumns() const;
    QVariant cellValue(int row, int column) const; // double, or invalid for an empty cell
    QString cellText(int row, int column) const;   // formatted with the data field's number format
    QString rowHeaderText(int row, int level) const;
    QString columnHeaderText(int column, int level) const;
    bool isTotalRow(int row) const;
    bool isTotalColumn(int column) const;
    int dataFieldIndex(int column) const; // position in dataFields(), -1 outside
    PivotField* dataFieldAt(int row, int column) const;
    int currentRow() const { return currentRow_; }
    int currentColumn() const { return currentColumn_; }
    void setCurrentCell(int row, int column);
    PivotElement elementAt(const QPoint& viewportPos) const;
    PivotElement elementUnderPointer() const; // at the last mouse position
    // Where a field's chip (its button in a header area) is drawn, in viewport coordinates.
    QRect chipRect(const PivotField* f) const;

    // --- Layout file -------------------------------------------------------------------------
    // mode 2: layout only; mode 3: layout and the query result, so it re-pivots with no database.
    bool saveLayout(const QString& path, int mode, QString* error = nullptr) const;
    // A damaged or foreign file is an error and changes nothing.
    bool loadLayout(const QString& path, QString* error = nullptr);
    // The same layout in memory. layoutJson leaves the data out when withData is false (a caller that
    // stores the result its own way, as the cube file does). loadLayoutJson takes the result from data
    // when given, else from the JSON; checkOnly reads and checks without applying.
    QByteArray layoutJson(int mode, bool withData = true) const;
    bool loadLayoutJson(const QByteArray& json, std::shared_ptr<const db::ColumnarResult> data,
                        QString* error, bool checkOnly = false);

    // --- Export and printing -----------------------------------------------------------------
    // The three flags after totals are accepted for the callers' sake and have no effect.
    bool exportHtml(const QString& path, bool totals, bool = true, bool = true, bool = true,
                    QString* error = nullptr) const;
    // SpreadsheetML 2003 workbook (opens as ".xls" in common spreadsheet programs), numbers as numbers.
    bool exportSpreadsheet(const QString& path, bool totals, bool = true, bool = true, bool = true,
                           QString* error = nullptr) const;
    void setPrintHeader(const QString& text) { printHeader_ = text; }
    QString printHeader() const { return printHeader_; }
    // Header text, page fields, then the table over as many pages as needed: scaled to the page's
    // width, each cell on one line, the headers on every page.
    void print(QPrinter* printer) const;
    // Landscape when the table is wider than a portrait page (a printer not yet printing).
    void fitPrinterToTable(QPrinter* printer) const;
    void printPreview(); // modal preview through the dialog runner

    // --- Events ------------------------------------------------------------------------------
    using CellFormatter = std::function<void(CellFormat&)>;
    void setCellFormatter(CellFormatter f);

signals:
    void hintRemoval(); // the user starts working on the table
    void elementDoubleClicked(bd::pivot::PivotElement e);
    void mouseButtonPressed(int button, bd::pivot::PivotElement e); // 1 left, 2 right, 4 middle
    void layoutChangedByUser();                                     // once per drag that moved a field
    void chartRedraw();  // page member selection changed by the user
    void recalculated(); // the result was pivoted again

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    friend class PivotField;
    struct Button {
        QRect rect;
        PivotField* field;
        int area;
    };
    void markDirty();
    void ensure() const;
    bool compute();
    int columnOf(const QString& name) const;
    std::vector<PivotField*> area(int orientation) const;
    void renumber(int orientation);
    void updateGeometryCache();
    std::vector<Button> buttons() const;
    QString chipText(const PivotField* f) const;
    int chipWidth(const PivotField* f) const;
    int columnAreaStart() const; // x where the column area's chips begin
    int dropArea(const QPoint& p) const;
    int dropPosition(int area, const QPoint& p) const;
    // The member list of a page field under its chip; OK applies the choice with one recalculation.
    void pageList(PivotField* f, const QRect& chip);
    CellFormat formatFor(int row, int column) const;
    QString htmlTable(bool totals, bool forPrint) const;
    int headerRows() const;
    int bodyTop() const;
    int cornerWidth() const; // the row headers' width
    // One paint, area by area (PivotView.cpp).
    struct PaintFrame;
    PaintFrame paintFrame() const;
    void paintDropAreas(QPainter& p, const PaintFrame& f) const;
    void paintCells(QPainter& p, const PaintFrame& f) const;
    void paintRowHeaders(QPainter& p, const PaintFrame& f) const;
    void paintColumnHeaders(QPainter& p, const PaintFrame& f) const;
    void paintCorner(QPainter& p, const PaintFrame& f) const;
    void paintFieldButtons(QPainter& p) const;
    QString dataCaption(int d) const;

    std::vector<std::unique_ptr<PivotField>> fields_;
    std::shared_ptr<const db::ColumnarResult> data_;
    std::unique_ptr<engine::Engine> engine_;
    std::shared_ptr<const engine::PivotResult> result_;
    mutable bool dirty_ = true;
    bool afterSql_ = false, subtotals_ = true, grandTotals_ = true;
    int connectionType_ = 0;
    QString connectionString_, recordSource_, printHeader_;
    mutable QString lastError_;
    int currentRow_ = -1, currentColumn_ = -1;
    CellFormatter formatter_;

    // view
    int rowH_ = 20, pageH_ = 28;
    std::vector<int> levelW_, colX_; // row header widths per level; column x offsets (size cols + 1)
    QPoint lastMouse_;
    PivotField* pressField_ = nullptr;
    QPoint pressPos_;
    bool dragging_ = false;
    QPoint dragPos_;
};

} // namespace bd::pivot

Q_DECLARE_METATYPE(bd::pivot::PivotElement)
