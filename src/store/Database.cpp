#include "store/Database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "store/PasswordHash.h"
#include "store/Query.h"

namespace {

struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

void exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw DatabaseError(text);
    }
}

// Opens (or creates) a file with extended result codes, so that messages say
// exactly what went wrong.
Connection openFile(const QString& path) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Connection db(raw);
    if (rc != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc)));
    sqlite3_extended_result_codes(db.get(), 1);
    return db;
}

constexpr const char* kCreateGrades =
    R"(CREATE TABLE IF NOT EXISTS "grade.DB" (Grade TEXT PRIMARY KEY, Pass TEXT))";

// The passwords a new installation starts with, by grade.
constexpr const char* kDefaultPasswords[] = {"1111", "2222", "3333"};

// What the history purge, the ledger purge and the settlement reads look up.
// The history purge compares the joined date and time, so its index is on
// that very expression.
constexpr const char* kIndexes[] = {
    R"(CREATE INDEX IF NOT EXISTS "room_when" ON "room.DB" (Sdate || Stime))",
    R"(CREATE INDEX IF NOT EXISTS "cash_start" ON "Cash.DB" (IDateTime))",
    R"(CREATE INDEX IF NOT EXISTS "cash_stay" ON "Cash.DB" (roomNum, IDateTime))",
    // Covers the monthly settlement's sums, so they never read the table itself.
    R"(CREATE INDEX IF NOT EXISTS "cash_settlement" ON "Cash.DB" (IDateTime, Action, Cash))",
};

void syncDirectory(const QString& dir) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

Database::Database(const QString& dataDir)
    : path_(QDir::cleanPath(QDir(dataDir).absoluteFilePath(QStringLiteral("DB/motel.db")))),
      openError_(QStringLiteral("데이터베이스가 열려 있지 않습니다: ") + path_),
      queryRoom_(std::make_unique<Query>(*this)),
      queryCash_(std::make_unique<Query>(*this)),
      queryGrade_(std::make_unique<Query>(*this)) {}

Database::~Database() {
    statements_.clear();
    sqlite3_close_v2(db_);
}

sqlite3* Database::connection() const {
    if (!db_) throw DatabaseError(openError_);
    return db_;
}

void Database::open(Installation installation) {
    if (db_) return;
    try {
        if (!QDir().mkpath(QFileInfo(path_).absolutePath()))
            throw DatabaseError(QStringLiteral("디렉터리를 만들 수 없습니다"));
        passwordProblem_.clear();
        gradesWithoutPassword_.clear();
        Connection db = openFile(path_);
        sqlite3_busy_timeout(db.get(), 5000);
        // Reading the schema comes first: a file that is not a database fails
        // here, before anything could be written to it.
        exec(db.get(), "SELECT count(*) FROM sqlite_master");
        exec(db.get(), "PRAGMA journal_mode=WAL");
        exec(db.get(), "PRAGMA synchronous=FULL");
        db_ = db.release();
        createMissingTables(installation);
    } catch (const DatabaseError& e) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        openError_ =
            QStringLiteral("데이터베이스 파일을 열 수 없습니다: %1 (%2)").arg(path_, e.text());
        throw DatabaseError(openError_);
    }
}

void Database::createMissingTables(Installation installation) {
    Query& q = *queryGrade_;
    exec(db_, "BEGIN IMMEDIATE");
    bool gradesExist = false;
    try {
        // A file without any table is one being set up now (or one whose very
        // first start was cut short), or, in an installation set up before,
        // one that was lost or emptied.
        q.clear();
        q.addLine(QStringLiteral("Select name From sqlite_master Where type = 'table'"));
        q.open();
        wasEmpty_ = q.rowCount() == 0;
        q.clear();
        q.addLine(QStringLiteral("Select name From sqlite_master"));
        q.addLine(QStringLiteral("Where type = 'table' and name = 'grade.DB' COLLATE NOCASE"));
        q.open();
        gradesExist = q.rowCount() > 0;

        exec(db_, R"(CREATE TABLE IF NOT EXISTS "room.DB" (
                       roomNum TEXT, Sdate TEXT, Stime TEXT, Action TEXT, Comm TEXT))");
        exec(db_, R"(CREATE TABLE IF NOT EXISTS "Cash.DB" (
                       roomNum TEXT, IDateTime TEXT, ODateTime TEXT DEFAULT '', Action TEXT,
                       Cash TEXT))");
        if (wasEmpty_) {
            exec(db_, kCreateGrades);
            gradesExist = true;
        }
        // Only the very first start of an installation gets the published
        // defaults: given to a database that went missing later, they would
        // open the desk, and the supplier's grade the keyboard lock, to anybody.
        if (wasEmpty_ && installation == Installation::New) {
            for (int grade = 1; grade <= 3; ++grade) {
                q.clear();
                q.addLine(
                    QStringLiteral(R"(Insert Into "grade.DB" (Grade, Pass) Values(:N1,:N2))"));
                q.bind(QStringLiteral("N1"), QString::number(grade));
                q.bind(QStringLiteral("N2"),
                       passwordHash::make(QString::fromLatin1(kDefaultPasswords[grade - 1])));
                q.exec();
            }
        } else if (!gradesExist) {
            passwordProblem_ =
                QStringLiteral(
                    "암호 테이블(grade.DB)이 데이터베이스에 없어 아무도 인증할 수 없습니다. "
                    "공급업체에 복구(tavolen passwd)를 요청하십시오: %1")
                    .arg(path_);
        }
        exec(db_, "COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    q.clear();
    if (gradesExist) findMissingPasswords();
    // A table delivered without one of these columns keeps working as far as
    // it can; its statements report the missing column themselves.
    for (const char* index : kIndexes) sqlite3_exec(db_, index, nullptr, nullptr, nullptr);
}

void Database::findMissingPasswords() {
    Query& q = *queryGrade_;
    q.clear();
    q.addLine(QStringLiteral(R"(Select Grade From "grade.DB")"));
    try {
        q.open();
    } catch (const DatabaseError&) {
        // A table prepared by hand without the column; its checks say so.
        q.clear();
        return;
    }
    QList<int> missing{1, 2, 3};
    for (const QStringList& row : q.rows()) missing.removeAll(row.value(0).trimmed().toInt());
    q.clear();
    gradesWithoutPassword_ = missing;
    if (missing.isEmpty()) return;
    if (missing.size() == 3) {
        passwordProblem_ = QStringLiteral(
                               "데이터베이스에 암호가 없어 아무도 인증할 수 없습니다. "
                               "공급업체에 복구(tavolen passwd)를 요청하십시오: %1")
                               .arg(path_);
        return;
    }
    QStringList grades;
    for (int grade : missing) grades << QString::number(grade);
    passwordProblem_ = QStringLiteral(
                           "암호가 없는 등급(%1)은 인증할 수 없습니다. "
                           "공급업체에 복구(tavolen passwd)를 요청하십시오: %2")
                           .arg(grades.join(QStringLiteral(", ")), path_);
}

bool Database::checkPassword(int grade, const QString& text) {
    Query& q = *queryGrade_;
    q.clear();
    q.addLine(QStringLiteral(R"(Select Pass From "grade.DB")"));
    q.addLine(QStringLiteral("Where Grade = :N1"));
    q.bind(QStringLiteral("N1"), QString::number(grade));
    try {
        q.open();
    } catch (const DatabaseError&) {
        q.clear();
        if (!passwordProblem_.isEmpty()) throw DatabaseError(passwordProblem_);
        throw;
    }
    const QString stored = q.rowCount() > 0 ? q.rows().front().value(0) : QString();
    const bool found = q.rowCount() > 0;
    q.clear();
    // A grade whose row was lost is a fault to show, not a wrong password to count.
    if (!found && gradesWithoutPassword_.contains(grade)) throw DatabaseError(passwordProblem_);
    // An empty password opens nothing, even against a row whose `Pass` was left empty.
    if (!found || text.isEmpty()) return false;
    if (passwordHash::isHash(stored)) return passwordHash::matches(stored, text);
    if (stored != text) return false;
    storeHash(grade, text);
    return true;
}

void Database::setPassword(int grade, const QString& text) { storeHash(grade, text); }

void Database::restorePassword(int grade, const QString& text) {
    const QString hash = passwordHash::make(text);
    Query& q = *queryGrade_;
    exec(connection(), "BEGIN IMMEDIATE");
    try {
        exec(db_, kCreateGrades);
        q.clear();
        q.addLine(QStringLiteral(R"(Update "grade.DB" Set Pass = :N1 Where Grade = :N2)"));
        q.bind(QStringLiteral("N1"), hash);
        q.bind(QStringLiteral("N2"), QString::number(grade));
        q.exec();
        if (q.rowsAffected() == 0) {
            q.clear();
            q.addLine(QStringLiteral(R"(Insert Into "grade.DB" (Grade, Pass) Values(:N1,:N2))"));
            q.bind(QStringLiteral("N1"), QString::number(grade));
            q.bind(QStringLiteral("N2"), hash);
            q.exec();
        }
        q.clear();
        exec(db_, "COMMIT");
    } catch (...) {
        q.clear();
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    passwordProblem_.clear();
    findMissingPasswords();
}

void Database::storeHash(int grade, const QString& text) {
    Query& q = *queryGrade_;
    q.clear();
    q.addLine(QStringLiteral(R"(Update "grade.DB")"));
    q.addLine(QStringLiteral("Set Pass = :N1"));
    q.addLine(QStringLiteral("Where Grade = :N2"));
    q.bind(QStringLiteral("N1"), passwordHash::make(text));
    q.bind(QStringLiteral("N2"), QString::number(grade));
    q.exec();
    const bool changed = q.rowsAffected() > 0;
    q.clear();
    if (!changed) throw DatabaseError(QStringLiteral("grade.DB에 %1 등급이 없습니다").arg(grade));
}

void Database::backupTo(const QString& target) {
    sqlite3* source = connection();
    const QString temporary = target + QStringLiteral(".tmp");
    QFile::remove(temporary);
    QFile::remove(temporary + QStringLiteral("-journal"));
    try {
        Connection copy = openFile(temporary);
        exec(copy.get(), "PRAGMA synchronous=FULL");
        sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", source, "main");
        if (!backup) throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(copy.get())));
        const int stepped = sqlite3_backup_step(backup, -1);
        const int finished = sqlite3_backup_finish(backup);
        if (stepped != SQLITE_DONE || finished != SQLITE_OK)
            throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(copy.get())));
        // The pages carry the live file's WAL mark; a backup is one plain file.
        exec(copy.get(), "PRAGMA journal_mode=DELETE");
    } catch (const DatabaseError&) {
        QFile::remove(temporary);
        throw;
    }
    // A journal left beside an older copy would be replayed onto the new one.
    QFile::remove(target + QStringLiteral("-wal"));
    QFile::remove(target + QStringLiteral("-shm"));
    QFile::remove(target + QStringLiteral("-journal"));
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) !=
        0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporary);
        throw DatabaseError(reason);
    }
    syncDirectory(QFileInfo(target).absolutePath());
}
