#include "board/StayTime.h"

namespace {
constexpr qint64 kMonthStart[12] = {0,      44640,  84960,  129600, 172800, 217440,
                                    260640, 305280, 349920, 393120, 437760, 480960};
}

qint64 minuteCount(QStringView s) {
    const qint64 year = s.mid(0, 4).toLongLong();
    const int month = s.mid(4, 2).toInt();
    const qint64 day = s.mid(6, 2).toLongLong();
    const qint64 hour = s.mid(8, 2).toLongLong();
    const qint64 minute = s.mid(10, 2).toLongLong();
    const qint64 monthStart = (month >= 1 && month <= 12) ? kMonthStart[month - 1] : 0;
    return (year - 2000) * 525600 + monthStart + (day - 1) * 1440 + hour * 60 + minute;
}

QString stampText(const QDateTime& moment) {
    return moment.toString(QStringLiteral("yyyyMMddHHmm"));
}

QDateTime momentOfStamp(QStringView text) {
    // Read by hand: the board reads one for every room of every snapshot.
    if (text.size() != 12) return {};
    int digits[12];
    for (int i = 0; i < 12; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return {};
        digits[i] = c - u'0';
    }
    const auto number = [&](int from, int count) {
        int value = 0;
        for (int i = from; i < from + count; ++i) value = value * 10 + digits[i];
        return value;
    };
    const QDate date(number(0, 4), number(4, 2), number(6, 2));
    const QTime time(number(8, 2), number(10, 2));
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time);
}

QDateTime minuteOf(const QDateTime& moment) {
    return QDateTime(moment.date(), QTime(moment.time().hour(), moment.time().minute()));
}

qint64 minutesBetween(const QDateTime& from, const QDateTime& to) {
    return minuteOf(from).secsTo(minuteOf(to)) / 60;
}

StayTime StayTime::startingAt(const QDateTime& moment) {
    const QString stamp = stampText(moment);
    return StayTime(stamp + QString::number(::minuteCount(stamp)));
}

std::optional<qint64> StayTime::minuteCount() const {
    bool ok = false;
    const qint64 count = text_.mid(kStampLength, 9).toLongLong(&ok);
    if (!ok) return std::nullopt;
    return count;
}
