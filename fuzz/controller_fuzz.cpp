// Random controller blocks against a board of twelve rooms with a real room-state file and a
// real database. One board is started once; before every input it goes back to that moment,
// and the file and the tables are put back as they were then, so every input starts from the
// same board. Each input is checked afterwards:
//   - the room-state file holds what the slots hold, so a restart brings the board back;
//   - every running stay has its open ledger row;
//   - the last step's record is the file (nothing for a start-up to finish);
//   - no error box and no message was shown, and nothing is left unwritten.
// A broken rule aborts, so libFuzzer keeps the input.
//
// Input: the first byte gives the number of blocks (1 + byte % 8). Each block is a header byte
// and up to 31 bytes of the line: header bits 0-4 are the block's length, bits 5-6 the minutes
// the clock moves on before it, bit 7 a minute tick before it.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <vector>

#include "board/StayTime.h"
#include "board/StoredRoomState.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/RoomRecords.h"
#include "store/StepJournal.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

const QDateTime kStart(QDate(2006, 4, 1), QTime(17, 35));

// Twelve rooms "101" to "112" in slots 1 to 12. Slots 11 and 12 share their key codes with
// slots 3 and 5, so those two never hear from the controller.
struct Room {
    int key;
    int sleep;
    const char* state;
    int minutesAgo;  // the stay's start; 0 for none
    const char* timeEnd;
};
constexpr Room kRooms[] = {
    {129, 0, "", 0, ""},
    {130, 0, "완 료", 0, ""},
    {131, 0, "", 0, ""},
    {132, 0, "대 실", 60, ""},
    {133, 1, "", 0, ""},
    {134, 0, "외 출", 125, "18:10"},
    {135, 1, "퇴 실", 180, "16:20"},
    {136, 0, "청 소", 0, ""},
    {137, 1, "완 료", 0, ""},
    {138, 1, "숙 박", 300, ""},
    {131, 0, "", 0, ""},
    {133, 1, "청 소", 240, ""},
};
constexpr int kRoomCount = static_cast<int>(std::size(kRooms));

QString roomKey(int n) { return QStringLiteral("r%1").arg(n); }

[[noreturn]] void broken(const QString& rule) {
    std::fprintf(stderr, "controller_fuzz: %s\n", qPrintable(rule));
    std::abort();
}

class World {
public:
    World()
        : dir_(QDir(QStringLiteral("/dev/shm")).exists()
                   ? QStringLiteral("/dev/shm/tavolen-fuzz-XXXXXX")
                   : QDir::temp().filePath(QStringLiteral("tavolen-fuzz-XXXXXX"))),
          assets_(dir_.path(), QStringLiteral(TAVOLEN_BIN_DIR)),
          db_(dir_.path()),
          records_(db_, clock_, dialogs_),
          board_(BoardContext{clock_, sound_, dialogs_, lockdown_, assets_, session_}) {
        if (!dir_.isValid()) broken(QStringLiteral("no temporary directory"));
        copyFreshDatabase(dir_.path());
        db_.open();
        iniPath_ = QDir(dir_.path()).filePath(QLatin1String(BoardModel::kIniName));
        checkStore_ = std::make_unique<IniStore>(iniPath_);
        writeRooms();
        clock_.set(kStart);
        board_.setRecords(&records_);
        board_.purgeTables = [this] { records_.purge(board_.ledgerMonths); };
        board_.startUp(dir_.path());
        for (int n = 1; n <= kRoomCount; ++n)
            if (!board_.slot(n).stayStart.isEmpty()) board_.openLedgerRow(n);
        board_.onSecondTick();
        sqlite3_stmt* rows = nullptr;
        if (sqlite3_prepare_v2(db_.connection(),
                               R"(select roomNum || '/' || IDateTime from "Cash.DB")"
                               R"( where ODateTime is null or ODateTime = '')",
                               -1, &rows, nullptr) != SQLITE_OK)
            brokenTables();
        openRows_.reset(rows);
        if (!dialogs_.errors.isEmpty() || !board_.notice().isEmpty())
            broken(QStringLiteral("the board did not start cleanly: ") +
                   dialogs_.errors.join(u'|') + board_.notice());
        check();
        rememberStart();
    }

private:
    // The board, the file and the tables as they are now become what every input starts from.
    void rememberStart() {
        start_ = board_.moment();
        startIni_ = readBytes(iniPath_);
        startSession_ = session_;
        sqlite3* db = db_.connection();
        const char* copy = R"(attach database ':memory:' as start;
                              create table start.history as select * from main."room.DB";
                              create table start.ledger as select * from main."Cash.DB";
                              create table start.step as select * from main.tavolen_step;)";
        if (sqlite3_exec(db, copy, nullptr, nullptr, nullptr) != SQLITE_OK) brokenTables();
        for (const char* sql :
             {"begin", R"(delete from main."room.DB")",
              R"(insert into main."room.DB" select * from start.history)",
              R"(delete from main."Cash.DB")",
              R"(insert into main."Cash.DB" select * from start.ledger)",
              "delete from main.tavolen_step",
              "insert into main.tavolen_step select * from start.step", "commit"}) {
            sqlite3_stmt* statement = nullptr;
            if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) brokenTables();
            putBackTables_.emplace_back(statement);
        }
        changesAtStart_ = sqlite3_total_changes64(db);
    }

    // The board, the file and the tables as they were at the start, at the start's time.
    void backToStart() {
        putBackFile();
        sqlite3* db = db_.connection();
        // Every row the board wrote counts as a change, so no change is no row to put back.
        if (sqlite3_total_changes64(db) != changesAtStart_) {
            for (const Statement& statement : putBackTables_) {
                if (sqlite3_step(statement.get()) != SQLITE_DONE) brokenTables();
                sqlite3_reset(statement.get());
            }
            changesAtStart_ = sqlite3_total_changes64(db);
        }
        clock_.set(kStart);
        dialogs_.errors.clear();
        dialogs_.infos.clear();
        dialogs_.questions.clear();
        sound_.played.clear();
        lockdown_.calls.clear();
        session_ = startSession_;
        board_.returnTo(start_);
    }

    // In place, as the file was before the input: one write, nothing more.
    void putBackFile() {
        const QByteArray path = QFile::encodeName(iniPath_);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, startIni_.constData(), size_t(startIni_.size())) !=
                          ssize_t(startIni_.size()))
            broken(QStringLiteral("the room-state file cannot be put back"));
        ::close(fd);
    }

    [[noreturn]] void brokenTables() {
        broken(QStringLiteral("the tables cannot be put back: ") +
               QString::fromUtf8(sqlite3_errmsg(db_.connection())));
    }

public:
    // The input, its checks, and back to the start: what the input made is undone within its
    // own run, so libFuzzer counts no memory the next input would free as leaked.
    void run(const uint8_t* data, size_t size) {
        if (size == 0) return;
        const int blocks = 1 + data[0] % 8;
        size_t at = 1;
        for (int b = 0; b < blocks && at < size; ++b) {
            const uint8_t header = data[at++];
            const size_t length = std::min<size_t>(header & 0x1F, size - at);
            clock_.advanceMinutes((header >> 5) & 3);
            board_.onSecondTick();
            if (header & 0x80) board_.onMinuteTick();
            board_.onControllerBlock(QByteArray(reinterpret_cast<const char*>(data + at),
                                                static_cast<qsizetype>(length)));
            at += length;
        }
        check();
        backToStart();
    }

private:
    void writeRooms() {
        IniStore ini(iniPath_);
        for (int n = 1; n <= kRoomCount; ++n) {
            const Room& r = kRooms[n - 1];
            const QString k = roomKey(n);
            ini.writeString(QStringLiteral("Name"), QStringLiteral("LName%1").arg(n),
                            QString::number(100 + n));
            ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), 1);
            ini.writeInteger(QStringLiteral("RoomKey"), k, r.key);
            ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rd%1").arg(n),
                             20000 + 1000 * n);
            ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rs%1").arg(n),
                             40000 + 1000 * n);
            ini.writeInteger(QStringLiteral("Sleep"), k, r.sleep);
            ini.writeString(QStringLiteral("rStatus"), k, QString::fromUtf8(r.state));
            if (r.minutesAgo > 0)
                ini.writeString(QStringLiteral("Time"), k,
                                StayTime::startingAt(kStart.addSecs(-60 * r.minutesAgo)).stored());
            ini.writeString(QStringLiteral("TimeEnd"), k, QString::fromUtf8(r.timeEnd));
        }
        // A morning call that the minute ticks of a long input reach.
        ini.writeString(QStringLiteral("Alram"), roomKey(4),
                        kStart.addSecs(20 * 60).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    }

    void check() {
        const BoardModel& board = board_;
        // One store for the checks: an input that left the file as it was is not scanned again.
        const IniStore::Snapshot stored = checkStore_->snapshot();
        for (int n = 1; n <= kRoomCount; ++n) {
            const RoomSlot& s = board.slot(n);
            const QString k = roomKey(n);
            // Read with the restore's own defaults: what a restart would bring back.
            const auto same = [&](const char* section, const QString& value) {
                const QString onFile = stored.readString(QLatin1String(section), k, QString());
                if (onFile != value)
                    broken(QStringLiteral("slot %1: %2 is \"%3\" but the file says \"%4\"")
                               .arg(n)
                               .arg(QLatin1String(section), value, onFile));
            };
            const QString label = stored.readString(QStringLiteral("rStatus"), k, QString());
            if (stateFromStored(label) != s.state)
                broken(QStringLiteral("slot %1: the file's state \"%2\" is not the slot's %3")
                           .arg(n)
                           .arg(label, roomStateKey(s.state)));
            same("Time", s.stayStart.stored());
            same("TimeEnd", s.checkoutTime);
            if (kindFromStored(stored.readInteger(QStringLiteral("Sleep"), k, 0)) != s.kind ||
                stored.readInteger(QStringLiteral("DoorStatus"), k, 0) != s.doorOpen)
                broken(QStringLiteral("slot %1: the stay kind or door on file is not the slot's")
                           .arg(n));
        }

        QSet<QString> open;
        sqlite3_stmt* rows = openRows_.get();
        while (sqlite3_step(rows) == SQLITE_ROW)
            open.insert(
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(rows, 0)),
                                  sqlite3_column_bytes(rows, 0)));
        if (sqlite3_reset(rows) != SQLITE_OK) brokenTables();
        for (int n = 1; n <= BoardModel::kSlots; ++n) {
            const StayTime& time = board.slot(n).stayStart;
            if (time.isEmpty()) continue;
            const QString stay = board.slot(n).roomCaption() + u'/' + time.stamp();
            if (!open.contains(stay))
                broken(QStringLiteral("slot %1 runs the stay %2 without an open ledger row")
                           .arg(n)
                           .arg(stay));
        }

        if (!dialogs_.errors.isEmpty())
            broken(QStringLiteral("error box: ") + dialogs_.errors.join(u'|'));
        if (!board.notice().isEmpty()) broken(QStringLiteral("message: ") + board.notice());
        if (!board.storageWarning().isEmpty() || board.writesPending())
            broken(QStringLiteral("not written: ") + board.storageWarning());
        // The last step's record is the file itself: a start-up has nothing to finish.
        if (StepJournal::recover(*checkStore_, db_) != StepJournal::Recovery::Nothing)
            broken(QStringLiteral("the file is not the one the last step recorded"));
    }

    QTemporaryDir dir_;
    FixedClock clock_;
    RecordingSound sound_;
    ScriptedDialogs dialogs_;
    RecordingLockdown lockdown_;
    DeskSession session_;
    Assets assets_;
    Database db_;
    RoomRecords records_;
    BoardModel board_;
    QString iniPath_;
    std::unique_ptr<IniStore> checkStore_;
    BoardModel::Moment start_;
    QByteArray startIni_;
    DeskSession startSession_;
    struct Finalize {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;
    std::vector<Statement> putBackTables_;
    Statement openRows_;
    sqlite3_int64 changesAtStart_ = 0;
};

World* world = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    static World instance;
    world = &instance;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    world->run(data, size);
    return 0;
}
