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

void BoardModel::Comm321ReceiveData(const QByteArray& block) {
    pendingBlocks_.push_back(block);
    // A block that comes while another is being handled (a message box of a
    // failed ledger write runs the event loop) waits for its turn, so that a
    // room's events are always applied in the order they were sent.
    if (handlingBlocks_) return;
    handlingBlocks_ = true;
    while (!pendingBlocks_.empty()) {
        const QByteArray next = std::move(pendingBlocks_.front());
        pendingBlocks_.erase(pendingBlocks_.begin());
        try {
            handleBlock(next);
        } catch (const std::exception& e) {
            ShowError(errorText(e));
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
        if (slot(candidate).RoomKey == key) {
            n = candidate;
            break;
        }
    }
    if (n == 0) return;
    const QString last = view(n).buttonCaption + QString::number(code);
    if (slot(n).LastEvent == last) return;
    if (!applyEvent(n, code)) return;
    highlight(n);
}

void BoardModel::navy(int n) {
    editView(n).buttonFontColor = Colors::Navy;
    viewChanged(n);
}

void BoardModel::highlight(int n) {
    PrevHotSlot = HotSlot;
    HotSlot = QString::number(n);
    HotTicks = 1;
    editView(n).panelColor = Colors::Red;
    viewChanged(n);
    if (!PrevHotSlot.isEmpty() && PrevHotSlot != HotSlot) unhighlight(PrevHotSlot);
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
    const auto logWord = [&](const QString& word) { LbstCaption(word, caption); };

    switch (code) {
        case 1:
            logWord(QStringLiteral("문열림"));
            ctx_.assets.picture(QStringLiteral("door.bmp"));
            editView(n).doorImage = QStringLiteral("door.bmp");
            viewChanged(n);
            s.LastEvent = caption + QStringLiteral("1");
            RoomTable_Insert(n, QStringLiteral("문열림"), kController);
            s.DoorStatus = 1;
            doorStatusSave(num);
            playSound(QStringLiteral("DoorO.Wav"));
            return true;
        case 2:
            logWord(QStringLiteral("문닫힘"));
            editView(n).doorImage.clear();
            viewChanged(n);
            s.LastEvent = caption + QStringLiteral("2");
            RoomTable_Insert(n, QStringLiteral("문닫힘"), kController);
            s.DoorStatus = 0;
            doorStatusSave(num);
            return true;
        case 3: {
            s.OutMark = 0;
            const bool overnight = s.Sleep == 1;
            const QString word = overnight ? QStringLiteral("숙박") : QStringLiteral("대실");
            if (label == States::Finish) {
                RoomTable_Insert(n, word, kController);
                logWord(word);
                TimerCountStart(n);
                s.Time = TimeText(now());
                timeSave(num);
                CashTable_Insert(n);
            } else {
                const QString goesOn = word + QStringLiteral("유지");
                RoomTable_Insert(n, goesOn, kController);
                logWord(goesOn);
                TimerCountAdd(n);
            }
            if (overnight) {
                LabelSleep(n);
                s.rStatus = States::Sleep;
            } else {
                LabelDaSil(n);
                s.rStatus = States::DaSil;
            }
            navy(n);
            s.LastEvent = caption + QStringLiteral("3");
            playSound(QStringLiteral("bell.wav"));
            roomStatusSave(num);
            return true;
        }
        case 4:
            if (label == States::Finish) return false;
            logWord(QStringLiteral("퇴실"));
            LabelWithOut(n);
            s.LastEvent = caption + QStringLiteral("4");
            s.rStatus = States::WithOut;
            roomStatusSave(num);
            RoomTable_Insert(n, QStringLiteral("퇴실"), kController);
            TimerCountStop(n);
            s.TimeEnd = QString::number(ClockHour) + QLatin1Char(':') + QString::number(ClockMinute);
            timeEndSave(num);
            navy(n);
            playSound(QStringLiteral("Bell2.Wav"));
            return true;
        case 5:
            s.LastEvent = caption + QStringLiteral("5");
            logWord(QStringLiteral("청소"));
            LabelClean(n);
            s.rStatus = States::Clean;
            roomStatusSave(num);
            RoomTable_Insert(n, QStringLiteral("청소"), kController);
            navy(n);
            if (s.OutMark == 0) TimerCountStart(n);
            return true;
        case 6:
            s.LastEvent = caption + QStringLiteral("6");
            if (label == States::DaSil || label == States::Sleep) return false;
            if (s.OutMark == 1) {
                logWord(QStringLiteral("외출"));
                LabelWithOut2(n);
                s.rStatus = States::WithOut2;
                roomStatusSave(num);
                RoomTable_Insert(n, QStringLiteral("외출"), QStringLiteral("0"));
                navy(n);
                return true;
            }
            s.rStatus = States::Finish;
            logWord(QStringLiteral("완료"));
            LabelFinish(n);
            roomStatusSave(num);
            s.Sleep = 0;
            sleepSave(num);
            RoomTable_Insert(n, QStringLiteral("완료"), kController);
            CashTableFinish_Update(n);
            setGlyph(n, QStringLiteral("imp.bmp"));
            TimerCountFullStop(n);
            s.Time.clear();
            timeSave(num);
            s.Alram.clear();
            alramSave(static_cast<quint8>(n));
            navy(n);
            editView(n).elapsedFontColor = Colors::White;
            editView(n).startColor = Colors::Black;
            viewChanged(n);
            return true;
        default:
            return true;  // an unknown event only highlights the room
    }
}
