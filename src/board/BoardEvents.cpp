// Reports of the room-key and door controller.
#include "board/BoardModel.h"
#include "board/MinuteStamp.h"
#include "board/States.h"
#include "platform/Assets.h"
#include "platform/Errors.h"
#include "platform/SoundPlayer.h"

namespace {
const QString kController = QStringLiteral("1");
}

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
    if (key < 128) return;
    int n = 0;
    for (int candidate = kSlots; candidate >= 1; --candidate) {
        if (slot(candidate).keyCode == key) {
            n = candidate;
            break;
        }
    }
    if (n == 0) return;
    const QString last = view(n).buttonCaption + QString::number(code);
    if (slot(n).lastEvent == last) return;
    if (!applyEvent(n, code)) return;
    highlight(n);
}

void BoardModel::navy(int n) {
    editView(n).buttonFontColor = Colors::Navy;
    viewChanged(n);
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

// Applies event `code` to slot n; false when the event is ignored.
bool BoardModel::applyEvent(int n, quint8 code) {
    RoomSlot& s = slot(n);
    const QString num = QString::number(n);
    const QString caption = view(n).buttonCaption;
    const QString label = view(n).labelCaption;
    const auto logWord = [&](const QString& word) { logEvent(word, caption); };

    switch (code) {
        case 1:
            logWord(QStringLiteral("문열림"));
            ctx_.assets.picture(QStringLiteral("door.bmp"));
            editView(n).doorImage = QStringLiteral("door.bmp");
            viewChanged(n);
            s.lastEvent = caption + QStringLiteral("1");
            addHistory(n, QStringLiteral("문열림"), kController);
            s.doorOpen = 1;
            saveDoor(num);
            playSound(QStringLiteral("DoorO.Wav"));
            return true;
        case 2:
            logWord(QStringLiteral("문닫힘"));
            editView(n).doorImage.clear();
            viewChanged(n);
            s.lastEvent = caption + QStringLiteral("2");
            addHistory(n, QStringLiteral("문닫힘"), kController);
            s.doorOpen = 0;
            saveDoor(num);
            return true;
        case 3: {
            s.longStayMarked = 0;
            const bool overnight = s.overnight == 1;
            const QString word = overnight ? QStringLiteral("숙박") : QStringLiteral("대실");
            if (label == States::Ready) {
                addHistory(n, word, kController);
                logWord(word);
                startStayClock(n);
                s.stayStart = TimeText(now());
                saveStayStart(num);
                openLedgerRow(n);
            } else {
                const QString goesOn = word + QStringLiteral("유지");
                addHistory(n, goesOn, kController);
                logWord(goesOn);
                advanceStayClock(n);
            }
            if (overnight) {
                showOvernight(n);
                s.state = States::Overnight;
            } else {
                showDayUse(n);
                s.state = States::DayUse;
            }
            navy(n);
            s.lastEvent = caption + QStringLiteral("3");
            playSound(QStringLiteral("bell.wav"));
            saveState(num);
            return true;
        }
        case 4:
            if (label == States::Ready) return false;
            logWord(QStringLiteral("퇴실"));
            showVacated(n);
            s.lastEvent = caption + QStringLiteral("4");
            s.state = States::Vacated;
            saveState(num);
            addHistory(n, QStringLiteral("퇴실"), kController);
            stopStayClock(n);
            s.checkoutTime =
                QString::number(clockHour) + QLatin1Char(':') + QString::number(clockMinute);
            saveCheckoutTime(num);
            navy(n);
            playSound(QStringLiteral("Bell2.Wav"));
            return true;
        case 5:
            s.lastEvent = caption + QStringLiteral("5");
            logWord(QStringLiteral("청소"));
            showCleaning(n);
            s.state = States::Cleaning;
            saveState(num);
            addHistory(n, QStringLiteral("청소"), kController);
            navy(n);
            if (s.longStayMarked == 0) startStayClock(n);
            return true;
        case 6:
            s.lastEvent = caption + QStringLiteral("6");
            if (label == States::DayUse || label == States::Overnight) return false;
            if (s.longStayMarked == 1) {
                logWord(QStringLiteral("외출"));
                showGuestOut(n);
                s.state = States::GuestOut;
                saveState(num);
                addHistory(n, QStringLiteral("외출"), QStringLiteral("0"));
                navy(n);
                return true;
            }
            s.state = States::Ready;
            logWord(QStringLiteral("완료"));
            showReady(n);
            saveState(num);
            s.overnight = 0;
            saveStayKind(num);
            addHistory(n, QStringLiteral("완료"), kController);
            closeLedgerRow(n);
            setStayKindPicture(n, QStringLiteral("imp.bmp"));
            clearStayClock(n);
            s.stayStart.clear();
            saveStayStart(num);
            s.morningCall.clear();
            saveMorningCall(static_cast<quint8>(n));
            navy(n);
            editView(n).elapsedFontColor = Colors::White;
            editView(n).startColor = Colors::Black;
            viewChanged(n);
            return true;
        default:
            return true;  // an unknown event only highlights the room
    }
}
