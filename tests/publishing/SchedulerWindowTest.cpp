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
bool marcado(QWidget* w) {
    const QPalette::ColorRole role = qobject_cast<QLineEdit*>(w) ? QPalette::Base : QPalette::Window;
    return w->palette().color(role) == os::oleToColor(Campos::ColorError);
}

QString marca(const QString& tarea) {
    return os::GetSetting("OE", "CUBO", tarea);
}

// A viewer with its designer over a cube saved as "Weekly Sales.cub", the scheduler program recorded.
struct Programador : ::testing::Test {
    test::TempHome home{false};
    os::ScopedPrompter prompts;
    os::RecordingProcessRunner runner;
    QPointer<Cubo> v = new Cubo;
    QPointer<Campos> c = new Campos;
    QPointer<InsCube> cube = new InsCube;
    QString cubo = home.path("Weekly Sales.cub");

    void SetUp() override {
        v->VinsCube = cube;
        v->Vcampos = c;
        c->VinsCube = cube;
        c->VCubo = v;
        cube->PathOpenCube = cubo;
        os::setProcessRunner(&runner);
    }
    void TearDown() override {
        os::setProcessRunner(nullptr);
        if (v) v->Salvar = false;
        delete v.data();
    }
    QStringList argumentos(int i) const { return runner.requests.value(i).arguments; }
    QString fila(int r) const { return c->Propiedad(r); }

    // Opens the scheduler from the designer; fill sets the window up and presses its buttons. Returns
    // whether the window was accepted; *abierta tells whether it was still shown when fill ended.
    bool programar(const std::function<void(frmScheduler&)>& fill, bool* abierta = nullptr) {
        int resultado = QDialog::Rejected;
        os::ScopedDialogHandler h([&](QDialog* d) {
            auto* s = qobject_cast<frmScheduler*>(d);
            EXPECT_NE(s, nullptr);
            if (!s) return int(QDialog::Rejected);
            fill(*s);
            if (abierta) *abierta = s->isVisible();
            resultado = s->result();
            return resultado;
        });
        v->Salvar = false;
        c->OpenScheduler();
        return resultado == QDialog::Accepted;
    }
    static void semana(frmScheduler& s, std::initializer_list<QCheckBox*> ticked) {
        for (QCheckBox* b : s.diasSemana())
            b->setChecked(std::find(ticked.begin(), ticked.end(), b) != ticked.end());
    }
};

} // namespace

TEST_F(Programador, OkDeletesThenCreatesTheTaskAndSavesTheScheduleAndTheCube) {
    c->txtAutoClose->setText("0");
    c->hide();
    runner.handler = [&](const os::ProcessRequest& r) {
        // The old task is gone (here it never existed) before the create starts.
        if (r.arguments.first() == "/delete")
            return exitWith(2, "ERROR: The task \"Weekly_Sales\" does not exist.");
        return exitWith(0, {});
    };
    const bool aceptada = programar([&](frmScheduler& s) {
        EXPECT_EQ(s.windowTitle(), "Scheduler");
        EXPECT_EQ(s.txtId->text(), "CubeTask"); // a cube never scheduled shows the defaults
        EXPECT_EQ(s.txtTimeHour->text(), "22");
        EXPECT_EQ(s.txtTimeMin->text(), "00");
        s.txtId->setText("Weekly Sales");
        s.txtTimeHour->setText("7");
        s.txtTimeMin->setText("5");
        semana(s, {s.chkLun, s.chkVie});
        s.cmdAceptar->click();
    });
    EXPECT_TRUE(aceptada);
    ASSERT_EQ(runner.requests.size(), 2);
    for (const os::ProcessRequest& r : runner.requests) {
        EXPECT_EQ(r.program, home.path("bd-schtasks"));
        EXPECT_GT(r.timeoutMs, 0);
    }
    EXPECT_EQ(argumentos(0), (QStringList{"/delete", "/tn", "Weekly_Sales", "/f"}));
    EXPECT_EQ(argumentos(1), (QStringList{"/Create", "/SC", "WEEKLY", "/D", "MON,FRI", "/TN", "Weekly_Sales",
                                          "/ST", "07:05", "/TR", '"' + cubo + '"'}));
    // Row 13 keeps the blank; the days are the boxes' values.
    QStringList filas;
    for (int r = Campos::FilaTareaNombre; r <= Campos::FilasTareaDias + 6; ++r)
        filas << fila(r);
    EXPECT_EQ(filas, (QStringList{"Weekly Sales", "07", "05", "1", "0", "0", "0", "1", "0", "0"}));
    EXPECT_EQ(marca("Weekly_Sales"), "Y");
    EXPECT_EQ(c->txtAutoClose->text(), "5");
    // The run opens the file: it was saved with the schedule and the auto-close minutes.
    EXPECT_TRUE(QFileInfo::exists(cubo));
    EXPECT_FALSE(v->Salvar);
    EXPECT_EQ(prompts->texts(),
              QStringList{"The task: \"Weekly_Sales\" has been created and is ready to run."});
    EXPECT_EQ(prompts->prompts.value(0).title, "Ok");
    EXPECT_EQ(prompts->prompts.value(0).icon, os::Icon::Information);
    EXPECT_TRUE(c->isVisible());
    EXPECT_EQ(c->SSTab1->currentIndex(), 2);

    // Opened again, the window shows the schedule it wrote.
    programar([&](frmScheduler& s) {
        EXPECT_EQ(s.txtId->text(), "Weekly Sales");
        EXPECT_EQ(s.txtTimeHour->text(), "07");
        EXPECT_EQ(s.txtTimeMin->text(), "05");
        QStringList ticked;
        for (QCheckBox* b : s.diasSemana())
            if (b->isChecked()) ticked << b->text();
        EXPECT_EQ(ticked, (QStringList{"Mon", "Fri"}));
        s.reject();
    });
}

TEST_F(Programador, OkRefusesWhatTheSchedulerCannotTakeBeforeRunningAnything) {
    const struct Caso {
        const char* name;
        std::function<void(frmScheduler&)> setUp;
        QString message;
        std::function<QWidget*(frmScheduler&)> marked; // the field painted for correction
    } casos[] = {
        {"no ID", [](frmScheduler& s) { s.txtId->setText(""); }, "Type an ID for the task.",
         [](frmScheduler& s) { return s.txtId; }},
        {"an ID with a character no task name holds",
         [](frmScheduler& s) { s.txtId->setText("Sales: weekly"); },
         "The ID may not hold any of \\ / : * ? \" < > | %.", [](frmScheduler& s) { return s.txtId; }},
        {"an ID whose quote would end the name early",
         [](frmScheduler& s) { s.txtId->setText("a\" /TR \"x"); },
         "The ID may not hold any of \\ / : * ? \" < > | %.", [](frmScheduler& s) { return s.txtId; }},
        {"no day", [](frmScheduler& s) { semana(s, {}); }, "Tick at least one day.",
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
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.name);
        runner.requests.clear();
        prompts->prompts.clear();
        bool abierta = false;
        const bool aceptada = programar(
            [&](frmScheduler& s) {
                s.chkMar->setChecked(true);
                k.setUp(s);
                s.cmdAceptar->click();
                EXPECT_TRUE(marcado(k.marked(s)));
            },
            &abierta);
        EXPECT_FALSE(aceptada);
        EXPECT_TRUE(abierta);
        EXPECT_TRUE(runner.requests.isEmpty());
        EXPECT_EQ(prompts->texts(), QStringList{k.message});
        EXPECT_EQ(prompts->prompts.value(0).title, "Error");
        EXPECT_TRUE(fila(Campos::FilaTareaNombre).isEmpty());
        EXPECT_FALSE(QFileInfo::exists(cubo));
    }
    // A marked field regains its colour when the user goes back to it.
    programar([&](frmScheduler& s) {
        s.txtTimeHour->setText("99");
        s.cmdAceptar->click();
        ASSERT_TRUE(marcado(s.txtTimeHour));
        QFocusEvent in(QEvent::FocusIn);
        QApplication::sendEvent(s.txtTimeHour, &in);
        EXPECT_FALSE(marcado(s.txtTimeHour));
        s.reject();
    });
}

TEST_F(Programador, ACubePathATaskCannotCarryIsRefused) {
    for (const QString& path : {home.path("say \"hi\".cub"), home.path("two\nlines.cub")}) {
        SCOPED_TRACE(path.toStdString());
        cube->PathOpenCube = path;
        prompts->prompts.clear();
        EXPECT_FALSE(programar([](frmScheduler& s) {
            s.chkLun->setChecked(true);
            s.cmdAceptar->click();
        }));
        EXPECT_TRUE(runner.requests.isEmpty());
        EXPECT_EQ(prompts->texts(),
                  QStringList{"The cube's path holds a double quote or a line break, which a "
                              "task cannot carry: save the cube under another name."});
    }
}

TEST_F(Programador, AFailedCreateIsToldWithItsReasonAndChangesNothingElse) {
    const struct Caso {
        const char* name;
        os::ProcessResult create;
        QString told;
    } casos[] = {
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
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.name);
        c->txtAutoClose->setText("0");
        os::SaveSetting("OE", "CUBO", "CubeTask", "");
        runner.requests.clear();
        prompts->prompts.clear();
        runner.handler = [&](const os::ProcessRequest& r) {
            return r.arguments.first() == "/delete" ? exitWith(0) : k.create;
        };
        bool abierta = false;
        EXPECT_FALSE(programar(
            [](frmScheduler& s) {
                s.chkLun->setChecked(true);
                s.cmdAceptar->click();
            },
            &abierta));
        EXPECT_TRUE(abierta);
        EXPECT_EQ(runner.requests.size(), 2);
        EXPECT_EQ(prompts->texts(), QStringList{k.told});
        EXPECT_EQ(prompts->prompts.value(0).icon, os::Icon::Critical);
        EXPECT_EQ(marca("CubeTask"), ""); // the old task was deleted
        EXPECT_TRUE(fila(Campos::FilaTareaNombre).isEmpty());
        EXPECT_EQ(c->txtAutoClose->text(), "0");
        EXPECT_FALSE(QFileInfo::exists(cubo));
    }
}

TEST_F(Programador, ADeleteThatFailsStopsBeforeTheCreate) {
    os::SaveSetting("OE", "CUBO", "CubeTask", "Y");
    prompts->answer(Answer::Yes);
    runner.handler = [](const os::ProcessRequest&) {
        return exitWith(1, "ERROR: The crontab could not be read: permission denied\n");
    };
    EXPECT_FALSE(programar([](frmScheduler& s) {
        s.chkLun->setChecked(true);
        s.cmdAceptar->click();
    }));
    ASSERT_EQ(runner.requests.size(), 1);
    EXPECT_EQ(argumentos(0).first(), "/delete");
    EXPECT_EQ(
        prompts->texts().value(1),
        "The task: \"CubeTask\" could not be replaced. The crontab could not be read: permission denied");
    EXPECT_EQ(marca("CubeTask"), "Y");
}

TEST_F(Programador, AnExistingTaskIsReplacedOnlyWhenTheUserSaysSo) {
    os::SaveSetting("OE", "CUBO", "CubeTask", "Y");
    prompts->answer(Answer::No);
    bool abierta = false;
    EXPECT_FALSE(programar(
        [](frmScheduler& s) {
            s.chkLun->setChecked(true);
            s.cmdAceptar->click();
        },
        &abierta));
    EXPECT_TRUE(abierta);
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].text, "The task: \"CubeTask\" already exists, do you want to overwrite ?");
    EXPECT_EQ(prompts->prompts[0].title, "Overwrite");
    EXPECT_EQ(prompts->prompts[0].buttons, os::Buttons::YesNo);
    EXPECT_TRUE(runner.requests.isEmpty());

    prompts->prompts.clear();
    prompts->answer(Answer::Yes);
    EXPECT_TRUE(programar([](frmScheduler& s) {
        s.chkLun->setChecked(true);
        s.cmdAceptar->click();
    }));
    ASSERT_EQ(runner.requests.size(), 2);
    EXPECT_EQ(argumentos(0).first(), "/delete");
    EXPECT_EQ(argumentos(1).first(), "/Create");
    EXPECT_EQ(marca("CubeTask"), "Y");
}

TEST_F(Programador, AScheduledCubeAlwaysClosesItself) {
    const struct {
        QString typed, kept;
    } casos[] = {{"", "5"}, {"0", "5"}, {" 0 ", "5"}, {"abc", "5"}, {"-2", "5"}, {"3", "3"}, {"90", "90"}};
    for (const auto& k : casos) {
        SCOPED_TRACE(k.typed.toStdString());
        os::SaveSetting("OE", "CUBO", "CubeTask", "");
        c->txtAutoClose->setText(k.typed);
        EXPECT_TRUE(programar([](frmScheduler& s) {
            s.chkLun->setChecked(true);
            s.cmdAceptar->click();
        }));
        EXPECT_EQ(c->txtAutoClose->text(), k.kept);
    }
}

TEST_F(Programador, DeleteTaskTellsTheTruth) {
    os::SaveSetting("OE", "CUBO", "Weekly_Sales", "Y");
    runner.handler = [](const os::ProcessRequest&) {
        return exitWith(1, "ERROR: The crontab could not be written.\n");
    };
    programar([](frmScheduler& s) {
        s.txtId->setText("Weekly Sales");
        s.cmdDeleteTask->click();
        EXPECT_TRUE(s.isVisible());
        s.reject();
    });
    EXPECT_EQ(argumentos(0), (QStringList{"/delete", "/tn", "Weekly_Sales", "/f"}));
    EXPECT_EQ(
        prompts->texts(),
        QStringList{"The task: \"Weekly_Sales\" could not be deleted. The crontab could not be written."});
    EXPECT_EQ(marca("Weekly_Sales"), "Y");

    // Deleted, or not there to begin with: the marker goes and the window says so.
    for (int status : {0, 2}) {
        prompts->prompts.clear();
        os::SaveSetting("OE", "CUBO", "Weekly_Sales", "Y");
        runner.handler = [status](const os::ProcessRequest&) { return exitWith(status); };
        programar([](frmScheduler& s) {
            s.txtId->setText("Weekly Sales");
            s.cmdDeleteTask->click();
            s.reject();
        });
        EXPECT_EQ(prompts->texts(), QStringList{"The task: \"Weekly_Sales\" was deleteded"});
        EXPECT_EQ(marca("Weekly_Sales"), "");
        EXPECT_TRUE(fila(Campos::FilaTareaNombre).isEmpty()); // the rows stay as they were
    }
}

TEST_F(Programador, TheWindowLoadsTheScheduleRows) {
    grid::Grid& hoja = *c->spSave;
    hoja.setText(Campos::ColPropiedad, Campos::FilaTareaNombre, "Night run");
    hoja.setText(Campos::ColPropiedad, Campos::FilaTareaMinuto, "45");
    // Monday "1", Tuesday "0", the rest never written.
    hoja.setText(Campos::ColPropiedad, Campos::FilasTareaDias, "1");
    hoja.setText(Campos::ColPropiedad, Campos::FilasTareaDias + 1, "0");
    programar([](frmScheduler& s) {
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
