// Refresh benchmark: the refresh a user runs in the designer (the query read into columns, the
// definition applied, the pivot computed and shown). Run (from the checkout):
//   cmake --build build --target bench_refresh && build/bench/bench_refresh
// Optional argument: the SQLite row count (default 10000000). Environment: BENCH_RUNS (default 3),
// BENCH_DIR (where the SQLite tables are kept, default /tmp), BENCH_SERVER_ROWS (default 1000000),
// and the test servers' BD_TEST_MYSQL_* and BD_TEST_PGSQL_* variables (HOST, PORT, USER, PASSWORD, DB).
//
// It prints the best and the median of the runs of:
//   SQLite      the refresh over the pivot bench's sales table (target 2.5 s at 10 million rows), and
//               the read into columns on its own
//   MariaDB     over a table of the same rows on each server (made once, kept while its row count is
//   PostgreSQL  right): the server's own command-line client reading the rows to /dev/null, timed as
//               a whole command, beside the read into columns and the refresh through the native
//               driver and through ODBC (target: as fast as the client or faster). The client and the
//               readers take turns run by run, so a machine busy with other work weighs on each alike.
// A server that is not configured or not reachable is skipped with a line.
#include "SalesTable.h"
#include "designer/Campos.h"
#include "platform/db/ColumnReader.h"
#include "platform/db/Connection.h"
#include "platform/os/Prompter.h"
#include "platform/pivot/PivotTable.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include "BenchTiming.h"

#include <QApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

using bench::Clock;
using bench::median;
using bench::ms;

namespace {

const QString kColumns = QStringLiteral("region, product, year, month, amount, qty");

struct Figure {
    double best = 0, median = 0;
    bool ok = false;
};

// Runs f (true = it worked) runs times; the best and the median of the times.
Figure timeRuns(int runs, const std::function<bool()>& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        if (!f()) return {};
        times.push_back(ms(a, Clock::now()));
    }
    return {*std::min_element(times.begin(), times.end()), median(times), true};
}

// Times of one kind of run, taken in turn with others.
struct Series {
    std::vector<double> times;
    bool ok = true;
    void time(const std::function<bool()>& f) {
        if (!ok) return;
        const auto a = Clock::now();
        ok = f();
        times.push_back(ms(a, Clock::now()));
    }
    Figure figure() const {
        if (!ok || times.empty()) return {};
        return {*std::min_element(times.begin(), times.end()), median(times), true};
    }
};

void printFigure(const char* what, const Figure& f, double reference = 0) {
    if (!f.ok) {
        std::printf("  %-34s failed\n", what);
        return;
    }
    std::printf("  %-34s %9.1f ms  (median %.1f)", what, f.best, f.median);
    if (reference > 0) std::printf("  = %.2f x the client", f.best / reference);
    std::printf("\n");
    std::fflush(stdout);
}

// A viewer, its designer and its cube object wired as the program wires them, with the definition
// of the sales table: four dimensions, two measures; region on the rows and year on the columns.
class RefreshRig {
public:
    RefreshRig(const QString& connectionString, const QString& sql) {
        viewer_->VinsCube = cube_;
        viewer_->Vcampos = campos_;
        campos_->VinsCube = cube_;
        campos_->VCubo = viewer_;
        cube_->CubeConnectionString = connectionString;
        campos_->txtConeccion->setPlainText(connectionString);
        cube_->CubeSqlQuery = sql;
        campos_->txtQuery->setPlainText(sql);
        const QStringList dims = {"region", "product", "year", "month"};
        for (int r = 0; r < dims.size(); ++r) {
            campos_->spCam->setText(DefinitionGrids::ColCampo, r + 1, dims[r]);
            campos_->spCam->setText(DefinitionGrids::ColDimension, r + 1, "1");
        }
        const QStringList measures = {"amount", "qty"};
        for (int r = 0; r < measures.size(); ++r) {
            campos_->spCal->setText(DefinitionGrids::ColMedida, r + 1, measures[r]);
            campos_->spCal->setText(DefinitionGrids::ColVisible, r + 1, "1");
            campos_->spCal->setText(DefinitionGrids::ColAgregado, r + 1, "Sum");
        }
        viewer_->resize(1200, 800);
    }
    ~RefreshRig() { delete viewer_.data(); }

    // The definition loaded into the viewer (a first read), then the layout a user would keep.
    bool load() {
        bd::os::setPrompter(&prompter_); // rigs that take turns each hear their own messages
        campos_->Recarga = true;
        campos_->CargarDefinicionEnCubo();
        bd::pivot::PivotTable& dc = *viewer_->DC;
        if (dc.resultRows() == 0) return false;
        dc.fields().item("region")->setOrientation(bd::pivot::RowArea);
        dc.fields().item("year")->setOrientation(bd::pivot::ColumnArea);
        dc.recalculate();
        return failures() == 0;
    }
    bool refresh(size_t rows) {
        bd::os::setPrompter(&prompter_);
        campos_->Refrescar();
        viewer_->DC->viewport()->repaint();
        QCoreApplication::processEvents();
        return failures() == 0 && viewer_->DC->data() && viewer_->DC->data()->rowCount == rows &&
               viewer_->DC->isVisible();
    }

private:
    int failures() {
        const int n = int(prompter_.prompts.size());
        for (const auto& p : prompter_.prompts)
            std::printf("  (message: %s)\n", qPrintable(p.text.left(300)));
        prompter_.prompts.clear();
        return n;
    }
    struct Prompter {
        bd::os::ScriptedPrompter p;
        Prompter() { bd::os::setPrompter(&p); }
        ~Prompter() { bd::os::setPrompter(nullptr); }
    } guard_;
    bd::os::ScriptedPrompter& prompter_ = guard_.p;
    QPointer<Cubo> viewer_ = new Cubo;
    QPointer<Campos> campos_ = new Campos;
    QPointer<InsCube> cube_ = new InsCube;
};

// The read into columns alone: true when it gave the rows.
bool readOnce(const char* label, const QString& cs, const QString& sql, size_t rows) {
    bd::db::ColumnarResult r;
    QString error;
    if (!bd::db::readColumns(cs, sql, r, &error)) {
        std::printf("  (%s: %s)\n", label, qPrintable(error));
        return false;
    }
    return r.rowCount == rows;
}

// The read into columns alone, then the refresh through the designer.
void readAndRefresh(const char* label, const QString& cs, const QString& sql, size_t rows, int runs,
                    double reference) {
    const Figure read = timeRuns(runs, [&] { return readOnce(label, cs, sql, rows); });
    printFigure(qPrintable(QStringLiteral("%1: read into columns").arg(label)), read, reference);
    RefreshRig rig(cs, sql);
    if (!rig.load()) {
        std::printf("  %s: the definition could not be loaded\n", label);
        return;
    }
    const Figure refresh = timeRuns(runs, [&] { return rig.refresh(rows); });
    printFigure(qPrintable(QStringLiteral("%1: refresh, pivot shown").arg(label)), refresh, reference);
}

// ---- servers ----

struct ServerKind {
    const char* title;  // "MariaDB"
    const char* prefix; // of the environment variables
    const char* qtDriver;
    const char* nativeProvider;
    const char* odbcProvider;
};

struct Server {
    ServerKind kind;
    QString host, user, password, db;
    int port = 0;
};

std::optional<Server> server(const ServerKind& kind) {
    const QString p = QString::fromLatin1(kind.prefix);
    auto env = [&](const char* key) { return qEnvironmentVariable(("BD_TEST_" + p + "_" + key).toLatin1()); };
    Server s{kind, {}, {}, {}, {}, 0};
    s.host = env("HOST");
    if (s.host.isEmpty()) return std::nullopt;
    s.port = env("PORT").toInt();
    s.user = env("USER");
    s.password = env("PASSWORD");
    s.db = env("DB");
    return s;
}

QString connectionString(const Server& s, const char* provider) {
    return QStringLiteral("%1Server=%2;Port=%3;Database=%4;User ID=%5;Password=%6")
        .arg(QLatin1String(provider), s.host)
        .arg(s.port)
        .arg(s.db, s.user, s.password);
}

QString serverTable(size_t n) {
    if (n % 1000000 == 0) return QStringLiteral("bench_sales_%1m").arg(n / 1000000);
    return QStringLiteral("bench_sales_%1").arg(n);
}

// Makes the table of n sales rows unless it is there with n rows. "" or the reason it failed.
QString ensureServerTable(const Server& s, const QString& table, size_t n) {
    const QString name = QStringLiteral("bench-setup-%1").arg(s.kind.prefix);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(s.kind.qtDriver, name);
        db.setHostName(s.host);
        db.setPort(s.port);
        db.setUserName(s.user);
        db.setPassword(s.password);
        db.setDatabaseName(s.db);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (q.exec("SELECT count(*) FROM " + table) && q.next() && q.value(0).toULongLong() == n) {
                // kept from an earlier run
            } else {
                std::printf("  making %s (%zu rows) ...\n", qPrintable(table), n);
                std::fflush(stdout);
                const QString tmp = table + "_part";
                QStringList stmts = {"DROP TABLE IF EXISTS " + tmp,
                                     "CREATE TABLE " + tmp +
                                         " (region VARCHAR(16), product VARCHAR(16), year INTEGER, "
                                         "month INTEGER, amount DOUBLE PRECISION, qty INTEGER)"};
                for (const QString& st : stmts)
                    if (!q.exec(st)) error += q.lastError().text();
                constexpr int kRowsPerInsert = 2000;
                QString values;
                int pending = 0;
                auto flush = [&] {
                    if (pending == 0 || !error.isEmpty()) return;
                    if (!q.exec("INSERT INTO " + tmp + " VALUES " + values)) error = q.lastError().text();
                    values.clear();
                    pending = 0;
                };
                db.transaction();
                forEachSalesRow(n, [&](const char* region, const char* product, int year, int month,
                                       double amount, int qty) {
                    if (pending) values += ',';
                    values += QStringLiteral("('%1','%2',%3,%4,%5,%6)")
                                  .arg(QLatin1String(region), QLatin1String(product))
                                  .arg(year)
                                  .arg(month)
                                  .arg(amount, 0, 'g', 17)
                                  .arg(qty);
                    if (++pending == kRowsPerInsert) flush();
                });
                flush();
                db.commit();
                if (error.isEmpty() && (!q.exec("DROP TABLE IF EXISTS " + table) ||
                                        !q.exec("ALTER TABLE " + tmp + " RENAME TO " + table)))
                    error = q.lastError().text();
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

// The server's command-line client reading the rows to /dev/null, as one command: true when it worked.
bool clientRead(const Server& s, const QString& sql) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString program;
    QStringList args;
    if (QString(s.kind.prefix) == "MYSQL") {
        env.insert("MYSQL_PWD", s.password);
        program = "mariadb";
        args = {"--quick", "--batch", "-h", s.host, "-P", QString::number(s.port),
                "-u",      s.user,    s.db, "-e",   sql};
    } else {
        env.insert("PGPASSWORD", s.password);
        program = "psql";
        args = {"-X",   "-h", s.host, "-p", QString::number(s.port),       "-U",
                s.user, "-d", s.db,   "-c", "COPY (" + sql + ") TO STDOUT"};
    }
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::printf("  (%s: %s)\n", qPrintable(program), p.readAllStandardError().constData());
        return false;
    }
    return true;
}

void benchServer(const ServerKind& proto, size_t n, int runs) {
    std::printf("\n%s, %zu rows\n", proto.title, n);
    const auto s = server(proto);
    if (!s) {
        std::printf("  skipped: BD_TEST_%s_HOST is not set\n", proto.prefix);
        return;
    }
    const QString table = serverTable(n);
    const QString error = ensureServerTable(*s, table, n);
    if (!error.isEmpty()) {
        std::printf("  skipped: the server cannot be reached or written (%s)\n", qPrintable(error));
        return;
    }
    const QString sql = "SELECT " + kColumns + " FROM " + table;
    const QString native = connectionString(*s, proto.nativeProvider),
                  odbc = connectionString(*s, proto.odbcProvider);
    RefreshRig nativeRig(native, sql), odbcRig(odbc, sql);
    const bool nativeLoaded = nativeRig.load(), odbcLoaded = odbcRig.load();
    Series client, nativeRead, odbcRead, nativeRefresh, odbcRefresh;
    for (int r = 0; r < runs; ++r) {
        client.time([&] { return clientRead(*s, sql); });
        nativeRead.time([&] { return readOnce("native", native, sql, n); });
        odbcRead.time([&] { return readOnce("ODBC", odbc, sql, n); });
        if (nativeLoaded) nativeRefresh.time([&] { return nativeRig.refresh(n); });
        if (odbcLoaded) odbcRefresh.time([&] { return odbcRig.refresh(n); });
    }
    const Figure c = client.figure();
    printFigure(QString(proto.prefix) == "MYSQL" ? "client: mariadb --quick --batch"
                                                 : "client: psql COPY TO STDOUT",
                c);
    const double reference = c.ok ? c.best : 0;
    printFigure("native: read into columns", nativeRead.figure(), reference);
    if (nativeLoaded)
        printFigure("native: refresh, pivot shown", nativeRefresh.figure(), reference);
    else
        std::printf("  native: the definition could not be loaded\n");
    printFigure("ODBC: read into columns", odbcRead.figure(), reference);
    if (odbcLoaded)
        printFigure("ODBC: refresh, pivot shown", odbcRefresh.figure(), reference);
    else
        std::printf("  ODBC: the definition could not be loaded\n");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("BRINTOVA_CONFIG", config.path().toLocal8Bit()); // the registry goes there, not to the user's
    QApplication app(argc, argv);
    const int runs =
        std::max(1, qEnvironmentVariableIsSet("BENCH_RUNS") ? qEnvironmentVariableIntValue("BENCH_RUNS") : 3);
    const std::string dir =
        qEnvironmentVariableIsEmpty("BENCH_DIR") ? "/tmp" : qgetenv("BENCH_DIR").toStdString();
    const size_t sqliteRows = argc > 1 ? size_t(std::stoull(argv[1])) : 10000000;
    const size_t serverRows = qEnvironmentVariableIsSet("BENCH_SERVER_ROWS")
                                  ? size_t(qEnvironmentVariableIntValue("BENCH_SERVER_ROWS"))
                                  : 1000000;
    std::printf("bench_refresh: %d runs each, best and median\n", runs);

    std::printf("\nSQLite, %zu rows\n", sqliteRows);
    std::fflush(stdout);
    const std::string path = salesTablePath(dir, sqliteRows);
    if (!makeTable(path, sqliteRows)) {
        std::printf("cannot make %s\n", path.c_str());
        return 1;
    }
    readAndRefresh("SQLite", QString::fromStdString("Provider=SQLite;Data Source=" + path),
                   "SELECT " + kColumns + " FROM sales", sqliteRows, runs, 0);

    benchServer({"MariaDB", "MYSQL", "QMYSQL", "Provider=MySQLProv;", "Driver={MariaDB Unicode};"},
                serverRows, runs);
    benchServer({"PostgreSQL", "PGSQL", "QPSQL", "Provider=PostgreSQL OLE DB Provider;",
                 "Provider=MSDASQL;Driver={PostgreSQL Unicode};"},
                serverRows, runs);
    return 0;
}
