// The real process runner's time limit: a program past it is ended, not left running.
#include "platform/os/Process.h"

#include "common/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using namespace bd::os;

TEST(ProcessLimit, AProgramPastItsLimitIsKilledAndOneWithinItFinishes) {
    QTemporaryDir dir;
    const QString pidFile = dir.filePath("pid");
    QElapsedTimer t;
    t.start();
    ProcessResult r =
        RunProcess({"/bin/sh", {"-c", "echo $$ > \"$0\"; exec sleep 30", pidFile}, 500, {}, {}});
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.timedOut);
    EXPECT_FALSE(r.finished);
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_GE(t.elapsed(), 500);
    EXPECT_LT(t.elapsed(), 5000);
    const pid_t pid = pid_t(bd::test::readFile(pidFile).trimmed().toLongLong());
    ASSERT_GT(pid, 0);
    EXPECT_NE(::kill(pid, 0), 0) << "the program is still running";

    r = RunProcess({"/bin/sh", {"-c", "exit 3"}, 5000, {}, {}});
    EXPECT_TRUE(r.finished);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 3);
}
