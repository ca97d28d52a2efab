#include "FuzzSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace bd::fuzz {
namespace {

bool g_throws = false;
QString g_scratch;

} // namespace

const std::vector<Target>& targets() {
    static const std::vector<Target> list = {
        {"cube_file", cubeFile},
        {"cube_data", cubeData},
        {"grid_file", gridFile},
        {"pivot_layout", pivotLayout},
        {"import_csv", importCsv},
        {"import_xlsx", importXlsx},
        {"import_xls", importXls},
        {"import_mdb", importMdb},
        {"connection_string", connectionString},
        {"user_filter", userFilter},
        {"chart_catalogue", chartCatalogue},
        {"language_texts", languageTexts},
    };
    return list;
}

void fail(const QString& what) {
    if (g_throws) throw Finding{what};
    std::fprintf(stderr, "\n== fuzz contract broken: %s\n", what.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

void setFailureThrows(bool on) {
    g_throws = on;
}

void initProcess() {
    if (!g_scratch.isEmpty()) return;
    const QByteArray base = qEnvironmentVariableIsEmpty("TMPDIR") ? QByteArray("/tmp") : qgetenv("TMPDIR");
    QByteArray pattern = base + "/bd-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    // The canonical path: the write guard compares resolved paths against it.
    g_scratch = QDir(QString::fromLocal8Bit(pattern)).canonicalPath();
    const QDir s(g_scratch);
    for (const char* sub : {"home", "config", "data", "user", "cache", "runtime", "tmp"})
        s.mkpath(sub);
    QFile::setPermissions(s.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QPair<const char*, const char*> env[] = {
        {"BRINTOVA_HOME", "home"}, {"BRINTOVA_CONFIG", "config"},  {"BRINTOVA_DATA", "data"},
        {"HOME", "user"},          {"XDG_CACHE_HOME", "cache"},    {"XDG_CONFIG_HOME", "config"},
        {"XDG_DATA_HOME", "data"}, {"XDG_RUNTIME_DIR", "runtime"}, {"TMPDIR", "tmp"},
    };
    for (const auto& [name, sub] : env)
        qputenv(name, QFile::encodeName(s.filePath(sub)));
    std::atexit([] { QDir(g_scratch).removeRecursively(); });
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The application lives as long as the process, as the program's does. It gets arguments of
        // its own: it would take the ones it knows out of the fuzzer's.
        static int qtArgc = 1;
        static char name[] = "bd-fuzz";
        static char* qtArgv[] = {name, nullptr};
        static auto* app = new QApplication(qtArgc, qtArgv);
        (void)app;
    }
}

QString scratchDir() {
    return g_scratch;
}

QString homeDir() {
    return g_scratch + "/home";
}

QString writeScratch(const QString& name, const QByteArray& bytes) {
    const QString path = g_scratch + '/' + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        fail("the harness cannot write its scratch file " + path);
    return path;
}

QString unescape(const QString& part) {
    QString out;
    out.reserve(part.size());
    for (int i = 0; i < part.size(); ++i) {
        const QChar c = part[i];
        if (c != '\\' || i + 1 == part.size()) {
            out += c;
            continue;
        }
        const QChar n = part[++i];
        out += n == 'n'   ? QChar('\n')
               : n == 't' ? QChar('\t')
               : n == 'r' ? QChar('\r')
               : n == '0' ? QChar(0)
                          : n;
    }
    return out;
}

QStringList splitLines(const QByteArray& input) {
    return QString::fromUtf8(input).split('\n');
}

} // namespace bd::fuzz
