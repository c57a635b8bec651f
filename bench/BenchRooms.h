#pragma once

// The board the controller benchmarks drive: 72 rooms "101" to "172" in slots 1 to 72, key
// codes 129 to 200, a day-use stay 30,000 won and an overnight one 50,000, every other room
// set to overnight, all ready.
#include <QDir>
#include <QList>
#include <QString>

#include "board/BoardModel.h"
#include "store/IniStore.h"

inline quint8 benchKeyOf(int slot) { return static_cast<quint8>(128 + slot); }

// Writes the rooms, and `more` after them, into the room-state file of `dataDir` at once.
inline void writeBenchRooms(const QString& dataDir, const QList<IniStore::Change>& more = {}) {
    QList<IniStore::Change> changes;
    for (int n = 1; n <= BoardModel::kSlots; ++n) {
        const QString k = QStringLiteral("r%1").arg(n);
        changes.append(
            {QStringLiteral("Name"), QStringLiteral("LName%1").arg(n), QString::number(100 + n)});
        changes.append(
            {QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), QStringLiteral("1")});
        changes.append({QStringLiteral("RoomKey"), k, QString::number(benchKeyOf(n))});
        changes.append(
            {QStringLiteral("Money"), QStringLiteral("rd%1").arg(n), QStringLiteral("30000")});
        changes.append(
            {QStringLiteral("Money"), QStringLiteral("rs%1").arg(n), QStringLiteral("50000")});
        changes.append({QStringLiteral("Sleep"), k, QString::number(n % 2)});
        changes.append({QStringLiteral("rStatus"), k, QStringLiteral("완 료")});
    }
    changes.append(more);
    IniStore(QDir(dataDir).filePath(QLatin1String(BoardModel::kIniName))).writeStrings(changes);
}
