#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "board/WinColor.h"

// The colour of an event word; none means the system's window-text colour.
using LogColor = std::optional<WinColor>;

// The running log of room events on the board's left side and the two
// last-event labels below it. It lives only while the program runs.
class EventLog {
public:
    static constexpr int kTrimAbove = 498;

    // Adds the line room + "호 " + word, trimming the oldest line when the
    // selected line is past the 499th, and shows the event in the labels.
    void logEvent(const QString& word, const QString& room);

    // The colour of an event word; nothing when the word is not in the table.
    static std::optional<LogColor> wordColor(const QString& word);

    const QStringList& lines() const { return lines_; }
    // The colour of line `index`, that of the event it tells.
    std::optional<LogColor> lineColor(qsizetype index) const { return colors_.at(index); }
    int selected() const { return selected_; }
    // How many lines have been trimmed from the top since the start.
    qint64 trimmed() const { return trimmed_; }
    void select(int index) { selected_ = index; }

    const QString& lastEventWord() const { return lastEventWord_; }  // the last event's word
    const QString& lastEventRoom() const { return lastEventRoom_; }  // the last event's room
    const LogColor& lastEventWordColor() const { return lastEventWordColor_; }
    const LogColor& lastEventRoomColor() const { return lastEventRoomColor_; }

private:
    QStringList lines_;
    std::vector<std::optional<LogColor>> colors_;  // one per line
    int selected_ = -1;
    qint64 trimmed_ = 0;
    QString lastEventWord_ = QStringLiteral("신호대기");
    QString lastEventRoom_ = QStringLiteral("신호대기");
    LogColor lastEventWordColor_;  // window text
    LogColor lastEventRoomColor_ = Colors::Black;
};
