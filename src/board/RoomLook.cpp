#include "board/RoomLook.h"

StateLook stateLook(RoomState state, StayKind kind) {
    switch (state) {
        case RoomState::Ready:
            if (kind == StayKind::Overnight)
                return {stateCaption(state), Colors::Black, Colors::LightPink, std::nullopt};
            return {stateCaption(state), Colors::White, Colors::Green, QString()};
        case RoomState::DayUse:
            return {stateCaption(state), Colors::White, Colors::Blue, QStringLiteral("bed.bmp")};
        case RoomState::Overnight:
            return {stateCaption(state), Colors::White, Colors::Red, QStringLiteral("night.bmp")};
        case RoomState::Cleaning:
            return {stateCaption(state), Colors::White, Colors::Gray, QStringLiteral("Clean.bmp")};
        case RoomState::Vacated:
            return {stateCaption(state), Colors::White, Colors::Purple,
                    QStringLiteral("withOut.bmp")};
        case RoomState::GuestOut:
            return {stateCaption(state), Colors::Black, Colors::Yellow, std::nullopt};
    }
    return {};
}

QString stateCaption(RoomState state) {
    switch (state) {
        case RoomState::Ready:
            return QStringLiteral("완 료");
        case RoomState::DayUse:
            return QStringLiteral("대 실");
        case RoomState::Overnight:
            return QStringLiteral("숙 박");
        case RoomState::Cleaning:
            return QStringLiteral("청 소");
        case RoomState::Vacated:
            return QStringLiteral("퇴 실");
        case RoomState::GuestOut:
            return QStringLiteral("외 출");
    }
    return {};
}

QString kindGlyph(RoomState state, StayKind kind) {
    if (state == RoomState::DayUse) kind = StayKind::DayUse;
    if (state == RoomState::Overnight) kind = StayKind::Overnight;
    return kind == StayKind::Overnight ? QStringLiteral("moon.bmp") : QStringLiteral("imp.bmp");
}

WinColor markColor(ChangeMark mark) {
    return mark == ChangeMark::Desk ? Colors::Maroon : Colors::Navy;
}
