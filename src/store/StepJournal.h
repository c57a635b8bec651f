#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "store/IniStore.h"

class Database;

// One history or ledger statement of a step: its text, the values bound to :N1, :N2, ... and
// the message that reports the database's refusal of it.
struct StepStatement {
    QString sql;
    QStringList params;
    QString failureMessage;
};

// What writing the pending step did.
struct StepOutcome {
    // Everything pending reached the disk; when not, it stays pending and `error` says why.
    bool written = true;
    QString error;
    // Messages of statements the database refused for good (a damaged table, say); they are
    // not tried again.
    QStringList refused;
};

// Collects everything one controller block or one desk action changes and writes it as one
// step: the history and ledger statements in one transaction that also records the room-state
// file they belong to, then the file replaced once. At start-up a recorded step whose file was
// not replaced is finished from the record, so that after a crash at any instant the file and
// the tables describe the same point.
//
// A step that cannot be written (disk full, read-only, a locked database) stays pending, in
// order; the next attempt writes it together with whatever came after it.
class StepJournal {
public:
    void setIni(IniStore* ini) { ini_ = ini; }
    void setDatabase(Database* db) { db_ = db; }

    // Raises IniValueError for a value that cannot be written on one INI line.
    void setValue(const QString& section, const QString& key, const QString& value);
    void addStatement(StepStatement statement);
    bool hasPending() const { return !changes_.isEmpty() || !statements_.isEmpty(); }

    StepOutcome flush();

    enum class Recovery {
        Nothing,    // the file already is what the last step recorded
        Finished,   // the last step's file was written from the record
        LeftAlone,  // the file was changed after the last step by another hand; kept as it is
    };
    // Raises DatabaseError or IniWriteError.
    static Recovery recover(IniStore& ini, Database& db);

    // Files replaced before the directory is flushed again; each stays a state a power cut
    // may bring back, and the record names them all.
    static constexpr int kUnflushedReplacements = 8;

private:
    bool commitStatements(const QByteArray& after, StepOutcome& outcome);
    void replaceFile(const QByteArray& after);

    IniStore* ini_ = nullptr;
    Database* db_ = nullptr;
    QList<IniStore::Change> changes_;
    QList<StepStatement> statements_;
    // Digests of the files that may be on disk after a power cut: the last one whose
    // directory was flushed, then every replacement since, the newest last.
    QByteArrayList mayBeOnDisk_;
};
