#include "board/MinuteStamp.h"

namespace {
constexpr qint64 kMonthStart[12] = {0,      44640,  84960,  129600, 172800, 217440,
                                    260640, 305280, 349920, 393120, 437760, 480960};
}

qint64 MinuteStamp(const QString& s) {
    const qint64 year = s.mid(0, 4).toLongLong();
    const int month = s.mid(4, 2).toInt();
    const qint64 day = s.mid(6, 2).toLongLong();
    const qint64 hour = s.mid(8, 2).toLongLong();
    const qint64 minute = s.mid(10, 2).toLongLong();
    const qint64 monthStart = (month >= 1 && month <= 12) ? kMonthStart[month - 1] : 0;
    return (year - 2000) * 525600 + monthStart + (day - 1) * 1440 + hour * 60 + minute;
}

QString StampText(const QDateTime& moment) {
    return moment.toString(QStringLiteral("yyyyMMddHHmm"));
}

QDateTime MomentOfStamp(QStringView text) {
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

QString TimeText(const QDateTime& moment) {
    const QString stamp = StampText(moment);
    return stamp + QString::number(MinuteStamp(stamp));
}
