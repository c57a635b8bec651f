#include "board/DeskActions.h"

#include "board/BoardModel.h"
#include "board/DeskWindows.h"
#include "board/MinuteStamp.h"
#include "board/SharedValues.h"
#include "board/States.h"
#include "platform/Assets.h"
#include "platform/Errors.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/Query.h"

namespace {
const QString kNoRoom = QStringLiteral("호수");
const QString kImp = QStringLiteral("imp.bmp");
const QString kMoon = QStringLiteral("moon.bmp");
const QString kDaSilWord = QStringLiteral("대실");
const QString kSleepWord = QStringLiteral("숙박");

// Popup results: 10 + the number of the popup's button.
enum Result {
    GoOut = 11,
    DaSilGoesOn = 12,
    Clean = 13,
    CheckOut = 15,
    DaSilCancel = 16,
    Finish = 17,
    DaSil = 18,
    SleepGoesOn = 19,
    Sleep = 20,
    ToSleep = 21,
    ToDaSil = 22,
    SleepCancel = 23,
    RoomChange = 24,
};

template <typename Action>
void guarded(BoardModel& board, Action&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        board.ShowError(errorText(e));
    }
}
}  // namespace

DeskActions::DeskActions(BoardModel& board, SharedValues& shared, Database& db,
                         DeskWindows& windows)
    : board_(board), shared_(shared), db_(db), windows_(windows) {}

int DeskActions::popupMode(const QString& label, int sleepFlag) {
    const bool overnight = sleepFlag == 1;
    if (label == States::WithOut) return overnight ? 5 : 1;
    if (label == States::DaSil) return 2;
    if (label == States::Clean) return 3;
    if (label == States::Finish) return overnight ? 7 : 4;
    if (label == States::Sleep) return 6;
    if (label == States::WithOut2) return overnight ? 8 : 9;
    return 0;
}

// ---- helpers -----------------------------------------------------------

void DeskActions::log(int n, const QString& word) {
    board_.LbstCaption(word, board_.view(n).buttonCaption);
}

void DeskActions::history(int n, const QString& word) {
    board_.RoomTable_Insert(n, word, QStringLiteral("0"));
}

void DeskActions::setState(int n, const QString& state) {
    board_.slot(n).rStatus = state;
    board_.roomStatusSave(QString::number(n));
}

// ---- the state label ---------------------------------------------------

void DeskActions::LabelCheck(int n) {
    guarded(board_, [&] {
        const QString room = board_.view(n).buttonCaption;
        if (room == kNoRoom) return;
        const int mode = popupMode(board_.view(n).labelCaption, board_.slot(n).Sleep);
        if (mode == 0) return;
        shared_.PopupRoom = room;
        shared_.PopupCode = mode;
        Labelk(n);
    });
}

void DeskActions::Labelk(int n) {
    windows_.runPopup();
    // Reports and ticks ran while the popup was open: the action applies to
    // the room as it is now, read afresh from here on.
    act(n, shared_.PopupCode);
}

void DeskActions::act(int n, int result) {
    RoomSlot& s = board_.slot(n);
    const QString num = QString::number(n);
    switch (result) {
        case GoOut:
            log(n, QStringLiteral("외출"));
            board_.LabelWithOut2(n);
            setState(n, States::WithOut2);
            history(n, QStringLiteral("외출"));
            board_.ButtonColor_Change(n);
            s.OutMark = 1;
            break;
        case DaSilGoesOn:
            stayGoesOn(n, false);
            break;
        case SleepGoesOn:
            stayGoesOn(n, true);
            break;
        case Clean:
            log(n, QStringLiteral("청소"));
            board_.LabelClean(n);
            setState(n, States::Clean);
            history(n, QStringLiteral("청소"));
            board_.TimerCountStart(n);
            board_.ButtonColor_Change(n);
            break;
        case CheckOut:
            log(n, QStringLiteral("퇴실"));
            board_.LabelWithOut(n);
            setState(n, States::WithOut);
            history(n, QStringLiteral("퇴실"));
            board_.TimerCountStop(n);
            s.TimeEnd = QString::number(board_.ClockHour) + QLatin1Char(':') +
                        QString::number(board_.ClockMinute);
            board_.timeEndSave(num);
            board_.ButtonColor_Change(n);
            board_.playSound(QStringLiteral("Bell2.Wav"));
            s.OutMark = 0;
            break;
        // The ledger goes first at the end of a stay: it reads `Time`, the
        // label and `Elapsed`, which finishing the room clears.
        case DaSilCancel:
            board_.CashTableCancel_Update(n);
            log(n, QStringLiteral("대실취소"));
            finishRoom(n, QStringLiteral("대실취소"));
            break;
        case Finish:
            board_.CashTableFinish_Update(n);
            log(n, QStringLiteral("완료"));
            finishRoom(n, QStringLiteral("완료"));
            break;
        case SleepCancel:
            board_.CashTableCancel_Update(n);
            log(n, QStringLiteral("완료"));
            finishRoom(n, QStringLiteral("숙박취소"));
            break;
        case RoomChange:
            board_.CashTableChange_Update(n, s.Sleep == 1 ? kSleepWord : kDaSilWord);
            log(n, QStringLiteral("완료"));
            finishRoom(n, QStringLiteral("객실교체"));
            break;
        case DaSil:
            log(n, kDaSilWord);
            board_.LabelDaSil(n);
            setState(n, States::DaSil);
            s.Sleep = 0;
            board_.sleepSave(num);
            history(n, kDaSilWord);
            startStay(n);
            break;
        case Sleep:
            log(n, kSleepWord);
            board_.LabelSleep(n);
            setState(n, States::Sleep);
            s.Sleep = 1;
            board_.sleepSave(num);
            history(n, kSleepWord);
            startStay(n);
            break;
        case ToSleep:
            log(n, QStringLiteral("숙박전환"));
            board_.LabelSleep(n);
            setState(n, States::Sleep);
            s.Sleep = 1;
            board_.setGlyph(n, kMoon);
            board_.sleepSave(num);
            history(n, QStringLiteral("숙박전환"));
            board_.TimerCountAdd(n);
            board_.ButtonColor_Change(n);
            board_.CashTableConvert_Update(n, kSleepWord);
            break;
        case ToDaSil:
            log(n, QStringLiteral("대실전환"));
            board_.LabelDaSil(n);
            s.rStatus = States::DaSil;
            board_.setGlyph(n, kImp);
            board_.roomStatusSave(num);
            s.Sleep = 0;
            board_.sleepSave(num);
            history(n, QStringLiteral("대실전환"));
            board_.TimerCountAdd(n);
            board_.ButtonColor_Change(n);
            board_.CashTableConvert_Update(n, kDaSilWord);
            break;
        default:
            break;  // 취 소, or the popup closed without a choice
    }
}

void DeskActions::stayGoesOn(int n, bool overnight) {
    const QString word = (overnight ? kSleepWord : kDaSilWord) + QStringLiteral("유지");
    log(n, word);
    if (overnight) {
        board_.LabelSleep(n);
        setState(n, States::Sleep);
    } else {
        board_.LabelDaSil(n);
        setState(n, States::DaSil);
    }
    history(n, word);
    board_.TimerCountAdd(n);
    board_.ButtonColor_Change(n);
    board_.playSound(QStringLiteral("Bell.Wav"));
    board_.slot(n).OutMark = 0;
}

void DeskActions::startStay(int n) {
    board_.TimerCountStart(n);
    board_.slot(n).Time = TimeText(board_.now());
    board_.timeSave(QString::number(n));
    board_.ButtonColor_Change(n);
    board_.CashTable_Insert(n);
    board_.playSound(QStringLiteral("bell.wav"));
}

void DeskActions::finishRoom(int n, const QString& historyWord) {
    RoomSlot& s = board_.slot(n);
    const QString num = QString::number(n);
    board_.LabelFinish(n);
    setState(n, States::Finish);
    s.Sleep = 0;
    board_.sleepSave(num);
    board_.setGlyph(n, kImp);
    history(n, historyWord);
    board_.TimerCountFullStop(n);
    s.Time.clear();
    board_.timeSave(num);
    board_.editView(n).elapsedFontColor = Colors::White;
    board_.viewChanged(n);
    board_.ButtonColor_Change(n);
    s.Alram.clear();
    board_.alramSave(static_cast<quint8>(n));
    board_.editView(n).startColor = Colors::Black;
    board_.viewChanged(n);
}

// ---- the stay kind button ----------------------------------------------

void DeskActions::Clickk(int n) {
    guarded(board_, [&] {
        RoomSlot& s = board_.slot(n);
        const QString label = board_.view(n).labelCaption;
        const bool toOvernight = s.Sleep != 1;
        board_.setGlyph(n, toOvernight ? kMoon : kImp);
        s.Sleep = toOvernight ? 1 : 0;
        board_.sleepSave(QString::number(n));
        if (label == States::Finish) {
            if (toOvernight)
                board_.LabelFinish2(n);
            else
                board_.LabelFinish(n);
            return;
        }
        // A running stay shown by its kind changes its label with the kind.
        // A room being cleaned or left keeps its label, and its stored state
        // goes on mirroring the label, so a restart shows what the board showed.
        if (toOvernight && label == States::DaSil) {
            board_.LabelSleep(n);
            setState(n, States::Sleep);
        } else if (!toOvernight && label == States::Sleep) {
            board_.LabelDaSil(n);
            setState(n, States::DaSil);
        }
        convertStay(n, toOvernight);
    });
}

void DeskActions::convertStay(int n, bool overnight) {
    const QString kind = overnight ? kSleepWord : kDaSilWord;
    board_.CashTableConvert_Update(n, kind);
    log(n, kind + QStringLiteral("전환"));
    history(n, kind + QStringLiteral("전환"));
}

// ---- the room number button --------------------------------------------

void DeskActions::BitBtnk(int n) {
    guarded(board_, [&] {
        const QString room = board_.view(n).buttonCaption;
        shared_.SelRoomName = room;
        shared_.SelSlot = n;
        openHistory(room);
        shared_.RoomSetupState = room == kNoRoom ? 0 : 1;
        windows_.runRoomSetup(db_.QueryRoom());

        if (shared_.RoomSetupState == 2) {
            resetRoom(n);
            return;
        }
        const QString num = QString::number(n);
        RoomSlot& s = board_.slot(n);
        if (shared_.NewRoomName.size() == 3) {
            board_.editView(n).buttonCaption = shared_.NewRoomName;
            s.Name = shared_.NewRoomName;
            board_.editView(n).kindVisible = true;
            board_.viewChanged(n);
            board_.nameSave(num);
            s.RoomKey = static_cast<quint16>(shared_.NewRoomKey);
            board_.roomKeySave(num);
        }
        if (shared_.FeesSaved) board_.moneySave(num);
    });
}

void DeskActions::openHistory(const QString& room) {
    Query& q = db_.QueryRoom();
    q.Close();
    q.addSQL(QStringLiteral(R"(Select * From "Room.db")"));
    q.addSQL(QStringLiteral("Where RoomNum = :N1"));
    q.addSQL(room != kNoRoom ? QStringLiteral("ORDER By RoomNum ASC, SDate DESC, STime DESC")
                             : QStringLiteral("Order By SDate, STime ASC"));
    q.bind(QStringLiteral("N1"), room);
    q.Open();
}

void DeskActions::resetRoom(int n) {
    RoomSlot& s = board_.slot(n);
    const QString num = QString::number(n);

    board_.editView(n).buttonCaption = kNoRoom;
    board_.viewChanged(n);
    board_.LabelFinish(n);
    board_.setGlyph(n, kImp);
    SlotView& v = board_.editView(n);
    v.kindVisible = false;
    v.startText.clear();
    v.startColor = Colors::Black;
    v.elapsedText.clear();
    board_.viewChanged(n);

    s.Name = num;
    s.rStatus.clear();
    s.Time.clear();
    s.TimeEnd.clear();
    s.LastEvent.clear();
    s.Alram.clear();
    s.ClockOn = 0;
    s.ShowElapsed = 0;
    s.Elapsed = 0;
    s.ElapsedHour = 0;
    s.ElapsedMinute = 0;
    s.DoorStatus = 0;
    s.RoomKey = 0;
    s.MoneyRd = 0;
    s.MoneyRs = 0;
    s.Sleep = 0;
    s.OutMark = 0;

    board_.nameSave(num);
    board_.roomStatusSave(num);
    board_.sleepSave(num);
    // The door picture and the memo's hint stay on the panel until the next
    // start; the file forgets them now.
    IniStore& ini = board_.ini();
    const QString key = QStringLiteral("r") + num;
    ini.WriteString(QStringLiteral("RoomKey"), key, QString());
    ini.WriteString(QStringLiteral("TimeEnd"), key, QString());
    ini.WriteString(QStringLiteral("Money"), QStringLiteral("rd") + num, QString());
    ini.WriteString(QStringLiteral("Money"), QStringLiteral("rs") + num, QString());
    ini.WriteString(QStringLiteral("Time"), key, QString());
    ini.WriteString(QStringLiteral("DoorStatus"), key, QString());
    ini.WriteString(QStringLiteral("Alram"), key, QString());
    ini.WriteString(QStringLiteral("Memo"), key, QString());
}
