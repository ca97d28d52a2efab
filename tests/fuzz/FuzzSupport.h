#pragma once
// What the fuzz harnesses share: the list of harnesses, how a broken contract is reported, the scratch
// folder that is the only place a harness writes, and the splitting of an input into parts.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bd::fuzz {

// One reader's harness: runs one input through the program's own entry point and checks the reader's
// contract, reporting a broken one through require().
using Harness = void (*)(const uint8_t* data, size_t size);

void cubeFile(const uint8_t* data, size_t size);
void cubeData(const uint8_t* data, size_t size);
void gridFile(const uint8_t* data, size_t size);
void pivotLayout(const uint8_t* data, size_t size);
void importCsv(const uint8_t* data, size_t size);
void importXlsx(const uint8_t* data, size_t size);
void importXls(const uint8_t* data, size_t size);
void importMdb(const uint8_t* data, size_t size);
void connectionString(const uint8_t* data, size_t size);
void userFilter(const uint8_t* data, size_t size);
void chartCatalogue(const uint8_t* data, size_t size);
void languageTexts(const uint8_t* data, size_t size);

struct Target {
    const char* name; // also the corpus folder's name and the fuzzer's ("fuzz_<name>")
    Harness run;
};
const std::vector<Target>& targets();

// A broken contract. The fuzzer aborts on it (a finding, with the input saved); the regression test
// has it thrown as a Finding and reports it.
[[noreturn]] void fail(const QString& what);
inline void require(bool ok, const char* what) {
    if (!ok) fail(QString::fromUtf8(what));
}
struct Finding {
    QString what;
};
void setFailureThrows(bool on);

// Sets up the process once: a private scratch folder holding the program folder, configuration,
// home, caches and temporary files, and a QApplication on the offscreen platform when there is none.
void initProcess();
// The scratch folder and the program folder inside it (BRINTOVA_HOME).
QString scratchDir();
QString homeDir();
// Writes bytes to a file in the scratch folder (replacing it) and returns its path.
QString writeScratch(const QString& name, const QByteArray& bytes);

// An input cut into parts: lines, with "\n", "\t" and "\\" in a part read as the characters they
// name, so a seed stays readable and a part can still hold any character.
QStringList splitLines(const QByteArray& input);
QString unescape(const QString& part);

} // namespace bd::fuzz
