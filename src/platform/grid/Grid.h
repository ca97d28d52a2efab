#pragma once
// The spreadsheet-style grid used for every grid of the program: a table view over a model over sparse
// cell storage (no widget per cell), so a grid of 100,000 rows stays usable.
//
// Addressing. Columns 1..maxCols and rows 1..maxRows hold data; row 0 is the column-header row and
// column 0 the row-header column, both readable and writable (texts and tags, so (0,0) carries a tag
// too). In every setter -1 as the column addresses a whole row, -1 as the row a whole column, and
// both -1 the whole sheet. A whole-column or whole-sheet setting replaces the cell settings below it
// and is inherited by rows inserted later.
//
// Two styles of access: methods taking (col, row), and the current-cell style, where setCol/setRow
// choose the cell that the argument-less accessors act on. Neither touches the active cell (the one
// the user sees selected), which has its own methods.
//
// Cell types: 1 plain text, 2 float number, 7 button, 8 combo box, 10 check box. A float cell holds a
// number: a written "0,00" or "0.00" is the number 0 in any locale and reads back in the cell's own
// decimal separator and places. A check box reads "1" or "0". A button cell keeps its value (text)
// apart from its caption (button text).
//
// Events are raised only for what the user does; writes from code raise nothing. Key codes are the
// platform's virtual-key codes (Delete 46, Enter 13); shift state is 1 Shift, 2 Ctrl, 4 Alt.
#include "platform/grid/GridStore.h"

#include <QPixmap>
#include <QStringList>
#include <QVariant>
#include <QWidget>
#include <optional>

class QTableView;

namespace bd::grid {

class GridModel;
class GridDelegate;

class Grid : public QWidget {
    Q_OBJECT
public:
    explicit Grid(QWidget* parent = nullptr);
    ~Grid() override;

    // Size.
    int maxRows() const { return store_.maxRows(); }
    void setMaxRows(int n);
    int maxCols() const { return store_.maxCols(); }
    void setMaxCols(int n);

    // Current cell (for the argument-less accessors below).
    int col() const { return col_; }
    void setCol(int c) { col_ = c; }
    int row() const { return row_; }
    void setRow(int r) { row_ = r; }

    // By address.
    QString text(int col, int row) const;
    void setText(int col, int row, const QString& text);
    // Value of a cell: a check box gives "1" or "0"; a float cell its number (invalid when empty).
    QVariant value(int col, int row) const;
    void setValue(int col, int row, const QVariant& v);
    QString cellTag(int col, int row) const;
    void setCellTag(int col, int row, const QString& tag);
    int cellType(int col, int row) const;
    void setCellType(int col, int row, int type);
    bool lock(int col, int row) const;
    void setLock(int col, int row, bool on);
    uint32_t backColor(int col, int row) const;
    void setBackColor(int col, int row, uint32_t ole);
    uint32_t foreColor(int col, int row) const;
    void setForeColor(int col, int row, uint32_t ole);
    QString typeButtonText(int col, int row) const;
    void setTypeButtonText(int col, int row, const QString& t);
    uint32_t typeButtonColor(int col, int row) const;
    void setTypeButtonColor(int col, int row, uint32_t ole);
    QString typeButtonPicture(int col, int row) const; // a picture id, see setPicture
    void setTypeButtonPicture(int col, int row, const QString& id);
    QChar typeFloatDecimalChar(int col, int row) const;
    void setTypeFloatDecimalChar(int col, int row, QChar c);
    int typeFloatDecimalPlaces(int col, int row) const;
    void setTypeFloatDecimalPlaces(int col, int row, int n);
    QStringList typeComboBoxList(int col, int row) const;
    void setTypeComboBoxList(int col, int row, const QStringList& items);
    bool typeComboBoxEditable(int col, int row) const;
    void setTypeComboBoxEditable(int col, int row, bool on);

    // The same on the current cell.
    QString text() const { return text(col_, row_); }
    void setText(const QString& t) { setText(col_, row_, t); }
    QVariant value() const { return value(col_, row_); }
    void setValue(const QVariant& v) { setValue(col_, row_, v); }
    QString cellTag() const { return cellTag(col_, row_); }
    void setCellTag(const QString& t) { setCellTag(col_, row_, t); }
    int cellType() const { return cellType(col_, row_); }
    void setCellType(int t) { setCellType(col_, row_, t); }
    bool lock() const { return lock(col_, row_); }
    void setLock(bool on) { setLock(col_, row_, on); }
    uint32_t backColor() const { return backColor(col_, row_); }
    void setBackColor(uint32_t c) { setBackColor(col_, row_, c); }
    uint32_t foreColor() const { return foreColor(col_, row_); }
    void setForeColor(uint32_t c) { setForeColor(col_, row_, c); }
    QString typeButtonText() const { return typeButtonText(col_, row_); }
    void setTypeButtonText(const QString& t) { setTypeButtonText(col_, row_, t); }
    uint32_t typeButtonColor() const { return typeButtonColor(col_, row_); }
    void setTypeButtonColor(uint32_t c) { setTypeButtonColor(col_, row_, c); }
    QString typeButtonPicture() const { return typeButtonPicture(col_, row_); }
    void setTypeButtonPicture(const QString& id) { setTypeButtonPicture(col_, row_, id); }
    QChar typeFloatDecimalChar() const { return typeFloatDecimalChar(col_, row_); }
    void setTypeFloatDecimalChar(QChar c) { setTypeFloatDecimalChar(col_, row_, c); }
    int typeFloatDecimalPlaces() const { return typeFloatDecimalPlaces(col_, row_); }
    void setTypeFloatDecimalPlaces(int n) { setTypeFloatDecimalPlaces(col_, row_, n); }
    QStringList typeComboBoxList() const { return typeComboBoxList(col_, row_); }
    void setTypeComboBoxList(const QStringList& l) { setTypeComboBoxList(col_, row_, l); }
    bool typeComboBoxEditable() const { return typeComboBoxEditable(col_, row_); }
    void setTypeComboBoxEditable(bool on) { setTypeComboBoxEditable(col_, row_, on); }

    // Columns: width in characters of the grid's font; -1 for every data column, 0 the row headers.
    double colWidth(int col) const;
    void setColWidth(int col, double chars);
    bool colHidden(int col) const;
    void setColHidden(int col, bool hidden);

    // Rows. insertRows keeps the row count unless rows holding data would fall off the end (then the
    // grid grows); deleteRows moves later rows up and keeps the row count with blank rows at the end.
    void insertRows(int row, int n);
    void deleteRows(int row, int n);
    void copyRow(int from, int to);

    // The active cell and the selection (what the user sees).
    int activeCol() const;
    int activeRow() const;
    void setActiveCell(int col, int row);
    void setSelection(int col1, int row1, int col2, int row2);

    // Screen updating: off around bulk writes, on again afterwards.
    bool redraw() const { return redraw_; }
    void setRedraw(bool on);
    void repaintNow();

    // The whole grid to and from our grid file. Loading a damaged file returns false with a
    // one-sentence reason and leaves the grid as it was.
    bool saveToFile(const QString& path, QString* error = nullptr) const;
    bool loadFromFile(const QString& path, QString* error = nullptr);
    QByteArray saveToBytes() const;
    bool loadFromBytes(const QByteArray& data, QString* error = nullptr);

    // Button pictures are saved by id; the program registers the picture for each id once.
    static void setPicture(const QString& id, const QPixmap& pm);
    static QPixmap picture(const QString& id);

    const GridStore& store() const { return store_; }
    QTableView* view() const { return view_; }

signals:
    // A button cell pressed by mouse, Space or Enter (buttonDown 0), or a check box after it toggled
    // by mouse or Space (buttonDown = its new state). Locked cells raise nothing.
    void buttonClicked(int col, int row, int buttonDown);
    // The user changed a cell: a typed edit once its editor closed, a check box toggle, or a combo pick
    // that changed the text.
    void changed(int col, int row);
    // A combo item picked; the cell already holds it.
    void comboSelChange(int col, int row);
    void comboCloseUp(int col, int row, int selChange);
    // A key pressed while the grid (not an open editor) has the focus: platform key code, shift state.
    void keyDown(int keyCode, int shift);
    // Clicks on cells; on headers as (col, 0) and (0, row).
    void clicked(int col, int row);
    void dblClicked(int col, int row);
    void gotFocus();
    // The user moved the active cell away from (col, row).
    void leaveCell(int col, int row, int newCol, int newRow);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    friend class GridModel;
    friend class GridDelegate;

    // A user's edit arriving from the view.
    void userEdit(int col, int row, const QString& text, bool fromCombo);
    void userToggle(int col, int row);
    void userButton(int col, int row);

    QString canonicalFloat(const QString& text, QChar sep) const;
    QString displayText(int col, int row) const;
    void normalizeFloats(int col, int row);
    void cellsChanged(int col, int row);
    void syncColumns();
    int pixelsForWidth(double chars) const;

    GridStore store_;
    GridModel* model_ = nullptr;
    GridDelegate* delegate_ = nullptr;
    QTableView* view_ = nullptr;
    int col_ = 1, row_ = 1;
    bool redraw_ = true;
    bool quiet_ = false; // code is moving the active cell
};

// A number as typed or stored: '.' or ',' as the decimal separator (the last one when both appear; a
// kind that repeats is grouping), sep deciding only what those leave open. Nothing when it is no number.
std::optional<double> parseFloatText(const QString& text, QChar sep = QChar());

// The platform's virtual-key code of a Qt key (0 when it has none).
int virtualKeyCode(int qtKey);

} // namespace bd::grid
