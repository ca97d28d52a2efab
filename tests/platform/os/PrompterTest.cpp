#include "platform/os/Prompter.h"

#include "platform/os/DialogRunner.h"
#include "platform/os/WindowTitle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace bd::os;

TEST(Prompter, ScriptedRecordsAndAnswersInOrder) {
    ScopedPrompter p;
    p->answer(Answer::No);
    EXPECT_EQ(MsgBox("Save?", Buttons::YesNo, Icon::Question, "Save"), Answer::No);
    // Queue empty: the box's first button.
    EXPECT_EQ(MsgBox("Again?", Buttons::YesNoCancel, Icon::Question, "Save"), Answer::Yes);
    ASSERT_EQ(p->prompts.size(), 2);
    EXPECT_EQ(p->prompts[0].title, "Save");
    EXPECT_EQ(p->prompts[0].icon, Icon::Question);
    EXPECT_EQ(p->texts(), QStringList({"Save?", "Again?"}));
}

// A prompt may name its own default; one that is none of its buttons falls back to the first.
TEST(Prompter, APromptsOwnDefaultIsWhatNobodyAnsweringGives) {
    ScopedPrompter p;
    Prompt savePrompt{"Save?", "Save", Buttons::YesNo, Icon::None, Answer::No};
    EXPECT_EQ(MsgBox(savePrompt), Answer::No);
    EXPECT_EQ(MsgBox(Prompt{"Done.", "Ok", Buttons::Ok, Icon::None, Answer::No}), Answer::Ok);
    EXPECT_EQ(MsgBox("Save?", Buttons::YesNo), Answer::Yes);
    EXPECT_EQ(defaultAnswer(savePrompt), Answer::No);
}

namespace {
// Acts on the message box the widget prompter shows, once it is up; ends a box left open.
struct OnShow {
    QObject ctx;
    explicit OnShow(std::function<void(QMessageBox*)> f) {
        QTimer::singleShot(0, &ctx, [f] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) f(box);
        });
        QTimer::singleShot(15000, &ctx, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->reject();
        });
    }
};

struct Unattended {
    explicit Unattended(int seconds) { setUnattended(true, seconds); }
    ~Unattended() { setUnattended(false); }
};
} // namespace

TEST(WidgetPrompter, ThePromptsDefaultIsTheBoxsDefaultButton) {
    WidgetPrompter w;
    QString defaultText;
    OnShow onShow([&](QMessageBox* box) {
        defaultText = box->defaultButton()->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(w.ask(Prompt{"Save?", "Save", Buttons::YesNo, Icon::None, Answer::No}), Answer::No);
    EXPECT_EQ(defaultText.remove('&'), "No");
}

TEST(WidgetPrompter, UnattendedTheBoxCountsDownToItsOwnDefault) {
    Unattended d(1);
    WidgetPrompter w;
    QString countdownText;
    OnShow onShow([&](QMessageBox* box) { countdownText = box->defaultButton()->text().remove('&'); });
    testing::internal::CaptureStderr();
    const Answer a =
        w.ask(Prompt{"Do you want to save the changes ?", "Save", Buttons::YesNo, Icon::None, Answer::No});
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(a, Answer::No);
    EXPECT_EQ(countdownText, "No (1)");
    EXPECT_NE(err.find("Save: Do you want to save the changes ?"), std::string::npos) << err;
}

// With no countdown the box is not shown at all: shown after its answer, it would wait for ever.
TEST(WidgetPrompter, UnattendedWithoutACountdownAnswersAtOnce) {
    Unattended d(0);
    WidgetPrompter w;
    bool wasShown = false;
    OnShow onShow([&](QMessageBox*) { wasShown = true; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(w.ask(Prompt{"Go on?", "Run", Buttons::YesNo, Icon::None, Answer::No}), Answer::No);
    EXPECT_EQ(w.ask(Prompt{"Go on?", "Run", Buttons::OkCancel, Icon::None, std::nullopt}), Answer::Ok);
    testing::internal::GetCapturedStderr();
    QCoreApplication::processEvents();
    EXPECT_FALSE(wasShown);
}

namespace {
// The program's name, as the title bars show it after each title.
struct ProgramName {
    QString previous = QGuiApplication::applicationDisplayName();
    ProgramName() { QGuiApplication::setApplicationDisplayName("Brintova Deridoro"); }
    ~ProgramName() { QGuiApplication::setApplicationDisplayName(previous); }
};
int titleWidth(const QString& shown) {
    QFont f = QApplication::font("QMdiSubWindowTitleBar");
    f.setBold(true);
    return QFontMetrics(f).horizontalAdvance(shown);
}
} // namespace

// A short message and a small dialog are still wide enough for the title bar to show the title and
// the program's name whole.
TEST(WindowTitles, SmallBoxesAndDialogsShowTheirWholeTitle) {
    ProgramName programName;
    WidgetPrompter w;
    int boxWidth = 0;
    QString shownText;
    OnShow onShow([&](QMessageBox* box) {
        boxWidth = box->width();
        shownText = shownTitle(box);
        box->accept();
    });
    w.ask(Prompt{"Done.", "You are not connected", Buttons::Ok, Icon::Information, std::nullopt});
    EXPECT_EQ(shownText, "You are not connected \u2014 Brintova Deridoro");
    EXPECT_GT(boxWidth, titleWidth(shownText));

    QDialog dlg;
    dlg.setWindowTitle("Field Properties");
    new QLineEdit(&dlg);
    int dialogWidth = 0;
    ScopedDialogHandler h([&](QDialog* d) {
        dialogWidth = d->width();
        return int(QDialog::Rejected);
    });
    runDialog(&dlg);
    EXPECT_GT(dialogWidth, titleWidth("Field Properties \u2014 Brintova Deridoro"));
    // A title that already ends with the program's name is shown as it is.
    dlg.setWindowTitle("Brintova Deridoro");
    EXPECT_EQ(shownTitle(&dlg), "Brintova Deridoro");
}
