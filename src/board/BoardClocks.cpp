// The board's clocks: the one-second tick (date, time, highlight fade), the
// minute tick (purges, counts, stay clocks, morning calls) and the clock of
// every stay.
#include <algorithm>
#include <array>
#include <optional>

#include "board/BoardModel.h"
#include "board/StayTime.h"
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

void BoardModel::startClock(int n) { startClockShowing(n, clockText()); }

void BoardModel::startFinishedClock(int n) { startClockShowing(n, QString()); }

void BoardModel::startClockShowing(int n, const QString& startText) {
    RoomSlot& s = slot(n);
    SlotView& v = editView(n);
    s.clockStart = minuteOf(now());
    s.elapsed = 0;
    s.clockRunning = 1;
    s.showElapsed = 1;
    v.startText = startText;
    v.elapsedText = QStringLiteral("0:0");
    v.elapsedFontColor = Colors::White;
    viewChanged(n);
}

void BoardModel::showCheckoutTime(int n) {
    SlotView& v = editView(n);
    v.elapsedText = clockText();
    // A time of day, not a long stay.
    v.elapsedFontColor = Colors::White;
    slot(n).showElapsed = 0;
    viewChanged(n);
}

void BoardModel::showElapsedTime(int n) {
    RoomSlot& s = slot(n);
    s.showElapsed = 1;
    if (s.clockRunning != 1) return;
    s.elapsed = static_cast<qint32>(std::max<qint64>(0, minutesBetween(s.clockStart, now())));
    paintElapsed(n);
}

void BoardModel::paintElapsed(int n) {
    RoomSlot& s = slot(n);
    SlotView& v = editView(n);
    s.elapsedHours = s.elapsed / 60;
    s.elapsedMinutes = s.elapsed % 60;
    v.elapsedFontColor = s.elapsed > 180 ? Colors::Lime : Colors::White;
    v.elapsedText = hourMinute(s.elapsedHours, s.elapsedMinutes);
    viewChanged(n);
}

void BoardModel::rebuildStayClocks() {
    const QDateTime t = now();
    for (int n = 1; n <= kSlots; ++n) {
        RoomSlot& s = slot(n);
        const bool finished = s.state == RoomState::Finished;
        // A file written before the board kept its clocks: a stay's clock
        // counts from the stay's start, a finished room's is off.
        if (!s.clockStart.isValid() && !finished && !s.stayStart.isEmpty()) {
            s.clockStart = s.stayStart.moment();
            // A stay whose start is damaged counts from now rather than
            // from a nonsense figure.
            if (!s.clockStart.isValid()) s.clockStart = minuteOf(t);
        }
        if (!s.clockStart.isValid()) {
            s.clockRunning = 0;
            continue;
        }
        SlotView& v = editView(n);
        s.clockRunning = 1;
        // After a check-out the box shows its time until the guest is back
        // or the room is cleaned, also while the guest is out.
        const bool showsCheckout = s.state == RoomState::CheckedOut ||
                                   s.state == RoomState::GuestOut ||
                                   (s.state == RoomState::Cleaning && s.guestOut);
        s.showElapsed = showsCheckout ? 0 : 1;
        s.elapsed = static_cast<qint32>(std::max<qint64>(0, minutesBetween(s.clockStart, t)));
        // A restored start shows its leading zeros (09:05).
        if (!finished) v.startText = s.clockStart.toString(QStringLiteral("HH:mm"));
        if (showsCheckout) v.elapsedText = s.checkoutTime;
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
    const QDateTime t = now();
    for (int n = 1; n <= kSlots; ++n) {
        RoomSlot& s = slot(n);
        if (s.clockRunning != 1) continue;
        s.elapsed = static_cast<qint32>(std::max<qint64>(0, minutesBetween(s.clockStart, t)));
        if (s.showElapsed == 1) paintElapsed(n);
    }
    ringMorningCalls(nowMinute);
    publish();
}

void BoardModel::ringMorningCalls(const QString& nowMinute) {
    // The calls that sound in one tick reach the file together.
    std::optional<Step> step;
    for (int n = 1; n <= kSlots; ++n) {
        const RoomSlot& s = slot(n);
        if (s.morningCall.isEmpty() || s.morningCallRung || s.morningCall > nowMinute) continue;
        if (!step) step.emplace(*this);
        ringMorningCall(n);
    }
}

void BoardModel::ringMorningCall(int n) {
    slot(n).morningCallRung = true;
    ctx_.sound.play(ctx_.assets.path(QStringLiteral("Alram.wav")));
    editView(n).startColor = Colors::Orange;
    viewChanged(n);
    saveMorningCallDone(n);
}

void BoardModel::logEvent(const QString& word, const QString& room) {
    log_.logEvent(word, room);
    emit logChanged();
}
