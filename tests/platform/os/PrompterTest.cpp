#include "platform/os/Prompter.h"

#include <QAbstractButton>
#include <QApplication>
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
    Prompt guardar{"Save?", "Save", Buttons::YesNo, Icon::None, Answer::No};
    EXPECT_EQ(MsgBox(guardar), Answer::No);
    EXPECT_EQ(MsgBox(Prompt{"Done.", "Ok", Buttons::Ok, Icon::None, Answer::No}), Answer::Ok);
    EXPECT_EQ(MsgBox("Save?", Buttons::YesNo), Answer::Yes);
    EXPECT_EQ(defaultAnswer(guardar), Answer::No);
}

namespace {
// Acts on the message box the widget prompter shows, once it is up; ends a box left open.
struct AlAparecer {
    QObject ctx;
    explicit AlAparecer(std::function<void(QMessageBox*)> f) {
        QTimer::singleShot(0, &ctx, [f] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) f(box);
        });
        QTimer::singleShot(15000, &ctx, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->reject();
        });
    }
};

struct Desatendido {
    explicit Desatendido(int seconds) { setUnattended(true, seconds); }
    ~Desatendido() { setUnattended(false); }
};
} // namespace

TEST(WidgetPrompter, ThePromptsDefaultIsTheBoxsDefaultButton) {
    WidgetPrompter w;
    QString predeterminado;
    AlAparecer al([&](QMessageBox* box) {
        predeterminado = box->defaultButton()->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(w.ask(Prompt{"Save?", "Save", Buttons::YesNo, Icon::None, Answer::No}), Answer::No);
    EXPECT_EQ(predeterminado.remove('&'), "No");
}

TEST(WidgetPrompter, UnattendedTheBoxCountsDownToItsOwnDefault) {
    Desatendido d(1);
    WidgetPrompter w;
    QString cuenta;
    AlAparecer al([&](QMessageBox* box) { cuenta = box->defaultButton()->text().remove('&'); });
    testing::internal::CaptureStderr();
    const Answer a =
        w.ask(Prompt{"Do you want to save the changes ?", "Save", Buttons::YesNo, Icon::None, Answer::No});
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(a, Answer::No);
    EXPECT_EQ(cuenta, "No (1)");
    EXPECT_NE(err.find("Save: Do you want to save the changes ?"), std::string::npos) << err;
}

// With no countdown the box is not shown at all: shown after its answer, it would wait for ever.
TEST(WidgetPrompter, UnattendedWithoutACountdownAnswersAtOnce) {
    Desatendido d(0);
    WidgetPrompter w;
    bool mostrada = false;
    AlAparecer al([&](QMessageBox*) { mostrada = true; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(w.ask(Prompt{"Go on?", "Run", Buttons::YesNo, Icon::None, Answer::No}), Answer::No);
    EXPECT_EQ(w.ask(Prompt{"Go on?", "Run", Buttons::OkCancel, Icon::None, std::nullopt}), Answer::Ok);
    testing::internal::GetCapturedStderr();
    QCoreApplication::processEvents();
    EXPECT_FALSE(mostrada);
}
