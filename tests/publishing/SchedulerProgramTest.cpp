// Our scheduler program (bd-schtasks) against a crontab file of the test's own: the lines the scheduler
// window's commands write and remove, the other lines of the crontab kept, the list behind "Manage all
// tasks" with its Delete, and the commands the program refuses.
#include "common/TestSupport.h"
#include "designer/Campos.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Process.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "publishing/ScheduledTasks.h"
#include "publishing/frmScheduler.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace bd;
using test::readFile;
using test::writeFile;

namespace {

const QByteArray kOtherLines = "MAILTO=ana@example.test\n"
                               "# nightly backup\n"
                               "30 2 * * * /usr/local/bin/backup --all\n";

// A program folder holding the scheduler program, and a crontab file of the test's own.
struct Crontab : ::testing::Test {
    test::TempHome home{false};
    QString crontab = home.path("crontab");
    QByteArray oldCrontab = qgetenv("BRINTOVA_CRONTAB");

    void SetUp() override {
        ASSERT_TRUE(QFile::copy(QStringLiteral(BD_APP_DIR "/bd-schtasks"), home.path("bd-schtasks")));
        qputenv("BRINTOVA_CRONTAB", crontab.toLocal8Bit());
        ASSERT_TRUE(writeFile(crontab, kOtherLines));
    }
    void TearDown() override { qputenv("BRINTOVA_CRONTAB", oldCrontab); }

    os::ProcessResult schtasks(const QStringList& args) {
        return os::RealProcessRunner().run({home.path("bd-schtasks"), args, 20000, {}, {}});
    }
    QString lineFor(const QString& days, const QString& time, const QString& cube,
                    const QString& name) const {
        return time + " * * " + days + " '" + home.path("brintova-deridoro") + "' --unattended '" + cube +
               "' # brintova-deridoro task: " + name;
    }
};

// The scheduler window over a saved cube, run with the real process runner.
struct SchedulerWindow : Crontab {
    os::ScopedPrompter prompts;
    QPointer<Cubo> v = new Cubo;
    QPointer<Campos> c = new Campos;
    QPointer<InsCube> cube = new InsCube;
    QString cubePath = home.path("My Cubes/it's 100% sales.cub");

    void SetUp() override {
        Crontab::SetUp();
        v->VinsCube = cube;
        v->Vcampos = c;
        c->VinsCube = cube;
        c->VCubo = v;
        cube->PathOpenCube = cubePath;
        QDir().mkpath(home.path("My Cubes"));
    }
    void TearDown() override {
        if (v) v->Salvar = false;
        delete v.data();
        Crontab::TearDown();
    }
    // Opens the scheduler; fill acts on it (and on the dialogs it opens, through list).
    void schedule(const std::function<void(frmScheduler&)>& fill,
                  const std::function<void(ScheduledTasks&)>& list = {}) {
        os::ScopedDialogHandler h([&](QDialog* d) {
            if (auto* s = qobject_cast<frmScheduler*>(d)) fill(*s);
            if (auto* l = qobject_cast<ScheduledTasks*>(d); l && list) list(*l);
            return d->result();
        });
        c->OpenScheduler();
    }
    static QStringList row(const ScheduledTasks& l, int r) {
        QStringList out;
        for (int col = 0; col < l.lstTasks->columnCount(); ++col)
            out << (l.lstTasks->item(r, col) ? l.lstTasks->item(r, col)->text() : QString());
        return out;
    }
};

} // namespace

TEST_F(SchedulerWindow, OkWritesTheTaskLineAndReplacingItKeepsOneLine) {
    schedule([](frmScheduler& s) {
        s.txtId->setText("Weekly Sales");
        s.txtTimeHour->setText("7");
        s.txtTimeMin->setText("5");
        s.chkLun->setChecked(true);
        s.chkVie->setChecked(true);
        s.cmdAceptar->click();
    });
    ASSERT_EQ(prompts->texts(),
              QStringList{"The task: \"Weekly_Sales\" has been created and is ready to run."});
    const QByteArray first = kOtherLines + lineFor("1,5", "5 7", cubePath, "Weekly_Sales").toUtf8() + '\n';
    // cron reads "\%" as "%": the percent sign of the path is escaped, the quote closed and reopened.
    EXPECT_EQ(readFile(crontab), QByteArray(first).replace("100%", "100\\%").replace("it's", "it'\\''s"));
    EXPECT_EQ(os::GetSetting("OE", "CUBO", "Weekly_Sales"), "Y");

    // Scheduled again on Sunday evening: the question, then the one line replaced.
    prompts->prompts.clear();
    prompts->answer(os::Answer::Yes);
    schedule([](frmScheduler& s) {
        s.txtTimeHour->setText("23");
        s.txtTimeMin->setText("59");
        s.chkLun->setChecked(false);
        s.chkVie->setChecked(false);
        s.chkDom->setChecked(true);
        s.cmdAceptar->click();
    });
    ASSERT_EQ(prompts->texts().size(), 2);
    const QByteArray second = kOtherLines + lineFor("0", "59 23", cubePath, "Weekly_Sales").toUtf8() + '\n';
    EXPECT_EQ(readFile(crontab), QByteArray(second).replace("100%", "100\\%").replace("it's", "it'\\''s"));

    // Delete Task removes the line, and only it; a second delete finds nothing and says the same.
    for (int i = 0; i < 2; ++i) {
        prompts->prompts.clear();
        schedule([](frmScheduler& s) {
            s.cmdDeleteTask->click();
            s.reject();
        });
        EXPECT_EQ(prompts->texts(), QStringList{"The task: \"Weekly_Sales\" was deleteded"});
        EXPECT_EQ(readFile(crontab), kOtherLines);
        EXPECT_EQ(os::GetSetting("OE", "CUBO", "Weekly_Sales"), "");
    }
}

TEST_F(SchedulerWindow, ManageAllTasksListsOurTasksAndDeletesThem) {
    ASSERT_EQ(schtasks({"/Create", "/SC", "WEEKLY", "/D", "WED", "/TN", "Other", "/ST", "06:30", "/TR",
                        "\"/srv/cubes/Other.cub\""})
                  .exitCode,
              0);
    os::SaveSetting("OE", "CUBO", "Other", "Y");
    schedule([](frmScheduler& s) {
        s.chkMar->setChecked(true);
        s.chkJue->setChecked(true);
        s.cmdAceptar->click();
    });
    int shown = 0;
    schedule(
        [](frmScheduler& s) {
            s.cmdManageTasks->click();
            s.reject();
        },
        [&](ScheduledTasks& l) {
            ++shown;
            EXPECT_TRUE(l.lblStatus->isHidden());
            ASSERT_EQ(l.lstTasks->rowCount(), 2);
            EXPECT_EQ(row(l, 0), (QStringList{"Other", "WED", "06:30", "/srv/cubes/Other.cub"}));
            EXPECT_EQ(row(l, 1), (QStringList{"CubeTask", "TUE,THU", "22:00", cubePath}));
            l.lstTasks->selectRow(0);
            l.cmdDelete->click();
            ASSERT_EQ(l.lstTasks->rowCount(), 1);
            EXPECT_EQ(row(l, 0).first(), "CubeTask");
            l.cmdDelete->click();
            EXPECT_EQ(l.lstTasks->rowCount(), 0);
            EXPECT_FALSE(l.cmdDelete->isEnabled());
        });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(readFile(crontab), kOtherLines);
    EXPECT_EQ(os::GetSetting("OE", "CUBO", "Other"), "");
    EXPECT_EQ(os::GetSetting("OE", "CUBO", "CubeTask"), "");
}

TEST_F(SchedulerWindow, AListThatCannotBeReadSaysWhy) {
    QFile::remove(home.path("bd-schtasks"));
    schedule(
        [](frmScheduler& s) {
            s.cmdManageTasks->click();
            s.reject();
        },
        [&](ScheduledTasks& l) {
            EXPECT_EQ(l.lstTasks->rowCount(), 0);
            EXPECT_FALSE(l.lblStatus->isHidden());
            EXPECT_EQ(l.lblStatus->text(), "The scheduled tasks could not be read. The scheduler program " +
                                               home.path("bd-schtasks") + " could not be started.");
        });
}

TEST_F(Crontab, TheProgramRefusesWhatItCannotKeepAndLeavesTheCrontabAlone) {
    const QStringList create = {"/Create", "/SC", "WEEKLY", "/D",  "MON",       "/TN",
                                "t",       "/ST", "10:00",  "/TR", "\"/c.cub\""};
    auto with = [&](const QString& key, const QString& value) {
        QStringList a = create;
        a[a.indexOf(key) + 1] = value;
        return a;
    };
    const struct Case {
        const char* name;
        QStringList args;
        int status;
        QString error;
    } cases[] = {
        {"no arguments", {}, 1, "ERROR: Usage: bd-schtasks"},
        {"an unknown verb", {"/Run", "/TN", "t"}, 1, "ERROR: Invalid argument or option: /Run"},
        {"an unknown option", create + QStringList{"/RU", "root"}, 1,
         "ERROR: Invalid argument or option: /RU"},
        {"no day list", create.mid(0, 3) + create.mid(5), 1, "ERROR: /D is missing."},
        {"an unknown day", with("/D", "MON,FUN"), 1, "ERROR: Invalid days: \"MON,FUN\""},
        {"an empty day list", with("/D", ""), 1, "ERROR: Invalid days: \"\""},
        {"a daily task", with("/SC", "DAILY"), 1, "ERROR: Only weekly tasks (/SC WEEKLY) are kept."},
        {"hour 24", with("/ST", "24:00"), 1, "ERROR: Invalid start time: \"24:00\""},
        {"minute 60", with("/ST", "10:60"), 1, "ERROR: Invalid start time: \"10:60\""},
        {"a name with %", with("/TN", "50%"), 1, "ERROR: The task name \"50%\" holds a character"},
        {"a relative path", with("/TR", "\"c.cub\""), 1,
         "ERROR: The file to run must be given by its full path."},
        {"a line break in the path", with("/TR", "\"/a\nb.cub\""), 1,
         "ERROR: The path of the file to run holds a control"},
        {"a backslash before a percent sign", with("/TR", "\"/a\\%b.cub\""), 1,
         "ERROR: The path of the file to run holds \"\\%\""},
        {"deleting a task that is not there",
         {"/delete", "/tn", "t", "/f"},
         2,
         "ERROR: The task \"t\" does not exist."},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const os::ProcessResult r = schtasks(k.args);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, k.status);
        EXPECT_TRUE(QString::fromUtf8(r.standardError).startsWith(k.error)) << r.standardError.toStdString();
        EXPECT_EQ(readFile(crontab), kOtherLines);
    }
    // Switches in any case; a second create of the same name is refused, the first line kept.
    ASSERT_EQ(schtasks({"/create", "/sc", "weekly", "/d", "sun,mon,sun", "/tn", "t", "/st", "7:00", "/tr",
                        "/c.cub"})
                  .exitCode,
              0);
    const QByteArray one = kOtherLines + lineFor("1,0", "0 7", "/c.cub", "t").toUtf8() + '\n';
    EXPECT_EQ(readFile(crontab), one);
    const os::ProcessResult again = schtasks(create);
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.standardError, "ERROR: The task \"t\" already exists.\n");
    EXPECT_EQ(readFile(crontab), one);
    // A task whose name ends another's is another task.
    ASSERT_EQ(schtasks(with("/TN", "at")).exitCode, 0);
    ASSERT_EQ(schtasks({"/Delete", "/TN", "t", "/F"}).exitCode, 0);
    EXPECT_EQ(readFile(crontab), kOtherLines + lineFor("1", "0 10", "/c.cub", "at").toUtf8() + '\n');
    const os::ProcessResult list = schtasks({"/Query"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.standardOutput, "at\tMON\t10:00\t/c.cub\n");
}

TEST_F(Crontab, AMissingCrontabFileIsAnEmptyOne) {
    QFile::remove(crontab);
    EXPECT_EQ(schtasks({"/Query"}).standardOutput, "");
    ASSERT_EQ(
        schtasks({"/Create", "/SC", "WEEKLY", "/D", "SAT", "/TN", "t", "/ST", "00:00", "/TR", "\"/c.cub\""})
            .exitCode,
        0);
    EXPECT_EQ(readFile(crontab), lineFor("6", "0 0", "/c.cub", "t").toUtf8() + '\n');
    ASSERT_EQ(schtasks({"/Delete", "/TN", "t", "/F"}).exitCode, 0);
    EXPECT_EQ(readFile(crontab), "");
}
