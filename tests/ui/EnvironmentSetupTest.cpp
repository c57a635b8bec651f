#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "admin/EnvironmentSetup.h"
#include "admin/EnvironmentSetupWindow.h"
#include "board/StoredRoomState.h"
#include "store/Backup.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/RoomRecords.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

class Environment : public ::testing::Test {
protected:
    BoardFixture f;
    std::unique_ptr<Database> db;
    std::unique_ptr<RoomRecords> ledger;
    std::unique_ptr<Backup> backup;
    std::unique_ptr<EnvironmentSetup> setup;
    QStringList reopened;
    bool portOpens = true;

    void SetUp() override {
        copyFreshDatabase(f.dataDir());
        f.start();
        db = std::make_unique<Database>(f.dataDir());
        db->open();
        ledger = std::make_unique<RoomRecords>(*db, f.clock, f.dialogs);
        f.board.setRecords(ledger.get());  // as the desk has it: rows go with the board's steps
        backup = std::make_unique<Backup>(*db, f.dataDir(), f.dialogs);
        EnvironmentSeams seams;
        seams.backup = [this] { return backup->run(); };
        seams.deleteAllRecords = [this] { ledger->deleteAllRecords(); };
        seams.reopenPort = [this](const QString& port) {
            reopened << port;
            if (!portOpens) throw TavolenError(QStringLiteral("No such file or directory"));
        };
        setup = std::make_unique<EnvironmentSetup>(f.board, seams);
    }
    QString stored(const QString& section, const QString& key) {
        return IniStore(f.iniPath()).readString(section, key, QStringLiteral("?"));
    }
};

TEST_F(Environment, PositionsAndTheirMessages) {
    const struct Case {
        const char *x, *y;
        int slot;
        QStringList errors;
        const char *xAfter, *yAfter;
    } cases[] = {
        {"1", "1", 1, {}, "1", "1"},
        {"6", "12", 72, {}, "6", "12"},
        {"3", "2", 9, {}, "3", "2"},
        {"", "", 0, {"X값을 입력해주셔야 합니다", "Y값을 입력해주셔야 합니다"}, "1", "1"},
        {"2", "13", 0, {"12이상 입력불가능"}, "2", "12"},
        {"", "13", 0, {"X값을 입력해주셔야 합니다", "12이상 입력불가능"}, "1", "12"},
        {"2", "00", 0, {"세로위치는 1에서 12까지 입력하셔야 합니다"}, "2", "00"},
        {"7", "1", 0, {"가로위치는 1에서 6까지 입력하셔야 합니다"}, "7", "1"},
        {"2", "a", 0, {"세로위치는 숫자로 입력하셔야 합니다"}, "2", "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.x) + "," + c.y);
        f.dialogs.errors.clear();
        EnvironmentSetup::Position boxes{QString::fromLatin1(c.x), QString::fromLatin1(c.y)};
        EXPECT_EQ(setup->checkPosition(boxes), c.slot);
        EXPECT_EQ(f.dialogs.errors, c.errors);
        EXPECT_EQ(boxes.x, QString::fromLatin1(c.xAfter));
        EXPECT_EQ(boxes.y, QString::fromLatin1(c.yAfter));
    }
}

TEST_F(Environment, CreateAndRemovePanels) {
    EnvironmentSetup::Position boxes{"1", "13"};
    EXPECT_FALSE(setup->createRoom(boxes));
    EXPECT_TRUE(setup->createRoom(boxes));  // the corrected row 12
    EXPECT_TRUE(f.board.view(67).visible);
    EXPECT_EQ(f.board.slot(67).hasPanel, 1);
    EXPECT_EQ(stored("Panel", "P67"), QStringLiteral("1"));
    EXPECT_FALSE(setup->createRoom(boxes));
    EXPECT_EQ(f.dialogs.errors.last(), QStringLiteral("이미 룸이 생성되어 있습니다"));

    EXPECT_TRUE(setup->removeRoom(boxes));
    EXPECT_FALSE(f.board.view(67).visible);
    EXPECT_EQ(stored("Panel", "P67"), QStringLiteral("0"));
    EXPECT_EQ(stored("Name", "LName67"), QStringLiteral("67"));
    EXPECT_FALSE(setup->removeRoom(boxes));
    EXPECT_EQ(f.dialogs.errors.last(), QStringLiteral("생성하지 않은 룸은 제거할수 없습니다"));

    // A room with a number goes only after its room setup has been reset.
    boxes = {"2", "1"};
    ASSERT_TRUE(setup->createRoom(boxes));
    f.board.slot(2).roomName = QStringLiteral("102");
    EXPECT_FALSE(setup->removeRoom(boxes));
    EXPECT_EQ(f.dialogs.errors.last(),
              QStringLiteral("룸설정이 되어있는 룸은 룸설정 초기화하셔야 제거할수 있습니다"));
    EXPECT_TRUE(f.board.view(2).visible);
}

TEST_F(Environment, BusinessNameShowsAtOnceAndBadTextStoresNothing) {
    ASSERT_TRUE(setup->registerBusiness({"해오름 모텔", "김대표", "031-123-4567"}));
    EXPECT_EQ(f.board.left().businessName, QStringLiteral("해오름 모텔"));
    EXPECT_EQ(stored("Motel", "CoName"), QStringLiteral("해오름 모텔"));
    EXPECT_EQ(stored("Motel", "Topname"), QStringLiteral("김대표"));
    EXPECT_EQ(stored("Motel", "Tel"), QStringLiteral("031-123-4567"));
    EXPECT_EQ(setup->business().representative, QStringLiteral("김대표"));

    EXPECT_FALSE(setup->registerBusiness({"새 이름", "박대표", "☎ 😀"}));  // no CP949 form
    EXPECT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_EQ(stored("Motel", "CoName"), QStringLiteral("해오름 모텔"));
    EXPECT_EQ(stored("Motel", "Topname"), QStringLiteral("김대표"));
    EXPECT_EQ(f.board.left().businessName, QStringLiteral("해오름 모텔"));
}

class RemoveAll : public Environment {
protected:
    void SetUp() override {
        {
            IniStore ini(f.iniPath());
            for (int n : {1, 2}) {
                const QString r = QStringLiteral("r%1").arg(n);
                ini.writeString("Name", QStringLiteral("LName%1").arg(n),
                                QStringLiteral("10%1").arg(n));
                ini.writeInteger("Panel", QStringLiteral("P%1").arg(n), 1);
                ini.writeString("rStatus", r, storedText(RoomState::Overnight));
                ini.writeInteger("Sleep", r, 1);
                ini.writeInteger("RoomKey", r, 128 + n);
                ini.writeString("Memo", r, "VIP");
                ini.writeString("Alram", r, "2006-04-02 07:00");
            }
            ini.writeInteger("Motel", "SleepCnt", 4);
        }
        Environment::SetUp();
        ledger->addHistory("101", "숙박", "1");
        ledger->openLedgerRow("101", "200604011735", StayKind::Overnight, 30000, 50000);
    }
    int rows(const char* table) {
        return int(
            rowsOf(*db, QStringLiteral("Select * From \"%1\"").arg(QLatin1String(table))).size());
    }
};

TEST_F(RemoveAll, AsksBacksUpThenWipesEveryRoomAndBothTables) {
    f.dialogs.answers = {false};
    EXPECT_FALSE(setup->removeAll());
    EXPECT_TRUE(f.board.view(1).visible);
    EXPECT_EQ(rows("Cash.DB"), 1);

    ASSERT_TRUE(setup->removeAll());
    EXPECT_TRUE(f.dialogs.questions.last().contains(QStringLiteral("매출 장부")));
    EXPECT_TRUE(QFile::exists(backup->directory() + QStringLiteral("/motel.db")));
    EXPECT_EQ(rows("room.DB"), 0);
    EXPECT_EQ(rows("Cash.DB"), 0);
    for (int n : {1, 2, 72}) {
        SCOPED_TRACE(n);
        const QString r = QStringLiteral("r%1").arg(n);
        EXPECT_FALSE(f.board.view(n).visible);
        EXPECT_EQ(f.board.view(n).buttonCaption, QStringLiteral("호수"));
        EXPECT_EQ(f.board.view(n).labelCaption, storedText(RoomState::Finished));
        EXPECT_EQ(f.board.view(n).hint, QString());
        EXPECT_EQ(f.board.slot(n).keyCode, 0);
        EXPECT_EQ(f.board.slot(n).morningCall, QString());
        EXPECT_EQ(stored("Panel", QStringLiteral("P%1").arg(n)), QStringLiteral("0"));
        EXPECT_EQ(stored("Name", QStringLiteral("LName%1").arg(n)), QString::number(n));
        EXPECT_EQ(stored("Sleep", r), QStringLiteral("0"));
        for (const char* section :
             {"rStatus", "RoomKey", "TimeEnd", "Time", "DoorStatus", "Alram", "Memo"})
            EXPECT_EQ(stored(section, r), QString()) << section;
        EXPECT_EQ(stored("Money", QStringLiteral("rs%1").arg(n)), QString());
    }
    EXPECT_EQ(stored("Motel", "SleepCnt"), QStringLiteral("0"));
    EXPECT_EQ(f.board.left().overnightCountText, QStringLiteral("숙박:0"));
}

TEST_F(RemoveAll, RefusedWhenTheBackupFails) {
    // A file where the backup directory should be: no copy can be made.
    writeBytes(QDir(f.dataDir()).filePath(QStringLiteral("DB/Backup")), "in the way");
    const QByteArray before = readBytes(f.iniPath());
    EXPECT_FALSE(setup->removeAll());
    EXPECT_EQ(
        f.dialogs.errors.last(),
        QStringLiteral("자료복사를 하지 못해 전체제거를 하지 않았습니다. 지워진 것은 없습니다"));
    EXPECT_EQ(readBytes(f.iniPath()), before);
    EXPECT_EQ(rows("room.DB"), 1);
    EXPECT_EQ(rows("Cash.DB"), 1);
    EXPECT_TRUE(f.board.view(1).visible);
}

// The file's reset and the emptied tables are one step: a write that cannot finish
// leaves both as they were, and the retry writes both.
TEST_F(RemoveAll, InterruptedLeavesBothStoresWholeAndTheRetryFinishesBoth) {
    const QByteArray before = readBytes(f.iniPath());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db->path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    EXPECT_TRUE(setup->removeAll());
    EXPECT_TRUE(f.board.writesPending());
    EXPECT_FALSE(f.board.storageWarning().isEmpty());
    EXPECT_EQ(readBytes(f.iniPath()), before);
    EXPECT_FALSE(f.board.view(1).visible) << "the board shows the reset while it is on its way";

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(rows("Cash.DB"), 1);
    f.board.writeStep();
    EXPECT_FALSE(f.board.writesPending());
    EXPECT_EQ(rows("room.DB"), 0);
    EXPECT_EQ(rows("Cash.DB"), 0);
    EXPECT_EQ(stored("Panel", "P1"), QStringLiteral("0"));
    EXPECT_EQ(stored("rStatus", "r1"), QString());
}

TEST_F(Environment, SavingAPortReopensTheLinkAtOnce) {
    EXPECT_EQ(setup->port(), QStringLiteral("COM2"));  // what the board opened with no key
    ASSERT_TRUE(setup->savePort(QStringLiteral("/dev/ttyUSB0")));
    EXPECT_EQ(reopened, QStringList{"/dev/ttyUSB0"});
    EXPECT_EQ(stored("Motel", "ComPort"), QStringLiteral("/dev/ttyUSB0"));

    portOpens = false;
    EXPECT_FALSE(setup->savePort(QStringLiteral("COM1")));
    EXPECT_TRUE(f.dialogs.errors.last().startsWith(QStringLiteral("COM1 포트를 열 수 없습니다")));
    EXPECT_EQ(stored("Motel", "ComPort"), QStringLiteral("COM1"));  // kept: the link keeps trying

    EXPECT_FALSE(setup->savePort(QStringLiteral("LPT1")));
    EXPECT_EQ(stored("Motel", "ComPort"), QStringLiteral("COM1"));
    EXPECT_EQ(reopened.size(), 2);
}

TEST_F(Environment, WindowShowsWhatIsStoredAndTheCorrectedBoxes) {
    ASSERT_TRUE(setup->registerBusiness({"해오름 모텔", "김대표", "031-123-4567"}));
    QTemporaryDir dev;
    EnvironmentSetupWindow window(*setup, nullptr, dev.path());
    EXPECT_EQ(window.findChild<QLineEdit*>("businessNameBox")->text(),
              QStringLiteral("해오름 모텔"));
    auto* port = window.findChild<QComboBox*>("portChoice");
    EXPECT_EQ(port->currentText(), QStringLiteral("COM2"));
    EXPECT_EQ(port->count(), 2);

    window.findChild<QLineEdit*>("rowBox")->setText("13");
    window.findChild<QPushButton*>("createButton")->click();
    EXPECT_EQ(f.dialogs.errors, (QStringList{"X값을 입력해주셔야 합니다", "12이상 입력불가능"}));
    EXPECT_EQ(window.findChild<QLineEdit*>("columnBox")->text(), QStringLiteral("1"));
    EXPECT_EQ(window.findChild<QLineEdit*>("rowBox")->text(), QStringLiteral("12"));
    window.findChild<QPushButton*>("createButton")->click();
    EXPECT_TRUE(f.board.view(67).visible);
}

TEST(PortChoice, ComPortsThenTheSerialDevicesPresent) {
    QTemporaryDir dev;
    for (const char* name : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM0", "tty0", "sda",
                             "serial/by-id/usb-FTDI_FT232R-if00-port0"})
        writeBytes(dev.filePath(QString::fromLatin1(name)), "");
    const QString root = dev.path();
    EXPECT_EQ(EnvironmentSetup::availablePorts(root),
              (QStringList{"COM1", "COM2", root + "/ttyACM0", root + "/ttyS2", root + "/ttyS10",
                           root + "/ttyUSB0", root + "/serial/by-id/usb-FTDI_FT232R-if00-port0"}));
}

}  // namespace
