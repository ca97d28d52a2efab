#include "platform/querybuilder/QueryBuilder.h"

#include "platform/db/Connection.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace bd::querybuilder {

namespace {
constexpr int kConnectTimeoutSeconds = 10;
constexpr int kCardWidth = 240;
// Table names dragged from the list to the design area, one a line.
const QString kTableMime = QStringLiteral("application/x-bd-querybuilder-tables");
const QString kViewSuffix = QStringLiteral("  (view)");

enum Page { DesignPage, TextPage };

class TableList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    QStringList mimeTypes() const override { return {kTableMime}; }
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override {
        QStringList names;
        for (const QListWidgetItem* i : items)
            names << i->data(Qt::UserRole).toString();
        auto* m = new QMimeData;
        m->setData(kTableMime, names.join('\n').toUtf8());
        return m;
    }
};

class DesignArea : public QWidget {
public:
    explicit DesignArea(QueryBuilder* owner) : QWidget(owner), owner_(owner) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (e->mimeData()->hasFormat(kTableMime) && !owner_->readOnly()) e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* e) override {
        if (e->mimeData()->hasFormat(kTableMime) && !owner_->readOnly()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        if (!e->mimeData()->hasFormat(kTableMime) || owner_->readOnly()) return;
        const QStringList names =
            QString::fromUtf8(e->mimeData()->data(kTableMime)).split('\n', Qt::SkipEmptyParts);
        for (const QString& n : names)
            owner_->addTable(n);
        e->acceptProposedAction();
    }

private:
    QueryBuilder* owner_;
};
} // namespace

// ---- table card ----

TableCard::TableCard(QueryBuilder* owner, const QString& table)
    : QFrame(owner->area), owner_(owner), table_(table) {
    setObjectName("card:" + table);
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(kCardWidth);
    lblName = new QLabel(table, this);
    lblName->setTextFormat(Qt::PlainText);
    QFont bold = lblName->font();
    bold.setBold(true);
    lblName->setFont(bold);
    cmdRemove = new QToolButton(this);
    cmdRemove->setText(QStringLiteral("\u00D7"));
    cmdRemove->setToolTip("Remove " + table + " from the query");
    cmdRemove->setAccessibleName("Remove " + table);
    joinBox = new QWidget(this);
    cmbJoinTable = new QComboBox(joinBox);
    cmbJoinTable->setToolTip("The earlier table " + table + " is joined to");
    cmbJoinColumn = new QComboBox(joinBox);
    cmbJoinColumn->setToolTip("Column of the earlier table");
    cmbOwnColumn = new QComboBox(joinBox);
    cmbOwnColumn->setToolTip("Column of " + table);
    auto* jl = new QGridLayout(joinBox);
    jl->setContentsMargins(0, 0, 0, 0);
    jl->addWidget(new QLabel("Inner join with", joinBox), 0, 0);
    jl->addWidget(cmbJoinTable, 0, 1, 1, 2);
    jl->addWidget(cmbJoinColumn, 1, 0);
    jl->addWidget(new QLabel("=", joinBox), 1, 1);
    jl->addWidget(cmbOwnColumn, 1, 2);
    jl->setColumnStretch(0, 1);
    jl->setColumnStretch(2, 1);
    lstColumns = new QListWidget(this);
    lstColumns->setAccessibleName("Columns of " + table);
    auto* head = new QHBoxLayout;
    head->addWidget(lblName, 1);
    head->addWidget(cmdRemove);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(head);
    lay->addWidget(joinBox);
    lay->addWidget(lstColumns, 1);

    connect(cmdRemove, &QToolButton::clicked, this, [this] { owner_->removeTable(table_); });
    connect(lstColumns, &QListWidget::itemChanged, this, [this](QListWidgetItem* i) {
        if (!syncing_) owner_->setColumnChecked(table_, i->text(), i->checkState() == Qt::Checked);
    });
    for (QComboBox* b : {cmbJoinTable, cmbJoinColumn, cmbOwnColumn})
        connect(b, &QComboBox::activated, this, &TableCard::joinEdited);
}

void TableCard::fillColumns(QComboBox* box, const QStringList& columns, const QString& current) {
    QStringList have;
    for (int i = 0; i < box->count(); ++i)
        have << box->itemText(i);
    if (have != columns) {
        box->clear();
        box->addItems(columns);
    }
    box->setCurrentIndex(box->findText(current));
}

void TableCard::sync(const QueryModel& m, int index) {
    syncing_ = true;
    const Design& d = m.design();
    const QStringList columns = m.columnsOf(table_);
    QStringList listed;
    for (int i = 0; i < lstColumns->count(); ++i)
        listed << lstColumns->item(i)->text();
    if (listed != columns) {
        lstColumns->clear();
        for (const QString& c : columns) {
            auto* item = new QListWidgetItem(c, lstColumns);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        }
    }
    for (int i = 0; i < lstColumns->count(); ++i) {
        QListWidgetItem* item = lstColumns->item(i);
        item->setCheckState(m.isChecked(table_, item->text()) ? Qt::Checked : Qt::Unchecked);
    }
    joinBox->setVisible(index > 0);
    if (index > 0) {
        const Join& j = d.tables[index].join;
        QStringList earlier;
        for (int i = 0; i < index; ++i)
            earlier << d.tables[i].name;
        fillColumns(cmbJoinTable, earlier, j.table);
        fillColumns(cmbJoinColumn, j.table.isEmpty() ? QStringList() : m.columnsOf(j.table), j.column);
        fillColumns(cmbOwnColumn, columns, j.ownColumn);
    }
    syncing_ = false;
}

void TableCard::joinEdited() {
    if (syncing_) return;
    const QString other = cmbJoinTable->currentText();
    QString column = cmbJoinColumn->currentText();
    // Another earlier table: its column of the same name when it has one, else its first.
    if (sender() == cmbJoinTable) {
        const QStringList theirs = owner_->model().columnsOf(other);
        const QString same = theirs.contains(cmbOwnColumn->currentText(), Qt::CaseInsensitive)
                                 ? cmbOwnColumn->currentText()
                                 : theirs.value(0);
        column = same;
    }
    owner_->setJoin(table_, cmbOwnColumn->currentText(), other, column);
}

// ---- builder ----

QueryBuilder::QueryBuilder(QWidget* parent) : QWidget(parent), cnn_(std::make_unique<bd::db::Connection>()) {
    setObjectName("QueryBuilder");
    baseFont_ = font();
    model_.setQuoter([this](const QString& n) {
        if (quoter_) return quoter_(n);
        return cnn_->isOpen() ? cnn_->quoteName(n) : quoteStandard(n);
    });
    pages_ = new QStackedWidget(this);
    pages_->addWidget(buildDesignPage());
    pages_->addWidget(buildTextPage());

    lblStatus = new QLabel(this);
    lblStatus->setObjectName("lblStatus");
    lblStatus->setTextFormat(Qt::PlainText);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(pages_, 1);
    lay->addWidget(lblStatus);
    connectHandlers();
    refresh();
}

// The table list beside the design area, the condition and the SQL below.
QWidget* QueryBuilder::buildDesignPage() {
    auto* design = new QWidget;
    QWidget* left = buildTableList();
    QWidget* right = buildDesignArea();
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(1, 4);
    auto* dl = new QVBoxLayout(design);
    dl->setContentsMargins(0, 0, 0, 0);
    dl->addWidget(split);
    return design;
}

QWidget* QueryBuilder::buildTableList() {
    auto* left = new QWidget;
    auto* ll = new QVBoxLayout(left);
    ll->setContentsMargins(0, 0, 0, 0);
    auto* lblTables = new QLabel("&Tables and views", left);
    lstTables = new TableList(left);
    lstTables->setObjectName("lstTables");
    lstTables->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstTables->setDragEnabled(true);
    lstTables->setDragDropMode(QAbstractItemView::DragOnly);
    lblTables->setBuddy(lstTables);
    cmdAddTable = new QPushButton("&Add", left);
    cmdAddTable->setObjectName("cmdAddTable");
    cmdAddTable->setToolTip("Add the tables picked in the list to the query");
    ll->addWidget(lblTables);
    ll->addWidget(lstTables, 1);
    ll->addWidget(cmdAddTable);
    return left;
}

// The tables' cards (a hint while there are none) over the condition and the SQL.
QWidget* QueryBuilder::buildDesignArea() {
    area = new DesignArea(this);
    area->setObjectName("area");
    cards_ = new QHBoxLayout(area);
    lblHint = new QLabel("Drag a table or view here, or double-click it in the list.", area);
    lblHint->setObjectName("lblHint");
    lblHint->setAlignment(Qt::AlignCenter);
    cards_->addWidget(lblHint, 1);
    cards_->addStretch();
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setWidget(area);

    auto* right = new QWidget;
    auto* rl = new QVBoxLayout(right);
    rl->setContentsMargins(0, 0, 0, 0);
    rl->addWidget(scroll, 3);
    auto* lblCondition = new QLabel("&Condition (Where)", right);
    txtCondition = new QPlainTextEdit(right);
    txtCondition->setObjectName("txtCondition");
    txtCondition->setTabChangesFocus(true);
    lblCondition->setBuddy(txtCondition);
    txtSql = new QPlainTextEdit(right);
    txtSql->setObjectName("txtSql");
    txtSql->setReadOnly(true);
    txtSql->setTabChangesFocus(true);
    rl->addWidget(lblCondition);
    rl->addWidget(txtCondition, 1);
    rl->addWidget(new QLabel("SQL", right));
    rl->addWidget(txtSql, 1);
    return right;
}

// A query the design cannot show, kept and edited as text.
QWidget* QueryBuilder::buildTextPage() {
    auto* text = new QWidget;
    auto* tl = new QVBoxLayout(text);
    tl->setContentsMargins(0, 0, 0, 0);
    auto* lblText = new QLabel("The builder cannot show this SQL as a design. It is kept as it is; edit it "
                               "here, or start a new design.",
                               text);
    lblText->setWordWrap(true);
    txtText = new QPlainTextEdit(text);
    txtText->setObjectName("txtText");
    cmdNewDesign = new QPushButton("&New design", text);
    cmdNewDesign->setObjectName("cmdNewDesign");
    tl->addWidget(lblText);
    tl->addWidget(txtText, 1);
    tl->addWidget(cmdNewDesign, 0, Qt::AlignLeft);
    return text;
}

void QueryBuilder::connectHandlers() {
    connect(cmdAddTable, &QPushButton::clicked, this, &QueryBuilder::addPickedTables);
    connect(lstTables, &QListWidget::itemActivated, this, &QueryBuilder::addPickedTables);
    connect(cmdNewDesign, &QPushButton::clicked, this, &QueryBuilder::newDesign);
    connect(txtCondition, &QPlainTextEdit::textChanged, this, [this] {
        if (syncing_ || readOnly_) return;
        model_.setCondition(txtCondition->toPlainText());
        txtSql->setPlainText(model_.formattedSql());
        edited();
    });
    connect(txtText, &QPlainTextEdit::textChanged, this, [this] {
        if (syncing_ || readOnly_) return;
        model_.setText(txtText->toPlainText());
        edited();
    });
}

QueryBuilder::~QueryBuilder() = default;

bool QueryBuilder::connectDatabase(QString* error) {
    columns_.clear();
    QString why;
    const bool ok = cnn_->open(cs_, kConnectTimeoutSeconds, &why);
    if (!ok && error) *error = why;
    refresh();
    return ok;
}

QStringList QueryBuilder::columnsOf(const QString& table) {
    auto it = columns_.find(table);
    if (it != columns_.end()) return *it;
    QStringList names;
    if (cnn_->isOpen()) {
        QString error;
        for (const bd::db::Field& f : cnn_->columns(table, &error))
            names << f.name;
    }
    columns_.insert(table, names);
    return names;
}

bool QueryBuilder::loadMetadata(QString* error) {
    columns_.clear();
    lstTables->clear();
    Catalog c;
    c.columns = [this](const QString& t) { return columnsOf(t); };
    if (!cnn_->isOpen()) {
        if (error) *error = QStringLiteral("The connection is not open.");
        model_.setCatalog(c);
        refresh();
        return false;
    }
    QString why;
    const QStringList tables = cnn_->tables(&why);
    const QStringList views = why.isEmpty() ? cnn_->views(&why) : QStringList();
    if (!why.isEmpty()) {
        if (error) *error = why;
        model_.setCatalog(c);
        refresh();
        return false;
    }
    for (const QString& t : tables) {
        auto* item = new QListWidgetItem(t, lstTables);
        item->setData(Qt::UserRole, t);
        item->setToolTip("Table " + t);
    }
    for (const QString& v : views) {
        auto* item = new QListWidgetItem(v + kViewSuffix, lstTables);
        item->setData(Qt::UserRole, v);
        item->setToolTip("View " + v);
    }
    c.tables = tables + views;
    model_.setCatalog(c);
    refresh();
    return true;
}

void QueryBuilder::setSql(const QString& sql) {
    if (!model_.isText() && sql.isEmpty() && model_.design().tables.isEmpty() &&
        model_.design().condition.isEmpty())
        return;
    model_.setSql(sql);
    refresh();
}

bool QueryBuilder::setState(const QString& state) {
    if (!model_.setState(state)) return false;
    refresh();
    return true;
}

void QueryBuilder::setZoom(int percent) {
    zoom_ = std::clamp(percent, 25, 400);
    QFont f = baseFont_;
    if (f.pointSizeF() > 0)
        f.setPointSizeF(baseFont_.pointSizeF() * zoom_ / 100.0);
    else
        f.setPixelSize(std::max(1, baseFont_.pixelSize() * zoom_ / 100));
    pages_->setFont(f);
}

void QueryBuilder::setReadOnly(bool on) {
    readOnly_ = on;
    lstTables->setDragEnabled(!on);
    cmdAddTable->setEnabled(!on);
    cmdNewDesign->setEnabled(!on);
    txtCondition->setReadOnly(on);
    txtText->setReadOnly(on);
    for (TableCard* c : cardList_)
        if (c) c->setEnabled(!on);
}

bool QueryBuilder::addTable(const QString& table) {
    if (readOnly_ || !model_.addTable(table)) return false;
    refresh();
    edited();
    return true;
}

void QueryBuilder::addPickedTables() {
    for (const QListWidgetItem* i : lstTables->selectedItems())
        addTable(i->data(Qt::UserRole).toString());
}

void QueryBuilder::removeTable(const QString& table) {
    if (readOnly_ || model_.design().indexOf(table) < 0) return;
    model_.removeTable(table);
    refresh();
    edited();
}

void QueryBuilder::setColumnChecked(const QString& table, const QString& column, bool on) {
    if (readOnly_) return;
    model_.setColumnChecked(table, column, on);
    refresh();
    edited();
}

bool QueryBuilder::setJoin(const QString& table, const QString& ownColumn, const QString& other,
                           const QString& column) {
    if (readOnly_ || !model_.setJoin(table, ownColumn, other, column)) {
        refresh(); // the pickers show the join the design still has
        return false;
    }
    refresh();
    edited();
    return true;
}

void QueryBuilder::setCondition(const QString& condition) {
    if (readOnly_) return;
    model_.setCondition(condition);
    refresh();
    edited();
}

void QueryBuilder::newDesign() {
    if (readOnly_) return;
    model_.clear();
    refresh();
    edited();
}

TableCard* QueryBuilder::card(const QString& table) const {
    for (TableCard* c : cardList_)
        if (c && c->table().compare(table, Qt::CaseInsensitive) == 0) return c;
    return nullptr;
}

void QueryBuilder::edited() {
    emit changed();
}

void QueryBuilder::refreshCards() {
    const Design& d = model_.design();
    for (int i = cardList_.size() - 1; i >= 0; --i) {
        TableCard* c = cardList_[i];
        if (c && d.indexOf(c->table()) >= 0) continue;
        delete c;
        cardList_.remove(i);
    }
    QVector<QPointer<TableCard>> ordered;
    for (int i = 0; i < d.tables.size(); ++i) {
        TableCard* c = card(d.tables[i].name);
        if (!c) {
            c = new TableCard(this, d.tables[i].name);
            c->setEnabled(!readOnly_);
        }
        // Synced before it is shown, so its first layout already leaves out what it hides.
        c->sync(model_, i);
        cards_->removeWidget(c);
        cards_->insertWidget(i, c);
        c->show();
        ordered << c;
    }
    cardList_ = ordered;
    lblHint->setVisible(d.tables.isEmpty());
}

void QueryBuilder::refresh() {
    syncing_ = true;
    if (model_.isText()) {
        if (txtText->toPlainText() != model_.text()) txtText->setPlainText(model_.text());
        pages_->setCurrentIndex(TextPage);
    } else {
        pages_->setCurrentIndex(DesignPage);
        refreshCards();
        if (txtCondition->toPlainText() != model_.design().condition)
            txtCondition->setPlainText(model_.design().condition);
        txtSql->setPlainText(model_.formattedSql());
    }
    QStringList status;
    if (!cnn_->isOpen()) status << QStringLiteral("Not connected to a database.");
    if (!model_.isText()) status << designProblems(model_.design());
    lblStatus->setText(status.join(' '));
    syncing_ = false;
}

} // namespace bd::querybuilder
