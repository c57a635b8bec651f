// The room controller's reports: blocks of byte pairs (key code, event code),
// each pair's room found by its key code, a report repeated for the same room
// skipped, door events, the room changes of RoomRules, and the red highlight
// of the room last reported.
#include "board/BoardModel.h"
#include "platform/Assets.h"
#include "platform/Errors.h"
#include "platform/SoundPlayer.h"

void BoardModel::playSound(const QString& wave) { ctx_.sound.play(ctx_.assets.path(wave)); }

void BoardModel::onControllerBlock(const QByteArray& block) {
    pendingBlocks_.push_back(block);
    // A block that comes while another is being handled (a clerk's box runs
    // the event loop) waits for its turn, so that a room's events are always
    // applied in the order they were sent.
    if (handlingBlocks_) return;
    handlingBlocks_ = true;
    while (!pendingBlocks_.empty()) {
        const QByteArray next = std::move(pendingBlocks_.front());
        pendingBlocks_.erase(pendingBlocks_.begin());
        lastReport_ = now();
        // One block is one step on disk. Nothing here waits for a person: a
        // failure is a line on the board and in the log, and the next block
        // goes on.
        const Step step(*this);
        try {
            handleBlock(next);
        } catch (const std::exception& e) {
            notify(errorText(e));
        }
    }
    handlingBlocks_ = false;
}

void BoardModel::handleBlock(const QByteArray& block) {
    // A lone last byte pairs with the zero that follows every block.
    for (qsizetype i = 0; i < block.size(); i += 2) {
        const auto key = static_cast<quint8>(block[i]);
        const auto code = i + 1 < block.size() ? static_cast<quint8>(block[i + 1]) : quint8(0);
        handlePair(key, code);
    }
}

void BoardModel::handlePair(quint8 key, quint8 code) {
    if (key < 128) return;  // not a key code: text or noise on the line
    int n = 0;
    // Of two rooms with the same key, the higher slot is the room.
    for (int candidate = kSlots; candidate >= 1; --candidate) {
        if (slot(candidate).keyCode == key) {
            n = candidate;
            break;
        }
    }
    if (n == 0) return;
    RoomSlot& s = slot(n);
    // The key begins with the room's number, so a renumbered room's next
    // report is new.
    const QString repeatKey = s.roomCaption() + QString::number(code);
    if (s.repeatKey == repeatKey) return;

    switch (static_cast<ControllerEvent>(code)) {
        case ControllerEvent::DoorOpened:
        case ControllerEvent::DoorClosed:
            s.repeatKey = repeatKey;
            saveRepeatKey(n);
            doorChanged(n, code == static_cast<quint8>(ControllerEvent::DoorOpened));
            break;
        case ControllerEvent::Taken:
        case ControllerEvent::CheckOut:
        case ControllerEvent::Cleaning:
        case ControllerEvent::Finish: {
            const std::optional<RoomChange> change = controllerChange(code, s);
            // A finish during a stay is ignored but remembered, so that the
            // same report again is a repeat; a check-out of a finished room is
            // forgotten.
            if (change || code == static_cast<quint8>(ControllerEvent::Finish)) {
                s.repeatKey = repeatKey;
                saveRepeatKey(n);
            }
            if (!change) return;
            changeRoom(n, *change, ChangeSource::Controller, s.kind);
            break;
        }
        default:
            break;  // an unknown event only highlights the room
    }
    highlight(n);
}

void BoardModel::doorChanged(int n, bool open) {
    RoomSlot& s = slot(n);
    const QString word = open ? QStringLiteral("문열림") : QStringLiteral("문닫힘");
    logEvent(word, s.roomCaption());
    if (open) ctx_.assets.picture(QStringLiteral("door.bmp"));
    editView(n).doorImage = open ? QStringLiteral("door.bmp") : QString();
    viewChanged(n);
    addHistory(n, word, sourceRules(ChangeSource::Controller).historyComm);
    s.doorOpen = open ? 1 : 0;
    saveDoor(n);
    if (open) playSound(QStringLiteral("DoorO.Wav"));
}

void BoardModel::highlight(int n) {
    previousHighlightedSlot = highlightedSlot;
    highlightedSlot = QString::number(n);
    highlightTicks = 1;
    editView(n).panelColor = Colors::Red;
    viewChanged(n);
    if (!previousHighlightedSlot.isEmpty() && previousHighlightedSlot != highlightedSlot)
        unhighlight(previousHighlightedSlot);
}

void BoardModel::unhighlight(const QString& slotText) {
    bool ok = false;
    const int n = slotText.toInt(&ok);
    if (!ok || n < 1 || n > kSlots) return;
    editView(n).panelColor = Colors::PanelNormal;
    viewChanged(n);
}
