// The seams that let windows run headless: clock and timers, dialogs, processes, registry, settings.
#include "common/TestSupport.h"
#include "platform/os/Clock.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Process.h"
#include "platform/os/Registry.h"
#include "platform/os/Settings.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace bd::os;

TEST(ManualClockTimers, FireInTimeOrderOnlyWhenAdvanced) {
    ManualClock clock;
    QStringList fired;
    Timer minute(nullptr, 60000), wait(nullptr, 1000);
    wait.setSingleShot(true);
    QObject::connect(&minute, &Timer::timeout,
                     [&] { fired << "minute@" + QString::number(clock.now().time().minute()); });
    QObject::connect(&wait, &Timer::timeout, [&] { fired << "wait"; });
    minute.setEnabled(true);
    wait.setEnabled(true);
    clock.advance(999);
    EXPECT_TRUE(fired.isEmpty());
    clock.advance(120000);
    EXPECT_EQ(fired, QStringList({"wait", "minute@31", "minute@32"}));
    EXPECT_FALSE(wait.isEnabled());
    EXPECT_EQ(Now(), clock.now());
}

TEST(DialogRunnerSeam, HandlerFillsAndAccepts) {
    QDialog dlg;
    auto* edit = new QLineEdit(&dlg);
    edit->setObjectName("txtPass");
    ScopedDialogHandler h([](QDialog* d) {
        d->findChild<QLineEdit*>("txtPass")->setText("secret");
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(runDialog(&dlg), QDialog::Accepted);
    EXPECT_EQ(edit->text(), "secret");
    EXPECT_FALSE(dlg.isVisible());
}

TEST(ProcessSeam, RealRunnerPassesArgumentsWithoutAShellAndRecorderRecords) {
    ProcessResult r = RunProcess({"/bin/echo", {"a b", "$HOME;", "'q'"}, 5000, {}, {}});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.standardOutput, "a b $HOME; 'q'\n");
    EXPECT_FALSE(RunProcess({"/no/such/program", {}, 1000, {}, {}}).started);

    RecordingProcessRunner rec;
    setProcessRunner(&rec);
    RunProcess({"curl", {"-F", "myfile=@x"}, 0, {}, {}});
    setProcessRunner(nullptr);
    ASSERT_EQ(rec.requests.size(), 1);
    EXPECT_EQ(rec.requests[0].arguments, QStringList({"-F", "myfile=@x"}));
}

TEST(RegistryLayer, KeysAreCaseInsensitiveAndPersist) {
    bd::test::TempHome home(false);
    {
        FileRegistry r;
        EXPECT_TRUE(r.setValue("HKEY_CLASSES_ROOT\\Cubefile\\DefaultIcon", "", "x,0"));
        EXPECT_TRUE(r.setValue("HKEY_CLASSES_ROOT\\Glimford.UISizeBar\\CLSID", "", "{1}"));
    }
    FileRegistry r;
    EXPECT_EQ(r.value("hkey_classes_root\\cubefile\\defaulticon").value_or(""), "x,0");
    EXPECT_TRUE(r.keyExists("HKEY_CLASSES_ROOT\\Cubefile"));
    EXPECT_FALSE(r.value("HKEY_CLASSES_ROOT\\Cubefile\\DefaultIcon", "other").has_value());
    EXPECT_TRUE(r.deleteKey("HKEY_CLASSES_ROOT\\Cubefile"));
    EXPECT_FALSE(r.keyExists("HKEY_CLASSES_ROOT\\Cubefile\\DefaultIcon"));
    EXPECT_TRUE(r.keyExists("HKEY_CLASSES_ROOT\\Glimford.UISizeBar"));
}

TEST(SettingsStore, OnlyFoldersTheProgramCreatesArePrivate) {
    const QByteArray old = qgetenv("BRINTOVA_CONFIG");
    QTemporaryDir dir;
    const QString existing = dir.filePath("shared");
    ASSERT_TRUE(QDir().mkdir(existing));
    const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                      QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                      QFileDevice::ExeOther;
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    auto mode = [](const QString& p) {
        return QFile::permissions(p) &
               ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    };
    ASSERT_TRUE(QFile::setPermissions(existing, open));
    qputenv("BRINTOVA_CONFIG", existing.toLocal8Bit());
    bd::os::SaveSetting("OE", "CUBO", "ULTIMO", "/a.cub");
    EXPECT_EQ(mode(existing), open) << "a folder the user named keeps its rights";
    EXPECT_EQ(bd::os::GetSetting("OE", "CUBO", "ULTIMO"), "/a.cub");

    const QString fresh = dir.filePath("new/config");
    qputenv("BRINTOVA_CONFIG", fresh.toLocal8Bit());
    bd::os::SaveSetting("OE", "CUBO", "ULTIMO", "/b.cub");
    EXPECT_EQ(mode(fresh), owner);
    EXPECT_EQ(mode(dir.filePath("new")), owner);
    qputenv("BRINTOVA_CONFIG", old);
}
