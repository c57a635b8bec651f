#pragma once

// A desk's database, room-state file, history and ledger and step journal on a temporary
// directory. The ledger's statements go into the journal; journal.flush() writes them as one
// step, as the board does.
#include <QTemporaryDir>
#include <memory>

#include "store/Database.h"
#include "store/IniStore.h"
#include "store/RoomRecords.h"
#include "store/StepJournal.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

struct DeskTables {
    QTemporaryDir dir;
    FixedClock clock;
    ScriptedDialogs dialogs;
    std::unique_ptr<Database> db;
    std::unique_ptr<IniStore> ini;
    std::unique_ptr<RoomRecords> ledger;
    StepJournal journal;

    DeskTables() {
        copyFreshDatabase(dir.path());
        db = std::make_unique<Database>(dir.path());
        db->open();
        ini = std::make_unique<IniStore>(dir.filePath(QStringLiteral("TavolenConfig.ini")));
        ledger = std::make_unique<RoomRecords>(*db, clock, dialogs);
        journal.setIni(ini.get());
        journal.setDatabase(db.get());
        ledger->collectStep = [this](StepStatement s) { journal.addStatement(std::move(s)); };
    }
    DeskTables(const DeskTables&) = delete;
    DeskTables& operator=(const DeskTables&) = delete;
};
