#pragma once

// The desk's tables as the outbox tells them: every change replayed in order. Equal to the
// tables themselves when the outbox holds exactly the changes they hold.
#include <sqlite3.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <map>

struct OutboxReplay {
    std::map<qint64, QStringList> history, ledger;  // by rowid
    qint64 changes = 0;
    bool contiguous = true;  // seq runs 1, 2, 3, ... without a gap
};

inline OutboxReplay replayOutbox(sqlite3* db) {
    OutboxReplay r;
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, "SELECT seq, kind, payload FROM tavolen_outbox ORDER BY seq", -1, &q,
                       nullptr);
    qint64 expected = 1;
    while (sqlite3_step(q) == SQLITE_ROW) {
        if (sqlite3_column_int64(q, 0) != expected++) r.contiguous = false;
        ++r.changes;
        const QString kind =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q, 1)));
        const QJsonObject v =
            QJsonDocument::fromJson(
                QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(q, 2))))
                .object();
        const qint64 row = v.value(QStringLiteral("row")).toInteger();
        auto& table = kind.startsWith(QStringLiteral("history")) ? r.history : r.ledger;
        if (kind.endsWith(QStringLiteral("_delete")) || kind.endsWith(QStringLiteral("_purge"))) {
            table.erase(row);
            continue;
        }
        const QStringList columns =
            kind.startsWith(QStringLiteral("history"))
                ? QStringList{"roomNum", "Sdate", "Stime", "Action", "Comm"}
                : QStringList{"roomNum", "IDateTime", "ODateTime", "Action", "Cash"};
        QStringList values;
        for (const QString& c : columns) values << v.value(c).toString();
        table[row] = values;
    }
    sqlite3_finalize(q);
    return r;
}

// The tables themselves, in the same shape.
inline std::map<qint64, QStringList> tableRows(sqlite3* db, const char* sql) {
    std::map<qint64, QStringList> rows;
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &q, nullptr);
    while (sqlite3_step(q) == SQLITE_ROW) {
        QStringList values;
        for (int c = 1; c < sqlite3_column_count(q); ++c)
            values << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q, c)));
        rows[sqlite3_column_int64(q, 0)] = values;
    }
    sqlite3_finalize(q);
    return rows;
}

inline std::map<qint64, QStringList> historyRows(sqlite3* db) {
    return tableRows(db, R"(SELECT rowid, roomNum, Sdate, Stime, Action, Comm FROM "room.DB")");
}
inline std::map<qint64, QStringList> ledgerRows(sqlite3* db) {
    return tableRows(db,
                     R"(SELECT rowid, roomNum, IDateTime, ODateTime, Action, Cash FROM "Cash.DB")");
}
