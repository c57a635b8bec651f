// Ten desks beat to a real PostgreSQL; two stop hard. The group's watch, run as the
// administrator's timer would run it, tells the owner about each of the two once, and again
// once each when they are back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QProcess>
#include <QThread>
#include <functional>

#include "CentralServerTest.h"
#include "alerts/AlertSettings.h"
#include "central/CentralWatch.h"
#include "central/OutboxSender.h"
#include "store/IniStore.h"
#include "store/Outbox.h"
#include "support/AlertReceivers.h"
#include "support/DeskTables.h"

namespace {

struct Desk : DeskTables {
    QString site;
    QString name;
    std::unique_ptr<OutboxSender> sender;

    explicit Desk(QString id) : site(std::move(id)), name(QStringLiteral("모텔 ") + site) {
        outbox::install(db->connection());
    }
    ~Desk() {
        if (sender) sender->stop();
    }
    void start(const QString& connection) {
        OutboxSender::Options o;
        o.databasePath = db->path();
        o.connection = connection;
        o.site = site;
        o.siteName = name;
        o.pollMs = 20;
        o.heartbeatEveryMs = 100;
        sender = std::make_unique<OutboxSender>(o);
        sender->start();
    }
};

class CentralWatchTest : public CentralServerTest {
protected:
    Receivers receivers;
    QTemporaryDir adminDir;
    QString settingsPath;
    centralWatch::Options options;

    void SetUp() override {
        CentralServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        pg->psql(QStringLiteral("create role owner login in role tavolen_group"));
        const QString account = adminDir.filePath(QStringLiteral("mail-account"));
        QFile f(account);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("desk\nsecret\n");
        f.close();
        QFile::setPermissions(account, QFile::ReadOwner | QFile::WriteOwner);
        settingsPath = adminDir.filePath(QStringLiteral("watch.ini"));
        IniStore ini(settingsPath);
        const QString a = QStringLiteral("Alert");
        ini.writeStrings({
            {a, QStringLiteral("Smtp"),
             QStringLiteral("smtp://127.0.0.1:%1").arg(receivers.smtpPort)},
            {a, QStringLiteral("From"), QStringLiteral("watch@group.test")},
            {a, QStringLiteral("To"), QStringLiteral("owner@group.test")},
            {a, QStringLiteral("CredentialsFile"), account},
            {a, QStringLiteral("Webhook"),
             QStringLiteral("https://127.0.0.1:%1/group").arg(receivers.httpsPort)},
            {a, QStringLiteral("CaFile"), receivers.caFile()},
            {QStringLiteral("Motel"), QStringLiteral("CoName"), QStringLiteral("한빛 그룹")},
            {QStringLiteral("Central"), QStringLiteral("Connection"),
             pg->connection(QStringLiteral("owner"))},
        });
        QStringList problems;
        options.settings = AlertSettings::read(ini, problems);
        ASSERT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
        options.silentAfterMs = 60 * 1000;
        options.statePath = adminDir.filePath(QStringLiteral("watch-state.json"));
        options.transferSeconds = 5;
    }

    centralWatch::Outcome watchAt(qint64 nowMs) {
        PgConnection c(pg->connection(QStringLiteral("owner")));
        return centralWatch::run(c, options, nowMs);
    }
    // The server's time of the sites' last heartbeats (ms): the latest, or the earliest.
    qint64 beat(const char* which, const QString& sites) {
        return pg
            ->psql(QStringLiteral("select (extract(epoch from %1(at)) * 1000)::bigint from "
                                  "tavolen.heartbeat where site = any('{%2}')")
                       .arg(QLatin1String(which), sites))
            .toLongLong();
    }
    QStringList subjects() const {
        QStringList all;
        for (const QJsonObject& m : receivers.received("mail"))
            all << m[QStringLiteral("subject")].toString();
        all.sort();
        return all;
    }
};

TEST_F(CentralWatchTest, TwoDesksStoppedHardAreToldOnceAndOnceMoreWhenBack) {
    std::vector<std::unique_ptr<Desk>> desks;
    QStringList all;
    for (int n = 0; n < 10; ++n) {
        const QString site = QStringLiteral("site%1").arg(n);
        {
            PgConnection c(pg->connection());
            centralSchema::grantSite(c, site, QStringLiteral("desk%1").arg(n));
        }
        desks.push_back(std::make_unique<Desk>(site));
        // A desk names its own site: this one tries to add a receiver to the owner's mail.
        if (n == 7)
            desks.back()->name =
                QStringLiteral("모텔\r\nBcc: spy@evil.test\r\n") + QString(200, u'가');
        desks.back()->start(pg->connection(QStringLiteral("desk%1").arg(n)));
        all << site;
    }
    ASSERT_TRUE(waitFor([&] {
        return pg->psql(QStringLiteral("select count(*) from tavolen.heartbeat")) ==
               QStringLiteral("10");
    }));
    const QString stopped = QStringLiteral("site3,site7");
    const QString running = QStringLiteral("site0,site1,site2,site4,site5,site6,site8,site9");
    desks[3]->sender->stop();
    desks[7]->sender->stop();
    const qint64 lastOfStopped = beat("max", stopped);
    ASSERT_TRUE(waitFor([&] { return beat("min", running) > lastOfStopped + 1000; }));
    // A minute after a moment between the two's last heartbeat and the others' latest ones.
    const qint64 minuteLater = lastOfStopped + 500 + 60 * 1000;

    // The receivers are down: nothing goes, and nothing is forgotten.
    centralWatch::Outcome o = watchAt(minuteLater);
    EXPECT_EQ(o.sites, 10);
    EXPECT_EQ(o.silent, 2);
    EXPECT_EQ(o.sent, 0);
    EXPECT_EQ(o.failed, 4);  // two sites, mail and webhook
    EXPECT_EQ(o.exitCode(), 1);

    receivers.start();
    o = watchAt(minuteLater);
    EXPECT_EQ(o.sent, 4) << o.problems.join(u'\n').toStdString();
    EXPECT_EQ(o.exitCode(), 0);
    // Its name reaches the subject on one line, cut to 100 characters and marked cut.
    const QString hostile =
        (QStringLiteral("모텔  Bcc: spy@evil.test  ") + QString(200, u'가')).left(100) +
        QStringLiteral("…");
    EXPECT_EQ(subjects(),
              QStringList({QStringLiteral("[한빛 그룹] 데스크 연락 끊김: %1 (site7)").arg(hostile),
                           QStringLiteral("[한빛 그룹] 데스크 연락 끊김: 모텔 site3 (site3)")}));
    for (const QJsonObject& m : receivers.received("mail"))
        EXPECT_EQ(m[QStringLiteral("to")].toArray(),
                  QJsonArray({QStringLiteral("owner@group.test")}));
    const QString body = receivers.received("mail")[0][QStringLiteral("body")].toString();
    EXPECT_TRUE(body.contains(QStringLiteral("1분 넘게 소식이 없습니다"))) << body.toStdString();
    EXPECT_TRUE(body.contains(QStringLiteral("확인하십시오")));
    ASSERT_EQ(receivers.received("hook").size(), 2);
    EXPECT_EQ(receivers.received("hook")[0][QStringLiteral("json")]
                  .toObject()[QStringLiteral("kind")]
                  .toString(),
              QStringLiteral("site_silent"));

    // The next minute's run, the two still silent, the others still beating: nothing more.
    ASSERT_TRUE(waitFor([&] { return beat("min", running) > lastOfStopped + 2000; }));
    o = watchAt(minuteLater + 1000);
    EXPECT_EQ(o.silent, 2);
    EXPECT_EQ(o.sent + o.failed, 0);

    desks[3]->start(pg->connection(QStringLiteral("desk3")));
    desks[7]->start(pg->connection(QStringLiteral("desk7")));
    ASSERT_TRUE(waitFor([&] { return beat("min", stopped) > lastOfStopped; }));
    const qint64 back = beat("max", all.join(u',')) + 1000;
    o = watchAt(back);
    EXPECT_EQ(o.silent, 0);
    EXPECT_EQ(o.sent, 4) << o.problems.join(u'\n').toStdString();
    const QStringList told = subjects();
    ASSERT_EQ(told.size(), 4);
    EXPECT_EQ(told.filter(QStringLiteral("데스크 연락 복구: 모텔 site3 (site3)")).size(), 1);
    EXPECT_EQ(told.filter(QStringLiteral("데스크 연락 복구: %1 (site7)").arg(hostile)).size(), 1);
    EXPECT_EQ(receivers.received("hook").size(), 4);
    EXPECT_EQ(watchAt(back).sent, 0);

    // While a slow run still sends, the next one does nothing: not even the ten sites that
    // would all be silent by then.
    {
        const int held = ::open(QFile::encodeName(options.statePath + QStringLiteral(".lock")),
                                O_RDWR | O_CLOEXEC);
        ASSERT_EQ(::flock(held, LOCK_EX), 0);
        o = watchAt(back + 10 * 60 * 1000);
        ::close(held);
        EXPECT_TRUE(o.busy);
        EXPECT_EQ(o.sent + o.failed, 0);
    }

    // The administrator's command, at the server's own time, with the group's read-only role
    // and the same state: everything is already told.
    QProcess watch;
    watch.start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen"),
                {QStringLiteral("central"), QStringLiteral("watch"), QStringLiteral("--minutes"),
                 QStringLiteral("1"), QStringLiteral("--settings"), settingsPath});
    ASSERT_TRUE(watch.waitForFinished(60000));
    const QString out = QString::fromUtf8(watch.readAllStandardOutput());
    EXPECT_EQ(watch.exitCode(), 0) << out.toStdString() << watch.readAllStandardError().constData();
    EXPECT_EQ(out, QStringLiteral("central watch: 10 sites, 0 silent over 1 min, 0 alerts sent\n"));
    EXPECT_EQ(receivers.received("mail").size(), 4);

    // What the administrator gets wrong is refused before anything is read or sent.
    IniStore(adminDir.filePath(QStringLiteral("empty.ini")))
        .writeString(QStringLiteral("Alert"), QStringLiteral("Webhook"),
                     QStringLiteral("http://127.0.0.1:1/plain"));
    const struct {
        QStringList args;
        const char* says;
    } wrong[] = {
        {{QStringLiteral("--settings"), settingsPath}, "--minutes N is missing"},
        {{QStringLiteral("--minutes"), QStringLiteral("0"), QStringLiteral("--settings"),
          settingsPath},
         "'0' is not a number from 1 to 10080"},
        {{QStringLiteral("--minutes"), QStringLiteral("5"), QStringLiteral("--settings"),
          adminDir.filePath(QStringLiteral("missing.ini"))},
         "no settings file"},
        {{QStringLiteral("--minutes"), QStringLiteral("5"), QStringLiteral("--settings"),
          adminDir.filePath(QStringLiteral("empty.ini"))},
         "sets no usable Smtp or Webhook"},
    };
    for (const auto& w : wrong) {
        QProcess p;
        p.start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen"),
                QStringList{QStringLiteral("central"), QStringLiteral("watch")} + w.args);
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString said = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), 2) << w.says;
        EXPECT_TRUE(said.contains(QString::fromUtf8(w.says))) << said.toStdString();
    }
    EXPECT_EQ(receivers.received("mail").size(), 4);
}

}  // namespace
