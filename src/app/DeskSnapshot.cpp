#include "app/DeskSnapshot.h"

#include "board/BoardModel.h"
#include "board/States.h"

namespace {

RoomState stateOf(const QString& label) {
    if (label == States::DayUse) return RoomState::DayUse;
    if (label == States::Overnight) return RoomState::Overnight;
    if (label == States::Cleaning) return RoomState::Cleaning;
    if (label == States::Vacated) return RoomState::Vacated;
    if (label == States::GuestOut) return RoomState::GuestOut;
    return RoomState::Ready;
}

}  // namespace

BoardSnapshotPtr takeDeskSnapshot(const BoardModel& board, quint64 sequence,
                                  const ControllerStatus& controller) {
    auto s = std::make_shared<BoardSnapshot>();
    s->sequence = sequence;
    s->takenAt = QDateTime::currentDateTime();
    s->businessName = board.left().businessName;
    for (int n = 1; n <= BoardModel::kSlots; ++n) {
        const SlotView& view = board.view(n);
        if (!view.visible) continue;
        const RoomSlot& slot = board.slot(n);
        BoardSnapshot::Room room;
        room.slot = n;
        room.number = view.buttonCaption;
        room.state = stateOf(view.labelCaption);
        room.kind = slot.overnight ? StayKind::Overnight : StayKind::DayUse;
        room.doorOpen = slot.doorOpen != 0;
        if (slot.clockRunning || !slot.stayStart.isEmpty())
            room.stayStart =
                QDateTime::fromString(slot.stayStart.left(12), QStringLiteral("yyyyMMddHHmm"));
        room.elapsedMinutes = room.stayStart.isValid() ? slot.elapsed : 0;
        room.checkoutTime = slot.checkoutTime;
        room.morningCall = slot.morningCall;
        room.labelColor = view.labelColor;
        room.labelFontColor = view.labelFontColor;
        s->rooms.push_back(room);
    }
    const QStringList& lines = board.eventLog().lines();
    for (qsizetype i = std::max<qsizetype>(0, lines.size() - 50); i < lines.size(); ++i) {
        const auto color = EventLog::lineColor(lines[i]);
        s->logTail.push_back({lines[i], color && *color ? **color : Colors::Black});
    }
    s->controllerConnected = controller.connected;
    s->controllerPort = board.portName;
    s->lastControllerReport = controller.lastReport;
    s->storageWarning = board.storageWarning();
    s->notice = board.notice();
    return s;
}
