// The board's rules without a board: each change from each state for each
// source, which change each controller event means, what the popup offers,
// and the stored state texts.
#include <gtest/gtest.h>

#include "board/RoomLook.h"
#include "board/RoomRules.h"
#include "board/StoredRoomState.h"
#include "support/Fakes.h"

namespace {

using S = RoomState;
using K = StayKind;
using C = RoomChange;
using Src = ChangeSource;
using Clock = StayClockChange;
using L = LedgerChange;

RoomSlot room(RoomState state, StayKind kind, bool guestOut = false) {
    RoomSlot s;
    s.state = state;
    s.kind = kind;
    s.guestOut = guestOut;
    return s;
}

// The table of every change: the state, kind and guest-out mark it
// leaves, the words, the ledger, the clock, the file, the sound and the mark.
TEST(RoomRules, EveryChangeForEverySource) {
    const struct {
        C change;
        Src source;
        RoomSlot before;
        K asked;
        S state;
        K kind;
        bool guestOut;
        const char* word;
        const char* history;
        const char* comm;
        L ledger;
        StayKind ledgerKind;
        Clock clock;
        bool startsStay, checksOut, endsStay, savesKind;
        const char* sound;
        ChangeMark mark;
    } cases[] = {
        // A new stay, of the kind asked; a stale absence mark goes.
        {C::StartStay, Src::Controller, room(S::Finished, K::Overnight, true), K::Overnight,
         S::Overnight, K::Overnight, false, "숙박", "숙박", "1", L::Open, K::DayUse, Clock::Start,
         true, false, false, true, "bell.wav", ChangeMark::Controller},
        {C::StartStay, Src::Popup, room(S::Finished, K::DayUse, true), K::DayUse, S::DayUse,
         K::DayUse, false, "대실", "대실", "0", L::Open, K::DayUse, Clock::Start, true, false,
         false, true, "bell.wav", ChangeMark::Desk},
        // The guest is back.
        {C::KeepStay, Src::Controller, room(S::GuestOut, K::DayUse, true), K::DayUse, S::DayUse,
         K::DayUse, false, "대실유지", "대실유지", "1", L::None, K::DayUse, Clock::ShowElapsed,
         false, false, false, false, "bell.wav", ChangeMark::Controller},
        {C::KeepStay, Src::Popup, room(S::CheckedOut, K::Overnight), K::Overnight, S::Overnight,
         K::Overnight, false, "숙박유지", "숙박유지", "0", L::None, K::DayUse, Clock::ShowElapsed,
         false, false, false, false, "bell.wav", ChangeMark::Desk},
        // Conversions: a stay changes its state with its kind, a room being
        // cleaned or left keeps its state; the kind button marks nothing.
        {C::Convert, Src::Popup, room(S::DayUse, K::DayUse), K::Overnight, S::Overnight,
         K::Overnight, false, "숙박전환", "숙박전환", "0", L::Convert, K::Overnight, Clock::None,
         false, false, false, true, "", ChangeMark::Desk},
        {C::Convert, Src::KindButton, room(S::Overnight, K::Overnight), K::DayUse, S::DayUse,
         K::DayUse, false, "대실전환", "대실전환", "0", L::Convert, K::DayUse, Clock::None, false,
         false, false, true, "", ChangeMark::None},
        {C::Convert, Src::KindButton, room(S::Cleaning, K::DayUse), K::Overnight, S::Cleaning,
         K::Overnight, false, "숙박전환", "숙박전환", "0", L::Convert, K::Overnight, Clock::None,
         false, false, false, true, "", ChangeMark::None},
        // A check-out ends the absence only when the clerk says so.
        {C::CheckOut, Src::Controller, room(S::GuestOut, K::DayUse, true), K::DayUse, S::CheckedOut,
         K::DayUse, true, "퇴실", "퇴실", "1", L::None, K::DayUse, Clock::ShowCheckout, false, true,
         false, false, "Bell2.Wav", ChangeMark::Controller},
        {C::CheckOut, Src::Popup, room(S::GuestOut, K::DayUse, true), K::DayUse, S::CheckedOut,
         K::DayUse, false, "퇴실", "퇴실", "0", L::None, K::DayUse, Clock::ShowCheckout, false,
         true, false, false, "Bell2.Wav", ChangeMark::Desk},
        // The absence is always the desk's mark in the history.
        {C::GuestOut, Src::Popup, room(S::CheckedOut, K::DayUse), K::DayUse, S::GuestOut, K::DayUse,
         true, "외출", "외출", "0", L::None, K::DayUse, Clock::None, false, false, false, false, "",
         ChangeMark::Desk},
        {C::GuestOut, Src::Controller, room(S::Cleaning, K::DayUse, true), K::DayUse, S::GuestOut,
         K::DayUse, true, "외출", "외출", "0", L::None, K::DayUse, Clock::None, false, false, false,
         false, "", ChangeMark::Controller},
        // Cleaning times itself, unless the guest is out: then the stay's
        // clock runs on.
        {C::Clean, Src::Controller, room(S::CheckedOut, K::DayUse), K::DayUse, S::Cleaning,
         K::DayUse, false, "청소", "청소", "1", L::None, K::DayUse, Clock::Start, false, false,
         false, false, "", ChangeMark::Controller},
        {C::Clean, Src::Popup, room(S::CheckedOut, K::Overnight, true), K::Overnight, S::Cleaning,
         K::Overnight, true, "청소", "청소", "0", L::None, K::DayUse, Clock::None, false, false,
         false, false, "", ChangeMark::Desk},
        // The ends of a stay.
        {C::Finish, Src::Controller, room(S::Cleaning, K::Overnight), K::Overnight, S::Finished,
         K::DayUse, false, "완료", "완료", "1", L::Finish, K::DayUse, Clock::StartFinished, false,
         false, true, true, "", ChangeMark::Controller},
        {C::Finish, Src::Popup, room(S::Cleaning, K::DayUse, true), K::DayUse, S::Finished,
         K::DayUse, false, "완료", "완료", "0", L::Finish, K::DayUse, Clock::StartFinished, false,
         false, true, true, "", ChangeMark::Desk},
        {C::Cancel, Src::Popup, room(S::DayUse, K::DayUse), K::DayUse, S::Finished, K::DayUse,
         false, "대실취소", "대실취소", "0", L::Cancel, K::DayUse, Clock::StartFinished, false,
         false, true, true, "", ChangeMark::Desk},
        {C::Cancel, Src::Popup, room(S::Overnight, K::Overnight), K::Overnight, S::Finished,
         K::DayUse, false, "숙박취소", "숙박취소", "0", L::Cancel, K::Overnight,
         Clock::StartFinished, false, false, true, true, "", ChangeMark::Desk},
        {C::Move, Src::Popup, room(S::CheckedOut, K::Overnight), K::Overnight, S::Finished,
         K::DayUse, false, "완료", "객실교체", "0", L::Move, K::Overnight, Clock::StartFinished,
         false, false, true, true, "", ChangeMark::Desk},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(i++));
        const ChangePlan p = planChange(c.change, c.source, c.before, c.asked);
        EXPECT_EQ(p.state, c.state);
        EXPECT_EQ(p.kind, c.kind);
        EXPECT_EQ(p.guestOut, c.guestOut);
        EXPECT_EQ(p.word, QString::fromUtf8(c.word));
        EXPECT_EQ(p.historyWord, QString::fromUtf8(c.history));
        EXPECT_EQ(p.historyComm, QString::fromUtf8(c.comm));
        EXPECT_EQ(p.ledger, c.ledger);
        EXPECT_EQ(p.ledgerKind, c.ledgerKind);
        EXPECT_EQ(p.clock, c.clock);
        EXPECT_EQ(p.startsStay, c.startsStay);
        EXPECT_EQ(p.checksOut, c.checksOut);
        EXPECT_EQ(p.endsStay, c.endsStay);
        EXPECT_EQ(p.savesKind, c.savesKind);
        EXPECT_EQ(p.sound, QString::fromUtf8(c.sound));
        EXPECT_EQ(p.mark, c.mark);
    }
}

// Which change each event means in each state (none: the room ignores it).
TEST(RoomRules, ControllerEventsByState) {
    const std::optional<C> none;
    const struct {
        S state;
        bool guestOut;
        std::optional<C> taken, left, cleaning, finish;
    } cases[] = {
        {S::Finished, false, C::StartStay, none, C::Clean, C::Finish},
        {S::Finished, true, C::StartStay, none, C::Clean, C::GuestOut},
        {S::DayUse, false, C::KeepStay, C::CheckOut, C::Clean, none},
        {S::Overnight, true, C::KeepStay, C::CheckOut, C::Clean, none},
        {S::Cleaning, false, C::KeepStay, C::CheckOut, C::Clean, C::Finish},
        {S::Cleaning, true, C::KeepStay, C::CheckOut, C::Clean, C::GuestOut},
        {S::CheckedOut, false, C::KeepStay, C::CheckOut, C::Clean, C::Finish},
        {S::GuestOut, true, C::KeepStay, C::CheckOut, C::Clean, C::GuestOut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(roomStateKey(c.state).toStdString() + (c.guestOut ? " out" : ""));
        const RoomSlot r = room(c.state, K::DayUse, c.guestOut);
        EXPECT_EQ(controllerChange(3, r), c.taken);
        EXPECT_EQ(controllerChange(4, r), c.left);
        EXPECT_EQ(controllerChange(5, r), c.cleaning);
        EXPECT_EQ(controllerChange(6, r), c.finish);
        for (int code : {0, 1, 2, 7, 255}) EXPECT_EQ(controllerChange(code, r), none);
    }
}

TEST(RoomRules, ThePopupOffersByStateAndKind) {
    using A = RoomAction;
    const struct {
        S state;
        K kind;
        const char* question;
        std::vector<A> actions;
    } cases[] = {
        {S::Finished, K::DayUse, "]호 대실입니까?", {A::StartDayUse}},
        {S::Finished, K::Overnight, "]호 숙박입니까?", {A::StartOvernight}},
        {S::DayUse,
         K::DayUse,
         "]호의 대실사항을 선택하세요!",
         {A::CheckOut, A::CancelDayUse, A::ToOvernight}},
        {S::Overnight,
         K::Overnight,
         "]호의 숙박사항을 선택하세요!",
         {A::CheckOut, A::CancelOvernight, A::ToDayUse}},
        {S::Cleaning, K::Overnight, "]호의 청소사항을 선택하세요!", {A::Finish}},
        {S::CheckedOut,
         K::DayUse,
         "]호의 퇴실사항을 선택하세요!",
         {A::GoOut, A::DayUseGoesOn, A::Clean, A::MoveRoom}},
        {S::CheckedOut,
         K::Overnight,
         "]호의 퇴실사항을 선택하세요!",
         {A::GoOut, A::OvernightGoesOn, A::Clean, A::MoveRoom}},
        {S::GuestOut,
         K::Overnight,
         "]호의 외출사항을 선택하세요 ?",
         {A::CheckOut, A::OvernightGoesOn}},
        {S::GuestOut, K::DayUse, "]호의 외출사항을 선택하세요 ?", {A::CheckOut, A::DayUseGoesOn}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(roomStateKey(c.state).toStdString() + " " + stayKindKey(c.kind).toStdString());
        const RoomOffer offer = offeredActions(c.state, c.kind);
        EXPECT_EQ(offer.question, QString::fromUtf8(c.question));
        EXPECT_EQ(offer.actions, c.actions);
    }
    // Each action asks for the change and kind its caption says.
    EXPECT_EQ(actionChange(A::ToDayUse), C::Convert);
    EXPECT_EQ(actionKind(A::ToDayUse, K::Overnight), K::DayUse);
    EXPECT_EQ(actionKind(A::MoveRoom, K::Overnight), K::Overnight);
    EXPECT_EQ(actionCaption(A::MoveRoom), QStringLiteral("객실교체"));
}

TEST(StoredRoomState, TextsToValuesAndBack) {
    for (S s : {S::Finished, S::DayUse, S::Overnight, S::Cleaning, S::CheckedOut, S::GuestOut}) {
        EXPECT_EQ(stateFromStored(storedText(s)), s);
        EXPECT_EQ(storedText(s), stateCaption(s));  // the file keeps the label's text
    }
    EXPECT_EQ(stateFromStored(QString()), S::Finished);  // a room never changed
    EXPECT_EQ(stateFromStored(QStringLiteral("완료")), std::nullopt);
    EXPECT_EQ(stateFromStored(QStringLiteral("엉 망")), std::nullopt);
    EXPECT_EQ(kindFromStored(1), K::Overnight);
    for (int v : {0, 2, -1}) EXPECT_EQ(kindFromStored(v), K::DayUse);
    EXPECT_EQ(storedValue(K::Overnight), 1);
    EXPECT_EQ(storedValue(K::DayUse), 0);
}

}  // namespace
