#include "settlement/SettlementWindow.h"

namespace {
const QString kStamp = QStringLiteral("yyyyMMddHHmm");
}

QString SettlementWindow::startStamp() const { return start.toString(kStamp); }
QString SettlementWindow::endStamp() const { return end.toString(kStamp); }

SettlementWindow settlementWindow(QDate day, int hour, int currentHour) {
    if (currentHour < hour) {
        const SettlementWindow w = settlementDayFrom(day.addDays(-1), hour);
        return {w.start, w.end, true};
    }
    return settlementDayFrom(day, hour);
}

SettlementWindow settlementDayFrom(QDate day, int hour) {
    // Local times that a clock change skips must not turn into invalid stamps:
    // the window is a matter of dates and hours, so it is built in UTC terms.
    const QDateTime start(day, QTime(hour, 0), Qt::UTC);
    return {start, QDateTime(day.addDays(1), QTime(hour, 0), Qt::UTC), false};
}
