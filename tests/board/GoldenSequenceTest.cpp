// Long seeded sequences of what happens at the desk (controller blocks,
// popup choices, stay kind switches, room setups, morning calls, clock steps)
// driven through the real board, INI file and database. What they leave
// behind (the file after every step, the history and ledger rows, the event
// log, the sounds, the boxes and the panels) must stay as recorded in
// tests/board/golden/. Run with TAVOLEN_REGENERATE_GOLDEN=1 to record anew
// after a deliberate change, and read the diff before committing it.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFileInfo>
#include <random>

#include "board/ClerkActions.h"
#include "board/MinuteStamp.h"
#include "board/RoomModalWindows.h"
#include "platform/Cp949.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/RoomRecords.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

// The clerk picks the button at `pick` among the offered ones and 취 소
// (modulo one more than the buttons: the last value closes the popup by its
// close box).
class GoldenWindows : public RoomModalWindows {
public:
    std::optional<RoomAction> runPopup(const RoomOffer& offer, const QString& room) override {
        const std::size_t buttons = offer.actions.size() + 1;
        shown = room + QLatin1Char('/') + QString::number(static_cast<int>(buttons));
        if (whileOpen) whileOpen();
        const std::size_t i = pick % (buttons + 1);
        if (i < offer.actions.size()) return offer.actions[i];
        return std::nullopt;
    }
    RoomSetupResult runRoomSetup(int, const QString&, Query&) override { return setup; }

    std::size_t pick = 0;
    QString shown;
    std::function<void()> whileOpen;
    RoomSetupResult setup;
};

struct Room {
    int slot;
    const char* name;
    int key;
    const char* state;  // stored label, UTF-8
    int sleep;
    int startedMinutesAgo;  // 0: no running stay
};

// A dozen slots: a duplicated key (the higher slot wins), a slot without a
// room number, a room the controller cannot reach, stays already running.
const Room kRooms[] = {
    {1, "101", 129, "", 0, 0},         {2, "102", 130, "대 실", 0, 70},
    {3, "103", 131, "완 료", 1, 0},    {7, "201", 132, "외 출", 0, 200},
    {12, "202", 133, "숙 박", 1, 400}, {40, "301", 134, "퇴 실", 1, 150},
    {41, "302", 134, "청 소", 0, 30},  {50, "303", 0, "", 0, 0},
    {72, "7", 135, "", 0, 0},          {60, "401", 136, "완 료", 0, 0},
};
const int kKeys[] = {129, 130, 131, 132, 133, 134, 135, 136};

QString hash(const QByteArray& bytes) {
    return QString::fromLatin1(
        QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().left(10));
}

QString colourText(const std::optional<LogColor>& c) {
    if (!c) return QStringLiteral("none");
    if (!*c) return QStringLiteral("text");
    return QString::number(**c, 16);
}

class GoldenRun {
public:
    explicit GoldenRun(quint32 seed) : random_(seed) {
        copyFreshDatabase(f_.dataDir());
        db_.open();
        f_.board.setRecords(&records_);
        f_.board.purgeTables = [this] { records_.purge(f_.board.ledgerMonths); };
        {
            IniStore ini(f_.iniPath());
            for (const Room& r : kRooms) {
                const QString n = QString::number(r.slot);
                const QString k = QStringLiteral("r") + n;
                ini.writeString(QStringLiteral("Name"), QStringLiteral("LName") + n,
                                QString::fromUtf8(r.name));
                ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P") + n, 1);
                ini.writeInteger(QStringLiteral("RoomKey"), k, r.key);
                ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rd") + n, 20000 + r.slot);
                ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rs") + n, 40000 + r.slot);
                if (*r.state)
                    ini.writeString(QStringLiteral("rStatus"), k, QString::fromUtf8(r.state));
                ini.writeInteger(QStringLiteral("Sleep"), k, r.sleep);
                if (r.startedMinutesAgo == 0) continue;
                const QString start = TimeText(f_.clock.now().addSecs(-60 * r.startedMinutesAgo));
                ini.writeString(QStringLiteral("Time"), k, start);
                ini.writeString(QStringLiteral("TimeEnd"), k, QStringLiteral("16:5"));
                execSql(db_,
                        QStringLiteral(R"(Insert Into "Cash.DB" Values('%1','%2','','%3','%4'))")
                            .arg(QString::fromUtf8(r.name), start.left(12),
                                 r.sleep == 1 ? QStringLiteral("숙박") : QStringLiteral("대실"),
                                 QString::number(r.sleep == 1 ? 40000 + r.slot : 20000 + r.slot)));
            }
            ini.writeString(
                QStringLiteral("Alram"), QStringLiteral("r12"),
                f_.clock.now().addSecs(600).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        }
        f_.start();
        f_.board.onSecondTick();
        f_.board.onMinuteTick();
        trace(QStringLiteral("start"));
    }

    QString run(int steps) {
        for (int i = 0; i < steps; ++i) step();
        return result();
    }

private:
    int below(int n) { return static_cast<int>(random_() % static_cast<quint32>(n)); }

    QByteArray randomBlock() {
        QByteArray block;
        const int pairs = 1 + below(8);
        for (int p = 0; p < pairs; ++p) {
            if (!block.isEmpty() && below(6) == 0) {  // the controller says it again
                block.append(block.right(2));
                continue;
            }
            int key = kKeys[below(static_cast<int>(std::size(kKeys)))];
            const int odd = below(20);
            if (odd == 0) key = 200;   // a key no room has
            if (odd == 1) key = 0x41;  // text on the line
            const int code = below(12) == 0 ? 7 + below(249) : below(7);
            block.append(static_cast<char>(key));
            block.append(static_cast<char>(code));
        }
        if (below(10) == 0) block.chop(1);  // a lone last byte
        return block;
    }

    int randomSlot() { return kRooms[below(static_cast<int>(std::size(kRooms)))].slot; }

    void step() {
        const int what = below(100);
        if (what < 45) {
            const QByteArray block = randomBlock();
            f_.board.onControllerBlock(block);
            trace(QStringLiteral("block ") + QString::fromLatin1(block.toHex(' ')));
        } else if (what < 67) {
            const int n = randomSlot();
            windows_.pick = static_cast<std::size_t>(below(7));
            windows_.shown.clear();
            QByteArray meanwhile;
            const int key = f_.board.slot(n).keyCode;
            if (below(4) == 0) meanwhile = randomBlock();
            // The room's own report while its popup is open.
            if (below(4) == 0 && key >= 128)
                meanwhile.append(static_cast<char>(key)).append(static_cast<char>(1 + below(6)));
            windows_.whileOpen = [&] {
                if (!meanwhile.isEmpty()) f_.board.onControllerBlock(meanwhile);
            };
            actions_.onStateLabelClicked(n);
            windows_.whileOpen = nullptr;
            trace(QStringLiteral("popup %1 pick %2 shown %3 meanwhile %4")
                      .arg(n)
                      .arg(windows_.pick)
                      .arg(windows_.shown, QString::fromLatin1(meanwhile.toHex(' '))));
        } else if (what < 73) {
            const int n = randomSlot();
            actions_.toggleStayKind(n);
            trace(QStringLiteral("kind %1").arg(n));
        } else if (what < 92) {
            const int minutes = 1 + below(below(3) == 0 ? 200 : 25);
            for (int m = 0; m < minutes; ++m) {
                f_.clock.advanceMinutes(1);
                f_.board.onSecondTick();
                f_.board.onMinuteTick();
            }
            const int seconds = below(8);
            for (int s = 0; s < seconds; ++s) f_.board.onSecondTick();
            trace(QStringLiteral("clock +%1m %2s").arg(minutes).arg(seconds));
        } else if (what < 96) {
            const int n = randomSlot();
            const int kind = below(10);
            RoomSetupResult r;
            if (kind == 0) {
                r.resetRequested = true;
            } else if (kind < 7) {
                r.newRoomName = QString::number(500 + below(30));
                r.newKeyCode = kKeys[below(static_cast<int>(std::size(kKeys)))];
            } else {
                f_.board.slot(n).dayUseFee = 10000 * (1 + below(5));
                f_.board.slot(n).overnightFee = 30000 + 10000 * below(5);
                r.feesSaved = true;
            }
            windows_.setup = r;
            actions_.onRoomButtonClicked(n);
            trace(QStringLiteral("setup %1 reset %2 name %3 key %4 fees %5")
                      .arg(n)
                      .arg(r.resetRequested)
                      .arg(r.newRoomName)
                      .arg(r.newKeyCode)
                      .arg(r.feesSaved));
        } else {
            const int n = randomSlot();
            const QDateTime now = f_.clock.now();
            const QString call = below(4) == 0 ? QString()
                                               : now.addSecs(60 * (below(90) - 10))
                                                     .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
            f_.board.ini().writeStrings(
                {{QStringLiteral("Alram"), QStringLiteral("r%1").arg(n), call}});
            f_.board.setMorningCall(n, call, now.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
            trace(QStringLiteral("call %1 %2").arg(n).arg(call));
        }
    }

    QString panels() const {
        QString out;
        for (int n = 1; n <= BoardModel::kSlots; ++n) {
            const SlotView& v = f_.board.view(n);
            if (!v.visible) continue;
            out += QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9|")
                       .arg(n)
                       .arg(v.panelColor, 0, 16)
                       .arg(v.buttonCaption)
                       .arg(v.buttonFontColor, 0, 16)
                       .arg(v.labelCaption)
                       .arg(v.labelFontColor, 0, 16)
                       .arg(v.labelColor, 0, 16)
                       .arg(v.stateImage, v.kindGlyphFile);
            out += QStringLiteral("%1|%2|%3|%4|%5|%6|%7\n")
                       .arg(v.kindVisible)
                       .arg(v.doorImage, v.startText)
                       .arg(v.startColor, 0, 16)
                       .arg(v.elapsedText)
                       .arg(v.elapsedFontColor, 0, 16)
                       .arg(v.hint);
        }
        const LeftColumn& l = f_.board.left();
        const EventLog& log = f_.board.eventLog();
        out += l.dayUseCountText + QLatin1Char(' ') + l.overnightCountText + QLatin1Char(' ') +
               log.lastEventRoom() + QLatin1Char(' ') + log.lastEventWord() + QLatin1Char(' ') +
               colourText(std::optional<LogColor>(log.lastEventWordColor())) + QLatin1Char(' ') +
               colourText(std::optional<LogColor>(log.lastEventRoomColor())) + QLatin1Char('\n');
        return out;
    }

    void trace(const QString& what) {
        trace_ += QStringLiteral("%1 %2 | ini %3 panels %4 sounds %5 log %6 boxes %7\n")
                      .arg(steps_++)
                      .arg(what, hash(readBytes(f_.iniPath())), hash(panels().toUtf8()))
                      .arg(f_.sound.played.size())
                      .arg(f_.board.eventLog().lines().size())
                      .arg(f_.dialogs.errors.size() + f_.dialogs.infos.size());
    }

    QString rows(const QString& table) {
        QString out;
        for (const QStringList& row :
             rowsOf(db_, QStringLiteral(R"(Select * From "%1" Order By rowid)").arg(table)))
            out += row.join(QLatin1Char('|')) + QLatin1Char('\n');
        return out;
    }

    QString result() {
        QString out = trace_;
        out += QStringLiteral("== file\n") + Cp949::decode(readBytes(f_.iniPath()));
        out += QStringLiteral("== room.DB\n") + rows(QStringLiteral("room.DB"));
        out += QStringLiteral("== Cash.DB\n") + rows(QStringLiteral("Cash.DB"));
        out += QStringLiteral("== log\n");
        const EventLog& log = f_.board.eventLog();
        for (qsizetype i = 0; i < log.lines().size(); ++i)
            out += log.lines()[i] + QLatin1Char(' ') + colourText(log.lineColor(i)) +
                   QLatin1Char('\n');
        out += QStringLiteral("== sounds\n");
        for (const QString& path : f_.sound.played)
            out += QFileInfo(path).fileName() + QLatin1Char('\n');
        out += QStringLiteral("== boxes\n");
        for (const QString& e : f_.dialogs.errors)
            out += QStringLiteral("error ") + e + QLatin1Char('\n');
        for (const QString& i : f_.dialogs.infos)
            out += QStringLiteral("info ") + i + QLatin1Char('\n');
        out += QStringLiteral("== desk log\n") + deskLogLines(f_.dataDir()).join(QLatin1Char('\n'));
        out += QStringLiteral("\n== notice\n") + f_.board.notice() + QLatin1Char('\n') +
               f_.board.storageWarning() + QLatin1Char('\n');
        out += QStringLiteral("== panels\n") + panels();
        return out;
    }

    std::mt19937 random_;
    BoardFixture f_;
    Database db_{f_.dataDir()};
    RoomRecords records_{db_, f_.clock, f_.dialogs};
    GoldenWindows windows_;
    ClerkActions actions_{f_.board, db_, windows_};
    QString trace_;
    int steps_ = 0;
};

QString goldenPath(quint32 seed) {
    return QStringLiteral(TAVOLEN_SOURCE_DIR "/tests/board/golden/sequence-%1.txt").arg(seed);
}

class GoldenSequence : public ::testing::TestWithParam<quint32> {};

TEST_P(GoldenSequence, LeavesWhatWasRecorded) {
    const quint32 seed = GetParam();
    const QString actual = GoldenRun(seed).run(600);
    const QString path = goldenPath(seed);
    if (qEnvironmentVariableIsSet("TAVOLEN_REGENERATE_GOLDEN")) {
        writeBytes(path, actual.toUtf8());
        GTEST_SKIP() << "recorded " << path.toStdString();
    }
    const QByteArray recorded = readBytes(path);
    ASSERT_FALSE(recorded.isEmpty()) << "no recording at " << path.toStdString();
    const QStringList want = QString::fromUtf8(recorded).split(QLatin1Char('\n'));
    const QStringList got = actual.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < std::min(want.size(), got.size()); ++i) {
        if (want[i] == got[i]) continue;
        const QString whole =
            QDir::temp().filePath(QStringLiteral("golden-sequence-%1.actual").arg(seed));
        writeBytes(whole, actual.toUtf8());
        FAIL() << "line " << i + 1 << " differs (whole run in " << whole.toStdString()
               << ")\nrecorded: " << want[i].toStdString()
               << "\nnow:      " << got[i].toStdString();
    }
    EXPECT_EQ(want.size(), got.size());
}

INSTANTIATE_TEST_SUITE_P(Seeds, GoldenSequence, ::testing::Values(1u, 7u, 2024u, 90210u));

}  // namespace
