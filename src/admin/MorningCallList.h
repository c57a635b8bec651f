#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

class BoardModel;

// The morning-call and memo list: one row for every room with a panel. Edits
// stay in the list, however many, until 저장 stores them or 닫기 drops them.
// Only what the clerk edited is stored, over the room's values of that
// moment: a call the controller cleared while the list was open stays
// cleared unless the clerk set that room's call again.
class MorningCallList {
public:
    struct Row {
        int slot = 0;
        QString room;  // "101 호"
        QString call;  // "yyyy-mm-dd hh:mm" or empty
        QString memo;
        bool callEdited = false;
        bool memoEdited = false;
    };

    explicit MorningCallList(BoardModel& board);

    const QList<Row>& rows() const { return rows_; }
    void setCall(int row, const QString& call);
    // Refuses (and tells why) a memo the room-state file cannot hold; the
    // row keeps its memo.
    bool setMemo(int row, const QString& memo);
    // Stores the edited calls and memos as one step of the board and shows
    // them on it.
    bool save();

private:
    BoardModel& board_;
    QList<Row> rows_;
};

// The alarm window's choice: a date, an hour and a minute.
struct AlarmTime {
    QDate date;
    int hour = 0;
    int minute = 0;

    // A stored call, or today at 0:00 for none (or one that cannot be read).
    static AlarmTime fromText(const QString& call, const QDate& today);
    QString text() const;  // "yyyy-mm-dd hh:mm"
    // Before the minute of `now`.
    bool isPast(const QDateTime& now) const;
};
