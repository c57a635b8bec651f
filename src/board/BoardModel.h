#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>
#include <bitset>
#include <functional>
#include <memory>
#include <vector>

#include "board/EventLog.h"
#include "board/RoomSlot.h"
#include "board/SharedValues.h"
#include "board/SlotView.h"

class Assets;
class HistoryLedger;
class Clock;
class Dialogs;
class IniStore;
class Lockdown;
class SoundPlayer;

// The outside parts the board talks to. Every one is an interface, so tests
// hand in fixed clocks, recorded sounds and scripted dialogs.
struct BoardContext {
    Clock& clock;
    SoundPlayer& sound;
    Dialogs& dialogs;
    Lockdown& lockdown;
    Assets& assets;
    SharedValues& shared;
};

// Start-up steps that belong to other parts of the program (timers, database
// location, serial port, the window). Each is optional; an unset step does
// nothing.
struct BoardSeams {
    std::function<void()> startSecondTimer;
    std::function<bool()> dbAliasCheck;
    std::function<void(const QString& portName)> openPort;
    std::function<void()> showBorderlessMaximised;
    std::function<void()> startMinuteTimer;
};

// The texts of the board's left column.
struct LeftColumn {
    QString businessName;
    QString date;
    QString time;
    QString dasilCount = QStringLiteral("대실:00");
    QString sleepCount = QStringLiteral("숙박:00");
};

// The board: the 72 room slots, what each panel shows, the left column, and
// every rule that changes them. Windows observe it; no widget code here.
class BoardModel : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlots = 72;
    static constexpr const char* kIniName = "TavolenConfig.ini";

    explicit BoardModel(BoardContext context, QObject* parent = nullptr);
    ~BoardModel() override;

    // The start-up sequence; every step runs even when an earlier one failed,
    // and each failure is shown in the error box.
    void FormCreate(const QString& dataDir, const BoardSeams& seams = {});

    RoomSlot& slot(int n) { return slots_.at(index(n)); }
    const RoomSlot& slot(int n) const { return slots_.at(index(n)); }
    const SlotView& view(int n) const { return views_.at(index(n)); }
    const LeftColumn& left() const { return left_; }
    IniStore& ini();
    bool hasIni() const { return ini_ != nullptr; }
    BoardContext& context() { return ctx_; }
    QDateTime now() const;

    // Board values.
    QString ExeDir;
    QString PortName;
    quint16 ClockHour = 0;
    quint16 ClockMinute = 0;
    QString HotSlot;
    QString PrevHotSlot;
    quint8 HotTicks = 0;
    qint32 SaveMonth = 0;
    qint32 RestCnt = 0;
    qint32 SleepCnt = 0;

    // Label looks; each sets the state label and picture of slot n.
    void LabelFinish(int n);
    void LabelFinish2(int n);
    void LabelDaSil(int n);
    void LabelSleep(int n);
    void LabelClean(int n);
    void LabelWithOut(int n);
    void LabelWithOut2(int n);
    void ButtonColor_Change(int n);
    // The stay kind button's picture (imp.bmp or moon.bmp).
    void setGlyph(int n, const QString& picture);
    void Dasil_Sleep_Count();

    // Savers: each writes one slot value to the INI file, reading it from
    // the slot at the moment of the call.
    void doorStatusSave(const QString& n);
    void roomKeySave(const QString& n);
    void roomStatusSave(const QString& n);
    void nameSave(const QString& n);
    void sleepSave(const QString& n);
    void timeEndSave(const QString& n);
    void timeSave(const QString& n);
    void moneySave(const QString& n);
    void alramSave(quint8 n);
    void memoSave(quint8 n);

    // Restores every slot from the INI file.
    void slotsLoad();
    // Gives every slot the look of its restored values.
    void paintSlots();
    void paintSlot(int n, const QString& nowMinute);

    // Panel changes for the other parts of the board; each notifies the window.
    SlotView& editView(int n);
    void viewChanged(int n);
    void setBusinessName(const QString& name);
    void setClockTexts(const QString& date, const QString& time);

    bool isRestored(int n) const { return restored_.test(index(n)); }

    // Stay clocks and the board clock.
    void TimerCountStart(int n);
    void TimerCountStop(int n);
    void TimerCountAdd(int n);
    void TimerCountFullStop(int n);
    void TimerCountFormCreate();
    void Timer1Timer();
    void Timer3Timer();
    // The tables' purges, run first in every minute tick; they report their
    // own failures.
    std::function<void()> purgeTables;
    static QString weekdayName(int dayOfWeek);

    // The room history and the cash ledger of a slot's room and stay; each
    // reports its own database failure and returns.
    void setRecords(HistoryLedger* records) { records_ = records; }
    void RoomTable_Insert(int n, const QString& action, const QString& comm);
    void CashTable_Insert(int n);
    void CashTableFinish_Update(int n);
    void CashTableConvert_Update(int n, const QString& kind);
    void CashTableCancel_Update(int n);
    void CashTableChange_Update(int n, const QString& kind);

    // A block of bytes from the room controller: pairs of key code and
    // event code. Blocks are applied whole and in the order they came, also
    // when one arrives while another is being handled.
    void Comm321ReceiveData(const QByteArray& block);
    // Plays a wave file of the data directory.
    void playSound(const QString& wave);

    // The event log and the last-event labels.
    void LbstCaption(const QString& word, const QString& room);
    const EventLog& eventLog() const { return log_; }
    void selectLogLine(int index) { log_.select(index); }

    void ShowError(const QString& text);
    void ShowInfo(const QString& text);
    bool AskYesNo(const QString& text);

signals:
    void slotChanged(int n);
    void leftChanged();
    void logChanged();

private:
    static std::size_t index(int n);
    int slotOf(const QString& n) const;
    void runStep(const std::function<void()>& step);
    void setLabel(int n, const QString& caption, WinColor font, WinColor back);
    void setStatePicture(int n, const QString& picture);
    void handleBlock(const QByteArray& block);
    void handlePair(quint8 key, quint8 code);
    bool applyEvent(int n, quint8 code);
    void highlight(int n);
    void unhighlight(const QString& slotText);
    void navy(int n);

    BoardContext ctx_;
    std::unique_ptr<IniStore> ini_;
    std::array<RoomSlot, kSlots> slots_{};
    std::array<SlotView, kSlots> views_{};
    std::bitset<kSlots> restored_;
    LeftColumn left_;
    EventLog log_;
    HistoryLedger* records_ = nullptr;
    std::vector<QByteArray> pendingBlocks_;
    bool handlingBlocks_ = false;
};
