// The scheduler's command lines as strings (the interface to the task scheduler), split into
// arguments as the tool splits them; the hour and minute boxes' rule; the names and paths a task can
// carry.
#include "publishing/Scheduler.h"

#include <gtest/gtest.h>

namespace sched = bd::publishing;

namespace {
QString days(std::initializer_list<int> ticked) {
    QString out;
    for (int i : ticked)
        sched::Concatena(out, sched::DayCodes[i]);
    return out;
}
} // namespace

TEST(SchedulerCommands, TheCommandLinesAndTheArgumentsTheyGive) {
    enum { Mon, Tue, Wed, Thu, Fri, Sat, Sun };
    const struct Case {
        const char* name;
        QString id;
        QString days;
        QString hour, minute, cube;
        QString create;
        QString remove;
        QStringList args; // of the create line, the tool's name first
    } cases[] = {
        {"a two-word id",
         "Weekly Sales",
         days({Mon, Fri}),
         "07",
         "05",
         "/home/ana/Sales.cub",
         R"(SchTasks /Create /SC WEEKLY /D MON,FRI /TN "Weekly_Sales"  /ST 07:05 /TR "\"/home/ana/Sales.cub\")",
         R"(schtasks /delete /tn "Weekly_Sales" /f)",
         {"SchTasks", "/Create", "/SC", "WEEKLY", "/D", "MON,FRI", "/TN", "Weekly_Sales", "/ST", "07:05",
          "/TR", "\"/home/ana/Sales.cub\""}},
        {"every day",
         "CubeTask",
         days({Mon, Tue, Wed, Thu, Fri, Sat, Sun}),
         "22",
         "00",
         "/c.cub",
         R"(SchTasks /Create /SC WEEKLY /D MON,TUE,WED,THU,FRI,SAT,SUN /TN "CubeTask"  /ST 22:00 /TR "\"/c.cub\")",
         R"(schtasks /delete /tn "CubeTask" /f)",
         {"SchTasks", "/Create", "/SC", "WEEKLY", "/D", "MON,TUE,WED,THU,FRI,SAT,SUN", "/TN", "CubeTask",
          "/ST", "22:00", "/TR", "\"/c.cub\""}},
        {"Sunday alone",
         "a",
         days({Sun}),
         "00",
         "59",
         "/c.cub",
         R"(SchTasks /Create /SC WEEKLY /D SUN /TN "a"  /ST 00:59 /TR "\"/c.cub\")",
         R"(schtasks /delete /tn "a" /f)",
         {"SchTasks", "/Create", "/SC", "WEEKLY", "/D", "SUN", "/TN", "a", "/ST", "00:59", "/TR",
          "\"/c.cub\""}},
        {"a path with blanks is one argument",
         "Two  blanks",
         days({Tue, Sat}),
         "12",
         "30",
         "/home/ana/My Cubes/Q1 sales.cub",
         R"(SchTasks /Create /SC WEEKLY /D TUE,SAT /TN "Two__blanks"  /ST 12:30 /TR "\"/home/ana/My Cubes/Q1 sales.cub\")",
         R"(schtasks /delete /tn "Two__blanks" /f)",
         {"SchTasks", "/Create", "/SC", "WEEKLY", "/D", "TUE,SAT", "/TN", "Two__blanks", "/ST", "12:30",
          "/TR", "\"/home/ana/My Cubes/Q1 sales.cub\""}},
        {"a backslash in the path stands as it is",
         "t",
         days({Wed}),
         "01",
         "02",
         R"(/data/a\b.cub)",
         R"(SchTasks /Create /SC WEEKLY /D WED /TN "t"  /ST 01:02 /TR "\"/data/a\b.cub\")",
         R"(schtasks /delete /tn "t" /f)",
         {"SchTasks", "/Create", "/SC", "WEEKLY", "/D", "WED", "/TN", "t", "/ST", "01:02", "/TR",
          R"("/data/a\b.cub")"}},
        {"no day is refused",
         "CubeTask",
         days({}),
         "22",
         "00",
         "/c.cub",
         QString(),
         R"(schtasks /delete /tn "CubeTask" /f)",
         {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const QString name = sched::TaskName(k.id);
        const QString create = sched::CreateCommand(k.days, name, k.hour, k.minute, k.cube);
        EXPECT_EQ(create, k.create);
        EXPECT_EQ(sched::DeleteCommand(name), k.remove);
        EXPECT_EQ(sched::SplitArguments(create), k.args);
        EXPECT_EQ(sched::SplitArguments(k.remove), (QStringList{"schtasks", "/delete", "/tn", name, "/f"}));
    }
    EXPECT_EQ(sched::QueryCommand(), "schtasks /query");
}

TEST(SchedulerCommands, SplittingFollowsTheToolsBackslashAndQuoteRules) {
    const struct {
        QString line;
        QStringList args;
    } cases[] = {
        {R"(a "b c" d)", {"a", "b c", "d"}},
        {R"(a\\"b c")", {R"(a\b c)"}},     // two backslashes give one and open quoting
        {R"(a\\\"b c)", {R"(a\"b)", "c"}}, // three give one and a literal quote
        {R"(a\b   "" x)", {R"(a\b)", "", "x"}},
        {"\ttab\targs  ", {"tab", "args"}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.line.toStdString());
        EXPECT_EQ(sched::SplitArguments(k.line), k.args);
    }
}

TEST(SchedulerCommands, ValidarNumero) {
    const struct {
        QString typed, kept;
    } cases[] = {
        {"7", "07"},  {"07", "07"},  {"1.5", "15"},  {"1,5", "15"},  {"2.", "02"},      {"25", "25"},
        {"75", "75"}, {"abc", "00"}, {"", "00"},     {" ", "00"},    {"12:30", "00"},   {".", "00"},
        {"-3", "-3"}, {"+5", "+5"},  {" 9 ", " 9 "}, {"1e1", "1e1"}, {"1,000", "1000"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.typed.toStdString());
        EXPECT_EQ(sched::ValidarNumero(k.typed), k.kept);
    }
}

TEST(SchedulerCommands, NamesAndPathsATaskCanCarry) {
    for (const QString ok : {"CubeTask", "Weekly_Sales", "ventas-año.2026", "(a)"})
        EXPECT_TRUE(sched::IsValidTaskName(ok)) << ok.toStdString();
    for (const QString bad :
         {"", "a\"b", "a\\", "a/b", "a:b", "a*", "a?", "a<b", "a>b", "a|b", "50%", "a\nb", "a\tb"})
        EXPECT_FALSE(sched::IsValidTaskName(bad)) << bad.toStdString();
    EXPECT_TRUE(sched::IsSchedulablePath("/home/ana/My Cubes/it's 50%.cub"));
    for (const QString bad : {"/a\"b.cub", "/a\nb.cub", "/a\rb.cub"})
        EXPECT_FALSE(sched::IsSchedulablePath(bad)) << bad.toStdString();
}
