#include "admin/EnvironmentSetup.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <optional>
#include <utility>

#include "board/BoardModel.h"
#include "platform/Cp949.h"
#include "platform/Errors.h"
#include "store/IniStore.h"

namespace {
const QString kMotel = QStringLiteral("Motel");

// A whole number of one or two ASCII digits, or nothing.
std::optional<int> smallNumber(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,2}$"));
    if (!digits.match(text).hasMatch()) return std::nullopt;
    return text.toInt();
}

// Stores the values and the trail's row of each that changed as one step of the board, so
// that they reach the disk together. A value the file cannot hold refuses them all before
// anything is staged.
void saveRecorded(BoardModel& board, const QList<IniStore::Change>& changes) {
    for (const IniStore::Change& c : changes) {
        IniStore::checkWritable(c);
        Cp949::encode(c.value);
    }
    const QStringList before = board.storedValues(changes);
    const BoardModel::Step step(board);
    for (const IniStore::Change& c : changes) board.storeValue(c.section, c.key, c.value);
    board.recordSettings(audit::Action::EnvironmentSaved, changes, before);
}
}  // namespace

EnvironmentSetup::EnvironmentSetup(BoardModel& board, EnvironmentSeams seams)
    : board_(board), seams_(std::move(seams)) {}

EnvironmentSetup::Business EnvironmentSetup::business() const {
    const IniStore::Snapshot ini = board_.ini().snapshot();
    return {ini.readString(kMotel, QStringLiteral("CoName"), QString()),
            ini.readString(kMotel, QStringLiteral("Topname"), QString()),
            ini.readString(kMotel, QStringLiteral("Tel"), QString())};
}

QString EnvironmentSetup::port() const { return board_.portName; }

bool EnvironmentSetup::registerBusiness(const Business& b) {
    try {
        // All three or none: a name the file cannot hold leaves the others too.
        saveRecorded(board_, {{kMotel, QStringLiteral("CoName"), b.name},
                              {kMotel, QStringLiteral("Topname"), b.representative},
                              {kMotel, QStringLiteral("Tel"), b.telephone}});
    } catch (const std::exception& e) {
        board_.showError(QStringLiteral("상호내역을 저장하지 못했습니다: ") + errorText(e));
        return false;
    }
    board_.setBusinessName(b.name);
    return true;
}

int EnvironmentSetup::checkPosition(Position& boxes) {
    bool refused = false;
    std::optional<int> x;
    if (boxes.x.isEmpty()) {
        board_.showError(QStringLiteral("X값을 입력해주셔야 합니다"));
        boxes.x = QStringLiteral("1");
        refused = true;
    } else if (x = smallNumber(boxes.x); !x || *x < 1 || *x > 6) {
        board_.showError(QStringLiteral("가로위치는 1에서 6까지 입력하셔야 합니다"));
        refused = true;
    }
    std::optional<int> y;
    if (boxes.y.isEmpty()) {
        board_.showError(QStringLiteral("Y값을 입력해주셔야 합니다"));
        boxes.y = QStringLiteral("1");
        refused = true;
    } else if (y = smallNumber(boxes.y); !y) {
        board_.showError(QStringLiteral("세로위치는 숫자로 입력하셔야 합니다"));
        refused = true;
    } else if (*y > 12) {
        board_.showError(QStringLiteral("12이상 입력불가능"));
        boxes.y = QStringLiteral("12");
        refused = true;
    } else if (*y < 1) {
        board_.showError(QStringLiteral("세로위치는 1에서 12까지 입력하셔야 합니다"));
        refused = true;
    }
    if (refused) return 0;
    return (*y - 1) * 6 + *x;
}

bool EnvironmentSetup::createRoom(Position& boxes) {
    const int n = checkPosition(boxes);
    if (n == 0) return false;
    if (board_.view(n).visible) {
        board_.showError(QStringLiteral("이미 룸이 생성되어 있습니다"));
        return false;
    }
    try {
        saveRecorded(
            board_, {{QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), QStringLiteral("1")}});
    } catch (const std::exception& e) {
        board_.showError(errorText(e));
        return false;
    }
    board_.slot(n).hasPanel = 1;
    board_.editView(n).visible = true;
    board_.viewChanged(n);
    return true;
}

bool EnvironmentSetup::removeRoom(Position& boxes) {
    const int n = checkPosition(boxes);
    if (n == 0) return false;
    if (board_.slot(n).hasRoom()) {
        board_.showError(
            QStringLiteral("룸설정이 되어있는 룸은 룸설정 초기화하셔야 제거할수 있습니다"));
        return false;
    }
    if (!board_.view(n).visible) {
        board_.showError(QStringLiteral("생성하지 않은 룸은 제거할수 없습니다"));
        return false;
    }
    const QString num = QString::number(n);
    try {
        saveRecorded(board_,
                     {{QStringLiteral("Panel"), QStringLiteral("P") + num, QStringLiteral("0")},
                      {QStringLiteral("Name"), QStringLiteral("LName") + num, num}});
    } catch (const std::exception& e) {
        board_.showError(errorText(e));
        return false;
    }
    board_.slot(n).hasPanel = 0;
    board_.editView(n).visible = false;
    board_.viewChanged(n);
    return true;
}

bool EnvironmentSetup::removeAll() {
    if (!board_.askYesNo(
            QStringLiteral("전체제거를 하시면 모든 객실의 설정(호수, 키, 요금, 모닝콜, 메모)과 "
                           "객실 기록, 매출 장부가 모두 지워집니다.\n"
                           "지우기 전에 자료복사를 합니다. 전체제거 하시겠습니까?")))
        return false;
    if (!seams_.backup || !seams_.backup()) {
        board_.showError(QStringLiteral(
            "자료복사를 하지 못해 전체제거를 하지 않았습니다. 지워진 것은 없습니다"));
        return false;
    }

    QList<IniStore::Change> reset;
    const QString r = QStringLiteral("r");
    for (int n = 1; n <= BoardModel::kSlots; ++n) {
        const QString num = QString::number(n);
        reset += {{QStringLiteral("Panel"), QStringLiteral("P") + num, QStringLiteral("0")},
                  {QStringLiteral("Name"), QStringLiteral("LName") + num, num},
                  {QStringLiteral("Sleep"), r + num, QStringLiteral("0")}};
        for (const char* section :
             {"rStatus", "RoomKey", "TimeEnd", "Time", "DoorStatus", "Alram", "Memo"})
            reset.append({QString::fromLatin1(section), r + num, QString()});
        reset += {{QStringLiteral("Money"), QStringLiteral("rs") + num, QString()},
                  {QStringLiteral("Money"), QStringLiteral("rd") + num, QString()}};
    }
    reset += {{kMotel, QStringLiteral("SleepCnt"), QStringLiteral("0")},
              {kMotel, QStringLiteral("RestCnt"), QStringLiteral("0")}};
    // One step: the file's reset and the emptied tables reach the disk
    // together, after whatever the board still had pending, so that neither a
    // failure nor a power cut between them leaves open ledger rows of wiped rooms.
    try {
        const BoardModel::Step step(board_);
        for (const IniStore::Change& c : reset) board_.storeValue(c.section, c.key, c.value);
        for (int n = 1; n <= BoardModel::kSlots; ++n) board_.forgetOwnKeys(n);
        if (seams_.deleteAllRecords) seams_.deleteAllRecords();
        board_.recordAction(audit::Action::RemoveAll);
        for (int n = 1; n <= BoardModel::kSlots; ++n) {
            RoomSlot& s = board_.slot(n);
            s = RoomSlot{};
            s.roomName = QString::number(n);
            SlotView& v = board_.editView(n);
            v = SlotView{};
            v.kindVisible = false;
            board_.showState(n);
        }
        board_.storedDayUseCount = 0;
        board_.storedOvernightCount = 0;
    } catch (const std::exception& e) {
        board_.showError(QStringLiteral("객실 기록과 매출 장부를 지우지 못했습니다: ") +
                         errorText(e));
        return false;
    }
    return true;
}

bool EnvironmentSetup::savePort(const QString& port) {
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]?|1[01][0-9]|12[0-8])$"));
    if (!com.match(port).hasMatch() && !port.startsWith(QLatin1Char('/'))) {
        board_.showError(QStringLiteral("포트 이름이 올바르지 않습니다: ") + port);
        return false;
    }
    try {
        saveRecorded(board_, {{kMotel, QStringLiteral("ComPort"), port}});
    } catch (const std::exception& e) {
        board_.showError(errorText(e));
        return false;
    }
    board_.portName = port;
    try {
        if (seams_.reopenPort) seams_.reopenPort(port);
    } catch (const std::exception& e) {
        board_.showError(QStringLiteral("%1 포트를 열 수 없습니다: %2\n"
                                        "포트는 저장했으며, 열릴 때까지 다시 시도합니다.")
                             .arg(port, errorText(e)));
        return false;
    }
    return true;
}

QStringList EnvironmentSetup::availablePorts(const QString& devRoot) {
    QStringList ports{QStringLiteral("COM1"), QStringLiteral("COM2")};
    const QDir dev(devRoot);
    const auto byNumber = [](const QString& a, const QString& b) {
        static const QRegularExpression split(QStringLiteral("^(\\D*)(\\d*)$"));
        const auto ma = split.match(a), mb = split.match(b);
        if (ma.captured(1) != mb.captured(1)) return ma.captured(1) < mb.captured(1);
        return ma.captured(2).toInt() < mb.captured(2).toInt();
    };
    QStringList devices = dev.entryList(
        {QStringLiteral("ttyS*"), QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
        QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    std::sort(devices.begin(), devices.end(), byNumber);
    for (const QString& d : devices) ports.append(dev.filePath(d));
    const QDir byId(dev.filePath(QStringLiteral("serial/by-id")));
    for (const QString& d :
         byId.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        ports.append(byId.filePath(d));
    return ports;
}
