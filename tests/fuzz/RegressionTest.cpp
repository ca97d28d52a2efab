// Every committed fuzz input (the seeds and the findings kept as regression cases) run through its
// harness in the ordinary build: a fixed finding stays fixed.
#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

class FuzzCorpus : public ::testing::TestWithParam<bd::fuzz::Target> {};

TEST_P(FuzzCorpus, EveryInputKeepsTheReadersContract) {
    bd::fuzz::initProcess();
    bd::fuzz::setFailureThrows(true);
    const bd::fuzz::Target t = GetParam();
    const QDir dir(QStringLiteral(BD_FUZZ_CORPUS) + '/' + t.name);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    EXPECT_FALSE(files.isEmpty()) << "no corpus for " << t.name;
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = f.readAll();
        try {
            t.run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
        } catch (const bd::fuzz::Finding& finding) {
            ADD_FAILURE() << t.name << '/' << name.toStdString() << ": " << finding.what.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, FuzzCorpus, ::testing::ValuesIn(bd::fuzz::targets()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
