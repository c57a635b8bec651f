#include "board/ClerkActions.h"

#include "board/BoardModel.h"
#include "platform/Errors.h"
#include "store/Database.h"
#include "store/Query.h"

namespace {

template <typename Action>
void guarded(BoardModel& board, Action&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        board.showError(errorText(e));
    }
}
}  // namespace

ClerkActions::ClerkActions(BoardModel& board, Database& db, RoomModalWindows& windows)
    : board_(board), db_(db), windows_(windows) {}

// ---- the state label ---------------------------------------------------

void ClerkActions::onStateLabelClicked(int n) {
    guarded(board_, [&] {
        const RoomSlot& s = board_.slot(n);
        if (!s.hasRoom()) return;
        const QString room = s.roomCaption();
        const RoomOffer offer = offeredActions(s.state, s.kind);
        const std::optional<RoomAction> action = windows_.runPopup(offer, room);
        if (!action) return;
        // Reports and ticks ran while the popup was open. A choice made for a
        // state the room no longer has (a stay the controller started, a
        // check-out it reported) would open a second ledger row or close the
        // stay wrongly: the clerk chooses again from what the board shows now.
        const RoomSlot& now = board_.slot(n);
        if (now.roomCaption() != room || offeredActions(now.state, now.kind) != offer) {
            board_.showInfo(QStringLiteral("%1호의 상태가 바뀌어 선택하신 작업을 하지 않았습니다. "
                                           "다시 선택하여 주십시오")
                                .arg(room));
            return;
        }
        // The action is one step on disk, written when it ends, also when it
        // ends early; the popup is outside it, so that the reports taken
        // meanwhile are written at once.
        const BoardModel::Step step(board_);
        board_.changeRoom(n, actionChange(*action), ChangeSource::Popup,
                          actionKind(*action, now.kind));
    });
}

// ---- the stay kind button ----------------------------------------------

void ClerkActions::toggleStayKind(int n) {
    guarded(board_, [&] {
        const BoardModel::Step step(board_);
        RoomSlot& s = board_.slot(n);
        const StayKind other =
            s.kind == StayKind::Overnight ? StayKind::DayUse : StayKind::Overnight;
        if (s.state != RoomState::Finished) {
            board_.changeRoom(n, RoomChange::Convert, ChangeSource::KindButton, other);
            return;
        }
        // A finished room only learns the kind of its next stay.
        s.kind = other;
        board_.saveStayKind(n);
        board_.showState(n);
    });
}

// ---- the room number button --------------------------------------------

void ClerkActions::onRoomButtonClicked(int n) {
    guarded(board_, [&] {
        const QString room = board_.slot(n).roomCaption();
        openHistory(room);
        const RoomSetupResult result = windows_.runRoomSetup(n, room, db_.historyQuery());
        const BoardModel::Step step(board_);

        if (result.resetRequested) {
            board_.recordAction(audit::Action::RoomSetupSaved, {{QStringLiteral("reset"), room}});
            resetRoom(n);
            return;
        }
        RoomSlot& s = board_.slot(n);
        // The trail keeps each value the setup changed, old and new.
        const QString num = QString::number(n);
        QList<IniStore::Change> changes;
        if (RoomSlot::isNewRoomNumber(result.newRoomName))
            changes += {{QStringLiteral("Name"), QStringLiteral("LName") + num, result.newRoomName},
                        {QStringLiteral("RoomKey"), QStringLiteral("r") + num,
                         QString::number(result.newKeyCode)}};
        if (result.feesSaved)
            changes += {{QStringLiteral("Money"), QStringLiteral("rs") + num,
                         QString::number(s.overnightFee)},
                        {QStringLiteral("Money"), QStringLiteral("rd") + num,
                         QString::number(s.dayUseFee)}};
        const QStringList before = board_.storedValues(changes);
        if (RoomSlot::isNewRoomNumber(result.newRoomName)) {
            const QString oldRoom = s.roomCaption();
            s.roomName = result.newRoomName;
            board_.showRoomNumber(n);
            board_.saveRoomName(n);
            s.keyCode = static_cast<quint16>(result.newKeyCode);
            board_.saveKeyCode(n);
            // The running stay's row is found by the room's number: it takes
            // the new one, or its end would never find it.
            if (!s.stayStart.isEmpty()) board_.renumberLedgerRow(n, oldRoom);
        }
        if (result.feesSaved) board_.saveFees(n);
        board_.recordSettings(audit::Action::RoomSetupSaved, changes, before);
    });
}

void ClerkActions::openHistory(const QString& room) {
    Query& q = db_.historyQuery();
    q.clear();
    q.addLine(QStringLiteral(R"(Select * From "Room.db")"));
    q.addLine(QStringLiteral("Where RoomNum = :N1"));
    q.addLine(room != RoomSlot::noRoomCaption()
                  ? QStringLiteral("ORDER By RoomNum ASC, SDate DESC, STime DESC")
                  : QStringLiteral("Order By SDate, STime ASC"));
    q.bind(QStringLiteral("N1"), room);
    q.open();
}

void ClerkActions::resetRoom(int n) {
    RoomSlot& s = board_.slot(n);
    const QString num = QString::number(n);

    // Everything of the room goes but its panel.
    const quint8 hasPanel = s.hasPanel;
    s = RoomSlot{};
    s.roomName = num;
    s.hasPanel = hasPanel;

    board_.showRoomNumber(n);
    board_.showState(n);
    // The panel shows what the file keeps, as it will after a restart.
    SlotView& v = board_.editView(n);
    v.startText.clear();
    v.startColor = Colors::Black;
    v.elapsedText.clear();
    v.elapsedFontColor = Colors::White;
    v.doorImage.clear();
    v.hint.clear();
    v.buttonFontColor = SlotView{}.buttonFontColor;
    board_.viewChanged(n);

    // The file forgets the room's state label (a finished room with no label).
    const QString key = QStringLiteral("r") + num;
    board_.saveRoomName(n);
    board_.storeValue(QStringLiteral("rStatus"), key, QString());
    board_.saveStayKind(n);
    board_.storeValue(QStringLiteral("RoomKey"), key, QString());
    board_.storeValue(QStringLiteral("TimeEnd"), key, QString());
    board_.storeValue(QStringLiteral("Money"), QStringLiteral("rd") + num, QString());
    board_.storeValue(QStringLiteral("Money"), QStringLiteral("rs") + num, QString());
    board_.storeValue(QStringLiteral("Time"), key, QString());
    board_.storeValue(QStringLiteral("DoorStatus"), key, QString());
    board_.storeValue(QStringLiteral("Alram"), key, QString());
    board_.storeValue(QStringLiteral("Memo"), key, QString());
    board_.forgetOwnKeys(n);
}
