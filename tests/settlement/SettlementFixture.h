#pragma once

#include <sqlite3.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "store/Database.h"
#include "store/IniStore.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

// A data directory with a database and an INI file, and a way to put ledger
// rows in it as the board writes them (every column text).
struct LedgerFixture {
    QTemporaryDir dir;
    Database db{(copyFreshDatabase(dir.path()), dir.path())};
    IniStore ini{QDir(dir.path()).filePath(QStringLiteral("TavolenConfig.ini"))};

    LedgerFixture() { db.open(); }

    void addStay(const QString& room, const QString& start, const QString& end,
                 const QString& action, const QString& cash) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db.connection(),
                           R"(INSERT INTO "Cash.DB" (roomNum, IDateTime, ODateTime, Action, Cash)
                              VALUES (?1, ?2, ?3, ?4, ?5))",
                           -1, &st, nullptr);
        const QString values[] = {room, start, end, action, cash};
        QByteArray utf8[5];
        for (int i = 0; i < 5; ++i) {
            utf8[i] = values[i].toUtf8();
            sqlite3_bind_text(st, i + 1, utf8[i].constData(), int(utf8[i].size()), SQLITE_STATIC);
        }
        sqlite3_step(st);
        sqlite3_finalize(st);
    }

    int ledgerRows() {
        return int(rowsOf(db, QStringLiteral(R"(Select roomNum From "Cash.DB")")).size());
    }
};

// Runs a program to its end; its standard output, or "" with the error text on failure.
struct ProcessResult {
    int exitCode = -1;
    QString out, err;
};

inline ProcessResult runProcess(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
