#include "board/BoardModel.h"

#include <QDir>

#include "board/States.h"
#include "platform/Assets.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "lockdown/Lockdown.h"
#include "store/IniStore.h"

namespace {
const QString kDoor = QStringLiteral("door.bmp");
const QString kImp = QStringLiteral("imp.bmp");
const QString kMoon = QStringLiteral("moon.bmp");
}  // namespace

BoardModel::BoardModel(BoardContext context, QObject* parent)
    : QObject(parent), ctx_(context) {}

BoardModel::~BoardModel() = default;

std::size_t BoardModel::index(int n) {
    if (n < 1 || n > kSlots) throw TavolenError(QStringLiteral("객실 번호가 잘못되었습니다: %1").arg(n));
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
        ShowError(errorText(e));
    }
}

void BoardModel::FormCreate(const QString& dataDir, const BoardSeams& seams) {
    runStep([&] {
        ExeDir = QDir(dataDir).absolutePath() + QLatin1Char('/');
        ctx_.shared.ExeDir = ExeDir;
    });
    runStep([&] { ini_ = std::make_unique<IniStore>(ExeDir + QLatin1String(kIniName)); });
    runStep([&] {
        if (seams.startSecondTimer) seams.startSecondTimer();
    });
    runStep([&] {
        if (seams.dbAliasCheck && seams.dbAliasCheck()) {
            ctx_.lockdown.installKioskSession();
            ctx_.lockdown.restartComputer();
        }
    });
    runStep([&] {
        PortName = ini().ReadString(QStringLiteral("Motel"), QStringLiteral("ComPort"),
                                    QStringLiteral("COM2"));
        if (seams.openPort) seams.openPort(PortName);
    });
    runStep([&] { ctx_.shared.LoginLevel = 0; });
    runStep([&] { slotsLoad(); });
    runStep([&] { TimerCountFormCreate(); });
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

void BoardModel::setGlyph(int n, const QString& picture) {
    ctx_.assets.picture(picture);
    views_.at(index(n)).kindGlyph = picture;
    emit slotChanged(n);
}

void BoardModel::LabelFinish(int n) {
    setLabel(n, States::Finish, Colors::White, Colors::Green);
    setStatePicture(n, QString());
}

void BoardModel::LabelFinish2(int n) {
    setLabel(n, States::Finish, Colors::Black, Colors::LightPink);
}

void BoardModel::LabelDaSil(int n) {
    setLabel(n, States::DaSil, Colors::White, Colors::Blue);
    setStatePicture(n, QStringLiteral("bed.bmp"));
}

void BoardModel::LabelSleep(int n) {
    setLabel(n, States::Sleep, Colors::White, Colors::Red);
    setStatePicture(n, QStringLiteral("night.bmp"));
}

void BoardModel::LabelClean(int n) {
    setLabel(n, States::Clean, Colors::White, Colors::Gray);
    setStatePicture(n, QStringLiteral("Clean.bmp"));
}

void BoardModel::LabelWithOut(int n) {
    setLabel(n, States::WithOut, Colors::White, Colors::Purple);
    setStatePicture(n, QStringLiteral("withOut.bmp"));
}

void BoardModel::LabelWithOut2(int n) { setLabel(n, States::WithOut2, Colors::Black, Colors::Yellow); }

void BoardModel::ButtonColor_Change(int n) {
    views_.at(index(n)).buttonFontColor = Colors::Maroon;
    emit slotChanged(n);
}

void BoardModel::Dasil_Sleep_Count() {
    int dasil = 0;
    int sleep = 0;
    for (int n = 1; n <= kSlots; ++n) {
        if (views_[index(n)].labelCaption == States::Finish) continue;
        if (slots_[index(n)].Sleep == 0) ++dasil;
        if (slots_[index(n)].Sleep == 1) ++sleep;
    }
    left_.dasilCount = QStringLiteral("대실:") + QString::number(dasil);
    left_.sleepCount = QStringLiteral("숙박:") + QString::number(sleep);
    emit leftChanged();
}

// ---- savers ------------------------------------------------------------

namespace {
const QString kR = QStringLiteral("r");

void requireRestored(const BoardModel& board, int n) {
    if (!board.isRestored(n))
        throw TavolenError(
            QStringLiteral("%1번 객실은 복원되지 않아 저장하지 않았습니다").arg(n));
}
}  // namespace

void BoardModel::doorStatusSave(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    ini().WriteInteger(QStringLiteral("DoorStatus"), kR + n, slot(s).DoorStatus);
}

void BoardModel::roomKeySave(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    ini().WriteInteger(QStringLiteral("RoomKey"), kR + n, slot(s).RoomKey);
}

void BoardModel::roomStatusSave(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    ini().WriteString(QStringLiteral("rStatus"), kR + n, slot(s).rStatus);
}

void BoardModel::nameSave(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    ini().WriteString(QStringLiteral("Name"), QStringLiteral("LName") + n, slot(s).Name);
}

void BoardModel::sleepSave(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    ini().WriteInteger(QStringLiteral("Sleep"), kR + n, slot(s).Sleep);
}

void BoardModel::timeEndSave(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    ini().WriteString(QStringLiteral("TimeEnd"), kR + n, slot(s).TimeEnd);
}

void BoardModel::timeSave(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    ini().WriteString(QStringLiteral("Time"), kR + n, slot(s).Time);
}

void BoardModel::moneySave(const QString& n) {
    const int s = slotOf(n);
    requireRestored(*this, s);
    ini().WriteInteger(QStringLiteral("Money"), QStringLiteral("rs") + n, slot(s).MoneyRs);
    ini().WriteInteger(QStringLiteral("Money"), QStringLiteral("rd") + n, slot(s).MoneyRd);
}

void BoardModel::alramSave(quint8 n) {
    requireRestored(*this, n);
    ini().WriteString(QStringLiteral("alram"), kR + QString::number(n), slot(n).Alram);
}

void BoardModel::memoSave(quint8 n) {
    requireRestored(*this, n);
    ini().WriteString(QStringLiteral("Memo"), kR + QString::number(n), view(n).hint);
}

// ---- restore and paint -------------------------------------------------

void BoardModel::slotsLoad() {
    // One reading of the file for the whole restore: every value comes from
    // the same moment of the file, and the board starts quickly.
    const IniStore::Snapshot store = ini().snapshot();
    for (int n = 1; n <= kSlots; ++n) {
        const QString num = QString::number(n);
        const QString key = kR + num;
        RoomSlot& s = slot(n);
        s.Name = store.ReadString(QStringLiteral("Name"), QStringLiteral("LName") + num, num);
        s.Panel = static_cast<quint8>(store.ReadInteger(QStringLiteral("Panel"), QStringLiteral("P") + num, 0));
        s.rStatus = store.ReadString(QStringLiteral("rStatus"), key, QString());
        s.Sleep = static_cast<quint8>(store.ReadInteger(QStringLiteral("Sleep"), key, 0));
        s.Time = store.ReadString(QStringLiteral("Time"), key, QString());
        s.TimeEnd = store.ReadString(QStringLiteral("TimeEnd"), key, QString());
        SaveMonth = store.ReadInteger(QStringLiteral("CashTime"), QStringLiteral("SaveMonth"), 1);
        s.MoneyRs = store.ReadInteger(QStringLiteral("Money"), QStringLiteral("rs") + num, s.MoneyRs);
        s.MoneyRd = store.ReadInteger(QStringLiteral("Money"), QStringLiteral("rd") + num, s.MoneyRd);
        s.Alram = store.ReadString(QStringLiteral("Alram"), key, QString());
        views_[index(n)].hint = store.ReadString(QStringLiteral("Memo"), key, QString());
        s.RoomKey = static_cast<quint16>(store.ReadInteger(QStringLiteral("RoomKey"), key, 0));
        s.DoorStatus = static_cast<quint8>(store.ReadInteger(QStringLiteral("DoorStatus"), key, 0));
        left_.businessName = store.ReadString(QStringLiteral("Motel"), QStringLiteral("CoName"), QString());
        RestCnt = store.ReadInteger(QStringLiteral("Motel"), QStringLiteral("RestCnt"), 0);
        SleepCnt = store.ReadInteger(QStringLiteral("Motel"), QStringLiteral("SleepCnt"), 0);
        restored_.set(index(n));
        emit slotChanged(n);
    }
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

    if (!s.Alram.isEmpty()) {
        if (s.Alram > nowMinute)
            v.startColor = Colors::Magenta;
        else if (s.Alram < nowMinute)
            v.startColor = Colors::Orange;
    }

    // Room number and panel come before the state look, so that a missing
    // picture still leaves the room visible with its number.
    if (s.Name.size() > 2) {
        v.buttonCaption = s.Name;
    } else {
        v.buttonCaption = QStringLiteral("호수");
        v.kindVisible = false;
    }
    if (s.Panel == 1) v.visible = true;
    v.doorImage = s.DoorStatus == 1 ? kDoor : QString();
    if (!v.doorImage.isEmpty()) ctx_.assets.picture(kDoor);
    emit slotChanged(n);

    const QString& st = s.rStatus;
    const QString byFlag = s.Sleep == 1 ? kMoon : kImp;
    if (st.isEmpty() || st == States::Finish) {
        if (s.Sleep == 1) {
            LabelFinish2(n);
            setGlyph(n, kMoon);
        } else {
            LabelFinish(n);
            if (!st.isEmpty()) setGlyph(n, kImp);
        }
    } else if (st == States::DaSil) {
        LabelDaSil(n);
        setGlyph(n, kImp);
    } else if (st == States::Sleep) {
        LabelSleep(n);
        setGlyph(n, kMoon);
    } else if (st == States::Clean) {
        LabelClean(n);
        setGlyph(n, byFlag);
    } else if (st == States::WithOut) {
        LabelWithOut(n);
        setGlyph(n, byFlag);
    } else if (st == States::WithOut2) {
        LabelWithOut2(n);
        s.OutMark = 1;
        setGlyph(n, byFlag);
    }
}

// ---- changes from the other parts of the board -------------------------

SlotView& BoardModel::editView(int n) { return views_.at(index(n)); }

void BoardModel::viewChanged(int n) { emit slotChanged(n); }

void BoardModel::setBusinessName(const QString& name) {
    left_.businessName = name;
    emit leftChanged();
}

void BoardModel::setClockTexts(const QString& date, const QString& time) {
    left_.date = date;
    left_.time = time;
    emit leftChanged();
}

// ---- message boxes -----------------------------------------------------

void BoardModel::ShowError(const QString& text) { ctx_.dialogs.ShowError(text); }
void BoardModel::ShowInfo(const QString& text) { ctx_.dialogs.ShowInfo(text); }
bool BoardModel::AskYesNo(const QString& text) { return ctx_.dialogs.AskYesNo(text); }
