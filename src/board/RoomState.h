#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// What a room is doing, as a value. The rules decide on it; the stored label
// text (rStatus) is read into it and written from it in one place, and what a
// panel shows is derived from it in one place.
enum class RoomState : quint8 {
    Finished,    // 완료: made up, waiting for a guest
    DayUse,      // 대실: a day-use stay is running
    Overnight,   // 숙박: an overnight stay is running
    Cleaning,    // 청소
    CheckedOut,  // 퇴실: the guest has left, not yet cleaned
    GuestOut,    // 외출: the guest is out, the stay goes on
};

// The kind of stay the room is let for (Sleep: 1 overnight, 0 day-use).
enum class StayKind : quint8 { DayUse = 0, Overnight = 1 };

// Who changed a room last, shown by the colour of its number.
enum class ChangeMark : quint8 { None, Desk, Controller };

// Stable ASCII words for the faces outside the desk (the owner's pages, the
// group's ledger): they never change with a caption.
inline QString roomStateKey(RoomState state) {
    switch (state) {
        case RoomState::Finished:
            return QStringLiteral("ready");
        case RoomState::DayUse:
            return QStringLiteral("dayUse");
        case RoomState::Overnight:
            return QStringLiteral("overnight");
        case RoomState::Cleaning:
            return QStringLiteral("cleaning");
        case RoomState::CheckedOut:
            return QStringLiteral("vacated");
        case RoomState::GuestOut:
            return QStringLiteral("guestOut");
    }
    return {};
}

// The words of the stay kinds in the history, the ledger (`Action`) and the
// log: written from the value here, and read back here.
inline QString stayWord(StayKind kind) {
    return kind == StayKind::Overnight ? QStringLiteral("숙박") : QStringLiteral("대실");
}
// The stay kind a stored word names; none for any other word.
inline std::optional<StayKind> stayKindNamed(QStringView word) {
    for (StayKind kind : {StayKind::DayUse, StayKind::Overnight})
        if (word == stayWord(kind)) return kind;
    return std::nullopt;
}
// A ledger row's kind: "대실" is a day-use stay, any other word an overnight one.
inline StayKind stayKindOfWord(QStringView word) {
    return stayKindNamed(word).value_or(StayKind::Overnight);
}

inline QString stayKindKey(StayKind kind) {
    return kind == StayKind::Overnight ? QStringLiteral("overnight") : QStringLiteral("dayUse");
}
