#pragma once
// The member list of a page field: every member with a check box in a scrolling list (a model over
// the member labels, so 100,000 members open at once), a search box that narrows what is listed, All
// and None for every member, OK and Cancel. Nothing changes in the pivot until OK.
#include <QAbstractListModel>
#include <QDialog>
#include <QSet>
#include <QStringList>
#include <vector>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

namespace bd::pivot {

// Member labels with a tick each; rows() lists those that match the search text.
class MemberListModel : public QAbstractListModel {
    Q_OBJECT
public:
    MemberListModel(QStringList members, const QSet<QString>& hidden, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Lists the members whose label holds text (case ignored); "" lists all.
    void setSearch(const QString& text);
    void setAllChecked(bool on);
    void toggle(int row);
    int memberCount() const { return int(members_.size()); }
    int checkedCount() const { return checkedCount_; }
    QString label(int row) const; // the member of a listed row
    bool isChecked(int row) const;
    // The members left unticked.
    QSet<QString> uncheckedMembers() const;

signals:
    void checkedCountChanged(int count);

private:
    void setChecked(int member, bool on);
    QStringList members_;
    std::vector<char> checked_;
    std::vector<int> shown_; // member index of each listed row
    int checkedCount_ = 0;
};

class PageFieldList : public QDialog {
    Q_OBJECT
public:
    // members in label order; hidden: those not shown now ("" is the NULL member, listed as "(blank)").
    PageFieldList(const QString& caption, const QStringList& members, const QSet<QString>& hidden,
                  QWidget* parent = nullptr);

    QLineEdit* txtSearch;
    QListView* lstMembers;
    QPushButton* cmdAll;
    QPushButton* cmdNone;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
    QLabel* lblCount;
    MemberListModel* model() const { return model_; }
    // After OK: the members to hide.
    QSet<QString> hiddenMembers() const { return model_->uncheckedMembers(); }

private:
    void showCount(int checked);
    MemberListModel* model_;
};

} // namespace bd::pivot
