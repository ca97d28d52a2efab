// The scheduler window over a saved cube, with a recording process runner: what OK runs and in which
// order, what it writes and saves, what it refuses before running anything, and what it tells when
// the scheduler fails; the overwrite question; Delete Task; loading the schedule rows.
#include "common/TestSupport.h"
#include "designer/Campos.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Process.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "platform/os/Twips.h"
#include "publishing/frmScheduler.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QApplication>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>

using namespace bd;
using os::Answer;

namespace {

os::ProcessResult exitWith(int status, const QByteArray& err = {}) {
    os::ProcessResult r;
    r.started = r.finished = true;
    r.exitCode = status;
    r.standardError = err;
    return r;
}

// A text box is marked in its base colour, the row of day boxes in its background.
bool marked(QWidget* w) {
    const QPalette::ColorRole role = qobject_cast<QLineEdit*>(w) ? QPalette::Base : QPalette::Window;
    return w->palette().color(role) == os::oleToColor(Campos::ColorError);
}

QString mark(const QString& tarea) {
    return os::GetSetting("OE", "CUBO", tarea);
}

// A viewer with its designer over a cube saved as "Weekly Sales.cub", the scheduler program recorded.
struct SchedulerForm : ::testing::Test {
    test::TempHome home{false};
    os::ScopedPrompter prompts;
    os::RecordingProcessRunner runner;
    QPointer<Cubo> v = new Cubo;
    QPointer<Campos> c = new Campos;
    QPointer<InsCube> cube = new InsCube;
    QString cubePath = home.path("Weekly Sales.cub");

    void SetUp() override {
        v->VinsCube = cube;
        v->Vcampos = c;
        c->VinsCube = cube;
        c->VCubo = v;
        cube->PathOpenCube = cubePath;
        os::setProcessRunner(&runner);
    }
    void TearDown() override {
        os::setProcessRunner(nullptr);
        if (v) v->Salvar = false;
        delete v.data();
    }
    QStringList arguments(int i) const { return runner.requests.value(i).arguments; }
    QString row(int r) const { return c->Property(r); }

    // Opens the scheduler from the designer; fill sets the window up and presses its buttons. Returns
    // whether the window was accepted; *opened tells whether it was still shown when fill ended.
    bool schedule(const std::function<void(frmScheduler&)>& fill, bool* opened = nullptr) {
        int result = QDialog::Rejected;
        os::ScopedDialogHandler h([&](QDialog* d) {
            auto* s = qobject_cast<frmScheduler*>(d);
            EXPECT_NE(s, nullptr);
            if (!s) return int(QDialog::Rejected);
            fill(*s);
            if (opened) *opened = s->isVisible();
            result = s->result();
            return result;
        });
        v->Salvar = false;
        c->OpenScheduler();
        return result == QDialog::Accepted;
    }
    static void week(frmScheduler& s, std::initializer_list<QCheckBox*> ticked) {
        for (QCheckBox* b : s.dayBoxes())
            b->setChecked(std::find(ticked.begin(), ticked.end(), b) != ticked.end());
    }
};

// The user ticks Monday and clicks OK.
void mondayThenOk(frmScheduler& s) {
    s.chkLun->setChecked(true);
    s.cmdAceptar->click();
}

} // namespace

TEST_F(SchedulerForm, OkDeletesThenCreatesTheTaskAndSavesTheScheduleAndTheCube) {
    c->txtAutoClose->setText("0");
    c->hide();
    runner.handler = [&](const os::ProcessRequest& r) {
        // The old task is gone (here it never existed) before the create starts.
        if (r.arguments.first() == "/delete")
            return exitWith(2, "ERROR: The task \"Weekly_Sales\" does not exist.");
        return exitWith(0, {});
    };
    const bool accepted = schedule([&](frmScheduler& s) {
        EXPECT_EQ(s.windowTitle(), "Scheduler");
        EXPECT_EQ(s.txtId->text(), "CubeTask"); // a cube never scheduled shows the defaults
        EXPECT_EQ(s.txtTimeHour->text(), "22");
        EXPECT_EQ(s.txtTimeMin->text(), "00");
        s.txtId->setText("Weekly Sales");
        s.txtTimeHour->setText("7");
        s.txtTimeMin->setText("5");
        week(s, {s.chkLun, s.chkVie});
        s.cmdAceptar->click();
    });
    EXPECT_TRUE(accepted);
    ASSERT_EQ(runner.requests.size(), 2);
    for (const os::ProcessRequest& r : runner.requests) {
        EXPECT_EQ(r.program, home.path("bd-schtasks"));
        EXPECT_GT(r.timeoutMs, 0);
    }
    EXPECT_EQ(arguments(0), (QStringList{"/delete", "/tn", "Weekly_Sales", "/f"}));
    EXPECT_EQ(arguments(1), (QStringList{"/Create", "/SC", "WEEKLY", "/D", "MON,FRI", "/TN", "Weekly_Sales",
                                         "/ST", "07:05", "/TR", '"' + cubePath + '"'}));
    // Row 13 keeps the blank; the days are the boxes' values.
    QStringList rows;
    for (int r = Campos::FilaTareaNombre; r <= Campos::FilasTareaDias + 6; ++r)
        rows << row(r);
    EXPECT_EQ(rows, (QStringList{"Weekly Sales", "07", "05", "1", "0", "0", "0", "1", "0", "0"}));
    EXPECT_EQ(mark("Weekly_Sales"), "Y");
    EXPECT_EQ(c->txtAutoClose->text(), "5");
    // The run opens the file: it was saved with the schedule and the auto-close minutes.
    EXPECT_TRUE(QFileInfo::exists(cubePath));
    EXPECT_FALSE(v->Salvar);
    EXPECT_EQ(prompts->texts(),
              QStringList{"The task: \"Weekly_Sales\" has been created and is ready to run."});
    EXPECT_EQ(prompts->prompts.value(0).title, "Ok");
    EXPECT_EQ(prompts->prompts.value(0).icon, os::Icon::Information);
    EXPECT_TRUE(c->isVisible());
    EXPECT_EQ(c->SSTab1->currentIndex(), 2);

    // Opened again, the window shows the schedule it wrote.
    schedule([&](frmScheduler& s) {
        EXPECT_EQ(s.txtId->text(), "Weekly Sales");
        EXPECT_EQ(s.txtTimeHour->text(), "07");
        EXPECT_EQ(s.txtTimeMin->text(), "05");
        QStringList ticked;
        for (QCheckBox* b : s.dayBoxes())
            if (b->isChecked()) ticked << b->text();
        EXPECT_EQ(ticked, (QStringList{"Mon", "Fri"}));
        s.reject();
    });
}

TEST_F(SchedulerForm, OkRefusesWhatTheSchedulerCannotTakeBeforeRunningAnything) {
    const struct Case {
        const char* name;
        std::function<void(frmScheduler&)> setUp;
        QString message;
        std::function<QWidget*(frmScheduler&)> marked; // the field painted for correction
    } cases[] = {
        {"no ID", [](frmScheduler& s) { s.txtId->setText(""); }, "Type an ID for the task.",
         [](frmScheduler& s) { return s.txtId; }},
        {"an ID with a character no task name holds",
         [](frmScheduler& s) { s.txtId->setText("Sales: weekly"); },
         "The ID may not hold any of \\ / : * ? \" < > | %.", [](frmScheduler& s) { return s.txtId; }},
        {"an ID whose quote would end the name early",
         [](frmScheduler& s) { s.txtId->setText("a\" /TR \"x"); },
         "The ID may not hold any of \\ / : * ? \" < > | %.", [](frmScheduler& s) { return s.txtId; }},
        {"no day", [](frmScheduler& s) { week(s, {}); }, "Tick at least one day.",
         [](frmScheduler& s) { return s.findChild<QWidget*>("fraDias"); }},
        {"hour 24", [](frmScheduler& s) { s.txtTimeHour->setText("24"); },
         "The hour must be a whole number from 0 to 23.", [](frmScheduler& s) { return s.txtTimeHour; }},
        {"a negative hour", [](frmScheduler& s) { s.txtTimeHour->setText("-1"); },
         "The hour must be a whole number from 0 to 23.", [](frmScheduler& s) { return s.txtTimeHour; }},
        {"minute 60", [](frmScheduler& s) { s.txtTimeMin->setText("60"); },
         "The minute must be a whole number from 0 to 59.", [](frmScheduler& s) { return s.txtTimeMin; }},
        {"a minute of three digits", [](frmScheduler& s) { s.txtTimeMin->setText("1.25"); },
         "The minute must be a whole number from 0 to 59.", [](frmScheduler& s) { return s.txtTimeMin; }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        runner.requests.clear();
        prompts->prompts.clear();
        bool opened = false;
        const bool accepted = schedule(
            [&](frmScheduler& s) {
                s.chkMar->setChecked(true);
                k.setUp(s);
                s.cmdAceptar->click();
                EXPECT_TRUE(marked(k.marked(s)));
            },
            &opened);
        EXPECT_FALSE(accepted);
        EXPECT_TRUE(opened);
        EXPECT_TRUE(runner.requests.isEmpty());
        EXPECT_EQ(prompts->texts(), QStringList{k.message});
        EXPECT_EQ(prompts->prompts.value(0).title, "Error");
        EXPECT_TRUE(row(Campos::FilaTareaNombre).isEmpty());
        EXPECT_FALSE(QFileInfo::exists(cubePath));
    }
    // A marked field regains its colour when the user goes back to it.
    schedule([&](frmScheduler& s) {
        s.txtTimeHour->setText("99");
        s.cmdAceptar->click();
        ASSERT_TRUE(marked(s.txtTimeHour));
        QFocusEvent in(QEvent::FocusIn);
        QApplication::sendEvent(s.txtTimeHour, &in);
        EXPECT_FALSE(marked(s.txtTimeHour));
        s.reject();
    });
}

TEST_F(SchedulerForm, ACubePathATaskCannotCarryIsRefused) {
    for (const QString& path : {home.path("say \"hi\".cub"), home.path("two\nlines.cub")}) {
        SCOPED_TRACE(path.toStdString());
        cube->PathOpenCube = path;
        prompts->prompts.clear();
        EXPECT_FALSE(schedule(mondayThenOk));
        EXPECT_TRUE(runner.requests.isEmpty());
        EXPECT_EQ(prompts->texts(),
                  QStringList{"The cube's path holds a double quote or a line break, which a "
                              "task cannot carry: save the cube under another name."});
    }
}

TEST_F(SchedulerForm, AFailedCreateIsToldWithItsReasonAndChangesNothingElse) {
    const struct Case {
        const char* name;
        os::ProcessResult create;
        QString told;
    } cases[] = {
        {"the program refuses", exitWith(1, "ERROR: Invalid start time: \"07:05\".\n"),
         "The task: \"CubeTask\" could not be created. Invalid start time: \"07:05\"."},
        {"the program is missing", os::ProcessResult{},
         "The task: \"CubeTask\" could not be created. The scheduler program " + home.path("bd-schtasks") +
             " could not be started."},
        {"the program hangs",
         [] {
             os::ProcessResult r;
             r.started = r.timedOut = true;
             return r;
         }(),
         "The task: \"CubeTask\" could not be created. The scheduler program did not answer within 30 "
         "seconds."},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c->txtAutoClose->setText("0");
        os::SaveSetting("OE", "CUBO", "CubeTask", "");
        runner.requests.clear();
        prompts->prompts.clear();
        runner.handler = [&](const os::ProcessRequest& r) {
            return r.arguments.first() == "/delete" ? exitWith(0) : k.create;
        };
        bool opened = false;
        EXPECT_FALSE(schedule(mondayThenOk, &opened));
        EXPECT_TRUE(opened);
        EXPECT_EQ(runner.requests.size(), 2);
        EXPECT_EQ(prompts->texts(), QStringList{k.told});
        EXPECT_EQ(prompts->prompts.value(0).icon, os::Icon::Critical);
        EXPECT_EQ(mark("CubeTask"), ""); // the old task was deleted
        EXPECT_TRUE(row(Campos::FilaTareaNombre).isEmpty());
        EXPECT_EQ(c->txtAutoClose->text(), "0");
        EXPECT_FALSE(QFileInfo::exists(cubePath));
    }
}

TEST_F(SchedulerForm, ADeleteThatFailsStopsBeforeTheCreate) {
    os::SaveSetting("OE", "CUBO", "CubeTask", "Y");
    prompts->answer(Answer::Yes);
    runner.handler = [](const os::ProcessRequest&) {
        return exitWith(1, "ERROR: The crontab could not be read: permission denied\n");
    };
    EXPECT_FALSE(schedule(mondayThenOk));
    ASSERT_EQ(runner.requests.size(), 1);
    EXPECT_EQ(arguments(0).first(), "/delete");
    EXPECT_EQ(
        prompts->texts().value(1),
        "The task: \"CubeTask\" could not be replaced. The crontab could not be read: permission denied");
    EXPECT_EQ(mark("CubeTask"), "Y");
}

TEST_F(SchedulerForm, AnExistingTaskIsReplacedOnlyWhenTheUserSaysSo) {
    os::SaveSetting("OE", "CUBO", "CubeTask", "Y");
    prompts->answer(Answer::No);
    bool opened = false;
    EXPECT_FALSE(schedule(mondayThenOk, &opened));
    EXPECT_TRUE(opened);
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].text, "The task: \"CubeTask\" already exists, do you want to overwrite ?");
    EXPECT_EQ(prompts->prompts[0].title, "Overwrite");
    EXPECT_EQ(prompts->prompts[0].buttons, os::Buttons::YesNo);
    EXPECT_TRUE(runner.requests.isEmpty());

    prompts->prompts.clear();
    prompts->answer(Answer::Yes);
    EXPECT_TRUE(schedule(mondayThenOk));
    ASSERT_EQ(runner.requests.size(), 2);
    EXPECT_EQ(arguments(0).first(), "/delete");
    EXPECT_EQ(arguments(1).first(), "/Create");
    EXPECT_EQ(mark("CubeTask"), "Y");
}

TEST_F(SchedulerForm, AScheduledCubeAlwaysClosesItself) {
    const struct {
        QString typed, kept;
    } cases[] = {{"", "5"}, {"0", "5"}, {" 0 ", "5"}, {"abc", "5"}, {"-2", "5"}, {"3", "3"}, {"90", "90"}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.typed.toStdString());
        os::SaveSetting("OE", "CUBO", "CubeTask", "");
        c->txtAutoClose->setText(k.typed);
        EXPECT_TRUE(schedule(mondayThenOk));
        EXPECT_EQ(c->txtAutoClose->text(), k.kept);
    }
}

TEST_F(SchedulerForm, DeleteTaskTellsTheTruth) {
    os::SaveSetting("OE", "CUBO", "Weekly_Sales", "Y");
    runner.handler = [](const os::ProcessRequest&) {
        return exitWith(1, "ERROR: The crontab could not be written.\n");
    };
    schedule([](frmScheduler& s) {
        s.txtId->setText("Weekly Sales");
        s.cmdDeleteTask->click();
        EXPECT_TRUE(s.isVisible());
        s.reject();
    });
    EXPECT_EQ(arguments(0), (QStringList{"/delete", "/tn", "Weekly_Sales", "/f"}));
    EXPECT_EQ(
        prompts->texts(),
        QStringList{"The task: \"Weekly_Sales\" could not be deleted. The crontab could not be written."});
    EXPECT_EQ(mark("Weekly_Sales"), "Y");

    // Deleted, or not there to begin with: the marker goes and the window says so.
    for (int status : {0, 2}) {
        prompts->prompts.clear();
        os::SaveSetting("OE", "CUBO", "Weekly_Sales", "Y");
        runner.handler = [status](const os::ProcessRequest&) { return exitWith(status); };
        schedule([](frmScheduler& s) {
            s.txtId->setText("Weekly Sales");
            s.cmdDeleteTask->click();
            s.reject();
        });
        EXPECT_EQ(prompts->texts(), QStringList{"The task: \"Weekly_Sales\" was deleteded"});
        EXPECT_EQ(mark("Weekly_Sales"), "");
        EXPECT_TRUE(row(Campos::FilaTareaNombre).isEmpty()); // the rows stay as they were
    }
}

TEST_F(SchedulerForm, TheWindowLoadsTheScheduleRows) {
    grid::Grid& sheet = *c->spSave;
    sheet.setText(Campos::ColProperty, Campos::FilaTareaNombre, "Night run");
    sheet.setText(Campos::ColProperty, Campos::FilaTareaMinuto, "45");
    // Monday "1", Tuesday "0", the rest never written.
    sheet.setText(Campos::ColProperty, Campos::FilasTareaDias, "1");
    sheet.setText(Campos::ColProperty, Campos::FilasTareaDias + 1, "0");
    schedule([](frmScheduler& s) {
        EXPECT_EQ(s.txtId->text(), "Night run");
        EXPECT_EQ(s.txtTimeHour->text(), "22");
        EXPECT_EQ(s.txtTimeMin->text(), "45");
        EXPECT_TRUE(s.chkLun->isChecked());
        EXPECT_FALSE(s.chkMar->isChecked());
        // Leaving a time box applies its rule.
        s.txtTimeHour->setText("6");
        emit s.txtTimeHour->editingFinished();
        EXPECT_EQ(s.txtTimeHour->text(), "06");
        s.reject();
    });
}
