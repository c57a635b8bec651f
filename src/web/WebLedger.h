#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// What the today and month pages show, read from the motel's database on a
// connection of their own, opened read-only for each read, so that the desk's
// connection and its steps are never touched. Both run on a worker thread and
// raise TavolenError (a damaged ledger row, a database that cannot be read).
namespace webLedger {

// The settlement day as the daily view shows it at `now` (by the settlement
// hour): its stays, sums, counts, turnover, and the cancellations and moves of
// the day with their times and who made them.
QJsonObject today(const QString& dataDir, const QDateTime& now);

// The days of `monthText` ("yyyy-m", one of the months the monthly view
// offers; anything else reads as the current month) and the months offered.
QJsonObject month(const QString& dataDir, const QString& monthText, const QDateTime& now);

}  // namespace webLedger
