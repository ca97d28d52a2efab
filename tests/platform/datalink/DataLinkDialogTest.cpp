// The data-link dialog: kinds and their drivers, the strings it builds, its test and its cancel.
#include "platform/datalink/DataLinkDialog.h"
#include "platform/db/ColumnReader.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/DbTestData.h"
#include "platform/os/Desktop.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

using namespace bd::db;

namespace {
bool all(DataLinkDialog::Kind) {
    return true;
}
} // namespace

TEST(DataLinkDialog, KindsWithoutDriverAreGreyedAndCannotBeChosen) {
    DataLinkDialog d(nullptr, [](DataLinkDialog::Kind k) { return k != DataLinkDialog::PostgreSql; });
    ASSERT_EQ(d.lstKind->count(), int(DataLinkDialog::KindCount));
    EXPECT_FALSE(d.lstKind->item(DataLinkDialog::PostgreSql)->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(d.lstKind->item(DataLinkDialog::MySql)->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(d.setKind(DataLinkDialog::MySql));
    EXPECT_FALSE(d.setKind(DataLinkDialog::PostgreSql));
    EXPECT_EQ(d.kind(), DataLinkDialog::MySql);
}

TEST(DataLinkDialog, EveryKindBuildsAStringTheDataLayerReadsBack) {
    struct Case {
        DataLinkDialog::Kind kind;
        QString file;
        Engine engine;
    };
    const Case cases[] = {
        {DataLinkDialog::Spreadsheet, "/d/My Book.xlsx", Engine::Excel},
        {DataLinkDialog::Spreadsheet, "/d/old.xls", Engine::Excel},
        {DataLinkDialog::DesktopDatabase, "/d/shop.mdb", Engine::Access},
        {DataLinkDialog::Csv, "/d/csv/sales.csv", Engine::Csv},
        {DataLinkDialog::SQLite, "/d/data;1.db", Engine::SQLite},
        {DataLinkDialog::MySql, {}, Engine::MySql},
        {DataLinkDialog::PostgreSql, {}, Engine::PostgreSql},
        {DataLinkDialog::SqlServer, {}, Engine::Odbc},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(DataLinkDialog::kindName(c.kind).toStdString() + " " + c.file.toStdString());
        DataLinkDialog d(nullptr, all);
        ASSERT_TRUE(d.setKind(c.kind));
        d.txtFile->setText(c.file);
        d.txtHost->setText("db.example");
        d.txtDatabase->setText("sales");
        d.txtUser->setText("ana");
        d.txtPassword->setText("p;w\"d");
        d.chkSavePassword->setChecked(true);
        const EngineChoice e = chooseEngine(d.connectionString(), "/app");
        EXPECT_EQ(e.engine, c.engine) << e.error.toStdString();
        if (!c.file.isEmpty()) {
            const QString want = c.kind == DataLinkDialog::Csv ? QString("/d/csv/") : c.file;
            EXPECT_EQ(e.file, want);
        }
        if (c.kind == DataLinkDialog::MySql || c.kind == DataLinkDialog::PostgreSql) {
            EXPECT_EQ(e.host, "db.example");
            EXPECT_EQ(e.port, c.kind == DataLinkDialog::MySql ? 3306 : 5432);
            EXPECT_EQ(e.database, "sales");
            EXPECT_EQ(e.user, "ana");
            EXPECT_EQ(e.password, "p;w\"d");
        }
        if (c.kind == DataLinkDialog::SqlServer) {
            EXPECT_TRUE(e.odbcString.contains("Server=db.example;Port=1433"));
        }
    }
}

TEST(DataLinkDialog, PasswordIsLeftOutUnlessSavingIsAllowed) {
    DataLinkDialog d(nullptr, all);
    d.setKind(DataLinkDialog::PostgreSql);
    d.txtUser->setText("ana");
    d.txtPassword->setText("secret");
    const ConnectionString cs = ConnectionString::parse(d.connectionString());
    EXPECT_FALSE(cs.has("Password"));
    EXPECT_EQ(cs.value("Persist Security Info"), "False");
    d.chkSavePassword->setChecked(true);
    EXPECT_EQ(ConnectionString::parse(d.connectionString()).value("Password"), "secret");
}

TEST(DataLinkDialog, ValuesWithBracesAndSeparatorsReadBackUnchanged) {
    for (DataLinkDialog::Kind k : {DataLinkDialog::MySql, DataLinkDialog::OdbcSource}) {
        DataLinkDialog d(nullptr, all);
        d.setKind(k);
        d.cmbDsn->setEditText("Ware;house");
        d.txtUser->setText("{pw");
        d.txtPassword->setText("a;b=c}");
        d.chkSavePassword->setChecked(true);
        const EngineChoice e = chooseEngine(d.connectionString(), "/app");
        if (k == DataLinkDialog::MySql) {
            EXPECT_EQ(e.user, "{pw");
            EXPECT_EQ(e.password, "a;b=c}");
        } else {
            const ConnectionString odbc = ConnectionString::parse(e.odbcString);
            EXPECT_EQ(odbc.value("UID"), "{pw") << e.odbcString.toStdString();
            EXPECT_EQ(odbc.value("PWD"), "a;b=c}") << e.odbcString.toStdString();
            EXPECT_EQ(odbc.value("DSN"), "Ware;house") << e.odbcString.toStdString();
        }
    }
}

TEST(DataLinkDialog, AnUnsavedPasswordServesThisSessionAndStaysOutOfTheString) {
    const auto s = bd::dbtest::server("MYSQL");
    if (!s) {
        if (bd::dbtest::inCi()) FAIL() << "CI must provide the test servers";
        GTEST_SKIP() << "no MYSQL test server";
    }
    bd::os::ScopedPrompter p;
    auto fill = [&](DataLinkDialog& d) {
        d.setKind(DataLinkDialog::MySql);
        d.txtHost->setText(s->host);
        d.txtPort->setValue(s->port);
        d.txtDatabase->setText(s->db);
        d.txtUser->setText(s->user);
        d.txtPassword->setText(s->password);
        d.chkSavePassword->setChecked(false);
    };
    DataLinkDialog shown(nullptr, all);
    fill(shown);
    EXPECT_TRUE(shown.testConnection());
    DataLinkDialog::Kind kind = DataLinkDialog::KindCount;
    bd::os::ScopedDialogHandler h([&](QDialog* dlg) {
        auto* d = qobject_cast<DataLinkDialog*>(dlg);
        fill(*d);
        d->cmdOk->click();
        return d->result();
    });
    const QString cs = DataLinkDialog::prompt(nullptr, &kind);
    EXPECT_EQ(kind, DataLinkDialog::MySql);
    EXPECT_FALSE(cs.contains(s->password)) << cs.toStdString();
    EXPECT_FALSE(ConnectionString::parse(cs).has("Password"));
    // The session's connections, the pivot's own among them, use the typed password.
    Connection c;
    QString error;
    EXPECT_TRUE(c.open(cs, 10, &error)) << error.toStdString();
    EXPECT_EQ(c.connectionString(), cs);
    ColumnarResult cols;
    EXPECT_TRUE(readColumns(cs, "SELECT 1 AS one", cols, &error)) << error.toStdString();
    // Forgotten, the same string no longer gets in.
    setSessionPassword(cs, QString());
    EXPECT_FALSE(c.open(cs, 10, &error));
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].text, "Test connection succeeded.");
}

TEST(DataLinkDialog, EachKindNamesItsEngine) {
    const QStringList want = {"EXCEL", "ACCESS", "EXCEL", "OTHER", "MYSQL", "OTHER", "MSSQL", "OTHER"};
    for (int k = 0; k < DataLinkDialog::KindCount; ++k)
        EXPECT_EQ(DataLinkDialog::engineBoxName(DataLinkDialog::Kind(k)), want[k])
            << DataLinkDialog::kindName(DataLinkDialog::Kind(k)).toStdString();
}

TEST(DataLinkDialog, OdbcSourceByName) {
    DataLinkDialog d(nullptr, all);
    d.setKind(DataLinkDialog::OdbcSource);
    d.cmbDsn->setEditText("Warehouse");
    d.txtUser->setText("u");
    const EngineChoice e = chooseEngine(d.connectionString(), "/app");
    EXPECT_EQ(e.engine, Engine::Odbc);
    EXPECT_TRUE(e.odbcString.contains("DSN=Warehouse")) << e.odbcString.toStdString();
}

TEST(DataLinkDialog, BrowseFillsTheFileAndOkNeedsIt) {
    bd::os::ScriptedFileDialogs files;
    files.answers = {std::nullopt, QString("/d/x.db")};
    bd::os::setFileDialogs(&files);
    bd::os::ScopedPrompter p;
    DataLinkDialog d(nullptr, all);
    d.setKind(DataLinkDialog::SQLite);
    d.cmdOk->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].text, "Choose a file.");
    d.cmdBrowse->click(); // cancelled: nothing changes
    EXPECT_EQ(d.txtFile->text(), "");
    d.cmdBrowse->click();
    EXPECT_EQ(d.txtFile->text(), "/d/x.db");
    bd::os::setFileDialogs(nullptr);
}

TEST(DataLinkDialog, TestConnectionOpensThroughTheDataLayer) {
    QTemporaryDir dir;
    ASSERT_TRUE(bd::dbtest::writeSqlite(dir.path() + "/data.db"));
    bd::os::ScopedPrompter p;
    DataLinkDialog d(nullptr, all);
    d.setKind(DataLinkDialog::SQLite);
    d.txtFile->setText(dir.path() + "/missing.db");
    EXPECT_FALSE(d.testConnection());
    d.txtFile->setText(dir.path() + "/data.db");
    EXPECT_TRUE(d.testConnection());
    ASSERT_EQ(p->prompts.size(), 2);
    EXPECT_TRUE(p->prompts[0].text.startsWith("Test connection failed: "))
        << p->prompts[0].text.toStdString();
    EXPECT_EQ(p->prompts[1].text, "Test connection succeeded.");
}

TEST(DataLinkDialog, PromptReturnsTheStringOrEmptyWhenCancelled) {
    {
        bd::os::ScopedDialogHandler h([](QDialog* dlg) {
            auto* d = qobject_cast<DataLinkDialog*>(dlg);
            d->setKind(DataLinkDialog::SQLite);
            d->txtFile->setText("/d/a.db");
            d->cmdCancel->click();
            return d->result();
        });
        EXPECT_EQ(DataLinkDialog::prompt(), "");
    }
    bd::os::ScopedDialogHandler h([](QDialog* dlg) {
        auto* d = qobject_cast<DataLinkDialog*>(dlg);
        d->setKind(DataLinkDialog::SQLite);
        d->txtFile->setText("/d/a.db");
        d->cmdOk->click();
        return d->result();
    });
    EXPECT_EQ(DataLinkDialog::prompt(), "Provider=SQLite;Data Source=/d/a.db");
}
