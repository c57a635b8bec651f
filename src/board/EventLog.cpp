#include "board/EventLog.h"

#include <array>
#include <utility>

namespace {
// The event words and their colours.
const std::array<std::pair<QString, LogColor>, 15>& colourTable() {
    static const std::array<std::pair<QString, LogColor>, 15> table = {{
        {QStringLiteral("문열림"), std::nullopt},
        {QStringLiteral("문닫힘"), std::nullopt},
        {QStringLiteral("대실"), Colors::Blue},
        {QStringLiteral("대실유지"), Colors::Blue},
        {QStringLiteral("대실전환"), Colors::Blue},
        {QStringLiteral("대실취소"), Colors::Blue},
        {QStringLiteral("숙박"), Colors::Red},
        {QStringLiteral("숙박유지"), Colors::Red},
        {QStringLiteral("숙박전환"), Colors::Red},
        {QStringLiteral("숙박취소"), Colors::Red},
        {QStringLiteral("외출"), WinColor{0x00FFFF}},
        {QStringLiteral("퇴실"), Colors::Purple},
        {QStringLiteral("청소"), Colors::Gray},
        {QStringLiteral("완료"), Colors::Green},
        {QStringLiteral("모닝콜놓침"), Colors::Red},
    }};
    return table;
}
}  // namespace

std::optional<LogColor> EventLog::wordColor(const QString& word) {
    for (const auto& [w, colour] : colourTable())
        if (w == word) return colour;
    return std::nullopt;
}

void EventLog::logEvent(const QString& word, const QString& room) {
    if (selected_ > kTrimAbove) {
        lines_.removeFirst();
        colors_.erase(colors_.begin());
        ++trimmed_;
    }
    lines_.append(room + QStringLiteral("호 ") + word);
    const std::optional<LogColor> colour = wordColor(word);
    colors_.push_back(colour);
    selected_ = static_cast<int>(lines_.size()) - 1;
    if (colour) {
        lastEventWordColor_ = *colour;
        lastEventRoomColor_ = *colour;
    }
    lastEventWord_ = word;
    lastEventRoom_ = room + QStringLiteral(" 호");
}
