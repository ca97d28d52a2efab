// The designer's minute timers on a fake clock: when the auto-refresh runs, when the auto-close
// countdown opens, how it closes the cube and ends the program, and the minutes boxes' rules.
#include "designer/RefreshTestCube.h"
#include "platform/os/Clock.h"
#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "shell/frmClose.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace refreshtest;
using bd::os::Answer;

namespace {
constexpr qint64 kMinute = 60000;
constexpr qint64 kSecond = 1000;

const QStringList kSales = {"create table v (REGION varchar(10), AMT real)",
                            "insert into v values ('N', 10), ('S', 30)"};

// A cube over a small table; its first result cell grows with every row added.
struct SalesCube : TestCube {
    SalesCube() : TestCube(kSales) {
        sql("select * from v");
        c->spCam->setText(1, 1, "REGION");
        c->spCam->setText(2, 1, "1");
        c->spCam->setCellTag(3, 1, "ISTEXT");
        c->spCal->setText(1, 1, "AMT");
        c->spCal->setText(2, 1, "1");
        c->spCal->setText(3, 1, "Sum");
        auto* status = new QPushButton("Connected", viewer);
        status->setObjectName("cmdConectado");
    }
    void load() {
        c->Recarga = true;
        c->CargarDefinicionEnCubo();
        ASSERT_GT(viewer->DC->resultRows(), 0);
    }
    double total() const { return viewer->DC->cellValue(0, 0).toDouble(); }
};

// Records the program's end instead of leaving the event loop.
struct RecordingLauncher : FrmMain::Launcher {
    int quits = 0;
    void openCube(FrmMain&, const FrmMain::NewCubeArgs&) override {}
    void quit() override { ++quits; }
};

// An open cube with its start window, its viewer shown, its auto-close minutes set.
struct OpenedCube {
    bd::os::ManualClock clock;
    bd::os::ScopedPrompter prompts;
    bd::os::ScriptedFileDialogs dialogs;
    RecordingLauncher launcher;
    FrmMain start;
    TestCube t;
    explicit OpenedCube(const QString& minutes) {
        bd::os::setFileDialogs(&dialogs);
        start.setLauncher(&launcher);
        t.cube->Vparent = &start;
        t.viewer->show();
        t.c->txtAutoClose->setText(minutes);
        t.c->PrenderTimerAutoClose();
    }
    ~OpenedCube() { bd::os::setFileDialogs(nullptr); }
    frmClose* countdown() const { return t.c ? t.c->countdown() : nullptr; }
};

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

TEST(AutoRefresh, EveryThreeMinutesRefreshesAtThreeSixAndNine) {
    bd::os::ManualClock clock;
    bd::os::ScopedPrompter p;
    SalesCube t;
    t.load();
    t.c->txtAutorefresh->setText("3");
    t.c->PrenderTimerAutorefresh();
    QList<int> refreshes;
    for (int minute = 1; minute <= 10; ++minute) {
        const double before = t.total();
        t.db({"insert into v values ('N', 1)"}); // every refresh shows the rows added since the last
        clock.advance(kMinute);
        if (t.total() != before) refreshes << minute;
    }
    EXPECT_EQ(refreshes, QList<int>({3, 6, 9}));
    EXPECT_EQ(t.total(), 40 + 9); // the rows of the ninth minute, not the tenth
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("; ").toStdString();
}

// Starting again counts from the start; "0" stops; minutes that are no whole number are passed.
TEST(AutoRefresh, StartingAgainRestartsTheCountAndZeroStops) {
    bd::os::ManualClock clock;
    bd::os::ScopedPrompter p;
    SalesCube t;
    t.load();
    auto refreshesUntil = [&](int minutes) {
        QList<int> r;
        for (int m = 1; m <= minutes; ++m) {
            const double before = t.total();
            t.db({"insert into v values ('N', 1)"});
            clock.advance(kMinute);
            if (t.total() != before) r << m;
        }
        return r;
    };
    t.c->txtAutorefresh->setText("3");
    t.c->txtAutorefresh_LostFocus();
    EXPECT_EQ(refreshesUntil(2), QList<int>());
    t.c->txtAutorefresh_LostFocus(); // the box left again after two minutes
    EXPECT_EQ(refreshesUntil(6), QList<int>({3, 6}));

    // Lowered from 10 to 5 after 7 minutes: five minutes later, not never.
    t.c->txtAutorefresh->setText("10");
    t.c->txtAutorefresh_LostFocus();
    EXPECT_EQ(refreshesUntil(7), QList<int>());
    t.c->txtAutorefresh->setText("5");
    t.c->txtAutorefresh_LostFocus();
    EXPECT_EQ(refreshesUntil(5), QList<int>({5}));

    t.c->txtAutorefresh->setText("0");
    t.c->txtAutorefresh_LostFocus();
    EXPECT_FALSE(t.c->TimerAutoRefresh->isEnabled());
    EXPECT_EQ(refreshesUntil(12), QList<int>());

    // 2,5 minutes kept in a cube file: the third tick passes them.
    t.c->txtAutorefresh->setText("2,5");
    t.c->PrenderTimerAutorefresh();
    EXPECT_EQ(refreshesUntil(6), QList<int>({3, 6}));
}

TEST(AutoClose, OpensTheCountdownAtTwoMinutesAndNotAgainAfterACancel) {
    for (bool byTheCloseBox : {false, true}) {
        SCOPED_TRACE(byTheCloseBox ? "close box" : "cancel button");
        OpenedCube w("2");
        w.clock.advance(2 * kMinute - 1);
        EXPECT_EQ(w.countdown(), nullptr);
        w.clock.advance(1);
        QPointer<frmClose> f = w.countdown();
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->windowTitle(), "Auto Closing");
        EXPECT_EQ(f->cmdCancel->text(), "Cancel auto closing");
        EXPECT_EQ(f->lblAutoclose->text(), "Auto closing in 20 seconds. ");
        w.clock.advance(kSecond);
        EXPECT_EQ(f->lblAutoclose->text(), "Auto closing in 19 seconds. ");

        if (byTheCloseBox)
            f->close();
        else
            f->cmdCancel->click();
        flushDeletes();
        EXPECT_TRUE(f.isNull());
        EXPECT_FALSE(w.t.c->TimerAutoClose->isEnabled());
        w.clock.advance(30 * kMinute);
        EXPECT_EQ(w.countdown(), nullptr);
        ASSERT_TRUE(w.t.viewer);
        EXPECT_TRUE(w.t.viewer->isVisible());
        EXPECT_EQ(w.launcher.quits, 0);
        EXPECT_TRUE(w.prompts->prompts.isEmpty());
    }
}

// Nobody cancels: after the twentieth second the viewer closes, asking only whether to save, which
// answers No by itself, and the program ends through MatarApp.
TEST(AutoClose, TheCountdownRunsOutClosesTheViewerUnattendedAndEndsTheProgram) {
    OpenedCube w("1");
    w.t.viewer->Salvar = true;
    w.clock.advance(kMinute);
    QPointer<frmClose> f = w.countdown();
    ASSERT_NE(f, nullptr);
    bool wasUnattended = false;
    w.prompts->onAsk = [&](const bd::os::Prompt&) { wasUnattended = bd::os::unattended(); };
    w.clock.advance(19 * kSecond);
    EXPECT_EQ(f->lblAutoclose->text(), "Auto closing in 1 seconds. ");
    EXPECT_TRUE(w.t.viewer->isVisible());
    EXPECT_EQ(w.launcher.quits, 0);
    w.clock.advance(kSecond);
    EXPECT_EQ(w.launcher.quits, 1);
    ASSERT_EQ(w.prompts->prompts.size(), 1) << w.prompts->texts().join("; ").toStdString();
    const bd::os::Prompt& saveQuestion = w.prompts->prompts[0];
    EXPECT_EQ(saveQuestion.text, "Do you want to save the changes ?");
    EXPECT_EQ(saveQuestion.defaultAnswer, Answer::No);
    EXPECT_TRUE(wasUnattended);                // asked as a countdown box
    EXPECT_FALSE(bd::os::unattended());        // and only while the viewer closed
    EXPECT_TRUE(w.dialogs.requests.isEmpty()); // nothing saved
    EXPECT_FALSE(w.start.isVisible());
    flushDeletes();
    EXPECT_TRUE(w.t.viewer.isNull());
    EXPECT_TRUE(w.t.c.isNull());
    EXPECT_TRUE(f.isNull());
}

// The user closes the cube while its countdown runs: the countdown goes with it and ends nothing.
TEST(AutoClose, AViewerClosedFirstStopsItsCountdown) {
    OpenedCube w("1");
    w.clock.advance(kMinute + 5 * kSecond);
    QPointer<frmClose> f = w.countdown();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(w.t.viewer->close());
    EXPECT_FALSE(f && f->isVisible());
    w.clock.advance(kMinute);
    flushDeletes();
    EXPECT_TRUE(f.isNull());
    EXPECT_TRUE(w.t.viewer.isNull());
    EXPECT_EQ(w.launcher.quits, 0);
}

// A save the user wanted that did not happen keeps the cube open: the program must not end and lose it.
TEST(AutoClose, AViewerThatStaysOpenAfterAFailedSaveKeepsTheProgramRunning) {
    OpenedCube w("1");
    w.t.viewer->Salvar = true;
    w.prompts->answer(Answer::Yes); // someone was there after all; the Save dialog is then cancelled
    w.clock.advance(kMinute + 20 * kSecond);
    ASSERT_EQ(w.dialogs.requests.size(), 1);
    flushDeletes();
    ASSERT_TRUE(w.t.viewer);
    EXPECT_TRUE(w.t.viewer->isVisible());
    EXPECT_FALSE(w.t.viewer->carradoAutomatico);
    EXPECT_EQ(w.countdown(), nullptr);
    EXPECT_EQ(w.launcher.quits, 0);
    EXPECT_FALSE(bd::os::unattended());
}

TEST(MinutesBoxes, LosingTheFocusNormalisesTheTextAndStartsOrStopsTheTimer) {
    struct {
        QString typed, box;
        bool running;
        double minutes;
    } cases[] = {
        {"2.5", "25", true, 25}, {"2,5", "25", true, 25}, {"1.000", "1000", true, 1000},
        {" 7 ", "7", true, 7},   {"15", "15", true, 15},  {"abc", "0", false, 0},
        {"", "0", false, 0},     {"0", "0", false, 0},    {"-3", "0", false, 0},
        {"3-", "0", false, 0},   {"inf", "0", false, 0},  {"1e999", "0", false, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.typed.toStdString());
        Campos c;
        // Each box from a timer already running on 4 minutes.
        for (QLineEdit* box : {c.txtAutorefresh, c.txtAutoClose})
            box->setText("4");
        c.PrenderTimerAutorefresh();
        c.PrenderTimerAutoClose();
        c.txtAutorefresh->setText(k.typed);
        c.txtAutorefresh_LostFocus();
        c.txtAutoClose->setText(k.typed);
        c.txtAutoClose_LostFocus();
        EXPECT_EQ(c.txtAutorefresh->text(), k.box);
        EXPECT_EQ(c.txtAutoClose->text(), k.box);
        EXPECT_EQ(c.TimerAutoRefresh->isEnabled(), k.running);
        EXPECT_EQ(c.TimerAutoClose->isEnabled(), k.running);
        EXPECT_EQ(c.AutoRefreshMinutes, k.minutes);
        EXPECT_EQ(c.AutoCloseMinutes, k.minutes);
    }
}

// The boxes as a user meets them, under their captions: typing is an unsaved change of the cube (both minutes
// are saved with it), and leaving the box for another control applies it.
TEST(MinutesBoxes, TypingMarksTheCubeAndLeavingTheBoxAppliesIt) {
    for (bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "txtAutoClose" : "txtAutorefresh");
        TestCube t;
        QLineEdit* box = closing ? t.c->txtAutoClose : t.c->txtAutorefresh;
        bd::os::Timer* timer = closing ? t.c->TimerAutoClose : t.c->TimerAutoRefresh;
        auto* form = qobject_cast<QFormLayout*>(box->parentWidget()->layout());
        ASSERT_NE(form, nullptr);
        auto* label = qobject_cast<QLabel*>(form->labelForField(box));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), closing ? "Minutes to auto close" : "Minutes to auto data refresh");
        box->clear();
        t.viewer->Salvar = false;
        QTest::keyClicks(box, "2,5");
        EXPECT_TRUE(t.viewer->Salvar);
        QFocusEvent outside(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(box, &outside);
        EXPECT_EQ(box->text(), "25");
        EXPECT_TRUE(timer->isEnabled());
        // Leaving the window is no edit finished.
        box->setText("x");
        QFocusEvent window(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(box, &window);
        EXPECT_EQ(box->text(), "x");
    }
}

TEST(MinutesBoxes, TheNumericTestTakesSignsSeparatorsAndBlanks) {
    for (const char* numeric : {"15", " 15 ", "2.5", "2,5", "1,000.5", ".5", "-3", "+3", "3-", "1e3", "- 4"})
        EXPECT_TRUE(General::isNumeric(numeric)) << numeric;
    for (const char* no : {"", " ", "abc", "1a", "--3", "-3-", ".", ",", "e3", "1e", "inf", "nan"})
        EXPECT_FALSE(General::isNumeric(no)) << no;
}
