// The central link trusts nothing it has not checked: the server proves itself before a
// password leaves the desk, and what the server answers is bounded before it is used.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <mutex>
#include <thread>

#include "CentralServerTest.h"
#include "central/GroupReport.h"
#include "central/PgConnection.h"
#include "settlement/Report.h"
#include "support/StoreHelpers.h"

namespace {

// A loopback socket listening on a port of the system's choosing.
int listenOnLoopback(int* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    *port = ntohs(address.sin_port);
    return fd;
}

int freePort() {
    int port = 0;
    ::close(listenOnLoopback(&port));
    return port;
}

// A server of the test's own on a loopback port, as a machine on the path would be: it speaks
// just enough of PostgreSQL's protocol to decline TLS and ask for the password in clear text,
// and keeps every password it is sent.
class PasswordCatcher {
public:
    // With a refusal, the server answers the startup with that error message instead.
    explicit PasswordCatcher(QByteArray refusal = {})
        : refusal_(std::move(refusal)), fd_(listenOnLoopback(&port_)) {
        thread_ = std::thread([this] { run(); });
    }
    ~PasswordCatcher() {
        stopping_ = true;
        thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }
    int connections() const { return connections_; }
    QStringList passwords() const {
        std::lock_guard lock(mutex_);
        return passwords_;
    }

private:
    void run() {
        while (!stopping_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            ++connections_;
            serve(client);
            ::close(client);
        }
    }
    static bool readFully(int fd, char* into, size_t size) {
        while (size > 0) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 3000) <= 0) return false;
            const ssize_t n = ::read(fd, into, size);
            if (n <= 0) return false;
            into += n;
            size -= size_t(n);
        }
        return true;
    }
    // A message's body after its 4-byte length.
    static bool readBody(int fd, QByteArray* body) {
        char length[4];
        if (!readFully(fd, length, 4)) return false;
        const quint32 size = qFromBigEndian<quint32>(length);
        if (size < 4 || size > 10000) return false;
        body->resize(qsizetype(size - 4));
        return readFully(fd, body->data(), size - 4);
    }
    void serve(int fd) {
        QByteArray body;
        for (;;) {
            if (!readBody(fd, &body) || body.size() < 4) return;
            const quint32 code = qFromBigEndian<quint32>(body.constData());
            // A request for TLS or for GSS encryption: declined.
            if (code != 80877103 && code != 80877104) break;
            if (::send(fd, "N", 1, MSG_NOSIGNAL) != 1) return;
        }
        if (!refusal_.isEmpty()) {
            const QByteArray fields = "SFATAL" + QByteArray(1, '\0') + "C28000" +
                                      QByteArray(1, '\0') + 'M' + refusal_ + QByteArray(2, '\0');
            char length[4];
            qToBigEndian<quint32>(quint32(fields.size() + 4), length);
            const QByteArray error = 'E' + QByteArray(length, 4) + fields;
            ::send(fd, error.constData(), size_t(error.size()), MSG_NOSIGNAL);
            return;
        }
        // The startup message came: the password in clear text, please.
        const char ask[] = {'R', 0, 0, 0, 8, 0, 0, 0, 3};
        if (::send(fd, ask, sizeof ask, MSG_NOSIGNAL) != qint64(sizeof ask)) return;
        char type = 0;
        if (!readFully(fd, &type, 1) || type != 'p' || !readBody(fd, &body)) return;
        std::lock_guard lock(mutex_);
        passwords_ << QString::fromUtf8(body.constData());
    }

    QByteArray refusal_;
    int port_ = 0;
    int fd_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    QStringList passwords_;
    std::thread thread_;
};

TEST(CentralConnection, AStringThatWouldTrustTheNetworkIsRefusedAndAServerOverTcpIsVerified) {
    const char* const system = "/etc/ssl/certs/ca-certificates.crt";
    const struct {
        const char* conninfo;
        const char* refusal;      // a part of the message; empty when the string is accepted
        const char* sslmode;      // what libpq is given; empty for nothing
        const char* sslrootcert;  // likewise
    } cases[] = {
        {"host=central.example.com dbname=g user=u", "", "verify-full", system},
        {"postgresql://u@central.example.com:6432/g", "", "verify-full", system},
        {"host=central.example.com sslmode=verify-full sslrootcert=/etc/group-ca.pem", "",
         "verify-full", "/etc/group-ca.pem"},
        {"host=/var/run/postgresql dbname=g", "", "", ""},
        {"postgresql:///g?host=/tmp", "", "", ""},
        {"host=127.0.0.1 sslmode=disable", "", "disable", system},
        {"host=::1 sslmode=prefer", "", "prefer", system},
        {"postgresql://[::ffff:127.0.0.1]/g?sslmode=require", "", "require", system},
        {"host=localhost hostaddr=127.0.0.5 sslmode=allow", "", "allow", system},
        {"host=central.example.com sslmode=disable", "sslmode=disable", "", ""},
        {"host=central.example.com sslmode=require", "sslmode=require", "", ""},
        {"host=central.example.com sslmode=verify-ca", "sslmode=verify-ca", "", ""},
        {"postgresql://central.example.com/g?sslmode=prefer", "central.example.com", "", ""},
        {"host=127.0.0.1,10.0.0.7 sslmode=disable", "(10.0.0.7)", "", ""},
        {"host=localhost hostaddr=10.1.2.3 sslmode=disable", "(10.1.2.3)", "", ""},
        {"host=/tmp password=secret", "passfile", "", ""},
        {"service=central", "service", "", ""},
        {"host", "잘못되었습니다", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.conninfo);
        const ConnectionParameters p = ConnectionParameters::of(QString::fromUtf8(c.conninfo));
        EXPECT_EQ(p.refusal.isEmpty(), c.refusal[0] == 0) << p.refusal.toStdString();
        EXPECT_TRUE(p.refusal.contains(QString::fromUtf8(c.refusal))) << p.refusal.toStdString();
        EXPECT_EQ(PgConnection::checkConnectionString(QString::fromUtf8(c.conninfo)), p.refusal);
        if (!p.refusal.isEmpty()) continue;
        EXPECT_EQ(p.value("sslmode"), QByteArray(c.sslmode));
        EXPECT_EQ(p.value("sslrootcert"), QByteArray(c.sslrootcert));
        EXPECT_EQ(p.value("connect_timeout"), "5");
    }
    // An address's parts reach libpq as its own keywords.
    const ConnectionParameters uri =
        ConnectionParameters::of(QStringLiteral("postgresql://u@central.example.com:6432/g"));
    EXPECT_EQ(uri.value("host"), "central.example.com");
    EXPECT_EQ(uri.value("port"), "6432");
    EXPECT_EQ(uri.value("dbname"), "g");
}

TEST(CentralConnection, APasswordNeverGoesToAServerThatHasNotProvedItself) {
    PasswordCatcher catcher;
    QTemporaryDir dir;
    const QString passfile = dir.filePath(QStringLiteral("pgpass"));
    writeBytes(passfile, "*:*:*:*:the-site-secret\n");
    ::chmod(QFile::encodeName(passfile).constData(), 0600);
    const QString conninfo =
        QStringLiteral("host=127.0.0.1 port=%1 dbname=group user=desk passfile=%2")
            .arg(catcher.port())
            .arg(passfile);
    // As configured: the server must show a certificate before anything; this one has none.
    try {
        PgConnection c(conninfo);
        ADD_FAILURE() << "connected to a server without a certificate";
    } catch (const CentralError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("SSL"))) << e.text().toStdString();
    }
    EXPECT_EQ(catcher.connections(), 1);
    EXPECT_EQ(catcher.passwords(), QStringList());
    // TLS waived for a server on this computer: the same server gets the password, which shows
    // that it would have caught it.
    EXPECT_THROW(PgConnection{conninfo + QStringLiteral(" sslmode=disable")}, CentralError);
    EXPECT_EQ(catcher.passwords(), QStringList{QStringLiteral("the-site-secret")});
}

// Whatever the server says reaches the desk's message line, its log and the owner's page as one
// bounded line: not a megabyte, not a carriage return or an escape sequence.
TEST(CentralConnection, WhatTheServerSaysIsShownAsOneBoundedLine) {
    // Long, as libpq takes it before a connection is made (it drops what is longer still).
    PasswordCatcher server("forged\r2026-01-01 line\x1b[2J" + QByteArray(20000, 'x'));
    try {
        PgConnection c(QStringLiteral("host=127.0.0.1 port=%1 dbname=group user=desk "
                                      "sslmode=disable")
                           .arg(server.port()));
        ADD_FAILURE() << "connected to a server that refused";
    } catch (const CentralError& e) {
        const QString text = e.text();
        EXPECT_TRUE(text.contains(QStringLiteral("forged"))) << text.toStdString();
        EXPECT_LE(text.size(), 400);
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); }))
            << text.toStdString();
    }
}

// Certificates made for the test: an authority, the server's certificate from it for
// 127.0.0.1 and localhost, and another authority that vouches for nothing here.
struct Certificates {
    QTemporaryDir dir;
    bool made = false;

    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    Certificates() {
        // The server's user reads its certificate and key in here.
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        const auto openssl = [&](const QStringList& args) {
            QProcess p;
            p.setWorkingDirectory(dir.path());
            p.start(QStringLiteral("openssl"), args);
            return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit &&
                   p.exitCode() == 0;
        };
        const QStringList newKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                 "-nodes"};
        const auto authority = [&](const char* name, const char* subject) {
            return openssl(QStringList{"req", "-x509"} + newKey +
                           QStringList{"-keyout", QStringLiteral("%1.key").arg(name), "-out",
                                       QStringLiteral("%1.crt").arg(name), "-days", "2", "-subj",
                                       QString::fromUtf8(subject)});
        };
        writeBytes(path("server.ext"),
                   "subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n");
        made = authority("ca", "/CN=Test group authority") &&
               authority("other", "/CN=Another authority") &&
               openssl(QStringList{"req"} + newKey +
                       QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj",
                                   "/CN=central"}) &&
               openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                        "-CAcreateserial", "-out", "server.crt", "-days", "2", "-extfile",
                        "server.ext"}) &&
               PgServer::giveToServer(path("server.key"));
    }
};

TEST(CentralConnection, AServerOverTcpIsKnownByItsCertificateAndName) {
    if (!PgServer::available()) GTEST_SKIP() << "PostgreSQL 15 is not installed";
    Certificates certs;
    ASSERT_TRUE(certs.made);
    const int port = freePort();
    PgServer pg(QStringLiteral("-c listen_addresses=127.0.0.1 -c ssl=on -c ssl_cert_file=%1 "
                               "-c ssl_key_file=%2")
                    .arg(certs.path("server.crt"), certs.path("server.key")),
                port);
    ASSERT_TRUE(pg.isUp()) << pg.log().toStdString();
    const QString tcp =
        QStringLiteral("host=127.0.0.1 port=%1 dbname=postgres user=postgres ").arg(port);
    const QString root = QStringLiteral("sslrootcert=") + certs.path("ca.crt");
    const struct {
        QString conninfo;
        const char* tls;  // what the server says of the connection; empty: it is refused
    } cases[] = {
        {tcp + root, "t"},
        {QStringLiteral("postgresql://postgres@localhost:%1/postgres?%2").arg(port).arg(root), "t"},
        {tcp + QStringLiteral("sslmode=disable"), "f"},  // on this computer, as asked
        {tcp + QStringLiteral("sslrootcert=") + certs.path("other.crt"), ""},
        {tcp, ""},  // the system's authorities do not know the test's
        {QStringLiteral("host=central.example.com hostaddr=127.0.0.1 port=%1 dbname=postgres "
                        "user=postgres %2")
             .arg(port)
             .arg(root),
         ""},  // not the name in the certificate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.conninfo.toStdString());
        try {
            PgConnection connection(c.conninfo);
            EXPECT_EQ(connection
                          .exec(QStringLiteral("SELECT ssl FROM pg_catalog.pg_stat_ssl WHERE pid = "
                                               "pg_catalog.pg_backend_pid()"))
                          .text(0, 0),
                      QString::fromLatin1(c.tls));
            EXPECT_EQ(connection.exec(QStringLiteral("SHOW search_path")).text(0, 0),
                      QStringLiteral("pg_catalog, pg_temp"));
        } catch (const CentralError& e) {
            EXPECT_EQ(c.tls[0], 0) << e.text().toStdString();
            EXPECT_TRUE(e.text().startsWith(QStringLiteral("중앙 서버에 연결할 수 없습니다: ")));
        }
    }
}

class CentralAnswersTest : public CentralServerTest {};

// Totals are added over every site the server lists: more sites than any group has are
// refused, so that no sum can overflow.
TEST_F(CentralAnswersTest, MoreSitesThanAGroupHasAreRefused) {
    PgConnection c(pg->connection());
    c.exec(
        QStringLiteral("INSERT INTO tavolen.site (site, name) SELECT 's' || n, '' FROM "
                       "pg_catalog.generate_series(1, 10001) n"));
    try {
        groupReport::day(c, QDate(2006, 4, 1), 0);
        ADD_FAILURE() << "a report over 10001 sites";
    } catch (const ReportError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("10000곳"))) << e.text().toStdString();
    }
    // The refused report's read ended with it: the same connection goes on.
    c.exec(QStringLiteral("DELETE FROM tavolen.site WHERE site <> 's1'"));
    EXPECT_NO_THROW(groupReport::day(c, QDate(2006, 4, 1), 0));
}

TEST_F(CentralAnswersTest, AMonthsSumThatDoesNotFitIsRefusedByName) {
    PgConnection c(pg->connection());
    const auto april = [] {
        SiteFigures north;
        north.site = QStringLiteral("north");
        north.month = {2006, 4, std::vector<qint64>(30, 0), std::vector<qint64>(30, 0)};
        return std::vector<SiteFigures>{north};
    };
    const auto answer = [&](const char* rows) {
        return c.exec(QStringLiteral("SELECT * FROM (VALUES %1) v").arg(QString::fromUtf8(rows)));
    };
    const struct {
        const char* rows;     // site, day from 0, kind, amount
        const char* refused;  // a part of the message; empty when the rows fit
    } cases[] = {
        {"('north', '29', '숙박', '50000'), ('north', '0', '대실', '-5000'), "
         "('elsewhere', '99', 'x', 'y')",  // a site not asked for is left out
         ""},
        {"('north', '30', '대실', '1')", "일 30,"},
        {"('north', '-1', '대실', '1')", "일 -1,"},
        {"('north', '4294967296', '대실', '1')", "일 4294967296,"},
        {"('north', '', '대실', '1')", "일 ,"},
        {"('north', '3', '기타', '1')", "구분 기타"},
        {"('north', '3', '대실', '3만')", "금액 3만"},
        {"('north', '3', '대실', '99999999999999999999')", "금액 99999999999999999999"},
        {"('north', '3', '대실', '1000000000001')", "금액 1000000000001"},
        {"('north', '3', '대실', '1'), ('north', '3', '대실', '2')", "금액 2"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.rows);
        std::vector<SiteFigures> sites = april();
        try {
            groupReport::addMonthSums(sites, answer(k.rows));
            EXPECT_EQ(k.refused[0], 0);
        } catch (const ReportError& e) {
            EXPECT_TRUE(e.text().contains(QStringLiteral("사이트 north")))
                << e.text().toStdString();
            EXPECT_TRUE(e.text().contains(QString::fromUtf8(k.refused))) << e.text().toStdString();
        }
        if (k.refused[0] == 0) {
            EXPECT_EQ(sites[0].month.overnight[29], 50000);
            EXPECT_EQ(sites[0].month.dayUse[0], -5000);
        }
    }
}

TEST(GroupReportFile, NoCellIsReadAsAFormulaAndAFailedWriteLeavesTheOldFileWhole) {
    GroupReport report;
    report.title = QStringLiteral("그룹 일합계");
    // A site names itself: its role may change its name on the server.
    report.rows = {{QStringLiteral("항목"), QStringLiteral("=HYPERLINK(\"http://x\")"),
                    QStringLiteral("총합")},
                   {QStringLiteral("합계"), QStringLiteral("-5000"), QStringLiteral("@SUM(A1)")}};
    report.headerRows = 1;
    report.amountColumns = {false, true, true};
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("group.csv"));
    groupReport::write(report, csv);
    // The byte-order mark first, for a spreadsheet to read it as UTF-8.
    EXPECT_EQ(readBytes(csv),
              "\xEF\xBB\xBF" +
                  QStringLiteral("그룹 일합계\r\n항목,\"'=HYPERLINK(\"\"http://x\"\")\",총합\r\n"
                                 "합계,-5000,'@SUM(A1)\r\n")
                      .toUtf8());

    // Files larger than this cannot be written: every report fails on the way.
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    for (const char* ext : {"csv", "xlsx", "pdf"}) {
        SCOPED_TRACE(ext);
        const QString path = dir.filePath(QStringLiteral("old.") + QLatin1String(ext));
        const QByteArray old(150, 'o');
        writeBytes(path, old);
        rlimit small = before;
        small.rlim_cur = 200;
        setrlimit(RLIMIT_FSIZE, &small);
        report.rows.resize(40, report.rows.back());  // more than the limit in any format
        EXPECT_THROW(groupReport::write(report, path), ReportError);
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(readBytes(path), old);
        EXPECT_EQ(QDir(dir.path())
                      .entryList({QStringLiteral("*old.%1*").arg(QLatin1String(ext))},
                                 QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("old.") + QLatin1String(ext)})
            << "no temporary file is left";
    }
    std::signal(SIGXFSZ, oldSignal);
}

}  // namespace
