#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <functional>

#include "store/Backup.h"
#include "store/Database.h"
#include "store/RoomRecords.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

class BackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        copyFreshDatabase(dir.path());
        db.open();
        ledger.addHistory(QStringLiteral("101"), QStringLiteral("대실"), QStringLiteral("1"));
        ledger.openLedgerRow(QStringLiteral("101"), QStringLiteral("200604011735"),
                             StayKind::DayUse, 30000, 50000);
        db.setPassword(2, QStringLiteral("윈도우"));
        writeBytes(iniPath(), QByteArray("[Name]\r\n1=101\r\n[Memo]\r\n1=\xb8\xde\xb8\xf0\r\n"));
    }

    QString path(const QString& relative) const { return QDir(dir.path()).filePath(relative); }
    QString iniPath() const { return path(QStringLiteral("TavolenConfig.ini")); }
    QString copyPath() const { return path(QStringLiteral("DB/Backup/motel.db")); }
    QString iniCopyPath() const { return path(QStringLiteral("DB/Backup/TavolenConfig.ini")); }

    // Restores the backup copy, alone, into a data directory of its own.
    std::vector<QStringList> restoredRows(const QString& sql) {
        QTemporaryDir restored;
        writeBytes(QDir(restored.path()).filePath(QStringLiteral("DB/motel.db")),
                   readBytes(copyPath()));
        Database copy(restored.path());
        copy.open();
        return rowsOf(copy, sql);
    }

    QTemporaryDir dir;
    Database db{dir.path()};
    FixedClock clock;
    ScriptedDialogs dialogs;
    RoomRecords ledger{db, clock, dialogs};
    Backup backup{db, dir.path(), dialogs};
};

TEST_F(BackupTest, CopiesOpenWithTheSameContentsAndReplaceTheLastOnes) {
    ASSERT_FALSE(QDir(path(QStringLiteral("DB/Backup"))).exists());
    backup.run();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(u'\n').toStdString();

    // One self-contained file: no journal beside it, and every committed row in it.
    EXPECT_FALSE(QFile::exists(copyPath() + QStringLiteral("-wal")));
    const QString cash = QStringLiteral(R"(Select * From "Cash.DB")");
    const QString history = QStringLiteral(R"(Select * From "room.DB")");
    EXPECT_EQ(restoredRows(cash), rowsOf(db, cash));
    EXPECT_EQ(restoredRows(history), rowsOf(db, history));
    EXPECT_EQ(restoredRows(QStringLiteral(R"(Select * From "grade.DB")")),
              rowsOf(db, QStringLiteral(R"(Select * From "grade.DB")")));
    EXPECT_EQ(readBytes(iniCopyPath()), readBytes(iniPath()));

    ledger.closeLedgerRow(QStringLiteral("101"), QStringLiteral("200604011735"));
    writeBytes(iniPath(), "[Name]\r\n1=102\r\n");
    backup.run();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(restoredRows(cash)[0][2], QStringLiteral("200604011735"));
    EXPECT_EQ(readBytes(iniCopyPath()), QByteArray("[Name]\r\n1=102\r\n"));
}

TEST_F(BackupTest, FailedCopiesAreNamedAndTheOthersStillMade) {
    const struct {
        const char* name;
        std::function<void()> breakage;
        QString failed;
        QString made;
    } cases[] = {
        {"room-state file missing", [&] { QFile::remove(iniPath()); }, iniCopyPath(), copyPath()},
        {"database copy blocked", [&] { QDir().mkpath(copyPath()); }, copyPath(), iniCopyPath()},
        {"room-state copy blocked", [&] { QDir().mkpath(iniCopyPath()); }, iniCopyPath(),
         copyPath()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(path(QStringLiteral("DB/Backup"))).removeRecursively();
        writeBytes(iniPath(), "[Name]\r\n1=101\r\n");
        c.breakage();
        dialogs.errors.clear();
        backup.run();
        ASSERT_EQ(dialogs.errors.size(), 1);
        EXPECT_TRUE(dialogs.errors[0].contains(c.failed)) << dialogs.errors[0].toStdString();
        EXPECT_FALSE(dialogs.errors[0].contains(c.made));
        EXPECT_TRUE(QFileInfo(c.made).isFile());
    }
}

TEST_F(BackupTest, UnopenedDatabaseAndUnmakeableDirectoryAreReported) {
    QTemporaryDir damaged;
    writeBytes(QDir(damaged.path()).filePath(QStringLiteral("DB/motel.db")),
               QByteArray(2048, '\x01'));
    writeBytes(QDir(damaged.path()).filePath(QStringLiteral("TavolenConfig.ini")), "[Name]\r\n");
    Database broken(damaged.path());
    EXPECT_THROW(broken.open(), DatabaseError);
    Backup(broken, damaged.path(), dialogs).run();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(QStringLiteral("DB/Backup/motel.db")));
    EXPECT_TRUE(QFile::exists(
        QDir(damaged.path()).filePath(QStringLiteral("DB/Backup/TavolenConfig.ini"))));

    writeBytes(path(QStringLiteral("DB/Backup")), "a file where the directory goes");
    dialogs.errors.clear();
    backup.run();
    EXPECT_EQ(dialogs.errors, QStringList{QStringLiteral("백업 폴더를 만들 수 없습니다: ") +
                                          path(QStringLiteral("DB/Backup"))});
}

}  // namespace
