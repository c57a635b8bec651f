// The board's clocks: the one-second tick (date, time, highlight fade), the
// minute tick (purges, counts, stay clocks, morning calls) and the clock of
// every stay.
#include <array>

#include "board/BoardModel.h"
#include "board/MinuteStamp.h"
#include "board/States.h"
#include "platform/Assets.h"
#include "platform/SoundPlayer.h"

namespace {
QString hourMinute(int hour, int minute) {
    return QString::number(hour) + QLatin1Char(':') + QString::number(minute);
}
}  // namespace

QString BoardModel::weekdayName(int dayOfWeek) {
    static const std::array<QString, 7> names = {
        QStringLiteral("월"), QStringLiteral("화"), QStringLiteral("수"), QStringLiteral("목"),
        QStringLiteral("금"), QStringLiteral("토"), QStringLiteral("일")};
    return names.at(static_cast<std::size_t>((dayOfWeek + 6) % 7));
}

void BoardModel::TimerCountStart(int n) {
    RoomSlot& s = slot(n);
    SlotView& v = editView(n);
    s.Elapsed = 0;
    v.startText = hourMinute(ClockHour, ClockMinute);
    v.elapsedText = QStringLiteral("0:0");
    s.ClockOn = 1;
    s.ShowElapsed = 1;
    viewChanged(n);
}

void BoardModel::TimerCountStop(int n) {
    editView(n).elapsedText = hourMinute(ClockHour, ClockMinute);
    slot(n).ShowElapsed = 0;
    viewChanged(n);
}

void BoardModel::TimerCountAdd(int n) { slot(n).ShowElapsed = 1; }

void BoardModel::TimerCountFullStop(int n) {
    RoomSlot& s = slot(n);
    SlotView& v = editView(n);
    s.Elapsed = 0;
    s.ClockOn = 1;
    s.ShowElapsed = 1;
    v.startText.clear();
    v.elapsedText = QStringLiteral("0:0");
    viewChanged(n);
}

void BoardModel::TimerCountFormCreate() {
    const qint64 nowStamp = MinuteStamp(StampText(now()));
    for (int n = 1; n <= kSlots; ++n) {
        RoomSlot& s = slot(n);
        if (s.Time.isEmpty()) continue;
        const QString& st = s.rStatus;
        const bool counted = st == States::DaSil || st == States::Sleep || st == States::Clean ||
                             st == States::WithOut2 || st == States::WithOut;
        if (st == States::Finish) s.ClockOn = 0;
        if (!counted) continue;

        // A stay whose stored minute count is damaged starts counting from
        // now rather than from a nonsense figure.
        bool ok = false;
        const qint64 start = s.Time.mid(12, 9).toLongLong(&ok);
        SlotView& v = editView(n);
        s.ClockOn = 1;
        s.ShowElapsed = st == States::WithOut ? 0 : 1;
        s.Elapsed = ok ? static_cast<qint32>(nowStamp - start) : 0;
        v.startText = s.Time.mid(8, 2) + QLatin1Char(':') + s.Time.mid(10, 2);
        if (st == States::WithOut2 || st == States::WithOut) v.elapsedText = s.TimeEnd;
        viewChanged(n);
    }
}

void BoardModel::Timer1Timer() {
    if (HotTicks != 0) {
        ++HotTicks;
        if (HotTicks > 5) {
            PrevHotSlot = HotSlot;
            unhighlight(HotSlot);
            HotTicks = 0;
        }
    }
    const QDateTime t = now();
    ClockHour = static_cast<quint16>(t.time().hour());
    ClockMinute = static_cast<quint16>(t.time().minute());
    setClockTexts(t.toString(QStringLiteral("yyyy-MM-dd")) + weekdayName(t.date().dayOfWeek()),
                  t.toString(QStringLiteral("HH:mm:ss")));
}

void BoardModel::Timer3Timer() {
    if (purgeTables) purgeTables();
    Dasil_Sleep_Count();
    const QString nowMinute = now().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    for (int n = 1; n <= kSlots; ++n) {
        RoomSlot& s = slot(n);
        if (s.ClockOn != 1) continue;
        ++s.Elapsed;
        SlotView& v = editView(n);
        bool changed = false;
        if (s.Alram == nowMinute) {
            ctx_.sound.play(ctx_.assets.path(QStringLiteral("Alram.wav")));
            v.startColor = Colors::Orange;
            changed = true;
        }
        if (s.ShowElapsed == 1) {
            s.ElapsedHour = s.Elapsed / 60;
            s.ElapsedMinute = s.Elapsed % 60;
            v.elapsedFontColor = s.Elapsed > 180 ? Colors::Lime : Colors::White;
            v.elapsedText = hourMinute(s.ElapsedHour, s.ElapsedMinute);
            changed = true;
        }
        if (changed) viewChanged(n);
    }
}

void BoardModel::LbstCaption(const QString& word, const QString& room) {
    log_.LbstCaption(word, room);
    emit logChanged();
}
