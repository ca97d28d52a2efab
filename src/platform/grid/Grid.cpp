#include "platform/grid/Grid.h"
#include "platform/os/ReadFile.h"

#include "platform/grid/GridFile.h"
#include "platform/os/Twips.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QSaveFile>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <functional>

namespace bd::grid {

namespace {
QHash<QString, QPixmap>& pictures() {
    static QHash<QString, QPixmap> p;
    return p;
}

QString columnLetters(int c) {
    QString s;
    while (c > 0) {
        --c;
        s.prepend(QChar('A' + c % 26));
        c /= 26;
    }
    return s;
}

bool truthy(const QString& t) {
    const QString s = t.trimmed();
    if (s.isEmpty()) return false;
    if (s.compare("true", Qt::CaseInsensitive) == 0) return true;
    bool ok = false;
    const double d = QString(s).replace(',', '.').toDouble(&ok);
    return ok && d != 0;
}
} // namespace

// ---- model: row i / column j of the view are grid row i+1 / column j+1; headers are row 0 / col 0.

class GridModel : public QAbstractTableModel {
    struct Quiet {
        explicit Quiet(Grid* g) : g(g), old(g->quiet_) { g->quiet_ = true; }
        ~Quiet() { g->quiet_ = old; }
        Grid* g;
        bool old;
    };

public:
    explicit GridModel(Grid* g) : QAbstractTableModel(g), g_(g) {}
    int rowCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : g_->maxRows(); }
    int columnCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : g_->maxCols(); }

    QVariant data(const QModelIndex& i, int role) const override {
        if (!i.isValid()) return {};
        const int c = i.column() + 1, r = i.row() + 1;
        if (role == Qt::DisplayRole) return g_->displayText(c, r);
        if (role == Qt::EditRole) return g_->text(c, r);
        return {};
    }

    bool setData(const QModelIndex& i, const QVariant& v, int role) override {
        if (!i.isValid() || role != Qt::EditRole) return false;
        g_->userEdit(i.column() + 1, i.row() + 1, v.toString(), false);
        return true;
    }

    Qt::ItemFlags flags(const QModelIndex& i) const override {
        if (!i.isValid()) return Qt::NoItemFlags;
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        const int c = i.column() + 1, r = i.row() + 1;
        const int t = g_->cellType(c, r);
        if (!g_->lock(c, r) && (t == TypePlain || t == TypeFloat || t == TypeComboBox))
            f |= Qt::ItemIsEditable;
        return f;
    }

    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole) return {};
        if (o == Qt::Horizontal) {
            const QString t = g_->text(section + 1, 0);
            return t.isEmpty() ? columnLetters(section + 1) : t;
        }
        const QString t = g_->text(0, section + 1);
        return t.isEmpty() ? QString::number(section + 1) : t;
    }

    // Structure changes go through these so the view stays consistent. The active cell may move
    // with them; that is the code's doing, so it raises no leave-cell event.
    void reset(const std::function<void()>& f) {
        const Quiet q(g_);
        beginResetModel();
        f();
        endResetModel();
    }
    void rowsInserted(int first, int last, const std::function<void()>& f) {
        const Quiet q(g_);
        beginInsertRows({}, first, last);
        f();
        endInsertRows();
    }
    void rowsRemoved(int first, int last, const std::function<void()>& f) {
        const Quiet q(g_);
        beginRemoveRows({}, first, last);
        f();
        endRemoveRows();
    }
    void colsInserted(int first, int last, const std::function<void()>& f) {
        const Quiet q(g_);
        beginInsertColumns({}, first, last);
        f();
        endInsertColumns();
    }
    void colsRemoved(int first, int last, const std::function<void()>& f) {
        const Quiet q(g_);
        beginRemoveColumns({}, first, last);
        f();
        endRemoveColumns();
    }
    void touch(int c1, int r1, int c2, int r2) {
        if (rowCount() == 0 || columnCount() == 0) return;
        r1 = std::clamp(r1, 1, rowCount());
        r2 = std::clamp(r2, 1, rowCount());
        c1 = std::clamp(c1, 1, columnCount());
        c2 = std::clamp(c2, 1, columnCount());
        emit dataChanged(index(r1 - 1, c1 - 1), index(r2 - 1, c2 - 1));
    }
    void touchHeaders() {
        if (columnCount()) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
        if (rowCount()) emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
    }

private:
    Grid* g_;
};

// ---- delegate: paints every cell type and opens the editors.

class GridDelegate : public QStyledItemDelegate {
public:
    GridDelegate(Grid* g) : QStyledItemDelegate(g), g_(g) {}

    void paint(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& i) const override {
        const int c = i.column() + 1, r = i.row() + 1;
        const int type = g_->cellType(c, r);
        const bool selected = opt.state & QStyle::State_Selected;
        QColor back = os::oleToColor(g_->backColor(c, r));
        QColor fore = os::oleToColor(g_->foreColor(c, r));
        p->save();
        p->fillRect(opt.rect, back);
        if (selected) {
            QColor h = opt.palette.color(QPalette::Highlight);
            h.setAlpha(70);
            p->fillRect(opt.rect, h);
        }
        QStyle* st = opt.widget ? opt.widget->style() : QApplication::style();
        const QRect cellRect = opt.rect.adjusted(1, 1, -1, -1);
        if (type == TypeButton) {
            QStyleOptionButton b;
            b.rect = cellRect;
            b.state = QStyle::State_Raised | (g_->lock(c, r) ? QStyle::State_None : QStyle::State_Enabled);
            b.text = g_->typeButtonText(c, r);
            const QPixmap pm = Grid::picture(g_->typeButtonPicture(c, r));
            if (!pm.isNull()) {
                b.icon = QIcon(pm);
                b.iconSize = pm.size().boundedTo(cellRect.size() - QSize(4, 4));
            }
            b.palette = opt.palette;
            b.palette.setColor(QPalette::Button, os::oleToColor(g_->typeButtonColor(c, r)));
            b.palette.setColor(QPalette::ButtonText, fore);
            st->drawControl(QStyle::CE_PushButton, &b, p, opt.widget);
        } else if (type == TypeCheckBox) {
            QStyleOptionButton b;
            const int side = st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, opt.widget);
            b.rect = QRect(opt.rect.center().x() - side / 2, opt.rect.center().y() - side / 2, side, side);
            b.state = (g_->value(c, r).toString() == "1" ? QStyle::State_On : QStyle::State_Off) |
                      (g_->lock(c, r) ? QStyle::State_None : QStyle::State_Enabled);
            b.palette = opt.palette;
            st->drawPrimitive(QStyle::PE_IndicatorCheckBox, &b, p, opt.widget);
        } else {
            QRect tr = opt.rect.adjusted(3, 0, -3, 0);
            if (type == TypeComboBox) {
                QStyleOption a;
                a.rect = QRect(opt.rect.right() - 14, opt.rect.top() + (opt.rect.height() - 10) / 2, 10, 10);
                a.palette = opt.palette;
                a.palette.setColor(QPalette::ButtonText, fore);
                a.state = QStyle::State_Enabled;
                st->drawPrimitive(QStyle::PE_IndicatorArrowDown, &a, p, opt.widget);
                tr.setRight(tr.right() - 14);
            }
            p->setPen(fore);
            const int align = Qt::AlignVCenter | (type == TypeFloat ? Qt::AlignRight : Qt::AlignLeft);
            p->drawText(tr, align,
                        opt.fontMetrics.elidedText(g_->displayText(c, r), Qt::ElideRight, tr.width()));
        }
        if (opt.state & QStyle::State_HasFocus) {
            p->setPen(QPen(opt.palette.color(QPalette::Highlight), 2));
            p->drawRect(opt.rect.adjusted(1, 1, -1, -1));
        }
        p->restore();
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& i) const override {
        const int c = i.column() + 1, r = i.row() + 1;
        const int type = g_->cellType(c, r);
        if (type == TypeComboBox) {
            auto* cb = new QComboBox(parent);
            cb->addItems(g_->typeComboBoxList(c, r));
            cb->setEditable(g_->typeComboBoxEditable(c, r));
            QObject::connect(cb, qOverload<int>(&QComboBox::activated), cb, [this, cb, c, r](int) {
                // Close first, so a handler that reshapes the grid meets no open editor.
                const QString picked = cb->currentText();
                emit const_cast<GridDelegate*>(this)->closeEditor(cb, QAbstractItemDelegate::NoHint);
                g_->userEdit(c, r, picked, true);
            });
            QTimer::singleShot(0, cb, [cb] { cb->showPopup(); });
            return cb;
        }
        auto* e = new QLineEdit(parent);
        e->setFrame(false);
        if (type == TypeFloat)
            e->setValidator(new QRegularExpressionValidator(QRegularExpression(R"(-?\d*([.,]\d*)?)"), e));
        return e;
    }

    void setEditorData(QWidget* ed, const QModelIndex& i) const override {
        const int c = i.column() + 1, r = i.row() + 1;
        if (auto* cb = qobject_cast<QComboBox*>(ed)) {
            const int k = cb->findText(g_->text(c, r));
            if (k >= 0)
                cb->setCurrentIndex(k);
            else if (cb->isEditable())
                cb->setEditText(g_->text(c, r));
            else
                cb->setCurrentIndex(-1);
        } else if (auto* e = qobject_cast<QLineEdit*>(ed)) {
            e->setText(g_->text(c, r));
            e->selectAll();
        }
    }

    void setModelData(QWidget* ed, QAbstractItemModel*, const QModelIndex& i) const override {
        const int c = i.column() + 1, r = i.row() + 1;
        if (auto* cb = qobject_cast<QComboBox*>(ed)) {
            if (cb->isEditable() && cb->currentText() != g_->text(c, r))
                g_->userEdit(c, r, cb->currentText(), false);
        } else if (auto* e = qobject_cast<QLineEdit*>(ed)) {
            g_->userEdit(c, r, e->text(), false);
        }
    }

    bool editorEvent(QEvent* ev, QAbstractItemModel* m, const QStyleOptionViewItem& opt,
                     const QModelIndex& i) override {
        const int c = i.column() + 1, r = i.row() + 1;
        const int type = g_->cellType(c, r);
        if ((type == TypeButton || type == TypeCheckBox) && ev->type() == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(ev);
            if (me->button() == Qt::LeftButton && opt.rect.contains(me->position().toPoint()) &&
                !g_->lock(c, r)) {
                if (type == TypeCheckBox)
                    g_->userToggle(c, r);
                else
                    g_->userButton(c, r);
                return true;
            }
        }
        return QStyledItemDelegate::editorEvent(ev, m, opt, i);
    }

private:
    Grid* g_;
};

// ---- the grid

Grid::Grid(QWidget* parent) : QWidget(parent) {
    model_ = new GridModel(this);
    delegate_ = new GridDelegate(this);
    view_ = new QTableView(this);
    view_->setModel(model_);
    view_->setItemDelegate(delegate_);
    view_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view_->setWordWrap(false);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(view_);
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);
    setFocusProxy(view_);

    connect(view_, &QTableView::clicked, this, [this](const QModelIndex& i) {
        const int c = i.column() + 1, r = i.row() + 1;
        emit clicked(c, r);
        if (cellType(c, r) == TypeComboBox && !lock(c, r)) view_->edit(i);
    });
    connect(view_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& i) { emit dblClicked(i.column() + 1, i.row() + 1); });
    connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int s) { emit clicked(s + 1, 0); });
    connect(view_->verticalHeader(), &QHeaderView::sectionClicked, this,
            [this](int s) { emit clicked(0, s + 1); });
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& now, const QModelIndex& before) {
                if (quiet_ || !before.isValid()) return;
                emit leaveCell(before.column() + 1, before.row() + 1, now.isValid() ? now.column() + 1 : -1,
                               now.isValid() ? now.row() + 1 : -1);
            });
    syncColumns();
}

// The view goes first: while it is torn down it still asks the model, which reads the store.
Grid::~Grid() {
    delete view_;
}

void Grid::setPicture(const QString& id, const QPixmap& pm) {
    pictures().insert(id, pm);
}
QPixmap Grid::picture(const QString& id) {
    return id.isEmpty() ? QPixmap() : pictures().value(id);
}

void Grid::setMaxRows(int n) {
    n = std::clamp(n, 0, kMaxFileRows);
    const int old = maxRows();
    if (n > old)
        model_->rowsInserted(old, n - 1, [&] { store_.setMaxRows(n); });
    else if (n < old)
        model_->rowsRemoved(n, old - 1, [&] { store_.setMaxRows(n); });
}

void Grid::setMaxCols(int n) {
    n = std::clamp(n, 0, kMaxFileCols);
    const int old = maxCols();
    if (n > old)
        model_->colsInserted(old, n - 1, [&] { store_.setMaxCols(n); });
    else if (n < old)
        model_->colsRemoved(n, old - 1, [&] { store_.setMaxCols(n); });
    syncColumns();
}

// ---- texts and values

std::optional<double> parseFloatText(const QString& text, QChar sep) {
    QString s = text.trimmed();
    s.remove(' ');
    if (s.isEmpty()) return std::nullopt;
    // The decimal separator is the cell's, or the last '.' or ',' when both appear; a lone kind that
    // appears more than once is grouping.
    const int lastDot = s.lastIndexOf('.'), lastComma = s.lastIndexOf(',');
    int dec = -1;
    if (lastDot >= 0 && lastComma >= 0)
        dec = std::max(lastDot, lastComma);
    else if (lastDot >= 0 && s.count('.') == 1)
        dec = lastDot;
    else if (lastComma >= 0 && s.count(',') == 1)
        dec = lastComma;
    else if (!sep.isNull() && s.contains(sep) && s.count(sep) == 1)
        dec = s.indexOf(sep);
    QString out;
    for (int k = 0; k < s.size(); ++k) {
        if (k == dec)
            out += '.';
        else if (s[k] != '.' && s[k] != ',')
            out += s[k];
    }
    bool ok = false;
    const double d = out.toDouble(&ok);
    if (!ok || !std::isfinite(d)) return std::nullopt;
    return d;
}

QString Grid::canonicalFloat(const QString& text, QChar sep) const {
    const std::optional<double> d = parseFloatText(text, sep);
    if (!d) return {};
    return *d == 0 ? QString("0") : QString::number(*d, 'g', 15);
}

QString Grid::text(int col, int row) const {
    const Cell* c = store_.cell(col, row);
    if (!c) return {};
    if (row > 0 && col > 0 && cellType(col, row) == TypeFloat && !c->text.isEmpty()) {
        const double d = c->text.toDouble();
        QString s = QString::number(d, 'f', typeFloatDecimalPlaces(col, row));
        return s.replace('.', typeFloatDecimalChar(col, row));
    }
    return c->text;
}

QString Grid::displayText(int col, int row) const {
    return text(col, row);
}

void Grid::setText(int col, int row, const QString& t) {
    if (col < 0 || row < 0) {
        const int c1 = col < 0 ? 1 : col, c2 = col < 0 ? maxCols() : col;
        const int r1 = row < 0 ? 1 : row, r2 = row < 0 ? maxRows() : row;
        if (c2 > maxCols() || r2 > maxRows()) return;
        for (int r = r1; r <= r2; ++r)
            for (int c = c1; c <= c2; ++c)
                if (!t.isEmpty() || store_.cell(c, r)) setText(c, r, t);
        return;
    }
    if (!store_.contains(col, row)) return;
    QString v = t;
    if (row > 0 && col > 0) {
        const int type = cellType(col, row);
        if (type == TypeFloat)
            v = canonicalFloat(t, typeFloatDecimalChar(col, row));
        else if (type == TypeCheckBox && !t.isEmpty())
            v = truthy(t) ? "1" : "0";
    }
    const Cell* old = store_.cell(col, row);
    if (!old && v.isEmpty()) return;
    store_.cellRef(col, row).text = v;
    cellsChanged(col, row);
}

QVariant Grid::value(int col, int row) const {
    if (!store_.contains(col, row)) return {};
    const int type = cellType(col, row);
    const Cell* c = store_.cell(col, row);
    const QString t = c ? c->text : QString();
    if (row > 0 && col > 0 && type == TypeCheckBox) return t == "1" ? QString("1") : QString("0");
    if (row > 0 && col > 0 && type == TypeFloat) return t.isEmpty() ? QVariant() : QVariant(t.toDouble());
    return t;
}

void Grid::setValue(int col, int row, const QVariant& v) {
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float)
        setText(col, row, QString::number(v.toDouble(), 'g', 15));
    else if (v.typeId() == QMetaType::Bool)
        setText(col, row, v.toBool() ? "1" : "0");
    else
        setText(col, row, v.toString());
}

QString Grid::cellTag(int col, int row) const {
    const Cell* c = store_.cell(col, row);
    return c ? c->tag : QString();
}

void Grid::setCellTag(int col, int row, const QString& t) {
    if (col < 0 || row < 0) {
        const int c1 = col < 0 ? 1 : col, c2 = col < 0 ? maxCols() : col;
        const int r1 = row < 0 ? 1 : row, r2 = row < 0 ? maxRows() : row;
        if (c2 > maxCols() || r2 > maxRows()) return;
        for (int r = r1; r <= r2; ++r)
            for (int c = c1; c <= c2; ++c)
                if (!t.isEmpty() || store_.cell(c, r)) setCellTag(c, r, t);
        return;
    }
    if (!store_.contains(col, row)) return;
    if (!store_.cell(col, row) && t.isEmpty()) return;
    store_.cellRef(col, row).tag = t;
}

// ---- formatting

namespace {
template <class T> T resolveAt(const GridStore& s, int col, int row, std::optional<T> Format::*m, T def) {
    if (col < 0) { // whole row or sheet: the sheet's own setting
        return s.sheetFormat().*m ? *(s.sheetFormat().*m) : def;
    }
    if (row < 0) {
        if (col > s.maxCols()) return def;
        if (s.column(col).format.*m) return *(s.column(col).format.*m);
        return s.sheetFormat().*m ? *(s.sheetFormat().*m) : def;
    }
    return s.resolve(col, row, m, def);
}
} // namespace

int Grid::cellType(int col, int row) const {
    return resolveAt(store_, col, row, &Format::type, int(TypePlain));
}
void Grid::setCellType(int col, int row, int type) {
    if (!isValidCellType(type)) return;
    store_.setFormat(col, row, &Format::type, type);
    normalizeFloats(col, row);
    cellsChanged(col, row);
}
bool Grid::lock(int col, int row) const {
    return resolveAt(store_, col, row, &Format::lock, false);
}
void Grid::setLock(int col, int row, bool on) {
    store_.setFormat(col, row, &Format::lock, on);
    cellsChanged(col, row);
}
uint32_t Grid::backColor(int col, int row) const {
    return resolveAt(store_, col, row, &Format::backColor, kDefaultBackColor);
}
void Grid::setBackColor(int col, int row, uint32_t ole) {
    store_.setFormat(col, row, &Format::backColor, ole);
    cellsChanged(col, row);
}
uint32_t Grid::foreColor(int col, int row) const {
    return resolveAt(store_, col, row, &Format::foreColor, kDefaultForeColor);
}
void Grid::setForeColor(int col, int row, uint32_t ole) {
    store_.setFormat(col, row, &Format::foreColor, ole);
    cellsChanged(col, row);
}
QString Grid::typeButtonText(int col, int row) const {
    return resolveAt(store_, col, row, &Format::buttonText, QString());
}
void Grid::setTypeButtonText(int col, int row, const QString& t) {
    store_.setFormat(col, row, &Format::buttonText, t);
    cellsChanged(col, row);
}
uint32_t Grid::typeButtonColor(int col, int row) const {
    return resolveAt(store_, col, row, &Format::buttonColor, kDefaultButtonColor);
}
void Grid::setTypeButtonColor(int col, int row, uint32_t ole) {
    store_.setFormat(col, row, &Format::buttonColor, ole);
    cellsChanged(col, row);
}
QString Grid::typeButtonPicture(int col, int row) const {
    return resolveAt(store_, col, row, &Format::buttonPicture, QString());
}
void Grid::setTypeButtonPicture(int col, int row, const QString& id) {
    store_.setFormat(col, row, &Format::buttonPicture, id);
    cellsChanged(col, row);
}
QChar Grid::typeFloatDecimalChar(int col, int row) const {
    return resolveAt(store_, col, row, &Format::floatDecimalChar, QChar('.'));
}
void Grid::setTypeFloatDecimalChar(int col, int row, QChar c) {
    if (c.isDigit() || c == '-' || c.isSpace() || c.isNull()) return;
    store_.setFormat(col, row, &Format::floatDecimalChar, c);
    cellsChanged(col, row);
}
int Grid::typeFloatDecimalPlaces(int col, int row) const {
    return resolveAt(store_, col, row, &Format::floatDecimalPlaces, 2);
}
void Grid::setTypeFloatDecimalPlaces(int col, int row, int n) {
    store_.setFormat(col, row, &Format::floatDecimalPlaces, std::clamp(n, 0, 15));
    cellsChanged(col, row);
}
QStringList Grid::typeComboBoxList(int col, int row) const {
    return resolveAt(store_, col, row, &Format::comboList, QStringList());
}
void Grid::setTypeComboBoxList(int col, int row, const QStringList& items) {
    store_.setFormat(col, row, &Format::comboList, items);
}
bool Grid::typeComboBoxEditable(int col, int row) const {
    return resolveAt(store_, col, row, &Format::comboEditable, false);
}
void Grid::setTypeComboBoxEditable(int col, int row, bool on) {
    store_.setFormat(col, row, &Format::comboEditable, on);
}

void Grid::normalizeFloats(int col, int row) {
    // Texts already in cells that just became float cells turn into numbers. Only the cells of the
    // range are visited: types are set cell by cell over whole grids.
    std::vector<std::pair<int, int>> todo;
    auto take = [&](int c, int r, const Cell& cell) {
        if (r > 0 && c > 0 && (col < 0 || c == col) && (row < 0 || r == row) && !cell.text.isEmpty())
            todo.push_back({c, r});
    };
    if (col > 0 && row > 0) {
        if (const Cell* cell = store_.cell(col, row)) take(col, row, *cell);
    } else if (row > 0) {
        store_.forEachStoredCellInRow(row, take);
    } else {
        store_.forEachStoredCell(take);
    }
    for (auto [c, r] : todo)
        if (cellType(c, r) == TypeFloat) {
            Cell& cell = store_.cellRef(c, r);
            cell.text = canonicalFloat(cell.text, typeFloatDecimalChar(c, r));
        }
}

void Grid::cellsChanged(int col, int row) {
    if (row == 0 || col == 0) model_->touchHeaders();
    if (!redraw_) return;
    model_->touch(col < 0 ? 1 : col, row < 0 ? 1 : row, col < 0 ? maxCols() : col, row < 0 ? maxRows() : row);
}

// ---- columns

int Grid::pixelsForWidth(double chars) const {
    return int(std::lround(chars * view_->fontMetrics().horizontalAdvance('0') + 8));
}

double Grid::colWidth(int col) const {
    if (col < 0 || col > maxCols()) return kDefaultColWidth;
    return store_.column(col).width.value_or(kDefaultColWidth);
}

void Grid::setColWidth(int col, double chars) {
    if (!std::isfinite(chars)) return;
    chars = std::clamp(chars, 0.0, 1000.0);
    if (col < 0) {
        for (int c = 1; c <= maxCols(); ++c)
            store_.column(c).width = chars;
    } else if (col <= maxCols()) {
        store_.column(col).width = chars;
    }
    syncColumns();
}

bool Grid::colHidden(int col) const {
    return col >= 0 && col <= maxCols() && store_.column(col).hidden;
}

void Grid::setColHidden(int col, bool hidden) {
    if (col < 0 || col > maxCols()) return;
    store_.column(col).hidden = hidden;
    syncColumns();
}

void Grid::syncColumns() {
    for (int c = 1; c <= maxCols(); ++c) {
        view_->setColumnHidden(c - 1, store_.column(c).hidden);
        view_->setColumnWidth(c - 1, pixelsForWidth(colWidth(c)));
    }
    view_->verticalHeader()->setVisible(!store_.column(0).hidden);
    if (store_.column(0).width)
        view_->verticalHeader()->setFixedWidth(pixelsForWidth(*store_.column(0).width));
}

// ---- rows

void Grid::insertRows(int row, int n) {
    if (n <= 0 || row < 1 || row > maxRows() + 1) return;
    const int oldMax = maxRows();
    model_->rowsInserted(row - 1, row - 1 + n - 1, [&] { store_.insertRowsGrowing(row, n); });
    // Blank rows pushed past the old end fall off; rows with data stay.
    int keep = oldMax;
    for (int r = maxRows(); r > oldMax; --r)
        if (store_.rowHasData(r)) {
            keep = r;
            break;
        }
    setMaxRows(keep);
}

void Grid::deleteRows(int row, int n) {
    if (n <= 0 || row < 1 || row > maxRows()) return;
    n = std::min(n, maxRows() - row + 1);
    const int oldMax = maxRows();
    model_->rowsRemoved(row - 1, row - 1 + n - 1, [&] { store_.deleteRowsShrinking(row, n); });
    setMaxRows(oldMax);
}

void Grid::copyRow(int from, int to) {
    store_.copyRow(from, to);
    cellsChanged(-1, to);
}

// ---- active cell

int Grid::activeCol() const {
    const QModelIndex i = view_->currentIndex();
    return i.isValid() ? i.column() + 1 : 0;
}
int Grid::activeRow() const {
    const QModelIndex i = view_->currentIndex();
    return i.isValid() ? i.row() + 1 : 0;
}

void Grid::setActiveCell(int col, int row) {
    if (col < 1 || row < 1 || col > maxCols() || row > maxRows()) return;
    quiet_ = true;
    view_->setCurrentIndex(model_->index(row - 1, col - 1));
    quiet_ = false;
}

void Grid::setSelection(int col1, int row1, int col2, int row2) {
    if (maxCols() == 0 || maxRows() == 0) return;
    auto cl = [](int v, int hi) { return std::clamp(v, 1, hi) - 1; };
    const QItemSelection sel(model_->index(cl(row1, maxRows()), cl(col1, maxCols())),
                             model_->index(cl(row2, maxRows()), cl(col2, maxCols())));
    quiet_ = true;
    view_->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    quiet_ = false;
}

// ---- display

void Grid::setRedraw(bool on) {
    if (on == redraw_) return;
    redraw_ = on;
    view_->setUpdatesEnabled(on);
    if (on) {
        model_->touch(1, 1, maxCols(), maxRows());
        model_->touchHeaders();
        view_->viewport()->update();
    }
}

void Grid::repaintNow() {
    if (redraw_) view_->viewport()->repaint();
}

// ---- persistence

QByteArray Grid::saveToBytes() const {
    return writeGridJson(store_);
}

bool Grid::loadFromBytes(const QByteArray& data, QString* error) {
    GridStore fresh;
    if (!readGridJson(data, fresh, error)) return false;
    model_->reset([&] { store_ = std::move(fresh); });
    syncColumns();
    return true;
}

bool Grid::saveToFile(const QString& path, QString* error) const {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(saveToBytes()) < 0 || !f.commit()) {
        if (error) *error = QString("The grid could not be saved to %1: %2.").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool Grid::loadFromFile(const QString& path, QString* error) {
    QByteArray bytes;
    QString why;
    if (!bd::os::readRegularFile(path, kMaxFileBytes, bytes, &why)) {
        if (error) *error = "The grid file cannot be read: " + why;
        return false;
    }
    return loadFromBytes(bytes, error);
}

// ---- user actions

void Grid::userEdit(int col, int row, const QString& t, bool fromCombo) {
    const QString before = store_.cell(col, row) ? store_.cell(col, row)->text : QString();
    setText(col, row, t);
    const QString after = store_.cell(col, row) ? store_.cell(col, row)->text : QString();
    if (fromCombo) {
        // A pick is a selection change and, when it changed the cell, a change as well.
        emit comboSelChange(col, row);
        if (before != after) emit changed(col, row);
        emit comboCloseUp(col, row, 1);
    } else if (before != after) {
        // Typed edits arrive while the view is still closing its editor: report them once it is done.
        QMetaObject::invokeMethod(
            this, [this, col, row] { emit changed(col, row); }, Qt::QueuedConnection);
    }
}

void Grid::userToggle(int col, int row) {
    setText(col, row, value(col, row).toString() == "1" ? "0" : "1");
    emit buttonClicked(col, row, value(col, row).toString() == "1" ? 1 : 0);
    emit changed(col, row);
}

void Grid::userButton(int col, int row) {
    emit buttonClicked(col, row, 0);
}

bool Grid::eventFilter(QObject* o, QEvent* e) {
    if (o == view_ && e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        int shift = 0;
        if (ke->modifiers() & Qt::ShiftModifier) shift |= 1;
        if (ke->modifiers() & Qt::ControlModifier) shift |= 2;
        if (ke->modifiers() & Qt::AltModifier) shift |= 4;
        const int vk = virtualKeyCode(ke->key());
        if (vk) emit keyDown(vk, shift);
        // Space works a check box or a button like a click.
        const int c = activeCol(), r = activeRow();
        if (ke->key() == Qt::Key_Space && c > 0 && r > 0 && !lock(c, r)) {
            if (cellType(c, r) == TypeCheckBox) {
                userToggle(c, r);
                return true;
            }
            if (cellType(c, r) == TypeButton) {
                userButton(c, r);
                return true;
            }
        }
        // Enter presses a button as well.
        const bool enter = ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter;
        if (enter && c > 0 && r > 0 && !lock(c, r) && cellType(c, r) == TypeButton) {
            userButton(c, r);
            return true;
        }
    } else if (o == view_ && e->type() == QEvent::FocusIn) {
        emit gotFocus();
    }
    return QWidget::eventFilter(o, e);
}

int virtualKeyCode(int k) {
    if (k >= Qt::Key_A && k <= Qt::Key_Z) return 65 + (k - Qt::Key_A);
    if (k >= Qt::Key_0 && k <= Qt::Key_9) return 48 + (k - Qt::Key_0);
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return 112 + (k - Qt::Key_F1);
    switch (k) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return 0;
    }
}

} // namespace bd::grid
