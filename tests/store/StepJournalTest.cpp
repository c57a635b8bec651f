#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

#include "store/Database.h"
#include "store/IniStore.h"
#include "store/StepJournal.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

const QByteArray kBefore = "[rStatus]\r\nr1=\xbf\xcf \xb7\xe1\r\n";  // 완 료 in CP949
const QByteArray kOlder = "[rStatus]\r\nr1=\r\n";
const QByteArray kAfter = "[rStatus]\r\nr1=\xb4\xeb \xbd\xc7\r\n[Time]\r\nr1=200604011735\r\n";

StepStatement historyRow(const QString& action) {
    return {QStringLiteral(R"(Insert into "room.DB" (roomNum,Action,Sdate,Stime,Comm) )"
                           R"(Values(:N1,:N2,'20060401','1735','1'))"),
            {QStringLiteral("101"), action},
            QStringLiteral("룸정보가 초기저장되지 않았습니다.")};
}

QString hex(const QByteArray& b) { return QString::fromLatin1(b.toHex()); }

class StepJournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        copyFreshDatabase(dir.path());
        db.open();
        journal.setIni(&ini);
        journal.setDatabase(&db);
    }

    QString iniPath() const { return QDir(dir.path()).filePath(QStringLiteral("Tavolen.ini")); }
    QStringList actions() {
        QStringList out;
        for (const auto& row : rowsOf(db, QStringLiteral(R"(Select Action From "room.DB")")))
            out << row[0];
        return out;
    }
    // The record of a committed step, as the transaction leaves it: the files a power cut may
    // bring back, and the file the step belongs to.
    void record(const QByteArrayList& befores, const QByteArray& after) {
        QStringList digests;
        for (const QByteArray& b : befores)
            digests << QString::fromLatin1(
                QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex());
        execSql(db, QStringLiteral("CREATE TABLE IF NOT EXISTS tavolen_step (id INTEGER PRIMARY "
                                   "KEY CHECK (id = 1), seq INTEGER NOT NULL, before_digest TEXT "
                                   "NOT NULL, ini BLOB NOT NULL)"));
        execSql(db, QStringLiteral("INSERT OR REPLACE INTO tavolen_step VALUES (1, 7, '%1', X'%2')")
                        .arg(digests.join(u' '), hex(after)));
    }

    QTemporaryDir dir;
    Database db{dir.path()};
    IniStore ini{iniPath()};
    StepJournal journal;
};

// Every instant a crash can cut a step at, built by hand: what start-up finds and leaves.
TEST_F(StepJournalTest, RecoveryFinishesOnlyAStepWhoseFileWasNotReplaced) {
    const struct {
        const char* name;
        std::optional<QByteArrayList> recordedBefore;  // no record at all when empty
        std::optional<QByteArray> file;                // no file when empty
        bool temporaryLeft;
        StepJournal::Recovery expected;
        std::optional<QByteArray> fileAfter;
    } cases[] = {
        {"no step recorded yet", std::nullopt, kBefore, false, StepJournal::Recovery::Nothing,
         kBefore},
        {"committed, file not replaced", QByteArrayList{kBefore}, kBefore, false,
         StepJournal::Recovery::Finished, kAfter},
        {"committed, cut while writing the temporary file", QByteArrayList{kBefore}, kBefore, true,
         StepJournal::Recovery::Finished, kAfter},
        {"committed, first file never written", QByteArrayList{QByteArray()}, std::nullopt, false,
         StepJournal::Recovery::Finished, kAfter},
        {"committed and replaced", QByteArrayList{kBefore}, kAfter, false,
         StepJournal::Recovery::Nothing, kAfter},
        {"power cut brought back an earlier file whose directory was not flushed",
         QByteArrayList{kOlder, kBefore}, kOlder, false, StepJournal::Recovery::Finished, kAfter},
        {"file changed since by another hand", QByteArrayList{kBefore},
         QByteArray("[Motel]\r\nCoName=x\r\n"), false, StepJournal::Recovery::LeftAlone,
         QByteArray("[Motel]\r\nCoName=x\r\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        execSql(db, QStringLiteral("DROP TABLE IF EXISTS tavolen_step"));
        QFile::remove(iniPath());
        QFile::remove(iniPath() + QStringLiteral(".tmp"));
        if (c.recordedBefore) record(*c.recordedBefore, kAfter);
        if (c.file) writeBytes(iniPath(), *c.file);
        if (c.temporaryLeft) writeBytes(iniPath() + QStringLiteral(".tmp"), "[rSta");

        EXPECT_EQ(StepJournal::recover(ini, db), c.expected);
        EXPECT_EQ(readBytes(iniPath()), c.fileAfter.value_or(QByteArray()));
        // A second start finds nothing more to do.
        const auto again = StepJournal::recover(ini, db);
        EXPECT_NE(again, StepJournal::Recovery::Finished);
    }
}

TEST_F(StepJournalTest, AStepIsOneTransactionAndOneFileThatRecoveryCanRedo) {
    writeBytes(iniPath(), kBefore);
    journal.setValue(QStringLiteral("rStatus"), QStringLiteral("r1"), QStringLiteral("대 실"));
    journal.addStatement(historyRow(QStringLiteral("대실")));
    journal.setValue(QStringLiteral("Time"), QStringLiteral("r1"), QStringLiteral("200604011735"));
    journal.addStatement(historyRow(QStringLiteral("문열림")));
    const StepOutcome outcome = journal.flush();
    ASSERT_TRUE(outcome.written) << outcome.error.toStdString();
    EXPECT_FALSE(journal.hasPending());
    EXPECT_EQ(readBytes(iniPath()), kAfter);
    EXPECT_EQ(actions(), (QStringList{"대실", "문열림"}));

    // The crash between the commit and the replacement: the old file comes back...
    writeBytes(iniPath(), kBefore);
    // ...and start-up writes the file the committed rows belong to.
    EXPECT_EQ(StepJournal::recover(ini, db), StepJournal::Recovery::Finished);
    EXPECT_EQ(readBytes(iniPath()), kAfter);

    // A later step replaces the file without flushing the directory: a power cut may bring
    // back either earlier file, and both are finished from the record.
    journal.setValue(QStringLiteral("TimeEnd"), QStringLiteral("r1"), QStringLiteral("18:5"));
    journal.addStatement(historyRow(QStringLiteral("퇴실")));
    ASSERT_TRUE(journal.flush().written);
    const QByteArray latest = readBytes(iniPath());
    for (const QByteArray& cameBack : {kBefore, kAfter}) {
        writeBytes(iniPath(), cameBack);
        EXPECT_EQ(StepJournal::recover(ini, db), StepJournal::Recovery::Finished);
        EXPECT_EQ(readBytes(iniPath()), latest);
    }
}

TEST_F(StepJournalTest, DatabaseAtItsPageLimitKeepsTheStepUntilThereIsRoom) {
    writeBytes(iniPath(), kBefore);
    sqlite3* raw = db.connection();
    const auto pages = rowsOf(db, QStringLiteral("PRAGMA page_count"))[0][0];
    execSql(db, QStringLiteral("PRAGMA max_page_count = %1").arg(pages));

    journal.setValue(QStringLiteral("rStatus"), QStringLiteral("r1"), QStringLiteral("대 실"));
    StepStatement big = historyRow(QString(20000, u'x'));
    journal.addStatement(big);
    StepOutcome outcome = journal.flush();
    EXPECT_FALSE(outcome.written);
    EXPECT_FALSE(outcome.error.isEmpty());
    EXPECT_TRUE(outcome.refused.isEmpty());
    EXPECT_TRUE(journal.hasPending());
    // Neither store moved: the file still agrees with the tables.
    EXPECT_EQ(readBytes(iniPath()), kBefore);
    EXPECT_TRUE(actions().isEmpty());

    // More comes while the disk is full; it waits behind the first, in order.
    journal.setValue(QStringLiteral("Time"), QStringLiteral("r1"), QStringLiteral("200604011735"));
    journal.addStatement(historyRow(QStringLiteral("문열림")));
    EXPECT_FALSE(journal.flush().written);

    sqlite3_exec(raw, "PRAGMA max_page_count = 1000000", nullptr, nullptr, nullptr);
    outcome = journal.flush();
    ASSERT_TRUE(outcome.written) << outcome.error.toStdString();
    EXPECT_EQ(readBytes(iniPath()), kAfter);
    EXPECT_EQ(actions(), (QStringList{QString(20000, u'x'), "문열림"}));
}

TEST_F(StepJournalTest, AStatementTheTableRefusesIsReportedAndTheRestIsWritten) {
    execSql(db, QStringLiteral(R"(Drop Table "Cash.DB")"));
    journal.addStatement(historyRow(QStringLiteral("대실")));
    journal.addStatement({QStringLiteral(R"(Insert Into "Cash.DB" (roomNum) Values(:N1))"),
                          {QStringLiteral("101")},
                          QStringLiteral("요금이 초기저장이 되지 않았습니다")});
    journal.setValue(QStringLiteral("rStatus"), QStringLiteral("r1"), QStringLiteral("대 실"));
    const StepOutcome outcome = journal.flush();
    EXPECT_TRUE(outcome.written);
    EXPECT_EQ(outcome.refused, QStringList{QStringLiteral("요금이 초기저장이 되지 않았습니다")});
    EXPECT_EQ(actions(), QStringList{QStringLiteral("대실")});
    EXPECT_FALSE(journal.hasPending());  // not tried again and again
}

TEST_F(StepJournalTest, ALockedDatabaseIsTriedAgainWithoutWaitingLong) {
    Database other(dir.path());
    other.open();
    execSql(other, QStringLiteral("BEGIN IMMEDIATE"));
    journal.addStatement(historyRow(QStringLiteral("대실")));
    journal.setValue(QStringLiteral("rStatus"), QStringLiteral("r1"), QStringLiteral("대 실"));
    EXPECT_FALSE(journal.flush().written);
    EXPECT_FALSE(QFile::exists(iniPath()));
    execSql(other, QStringLiteral("COMMIT"));
    EXPECT_TRUE(journal.flush().written);
    EXPECT_EQ(actions(), QStringList{QStringLiteral("대실")});
    EXPECT_EQ(ini.readString(QStringLiteral("rStatus"), QStringLiteral("r1"), {}),
              QStringLiteral("대 실"));
}

// A real full disk: a small tmpfs of our own, when this machine lets us mount one.
TEST_F(StepJournalTest, AFullDiskHealsOnceThereIsSpaceAgain) {
    QTemporaryDir mountPoint;
    const QByteArray where = QFile::encodeName(mountPoint.path());
    if (::mount("tavolen-test", where.constData(), "tmpfs", 0, "size=512k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        QByteArray where;
        ~Unmount() { ::umount2(where.constData(), MNT_DETACH); }
    } unmount{where};
    {
        copyFreshDatabase(mountPoint.path());
        Database small(mountPoint.path());
        small.open();
        IniStore smallIni(QDir(mountPoint.path()).filePath(QStringLiteral("Tavolen.ini")));
        StepJournal steps;
        steps.setIni(&smallIni);
        steps.setDatabase(&small);
        steps.setValue(QStringLiteral("Memo"), QStringLiteral("r1"), QString(3000, u'm'));
        steps.addStatement(historyRow(QStringLiteral("대실")));
        ASSERT_TRUE(steps.flush().written);

        // Fill the disk to its last byte.
        const QString fillerPath = QDir(mountPoint.path()).filePath(QStringLiteral("filler"));
        {
            QFile filler(fillerPath);
            ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
            const QByteArray chunk(4096, 'f');
            while (filler.write(chunk) == chunk.size() && filler.flush()) {
            }
        }
        for (int i = 0; i < 20; ++i) {
            steps.setValue(QStringLiteral("Memo"), QStringLiteral("r%1").arg(i + 2),
                           QString(2000, u'n'));
            steps.addStatement(historyRow(QString(3000, u'h')));
        }
        const StepOutcome full = steps.flush();
        EXPECT_FALSE(full.written);
        EXPECT_TRUE(steps.hasPending());

        QFile::remove(fillerPath);
        const StepOutcome healed = steps.flush();
        ASSERT_TRUE(healed.written) << healed.error.toStdString();
        EXPECT_TRUE(smallIni.readString(QStringLiteral("Memo"), QStringLiteral("r21"), {}) ==
                    QString(2000, u'n'));
        EXPECT_EQ(rowsOf(small, QStringLiteral(R"(Select count(*) From "room.DB")"))[0][0],
                  QStringLiteral("21"));
        EXPECT_EQ(StepJournal::recover(smallIni, small), StepJournal::Recovery::Nothing);
    }
}

}  // namespace
