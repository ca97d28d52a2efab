// The recipient list: the history file "mails.txt" of the program folder, read into the list,
// rewritten at OK (entries trimmed, blanks dropped, the typed address added once whatever its letter
// case), the address check of OK, and a history that cannot be written.
#include "common/TestSupport.h"
#include "platform/os/Prompter.h"
#include "publishing/frmMailSelect.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

using bd::test::readFile;
using bd::test::writeFile;

namespace {
struct MailList : ::testing::Test {
    bd::test::TempHome home{false};
    bd::os::ScopedPrompter p;
    QString historyFile() const { return home.path("mails.txt"); }
};

QStringList entries(const frmMailSelect& f) {
    QStringList out;
    for (int i = 0; i < f.lstMail->count(); ++i)
        out << f.lstMail->item(i)->text();
    return out;
}
} // namespace

TEST_F(MailList, AFirstUseCreatesAnEmptyHistory) {
    ASSERT_FALSE(QFile::exists(historyFile()));
    frmMailSelect f;
    EXPECT_TRUE(QFile::exists(historyFile()));
    EXPECT_EQ(readFile(historyFile()), QByteArray());
    EXPECT_EQ(f.lstMail->count(), 0);
    EXPECT_EQ(f.windowTitle(), "Select or enter an email address");
    EXPECT_TRUE(
        f.Label1->text().startsWith("Send an email if you have values in this range. To do an list: "));
}

TEST_F(MailList, SalvarTxt) {
    struct Case {
        const char* name;
        QByteArray historyFile;
        QString typed;
        QByteArray after;
    } cases[] = {
        {"a new address is appended", "ana@example.com\r\n", "luis@example.com",
         "ana@example.com\r\nluis@example.com\r\n"},
        {"the same address in other letters is no second line", "Ana@Example.com\r\n", "ANA@example.COM",
         "Ana@Example.com\r\n"},
        {"entries are trimmed and blank lines dropped",
         "  ana@example.com \r\n\r\n   \r\nluis@example.com\r\n", "",
         "ana@example.com\r\nluis@example.com\r\n"},
        {"a typed address with blanks around is one entry", "ana@example.com\r\n", " ana@example.com ",
         "ana@example.com\r\n"},
        {"lines ending in LF only are read too", "ana@example.com\nluis@example.com", "x@y.z",
         "ana@example.com\r\nluis@example.com\r\nx@y.z\r\n"},
        {"a list of several addresses is one entry", "", "ana@example.com, luis@example.com",
         "ana@example.com, luis@example.com\r\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_TRUE(writeFile(historyFile(), k.historyFile));
        frmMailSelect f;
        f.txtMail->setText(k.typed);
        EXPECT_TRUE(f.SalvarTxt());
        EXPECT_EQ(readFile(historyFile()), k.after);
    }
}

TEST_F(MailList, TheListShowsTheFileAndAClickPicksAnEntry) {
    ASSERT_TRUE(writeFile(historyFile(), "ana@example.com\r\n\r\nluis@example.com\r\n"));
    frmMailSelect f;
    EXPECT_EQ(entries(f), QStringList({"ana@example.com", "", "luis@example.com"}));
    f.lstMail_Click(f.lstMail->item(2));
    EXPECT_EQ(f.txtMail->text(), "luis@example.com");
}

TEST_F(MailList, OkChecksTheTextAndEnterActsAsOk) {
    struct Case {
        QString text;
        bool accepted;
    } cases[] = {
        {"", true},
        {"ana@example.com", true},
        {"ana@examplecom", false},
        {"ana.example.com", false},
        {"@.", true},
        {".x@", true},
        {"a@b.c, d@e.f", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.text.toStdString());
        bd::os::ScopedPrompter pr;
        frmMailSelect f;
        f.txtMail->setText(k.text);
        f.cmdAceptar_Click();
        EXPECT_EQ(f.Cambio, k.accepted);
        EXPECT_EQ(f.result(), k.accepted ? QDialog::Accepted : QDialog::Rejected);
        if (k.accepted) {
            EXPECT_TRUE(pr->prompts.isEmpty());
        } else {
            ASSERT_EQ(pr->prompts.size(), 1);
            EXPECT_EQ(pr->prompts[0].text, "Incorrect Email");
            EXPECT_EQ(pr->prompts[0].title, "Error");
            EXPECT_EQ(pr->prompts[0].icon, bd::os::Icon::Information);
        }
    }
    ASSERT_TRUE(writeFile(historyFile(), ""));
    frmMailSelect f;
    f.txtMail->setText("ana@example.com");
    QTest::keyClick(f.txtMail, Qt::Key_Return);
    EXPECT_TRUE(f.Cambio);
    EXPECT_EQ(readFile(historyFile()), "ana@example.com\r\n");
}

TEST_F(MailList, RemoveThenCloseChangesNothing) {
    const QByteArray before = "ana@example.com\r\nluis@example.com\r\n";
    ASSERT_TRUE(writeFile(historyFile(), before));
    {
        frmMailSelect f;
        f.CancelarUnload = true;
        f.txtMail->setText("ana@example.com");
        f.lstMail->setCurrentRow(0);
        f.cmdRemove_Click();
        EXPECT_EQ(entries(f), QStringList({"luis@example.com"}));
        EXPECT_TRUE(f.txtMail->text().isEmpty());
        f.show();
        f.close();
        EXPECT_FALSE(f.Cambio);
        EXPECT_EQ(readFile(historyFile()), before);
    }
    {
        frmMailSelect f; // Remove with nothing selected is ignored
        f.lstMail->setCurrentRow(-1);
        f.cmdRemove_Click();
        EXPECT_EQ(f.lstMail->count(), 2);
    }
    {
        frmMailSelect f; // removed and then OK: gone from the file
        f.lstMail->setCurrentRow(1);
        f.cmdRemove_Click();
        f.cmdAceptar_Click();
        EXPECT_EQ(readFile(historyFile()), "ana@example.com\r\n");
    }
}

TEST_F(MailList, AHistoryThatCannotBeWrittenIsReportedAndTheListStays) {
    ASSERT_TRUE(QDir().mkpath(historyFile())); // a folder where the file should be
    frmMailSelect f;
    f.txtMail->setText("ana@example.com");
    f.cmdAceptar_Click();
    EXPECT_FALSE(f.Cambio);
    EXPECT_NE(f.result(), QDialog::Accepted);
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_TRUE(p->prompts[0].text.startsWith("The list of addresses could not be saved to "));
    EXPECT_EQ(p->prompts[0].title, "Error");
    EXPECT_EQ(f.txtMail->text(), "ana@example.com");
}
