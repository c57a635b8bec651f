// The board's start-up, the panels' looks as the look table gives them, the
// message line and the snapshots the board publishes. The other parts of the
// board are listed in BoardModel.h.
#include "board/BoardModel.h"

#include <QDir>
#include <QMetaMethod>
#include <utility>

#include "board/RoomLook.h"
#include "lockdown/Lockdown.h"
#include "platform/Assets.h"
#include "platform/Clock.h"
#include "platform/DeskLog.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/RoomRecords.h"

namespace {
const QString kDoor = QStringLiteral("door.bmp");
constexpr int kSnapshotLogLines = 50;

// The room number button's caption, and the stay kind button shown for a slot with a room.
void setRoomNumber(const RoomSlot& s, SlotView& v) {
    v.buttonCaption = s.roomCaption();
    v.kindVisible = s.hasRoom();
}
}  // namespace

BoardModel::BoardModel(BoardContext context, QObject* parent) : QObject(parent), ctx_(context) {
    // The counts of day-use and overnight stays follow every change of a
    // panel at once, not at the next minute.
    connect(this, &BoardModel::slotChanged, this, &BoardModel::recountStays);
    retryTimer_.setSingleShot(true);
    retryTimer_.setInterval(kRetryMs);
    connect(&retryTimer_, &QTimer::timeout, this, &BoardModel::writeStep);
    paintWait_.setSingleShot(true);
    paintWait_.setInterval(kPaintWaitMs);
    connect(&paintWait_, &QTimer::timeout, this, &BoardModel::writeStep);
}

BoardModel::~BoardModel() = default;

std::size_t BoardModel::index(int n) {
    if (n < 1 || n > kSlots)
        throw TavolenError(QStringLiteral("객실 번호가 잘못되었습니다: %1").arg(n));
    return static_cast<std::size_t>(n - 1);
}

IniStore& BoardModel::ini() {
    if (!ini_) throw TavolenError(QStringLiteral("객실 상태 파일이 열려 있지 않습니다"));
    return *ini_;
}

QDateTime BoardModel::now() const { return ctx_.clock.now(); }

void BoardModel::runStep(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& e) {
        startUpFailures_.append(errorText(e));
    }
}

void BoardModel::startUp(const QString& directory, const BoardSeams& seams) {
    startingUp_ = true;
    runStep([&] {
        dataDir = QDir(directory).absolutePath() + QLatin1Char('/');
        ctx_.session.dataDir = dataDir;
    });
    runStep([&] {
        ini_ = std::make_unique<IniStore>(dataDir + QLatin1String(kIniName));
        journal_.setIni(ini_.get());
    });
    runStep([&] {
        if (seams.startSecondTimer) seams.startSecondTimer();
    });
    runStep([&] {
        if (seams.openDatabase && seams.openDatabase()) setUpFirstStart();
    });
    runStep([&] {
        portName = ini().readString(QStringLiteral("Motel"), QStringLiteral("ComPort"),
                                    QStringLiteral("COM2"));
        if (seams.openPort) seams.openPort(portName);
    });
    runStep([&] { ctx_.session.grade = 0; });
    // A step cut off by a crash is finished before the rooms are read.
    runStep([&] { recoverLastStep(); });
    runStep([&] { restoreSlots(); });
    runStep([&] { rebuildStayClocks(); });
    runStep([&] { checkMorningCallsAtStart(); });
    // The business name was read by the restore; an empty one shows nothing.
    runStep([&] { paintSlots(); });
    runStep([&] { ctx_.lockdown.hideTaskBar(); });
    runStep([&] { ctx_.lockdown.armKeyboardFilter(); });
    runStep([&] {
        if (seams.showBorderlessMaximised) seams.showBorderlessMaximised();
    });
    runStep([&] {
        if (seams.startMinuteTimer) seams.startMinuteTimer();
    });
    // Only now, with the board shown and its clocks and link running.
    startingUp_ = false;
    const QStringList failures = std::exchange(startUpFailures_, {});
    if (!failures.isEmpty()) notify(failures.join(QStringLiteral(" / ")));
}

void BoardModel::setUpFirstStart() {
    ctx_.lockdown.installKioskSession();
    ctx_.lockdown.restartComputer();
}

// ---- looks ------------------------------------------------------------

void BoardModel::showRoomNumber(int n) {
    setRoomNumber(slot(n), views_.at(index(n)));
    emit slotChanged(n);
}

void BoardModel::showState(int n) {
    const RoomSlot& s = slot(n);
    const StateLook look = stateLook(s.state, s.kind);
    const QString glyph = kindGlyphFile(s.state, s.kind);
    SlotView& v = views_.at(index(n));
    // The label first: a picture that cannot be loaded still leaves the
    // state readable.
    v.labelCaption = look.caption;
    v.labelFontColor = look.font;
    v.labelColor = look.back;
    try {
        if (!look.picture.isEmpty()) ctx_.assets.picture(look.picture);
        ctx_.assets.picture(glyph);
    } catch (...) {
        emit slotChanged(n);
        throw;
    }
    v.stateImage = look.picture;
    v.kindGlyphFile = glyph;
    emit slotChanged(n);
}

void BoardModel::markChanged(int n, ChangeMark mark) {
    if (mark == ChangeMark::None) return;
    slot(n).changedBy = mark;
    views_.at(index(n)).buttonFontColor = markColor(mark);
    emit slotChanged(n);
}

void BoardModel::recountStays() {
    int dayUse = 0;
    int overnight = 0;
    for (const RoomSlot& s : slots_) {
        if (s.state == RoomState::Finished) continue;
        if (s.kind == StayKind::Overnight)
            ++overnight;
        else
            ++dayUse;
    }
    // Every change of a room asks; the texts are made only when a count changed.
    if (dayUse == left_.dayUseStays && overnight == left_.overnightStays) return;
    left_.dayUseStays = dayUse;
    left_.overnightStays = overnight;
    left_.dayUseCountText = QStringLiteral("대실:") + QString::number(dayUse);
    left_.overnightCountText = QStringLiteral("숙박:") + QString::number(overnight);
    emit leftChanged();
}

void BoardModel::checkMorningCallsAtStart() {
    QDateTime minute = now();
    minute.setTime(QTime(minute.time().hour(), minute.time().minute()));
    const QString nowMinute = minute.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    // The oldest call that still rings, in the form of `nowMinute`.
    const QString lateLimit =
        minute.addSecs(-60 * kLateCallMinutes).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    forEverySlot([&](int n) {
        RoomSlot& s = slot(n);
        SlotView& v = views_[index(n)];
        // A call whose minute fell while the board was down (a power cut, say)
        // still rings at the first tick when it is at most kLateCallMinutes
        // late. An older one would wake nobody in time: it is shown as missed,
        // in its own colour and with a log line, so that the clerk can knock.
        // A call that sounded or was shown missed before the restart stays as
        // it was.
        if (!s.morningCall.isEmpty() && !s.morningCallRung && s.morningCall < lateLimit) {
            s.morningCallRung = true;
            s.morningCallMissed = true;
            logEvent(kMissedCall, s.roomName);
            saveMorningCallDone(n);
            recordAction(audit::Action::MorningCallMissed,
                         {{QStringLiteral("room"), s.roomCaption()},
                          {QStringLiteral("call"), s.morningCall}});
        }
        if (s.morningCallMissed)
            v.startColor = Colors::Red;
        else if (s.morningCallRung)
            v.startColor = Colors::Orange;
        else
            v.startColor = morningCallColor(s.morningCall, nowMinute, v.startColor);
        emit slotChanged(n);
    });
}

void BoardModel::paintSlots() {
    forEverySlot([this](int n) { paintSlot(n); });
}

void BoardModel::forEverySlot(const std::function<void(int)>& work) {
    // One broken slot (a missing picture, a failed write) must not leave the
    // rest undone; the first failure is reported once.
    QString firstError;
    for (int n = 1; n <= kSlots; ++n) {
        try {
            work(n);
        } catch (const std::exception& e) {
            if (firstError.isEmpty()) firstError = errorText(e);
        }
    }
    if (!firstError.isEmpty()) throw TavolenError(firstError);
}

void BoardModel::paintSlot(int n) {
    const RoomSlot& s = slot(n);
    SlotView& v = views_[index(n)];
    if (s.changedBy != ChangeMark::None) v.buttonFontColor = markColor(s.changedBy);
    // Room number and panel come before the state look, so that a missing
    // picture still leaves the room visible with its number.
    setRoomNumber(s, v);
    if (s.hasPanel == 1) v.visible = true;
    v.doorImage = s.doorOpen == 1 ? kDoor : QString();
    if (!v.doorImage.isEmpty()) ctx_.assets.picture(kDoor);
    emit slotChanged(n);

    showState(n);
}

// ---- changes from the other parts of the board -------------------------

SlotView& BoardModel::editView(int n) { return views_.at(index(n)); }

void BoardModel::viewChanged(int n) { emit slotChanged(n); }

void BoardModel::setBusinessName(const QString& name) {
    left_.businessName = name;
    emit leftChanged();
}

WinColor BoardModel::morningCallColor(const QString& call, const QString& nowMinute,
                                      WinColor current) {
    if (call.isEmpty()) return Colors::Black;
    if (call > nowMinute) return Colors::Magenta;
    if (call < nowMinute) return Colors::Orange;
    return current;
}

void BoardModel::setMorningCall(int n, const QString& call, const QString& nowMinute) {
    RoomSlot& s = slot(n);
    if (s.morningCall != call) {
        s.morningCallRung = false;
        s.morningCallMissed = false;
    }
    s.morningCall = call;
    SlotView& v = editView(n);
    v.startColor = morningCallColor(call, nowMinute, v.startColor);
    viewChanged(n);
    // A call whose minute has come sounds now, not at the next tick: what
    // the board does must not hang on where the tick falls, which a restart moves.
    if (!call.isEmpty() && !s.morningCallRung && call <= nowMinute) ringMorningCall(n);
}

void BoardModel::setMemo(int n, const QString& memo) {
    editView(n).hint = memo;
    viewChanged(n);
}

void BoardModel::setClockTexts(const QString& date, const QString& time) {
    left_.date = date;
    left_.time = time;
    emit leftChanged();
}

// ---- message boxes -----------------------------------------------------

void BoardModel::showError(const QString& text) { ctx_.dialogs.showError(text); }
void BoardModel::showInfo(const QString& text) { ctx_.dialogs.showInfo(text); }
bool BoardModel::askYesNo(const QString& text) { return ctx_.dialogs.askYesNo(text); }

// ---- snapshots ----------------------------------------------------------

BoardSnapshotPtr BoardModel::snapshot() {
    auto snap = std::make_shared<BoardSnapshot>();
    snap->sequence = ++published_;
    snap->takenAt = now();
    snap->businessName = left_.businessName;
    for (int n = 1; n <= kSlots; ++n) {
        const RoomSlot& s = slots_[index(n)];
        const SlotView& v = views_[index(n)];
        if (!v.visible) continue;
        BoardSnapshot::Room room;
        room.slot = n;
        room.number = s.roomCaption();
        room.state = s.state;
        room.kind = s.kind;
        room.doorOpen = s.doorOpen == 1;
        room.stayStart = s.stayStart.moment();
        room.elapsedMinutes = room.stayStart.isValid() ? s.elapsed : 0;
        room.checkoutTime = s.state == RoomState::CheckedOut || s.state == RoomState::GuestOut
                                ? s.checkoutTime
                                : QString();
        room.morningCall = s.morningCall;
        const StateLook look = stateLook(s.state, s.kind);
        room.labelColor = look.back;
        room.labelFontColor = look.font;
        snap->rooms.push_back(std::move(room));
    }
    const QStringList& lines = log_.lines();
    for (qsizetype i = std::max<qsizetype>(0, lines.size() - kSnapshotLogLines); i < lines.size();
         ++i) {
        // A line without a colour of its own shows in the window's text colour.
        const std::optional<LogColor> colour = log_.lineColor(i);
        snap->logTail.push_back({lines[i], colour && *colour ? **colour : Colors::Black});
    }
    snap->controllerPort = portName;
    snap->lastControllerReport = lastReport_;
    snap->storageWarning = storageWarning_;
    snap->notice = notice_;
    return snap;
}

void BoardModel::publish() {
    // Built only for someone who listens: the desk alone pays nothing.
    static const QMetaMethod published = QMetaMethod::fromSignal(&BoardModel::snapshotPublished);
    if (isSignalConnected(published)) emit snapshotPublished(snapshot());
}

// ---- moments -------------------------------------------------------------

BoardModel::Moment BoardModel::moment() const {
    Moment m;
    m.values = static_cast<const BoardValues&>(*this);
    m.roomSlots = slots_;
    m.views = views_;
    m.restored = restored_;
    m.left = left_;
    m.log = log_;
    m.journal = journal_;
    m.storageWarning = storageWarning_;
    m.notice = notice_;
    m.noticeCount = noticeCount_;
    m.published = published_;
    m.lastReport = lastReport_;
    return m;
}

void BoardModel::returnTo(const Moment& m) {
    static_cast<BoardValues&>(*this) = m.values;
    // Only the panels that differ are told, as after any other change.
    std::vector<int> changed;
    for (int n = 1; n <= kSlots; ++n)
        if (slots_[index(n)] != m.roomSlots[index(n)] || views_[index(n)] != m.views[index(n)])
            changed.push_back(n);
    slots_ = m.roomSlots;
    views_ = m.views;
    restored_ = m.restored;
    left_ = m.left;
    log_ = m.log;
    journal_ = m.journal;
    storageWarning_ = m.storageWarning;
    notice_ = m.notice;
    noticeCount_ = m.noticeCount;
    published_ = m.published;
    lastReport_ = m.lastReport;
    // What was waiting to be written then is tried again as it was then.
    paintWait_.stop();
    if (journal_.hasPending())
        retryTimer_.start();
    else
        retryTimer_.stop();
    for (int n : changed) emit slotChanged(n);
    emit leftChanged();
    emit logChanged();
    emit noticeChanged();
}
