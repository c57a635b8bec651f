#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <deque>
#include <functional>

#include "admin/EnvironmentSetup.h"
#include "audit/AuditTrail.h"
#include "auth/PasswordRules.h"
#include "board/ClerkActions.h"
#include "board/RoomModalWindows.h"
#include "board/ToolbarCommands.h"
#include "settlement/LedgerReader.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/Outbox.h"
#include "store/RoomRecords.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

// The desk's parts that record privileged actions, on a real database and room-state file; the
// password window is scripted (each showing types the next text).
class Trail : public ::testing::Test {
protected:
    BoardFixture f;
    std::unique_ptr<Database> db;
    std::unique_ptr<RoomRecords> ledger;
    std::unique_ptr<AuditTrail> trail;
    std::unique_ptr<PasswordRules> rules;
    std::unique_ptr<ToolbarCommands> toolbar;
    std::unique_ptr<EnvironmentSetup> environment;
    std::deque<QString> typed;

    void SetUp() override {
        copyFreshDatabase(f.dataDir());
        db = std::make_unique<Database>(f.dataDir());
        db->open();
        ledger = std::make_unique<RoomRecords>(*db, f.clock, f.dialogs);
        f.board.setRecords(ledger.get());
        trail = std::make_unique<AuditTrail>(*db, f.clock);
        rules = std::make_unique<PasswordRules>(*db, f.clock, f.session, f.lockdown);
        rules->trail = trail.get();
        ToolbarWindows w;
        w.password = [this] {
            if (typed.empty()) return;
            rules->check(typed.front());
            typed.pop_front();
        };
        w.backup = [] { return true; };
        w.backupDirectory = QStringLiteral("/data/DB/Backup");
        toolbar = std::make_unique<ToolbarCommands>(f.board, w);
        EnvironmentSeams seams;
        seams.backup = [] { return true; };
        seams.deleteAllRecords = [this] { ledger->deleteAllRecords(); };
        environment = std::make_unique<EnvironmentSetup>(f.board, seams);
    }

    void start() { f.start(); }

    std::vector<QStringList> rows() {
        return rowsOf(*db, QStringLiteral("SELECT at, grade, action, detail FROM tavolen_audit "
                                          "ORDER BY seq"));
    }
    int count() { return int(rows().size()); }

    void signIn(int grade) {
        f.session.gradeToCheck = grade;
        ASSERT_EQ(rules->check(QString(4, QChar(u'0' + grade))), PasswordRules::Outcome::SignedIn);
    }

    void addStay(const char* room, const char* start, const char* cash) {
        execSql(*db,
                QStringLiteral(R"(INSERT INTO "Cash.DB" VALUES ('%1', '%2', '%2', '대실', '%3'))")
                    .arg(QLatin1String(room), QLatin1String(start), QLatin1String(cash)));
    }
};

QJsonObject json(const QString& text) { return QJsonDocument::fromJson(text.toUtf8()).object(); }

TEST_F(Trail, EachPrivilegedActionLeavesOneRowWithTheGradeAndWhatWasDone) {
    start();
    addStay("101", "200604011000", "30000");
    addStay("102", "200604011100", "40000");
    const struct Case {
        const char* what;
        std::function<void()> act;
        const char* action;
        int grade;
        QJsonObject detail;
    } cases[] = {
        {"sign-in at the desk",
         [&] {
             typed = {QStringLiteral("1111")};
             toolbar->signInOrOut();
         },
         "sign_in",
         1,
         {}},
        {"a password changed: the grade, never the password",
         [&] {
             f.session.gradeToCheck = 1;
             ASSERT_EQ(rules->change("1111", "4321", "4321"), PasswordRules::Outcome::Changed);
         },
         "password_changed",
         1,
         {}},
        {"the business registered: key, old and new value",
         [&] {
             environment->registerBusiness({"새모텔", "", ""});
         },
         "environment_saved",
         1,
         {{"section", "Motel"}, {"key", "CoName"}, {"old", ""}, {"new", "새모텔"}}},
        {"data backup",
         [&] { toolbar->backup(); },
         "backup",
         1,
         {{"directory", "/data/DB/Backup"}}},
        {"ledger rows deleted in the settlement: which, and their amounts",
         [&] {
             const auto stays = ledger::readStays(
                 db->connection(), settlementDayFrom(QDate(2006, 4, 1), 0), StayOrder::ByRoom);
             ASSERT_EQ(ledger::deleteStays(db->connection(), {stays.at(1)}, 1, f.clock.now()), 1);
         },
         "ledger_rows_deleted",
         1,
         {{"rows", QJsonArray{QJsonObject{{"row", 2},
                                          {"roomNum", "102"},
                                          {"IDateTime", "200604011100"},
                                          {"ODateTime", "200604011100"},
                                          {"Action", "대실"},
                                          {"Cash", 40000}}}}}},
        {"sign-out", [&] { toolbar->signInOrOut(); }, "sign_out", 1, {{"idle", false}}},
        {"a burst of wrong passwords",
         [&] {
             f.session.gradeToCheck = 3;
             for (int i = 0; i < PasswordRules::kMaxFailures; ++i) rules->check("0000");
         },
         "wrong_passwords",
         3,
         {{"where", "desk"}, {"count", PasswordRules::kMaxFailures}}},
        {"the lock lifted for Windows use",
         [&] {
             typed = {QStringLiteral("2222")};
             f.session.gradeToCheck = 2;
             toolbar->useWindows();
         },
         "lock_lifted",
         2,
         {}},
        {"전체제거",
         [&] {
             signIn(3);
             environment->removeAll();
         },
         "remove_all",
         3,
         {}},
        {"the PC powered off", [&] { toolbar->shutDown(); }, "power_off", 3, {}},
        {"a web account added",
         [&] { trail->webAccount(true, "owner"); },
         "web_account_added",
         0,
         {{"account", "owner"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = count();
        f.clock.advanceMinutes(1);
        c.act();
        const auto all = rows();
        ASSERT_FALSE(all.empty());
        const QStringList& last = all.back();
        EXPECT_EQ(last.at(0), f.clock.now().toString("yyyy-MM-dd HH:mm:ss"));
        EXPECT_EQ(last.at(1).toInt(), c.grade);
        EXPECT_EQ(last.at(2), QString::fromLatin1(c.action));
        EXPECT_EQ(json(last.at(3)), c.detail);
        EXPECT_FALSE(last.at(3).contains("4321"));
        // Exactly the action's own row, and every earlier row kept: 전체제거 empties the
        // history and the ledger, never the trail. A sign-in on the way adds its own row.
        EXPECT_EQ(all.size(), std::size_t(before + (QLatin1String(c.action) == "remove_all" ||
                                                            QLatin1String(c.action) == "lock_lifted"
                                                        ? 2
                                                        : 1)));
    }
    EXPECT_TRUE(rowsOf(*db, R"(SELECT 1 FROM "Cash.DB")").empty());
}

TEST_F(Trail, RoomSetupRecordsEachChangedValueAndAMissedMorningCallItsRoom) {
    writeBytes(f.iniPath(),
               "[Panel]\nP1=1\n[Name]\nLName1=101\n[Alram]\nr1=2006-04-01 08:00\n"
               "[Money]\nrs1=50000\nrd1=30000\n");
    start();
    const auto all = rows();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].at(2), "morning_call_missed");
    EXPECT_EQ(json(all[0].at(3)), (QJsonObject{{"room", "101"}, {"call", "2006-04-01 08:00"}}));

    // The room setup saves a new number and key, and the fees (its fee boxes change the slot).
    struct SetupWindow : RoomModalWindows {
        std::optional<RoomAction> runPopup(const RoomOffer&, const QString&) override {
            return std::nullopt;
        }
        RoomSetupResult runRoomSetup(int slot, const QString&, Query&) override {
            board->slot(slot).dayUseFee = 35000;
            return {false, QStringLiteral("105"), 128 + 7, true};
        }
        BoardModel* board = nullptr;
    } window;
    window.board = &f.board;
    ClerkActions actions(f.board, *db, window);
    f.session.grade = 1;
    actions.onRoomButtonClicked(1);
    const auto after = rows();
    ASSERT_EQ(after.size(), 4u);  // the overnight fee stayed as it was
    const auto row = [&](std::size_t i) {
        return std::make_pair(after[i].at(2), json(after[i].at(3)));
    };
    const auto changed = [](const char* section, const char* key, const char* old,
                            const char* now) {
        return std::make_pair(
            QStringLiteral("room_setup_saved"),
            QJsonObject{{"section", section}, {"key", key}, {"old", old}, {"new", now}});
    };
    EXPECT_EQ(row(1), changed("Name", "LName1", "101", "105"));
    EXPECT_EQ(row(2), changed("RoomKey", "r1", "", "135"));
    EXPECT_EQ(row(3), changed("Money", "rd1", "30000", "35000"));
    EXPECT_EQ(after[3].at(1), "1");
}

// The setup's values and their trail rows are one step: while the database refuses the step,
// the file keeps its old value too, and both arrive together once it takes it.
TEST_F(Trail, EnvironmentSavedReachesTheDiskTogetherWithItsRow) {
    start();
    f.session.grade = 1;
    const auto storedName = [&] {
        return IniStore(f.iniPath())
            .snapshot()
            .readString(QStringLiteral("Motel"), QStringLiteral("CoName"), QString());
    };
    Database other(f.dataDir());
    other.open();
    execSql(other, QStringLiteral("BEGIN IMMEDIATE"));
    ASSERT_TRUE(environment->registerBusiness({"새모텔", "", ""}));
    EXPECT_EQ(storedName(), QString());
    EXPECT_EQ(count(), 0);
    EXPECT_FALSE(f.board.storageWarning().isEmpty());

    execSql(other, QStringLiteral("COMMIT"));
    f.board.writeStep();
    EXPECT_EQ(storedName(), QStringLiteral("새모텔"));
    ASSERT_EQ(count(), 1);
    EXPECT_EQ(rows()[0].at(2), "environment_saved");

    // A name the file cannot hold stores none of the three, and says so.
    EXPECT_FALSE(environment->registerBusiness({"모텔", "😀", ""}));
    EXPECT_EQ(storedName(), QStringLiteral("새모텔"));
    EXPECT_EQ(count(), 1);
}

TEST_F(Trail, AStartAfterAnUncleanStopSaysHowLongTheDeskWasDown) {
    start();
    EXPECT_EQ(trail->started(), std::nullopt);  // the first run of the database
    f.clock.advanceMinutes(5);
    trail->alive();
    f.clock.advanceMinutes(42);  // the power cut
    EXPECT_EQ(trail->started(), std::optional<qint64>(42 * 60));
    ASSERT_EQ(rows().back().at(2), "unclean_start");
    EXPECT_EQ(json(rows().back().at(3)).value("downMinutes").toInt(), 42);

    f.board.recordAction(audit::Action::ProgramClosed);
    f.clock.advanceMinutes(600);
    EXPECT_EQ(trail->started(), std::nullopt);
    EXPECT_EQ(rows().back().at(2), "program_closed");
}

TEST_F(Trail, NoWindowNorPurgeChangesOrDeletesARowOnlyItsOwnRetentionDoes) {
    outbox::install(db->connection());
    start();
    trail->record({audit::Action::Backup, 1, {}});
    f.clock.advanceMinutes(60 * 24 * 31 * 25);
    trail->record({audit::Action::Backup, 1, {}});
    ASSERT_EQ(count(), 2);

    // Every way the desk deletes rows: 전체제거's tables, the minute's purges, the settlement.
    ledger->deleteAllRecords();
    ledger->purge(1);
    addStay("101", "200604011000", "30000");
    ledger::deleteStays(db->connection(),
                        ledger::readStays(db->connection(), settlementDayFrom(QDate(2006, 4, 1), 0),
                                          StayOrder::ByRoom),
                        1, f.clock.now());
    EXPECT_EQ(count(), 3);
    // Nor a statement of anybody's.
    for (const char* sql : {"DELETE FROM tavolen_audit", "UPDATE tavolen_audit SET grade = 0",
                            "DELETE FROM tavolen_audit WHERE seq = 1"}) {
        SCOPED_TRACE(sql);
        EXPECT_THROW(execSql(*db, QString::fromLatin1(sql)), DatabaseError);
    }
    EXPECT_EQ(count(), 3);

    audit::purge(db->connection(), f.clock.now(), audit::kDefaultKeepMonths);
    const auto kept = rows();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].at(0), f.clock.now().toString("yyyy-MM-dd HH:mm:ss"));
    EXPECT_THROW(execSql(*db, "DELETE FROM tavolen_audit"), DatabaseError);
}

}  // namespace
