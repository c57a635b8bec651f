#include "board/RoomRules.h"

namespace {
RoomState stayState(StayKind kind) {
    return kind == StayKind::Overnight ? RoomState::Overnight : RoomState::DayUse;
}
}  // namespace

SourceRules sourceRules(ChangeSource source) {
    switch (source) {
        case ChangeSource::Controller:
            return {QStringLiteral("1"), ChangeMark::Controller, false};
        case ChangeSource::Popup:
            return {QStringLiteral("0"), ChangeMark::Desk, true};
        // The stay kind button changes the kind, not who last looked after the room.
        case ChangeSource::KindButton:
            return {QStringLiteral("0"), ChangeMark::None, true};
    }
    return {};
}

ChangePlan planChange(RoomChange change, ChangeSource source, const RoomSlot& room, StayKind kind) {
    const SourceRules by = sourceRules(source);
    ChangePlan p;
    p.state = room.state;
    p.kind = room.kind;
    p.guestOut = room.guestOut;
    p.historyComm = by.historyComm;
    p.mark = by.mark;
    // The end of a stay, whichever way it ends: the room is finished, ready
    // for a day-use guest; its clock shows how long it has been finished.
    const auto endStay = [&](LedgerChange ledger) {
        p.state = RoomState::Finished;
        p.kind = StayKind::DayUse;
        p.guestOut = false;
        p.ledger = ledger;
        p.clock = StayClockChange::StartFinished;
        p.endsStay = true;
        p.savesKind = true;
    };
    switch (change) {
        case RoomChange::StartStay:
            p.kind = kind;
            p.state = stayState(kind);
            p.guestOut = false;
            p.word = stayWord(kind);
            p.ledger = LedgerChange::Open;
            p.clock = StayClockChange::Start;
            p.startsStay = true;
            p.savesKind = true;
            p.sound = QStringLiteral("bell.wav");
            break;
        case RoomChange::KeepStay:
            p.kind = kind;
            p.state = stayState(kind);
            p.guestOut = false;
            p.word = stayWord(kind) + QStringLiteral("유지");
            p.clock = StayClockChange::ShowElapsed;
            p.sound = QStringLiteral("bell.wav");
            break;
        case RoomChange::Convert:
            p.kind = kind;
            // A room being cleaned or left keeps its state; only the kind of
            // its stay changes.
            if (room.state == RoomState::DayUse || room.state == RoomState::Overnight)
                p.state = stayState(kind);
            p.word = stayWord(kind) + QStringLiteral("전환");
            p.ledger = LedgerChange::Convert;
            p.ledgerKind = kind;
            p.savesKind = true;
            break;
        case RoomChange::CheckOut:
            p.state = RoomState::CheckedOut;
            if (by.checkOutEndsGuestOut) p.guestOut = false;
            p.word = QStringLiteral("퇴실");
            p.clock = StayClockChange::ShowCheckout;
            p.checksOut = true;
            p.sound = QStringLiteral("Bell2.Wav");
            break;
        case RoomChange::GuestOut:
            p.state = RoomState::GuestOut;
            p.guestOut = true;
            p.word = QStringLiteral("외출");
            // The absence is the desk's mark, also when the controller's
            // finish shows it again.
            p.historyComm = QStringLiteral("0");
            break;
        case RoomChange::Clean:
            p.state = RoomState::Cleaning;
            p.word = QStringLiteral("청소");
            // While the guest is out the clock goes on timing the stay.
            p.clock = room.guestOut ? StayClockChange::None : StayClockChange::Start;
            break;
        case RoomChange::Finish:
            endStay(LedgerChange::Finish);
            p.word = QStringLiteral("완료");
            break;
        case RoomChange::Cancel:
            p.ledgerKind =
                room.state == RoomState::Overnight ? StayKind::Overnight : StayKind::DayUse;
            endStay(LedgerChange::Cancel);
            p.word = stayWord(p.ledgerKind) + QStringLiteral("취소");
            break;
        case RoomChange::Move:
            p.ledgerKind = room.kind;
            endStay(LedgerChange::Move);
            p.word = QStringLiteral("완료");
            p.historyWord = QStringLiteral("객실교체");
            break;
    }
    if (p.historyWord.isEmpty()) p.historyWord = p.word;
    return p;
}

std::optional<RoomChange> controllerChange(quint8 code, const RoomSlot& room) {
    const bool finished = room.state == RoomState::Finished;
    const bool stay = room.state == RoomState::DayUse || room.state == RoomState::Overnight;
    switch (static_cast<ControllerEvent>(code)) {
        case ControllerEvent::Taken:
            return finished ? RoomChange::StartStay : RoomChange::KeepStay;
        case ControllerEvent::CheckOut:
            if (finished) return std::nullopt;
            return RoomChange::CheckOut;
        case ControllerEvent::Cleaning:
            return RoomChange::Clean;
        case ControllerEvent::Finish:
            if (stay) return std::nullopt;
            return room.guestOut ? RoomChange::GuestOut : RoomChange::Finish;
        case ControllerEvent::DoorOpened:
        case ControllerEvent::DoorClosed:
            break;
    }
    return std::nullopt;
}

QString actionCaption(RoomAction action) {
    switch (action) {
        case RoomAction::GoOut:
            return QStringLiteral("외 출");
        case RoomAction::DayUseGoesOn:
            return QStringLiteral("대실유지");
        case RoomAction::OvernightGoesOn:
            return QStringLiteral("숙박유지");
        case RoomAction::Clean:
            return QStringLiteral("청 소");
        case RoomAction::CheckOut:
            return QStringLiteral("퇴 실");
        case RoomAction::CancelDayUse:
            return QStringLiteral("대실취소");
        case RoomAction::CancelOvernight:
            return QStringLiteral("숙박취소");
        case RoomAction::Finish:
            return QStringLiteral("완 료");
        case RoomAction::StartDayUse:
            return QStringLiteral("대 실");
        case RoomAction::StartOvernight:
            return QStringLiteral("숙 박");
        case RoomAction::ToOvernight:
            return QStringLiteral("숙박전환");
        case RoomAction::ToDayUse:
            return QStringLiteral("대실전환");
        case RoomAction::MoveRoom:
            return QStringLiteral("객실교체");
    }
    return {};
}

RoomChange actionChange(RoomAction action) {
    switch (action) {
        case RoomAction::GoOut:
            return RoomChange::GuestOut;
        case RoomAction::DayUseGoesOn:
        case RoomAction::OvernightGoesOn:
            return RoomChange::KeepStay;
        case RoomAction::Clean:
            return RoomChange::Clean;
        case RoomAction::CheckOut:
            return RoomChange::CheckOut;
        case RoomAction::CancelDayUse:
        case RoomAction::CancelOvernight:
            return RoomChange::Cancel;
        case RoomAction::Finish:
            return RoomChange::Finish;
        case RoomAction::StartDayUse:
        case RoomAction::StartOvernight:
            return RoomChange::StartStay;
        case RoomAction::ToOvernight:
        case RoomAction::ToDayUse:
            return RoomChange::Convert;
        case RoomAction::MoveRoom:
            return RoomChange::Move;
    }
    return RoomChange::Finish;
}

StayKind actionKind(RoomAction action, StayKind current) {
    switch (action) {
        case RoomAction::DayUseGoesOn:
        case RoomAction::StartDayUse:
        case RoomAction::ToDayUse:
            return StayKind::DayUse;
        case RoomAction::OvernightGoesOn:
        case RoomAction::StartOvernight:
        case RoomAction::ToOvernight:
            return StayKind::Overnight;
        default:
            return current;
    }
}

RoomOffer offeredActions(RoomState state, StayKind kind) {
    using A = RoomAction;
    const bool overnight = kind == StayKind::Overnight;
    const A goesOn = overnight ? A::OvernightGoesOn : A::DayUseGoesOn;
    switch (state) {
        case RoomState::Finished:
            if (overnight) return {QStringLiteral("]호 숙박입니까?"), {A::StartOvernight}};
            return {QStringLiteral("]호 대실입니까?"), {A::StartDayUse}};
        case RoomState::DayUse:
            return {QStringLiteral("]호의 대실사항을 선택하세요!"),
                    {A::CheckOut, A::CancelDayUse, A::ToOvernight}};
        case RoomState::Overnight:
            return {QStringLiteral("]호의 숙박사항을 선택하세요!"),
                    {A::CheckOut, A::CancelOvernight, A::ToDayUse}};
        case RoomState::Cleaning:
            return {QStringLiteral("]호의 청소사항을 선택하세요!"), {A::Finish}};
        case RoomState::CheckedOut:
            return {QStringLiteral("]호의 퇴실사항을 선택하세요!"),
                    {A::GoOut, goesOn, A::Clean, A::MoveRoom}};
        case RoomState::GuestOut:
            return {QStringLiteral("]호의 외출사항을 선택하세요 ?"), {A::CheckOut, goesOn}};
    }
    return {};
}
