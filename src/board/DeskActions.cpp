#include "board/DeskActions.h"

#include "board/BoardModel.h"
#include "board/DeskWindows.h"
#include "board/MinuteStamp.h"
#include "board/States.h"
#include "platform/Assets.h"
#include "platform/Errors.h"
#include "store/Database.h"
#include "store/Query.h"

namespace {
const QString kNoRoom = QStringLiteral("호수");
const QString kImp = QStringLiteral("imp.bmp");
const QString kMoon = QStringLiteral("moon.bmp");
const QString kDaSilWord = QStringLiteral("대실");
const QString kSleepWord = QStringLiteral("숙박");

template <typename Action>
void guarded(BoardModel& board, Action&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        board.showError(errorText(e));
    }
}
}  // namespace

DeskActions::DeskActions(BoardModel& board, Database& db, DeskWindows& windows)
    : board_(board), db_(db), windows_(windows) {}

int DeskActions::popupMode(const QString& label, int sleepFlag) {
    const bool overnight = sleepFlag == 1;
    if (label == States::Vacated) return overnight ? 5 : 1;
    if (label == States::DayUse) return 2;
    if (label == States::Cleaning) return 3;
    if (label == States::Ready) return overnight ? 7 : 4;
    if (label == States::Overnight) return 6;
    if (label == States::GuestOut) return overnight ? 8 : 9;
    return 0;
}

// ---- helpers -----------------------------------------------------------

void DeskActions::log(int n, const QString& word) {
    board_.logEvent(word, board_.view(n).buttonCaption);
}

void DeskActions::history(int n, const QString& word) {
    board_.addHistory(n, word, QStringLiteral("0"));
}

void DeskActions::setState(int n, const QString& state) {
    board_.slot(n).state = state;
    board_.saveState(QString::number(n));
}

// ---- the state label ---------------------------------------------------

void DeskActions::onStateLabelClicked(int n) {
    guarded(board_, [&] {
        const QString room = board_.view(n).buttonCaption;
        if (room == kNoRoom) return;
        const int mode = popupMode(board_.view(n).labelCaption, board_.slot(n).overnight);
        if (mode == 0) return;
        offerActions(n, mode, room);
    });
}

void DeskActions::offerActions(int n, int mode, const QString& room) {
    const RoomAction action = windows_.runPopup(mode, room);
    if (action == RoomAction::None || action == RoomAction::Cancel) return;
    // Reports and ticks ran while the popup was open. A choice made for a
    // state the room no longer has (a stay the controller started, a check-out
    // it reported) would open a second ledger row or close the stay wrongly:
    // the clerk chooses again from what the board shows now.
    const QString roomNow = board_.view(n).buttonCaption;
    if (roomNow != room ||
        popupMode(board_.view(n).labelCaption, board_.slot(n).overnight) != mode) {
        board_.showInfo(QStringLiteral("%1호의 상태가 바뀌어 선택하신 작업을 하지 않았습니다. "
                                       "다시 선택하여 주십시오")
                            .arg(room));
        return;
    }
    // The action is one step on disk, written when it ends, also when it ends
    // early; the popup is outside it, so that the reports taken meanwhile are
    // written at once.
    const BoardModel::Step step(board_);
    act(n, action);
}

void DeskActions::act(int n, RoomAction action) {
    RoomSlot& s = board_.slot(n);
    const QString num = QString::number(n);
    switch (action) {
        case RoomAction::GoOut:
            log(n, QStringLiteral("외출"));
            board_.showGuestOut(n);
            setState(n, States::GuestOut);
            history(n, QStringLiteral("외출"));
            board_.markChangedAtDesk(n);
            s.longStayMarked = 1;
            break;
        case RoomAction::DayUseGoesOn:
            stayGoesOn(n, false);
            break;
        case RoomAction::OvernightGoesOn:
            stayGoesOn(n, true);
            break;
        case RoomAction::Clean:
            log(n, QStringLiteral("청소"));
            board_.showCleaning(n);
            setState(n, States::Cleaning);
            history(n, QStringLiteral("청소"));
            board_.startStayClock(n);
            board_.markChangedAtDesk(n);
            break;
        case RoomAction::CheckOut:
            log(n, QStringLiteral("퇴실"));
            board_.showVacated(n);
            setState(n, States::Vacated);
            history(n, QStringLiteral("퇴실"));
            board_.stopStayClock(n);
            s.checkoutTime = QString::number(board_.clockHour) + QLatin1Char(':') +
                             QString::number(board_.clockMinute);
            board_.saveCheckoutTime(num);
            board_.markChangedAtDesk(n);
            board_.playSound(QStringLiteral("Bell2.Wav"));
            s.longStayMarked = 0;
            break;
        // The ledger goes first at the end of a stay: it reads `Time`, the
        // label and the elapsed minutes, which finishing the room clears.
        case RoomAction::CancelDayUse:
            board_.cancelLedgerRow(n);
            log(n, QStringLiteral("대실취소"));
            finishRoom(n, QStringLiteral("대실취소"));
            break;
        case RoomAction::Finish:
            board_.closeLedgerRow(n);
            log(n, QStringLiteral("완료"));
            finishRoom(n, QStringLiteral("완료"));
            break;
        case RoomAction::CancelOvernight:
            board_.cancelLedgerRow(n);
            log(n, QStringLiteral("완료"));
            finishRoom(n, QStringLiteral("숙박취소"));
            break;
        case RoomAction::MoveRoom:
            board_.moveLedgerRow(n, s.overnight == 1 ? kSleepWord : kDaSilWord);
            log(n, QStringLiteral("완료"));
            finishRoom(n, QStringLiteral("객실교체"));
            break;
        case RoomAction::StartDayUse:
            log(n, kDaSilWord);
            board_.showDayUse(n);
            setState(n, States::DayUse);
            s.overnight = 0;
            board_.saveStayKind(num);
            history(n, kDaSilWord);
            startStay(n);
            break;
        case RoomAction::StartOvernight:
            log(n, kSleepWord);
            board_.showOvernight(n);
            setState(n, States::Overnight);
            s.overnight = 1;
            board_.saveStayKind(num);
            history(n, kSleepWord);
            startStay(n);
            break;
        case RoomAction::ToOvernight:
            log(n, QStringLiteral("숙박전환"));
            board_.showOvernight(n);
            setState(n, States::Overnight);
            s.overnight = 1;
            board_.setStayKindPicture(n, kMoon);
            board_.saveStayKind(num);
            history(n, QStringLiteral("숙박전환"));
            board_.advanceStayClock(n);
            board_.markChangedAtDesk(n);
            board_.convertLedgerRow(n, kSleepWord);
            break;
        case RoomAction::ToDayUse:
            log(n, QStringLiteral("대실전환"));
            board_.showDayUse(n);
            s.state = States::DayUse;
            board_.setStayKindPicture(n, kImp);
            board_.saveState(num);
            s.overnight = 0;
            board_.saveStayKind(num);
            history(n, QStringLiteral("대실전환"));
            board_.advanceStayClock(n);
            board_.markChangedAtDesk(n);
            board_.convertLedgerRow(n, kDaSilWord);
            break;
        case RoomAction::Cancel:
        case RoomAction::None:
            break;
    }
}

void DeskActions::stayGoesOn(int n, bool overnight) {
    const QString word = (overnight ? kSleepWord : kDaSilWord) + QStringLiteral("유지");
    log(n, word);
    if (overnight) {
        board_.showOvernight(n);
        setState(n, States::Overnight);
    } else {
        board_.showDayUse(n);
        setState(n, States::DayUse);
    }
    history(n, word);
    board_.advanceStayClock(n);
    board_.markChangedAtDesk(n);
    board_.playSound(QStringLiteral("Bell.Wav"));
    board_.slot(n).longStayMarked = 0;
}

void DeskActions::startStay(int n) {
    board_.startStayClock(n);
    board_.slot(n).stayStart = TimeText(board_.now());
    board_.saveStayStart(QString::number(n));
    board_.markChangedAtDesk(n);
    board_.openLedgerRow(n);
    board_.playSound(QStringLiteral("bell.wav"));
}

void DeskActions::finishRoom(int n, const QString& historyWord) {
    RoomSlot& s = board_.slot(n);
    const QString num = QString::number(n);
    board_.showReady(n);
    setState(n, States::Ready);
    s.overnight = 0;
    board_.saveStayKind(num);
    board_.setStayKindPicture(n, kImp);
    history(n, historyWord);
    board_.clearStayClock(n);
    s.stayStart.clear();
    board_.saveStayStart(num);
    board_.editView(n).elapsedFontColor = Colors::White;
    board_.viewChanged(n);
    board_.markChangedAtDesk(n);
    s.morningCall.clear();
    board_.saveMorningCall(static_cast<quint8>(n));
    board_.editView(n).startColor = Colors::Black;
    board_.viewChanged(n);
}

// ---- the stay kind button ----------------------------------------------

void DeskActions::toggleStayKind(int n) {
    guarded(board_, [&] {
        const BoardModel::Step step(board_);
        RoomSlot& s = board_.slot(n);
        const QString label = board_.view(n).labelCaption;
        const bool toOvernight = s.overnight != 1;
        board_.setStayKindPicture(n, toOvernight ? kMoon : kImp);
        s.overnight = toOvernight ? 1 : 0;
        board_.saveStayKind(QString::number(n));
        if (label == States::Ready) {
            if (toOvernight)
                board_.showReadyForOvernight(n);
            else
                board_.showReady(n);
            return;
        }
        // A running stay shown by its kind changes its label with the kind.
        // A room being cleaned or left keeps its label, and its stored state
        // goes on mirroring the label, so a restart shows what the board showed.
        if (toOvernight && label == States::DayUse) {
            board_.showOvernight(n);
            setState(n, States::Overnight);
        } else if (!toOvernight && label == States::Overnight) {
            board_.showDayUse(n);
            setState(n, States::DayUse);
        }
        convertStay(n, toOvernight);
    });
}

void DeskActions::convertStay(int n, bool overnight) {
    const QString kind = overnight ? kSleepWord : kDaSilWord;
    board_.convertLedgerRow(n, kind);
    log(n, kind + QStringLiteral("전환"));
    history(n, kind + QStringLiteral("전환"));
}

// ---- the room number button --------------------------------------------

void DeskActions::onRoomButtonClicked(int n) {
    guarded(board_, [&] {
        const QString room = board_.view(n).buttonCaption;
        openHistory(room);
        const RoomSetupResult result = windows_.runRoomSetup(n, room, db_.historyQuery());
        const BoardModel::Step step(board_);

        if (result.resetRequested) {
            resetRoom(n);
            return;
        }
        const QString num = QString::number(n);
        RoomSlot& s = board_.slot(n);
        if (result.newRoomName.size() == 3) {
            const QString oldRoom = board_.view(n).buttonCaption;
            board_.editView(n).buttonCaption = result.newRoomName;
            s.roomName = result.newRoomName;
            board_.editView(n).kindVisible = true;
            board_.viewChanged(n);
            board_.saveRoomName(num);
            s.keyCode = static_cast<quint16>(result.newKeyCode);
            board_.saveKeyCode(num);
            // The running stay's row is found by the room's number: it takes
            // the new one, or its end would never find it.
            if (!s.stayStart.isEmpty()) board_.renumberLedgerRow(n, oldRoom);
        }
        if (result.feesSaved) board_.saveFees(num);
    });
}

void DeskActions::openHistory(const QString& room) {
    Query& q = db_.historyQuery();
    q.clear();
    q.addLine(QStringLiteral(R"(Select * From "Room.db")"));
    q.addLine(QStringLiteral("Where RoomNum = :N1"));
    q.addLine(room != kNoRoom ? QStringLiteral("ORDER By RoomNum ASC, SDate DESC, STime DESC")
                              : QStringLiteral("Order By SDate, STime ASC"));
    q.bind(QStringLiteral("N1"), room);
    q.open();
}

void DeskActions::resetRoom(int n) {
    RoomSlot& s = board_.slot(n);
    const QString num = QString::number(n);

    board_.editView(n).buttonCaption = kNoRoom;
    board_.viewChanged(n);
    board_.showReady(n);
    board_.setStayKindPicture(n, kImp);
    SlotView& v = board_.editView(n);
    v.kindVisible = false;
    v.startText.clear();
    v.startColor = Colors::Black;
    v.elapsedText.clear();
    board_.viewChanged(n);

    s.roomName = num;
    s.state.clear();
    s.stayStart.clear();
    s.checkoutTime.clear();
    s.lastEvent.clear();
    s.morningCall.clear();
    s.clockRunning = 0;
    s.showElapsed = 0;
    s.elapsed = 0;
    s.elapsedHours = 0;
    s.elapsedMinutes = 0;
    s.doorOpen = 0;
    s.keyCode = 0;
    s.dayUseFee = 0;
    s.overnightFee = 0;
    s.overnight = 0;
    s.longStayMarked = 0;

    board_.saveRoomName(num);
    board_.saveState(num);
    board_.saveStayKind(num);
    // The door picture and the memo's hint stay on the panel until the next
    // start; the file forgets them now.
    const QString key = QStringLiteral("r") + num;
    board_.storeValue(QStringLiteral("RoomKey"), key, QString());
    board_.storeValue(QStringLiteral("TimeEnd"), key, QString());
    board_.storeValue(QStringLiteral("Money"), QStringLiteral("rd") + num, QString());
    board_.storeValue(QStringLiteral("Money"), QStringLiteral("rs") + num, QString());
    board_.storeValue(QStringLiteral("Time"), key, QString());
    board_.storeValue(QStringLiteral("DoorStatus"), key, QString());
    board_.storeValue(QStringLiteral("Alram"), key, QString());
    board_.storeValue(QStringLiteral("Memo"), key, QString());
}
