// Scheduled runs from end to end: a cube scheduled through the scheduler window, its crontab line run
// as cron runs it (its own shell, cron's few environment variables, no display), the program opening
// the cube with nobody at the machine and ending by itself within a bound, with an exit status and
// the reason on standard error.
#include "common/LocalHttpServer.h"
#include "common/TestSupport.h"
#include "designer/Campos.h"
#include "platform/controlhost/ControlHost.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Process.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "publishing/frmScheduler.h"
#include "shell/FrmMain.h"
#include "shell/GeneralFiles.h"
#include "shell/GeneralGrid.h"
#include "shell/GeneralWeb.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace bd;
using test::readFile;

namespace {

// The built program folder, linked file by file into a folder of the test's own: the crontab line
// names the program there, and what the run leaves in its folder is the test's to see.
struct ProgramFolder {
    QTemporaryDir dir;
    ProgramFolder() {
        const QString from = QStringLiteral(BD_APP_DIR);
        QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            const QString to = path(QDir(from).relativeFilePath(f));
            QDir().mkpath(QFileInfo(to).absolutePath());
            if (::link(QFile::encodeName(f).constData(), QFile::encodeName(to).constData()) != 0)
                QFile::copy(f, to);
        }
    }
    QString path(const QString& rel = {}) const {
        return rel.isEmpty() ? dir.path() : dir.path() + '/' + rel;
    }
};

// The viewer this process shows.
Cubo* viewer() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<Cubo*>(w)) return v;
    return nullptr;
}

// Every file under a folder, relative to it.
QStringList filesUnder(const QString& folder) {
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

// The command of our task's crontab line as cron hands it to the shell: "\%" becomes "%", and an
// unescaped "%" would end it.
QString cronCommand(const QString& line) {
    int pos = 0;
    for (int field = 0; field < 5; ++field) {
        while (pos < line.size() && line[pos].isSpace())
            ++pos;
        while (pos < line.size() && !line[pos].isSpace())
            ++pos;
    }
    QString out;
    for (int i = pos; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (line[i] == '%') {
            break;
        } else {
            out += line[i];
        }
    }
    return out.trimmed();
}

struct CronRun {
    os::ProcessResult result;
    qint64 ms = 0;
    QString err() const { return QString::fromUtf8(result.standardError); }
};

// A copy of the program, its settings and a crontab file of the test's own, a mail relay and a web-view
// service on the loopback address, and the example cube scheduled from the scheduler window.
struct ScheduledRun : ::testing::Test {
    test::TempHome home{false};
    ProgramFolder program;
    QTemporaryDir tmp; // the run's TMPDIR
    QByteArray oldCrontab = qgetenv("BRINTOVA_CRONTAB");
    QString crontab = home.path("crontab");
    QString cubePath = home.path("My Cubes/Weekly Sales.cub");
    test::LocalHttpServer service;
    test::FakeRelay relay;

    void SetUp() override {
        qputenv("BRINTOVA_HOME", program.path().toLocal8Bit());
        qputenv("BRINTOVA_CRONTAB", crontab.toLocal8Bit());
        QDir().mkpath(home.path("My Cubes"));
        ASSERT_TRUE(controlhost::RegisterControlLibrary(program.path("libglimford.so")));
        os::SaveSetting("OE", "Web", "ViewsBase", service.base() + "/views/");
        service.handler = [](const test::HttpRequest&) {
            return test::HttpResponse{200, "text/plain", "stored", false};
        };
    }
    void TearDown() override { qputenv("BRINTOVA_CRONTAB", oldCrontab); }

    // Opens the example cube in a viewer of this process, lets setUp change it, saves it as cubePath and
    // schedules it weekly on every day through the scheduler window.
    void scheduleExample(const std::function<void(Cubo&, Campos&)>& setUp) {
        os::ScopedPrompter prompts;
        FrmMain start;
        start.cmdAbrirEjemplo_Click();
        QPointer<Cubo> v = viewer();
        ASSERT_TRUE(v && v->Vcampos) << prompts->texts().join('/').toStdString();
        Campos& c = *v->Vcampos;
        setUp(*v, c);
        v->VinsCube->PathOpenCube = cubePath;
        ASSERT_TRUE(v->Guardar(true, false)) << prompts->texts().join('/').toStdString();
        {
            os::ScopedDialogHandler h([](QDialog* d) {
                if (auto* s = qobject_cast<frmScheduler*>(d)) {
                    s->txtId->setText("Weekly Sales");
                    for (QCheckBox* b : s->dayBoxes())
                        b->setChecked(true);
                    s->cmdAceptar->click();
                }
                return d->result();
            });
            c.OpenScheduler();
        }
        ASSERT_EQ(prompts->texts().value(0),
                  "The task: \"Weekly_Sales\" has been created and is ready to run.")
            << prompts->texts().join('/').toStdString();
        v->Salvar = false;
        delete v.data();
        // This process's chart files, as its start window would leave them when closed.
        General::BorrarGraficosTemporales();
    }

    QString taskLine() const {
        for (const QString& l : QString::fromUtf8(readFile(crontab)).split('\n'))
            if (l.endsWith("# brintova-deridoro task: Weekly_Sales")) return l;
        return {};
    }

    // Runs the task's crontab line as cron would: the shell with cron's environment and ours (the
    // settings of this test, its TMPDIR and the length of a minute), no display. Waits up to limitMs,
    // keeping the local servers answering.
    CronRun runAsCron(int minuteMs, int limitMs) {
        const QString command = cronCommand(taskLine());
        EXPECT_FALSE(command.isEmpty());
        QStringList env = {"-i",
                           "HOME=" + home.home(),
                           "LOGNAME=" + qEnvironmentVariable("LOGNAME", "root"),
                           "SHELL=/bin/sh",
                           "PATH=/usr/bin:/bin",
                           "BRINTOVA_CONFIG=" + home.config(),
                           "BRINTOVA_DATA=" + home.config() + "/data",
                           "TMPDIR=" + tmp.path(),
                           "BD_TEST_MINUTE_MS=" + QString::number(minuteMs)};
        // A sanitizer build's settings reach its program too.
        for (const char* v : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (qEnvironmentVariableIsSet(v)) env << QString::fromLatin1(v) + '=' + qEnvironmentVariable(v);
        env << "/bin/sh"
            << "-c" << command;
        QElapsedTimer clock;
        clock.start();
        CronRun r;
        r.result = os::RealProcessRunner().run({"/usr/bin/env", env, limitMs, {}, {}});
        r.ms = clock.elapsed();
        return r;
    }
};

} // namespace

TEST(UnattendedFailures, ErrorBoxesAndReportedFailuresMakeTheRunFailOthersDoNot) {
    os::setUnattended(false);
    os::setUnattended(true, 0); // the boxes answer at once, as on the offscreen platform
    testing::internal::CaptureStderr();
    EXPECT_EQ(os::MsgBox("Done.", os::Buttons::Ok, os::Icon::Information, "Ok"), os::Answer::Ok);
    EXPECT_EQ(os::MsgBox("Go on ?", os::Buttons::YesNo, os::Icon::Question, "Go"), os::Answer::Yes);
    EXPECT_FALSE(os::unattendedFailed());
    EXPECT_EQ(os::MsgBox("It broke.", os::Buttons::Ok, os::Icon::Critical, "Error"), os::Answer::Ok);
    EXPECT_TRUE(os::unattendedFailed());
    // A new run starts with nothing failed; a failed mail fails it.
    os::setUnattended(false);
    os::setUnattended(true, 0);
    EXPECT_FALSE(os::unattendedFailed());
    General::ReportFailures("Email Alerts", {"The mail relay failed: timed out."}, true);
    EXPECT_TRUE(os::unattendedFailed());
    os::setUnattended(false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Ok: Done.\nGo: Go on ?\nError: It broke.\nEmail Alerts: The mail relay failed: timed out.\n");
}

TEST_F(ScheduledRun, ACubeWithoutAutoCloseEndsAtOnceSayingSo) {
    scheduleExample([](Cubo&, Campos&) {});
    // The window gave the cube its five minutes; a cube edited since has none.
    os::ScopedPrompter prompts;
    {
        FrmMain start;
        start.NuevoCubo("Cubo", "", "", false, false, cubePath);
        Cubo* v = viewer();
        ASSERT_TRUE(v && v->Vcampos);
        EXPECT_EQ(v->Vcampos->txtAutoClose->text(), "5");
        v->Vcampos->txtAutoClose->setText("0");
        ASSERT_TRUE(v->Guardar(true, false));
        v->Salvar = false;
        delete v;
    }
    const CronRun r = runAsCron(60000, 60000);
    ASSERT_TRUE(r.result.finished) << r.err().toStdString();
    EXPECT_EQ(r.result.exitCode, 2) << r.err().toStdString();
    EXPECT_TRUE(r.err().contains("Unattended run: the cube \"" + cubePath +
                                 "\" has no auto-close time, so it would never close."))
        << r.err().toStdString();
    EXPECT_TRUE(filesUnder(tmp.path()).isEmpty()) << filesUnder(tmp.path()).join(' ').toStdString();
}

TEST_F(ScheduledRun, ASourceThatNeverAnswersIsStoppedWithinTheBound) {
    // A server that takes the connection and never says a word.
    test::LocalHttpServer silent;
    silent.handler = [](const test::HttpRequest&) { return test::HttpResponse{200, "", "", true}; };
    scheduleExample([&](Cubo&, Campos& c) {
        c.txtConeccion->setPlainText(
            QStringLiteral("Provider=MySQLProv;Server=127.0.0.1;Port=%1;Database=d;User ID=u;Password=p")
                .arg(silent.port()));
        c.chkRefresh->setChecked(true);
        c.txtAutoClose->setText("1");
    });
    // A minute of 100 ms: the opening may take 30 of them.
    const CronRun r = runAsCron(100, 60000);
    ASSERT_TRUE(r.result.finished) << r.err().toStdString();
    EXPECT_EQ(r.result.exitCode, 3) << r.err().toStdString();
    EXPECT_TRUE(r.err().contains(
        "Unattended run: the cube \"" + cubePath +
        "\" did not open within 30 minutes and was stopped (its data source did not answer)."))
        << r.err().toStdString();
    EXPECT_LT(r.ms, 10000);
}

namespace {
// The example cube as a scheduled run needs it: alert mails for its Amount range, the upload when it
// closes with a mail after it, and a one-minute auto-close.
void alertUploadAndAutoClose(Cubo&, Campos& c) {
    c.chkSendAlert->setChecked(true);
    General::EscribirCelda(*c.spCal, Campos::ColDestinatarios, 1, "boss@example.test");
    c.spSave->setText(Campos::ColProperty, Campos::FilaSubirAlSalir, "1");
    c.spSave->setText(Campos::ColProperty, Campos::FilaMailsSubida, "team@example.test");
    c.txtAutoClose->setText("1");
}
} // namespace

TEST_F(ScheduledRun, TheExampleCubeClosesItselfSendingItsAlertsAndUploadAndLeavesNothingBehind) {
    scheduleExample(alertUploadAndAutoClose);
    const QStringList before = filesUnder(program.path());
    const QByteArray cube = readFile(cubePath);
    // A minute of 2 seconds: the auto-close comes after 2, the countdown takes its 20, and the bound
    // after the opening is 31 minutes (62 seconds).
    const CronRun r = runAsCron(2000, 120000);
    ASSERT_TRUE(r.result.finished) << r.err().toStdString();
    EXPECT_EQ(r.result.exitCode, 0) << r.err().toStdString();
    EXPECT_LT(r.ms, 62000);

    // The alert mail to the rule's recipient, then the upload and the mail that announces it.
    ASSERT_EQ(relay.mails.size(), 2) << r.err().toStdString();
    EXPECT_EQ(relay.mails[0].value("txtPara"), "boss@example.test");
    EXPECT_TRUE(relay.mails[0].value("txtTexto").contains("Amount"))
        << relay.mails[0].value("txtTexto").toStdString();
    EXPECT_EQ(relay.mails[1].value("txtPara"), "team@example.test");
    QStringList uploaded;
    for (const test::HttpRequest& q : service.requests) {
        EXPECT_EQ(q.method, "POST");
        EXPECT_EQ(q.path(), "/views/post_dump.php");
        for (const test::FormPart& p : test::LocalHttpServer::multipartParts(q))
            if (p.name == "myfile") uploaded << p.filename;
    }
    EXPECT_TRUE(uploaded.contains("view.html")) << uploaded.join(' ').toStdString();
    EXPECT_TRUE(uploaded.contains("data.html")) << uploaded.join(' ').toStdString();
    // Nobody was asked anything, and nothing was opened on a desktop nobody sees.
    EXPECT_FALSE(r.err().contains("Do you want")) << r.err().toStdString();
    EXPECT_TRUE(r.err().contains("Unattended run: not opened, nobody is here to see it: " + service.base() +
                                 "/views/"))
        << r.err().toStdString();

    // Nothing left behind: the program folder as it was, no temporary file, the cube unchanged.
    EXPECT_EQ(filesUnder(program.path()).join(' ').toStdString(), before.join(' ').toStdString());
    EXPECT_TRUE(filesUnder(tmp.path()).isEmpty()) << filesUnder(tmp.path()).join(' ').toStdString();
    EXPECT_EQ(readFile(cubePath), cube);

    // The task stays for next week until it is deleted from the scheduler window.
    ASSERT_FALSE(taskLine().isEmpty());
    os::ScopedPrompter prompts;
    Campos c;
    os::ScopedDialogHandler h([](QDialog* d) {
        if (auto* s = qobject_cast<frmScheduler*>(d)) {
            s->txtId->setText("Weekly Sales");
            s->cmdDeleteTask->click();
        }
        return int(QDialog::Rejected);
    });
    InsCube scheduled;
    scheduled.PathOpenCube = cubePath;
    c.VinsCube = &scheduled;
    c.OpenScheduler();
    EXPECT_EQ(prompts->texts(), QStringList{"The task: \"Weekly_Sales\" was deleteded"});
    EXPECT_EQ(readFile(crontab), QByteArray());
}

TEST_F(ScheduledRun, ARelayThatHangsIsStoppedWithinTheBound) {
    relay.answer = [](const QHash<QString, QString>&) { return test::HttpResponse{200, "", "", true}; };
    scheduleExample(alertUploadAndAutoClose);
    // A minute of a second: the countdown ends some 22 seconds in, the alert mail waits on the relay,
    // and the bound (31 minutes) stops the run before the relay's own limit of 30 seconds would.
    const CronRun r = runAsCron(1000, 120000);
    ASSERT_TRUE(r.result.finished) << r.err().toStdString();
    EXPECT_EQ(r.result.exitCode, 3) << r.err().toStdString();
    EXPECT_TRUE(
        r.err().contains("Unattended run: the cube \"" + cubePath +
                         "\" did not close within 31 minutes, its auto-close time and 30 for its alerts "
                         "and upload, and was stopped"))
        << r.err().toStdString();
    EXPECT_LT(r.ms, 45000);
    EXPECT_EQ(relay.mails.size(), 1);
    EXPECT_TRUE(service.requests.isEmpty());
}
