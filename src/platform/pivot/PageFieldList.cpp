#include "platform/pivot/PageFieldList.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace bd::pivot {

// ---------------------------------------------------------------------------------------------------
// MemberListModel

MemberListModel::MemberListModel(QStringList members, const QSet<QString>& hidden, QObject* parent)
    : QAbstractListModel(parent), members_(std::move(members)), checked_(size_t(members_.size()), 1) {
    for (int i = 0; i < members_.size(); ++i)
        if (hidden.contains(members_[i])) checked_[size_t(i)] = 0;
    checkedCount_ = int(std::count(checked_.begin(), checked_.end(), 1));
    shown_.resize(size_t(members_.size()));
    for (size_t i = 0; i < shown_.size(); ++i)
        shown_[i] = int(i);
}

int MemberListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.size());
}

QString MemberListModel::label(int row) const {
    return row >= 0 && row < int(shown_.size()) ? members_[shown_[size_t(row)]] : QString();
}

bool MemberListModel::isChecked(int row) const {
    return row >= 0 && row < int(shown_.size()) && checked_[size_t(shown_[size_t(row)])];
}

QVariant MemberListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(shown_.size())) return {};
    if (role == Qt::DisplayRole) {
        const QString l = label(index.row());
        return l.isEmpty() ? tr("(empty)") : l;
    }
    if (role == Qt::CheckStateRole) return isChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool MemberListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::CheckStateRole || index.row() >= int(shown_.size())) return false;
    setChecked(shown_[size_t(index.row())], value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags MemberListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                           : Qt::NoItemFlags;
}

void MemberListModel::setChecked(int member, bool on) {
    char& c = checked_[size_t(member)];
    if (bool(c) == on) return;
    c = on;
    checkedCount_ += on ? 1 : -1;
    emit checkedCountChanged(checkedCount_);
}

void MemberListModel::toggle(int row) {
    if (row < 0 || row >= int(shown_.size())) return;
    const QModelIndex i = index(row);
    setData(i, isChecked(row) ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

void MemberListModel::setSearch(const QString& text) {
    beginResetModel();
    shown_.clear();
    const QString t = text.trimmed();
    for (int i = 0; i < members_.size(); ++i)
        if (t.isEmpty() || members_[i].contains(t, Qt::CaseInsensitive)) shown_.push_back(i);
    endResetModel();
}

void MemberListModel::setAllChecked(bool on) {
    std::fill(checked_.begin(), checked_.end(), char(on));
    checkedCount_ = on ? int(checked_.size()) : 0;
    if (!shown_.empty()) emit dataChanged(index(0), index(int(shown_.size()) - 1), {Qt::CheckStateRole});
    emit checkedCountChanged(checkedCount_);
}

QSet<QString> MemberListModel::uncheckedMembers() const {
    QSet<QString> out;
    for (size_t i = 0; i < checked_.size(); ++i)
        if (!checked_[i]) out.insert(members_[int(i)]);
    return out;
}

// ---------------------------------------------------------------------------------------------------
// PageFieldList

namespace {
// A click anywhere on a row ticks or unticks it, as on the check box itself.
class TickDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool editorEvent(QEvent* e, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (e->type() == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(e);
            if (me->button() != Qt::LeftButton || !option.rect.contains(me->position().toPoint()))
                return false;
            const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            return model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        }
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick)
            return static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton;
        return QStyledItemDelegate::editorEvent(e, model, option, index); // Space ticks too
    }
};
} // namespace

PageFieldList::PageFieldList(const QString& caption, const QStringList& members, const QSet<QString>& hidden,
                             QWidget* parent)
    : QDialog(parent, Qt::Popup) {
    setObjectName("PageFieldList");
    setWindowTitle(caption);
    model_ = new MemberListModel(members, hidden, this);
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName("txtSearch");
    txtSearch->setPlaceholderText(tr("Search"));
    txtSearch->setClearButtonEnabled(true);
    lstMembers = new QListView(this);
    lstMembers->setObjectName("lstMembers");
    lstMembers->setModel(model_);
    lstMembers->setItemDelegate(new TickDelegate(lstMembers));
    lstMembers->setUniformItemSizes(true); // rows are laid out without measuring each member
    lstMembers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstMembers->setSelectionMode(QAbstractItemView::SingleSelection);
    cmdAll = new QPushButton(tr("All"), this);
    cmdAll->setObjectName("cmdAll");
    cmdAll->setToolTip(tr("Tick every member"));
    cmdNone = new QPushButton(tr("None"), this);
    cmdNone->setObjectName("cmdNone");
    cmdNone->setToolTip(tr("Untick every member"));
    lblCount = new QLabel(this);
    lblCount->setObjectName("lblCount");
    cmdOk = new QPushButton(tr("OK"), this);
    cmdOk->setObjectName("cmdOk");
    cmdCancel = new QPushButton(tr("Cancel"), this);
    cmdCancel->setObjectName("cmdCancel");
    for (QPushButton* b : {cmdAll, cmdNone, cmdCancel})
        b->setAutoDefault(false);
    cmdOk->setDefault(true); // Return in the search box is OK

    auto* title = new QLabel("<b>" + caption.toHtmlEscaped() + "</b>", this);
    auto* marks = new QHBoxLayout;
    marks->addWidget(cmdAll);
    marks->addWidget(cmdNone);
    marks->addStretch();
    marks->addWidget(lblCount);
    auto* ends = new QHBoxLayout;
    ends->addStretch();
    ends->addWidget(cmdOk);
    ends->addWidget(cmdCancel);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(8, 8, 8, 8);
    lay->addWidget(title);
    lay->addWidget(txtSearch);
    lay->addWidget(lstMembers, 1);
    lay->addLayout(marks);
    lay->addLayout(ends);
    resize(300, 420);

    connect(txtSearch, &QLineEdit::textChanged, model_, &MemberListModel::setSearch);
    connect(cmdAll, &QPushButton::clicked, model_, [this] { model_->setAllChecked(true); });
    connect(cmdNone, &QPushButton::clicked, model_, [this] { model_->setAllChecked(false); });
    connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(model_, &MemberListModel::checkedCountChanged, this, &PageFieldList::showCount);
    showCount(model_->checkedCount());
    txtSearch->setFocus();
}

void PageFieldList::showCount(int checked) {
    lblCount->setText(tr("%1 of %2").arg(checked).arg(model_->memberCount()));
    // Showing nothing at all is no choice.
    cmdOk->setEnabled(checked > 0);
}

} // namespace bd::pivot
