#include "admin/MorningCallList.h"

#include <QRegularExpression>

#include "board/BoardModel.h"
#include "platform/Cp949.h"
#include "platform/Errors.h"

MorningCallList::MorningCallList(BoardModel& board) : board_(board) {
    for (int n = 1; n <= BoardModel::kSlots; ++n) {
        if (board_.slot(n).hasPanel == 0) continue;
        rows_.append({n, board_.slot(n).roomName + QStringLiteral(" 호"),
                      board_.slot(n).morningCall, board_.view(n).hint});
    }
}

void MorningCallList::setCall(int row, const QString& call) {
    rows_[row].call = call;
    rows_[row].callEdited = true;
}

bool MorningCallList::setMemo(int row, const QString& memo) {
    if (memo.contains(u'\n') || memo.contains(u'\r')) {
        board_.showError(QStringLiteral("메모에는 줄바꿈을 넣을 수 없습니다"));
        return false;
    }
    try {
        Cp949::encode(memo);
    } catch (const std::exception& e) {
        board_.showError(QStringLiteral("메모에 저장할 수 없는 글자가 있습니다: ") + errorText(e));
        return false;
    }
    rows_[row].memo = memo;
    rows_[row].memoEdited = true;
    return true;
}

bool MorningCallList::save() {
    const QString nowMinute = board_.now().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    try {
        const BoardModel::Step step(board_);
        for (Row& r : rows_) {
            if (r.callEdited) {
                board_.setMorningCall(r.slot, r.call, nowMinute);
                board_.saveMorningCall(r.slot);
            }
            if (r.memoEdited) {
                board_.setMemo(r.slot, r.memo);
                board_.saveMemo(r.slot);
            }
            r.callEdited = r.memoEdited = false;
        }
    } catch (const std::exception& e) {
        board_.showError(QStringLiteral("모닝콜과 메모를 저장하지 못했습니다: ") + errorText(e));
        return false;
    }
    return true;
}

AlarmTime AlarmTime::fromText(const QString& call, const QDate& today) {
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch m = form.match(call);
    AlarmTime t{today, 0, 0};
    if (!m.hasMatch()) return t;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const int hour = m.captured(4).toInt();
    const int minute = m.captured(5).toInt();
    if (!date.isValid() || hour > 23 || minute > 59) return t;
    return {date, hour, minute};
}

QString AlarmTime::text() const {
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" %1:%2")
                                                             .arg(hour, 2, 10, QLatin1Char('0'))
                                                             .arg(minute, 2, 10, QLatin1Char('0'));
}

bool AlarmTime::isPast(const QDateTime& now) const {
    return text() < now.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}
