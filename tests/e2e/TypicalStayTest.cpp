// The real program under Xvfb, its controller on a pseudo-terminal: the
// typical stay sent as bytes, checked in the room-state file and the
// database, across a hard stop and a restart.
#include <QImage>

#include "e2e/RealDesk.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "support/StoreHelpers.h"

namespace {

class TypicalStay : public RealDesk {
protected:
    void SetUp() override {
        RealDesk::SetUp();
        IniStore(ini()).writeInteger(QStringLiteral("RoomKey"), QStringLiteral("r1"), 129);
    }

    void send(int key, int event) {
        const unsigned char pair[2] = {static_cast<unsigned char>(key),
                                       static_cast<unsigned char>(event)};
        ASSERT_EQ(write(master, pair, 2), 2);
    }

    // Sends a door report until the board has taken it: the board is up and
    // listening. A repeated report of the same event is ignored by the board.
    void waitUntilListening(int event) {
        ASSERT_TRUE(waitFor(
            [&] {
                send(129, event);
                return waitFor(
                    [&] { return stored("DoorStatus") == QString::number(event == 1 ? 1 : 0); },
                    500);
            },
            30000));
    }

    std::vector<QStringList> ledger() {
        Database db(dataDir());
        db.open();
        return rowsOf(
            db,
            QStringLiteral("select roomNum, IDateTime, ODateTime, Action, Cash from \"Cash.DB\""));
    }
    QStringList history() {
        Database db(dataDir());
        db.open();
        QStringList actions;
        for (const auto& r :
             rowsOf(db, QStringLiteral("select Action, Comm from \"room.DB\" order by rowid")))
            actions << r[0] + r[1];
        return actions;
    }

    int pixelsOf(QRgb colour) {
        QProcess shot;
        shot.setProcessEnvironment(environment());
        const QString file = dir.filePath(QStringLiteral("shot.png"));
        shot.start(QStringLiteral("import"),
                   {QStringLiteral("-window"), QStringLiteral("root"), file});
        shot.waitForFinished(20000);
        const QImage image(file);
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
        return count;
    }
};

TEST_F(TypicalStay, ThroughAHardStopAndARestart) {
    startBoard();
    waitUntilListening(1);
    send(129, 3);  // the guest takes the key: a day-use stay begins
    ASSERT_TRUE(waitFor([&] { return stored("rStatus") == QStringLiteral("대 실"); }));
    const QString time = stored("Time");
    EXPECT_GT(time.size(), 12);
    auto rows = ledger();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (QStringList{"101", time.left(12), "", "대실", "30000"}));

    // A power cut: the board is killed and comes back as it was.
    board.kill();
    board.waitForFinished();
    startBoard();
    waitUntilListening(2);
    EXPECT_GT(pixelsOf(qRgb(0, 0, 255)), 63 * 24 / 2)
        << "the restored board shows the blue 대 실 label";

    send(129, 4);
    ASSERT_TRUE(waitFor([&] { return stored("rStatus") == QStringLiteral("퇴 실"); }));
    EXPECT_FALSE(stored("TimeEnd").isEmpty());
    send(129, 5);
    send(129, 6);
    // The board saves the label first and empties Time last, after the
    // history and ledger writes: wait for the whole event, not its first write.
    ASSERT_TRUE(waitFor([&] {
        return stored("rStatus") == QStringLiteral("완 료") && stored("Time").isEmpty();
    }));
    rows = ledger();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], time.left(12));
    EXPECT_EQ(rows[0][2].size(), 12);  // the stay is closed with its end
    EXPECT_EQ(history(), (QStringList{"문열림1", "대실1", "문닫힘1", "퇴실1", "청소1", "완료1"}));
}

}  // namespace
