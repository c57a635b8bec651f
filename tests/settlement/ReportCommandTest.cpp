#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDirIterator>

#include "settlement/SettlementFixture.h"

namespace {

const QString kTavolen = QStringLiteral(TAVOLEN_BIN_DIR "/tavolen");

struct CommandFixture : LedgerFixture {
    CommandFixture() {
        ini.writeString("CashTime", "start", "03");
        addStay("101", "200604010200", "200604010400", "대실",
                "11111");  // March 31's day from 03:00
        addStay("101", "200604010300", "200604010500", "대실", "30000");
        addStay("102", "200604012200", "200604020900객실교체", "숙박", "50000");
        addStay("103", "200604020259", "", "대실", "20000");
        addStay("104", "200604020300", "", "대실", "40000");  // the next day's
        addStay("105", "200602291000", "", "대실", "1");      // not a date: never shown
    }
    ProcessResult report(QStringList args) {
        return runProcess(kTavolen, QStringList{"--data-dir", dir.path(), "report"} + args);
    }
    QStringList csv(const QString& path) {
        const QByteArray bytes = readBytes(path);
        EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "a byte-order mark";
        return QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    }
};

TEST(ReportCommand, DayFromTheStoredOrGivenHourWhateverTheTimeNow) {
    CommandFixture f;
    const QString out = f.dir.filePath("day.csv");
    ProcessResult r = f.report({"day", "2006-04-01", "--out", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(f.csv(out),
              (QStringList{
                  "2006년04월01일 결산",
                  "순번,룸번호,입실시간,완료시간,대실,숙박",
                  "1,101호,2006년04월01일03시00분,2006년04월01일05시00분,30000,0",
                  "2,102호,2006년04월01일22시00분,2006년04월02일09시00분객실교체,0,50000",
                  "3,103호,2006년04월02일02시59분,,20000,0",
                  "합계,,,,50000,50000",
                  "총합,교체금액:,50000,,,100000",
              }));

    r = f.report({"day", "2006-04-01", "--hour", "0", "--out", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(f.csv(out).size(), 2 + 3 + 2);
    EXPECT_TRUE(f.csv(out)[2].contains("101호,2006년04월01일02시00분"));
}

TEST(ReportCommand, MonthInEveryFormat) {
    CommandFixture f;
    for (const char* ext : {"csv", "xlsx", "xls", "pdf"}) {
        const QString out = f.dir.filePath(QStringLiteral("month.") + ext);
        const ProcessResult r = f.report({"month", "2006-04", "--out", out});
        ASSERT_EQ(r.exitCode, 0) << ext << r.err.toStdString();
        EXPECT_GT(QFileInfo(out).size(), 0) << ext;
    }
    const QStringList lines = f.csv(f.dir.filePath("month.csv"));
    ASSERT_EQ(lines.size(), 1 + 1 + 30 + 1);
    EXPECT_EQ(lines[0], QStringLiteral("2006-4월 결산"));
    EXPECT_EQ(lines[2],
              QStringLiteral("1일,50000,50000,100000"));  // 03:00 on the 1st to 03:00 on the 2nd
    EXPECT_EQ(lines[3], QStringLiteral("2일,40000,0,40000"));
    EXPECT_EQ(lines[32], QStringLiteral("총합,90000,50000,140000"));
    const ProcessResult pdf =
        runProcess("pdftotext", {"-layout", f.dir.filePath("month.pdf"), "-"});
    EXPECT_TRUE(pdf.out.contains("2006-4월 결산"));
    EXPECT_TRUE(pdf.out.contains("140,000"));
}

// The chart comes from the settlement module beside the program: a program without it says so
// and writes nothing.
TEST(ReportCommand, AMonthWithoutTheSettlementModuleEndsWithItsMessage) {
    CommandFixture f;
    const QString alone = f.dir.filePath("alone/tavolen");
    ASSERT_TRUE(QDir().mkpath(f.dir.filePath("alone")));
    ASSERT_TRUE(QFile::copy(kTavolen, alone));
    const QString out = f.dir.filePath("month.pdf");
    const ProcessResult r = runProcess(
        alone, QStringList{"--data-dir", f.dir.path(), "report", "month", "2006-04", "--out", out});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("결산 화면을 불러올 수 없습니다")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

TEST(ReportCommand, BadRequestsEndWithAMessageAndNonZeroExit) {
    CommandFixture f;
    const QString out = f.dir.filePath("x.csv");
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{"day", "2006-02-30", "--out", out}, "bad date"},
        {{"month", "2006-13", "--out", out}, "bad month"},
        {{"day", "2006-04-01", "--out", f.dir.filePath("x.ods")}, "unknown file type"},
        {{"day", "2006-04-01", "--out", f.dir.filePath("no/dir/x.csv")}, "no/dir/x.csv"},
        {{"day", "2006-04-01", "--hour", "24", "--out", out}, "bad hour"},
        {{"week", "2006-04-01", "--out", out}, "unknown report"},
        {{"day", "2006-04-01"}, "--out"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = f.report(c.args);
        EXPECT_NE(r.exitCode, 0) << c.says;
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(out));

    f.addStay("106", "200604011000", "", "대실", "3만");
    const ProcessResult damaged = f.report({"day", "2006-04-01", "--out", out});
    EXPECT_NE(damaged.exitCode, 0);
    EXPECT_TRUE(damaged.err.contains("3만")) << damaged.err.toStdString();

    QTemporaryDir empty;
    const ProcessResult noDb = runProcess(
        kTavolen, {"--data-dir", empty.path(), "report", "day", "2006-04-01", "--out", out});
    EXPECT_NE(noDb.exitCode, 0);
    EXPECT_TRUE(noDb.err.contains("no database"));
}

// Every file under a directory with its bytes; of SQLite's shared memory,
// where readers leave their marks, only the name.
std::map<QString, QByteArray> filesUnder(const QString& dir) {
    std::map<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(dir).relativeFilePath(path)] =
            path.endsWith(QStringLiteral("-shm")) ? QByteArray() : readBytes(path);
    }
    return files;
}

// The database file replaced by these bytes, without the desk's log beside it.
void replaceDatabase(CommandFixture& f, const QByteArray& bytes) {
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(f.dir.filePath(QStringLiteral("DB/motel.db") + suffix));
    writeBytes(f.dir.filePath("DB/motel.db"), bytes);
}

// Runs the command as a user who may only read `dataDir`: as nobody when
// the tests run as root (who may write anywhere), else with the write
// permission taken away.
ProcessResult reportAsReader(const QString& dataDir, const QStringList& args) {
    const QStringList command = QStringList{"--data-dir", dataDir, "report"} + args;
    for (const QString& d : {dataDir, dataDir + QStringLiteral("/DB")})
        ::chmod(QFile::encodeName(d).constData(), geteuid() == 0 ? 0755 : 0555);
    QDirIterator it(dataDir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) ::chmod(QFile::encodeName(it.next()).constData(), 0644);
    ProcessResult r = geteuid() == 0
                          ? runProcess("setpriv", QStringList{"--reuid=65534", "--regid=65534",
                                                              "--clear-groups", kTavolen} +
                                                      command)
                          : runProcess(kTavolen, command);
    for (const QString& d : {dataDir, dataDir + QStringLiteral("/DB")})
        ::chmod(QFile::encodeName(d).constData(), 0700);
    return r;
}

TEST(ReportCommand, ReadsADataDirectoryItMayNotWriteAndChangesNothing) {
    CommandFixture f;
    QTemporaryDir outDir;
    ::chmod(QFile::encodeName(outDir.path()).constData(), 0777);
    const QString out = outDir.filePath("day.csv");

    // A closed database in WAL mode: no log and no shared memory beside it.
    QTemporaryDir closed;
    QDir().mkpath(closed.filePath("DB"));
    f.db.backupTo(closed.filePath("DB/motel.db"));
    {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(closed.filePath("DB/motel.db")).constData(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    ASSERT_FALSE(QFileInfo::exists(closed.filePath("DB/motel.db-shm")));

    // Each case: the data directory, and what it is.
    const struct {
        QString dataDir;
        const char* what;
    } cases[] = {{f.dir.path(), "the desk has the database open"},
                 {closed.path(), "a closed database"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto before = filesUnder(c.dataDir);
        const ProcessResult r = reportAsReader(c.dataDir, {"day", "2006-04-01", "--out", out});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(f.csv(out).size(), 7);
        EXPECT_EQ(filesUnder(c.dataDir), before);
        QFile::remove(out);
    }
}

TEST(ReportCommand, AMissingFileOrTableOrADamagedRowEndsWithExitCodeTwo) {
    // Each case: how the data directory is spoiled, what the message says.
    const struct {
        std::function<void(CommandFixture&)> spoil;
        const char* says;
    } cases[] = {
        {[](CommandFixture& f) {
             for (const char* suffix : {"", "-wal", "-shm"})
                 QFile::remove(f.dir.filePath(QStringLiteral("DB/motel.db") + suffix));
         },
         "no database"},
        {[](CommandFixture& f) { QDir(f.dir.filePath("DB")).removeRecursively(); }, "no database"},
        {[](CommandFixture& f) { execSql(f.db, R"(DROP TABLE "Cash.DB")"); }, "Cash.DB"},
        {[](CommandFixture& f) { replaceDatabase(f, QByteArray()); }, "Cash.DB"},
        {[](CommandFixture& f) { replaceDatabase(f, QByteArray(4096, 'x')); }, "not a database"},
        {[](CommandFixture& f) {
             execSql(f.db, R"(INSERT INTO "Cash.DB" (roomNum, IDateTime, Action, Cash)
                              VALUES ('107', '200604011000', '대실', NULL))");
         },
         "107호"},
        {[](CommandFixture& f) { f.addStay("108", "200604011000", "", "대실", "3만"); }, "3만"},
        {[](CommandFixture& f) {
             f.addStay("109", "200604011000", "", "대실", "9223372036854775807");
         },
         "109호"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        for (const char* kind : {"day", "month"}) {
            CommandFixture f;
            c.spoil(f);
            const auto before = filesUnder(f.dir.path());
            const QString out = QDir::temp().filePath("tavolen-never-written.csv");
            const ProcessResult r = f.report(
                {kind, kind == QByteArray("day") ? "2006-04-01" : "2006-04", "--out", out});
            EXPECT_EQ(r.exitCode, 2) << kind;
            EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
            EXPECT_FALSE(QFileInfo::exists(out));
            EXPECT_EQ(filesUnder(f.dir.path()), before) << kind << ": nothing created or changed";
        }
    }
}

}  // namespace
