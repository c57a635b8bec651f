#pragma once

#include <QString>

class Database;
class Dialogs;

// The toolbar's "자료복사": copies of the database and of the room-state file
// in DB/Backup under the data directory, each replacing the previous one.
class Backup {
public:
    Backup(Database& db, QString dataDir, Dialogs& dialogs);

    // Makes every copy it can; the ones that failed are named together in
    // one error box. Success shows nothing.
    void run();

private:
    QString directory() const;
    QString copyIni() const;

    Database& db_;
    QString dataDir_;
    Dialogs& dialogs_;
};
