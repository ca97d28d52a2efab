#pragma once
// The visual query builder: a list of the connection's tables and views, a design area where each
// table added (dragged from the list, double-clicked, or picked and added with Enter or "Add") shows
// as a card with a check box per column and, from the second table on, the pickers of its inner join
// to an earlier table; a condition box; and the SQL the design makes. SQL the design cannot hold is
// shown as editable text instead, and given back unchanged until the user edits it.
#include "platform/querybuilder/QueryModel.h"

#include <QFrame>
#include <QHash>
#include <QPointer>
#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QHBoxLayout;

namespace bd::db {
class Connection;
}

namespace bd::querybuilder {

class QueryBuilder;

// One table of the design.
class TableCard : public QFrame {
    Q_OBJECT
public:
    TableCard(QueryBuilder* owner, const QString& table);
    QString table() const { return table_; }
    // Shows the design's state for this card's table (the card at position index), raising nothing.
    void sync(const QueryModel& m, int index);

    QLabel* lblName;
    QToolButton* cmdRemove;
    QWidget* joinBox; // hidden on the first table
    QComboBox* cmbJoinTable;
    QComboBox* cmbJoinColumn; // the earlier table's column
    QComboBox* cmbOwnColumn;  // this table's column
    QListWidget* lstColumns;  // checkable items, one per column

private:
    void joinEdited();
    void fillColumns(QComboBox* box, const QStringList& columns, const QString& current);
    QueryBuilder* owner_;
    QString table_;
    bool syncing_ = false;
};

class QueryBuilder : public QWidget {
    Q_OBJECT
public:
    explicit QueryBuilder(QWidget* parent = nullptr);
    ~QueryBuilder() override;

    // ---- the database ----
    void setConnectionString(const QString& cs) { cs_ = cs; }
    QString connectionString() const { return cs_; }
    // Opens the connection string (the data layer reads "APP_PATH" as the program folder); false with
    // the reason.
    bool connectDatabase(QString* error = nullptr);
    // Lists the tables and views of the open connection; false with the reason.
    bool loadMetadata(QString* error = nullptr);
    const bd::db::Connection* connection() const { return cnn_.get(); }
    // How names are written in the SQL; without one, as the open connection quotes them.
    void setQuoter(Quoter q) { quoter_ = std::move(q); }

    // ---- the query ----
    QString sql() const { return model_.sql(); }
    void setSql(const QString& sql);
    QString formattedSql() const { return model_.formattedSql(); }
    QString state() const { return model_.state(); }
    // False (and nothing changes) for a state the builder does not recognise.
    bool setState(const QString& state);
    bool isText() const { return model_.isText(); }
    const Design& design() const { return model_.design(); }
    const QueryModel& model() const { return model_; }

    // ---- settings ----
    // Size of the design's text in percent (100 = the window's own).
    int zoom() const { return zoom_; }
    void setZoom(int percent);
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool on);
    // Free text the owner keeps on the builder.
    QString tag() const { return tag_; }
    void setTag(const QString& t) { tag_ = t; }

    // ---- what the mouse and keyboard do ----
    bool addTable(const QString& table);
    void removeTable(const QString& table);
    void setColumnChecked(const QString& table, const QString& column, bool on);
    bool setJoin(const QString& table, const QString& ownColumn, const QString& other, const QString& column);
    void setCondition(const QString& condition);
    // Leaves the kept text (or the design) for an empty design.
    void newDesign();
    TableCard* card(const QString& table) const;
    // Adds the tables picked in the list.
    void addPickedTables();

    QListWidget* lstTables;
    QPushButton* cmdAddTable;
    QWidget* area; // the design area; takes tables dropped from the list
    QLabel* lblHint;
    QPlainTextEdit* txtCondition;
    QPlainTextEdit* txtSql;  // the SQL of the design, read only
    QPlainTextEdit* txtText; // SQL the design cannot hold
    QPushButton* cmdNewDesign;
    QLabel* lblStatus;

signals:
    // The user changed the design or the kept text.
    void changed();

private:
    QWidget* buildDesignPage();
    QWidget* buildTableList();
    QWidget* buildDesignArea();
    QWidget* buildTextPage();
    void connectHandlers();
    void refresh();
    void refreshCards();
    void edited();
    QStringList columnsOf(const QString& table);

    std::unique_ptr<bd::db::Connection> cnn_;
    QString cs_;
    Quoter quoter_;
    QueryModel model_;
    QHash<QString, QStringList> columns_; // the catalog's columns, read once per table
    QStackedWidget* pages_;
    QHBoxLayout* cards_;
    QVector<QPointer<TableCard>> cardList_;
    QFont baseFont_;
    int zoom_ = 100;
    bool readOnly_ = false;
    bool syncing_ = false;
    QString tag_;
};

} // namespace bd::querybuilder
