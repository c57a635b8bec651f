#include "board/BoardModel.h"

#include <QDir>
#include <utility>

#include "board/States.h"
#include "lockdown/Lockdown.h"
#include "platform/Assets.h"
#include "platform/Clock.h"
#include "platform/DeskLog.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "store/Database.h"
#include "store/HistoryLedger.h"
#include "store/IniStore.h"

namespace {
const QString kDoor = QStringLiteral("door.bmp");
const QString kImp = QStringLiteral("imp.bmp");
const QString kMoon = QStringLiteral("moon.bmp");
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

int BoardModel::slotOf(const QString& n) const {
    bool ok = false;
    const int value = n.toInt(&ok);
    if (!ok) throw TavolenError(QStringLiteral("객실 번호가 잘못되었습니다: ") + n);
    index(value);
    return value;
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

void BoardModel::recoverLastStep() {
    if (!records_ || !records_->database().isOpen()) return;
    const StepJournal::Recovery done = StepJournal::recover(ini(), records_->database());
    if (done == StepJournal::Recovery::Finished)
        appendDeskLog(dataDir, now(), QStringLiteral("마지막 저장 단계를 기록에서 마쳤습니다"));
    if (done == StepJournal::Recovery::LeftAlone)
        appendDeskLog(dataDir, now(),
                      QStringLiteral("객실 상태 파일이 마지막 저장 뒤에 바뀌어 그대로 둡니다"));
}

void BoardModel::startUp(const QString& directory, const BoardSeams& seams) {
    startingUp_ = true;
    runStep([&] {
        dataDir = QDir(directory).absolutePath() + QLatin1Char('/');
        ctx_.shared.dataDir = dataDir;
    });
    runStep([&] {
        ini_ = std::make_unique<IniStore>(dataDir + QLatin1String(kIniName));
        journal_.setIni(ini_.get());
    });
    runStep([&] {
        if (seams.startSecondTimer) seams.startSecondTimer();
    });
    runStep([&] {
        if (seams.ensureMotelLocation && seams.ensureMotelLocation()) {
            ctx_.lockdown.installKioskSession();
            ctx_.lockdown.restartComputer();
        }
    });
    runStep([&] {
        portName = ini().readString(QStringLiteral("Motel"), QStringLiteral("ComPort"),
                                    QStringLiteral("COM2"));
        if (seams.openPort) seams.openPort(portName);
    });
    runStep([&] { ctx_.shared.grade = 0; });
    // A step cut off by a crash is finished before the rooms are read.
    runStep([&] { recoverLastStep(); });
    runStep([&] { restoreSlots(); });
    runStep([&] { rebuildStayClocks(); });
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

// ---- label looks -------------------------------------------------------

void BoardModel::setLabel(int n, const QString& caption, WinColor font, WinColor back) {
    SlotView& v = views_.at(index(n));
    v.labelCaption = caption;
    v.labelFontColor = font;
    v.labelColor = back;
    emit slotChanged(n);
}

void BoardModel::setStatePicture(int n, const QString& picture) {
    if (!picture.isEmpty()) ctx_.assets.picture(picture);
    views_.at(index(n)).stateImage = picture;
    emit slotChanged(n);
}

void BoardModel::setStayKindPicture(int n, const QString& picture) {
    ctx_.assets.picture(picture);
    views_.at(index(n)).kindGlyph = picture;
    emit slotChanged(n);
}

void BoardModel::showReady(int n) {
    setLabel(n, States::Ready, Colors::White, Colors::Green);
    setStatePicture(n, QString());
}

void BoardModel::showReadyForOvernight(int n) {
    setLabel(n, States::Ready, Colors::Black, Colors::LightPink);
}

void BoardModel::showDayUse(int n) {
    setLabel(n, States::DayUse, Colors::White, Colors::Blue);
    setStatePicture(n, QStringLiteral("bed.bmp"));
}

void BoardModel::showOvernight(int n) {
    setLabel(n, States::Overnight, Colors::White, Colors::Red);
    setStatePicture(n, QStringLiteral("night.bmp"));
}

void BoardModel::showCleaning(int n) {
    setLabel(n, States::Cleaning, Colors::White, Colors::Gray);
    setStatePicture(n, QStringLiteral("Clean.bmp"));
}

void BoardModel::showVacated(int n) {
    setLabel(n, States::Vacated, Colors::White, Colors::Purple);
    setStatePicture(n, QStringLiteral("withOut.bmp"));
}

void BoardModel::showGuestOut(int n) {
    setLabel(n, States::GuestOut, Colors::Black, Colors::Yellow);
}

void BoardModel::markChangedAtDesk(int n) {
    views_.at(index(n)).buttonFontColor = Colors::Maroon;
    emit slotChanged(n);
}

void BoardModel::recountStays() {
    int dasil = 0;
    int sleep = 0;
    for (int n = 1; n <= kSlots; ++n) {
        if (views_[index(n)].labelCaption == States::Ready) continue;
        if (slots_[index(n)].overnight == 0) ++dasil;
        if (slots_[index(n)].overnight == 1) ++sleep;
    }
    const QString dasilText = QStringLiteral("대실:") + QString::number(dasil);
    const QString sleepText = QStringLiteral("숙박:") + QString::number(sleep);
    if (dasilText == left_.dasilCount && sleepText == left_.sleepCount) return;
    left_.dasilCount = dasilText;
    left_.sleepCount = sleepText;
    emit leftChanged();
}

// ---- savers ------------------------------------------------------------

namespace {
const QString kR = QStringLiteral("r");

void requireRestored(const BoardModel& board, int n) {
    if (!board.isRestored(n))
        throw TavolenError(QStringLiteral("%1번 객실은 복원되지 않아 저장하지 않았습니다").arg(n));
}
}  // namespace

void BoardModel::saveDoor(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    storeValue(QStringLiteral("DoorStatus"), kR + n, QString::number(slot(s).doorOpen));
}

void BoardModel::saveKeyCode(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    storeValue(QStringLiteral("RoomKey"), kR + n, QString::number(slot(s).keyCode));
}

void BoardModel::saveState(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    storeValue(QStringLiteral("rStatus"), kR + n, slot(s).state);
}

void BoardModel::saveRoomName(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    storeValue(QStringLiteral("Name"), QStringLiteral("LName") + n, slot(s).roomName);
}

void BoardModel::saveStayKind(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    storeValue(QStringLiteral("Sleep"), kR + n, QString::number(slot(s).overnight));
}

void BoardModel::saveCheckoutTime(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    storeValue(QStringLiteral("TimeEnd"), kR + n, slot(s).checkoutTime);
}

void BoardModel::saveStayStart(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    storeValue(QStringLiteral("Time"), kR + n, slot(s).stayStart);
}

void BoardModel::saveFees(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    const Step step(*this);
    storeValue(QStringLiteral("Money"), QStringLiteral("rs") + n,
               QString::number(slot(s).overnightFee));
    storeValue(QStringLiteral("Money"), QStringLiteral("rd") + n, QString::number(slot(s).dayUseFee));
}

void BoardModel::saveMorningCall(quint8 n) {
    requireRestored(*this, n);
    storeValue(QStringLiteral("alram"), kR + QString::number(n), slot(n).morningCall);
}

void BoardModel::saveMemo(quint8 n) {
    requireRestored(*this, n);
    storeValue(QStringLiteral("Memo"), kR + QString::number(n), view(n).hint);
}

void BoardModel::storeValue(const QString& section, const QString& key, const QString& value) {
    ini();  // raises when there is no file to store into
    const Step step(*this);
    journal_.setValue(section, key, value);
}

void BoardModel::endStep() {
    if (!writeAfterPaint_) {
        writeStep();
        return;
    }
    if (journal_.hasPending() && !paintWait_.isActive()) paintWait_.start();
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

// ---- restore and paint -------------------------------------------------

void BoardModel::restoreSlots() {
    // One reading of the file for the whole restore: every value comes from
    // the same moment of the file, and the board starts quickly.
    const IniStore::Snapshot store = ini().snapshot();
    for (int n = 1; n <= kSlots; ++n) {
        const QString num = QString::number(n);
        const QString key = kR + num;
        RoomSlot& s = slot(n);
        s.roomName = store.readString(QStringLiteral("Name"), QStringLiteral("LName") + num, num);
        s.hasPanel = static_cast<quint8>(
            store.readInteger(QStringLiteral("Panel"), QStringLiteral("P") + num, 0));
        s.state = store.readString(QStringLiteral("rStatus"), key, QString());
        s.overnight = static_cast<quint8>(store.readInteger(QStringLiteral("Sleep"), key, 0));
        s.stayStart = store.readString(QStringLiteral("Time"), key, QString());
        s.checkoutTime = store.readString(QStringLiteral("TimeEnd"), key, QString());
        s.overnightFee =
            store.readInteger(QStringLiteral("Money"), QStringLiteral("rs") + num, s.overnightFee);
        s.dayUseFee =
            store.readInteger(QStringLiteral("Money"), QStringLiteral("rd") + num, s.dayUseFee);
        s.morningCall = store.readString(QStringLiteral("Alram"), key, QString());
        views_[index(n)].hint = store.readString(QStringLiteral("Memo"), key, QString());
        s.keyCode = static_cast<quint16>(store.readInteger(QStringLiteral("RoomKey"), key, 0));
        s.doorOpen = static_cast<quint8>(store.readInteger(QStringLiteral("DoorStatus"), key, 0));
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
}

void BoardModel::paintSlots() {
    const QString nowMinute = now().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    // One broken slot (a missing picture, say) must not leave the rest
    // unpainted; the first failure is reported once.
    QString firstError;
    for (int n = 1; n <= kSlots; ++n) {
        try {
            paintSlot(n, nowMinute);
        } catch (const std::exception& e) {
            if (firstError.isEmpty()) firstError = errorText(e);
        }
    }
    if (!firstError.isEmpty()) throw TavolenError(firstError);
}

void BoardModel::paintSlot(int n, const QString& nowMinute) {
    RoomSlot& s = slot(n);
    SlotView& v = views_[index(n)];

    v.startColor = morningCallColor(s.morningCall, nowMinute, v.startColor);
    // A call already past when the board starts is not sounded late.
    s.morningCallRung = !s.morningCall.isEmpty() && s.morningCall < nowMinute;

    // Room number and panel come before the state look, so that a missing
    // picture still leaves the room visible with its number.
    if (s.roomName.size() > 2) {
        v.buttonCaption = s.roomName;
    } else {
        v.buttonCaption = QStringLiteral("호수");
        v.kindVisible = false;
    }
    if (s.hasPanel == 1) v.visible = true;
    v.doorImage = s.doorOpen == 1 ? kDoor : QString();
    if (!v.doorImage.isEmpty()) ctx_.assets.picture(kDoor);
    emit slotChanged(n);

    const QString& st = s.state;
    const QString byFlag = s.overnight == 1 ? kMoon : kImp;
    if (st.isEmpty() || st == States::Ready) {
        if (s.overnight == 1) {
            showReadyForOvernight(n);
            setStayKindPicture(n, kMoon);
        } else {
            showReady(n);
            if (!st.isEmpty()) setStayKindPicture(n, kImp);
        }
    } else if (st == States::DayUse) {
        showDayUse(n);
        setStayKindPicture(n, kImp);
    } else if (st == States::Overnight) {
        showOvernight(n);
        setStayKindPicture(n, kMoon);
    } else if (st == States::Cleaning) {
        showCleaning(n);
        setStayKindPicture(n, byFlag);
    } else if (st == States::Vacated) {
        showVacated(n);
        setStayKindPicture(n, byFlag);
    } else if (st == States::GuestOut) {
        showGuestOut(n);
        s.longStayMarked = 1;
        setStayKindPicture(n, byFlag);
    }
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
    if (s.morningCall != call) s.morningCallRung = false;
    s.morningCall = call;
    SlotView& v = editView(n);
    v.startColor = morningCallColor(call, nowMinute, v.startColor);
    viewChanged(n);
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
