// The builder widget on a SQLite file, driven as a user drives it: keys in the table list, a drop on
// the design area, space on a column, the join pickers, typing the condition.
#include "common/TestSupport.h"
#include "platform/db/Connection.h"
#include "platform/querybuilder/QueryBuilder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>
#include <QUuid>
#include <gtest/gtest.h>

using namespace bd::querybuilder;

namespace {
void run(const QString& file, const QStringList& statements) {
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const QString& s : statements)
            ASSERT_TRUE(q.exec(s)) << s.toStdString() << q.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(name);
}

struct Builder : ::testing::Test {
    bd::test::TempHome home{false};
    QString file = home.path("shop.sqlite");
    QueryBuilder b;

    void SetUp() override {
        run(file, {"CREATE TABLE Sales (SaleId INTEGER, Region TEXT, Amount REAL)",
                   "CREATE TABLE Regions (Region TEXT, Manager TEXT)",
                   "CREATE VIEW Big AS SELECT * FROM Sales WHERE Amount > 10",
                   "INSERT INTO Sales VALUES (1, 'North', 5), (2, 'North', 50), (3, 'South', 70)",
                   "INSERT INTO Regions VALUES ('North', 'Ana'), ('South', 'Bo')"});
        b.resize(900, 520);
        b.setConnectionString("Provider=SQLite;Data Source=" + file);
        QString error;
        ASSERT_TRUE(b.connectDatabase(&error)) << error.toStdString();
        ASSERT_TRUE(b.loadMetadata(&error)) << error.toStdString();
    }

    QListWidgetItem* listed(const QString& name) {
        for (int i = 0; i < b.lstTables->count(); ++i)
            if (b.lstTables->item(i)->data(Qt::UserRole).toString() == name) return b.lstTables->item(i);
        return nullptr;
    }
    // What a drag of that list entry drops on the design area.
    void drop(const QString& name) {
        const QModelIndex i = b.lstTables->indexFromItem(listed(name));
        std::unique_ptr<QMimeData> mime(b.lstTables->model()->mimeData({i}));
        // The area must take the drag as it enters before the drop reaches it.
        QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(b.area, &enter);
        QDropEvent e(QPointF(40, 40), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(b.area, &e);
    }
    // Space on a column of a table's card.
    void tick(const QString& table, const QString& column) {
        QListWidget* l = b.card(table)->lstColumns;
        l->setCurrentItem(l->findItems(column, Qt::MatchExactly).value(0));
        QTest::keyClick(l, Qt::Key_Space);
    }
    QStringList rows(const QString& sql) {
        bd::db::Connection c;
        QString error;
        EXPECT_TRUE(c.open("Provider=SQLite;Data Source=" + file, 5, &error)) << error.toStdString();
        bd::db::Recordset rs;
        EXPECT_TRUE(rs.open(sql, c, &error)) << error.toStdString();
        QStringList out;
        for (; rs.isOpen() && !rs.eof(); rs.moveNext()) {
            QStringList cells;
            for (int i = 0; i < rs.fieldCount(); ++i)
                cells << rs.value(i).toString();
            out << cells.join('|');
        }
        return out;
    }
    void grab(const char* name) {
        const QByteArray dir = qgetenv("BD_GRAB_DIR");
        if (dir.isEmpty()) return;
        QDir().mkpath(QString::fromLocal8Bit(dir));
        QApplication::processEvents();
        b.grab().save(QString::fromLocal8Bit(dir) + '/' + name + ".png");
    }
};
} // namespace

TEST_F(Builder, ListsTheTablesAndViews) {
    ASSERT_EQ(b.lstTables->count(), 3);
    EXPECT_EQ(b.lstTables->item(0)->text(), "Regions");
    EXPECT_EQ(b.lstTables->item(1)->text(), "Sales");
    EXPECT_EQ(b.lstTables->item(2)->text(), "Big  (view)");
    EXPECT_EQ(b.lstTables->item(2)->data(Qt::UserRole).toString(), "Big");
    EXPECT_TRUE(b.lblStatus->text().isEmpty());
    EXPECT_FALSE(b.lblHint->isHidden());
    grab("builder-empty");
}

TEST_F(Builder, ADesignMadeWithKeysAndADropRuns) {
    b.show();
    // Enter on a table of the list adds it; a drop adds another.
    b.lstTables->setFocus();
    b.lstTables->setCurrentItem(listed("Sales"));
    QTest::keyClick(b.lstTables, Qt::Key_Return);
    drop("Regions");
    ASSERT_EQ(b.design().tables.size(), 2);
    EXPECT_TRUE(b.lblHint->isHidden());
    TableCard* regions = b.card("Regions");
    ASSERT_TRUE(regions);
    EXPECT_TRUE(b.card("Sales")->joinBox->isHidden());
    EXPECT_FALSE(regions->joinBox->isHidden());
    EXPECT_EQ(regions->cmbJoinTable->currentText(), "Sales");
    EXPECT_EQ(regions->cmbJoinColumn->currentText(), "Region");
    EXPECT_EQ(regions->cmbOwnColumn->currentText(), "Region");

    tick("Sales", "Amount");
    tick("Regions", "Manager");
    tick("Sales", "SaleId");
    tick("Sales", "SaleId"); // and off again
    EXPECT_EQ(b.card("Sales")->lstColumns->findItems("Amount", Qt::MatchExactly)[0]->checkState(),
              Qt::Checked);
    b.txtCondition->setFocus();
    QTest::keyClicks(b.txtCondition, "`Sales`.`Amount` > 10");
    const QString sql = "Select `Sales`.`Amount`, `Regions`.`Manager`\r\n"
                        "From `Sales`\r\n"
                        "Inner Join `Regions` On `Sales`.`Region` = `Regions`.`Region`\r\n"
                        "Where `Sales`.`Amount` > 10";
    EXPECT_EQ(b.formattedSql(), sql);
    EXPECT_EQ(b.txtSql->toPlainText(), QString(sql).replace("\r\n", "\n"));
    EXPECT_EQ(rows(sql), (QStringList{"50|Ana", "70|Bo"}));
    grab("builder-two-tables");

    // The join pickers: another column of the joined table, chosen with the keyboard.
    regions->cmbOwnColumn->setFocus();
    QTest::keyClick(regions->cmbOwnColumn, Qt::Key_Down);
    EXPECT_EQ(b.design().tables[1].join, (Join{"Sales", "Region", "Manager"}));
    EXPECT_EQ(rows(b.formattedSql()), QStringList());

    // The remove button takes the table and its columns out.
    regions->cmdRemove->click();
    EXPECT_FALSE(b.card("Regions"));
    EXPECT_EQ(b.formattedSql(), "Select `Sales`.`Amount`\r\nFrom `Sales`\r\nWhere `Sales`.`Amount` > 10");
}

TEST_F(Builder, SqlItCannotHoldIsEditableTextReturnedUnchanged) {
    const QString sql = "SELECT Region, SUM(Amount) AS Total\r\nFROM Sales\r\nGROUP BY Region";
    b.setSql(sql);
    ASSERT_TRUE(b.isText());
    EXPECT_FALSE(b.txtText->isHidden());
    EXPECT_TRUE(b.txtCondition->isVisibleTo(&b) == false);
    EXPECT_EQ(b.formattedSql(), sql);
    EXPECT_EQ(b.sql(), sql);
    // Its state keeps it byte for byte.
    QueryBuilder other;
    ASSERT_TRUE(other.setState(b.state()));
    EXPECT_EQ(other.formattedSql(), sql);
    grab("builder-text");

    b.txtText->moveCursor(QTextCursor::End);
    QTest::keyClicks(b.txtText, " HAVING SUM(Amount) > 60");
    EXPECT_EQ(b.formattedSql(),
              "SELECT Region, SUM(Amount) AS Total\nFROM Sales\nGROUP BY Region HAVING SUM(Amount) > 60");
    EXPECT_EQ(rows(b.formattedSql()), QStringList{"South|70"});

    b.cmdNewDesign->click();
    EXPECT_FALSE(b.isText());
    EXPECT_EQ(b.formattedSql(), "");
    // SQL it can hold becomes a design again.
    b.setSql("SELECT * FROM big");
    EXPECT_EQ(b.formattedSql(), "Select *\r\nFrom `Big`");
    ASSERT_TRUE(b.card("Big"));
}

TEST_F(Builder, ReadOnlyTakesNoEditsAndTheStateRestoresTheCards) {
    b.setSql("SELECT Sales.Amount, Regions.Manager FROM Sales INNER JOIN Regions ON Sales.Region = "
             "Regions.Region");
    const QString state = b.state();
    b.setReadOnly(true);
    b.lstTables->setCurrentItem(listed("Big"));
    b.cmdAddTable->click();
    drop("Big");
    EXPECT_FALSE(b.addTable("Big"));
    EXPECT_EQ(b.state(), state);
    b.setReadOnly(false);

    QueryBuilder again;
    again.setConnectionString(b.connectionString());
    ASSERT_TRUE(again.connectDatabase());
    ASSERT_TRUE(again.loadMetadata());
    EXPECT_FALSE(again.setState("<state from another program/>"));
    ASSERT_TRUE(again.setState(state));
    ASSERT_TRUE(again.card("Regions"));
    EXPECT_EQ(again.card("Regions")->lstColumns->count(), 2);
    EXPECT_EQ(again.card("Regions")->lstColumns->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(again.formattedSql(), b.formattedSql());
}

TEST_F(Builder, AConnectionThatFailsSaysWhy) {
    QueryBuilder other;
    other.setConnectionString("Provider=SQLite;Data Source=" + home.path("missing/none.sqlite"));
    QString error;
    EXPECT_FALSE(other.connectDatabase(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(other.loadMetadata(&error));
    EXPECT_EQ(other.lstTables->count(), 0);
    EXPECT_EQ(other.lblStatus->text(), "Not connected to a database.");
}
