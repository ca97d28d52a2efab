// A server that accepts a connection and never answers: every engine gives up within the time limit.
#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <atomic>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace bd::db;

namespace {

// Listens on a free loopback port, accepts every connection and keeps it open without a word.
class SilentListener {
public:
    SilentListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 16) != 0)
            return;
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 100) <= 0) continue;
                const int c = ::accept(fd_, nullptr, nullptr);
                if (c >= 0) accepted_.push_back(c);
            }
        });
    }
    ~SilentListener() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int c : accepted_)
            ::close(c);
        if (fd_ >= 0) ::close(fd_);
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<int> accepted_; // touched by the listener thread only until it is joined
};

struct Case {
    const char* name;
    const char* format;     // %1 = port
    const char* odbcDriver; // the ODBC driver it needs, or nullptr
};

const Case kCases[] = {
    {"MariaDB", "Provider=MySQLProv;Server=127.0.0.1;Port=%1;Database=d;User ID=u;Password=p", nullptr},
    {"PostgreSQL",
     "Provider=PostgreSQL OLE DB Provider;Server=127.0.0.1;Port=%1;Database=d;User ID=u;Password=p", nullptr},
    {"MariaDBOdbc", "Driver={MariaDB Unicode};Server=127.0.0.1;Port=%1;Database=d;UID=u;PWD=p", "MariaDB"},
    {"PostgreSQLOdbc", "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%1;Database=d;UID=u;PWD=p",
     "PostgreSQL"},
    {"SqlServer", "Provider=SQLOLEDB;Data Source=127.0.0.1,%1;Initial Catalog=d;User ID=u;Password=p",
     "FreeTDS"},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class SilentServer : public ::testing::TestWithParam<Case> {};

TEST_P(SilentServer, ConnectGivesUpWithinTheLimit) {
    const Case& c = GetParam();
    if (c.odbcDriver) {
        bool found = false;
        for (const QString& d : odbcDriverNames())
            found |= d.startsWith(QLatin1String(c.odbcDriver), Qt::CaseInsensitive);
        if (!found) GTEST_SKIP() << "no " << c.odbcDriver << " ODBC driver";
    }
    SilentListener listener;
    ASSERT_GT(listener.port(), 0);
    Connection cn;
    QString error;
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(cn.open(QString::fromLatin1(c.format).arg(listener.port()), 10, &error));
    const qint64 ms = t.elapsed();
    EXPECT_LT(ms, 12000) << error.toStdString();
    EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, SilentServer, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The same through a data source name, as another system's ODBC string names it (Data Source is the
// DSN): the limit holds for the driver the data source uses.
TEST(SilentServer, ThroughADataSourceName) {
    // The driver manager reads where the user's data sources are once, at its first call.
    SilentListener listener;
    ASSERT_GT(listener.port(), 0);
    QTemporaryDir dir;
    const QString ini = dir.filePath("odbc.ini");
    ASSERT_TRUE(bd::test::writeFile(
        ini, QStringLiteral("[bdsilent]\nDriver=MariaDB Unicode\nServer=127.0.0.1\nPort=%1\n")
                 .arg(listener.port())
                 .toUtf8()));
    const QByteArray old = qgetenv("ODBCINI");
    qputenv("ODBCINI", ini.toLocal8Bit());
    bool found = false;
    for (const QString& d : odbcDriverNames())
        found |= d.startsWith(QLatin1String("MariaDB"), Qt::CaseInsensitive);
    if (!found) GTEST_SKIP() << "no MariaDB ODBC driver";
    if (!odbcDataSourceNames().contains("bdsilent"))
        GTEST_SKIP() << "the driver manager read its files before";
    Connection cn;
    QString error;
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(cn.open("Provider=MSDASQL.1;Persist Security Info=False;Data Source=bdsilent;User ID=u;"
                         "Password=p",
                         10, &error));
    EXPECT_LT(t.elapsed(), 12000) << error.toStdString();
    EXPECT_TRUE(error.contains("handshake") || error.contains("connect", Qt::CaseInsensitive))
        << error.toStdString();
    if (old.isNull())
        qunsetenv("ODBCINI");
    else
        qputenv("ODBCINI", old);
}

} // namespace
