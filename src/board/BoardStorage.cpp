// The board's persistence: restoring the slots from the room-state file, the
// savers of one slot value each, and the steps through which every change
// reaches the file and the database together (StepJournal), with the retry
// of a step that could not be written.
#include <QDir>

#include "board/BoardModel.h"
#include "board/StoredRoomState.h"
#include "platform/DeskLog.h"
#include "platform/Errors.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/RoomRecords.h"

void BoardModel::recoverLastStep() {
    if (!records_ || !records_->database().isOpen()) return;
    const StepJournal::Recovery done = StepJournal::recover(ini(), records_->database());
    if (done == StepJournal::Recovery::Finished)
        appendDeskLog(dataDir, now(), QStringLiteral("마지막 저장 단계를 기록에서 마쳤습니다"));
    if (done == StepJournal::Recovery::LeftAlone)
        appendDeskLog(dataDir, now(),
                      QStringLiteral("객실 상태 파일이 마지막 저장 뒤에 바뀌어 그대로 둡니다"));
}

namespace {
const QString kR = QStringLiteral("r");

void requireRestored(const BoardModel& board, int n) {
    if (!board.isRestored(n))
        throw TavolenError(QStringLiteral("%1번 객실은 복원되지 않아 저장하지 않았습니다").arg(n));
}
}  // namespace

void BoardModel::saveDoor(int n) {
    requireRestored(*this, n);
    const QString num = QString::number(n);
    storeValue(QStringLiteral("DoorStatus"), kR + num, QString::number(slot(n).doorOpen));
}

void BoardModel::saveKeyCode(int n) {
    requireRestored(*this, n);
    const QString num = QString::number(n);
    storeValue(QStringLiteral("RoomKey"), kR + num, QString::number(slot(n).keyCode));
}

void BoardModel::saveState(int n) {
    requireRestored(*this, n);
    const QString num = QString::number(n);
    storeValue(QStringLiteral("rStatus"), kR + num, storedText(slot(n).state));
}

void BoardModel::saveRoomName(int n) {
    requireRestored(*this, n);
    const QString num = QString::number(n);
    storeValue(QStringLiteral("Name"), QStringLiteral("LName") + num, slot(n).roomName);
}

void BoardModel::saveStayKind(int n) {
    requireRestored(*this, n);
    const QString num = QString::number(n);
    storeValue(QStringLiteral("Sleep"), kR + num, QString::number(storedValue(slot(n).kind)));
}

void BoardModel::saveCheckoutTime(int n) {
    requireRestored(*this, n);
    const QString num = QString::number(n);
    storeValue(QStringLiteral("TimeEnd"), kR + num, slot(n).checkoutTime);
}

void BoardModel::saveStayStart(int n) {
    requireRestored(*this, n);
    const QString num = QString::number(n);
    storeValue(QStringLiteral("Time"), kR + num, slot(n).stayStart.stored());
}

void BoardModel::saveFees(int n) {
    requireRestored(*this, n);
    const QString num = QString::number(n);
    const Step step(*this);
    storeValue(QStringLiteral("Money"), QStringLiteral("rs") + num,
               QString::number(slot(n).overnightFee));
    storeValue(QStringLiteral("Money"), QStringLiteral("rd") + num,
               QString::number(slot(n).dayUseFee));
}

void BoardModel::saveMorningCall(int n) {
    requireRestored(*this, n);
    storeValue(QStringLiteral("alram"), kR + QString::number(n), slot(n).morningCall);
}

void BoardModel::saveMemo(int n) {
    requireRestored(*this, n);
    storeValue(QStringLiteral("Memo"), kR + QString::number(n), view(n).hint);
}

void BoardModel::saveOutMark(int n) {
    requireRestored(*this, n);
    storeValue(QStringLiteral("OutMark"), kR + QString::number(n),
               slot(n).guestOut ? QStringLiteral("1") : QStringLiteral("0"));
}

void BoardModel::saveRepeatKey(int n) {
    requireRestored(*this, n);
    storeValue(QStringLiteral("LastEvent"), kR + QString::number(n), slot(n).repeatKey);
}

void BoardModel::saveChangedBy(int n) {
    requireRestored(*this, n);
    storeValue(QStringLiteral("ChangedBy"), kR + QString::number(n), storedText(slot(n).changedBy));
}

void BoardModel::saveClockStart(int n) {
    requireRestored(*this, n);
    const QDateTime& start = slot(n).clockStart;
    storeValue(QStringLiteral("ClockStart"), kR + QString::number(n),
               start.isValid() ? stampText(start) : QString());
}

void BoardModel::saveMorningCallDone(int n) {
    requireRestored(*this, n);
    const RoomSlot& s = slot(n);
    if (!s.morningCallRung) return;
    storeValue(s.morningCallMissed ? QStringLiteral("AlramMissed") : QStringLiteral("AlramRung"),
               kR + QString::number(n), s.morningCall);
}

void BoardModel::forgetOwnKeys(int n) {
    requireRestored(*this, n);
    for (const char* section :
         {"OutMark", "LastEvent", "ChangedBy", "ClockStart", "AlramRung", "AlramMissed"})
        storeValue(QString::fromLatin1(section), kR + QString::number(n), QString());
}

void BoardModel::storeValue(const QString& section, const QString& key, const QString& value) {
    ini();  // raises when there is no file to store into
    const Step step(*this);
    journal_.setValue(section, key, value);
}

void BoardModel::endStep() {
    if (!writeAfterPaint_) {
        writeStep();
    } else if (journal_.hasPending() && !paintWait_.isActive()) {
        paintWait_.start();
    }
    publish();
}

void BoardModel::painted() {
    if (writeQueued_ || !journal_.hasPending()) return;
    writeQueued_ = true;
    // Queued, so that what the paint itself queued (the flush to the screen)
    // goes first.
    QMetaObject::invokeMethod(
        this,
        [this] {
            writeQueued_ = false;
            writeStep();
        },
        Qt::QueuedConnection);
}

void BoardModel::writeStep() {
    paintWait_.stop();
    if (!journal_.hasPending()) return;
    const StepOutcome outcome = journal_.flush();
    for (const QString& refused : outcome.refused) notify(refused);
    if (outcome.written) {
        retryTimer_.stop();
        if (storageWarning_.isEmpty()) return;
        storageWarning_.clear();
        appendDeskLog(dataDir, now(), QStringLiteral("저장이 다시 됩니다"));
        emit noticeChanged();
        return;
    }
    const QString warning = QStringLiteral("⚠ 저장 실패, 다시 시도 중: ") + outcome.error;
    if (warning != storageWarning_) {
        storageWarning_ = warning;
        appendDeskLog(dataDir, now(), warning);
        emit noticeChanged();
    }
    if (!retryTimer_.isActive()) retryTimer_.start();
}

void BoardModel::notify(const QString& text) {
    if (startingUp_) {
        startUpFailures_.append(text);
        return;
    }
    notice_ = now().toString(QStringLiteral("HH:mm ")) + text;
    ++noticeCount_;
    appendDeskLog(dataDir, now(), text);
    emit noticeChanged();
}

void BoardModel::restoreOwnKeys(const IniStore::Snapshot& store, int n) {
    RoomSlot& s = slot(n);
    const QString key = kR + QString::number(n);
    // A file written before the board kept the mark: a guest shown out is out.
    const QString outMark = store.readString(QStringLiteral("OutMark"), key, QString());
    s.guestOut = outMark.isEmpty() ? s.state == RoomState::GuestOut : outMark == QLatin1String("1");
    // The mark belongs to a stay; a finished room has none.
    if (s.state == RoomState::Finished) s.guestOut = false;
    s.repeatKey = store.readString(QStringLiteral("LastEvent"), key, QString());
    s.changedBy = markFromStored(store.readString(QStringLiteral("ChangedBy"), key, QString()));
    if (!s.morningCall.isEmpty()) {
        s.morningCallMissed =
            store.readString(QStringLiteral("AlramMissed"), key, QString()) == s.morningCall;
        s.morningCallRung =
            s.morningCallMissed ||
            store.readString(QStringLiteral("AlramRung"), key, QString()) == s.morningCall;
    }
    // A clock never starts before its stay: an earlier one is left from
    // another stay, and the stay's own start is taken instead.
    const QDateTime clock =
        momentOfStamp(store.readString(QStringLiteral("ClockStart"), key, QString()));
    const QDateTime stay = s.stayStart.moment();
    s.clockStart = clock.isValid() && !(stay.isValid() && clock < stay) ? clock : QDateTime();
}

void BoardModel::restoreSlots() {
    // One reading of the file for the whole restore: every value comes from
    // the same moment of the file, and the board starts quickly.
    const IniStore::Snapshot store = ini().snapshot();
    QStringList unknown;
    for (int n = 1; n <= kSlots; ++n) {
        const QString num = QString::number(n);
        const QString key = kR + num;
        RoomSlot& s = slot(n);
        s.roomName = store.readString(QStringLiteral("Name"), QStringLiteral("LName") + num, num);
        s.hasPanel = static_cast<quint8>(
            store.readInteger(QStringLiteral("Panel"), QStringLiteral("P") + num, 0));
        const QString label = store.readString(QStringLiteral("rStatus"), key, QString());
        const std::optional<RoomState> state = stateFromStored(label);
        if (!state) unknown.append(QStringLiteral("%1번 \"%2\"").arg(n).arg(label));
        s.state = state.value_or(RoomState::Finished);
        s.kind = kindFromStored(store.readInteger(QStringLiteral("Sleep"), key, 0));
        s.stayStart =
            StayTime::fromStored(store.readString(QStringLiteral("Time"), key, QString()));
        s.checkoutTime = store.readString(QStringLiteral("TimeEnd"), key, QString());
        s.overnightFee =
            store.readInteger(QStringLiteral("Money"), QStringLiteral("rs") + num, s.overnightFee);
        s.dayUseFee =
            store.readInteger(QStringLiteral("Money"), QStringLiteral("rd") + num, s.dayUseFee);
        s.morningCall = store.readString(QStringLiteral("Alram"), key, QString());
        views_[index(n)].hint = store.readString(QStringLiteral("Memo"), key, QString());
        s.keyCode = static_cast<quint16>(store.readInteger(QStringLiteral("RoomKey"), key, 0));
        s.doorOpen = static_cast<quint8>(store.readInteger(QStringLiteral("DoorStatus"), key, 0));
        restoreOwnKeys(store, n);
        restored_.set(index(n));
        emit slotChanged(n);
    }
    ledgerMonths = store.readInteger(QStringLiteral("CashTime"), QStringLiteral("SaveMonth"), 1);
    left_.businessName =
        store.readString(QStringLiteral("Motel"), QStringLiteral("CoName"), QString());
    storedDayUseCount = store.readInteger(QStringLiteral("Motel"), QStringLiteral("RestCnt"), 0);
    storedOvernightCount =
        store.readInteger(QStringLiteral("Motel"), QStringLiteral("SleepCnt"), 0);
    emit leftChanged();
    // Shown ready until the room's next change writes a state the board knows.
    if (!unknown.isEmpty())
        notify(QStringLiteral("객실 상태를 알 수 없어 완료로 보입니다: ") +
               unknown.join(QStringLiteral(", ")));
}
