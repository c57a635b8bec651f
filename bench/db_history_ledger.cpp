// What a controller event costs the database: one history row and one ledger
// update, each its own durable commit, as the board writes them. Beside it, a
// bare SQLite insert in a transaction on the same disk.
//
//   bench_db_history_ledger [directory] [rounds]

#include <sqlite3.h>
#include <sys/statvfs.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "store/Database.h"
#include "store/RoomRecords.h"

namespace {

class PrintedDialogs : public Dialogs {
public:
    void showError(const QString& text) override {
        std::fprintf(stderr, "error box: %s\n", qPrintable(text));
    }
    void showInfo(const QString&) override {}
    bool askYesNo(const QString&) override { return true; }
};

void printFigures(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double p90 = ms[std::min(ms.size() - 1, ms.size() * 9 / 10)];
    std::printf("%-46s median %7.3f ms   p90 %7.3f ms   (n=%zu)\n", what, median, p90, ms.size());
}

void check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

// One row per transaction on a plain SQLite file, with the journal mode given.
std::vector<double> bareInserts(const QString& file, const char* journalMode, int rounds) {
    sqlite3* db = nullptr;
    check(sqlite3_open(file.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, (QByteArray("PRAGMA journal_mode=") + journalMode).constData(), nullptr,
                       nullptr, nullptr),
          db);
    check(sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr), db);
    check(sqlite3_exec(db, "CREATE TABLE t (a TEXT, b TEXT, c TEXT, d TEXT, e TEXT)", nullptr,
                       nullptr, nullptr),
          db);
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES ('101','20060401','1735','대실','1')", -1,
                             &insert, nullptr),
          db);
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
        check(sqlite3_step(insert), db);
        sqlite3_reset(insert);
        check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const int rounds = argc > 2 ? std::max(10, std::atoi(argv[2])) : 300;
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("tavolen-bench-XXXXXX")));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a directory under %s\n", qPrintable(base));
        return 1;
    }
    struct statvfs fs {};
    statvfs(QFile::encodeName(dir.path()).constData(), &fs);
    std::printf("directory %s (filesystem id %lu), %d rounds\n", qPrintable(dir.path()),
                static_cast<unsigned long>(fs.f_fsid), rounds);

    Database db(dir.path());
    db.open();
    SystemClock clock;
    PrintedDialogs dialogs;
    RoomRecords ledger(db, clock, dialogs);
    const QString stayKey = QStringLiteral("200604011735");
    for (int room = 101; room <= 172; ++room)
        ledger.openLedgerRow(QString::number(room), stayKey, StayKind::DayUse, 30000, 50000);

    std::vector<double> event;
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        const QString room = QString::number(101 + i % 72);
        timer.start();
        ledger.addHistory(room, QStringLiteral("숙박전환"), QStringLiteral("0"));
        ledger.convertLedgerRow(room, stayKey, i % 2 ? StayKind::DayUse : StayKind::Overnight,
                                30000, 50000);
        event.push_back(timer.nsecsElapsed() / 1e6);
    }

    printFigures("history insert + ledger update (2 commits)", event);
    printFigures(
        "baseline: bare insert, rollback journal",
        bareInserts(QDir(dir.path()).filePath(QStringLiteral("bare-delete.db")), "DELETE", rounds));
    printFigures(
        "baseline: bare insert, WAL",
        bareInserts(QDir(dir.path()).filePath(QStringLiteral("bare-wal.db")), "WAL", rounds));
    return 0;
}
