#pragma once

// The six-month ledger the settlement benchmarks share, so that the baseline
// and the new fill are measured on the same rows: every room turns over six
// times a day, some stays are cancelled or moved, the last day's late stays are
// still running.
#include <QDate>
#include <QDateTime>
#include <QString>

struct BenchLedgerRow {
    QString room, start, end, action, cash;
};

inline constexpr int kBenchRooms = 72;
inline constexpr int kBenchStaysPerDay = 6;

// Calls `add` with every row from `first` to `last`; returns how many.
template <typename Add>
int forEachBenchLedgerRow(QDate first, QDate last, Add&& add) {
    const QString stamp = QStringLiteral("yyyyMMddHHmm");
    int rows = 0;
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        for (int room = 0; room < kBenchRooms; ++room) {
            for (int stay = 0; stay < kBenchStaysPerDay; ++stay) {
                const QDateTime start(day, QTime(stay * 4, (room * 7 + stay * 11) % 60));
                const bool overnight = stay == kBenchStaysPerDay - 1;
                QString end = start.addSecs(overnight ? 10 * 3600 : 3 * 3600).toString(stamp);
                if ((room + stay + day.day()) % 41 == 0) end += QStringLiteral("대실취소");
                if ((room + stay + day.day()) % 53 == 0) end += QStringLiteral("객실교체");
                if (day == last && stay >= 4) end.clear();
                add(BenchLedgerRow{QString::number(101 + room), start.toString(stamp), end,
                                   overnight ? QStringLiteral("숙박") : QStringLiteral("대실"),
                                   overnight ? QStringLiteral("50000") : QStringLiteral("30000")});
                ++rows;
            }
        }
    }
    return rows;
}
