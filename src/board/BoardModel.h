#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <bitset>
#include <functional>
#include <memory>
#include <vector>

#include "audit/AuditTrail.h"
#include "board/BoardSnapshot.h"
#include "board/DeskSession.h"
#include "board/EventLog.h"
#include "board/RoomRules.h"
#include "board/RoomSlot.h"
#include "board/SlotView.h"
#include "store/IniStore.h"
#include "store/StepJournal.h"

class Assets;
class RoomRecords;
class Clock;
class Dialogs;
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
    DeskSession& session;
};

// Start-up steps that belong to other parts of the program (timers, database
// location, serial port, the window). Each is optional; an unset step does
// nothing.
struct BoardSeams {
    std::function<void()> startSecondTimer;
    // Opens the database and records its location; true on the PC's first
    // start (the board then sets the PC up, see setUpFirstStart).
    std::function<bool()> openDatabase;
    std::function<void(const QString& portName)> openPort;
    std::function<void()> showBorderlessMaximised;
    std::function<void()> startMinuteTimer;
};

// The texts of the board's left column.
struct LeftColumn {
    QString businessName;
    QString date;
    QString time;
    QString dayUseCountText = QStringLiteral("대실:00");
    QString overnightCountText = QStringLiteral("숙박:00");
    // The counts the two texts were made from; -1 before the first count.
    int dayUseStays = -1;
    int overnightStays = -1;
};

// The board's own values beside its rooms.
struct BoardValues {
    QString dataDir;
    QString portName;
    quint16 clockHour = 0;
    quint16 clockMinute = 0;
    QString highlightedSlot;
    QString previousHighlightedSlot;
    quint8 highlightTicks = 0;
    qint32 ledgerMonths = 0;
    qint32 storedDayUseCount = 0;
    qint32 storedOvernightCount = 0;
};

// The board: the 72 room slots, what each panel shows, the left column. Its
// parts, one file each:
//   BoardModel.cpp       start-up, the panels' looks (from RoomLook), the
//                        message line, the published snapshots
//   BoardChanges.cpp     carrying out a change of a room (planned by RoomRules)
//   BoardController.cpp  the controller's blocks: pairs, repeat filter, doors,
//                        the highlight
//   BoardClocks.cpp      stay clocks, the second and minute ticks, morning calls
//   BoardRecords.cpp     the room history and the cash ledger rows of a room
//   BoardStorage.cpp     restoring the slots, the savers, the steps on disk
// Windows observe it; no widget code here.
class BoardModel : public QObject, public BoardValues {
    Q_OBJECT
public:
    static constexpr int kSlots = 72;
    static constexpr const char* kIniName = "TavolenConfig.ini";

    explicit BoardModel(BoardContext context, QObject* parent = nullptr);
    ~BoardModel() override;

    // The start-up sequence; every step runs even when an earlier one failed.
    // The failures are shown afterwards on the board's message line, without
    // waiting for anyone, and logged.
    void startUp(const QString& directory, const BoardSeams& seams = {});

    RoomSlot& slot(int n) { return slots_.at(index(n)); }
    const RoomSlot& slot(int n) const { return slots_.at(index(n)); }
    const SlotView& view(int n) const { return views_.at(index(n)); }
    const LeftColumn& left() const { return left_; }
    IniStore& ini();
    bool hasIni() const { return ini_ != nullptr; }
    BoardContext& context() { return ctx_; }
    QDateTime now() const;

    // Gives the panel the look of the room's state and stay kind (label,
    // state picture, stay kind glyph).
    void showState(int n);
    // The room number button's caption, and the stay kind button shown for a slot with a room.
    void showRoomNumber(int n);
    // The room number's colour: who changed the room last.
    void markChanged(int n, ChangeMark mark);
    void recountStays();

    // One change of a room, carried out whoever asks for it (RoomRules
    // plans it): the slot's values, the look, the clock, the file, the
    // history and ledger rows, the log line and the sound. `kind` is the
    // kind asked for by a new stay or a conversion.
    void changeRoom(int n, RoomChange change, ChangeSource source, StayKind kind);

    // Savers: each stores one slot value in the INI file, reading it from
    // the slot at the moment of the call. Inside a step (below) the values
    // are collected and written with the step; outside one, at once.
    void saveDoor(int n);
    void saveKeyCode(int n);
    void saveState(int n);
    void saveRoomName(int n);
    void saveStayKind(int n);
    void saveCheckoutTime(int n);
    void saveStayStart(int n);
    void saveFees(int n);
    void saveMorningCall(int n);
    void saveMemo(int n);
    // The board's own keys (see RoomSlot).
    void saveOutMark(int n);
    void saveRepeatKey(int n);
    void saveChangedBy(int n);
    void saveClockStart(int n);
    // The call has sounded or was shown as missed.
    void saveMorningCallDone(int n);
    // Empties them all, for a room that is set up anew.
    void forgetOwnKeys(int n);
    void storeValue(const QString& section, const QString& key, const QString& value);

    // A step: everything that one controller block or one desk action
    // changes reaches the disk together when the outermost step ends (see
    // StepJournal). A step that cannot be written stays pending: the board
    // keeps its state, shows a standing warning and tries again.
    class Step {
    public:
        explicit Step(BoardModel& board) : board_(board) { ++board_.stepDepth_; }
        ~Step() {
            if (--board_.stepDepth_ == 0) board_.endStep();
        }
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        BoardModel& board_;
    };
    // Writes what is pending now; the retry timer and the tests call it.
    void writeStep();
    // The desk's board paints a step's changes first and writes them right
    // after: the window calls painted() once it has painted, and a step not
    // painted within kPaintWaitMs is written all the same. Without it a step
    // is written as it ends.
    void setWriteAfterPaint(bool on) { writeAfterPaint_ = on; }
    void painted();
    static constexpr int kPaintWaitMs = 100;
    bool writesPending() const { return journal_.hasPending(); }
    // Empty while everything the board shows is on disk.
    const QString& storageWarning() const { return storageWarning_; }
    static constexpr int kRetryMs = 5000;

    // The board's message line: a failure of background work (start-up, the
    // minute tick, a controller block), shown with its time without waiting
    // for anyone and appended to the data directory's log. During start-up
    // the failures are collected and shown together at its end.
    void notify(const QString& text);
    const QString& notice() const { return notice_; }
    // How many messages the line has been given since start, so that a window
    // can tell a repeated message from the one it already shows.
    int noticeCount() const { return noticeCount_; }

    // Restores every slot from the INI file. A stored state the board does
    // not know is reported once on the message line; the room shows ready.
    void restoreSlots();
    // The morning calls found at start-up: each time box takes its call's
    // colour, and a call too late to ring is marked missed, logged and stored.
    void checkMorningCallsAtStart();
    // Gives every slot the look of its restored values.
    void paintSlots();
    void paintSlot(int n);
    // How late a call found at start-up may still ring; older ones are shown
    // as missed (kMissedCall in the log, the time box red).
    static constexpr int kLateCallMinutes = 30;
    static inline const QString kMissedCall = QStringLiteral("모닝콜놓침");

    // Panel changes for the other parts of the board; each notifies the window.
    SlotView& editView(int n);
    void viewChanged(int n);
    void setBusinessName(const QString& name);
    // A room's morning call ("yyyy-mm-dd hh:mm", empty for none) and memo,
    // once the caller has stored them; the time box takes the call's colour
    // against `nowMinute`. A changed call may sound again; one whose minute
    // has come sounds at once.
    void setMorningCall(int n, const QString& call, const QString& nowMinute);
    void setMemo(int n, const QString& memo);
    // The time box's colour for a morning call: none black, later fuchsia,
    // earlier orange; the current minute keeps the colour it has.
    static WinColor morningCallColor(const QString& call, const QString& nowMinute,
                                     WinColor current);
    void setClockTexts(const QString& date, const QString& time);

    bool isRestored(int n) const { return restored_.test(index(n)); }

    // The trail of desk actions (BoardAudit.cpp): a row written with the current step, under
    // the grade signed in.
    void recordAction(audit::Action action, const QJsonObject& detail = {});
    // The stored values `changes` are about to replace; after the change, recordSettings()
    // writes one row per value that changed, with the old and the new value.
    QStringList storedValues(const QList<IniStore::Change>& changes);
    void recordSettings(audit::Action action, const QList<IniStore::Change>& changes,
                        const QStringList& before);

    // Stay clocks and the board clock. A clock counts the minutes of the
    // real calendar from its start to the current minute; the minute tick
    // shows them.
    // The room's clock from zero, the start time shown: a stay's or a cleaning's.
    void startClock(int n);
    // The check-out time shows instead of the elapsed time, which counts on unseen.
    void showCheckoutTime(int n);
    // The elapsed time shows again, at once.
    void showElapsedTime(int n);
    // From zero without a start time: how long the room has been finished.
    void startFinishedClock(int n);
    // Every clock as it ran before the restart, from the stored starts.
    void rebuildStayClocks();
    void onSecondTick();
    void onMinuteTick();
    // Sounds every morning call whose minute has come and that has not
    // sounded yet, however late the tick.
    void ringMorningCalls(const QString& nowMinute);
    void ringMorningCall(int n);
    // The tables' purges, run first in every minute tick; they report their
    // own failures.
    std::function<void()> purgeTables;
    static QString weekdayName(int dayOfWeek);
    // The board's clock as "h:m" without leading zeros (9:5): a stay's start
    // and check-out time.
    QString clockText() const;

    // The room history and the cash ledger rows of a slot's room and stay,
    // found by the room's number and the stay's start; each reports its own
    // database failure and returns. The rows become part of the board's steps.
    void setRecords(RoomRecords* records);
    void addHistory(int n, const QString& action, const QString& comm);
    void openLedgerRow(int n);
    void closeLedgerRow(int n);
    void convertLedgerRow(int n, StayKind kind);
    // `kind` is the kind of the stay cancelled.
    void cancelLedgerRow(int n, StayKind kind);
    void moveLedgerRow(int n, StayKind kind);
    // The running stay's open row, still under `oldRoomCaption`, takes the
    // room's current number.
    void renumberLedgerRow(int n, const QString& oldRoomCaption);

    // A block of bytes from the room controller: pairs of key code and
    // event code. Blocks are applied whole and in the order they came, also
    // when one arrives while another is being handled.
    void onControllerBlock(const QByteArray& block);
    // Plays a wave file of the data directory.
    void playSound(const QString& wave);

    // The event log and the last-event labels.
    void logEvent(const QString& word, const QString& room);
    const EventLog& eventLog() const { return log_; }
    void selectLogLine(int index) { log_.select(index); }

    void showError(const QString& text);
    void showInfo(const QString& text);
    bool askYesNo(const QString& text);

    // The board as it is now, for the faces outside the desk. It is
    // published after every step and minute tick while someone listens.
    BoardSnapshotPtr snapshot();

    // The board's values in memory at one moment between steps (slots,
    // panels, log, clocks, message line, the journal), to go back to later:
    // the board then goes on as it went on from that moment, without reading
    // the files again. The files and tables are not part of it, nor the
    // outside parts of the context.
    class Moment;
    Moment moment() const;
    void returnTo(const Moment& moment);

signals:
    void slotChanged(int n);
    void leftChanged();
    void logChanged();
    void noticeChanged();
    void snapshotPublished(BoardSnapshotPtr snapshot);

private:
    void endStep();
    // The PC's first start: the kiosk session is installed and the PC restarts into it.
    void setUpFirstStart();
    static std::size_t index(int n);
    void runStep(const std::function<void()>& step);
    // Runs `work` for every slot; see paintSlots.
    void forEverySlot(const std::function<void(int)>& work);
    void recoverLastStep();
    void restoreOwnKeys(const IniStore::Snapshot& store, int n);
    void paintElapsed(int n);
    void startClockShowing(int n, const QString& startText);
    void handleBlock(const QByteArray& block);
    void handlePair(quint8 key, quint8 code);
    void doorChanged(int n, bool open);
    void highlight(int n);
    void unhighlight(const QString& slotText);
    void publish();

    BoardContext ctx_;
    std::unique_ptr<IniStore> ini_;
    std::array<RoomSlot, kSlots> slots_{};
    std::array<SlotView, kSlots> views_{};
    std::bitset<kSlots> restored_;
    LeftColumn left_;
    EventLog log_;
    RoomRecords* records_ = nullptr;
    std::vector<QByteArray> pendingBlocks_;
    bool handlingBlocks_ = false;
    StepJournal journal_;
    int stepDepth_ = 0;
    QString storageWarning_;
    QString notice_;
    int noticeCount_ = 0;
    QStringList startUpFailures_;
    bool startingUp_ = false;
    QTimer retryTimer_;
    bool writeAfterPaint_ = false;
    bool writeQueued_ = false;
    QTimer paintWait_;
    quint64 published_ = 0;
    QDateTime lastReport_;
};

class BoardModel::Moment {
private:
    friend class BoardModel;
    BoardValues values;
    std::array<RoomSlot, kSlots> roomSlots{};
    std::array<SlotView, kSlots> views{};
    std::bitset<kSlots> restored;
    LeftColumn left;
    EventLog log;
    StepJournal journal;
    QString storageWarning;
    QString notice;
    int noticeCount = 0;
    quint64 published = 0;
    QDateTime lastReport;
};
