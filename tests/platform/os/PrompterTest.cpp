#include "platform/os/Prompter.h"

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
