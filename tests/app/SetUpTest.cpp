#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <functional>

#include "auth/WebAccounts.h"
#include "store/AliasRegistry.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/Installation.h"
#include "support/StoreHelpers.h"

namespace {

// One installation: a data directory and the configuration home of its PC
// user, with the real program started on them (offscreen, for a moment).
struct Installation {
    QTemporaryDir dir;
    QString data = dir.filePath("data");
    QString config = dir.filePath("config");

    Installation() {
        QDir().mkpath(data);
        // No controller here; nothing may open a serial port of the machine.
        ini().writeString("Motel", "ComPort", dir.filePath("no-such-tty"));
    }

    IniStore ini() const { return IniStore(QDir(data).filePath("TavolenConfig.ini")); }
    AliasRegistry registry() const {
        return AliasRegistry(QDir(config).filePath("tavolen/aliases.ini"));
    }
    QString dbFile() const { return QDir(data).filePath("DB/motel.db"); }

    QProcess* start(const QStringList& args) {
        auto* p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen"),
                 args + QStringList{"--data-dir", data});
        return p;
    }
    void runBoard() {
        std::unique_ptr<QProcess> p(start({"--windowed", "--quit-after", "1500"}));
        ASSERT_TRUE(p->waitForFinished(60000));
        ASSERT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    // A command of the program with `typed` on its standard input.
    int command(const QStringList& args, const QByteArray& typed, QString* err = nullptr,
                QString* out = nullptr) {
        std::unique_ptr<QProcess> p(start(args));
        p->write(typed);
        p->closeWriteChannel();
        if (!p->waitForFinished(60000)) return -1;
        if (err) *err = QString::fromLocal8Bit(p->readAllStandardError());
        if (out) *out = QString::fromLocal8Bit(p->readAllStandardOutput());
        return p->exitCode();
    }
    int passwd(const QString& grade, const QByteArray& typed, QString* err = nullptr) {
        return command({"passwd", grade}, typed, err);
    }
    void removeDatabase() {
        for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(dbFile() + suffix);
    }
    QStringList log() const {
        QFile f(QDir(data).filePath("tavolen.log"));
        return f.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)
                   : QStringList();
    }
    bool setUp() const { return installation::isSetUp(ini(), registry(), data); }
};

// Whether anybody can sign in with `password` for `grade`: false for a wrong
// one, nullopt when the database says nobody can.
std::optional<bool> signsIn(const QString& data, int grade, const QString& password) {
    Database db(data);
    db.open(Database::Installation::SetUp);
    try {
        return db.checkPassword(grade, password);
    } catch (const DatabaseError&) {
        return std::nullopt;
    }
}

TEST(SetUp, ADatabaseLostAfterTheFirstStartGetsNoDefaultPasswords) {
    const struct Case {
        const char* name;
        // What else went missing or was never there, before the database went.
        std::function<void(Installation&)> alsoLost;
    } cases[] = {
        {"both marks kept", [](Installation&) {}},
        {"the INI file lost its mark",
         [](Installation& i) {
             IniStore ini = i.ini();
             QByteArray file = ini.bytes();
             file.replace("[Setup]", "[Gone]");
             ini.replace(file);
         }},
        {"the registry lost", [](Installation& i) { QFile::remove(i.registry().path()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installation i;
        ASSERT_FALSE(i.setUp());
        ASSERT_NO_FATAL_FAILURE(i.runBoard());
        EXPECT_TRUE(i.setUp());
        EXPECT_FALSE(i.ini().readString("Setup", "Date", "").isEmpty());
        EXPECT_TRUE(i.registry().isSetUp(i.data));
        EXPECT_EQ(signsIn(i.data, 3, "3333"), true) << "the first start has the defaults";

        c.alsoLost(i);
        i.removeDatabase();
        ASSERT_NO_FATAL_FAILURE(i.runBoard());
        ASSERT_TRUE(QFile::exists(i.dbFile())) << "the tables are made again";
        for (int grade = 1; grade <= 3; ++grade)
            EXPECT_EQ(signsIn(i.data, grade, QString(4, QChar(u'0' + grade))), std::nullopt)
                << "grade " << grade;
        EXPECT_TRUE(i.log().filter("아무도 인증할 수 없습니다").size() == 1)
            << i.log().join('\n').toStdString();

        // The supplier restores the grades from a terminal.
        QString err;
        EXPECT_EQ(i.passwd("3", "공급자9\n공급자9\n", &err), 0) << err.toStdString();
        EXPECT_EQ(signsIn(i.data, 3, "공급자9"), true);
        EXPECT_EQ(signsIn(i.data, 3, "3333"), false);
        EXPECT_EQ(signsIn(i.data, 1, "1111"), std::nullopt) << "the other grades wait for theirs";
        EXPECT_EQ(i.passwd("1", "5151\n5151\n"), 0);
        EXPECT_EQ(signsIn(i.data, 1, "5151"), true);
    }
}

TEST(SetUp, AnInstallationFromBeforeTheMarksCountsAsSetUp) {
    Installation i;
    {
        Database db(i.data);
        db.open();  // as earlier versions left it: tables and passwords
    }
    QDir().mkpath(QDir(i.config).filePath("tavolen"));
    i.registry().ensureMotelLocation(i.data);
    ASSERT_FALSE(i.setUp());
    ASSERT_NO_FATAL_FAILURE(i.runBoard());
    EXPECT_TRUE(i.setUp());
    EXPECT_TRUE(i.registry().isSetUp(i.data));
    i.removeDatabase();
    ASSERT_NO_FATAL_FAILURE(i.runBoard());
    EXPECT_EQ(signsIn(i.data, 3, "3333"), std::nullopt);
}

TEST(SetUp, PasswdRefusesWhatItCannotTakeAndChangesNothing) {
    Installation i;
    ASSERT_NO_FATAL_FAILURE(i.runBoard());
    const struct Case {
        const char* grade;
        QByteArray typed;
        const char* err;
    } cases[] = {
        {"3", "abcd\nabce\n", "the two passwords differ"},
        {"3", "\n\n", "an empty password is not taken"},
        {"3", "only once\n", "no password given"},
        {"supplier", "", "no password given"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err);
        QString err;
        EXPECT_EQ(i.passwd(c.grade, c.typed, &err), 2);
        EXPECT_TRUE(err.contains(c.err)) << err.toStdString();
        EXPECT_EQ(signsIn(i.data, 3, "3333"), true);
    }
    // A directory without a desk's data gets nothing made in it.
    QTemporaryDir empty;
    QProcess p;
    p.start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen"),
            {"passwd", "3", "--data-dir", empty.path()});
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(QDir(empty.path()).isEmpty());
}

// The live view's accounts are kept from a terminal; without one the view
// does not start, and the board says why on its message line and in the log.
TEST(SetUp, WebAccountsAreKeptFromATerminalAndTheViewNeedsOne) {
    Installation i;
    QTcpServer probe;  // a port free right now
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const int port = probe.serverPort();
    probe.close();
    QString err;
    EXPECT_EQ(i.command({"web-user", "add", "owner"}, "owner-pass-1\nowner-pass-1\n", &err), 2);
    EXPECT_TRUE(err.contains("start the desk once")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(i.dbFile())) << "the desk's first start makes the database";

    IniStore ini = i.ini();
    ini.writeInteger("Web", "Enabled", 1);
    ini.writeInteger("Web", "Port", port);
    ASSERT_NO_FATAL_FAILURE(i.runBoard());
    EXPECT_EQ(i.log().filter("웹 계정이 없어").size(), 1) << i.log().join('\n').toStdString();
    EXPECT_TRUE(i.log().filter("에서 시작").isEmpty());

    const struct Case {
        QStringList args;
        QByteArray typed;
        int exitCode;
        const char* err;
    } cases[] = {
        {{"web-user", "add", "owner"}, "owner-pass-1\nowner-pass-1\n", 0, ""},
        {{"web-user", "add", "clerk", "--downloads"}, "short\nshort\n", 2, "at least 10"},
        {{"web-user", "add", "clerk"}, "clerk-pass-1\nclerk-pass-2\n", 2, "differ"},
        {{"web-user", "add", "clerk"}, "clerk-pass-1\n", 2, "no password given"},
        {{"web-user", "add", "OWNER"}, "other-pass-1\nother-pass-1\n", 2, "exists"},
        {{"web-user", "add", "a b"}, "", 2, "letters, digits"},
        {{"web-user", "passwd", "owner", "--downloads"}, "", 2, "--downloads goes with add"},
        {{"web-user", "passwd", "nobody"}, "nobody-pass-1\nnobody-pass-1\n", 2, "no account"},
        {{"web-user", "remove"}, "", 2, "takes the account's name"},
        {{"web-user", "rename", "owner"}, "", 2, "unknown request"},
        {{"web-user", "add", "clerk", "--downloads"}, "clerk-pass-1\nclerk-pass-1\n", 0, ""},
        {{"web-user", "passwd", "owner"}, "owner-pass-2\nowner-pass-2\n", 0, ""},
        {{"web-user", "remove", "clerk"}, "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_EQ(i.command(c.args, c.typed, &err), c.exitCode) << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.err))) << err.toStdString();
    }
    QString out;
    EXPECT_EQ(i.command({"web-user", "list"}, "", nullptr, &out), 0);
    EXPECT_TRUE(out.startsWith("owner\tread-only\t")) << out.toStdString();
    EXPECT_EQ(out.count('\n'), 1) << out.toStdString();
    {
        Database db(i.data);
        db.open(Database::Installation::SetUp);
        EXPECT_TRUE(WebAccounts(db.connection()).verify("owner", "owner-pass-2"));
    }

    ASSERT_NO_FATAL_FAILURE(i.runBoard());
    EXPECT_EQ(i.log().filter("웹 계정이 없어").size(), 1) << "not again";
    EXPECT_EQ(i.log().filter(QStringLiteral("포트 %1 에서 시작").arg(port)).size(), 1)
        << i.log().join('\n').toStdString();
    EXPECT_EQ(i.log().filter("127.0.0.1 포트").size(), 1) << "on loopback until Listen is set";
}

}  // namespace
