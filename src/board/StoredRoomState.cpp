#include "board/StoredRoomState.h"

#include <array>

namespace {
const std::array<RoomState, 6> kStates = {RoomState::Finished,   RoomState::DayUse,
                                          RoomState::Overnight,  RoomState::Cleaning,
                                          RoomState::CheckedOut, RoomState::GuestOut};
}  // namespace

QString storedText(RoomState state) {
    switch (state) {
        case RoomState::Finished:
            return QStringLiteral("완 료");
        case RoomState::DayUse:
            return QStringLiteral("대 실");
        case RoomState::Overnight:
            return QStringLiteral("숙 박");
        case RoomState::Cleaning:
            return QStringLiteral("청 소");
        case RoomState::CheckedOut:
            return QStringLiteral("퇴 실");
        case RoomState::GuestOut:
            return QStringLiteral("외 출");
    }
    return {};
}

std::optional<RoomState> stateFromStored(const QString& text) {
    if (text.isEmpty()) return RoomState::Finished;
    for (RoomState s : kStates)
        if (storedText(s) == text) return s;
    return std::nullopt;
}

StayKind kindFromStored(int value) { return value == 1 ? StayKind::Overnight : StayKind::DayUse; }

int storedValue(StayKind kind) { return kind == StayKind::Overnight ? 1 : 0; }

ChangeMark markFromStored(const QString& text) {
    if (text == QLatin1String("desk")) return ChangeMark::Desk;
    if (text == QLatin1String("controller")) return ChangeMark::Controller;
    return ChangeMark::None;
}

QString storedText(ChangeMark mark) {
    switch (mark) {
        case ChangeMark::Desk:
            return QStringLiteral("desk");
        case ChangeMark::Controller:
            return QStringLiteral("controller");
        case ChangeMark::None:
            break;
    }
    return {};
}
