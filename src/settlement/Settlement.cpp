#include "settlement/Settlement.h"

#include <QDate>
#include <QDateTime>
#include <algorithm>

#include "store/IniStore.h"
#include "store/RoomRecords.h"

namespace {
const QString kCashTime = QStringLiteral("CashTime");
}

namespace settlementSettings {

int hour(const IniStore& ini) {
    bool ok = false;
    const int h = ini.readString(kCashTime, QStringLiteral("start"), QStringLiteral("0"))
                      .trimmed()
                      .toInt(&ok);
    return ok && h >= 0 && h <= 23 ? h : 0;
}

void setHour(IniStore& ini, int hour) {
    ini.writeString(kCashTime, QStringLiteral("start"),
                    QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0')));
}

int ledgerMonths(const IniStore& ini) {
    return ledgerMonthsKept(ini.readInteger(kCashTime, QStringLiteral("SaveMonth"), 1));
}

void setLedgerMonths(IniStore& ini, int months) {
    ini.writeInteger(kCashTime, QStringLiteral("SaveMonth"), ledgerMonthsKept(months));
}

int roomsOnBoard(const IniStore& ini) {
    const IniStore::Snapshot file = ini.snapshot();
    int rooms = 0;
    for (int n = 1; n <= 72; ++n)
        if (file.readInteger(QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), 0) == 1)
            ++rooms;
    return rooms;
}

}  // namespace settlementSettings

QString stampText(const QString& stamp) {
    if (stamp.size() < 12) return stamp;
    return stamp.mid(0, 4) + QStringLiteral("년") + stamp.mid(4, 2) + QStringLiteral("월") +
           stamp.mid(6, 2) + QStringLiteral("일") + stamp.mid(8, 2) + QStringLiteral("시") +
           stamp.mid(10, 2) + QStringLiteral("분") + stamp.mid(12);
}

QStringList DailySettlement::titles() {
    return {QStringLiteral("순번"),     QStringLiteral("룸번호"), QStringLiteral("입실시간"),
            QStringLiteral("완료시간"), QStringLiteral("대실"),   QStringLiteral("숙박")};
}

void DailySettlement::fill(std::vector<LedgerStay> stays) {
    stays_ = std::move(stays);
    dayUse_ = overnight_ = cancelled_ = moved_ = 0;
    grid_.clear();
    grid_.push_back(titles());
    const QString zero = QStringLiteral("0");
    for (size_t k = 0; k < stays_.size(); ++k) {
        const LedgerStay& s = stays_[k];
        const QString amount = QString::number(s.cash);
        grid_.push_back({QString::number(k + 1), s.room + QStringLiteral("호"), stampText(s.start),
                         s.isOpen() ? QString() : stampText(s.end), s.isDayUse() ? amount : zero,
                         s.isDayUse() ? zero : amount});
        if (s.isCancelled()) cancelled_ += s.cash;
        if (s.isMoved()) moved_ += s.cash;
        (s.isDayUse() ? dayUse_ : overnight_) += s.cash;
    }
    if (stays_.empty()) {
        grid_.push_back(QStringList(6));
    } else {
        grid_.push_back({QStringLiteral("합계"), QString(), QString(), QString(),
                         QString::number(dayUse_), QString::number(overnight_)});
        QStringList last(6);
        last[0] = QStringLiteral("총합");
        last[5] = QString::number(dayUse_ + overnight_);
        if (cancelled_ > 0) {
            last[3] = QStringLiteral("취소금액:");
            last[4] = QString::number(cancelled_);
        }
        if (moved_ > 0) {
            last[1] = QStringLiteral("교체금액:");
            last[2] = QString::number(moved_);
        }
        grid_.push_back(last);
    }
    marks_.assign(grid_.size(), false);
    markCount_ = 0;
}

DailySettlement::MarkResult DailySettlement::press(int row, bool plainLeftButton) {
    if (row < 1 || row >= totalRow()) return MarkResult::Ignored;
    if (stays_[row - 1].isOpen()) return MarkResult::Running;
    if (!plainLeftButton) return MarkResult::Ignored;
    marks_[row] = !marks_[row];
    markCount_ += marks_[row] ? 1 : -1;
    return MarkResult::Toggled;
}

std::vector<LedgerStay> DailySettlement::markedStays() const {
    std::vector<LedgerStay> marked;
    for (size_t row = 1; row <= stays_.size(); ++row)
        if (marks_[row]) marked.push_back(stays_[row - 1]);
    return marked;
}

void DailySettlement::clearMarks() {
    std::fill(marks_.begin(), marks_.end(), false);
    markCount_ = 0;
}

QString DailySettlement::figures(int roomsOnBoard) const {
    int dayUse = 0, overnight = 0, cancelled = 0, moved = 0, finishedDayUse = 0;
    qint64 dayUseMinutes = 0;
    const QString stamp = QStringLiteral("yyyyMMddHHmm");
    for (const LedgerStay& s : stays_) {
        ++(s.isDayUse() ? dayUse : overnight);
        if (s.isCancelled()) ++cancelled;
        if (s.isMoved()) ++moved;
        // Only stays that ended normally say how long a day-use stay lasts.
        if (s.isDayUse() && s.status().isFinished()) {
            const QDateTime in = QDateTime::fromString(s.start, stamp);
            const QDateTime out = QDateTime::fromString(s.end, stamp);
            if (in.isValid() && out.isValid() && out >= in) {
                dayUseMinutes += in.secsTo(out) / 60;
                ++finishedDayUse;
            }
        }
    }
    const QString turnover = roomsOnBoard > 0
                                 ? QString::number(double(stays_.size()) / roomsOnBoard, 'f', 2)
                                 : QStringLiteral("-");
    QString average = QStringLiteral("-");
    if (finishedDayUse > 0) {
        const qint64 m = dayUseMinutes / finishedDayUse;
        average = QStringLiteral("%1시간 %2분").arg(m / 60).arg(m % 60, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("대실 %1건  숙박 %2건  취소 %3건  교체 %4건  회전율 %5  대실 평균 %6")
        .arg(dayUse)
        .arg(overnight)
        .arg(cancelled)
        .arg(moved)
        .arg(turnover, average);
}

namespace monthlySettlement {

QStringList titles() {
    return {QStringLiteral("일자"), QStringLiteral("대실"), QStringLiteral("숙박"),
            QStringLiteral("합계")};
}

SettlementGrid grid(const MonthSums& sums) {
    SettlementGrid g;
    g.push_back(titles());
    qint64 dayUse = 0, overnight = 0;
    for (int d = 0; d < sums.days(); ++d) {
        g.push_back({QString::number(d + 1) + QStringLiteral("일"), QString::number(sums.dayUse[d]),
                     QString::number(sums.overnight[d]),
                     QString::number(sums.dayUse[d] + sums.overnight[d])});
        dayUse += sums.dayUse[d];
        overnight += sums.overnight[d];
    }
    g.push_back({QStringLiteral("총합"), QString::number(dayUse), QString::number(overnight),
                 QString::number(dayUse + overnight)});
    return g;
}

QStringList monthList(QDate current, int ledgerMonths) {
    QStringList months;
    QDate m(current.year(), current.month(), 1);
    for (int i = 0; i <= ledgerMonthsKept(ledgerMonths); ++i, m = m.addMonths(-1))
        months << QStringLiteral("%1-%2").arg(m.year()).arg(m.month());
    return months;
}

bool parseMonth(const QString& text, int& year, int& month) {
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() != 2 || parts[0].size() != 4 || parts[1].isEmpty() || parts[1].size() > 2)
        return false;
    bool okYear = false, okMonth = false;
    year = parts[0].toInt(&okYear);
    month = parts[1].toInt(&okMonth);
    return okYear && okMonth && QDate(year, month, 1).isValid();
}

}  // namespace monthlySettlement
