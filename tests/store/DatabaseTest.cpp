#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QTemporaryDir>

#include "store/AliasRegistry.h"
#include "store/Database.h"
#include "store/Query.h"
#include "store/StatementCache.h"
#include "support/StoreHelpers.h"

namespace {

class DatabaseTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Database db{dir.path()};
    QString dbPath() const { return QDir(dir.path()).filePath(QStringLiteral("DB/motel.db")); }
    void openCopy() {
        copyFreshDatabase(dir.path());
        db.open();
    }
};

TEST_F(DatabaseTest, FreshDataDirectoryGetsTheTablesAndTheThreeGrades) {
    db.open();
    EXPECT_EQ(db.path(), dbPath());
    EXPECT_TRUE(QFile::exists(dbPath()));
    EXPECT_EQ(db.passwordProblem(), QString());

    const auto grades =
        rowsOf(db, QStringLiteral(R"(Select Grade, Pass From "grade.DB" Order By Grade)"));
    ASSERT_EQ(grades.size(), 3u);
    const QStringList defaults{QStringLiteral("1111"), QStringLiteral("2222"),
                               QStringLiteral("3333")};
    for (int grade = 1; grade <= 3; ++grade) {
        const QStringList& row = grades[grade - 1];
        EXPECT_EQ(row[0], QString::number(grade));
        EXPECT_TRUE(row[1].startsWith(QStringLiteral("$argon2id$"))) << row[1].toStdString();
        EXPECT_NE(row[1], defaults[grade - 1]);
        EXPECT_TRUE(db.checkPassword(grade, defaults[grade - 1]));
    }
    EXPECT_FALSE(db.checkPassword(1, QStringLiteral("2222")));
    EXPECT_FALSE(db.checkPassword(1, QString()));
    EXPECT_FALSE(db.checkPassword(4, QStringLiteral("1111")));

    // Columns in their places, the ledger's end stamp empty by default.
    execSql(
        db,
        QStringLiteral(
            R"(Insert Into "Cash.DB" (roomNum,IDateTime,Action,Cash) Values('101','200604011735','대실','30000'))"));
    const auto cash = rowsOf(db, QStringLiteral(R"(Select * From "Cash.DB")"));
    ASSERT_EQ(cash.size(), 1u);
    EXPECT_EQ(cash[0], (QStringList{"101", "200604011735", "", "대실", "30000"}));
    EXPECT_EQ(rowsOf(db, QStringLiteral("PRAGMA journal_mode"))[0][0], QStringLiteral("wal"));
    EXPECT_EQ(rowsOf(db, QStringLiteral("PRAGMA synchronous"))[0][0], QStringLiteral("2"));
}

TEST_F(DatabaseTest, ChangedPasswordSurvivesReopeningAndIsNotReseeded) {
    openCopy();
    db.setPassword(1, QStringLiteral("새암호9"));
    EXPECT_TRUE(db.checkPassword(1, QStringLiteral("새암호9")));
    EXPECT_FALSE(db.checkPassword(1, QStringLiteral("1111")));

    Database again(dir.path());
    again.open();
    EXPECT_TRUE(again.checkPassword(1, QStringLiteral("새암호9")));
    EXPECT_FALSE(again.checkPassword(1, QStringLiteral("1111")));
    EXPECT_TRUE(again.checkPassword(3, QStringLiteral("3333")));

    // A grade without its row is never quietly given a password.
    execSql(again, QStringLiteral(R"(Delete From "grade.DB" Where Grade = '2')"));
    EXPECT_THROW(again.setPassword(2, QStringLiteral("x")), DatabaseError);
    EXPECT_FALSE(again.checkPassword(2, QStringLiteral("2222")));
}

TEST_F(DatabaseTest, PlainTextRowMatchesItsExactTextOnceAndIsHashedAtOnce) {
    openCopy();
    const char* const kHashed = "(hash of 1111)";
    const struct {
        const char* stored;  // nullptr: NULL
        const char* typed;
        bool accepted;
    } cases[] = {
        {"1111", "1111", true},  {"1111", "1112", false}, {"1111", "", false},
        {"abc", "ABC", false},   {"암호", "암호", true},  {"", "", false},
        {"", "1111", false},     {nullptr, "", false},    {nullptr, "1111", false},
        {kHashed, "1111", true}, {kHashed, "", false},
    };
    for (const auto& c : cases) {
        const QString typed = QString::fromUtf8(c.typed);
        SCOPED_TRACE(std::string(c.stored ? c.stored : "NULL") + " / " + c.typed);
        if (c.stored == kHashed) {
            db.setPassword(1, QStringLiteral("1111"));
        } else if (!c.stored) {
            execSql(db, QStringLiteral(R"(Update "grade.DB" Set Pass = NULL Where Grade = '1')"));
        } else {
            Query q(db);
            q.addLine(QStringLiteral(R"(Update "grade.DB" Set Pass = :N1 Where Grade = '1')"));
            q.bind(QStringLiteral("N1"), QString::fromUtf8(c.stored));
            q.exec();
        }
        const auto before =
            rowsOf(db, QStringLiteral(R"(Select Pass From "grade.DB" Where Grade = '1')"));

        EXPECT_EQ(db.checkPassword(1, typed), c.accepted);

        const QString after =
            rowsOf(db, QStringLiteral(R"(Select Pass From "grade.DB" Where Grade = '1')"))[0][0];
        if (c.accepted) {
            EXPECT_TRUE(after.startsWith(QStringLiteral("$argon2id$"))) << after.toStdString();
            EXPECT_TRUE(db.checkPassword(1, typed));
            EXPECT_FALSE(db.checkPassword(1, typed + QStringLiteral("x")));
        } else {
            EXPECT_EQ(after, before[0][0]);
        }
        // The other grades are never touched.
        EXPECT_TRUE(db.checkPassword(2, QStringLiteral("2222")));
    }
}

TEST_F(DatabaseTest, ExistingDatabaseWithoutItsPasswordTableGetsNoDefaults) {
    openCopy();
    execSql(db, QStringLiteral(R"(Drop Table "grade.DB")"));
    execSql(
        db,
        QStringLiteral(
            R"(Insert into "room.DB" (roomNum,Sdate,Stime,Action,Comm) Values('101','20060401','1735','대실','1'))"));

    Database again(dir.path());
    again.open();
    EXPECT_TRUE(again.passwordProblem().contains(QStringLiteral("grade.DB")))
        << again.passwordProblem().toStdString();
    const char* defaults[] = {"1111", "2222", "3333"};
    for (int grade = 1; grade <= 3; ++grade) {
        try {
            again.checkPassword(grade, QString::fromLatin1(defaults[grade - 1]));
            ADD_FAILURE() << "grade " << grade << " signed in without a password table";
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.text(), again.passwordProblem());
        }
    }
    EXPECT_THROW(again.setPassword(3, QStringLiteral("3333")), DatabaseError);
    EXPECT_TRUE(
        rowsOf(again, QStringLiteral("Select name From sqlite_master Where name = 'grade.DB'"))
            .empty());
    EXPECT_EQ(rowsOf(again, QStringLiteral(R"(Select * From "room.DB")")).size(), 1u);

    // A file without a single table is a first start cut short: it is set up
    // as a new one.
    QTemporaryDir other;
    writeBytes(QDir(other.path()).filePath(QStringLiteral("DB/motel.db")), QByteArray());
    Database empty(other.path());
    empty.open();
    EXPECT_EQ(empty.passwordProblem(), QString());
    EXPECT_TRUE(empty.checkPassword(3, QStringLiteral("3333")));
}

TEST(Database, OnlyANewInstallationGetsTheDefaultPasswords) {
    using Installation = Database::Installation;
    const struct Case {
        const char* name;
        bool emptyFileThere;  // else no file at all
        Installation installation;
        bool defaults;
    } cases[] = {
        {"new, no file", false, Installation::New, true},
        {"new, first start cut short", true, Installation::New, true},
        {"set up, file lost", false, Installation::SetUp, false},
        {"set up, file emptied", true, Installation::SetUp, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        if (c.emptyFileThere) writeBytes(QDir(dir.path()).filePath("DB/motel.db"), QByteArray());
        Database db(dir.path());
        db.open(c.installation);
        EXPECT_TRUE(db.wasEmpty());
        EXPECT_EQ(db.passwordProblem().isEmpty(), c.defaults) << db.passwordProblem().toStdString();
        EXPECT_EQ(rowsOf(db, QStringLiteral(R"(Select * From "grade.DB")")).size(),
                  c.defaults ? 3u : 0u);
        if (c.defaults) continue;
        EXPECT_TRUE(db.passwordProblem().contains(QStringLiteral("아무도 인증할 수 없습니다")));
        EXPECT_THROW(db.checkPassword(3, QStringLiteral("3333")), DatabaseError);

        // The supplier's restore gives one grade its password; the others still
        // say why they cannot sign in.
        db.restorePassword(3, QStringLiteral("새것"));
        EXPECT_TRUE(db.checkPassword(3, QStringLiteral("새것")));
        EXPECT_FALSE(db.checkPassword(3, QStringLiteral("3333")));
        EXPECT_THROW(db.checkPassword(1, QStringLiteral("1111")), DatabaseError);
        EXPECT_TRUE(db.passwordProblem().contains(QStringLiteral("1, 2")))
            << db.passwordProblem().toStdString();
        db.restorePassword(1, QStringLiteral("a"));
        db.restorePassword(2, QStringLiteral("b"));
        EXPECT_EQ(db.passwordProblem(), QString());
        db.restorePassword(2, QStringLiteral("c"));  // an existing row is replaced
        EXPECT_TRUE(db.checkPassword(2, QStringLiteral("c")));
        EXPECT_EQ(rowsOf(db, QStringLiteral(R"(Select * From "grade.DB")")).size(), 3u);
    }
}

TEST_F(DatabaseTest, RestoreMakesAMissingPasswordTable) {
    openCopy();
    execSql(db, QStringLiteral(R"(Drop Table "grade.DB")"));
    Database again(dir.path());
    again.open(Database::Installation::SetUp);
    EXPECT_FALSE(again.wasEmpty());
    ASSERT_FALSE(again.passwordProblem().isEmpty());
    again.restorePassword(3, QStringLiteral("x"));
    EXPECT_TRUE(again.checkPassword(3, QStringLiteral("x")));
    EXPECT_THROW(again.checkPassword(2, QStringLiteral("2222")), DatabaseError);
}

TEST_F(DatabaseTest, NamesMatchWithoutRegardToCase) {
    openCopy();
    execSql(
        db,
        QStringLiteral(
            R"(Insert into "Room.db" (RoomNum,SDate,Stime,Action,Comm) Values('101','20060401','1735','대실','1'))"));
    execSql(
        db,
        QStringLiteral(
            R"(Insert into "CASH.db" (roomnum,idatetime,Odatetime) Values('102','200604011735','x'))"));
    EXPECT_EQ(rowsOf(db, QStringLiteral(R"(Select roomNum, Sdate From "room.DB")")).size(), 1u);
    EXPECT_EQ(rowsOf(db, QStringLiteral(R"(Select ODateTime From "Cash.DB")"))[0][0],
              QStringLiteral("x"));
}

TEST_F(DatabaseTest, ParametersAreBoundAsTextNeverPasted) {
    openCopy();
    Query q(db);
    q.addLine(QStringLiteral(R"(Insert into "room.DB" (roomNum,Action,Sdate,Stime,Comm))"));
    q.addLine(QStringLiteral("Values(:N1,:N2,:N3,:N4,:n5)"));
    const QString hostile = QStringLiteral(R"(1'); Delete From "grade.DB"; --)");
    q.bind(QStringLiteral(":N1"), QStringLiteral("007"));
    q.bind(QStringLiteral("N2"), hostile);
    q.bind(QStringLiteral("N3"), QStringLiteral("20060401"));
    q.bind(QStringLiteral("N4"), QStringLiteral("0905"));
    q.bind(QStringLiteral("N5"), QStringLiteral("0"));
    q.exec();
    EXPECT_EQ(q.rowsAffected(), 1);

    q.clear();
    q.addLine(QStringLiteral(R"(Select * From "room.DB" Where roomNum = :N1)"));
    q.bind(QStringLiteral("N1"), QStringLiteral("007"));
    q.open();
    ASSERT_EQ(q.rowCount(), 1);
    q.first();
    EXPECT_EQ(q.field(0), QStringLiteral("007"));
    EXPECT_EQ(q.field(1), QStringLiteral("20060401"));
    EXPECT_EQ(q.field(2), QStringLiteral("0905"));
    EXPECT_EQ(q.field(3), hostile);
    q.next();
    EXPECT_TRUE(q.atEnd());
    EXPECT_EQ(rowsOf(db, QStringLiteral(R"(Select * From "grade.DB")")).size(), 3u);
}

TEST_F(DatabaseTest, MalformedQueriesAreRefused) {
    openCopy();
    struct Case {
        const char* name;
        QStringList lines;
        QStringList params;  // name, value, name, value ...
    };
    const Case cases[] = {
        {"unbound parameter", {R"(Select * From "room.DB" Where roomNum = :N1)"}, {}},
        {"unknown parameter", {R"(Select * From "room.DB")"}, {"N1", "101"}},
        {"second statement", {R"(Select * From "room.DB";)", R"(Delete From "grade.DB")"}, {}},
        {"missing table", {R"(Select * From "nothing.DB")"}, {}},
        {"no statement", {}, {}},
    };
    // Twice: a statement kept prepared from the first time is refused again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            Query q(db);
            for (const QString& line : c.lines) q.addLine(line);
            for (int i = 0; i + 1 < c.params.size(); i += 2) q.bind(c.params[i], c.params[i + 1]);
            EXPECT_THROW(q.open(), DatabaseError);
            EXPECT_EQ(q.rowCount(), 0);
        }
    }
    EXPECT_EQ(rowsOf(db, QStringLiteral(R"(Select * From "grade.DB")")).size(), 3u);
}

// Statements kept prepared: more texts than are kept, a text asked for while it is still being
// read, and values that must not stay bound from one use to the next.
TEST_F(DatabaseTest, KeptStatementsGiveTheSameResultsAsFreshOnes) {
    openCopy();
    sqlite3* connection = db.connection();
    StatementCache cache(2);
    const auto count = [&](const QByteArray& sql, const char* value) {
        StatementCache::Use use;
        EXPECT_EQ(cache.prepare(connection, sql, use), SQLITE_OK);
        if (value) sqlite3_bind_text(use.get(), 1, value, -1, SQLITE_STATIC);
        EXPECT_EQ(sqlite3_step(use.get()), SQLITE_ROW);
        return sqlite3_column_int(use.get(), 0);
    };
    const QByteArray byGrade = R"(Select count(*) From "grade.DB" Where Grade = ?1)";
    const QByteArray all = R"(Select count(*) From "grade.DB")";
    const QByteArray none = R"(Select count(*) From "room.DB")";
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(count(byGrade, "2"), 1);
        EXPECT_EQ(count(byGrade, nullptr), 0);  // the 2 of the last use is gone
        EXPECT_EQ(count(all, nullptr), 3);
        EXPECT_EQ(count(none, nullptr), 0);
    }

    StatementCache::Use outer;
    ASSERT_EQ(cache.prepare(connection, R"(Select Grade From "grade.DB" Order By Grade)", outer),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(outer.get()), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(outer.get(), 0), 1);
    {
        StatementCache::Use inner;
        ASSERT_EQ(
            cache.prepare(connection, R"(Select Grade From "grade.DB" Order By Grade)", inner),
            SQLITE_OK);
        EXPECT_NE(inner.get(), outer.get());
        ASSERT_EQ(sqlite3_step(inner.get()), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(inner.get(), 0), 1);
    }
    for (const QByteArray& sql : {byGrade, all, none}) count(sql, "1");  // pushes the outer out
    ASSERT_EQ(sqlite3_step(outer.get()), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(outer.get(), 0), 2);
}

TEST_F(DatabaseTest, FileThatIsNotADatabaseIsReportedAndLeftAlone) {
    const QByteArray garbage = QByteArray("this is no database, just bytes ").repeated(200);
    writeBytes(dbPath(), garbage);
    try {
        db.open();
        FAIL() << "opened a damaged file";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(
            e.text().startsWith(QStringLiteral("데이터베이스 파일을 열 수 없습니다: ") + dbPath()))
            << e.what();
    }
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(readBytes(dbPath()), garbage);
    EXPECT_FALSE(QFile::exists(dbPath() + QStringLiteral("-wal")));
    // Every later statement names the same cause.
    EXPECT_THROW(rowsOf(db, QStringLiteral(R"(Select * From "room.DB")")), DatabaseError);
    EXPECT_THROW(db.checkPassword(1, QStringLiteral("1111")), DatabaseError);
}

TEST_F(DatabaseTest, DatabaseDirectoryThatCannotBeMadeIsReported) {
    writeBytes(QDir(dir.path()).filePath(QStringLiteral("DB")), "a file where the directory goes");
    EXPECT_THROW(db.open(), DatabaseError);
    EXPECT_FALSE(db.isOpen());
}

TEST_F(DatabaseTest, PurgesAndSettlementReadsUseTheirIndexes) {
    openCopy();
    const struct {
        const char* sql;
        const char* index;
    } cases[] = {
        {R"(Delete From "room.DB" Where Sdate || Stime < '200604011030')", "room_when"},
        {R"(Delete From "Cash.DB" Where (IDateTime < '200604011030') and (ODateTime != ''))",
         "cash_start"},
        {R"(Select * From "Cash.DB" Where (IDateTime >= '200604010300') and (IDateTime < '200604020300') Order By roomNum ASC)",
         "cash_start"},
        {R"(Update "Cash.DB" Set Odatetime = '1' Where (roomNum = '101') and (IDateTime = '200604011735'))",
         "cash_stay"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        QString plan;
        for (const QStringList& row : rowsOf(db, QStringLiteral("EXPLAIN QUERY PLAN ") + c.sql))
            plan += row.join(u' ') + u'\n';
        EXPECT_TRUE(plan.contains(QString::fromLatin1(c.index))) << plan.toStdString();
    }
}

class AliasRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = qgetenv("XDG_CONFIG_HOME");
        hadValue = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    }
    void TearDown() override {
        if (hadValue)
            qputenv("XDG_CONFIG_HOME", saved);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    QTemporaryDir config;
    QTemporaryDir data;
    QByteArray saved;
    bool hadValue = false;
};

TEST_F(AliasRegistryTest, MotelIsAddedOnTheFirstStartOnly) {
    AliasRegistry registry;
    const QString file = QDir(config.path()).filePath(QStringLiteral("tavolen/aliases.ini"));
    EXPECT_EQ(registry.path(), file);

    EXPECT_TRUE(registry.ensureMotelLocation(data.path() + QStringLiteral("/")));
    const QByteArray written = readBytes(file);
    EXPECT_EQ(written, QStringLiteral("[Motel]\nPATH=%1/DB\n").arg(data.path()).toUtf8());

    EXPECT_FALSE(AliasRegistry().ensureMotelLocation(data.path()));
    EXPECT_EQ(readBytes(file), written);
}

TEST_F(AliasRegistryTest, OtherNamesAreKeptAndAnyCaseCounts) {
    const QString file = QDir(config.path()).filePath(QStringLiteral("tavolen/aliases.ini"));
    writeBytes(file, "[Other]\nPATH=/srv/other");
    EXPECT_TRUE(AliasRegistry().ensureMotelLocation(data.path()));
    EXPECT_EQ(readBytes(file), QStringLiteral("[Other]\nPATH=/srv/other\n[Motel]\nPATH=%1/DB\n")
                                   .arg(data.path())
                                   .toUtf8());

    writeBytes(file, "[ motel ]\nPATH=/elsewhere/DB\n");
    EXPECT_FALSE(AliasRegistry().ensureMotelLocation(data.path()));
}

TEST_F(AliasRegistryTest, RegistryThatCannotBeWrittenRaises) {
    // A directory where the file should be: refused even for root.
    QDir().mkpath(QDir(config.path()).filePath(QStringLiteral("tavolen/aliases.ini")));
    EXPECT_THROW(AliasRegistry().ensureMotelLocation(data.path()), TavolenError);
}

}  // namespace
