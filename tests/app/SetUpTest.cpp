#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>

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
    // tavolen passwd GRADE with `typed` on its standard input.
    int passwd(const QString& grade, const QByteArray& typed, QString* err = nullptr) {
        std::unique_ptr<QProcess> p(start({"passwd", grade}));
        p->write(typed);
        p->closeWriteChannel();
        if (!p->waitForFinished(60000)) return -1;
        if (err) *err = QString::fromLocal8Bit(p->readAllStandardError());
        return p->exitCode();
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

}  // namespace
