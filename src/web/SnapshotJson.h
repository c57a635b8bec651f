#pragma once

#include <QByteArray>

#include "board/BoardSnapshot.h"

// The board's snapshot as the pages read it: stable ASCII keys for states and
// stay kinds, the desk's colours as "#rrggbb", times as "yyyy-MM-dd HH:mm".
// `takenAt` also goes out in milliseconds since the epoch, for measuring how
// long a change takes to reach a page. `central` is null while the group's
// central ledger is off. The desk's messages name its files relative to
// `dataDir`: where the desk keeps its data is none of a browser's business.
QByteArray snapshotJson(const BoardSnapshot& snapshot, const QString& dataDir = {});
