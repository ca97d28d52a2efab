#pragma once
// A viewer and its designer linked as the viewer links them, without showing either, and the
// example cube's generator (its database and its cube file, made by the program's own save).
#include "designer/Campos.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include "common/TestSupport.h"
#include "platform/os/Clock.h"
#include "platform/os/Desktop.h"
#include "platform/os/FileWrites.h"
#include "platform/os/Prompter.h"

#include <QPointer>
#include <QString>
#include <gtest/gtest.h>

namespace bd::test {

// Replacing a saved file fails with failWith while it is set, as a full disk would; each target asked
// for is recorded.
struct ScriptedFileWrites : bd::os::FileWrites {
    QString failWith;
    QStringList targets;
    ScriptedFileWrites() { bd::os::setFileWrites(this); }
    ~ScriptedFileWrites() override { bd::os::setFileWrites(nullptr); }
    ScriptedFileWrites(const ScriptedFileWrites&) = delete;
    ScriptedFileWrites& operator=(const ScriptedFileWrites&) = delete;
    bool replace(const QString& temporary, const QString& target, QString* error) override {
        targets << target;
        if (failWith.isEmpty()) return FileWrites::replace(temporary, target, error);
        if (error) *error = failWith;
        return false;
    }
};

struct LinkedViewer {
    QPointer<Cubo> v;
    QPointer<Campos> c;
    QPointer<InsCube> cube;
    LinkedViewer();
    ~LinkedViewer();
    LinkedViewer(const LinkedViewer&) = delete;
    LinkedViewer& operator=(const LinkedViewer&) = delete;
};

// A private program folder with the shipped files, a scripted prompter and file dialog, a manual
// clock and a file seam that can make a save fail.
struct ViewerFixture : ::testing::Test {
    TempHome home{true};
    bd::os::ScopedPrompter prompts;
    bd::os::ScriptedFileDialogs dialogs;
    bd::os::ManualClock clock;
    ScriptedFileWrites writes;
    void SetUp() override { bd::os::setFileDialogs(&dialogs); }
    void TearDown() override { bd::os::setFileDialogs(nullptr); }
};

// Writes the example's SQLite database (deterministic rows) to path.
bool WriteExampleDatabase(const QString& path, QString* error);
// Rows of the example database as one text, for comparisons.
QString DumpDatabase(const QString& path);

// Fills a linked viewer with the example cube's definition, its settings and a pivot over the
// example database of the program folder ("APP_PATH").
bool FillExampleCube(LinkedViewer& w, QString* error);

// Makes Example.sqlite and Example.cub in folder (the program folder while it runs), through the
// cube's own save, with a fixed clock and machine id. The folder must be AppPath().
bool MakeExample(const QString& folder, QString* error);

} // namespace bd::test
