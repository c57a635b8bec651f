// The board's clocks: the one-second tick (date, time, highlight fade), the
// minute tick (purges, counts, stay clocks, morning calls) and the clock of
// every stay.
#include <array>

#include "board/BoardModel.h"
#include "board/MinuteStamp.h"
#include "platform/Assets.h"
#include "platform/SoundPlayer.h"

namespace {
QString hourMinute(int hour, int minute) {
    return QString::number(hour) + QLatin1Char(':') + QString::number(minute);
}
}  // namespace

QString BoardModel::clockText() const { return hourMinute(clockHour, clockMinute); }

QString BoardModel::weekdayName(int dayOfWeek) {
    static const std::array<QString, 7> names = {
        QStringLiteral("월"), QStringLiteral("화"), QStringLiteral("수"), QStringLiteral("목"),
        QStringLiteral("금"), QStringLiteral("토"), QStringLiteral("일")};
    return names.at(static_cast<std::size_t>((dayOfWeek + 6) % 7));
}

void BoardModel::startClock(int n) {
    RoomSlot& s = slot(n);
    SlotView& v = editView(n);
    s.elapsed = 0;
    v.startText = clockText();
    v.elapsedText = QStringLiteral("0:0");
    s.clockRunning = 1;
    s.showElapsed = 1;
    viewChanged(n);
}

void BoardModel::showCheckoutTime(int n) {
    editView(n).elapsedText = clockText();
    slot(n).showElapsed = 0;
    viewChanged(n);
}

void BoardModel::showElapsedAtNextTick(int n) { slot(n).showElapsed = 1; }

void BoardModel::startFinishedClock(int n) {
    RoomSlot& s = slot(n);
    SlotView& v = editView(n);
    s.elapsed = 0;
    s.clockRunning = 1;
    s.showElapsed = 1;
    v.startText.clear();
    v.elapsedText = QStringLiteral("0:0");
    viewChanged(n);
}

void BoardModel::rebuildStayClocks() {
    const qint64 nowStamp = MinuteStamp(StampText(now()));
    for (int n = 1; n <= kSlots; ++n) {
        RoomSlot& s = slot(n);
        if (s.stayStart.isEmpty()) continue;
        // A finished room's clock starts again only when the room next changes.
        if (s.state == RoomState::Finished) {
            s.clockRunning = 0;
            continue;
        }

        // A stay whose stored minute count is damaged starts counting from
        // now rather than from a nonsense figure.
        bool ok = false;
        const qint64 start = s.stayStart.mid(12, 9).toLongLong(&ok);
        SlotView& v = editView(n);
        s.clockRunning = 1;
        s.showElapsed = s.state == RoomState::CheckedOut ? 0 : 1;
        s.elapsed = ok ? static_cast<qint32>(nowStamp - start) : 0;
        v.startText = s.stayStart.mid(8, 2) + QLatin1Char(':') + s.stayStart.mid(10, 2);
        if (s.state == RoomState::GuestOut || s.state == RoomState::CheckedOut)
            v.elapsedText = s.checkoutTime;
        viewChanged(n);
    }
}

void BoardModel::onSecondTick() {
    if (highlightTicks != 0) {
        ++highlightTicks;
        if (highlightTicks > 5) {
            previousHighlightedSlot = highlightedSlot;
            unhighlight(highlightedSlot);
            highlightTicks = 0;
        }
    }
    const QDateTime t = now();
    clockHour = static_cast<quint16>(t.time().hour());
    clockMinute = static_cast<quint16>(t.time().minute());
    setClockTexts(t.toString(QStringLiteral("yyyy-MM-dd")) + weekdayName(t.date().dayOfWeek()),
                  t.toString(QStringLiteral("HH:mm:ss")));
}

void BoardModel::onMinuteTick() {
    if (purgeTables) purgeTables();
    recountStays();
    const QString nowMinute = now().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    for (int n = 1; n <= kSlots; ++n) {
        RoomSlot& s = slot(n);
        if (s.clockRunning != 1) continue;
        ++s.elapsed;
        if (s.showElapsed != 1) continue;
        SlotView& v = editView(n);
        s.elapsedHours = s.elapsed / 60;
        s.elapsedMinutes = s.elapsed % 60;
        v.elapsedFontColor = s.elapsed > 180 ? Colors::Lime : Colors::White;
        v.elapsedText = hourMinute(s.elapsedHours, s.elapsedMinutes);
        viewChanged(n);
    }
    ringMorningCalls(nowMinute);
    publish();
}

void BoardModel::ringMorningCalls(const QString& nowMinute) {
    for (int n = 1; n <= kSlots; ++n) {
        RoomSlot& s = slot(n);
        if (s.morningCall.isEmpty() || s.morningCallRung || s.morningCall > nowMinute) continue;
        s.morningCallRung = true;
        ctx_.sound.play(ctx_.assets.path(QStringLiteral("Alram.wav")));
        editView(n).startColor = Colors::Orange;
        viewChanged(n);
    }
}

void BoardModel::logEvent(const QString& word, const QString& room) {
    log_.logEvent(word, room);
    emit logChanged();
}
