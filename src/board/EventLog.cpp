#include "board/EventLog.h"

#include <array>
#include <utility>

#include "board/RoomLook.h"

namespace {
// The colour of a room's state label, which its event words share.
LogColor stateColour(RoomState state) { return stateLook(state, StayKind::DayUse).back; }

// The event words and their colours.
const std::array<std::pair<QString, LogColor>, 15>& colourTable() {
    static const LogColor dayUse = stateColour(RoomState::DayUse);
    static const LogColor overnight = stateColour(RoomState::Overnight);
    static const std::array<std::pair<QString, LogColor>, 15> table = {{
        {QStringLiteral("문열림"), std::nullopt},
        {QStringLiteral("문닫힘"), std::nullopt},
        {QStringLiteral("대실"), dayUse},
        {QStringLiteral("대실유지"), dayUse},
        {QStringLiteral("대실전환"), dayUse},
        {QStringLiteral("대실취소"), dayUse},
        {QStringLiteral("숙박"), overnight},
        {QStringLiteral("숙박유지"), overnight},
        {QStringLiteral("숙박전환"), overnight},
        {QStringLiteral("숙박취소"), overnight},
        {QStringLiteral("외출"), stateColour(RoomState::GuestOut)},
        {QStringLiteral("퇴실"), stateColour(RoomState::CheckedOut)},
        {QStringLiteral("청소"), stateColour(RoomState::Cleaning)},
        {QStringLiteral("완료"), stateColour(RoomState::Finished)},
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
