#pragma once

// A whole desk on a data directory of its own: the board, its database with
// the room history and the cash ledger, and the clerk's actions, with fakes
// for the clock, the sounds, the boxes and the lockdown. It can be stopped
// and started again on the files it left, as a restart after a power cut
// does, and another desk can be started on a copy of its files.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include "board/BoardModel.h"
#include "board/ClerkActions.h"
#include "board/RoomModalWindows.h"
#include "store/Database.h"
#include "store/RoomRecords.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

class DeskOnDisk {
public:
    explicit DeskOnDisk(RoomModalWindows& windows) : windows_(windows) {
        copyFreshDatabase(dir.path());
    }
    DeskOnDisk(const DeskOnDisk&) = delete;
    DeskOnDisk& operator=(const DeskOnDisk&) = delete;
    ~DeskOnDisk() { stop(); }

    // Starts a board on the files as the program does: the second and the
    // minute timer fire once at once.
    void start() {
        db = std::make_unique<Database>(dir.path());
        db->open();
        ledger = std::make_unique<RoomRecords>(*db, clock, dialogs);
        board = std::make_unique<BoardModel>(
            BoardContext{clock, sound, dialogs, lockdown, assets, session});
        board->setRecords(ledger.get());
        board->purgeTables = [this] { ledger->purge(board->ledgerMonths); };
        board->startUp(dir.path());
        board->onSecondTick();
        board->onMinuteTick();
        actions = std::make_unique<ClerkActions>(*board, *db, windows_);
    }

    void stop() {
        actions.reset();
        board.reset();
        ledger.reset();
        db.reset();
    }

    void restart() {
        stop();
        start();
    }

    // Gives this desk a copy of every file `other` has left so far, at the
    // same time of day; start() then restarts `other` on this desk.
    void copyFilesOf(const DeskOnDisk& other) {
        clock.set(other.clock.now());
        const QDir from(other.dir.path());
        QDirIterator files(from.path(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            // SQLite rebuilds the index of its write-ahead log from the log.
            if (path.endsWith(QLatin1String("-shm"))) continue;
            const QString to = dir.filePath(from.relativeFilePath(path));
            QDir().mkpath(QFileInfo(to).absolutePath());
            QFile::remove(to);
            QFile::copy(path, to);
        }
    }

    QString iniPath() const { return dir.filePath(QStringLiteral("TavolenConfig.ini")); }

    QTemporaryDir dir;
    FixedClock clock;
    RecordingSound sound;
    ScriptedDialogs dialogs;
    RecordingLockdown lockdown;
    DeskSession session;
    Assets assets{dir.path(), QStringLiteral(TAVOLEN_BIN_DIR)};
    std::unique_ptr<Database> db;
    std::unique_ptr<RoomRecords> ledger;
    std::unique_ptr<BoardModel> board;
    std::unique_ptr<ClerkActions> actions;

private:
    RoomModalWindows& windows_;
};
