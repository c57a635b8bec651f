#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <memory>

#include "admin/PasswordWindow.h"
#include "admin/RoomSetupWindow.h"
#include "auth/PasswordRules.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/Query.h"
#include "store/RoomRecords.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

// Rooms 101 (slot 1, key number 5, fees 30000 and 50000) and 102 (slot 2)
// on the board, slot 3 without a number; the room setup opened for one slot
// with that room's history.
struct RoomSetup {
    RoomSetup() {
        copyFreshDatabase(f.dataDir());
        db.open();
        IniStore ini(f.iniPath());
        for (const auto& [n, name] : {std::pair{1, "101"}, {2, "102"}})
            ini.writeString(QStringLiteral("Name"), QStringLiteral("LName%1").arg(n),
                            QString::fromLatin1(name));
        ini.writeInteger(QStringLiteral("RoomKey"), QStringLiteral("r1"), 133);
        ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rd1"), 30000);
        ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rs1"), 50000);
        f.start();
    }

    RoomSetupWindow& open(int n, int loginLevel = 0) {
        const QString room = f.board.view(n).buttonCaption;
        f.session.grade = loginLevel;
        Query& q = db.historyQuery();
        q.clear();
        q.addLine(QStringLiteral(
            R"(Select * From "room.DB" Where roomNum = :N1 Order By Sdate DESC, Stime DESC)"));
        q.bind(QStringLiteral("N1"), room);
        q.open();
        window = std::make_unique<RoomSetupWindow>(f.board, n, room, q, [this](QWidget* opener) {
            ++signIns;
            if (signIn) signIn(opener);
        });
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *window;
    }

    QLineEdit* edit(const char* name) {
        return window->findChild<QLineEdit*>(QString::fromLatin1(name));
    }
    QPushButton* button(const char* name) {
        return window->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    void type(const char* box, const QString& text) {
        edit(box)->setFocus();
        edit(box)->clear();
        QTest::keyClicks(edit(box), text);
    }

    BoardFixture f;
    Database db{f.dataDir()};
    RoomRecords ledger{db, f.clock, f.dialogs};
    std::unique_ptr<RoomSetupWindow> window;
    std::function<void(QWidget*)> signIn;
    int signIns = 0;
};

TEST(RoomSetupWindow, ShowsTheRoomsHistoryInTheColourOfEachState) {
    RoomSetup r;
    const struct {
        const char* action;
        const char* comm;
        QColor colour;  // invalid: painted normally
    } rows[] = {
        {"숙박", "0", QColor(255, 0, 0)},
        {"숙박취소", "0", QColor(255, 0, 0)},
        {"대실전환", "0", QColor(0, 0, 255)},
        {"대실유지", "1", QColor(0, 0, 255)},
        {"청소", "1", QColor(128, 128, 128)},
        {"외출", "0", QColor(128, 0, 128)},
        {"퇴실", "1", QColor(128, 0, 128)},
        {"완료", "1", QColor(0, 128, 0)},
        {"문열림", "1", QColor()},
        {"객실교체", "0", QColor()},
    };
    QDateTime t(QDate(2006, 4, 1), QTime(9, 5));
    for (const auto& row : rows) {
        r.f.clock.set(t);
        t = t.addSecs(-60);  // listed newest first
        r.ledger.addHistory(QStringLiteral("101"), QString::fromUtf8(row.action),
                            QString::fromLatin1(row.comm));
    }
    r.ledger.addHistory(QStringLiteral("102"), QStringLiteral("청소"), QStringLiteral("0"));

    RoomSetupWindow& w = r.open(1);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("101호 내역"));
    EXPECT_EQ(r.button("setupToggle")->text(), QStringLiteral("101호 룸설정"));
    EXPECT_FALSE(r.button("resetButton")->isHidden());
    EXPECT_FALSE(r.button("saveRoomButton")->isEnabled());
    EXPECT_EQ(w.designHeight(), RoomSetupWindow::kCollapsed);
    EXPECT_EQ(w.arrow(), QStringLiteral("arrow3d.bmp"));
    EXPECT_EQ(w.result().newRoomName, QString());
    EXPECT_FALSE(w.result().feesSaved);

    auto* grid = w.findChild<QTableWidget*>(QStringLiteral("historyGrid"));
    ASSERT_TRUE(grid);
    QStringList header;
    for (int c = 0; c < grid->columnCount(); ++c) header << grid->horizontalHeaderItem(c)->text();
    EXPECT_EQ(header, (QStringList{"순번", "방번호", "상태", "날짜", "시간", "입력"}));
    ASSERT_EQ(grid->rowCount(), int(std::size(rows)));
    QStringList first;
    for (int c = 0; c < 6; ++c) first << grid->item(0, c)->text();
    EXPECT_EQ(first, (QStringList{"1", "101호", "숙박", "2006-04-01", "09:05", "지정"}));
    EXPECT_EQ(grid->item(3, 5)->text(), QStringLiteral("신호"));
    EXPECT_EQ(grid->item(9, 0)->text(), QStringLiteral("10"));
    for (int i = 0; i < int(std::size(rows)); ++i) {
        SCOPED_TRACE(rows[i].action);
        for (int c = 0; c < 6; ++c) {
            const QVariant fg = grid->item(i, c)->data(Qt::ForegroundRole);
            EXPECT_EQ(fg.isValid() ? fg.value<QBrush>().color() : QColor(), rows[i].colour);
        }
        EXPECT_FALSE(grid->item(i, 0)->flags() & Qt::ItemIsSelectable);
        EXPECT_TRUE(grid->item(i, 1)->flags() & Qt::ItemIsSelectable);
    }
}

TEST(RoomSetupWindow, SlotWithoutANumberOpensEmpty) {
    RoomSetup r;
    RoomSetupWindow& w = r.open(3, 3);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("호수호 설정"));
    EXPECT_EQ(r.button("setupToggle")->text(), QStringLiteral("룸설정"));
    EXPECT_TRUE(r.button("resetButton")->isHidden());
    auto* grid = w.findChild<QTableWidget*>(QStringLiteral("historyGrid"));
    EXPECT_EQ(grid->rowCount(), 1);  // the header and one empty row
    EXPECT_TRUE(grid->item(0, 1) == nullptr || grid->item(0, 1)->text().isEmpty());

    r.click("setupToggle");
    EXPECT_EQ(w.designHeight(), RoomSetupWindow::kFull);
    for (const char* box : {"roomNumberBox", "dayUseFeeBox", "overnightFeeBox", "keyNumberBox"})
        EXPECT_TRUE(r.edit(box)->text().isEmpty()) << box;
}

TEST(RoomSetupWindow, RoomSetupOpensByTheSignedInGrade) {
    const struct {
        int level;
        bool answer;     // to the question, when nobody is signed in
        int signedInAs;  // by the password window; -1: not opened
        int height;
    } cases[] = {
        {0, false, -1, RoomSetupWindow::kCollapsed},
        {0, true, 0, RoomSetupWindow::kCollapsed},  // declined or failed
        {0, true, 1, RoomSetupWindow::kFees},
        {0, true, 3, RoomSetupWindow::kFull},
        {0, true, 2, RoomSetupWindow::kCollapsed},
        {1, true, -1, RoomSetupWindow::kFees},
        {2, true, -1, RoomSetupWindow::kCollapsed},
        {3, true, -1, RoomSetupWindow::kFull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.level << " " << c.signedInAs);
        RoomSetup r;
        r.f.dialogs.answers = {c.answer};
        r.signIn = [&](QWidget*) {
            EXPECT_EQ(r.f.session.gradeToCheck, 1);
            r.f.session.grade = c.signedInAs;
        };
        RoomSetupWindow& w = r.open(1, c.level);
        r.click("setupToggle");
        EXPECT_EQ(w.designHeight(), c.height);
        EXPECT_EQ(r.f.dialogs.questions.size(), c.level == 0 ? 1 : 0);
        if (c.level == 0) {
            EXPECT_EQ(r.f.dialogs.questions[0],
                      QStringLiteral("사용자 인증을 하셔야 합니다. 하시겠습니까?"));
        }
        EXPECT_EQ(r.signIns, c.signedInAs >= 0 ? 1 : 0);
        if (c.height == RoomSetupWindow::kCollapsed) continue;

        EXPECT_EQ(w.arrow(), QStringLiteral("arrow3u.bmp"));
        EXPECT_EQ(r.edit("dayUseFeeBox")->text(), QStringLiteral("30000"));
        EXPECT_EQ(r.edit("overnightFeeBox")->text(), QStringLiteral("50000"));
        const bool full = c.height == RoomSetupWindow::kFull;
        EXPECT_EQ(r.edit("roomNumberBox")->text(), full ? QStringLiteral("101") : QString());
        EXPECT_EQ(r.edit("keyNumberBox")->text(), full ? QStringLiteral("5") : QString());
        EXPECT_EQ(w.focusWidget(), r.edit(full ? "roomNumberBox" : "dayUseFeeBox"));
        EXPECT_EQ(r.edit("dayUseFeeBox")->isVisibleTo(&w), true);
        EXPECT_EQ(r.edit("roomNumberBox")->isVisibleTo(&w), full);

        r.click("setupToggle");  // and closed again
        EXPECT_EQ(w.designHeight(), RoomSetupWindow::kCollapsed);
        EXPECT_EQ(w.arrow(), QStringLiteral("arrow3d.bmp"));
        EXPECT_FALSE(r.edit("dayUseFeeBox")->isVisibleTo(&w));
    }
}

TEST(RoomSetupWindow, BoxesTakeDigitsOnlyUpToTheirLength) {
    const struct {
        const char* box;
        const char* typed;
        const char* shown;
    } cases[] = {
        {"dayUseFeeBox", "12a3-4 5", "12345"},
        {"overnightFeeBox", "12345678", "123456"},
        {"roomNumberBox", "1x2", "12"},
        {"keyNumberBox", "9999", "999"},
    };
    RoomSetup r;
    r.open(1, 3);
    r.click("setupToggle");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        r.type(c.box, QString::fromLatin1(c.typed));
        EXPECT_EQ(r.edit(c.box)->text(), QString::fromLatin1(c.shown));
        QTest::keyClick(r.edit(c.box), Qt::Key_Backspace);
        EXPECT_EQ(r.edit(c.box)->text(), QString::fromLatin1(c.shown).chopped(1));
    }
}

TEST(RoomSetupWindow, NumbersSitInTheMiddleOfTheirBoxes) {
    RoomSetup r;
    r.open(1, 3);
    r.click("setupToggle");
    for (const char* box : {"dayUseFeeBox", "overnightFeeBox", "roomNumberBox", "keyNumberBox"}) {
        SCOPED_TRACE(box);
        QLineEdit* edit = r.edit(box);
        edit->setText(QStringLiteral("1000").left(edit->maxLength()));
        const QImage image = edit->grab().toImage();
        // The rows the digits' ink covers, inside the box's frame.
        int top = image.height();
        int bottom = -1;
        for (int y = 3; y < image.height() - 3; ++y)
            for (int x = 4; x < image.width() - 4; ++x)
                if (qGray(image.pixel(x, y)) < 96) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        ASSERT_GE(bottom, top) << "no digits drawn";
        const double inkMiddle = (top + bottom + 1) / 2.0;
        const double boxMiddle = image.height() / 2.0;
        EXPECT_LE(std::abs(inkMiddle - boxMiddle), 1.5)
            << "ink rows " << top << ".." << bottom << " in " << image.height();
    }
}

TEST(RoomSetupWindow, RoomNumberOfAnotherRoomIsRefused) {
    RoomSetup r;
    RoomSetupWindow& w = r.open(1, 3);
    r.click("setupToggle");

    // The room's own number raises nothing.
    r.edit("roomNumberBox")->setFocus();
    r.edit("keyNumberBox")->setFocus();
    EXPECT_TRUE(r.f.dialogs.errors.isEmpty());

    // Three digits enable 저장 and move on to the key box, where the number
    // is checked.
    r.type("roomNumberBox", QStringLiteral("10"));
    EXPECT_EQ(w.focusWidget(), r.edit("roomNumberBox"));
    QTest::keyClicks(r.edit("roomNumberBox"), QStringLiteral("2"));
    EXPECT_EQ(r.f.dialogs.errors, QStringList{QStringLiteral("이미 지정된 방번호 입니다")});
    EXPECT_TRUE(r.edit("roomNumberBox")->text().isEmpty());
    EXPECT_FALSE(r.button("saveRoomButton")->isEnabled());
    EXPECT_EQ(w.focusWidget(), r.edit("roomNumberBox"));

    r.type("roomNumberBox", QStringLiteral("103"));
    EXPECT_TRUE(r.button("saveRoomButton")->isEnabled());
    EXPECT_EQ(w.focusWidget(), r.edit("keyNumberBox"));
    EXPECT_EQ(r.f.dialogs.errors.size(), 1);
}

TEST(RoomSetupWindow, RoomNumberAndKeyAreHandedToTheBoard) {
    const struct {
        const char* key;
        int code;
    } cases[] = {{"", 0}, {"0", 128}, {"1", 129}, {"127", 255}, {"999", 1127}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        RoomSetup r;
        RoomSetupWindow& w = r.open(1, 3);
        r.click("setupToggle");
        r.type("roomNumberBox", QStringLiteral("205"));
        r.type("keyNumberBox", QString::fromLatin1(c.key));
        r.click("saveRoomButton");
        EXPECT_EQ(w.result().newRoomName, QStringLiteral("205"));
        EXPECT_EQ(w.result().newKeyCode, c.code);
        EXPECT_TRUE(w.isVisible());
        r.click("closeButton");  // 닫기 keeps what was stored
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(w.result().newRoomName, QStringLiteral("205"));
        EXPECT_FALSE(w.result().resetRequested);
    }
}

TEST(RoomSetupWindow, ShortRoomNumberCanBeStoredOnceEnabled) {
    RoomSetup r;
    RoomSetupWindow& w = r.open(3, 3);
    r.click("setupToggle");
    r.type("roomNumberBox", QStringLiteral("301"));
    r.edit("roomNumberBox")->setFocus();
    QTest::keyClick(r.edit("roomNumberBox"), Qt::Key_Backspace);
    EXPECT_TRUE(r.button("saveRoomButton")->isEnabled());
    r.click("saveRoomButton");
    EXPECT_EQ(w.result().newRoomName, QStringLiteral("30"));
}

TEST(RoomSetupWindow, FeesGoIntoTheSlotOnlyWhenBothAreGiven) {
    RoomSetup r;
    RoomSetupWindow& w = r.open(1, 1);
    r.click("setupToggle");
    r.type("dayUseFeeBox", QStringLiteral("25000"));
    r.edit("overnightFeeBox")->clear();
    r.click("saveFeesButton");
    EXPECT_EQ(r.f.dialogs.errors,
              QStringList{QStringLiteral("입력을 하지않고 저장버튼을 누르셨습니다")});
    EXPECT_FALSE(w.result().feesSaved);
    EXPECT_EQ(r.f.board.slot(1).dayUseFee, 30000);

    r.type("overnightFeeBox", QStringLiteral("999999"));
    r.click("saveFeesButton");
    EXPECT_TRUE(w.result().feesSaved);
    EXPECT_EQ(r.f.board.slot(1).dayUseFee, 25000);
    EXPECT_EQ(r.f.board.slot(1).overnightFee, 999999);
    EXPECT_TRUE(w.isVisible());
}

TEST(RoomSetupWindow, ResetIsRequestedAndCloses) {
    RoomSetup r;
    RoomSetupWindow& w = r.open(1, 3);
    r.click("setupToggle");
    r.click("resetButton");
    EXPECT_TRUE(w.result().resetRequested);
    EXPECT_FALSE(w.isVisible());
}

TEST(RoomSetupWindow, SupplierSignedInThroughThePasswordWindowGetsTheFullView) {
    RoomSetup r;
    RecordingLockdown lockdown;
    PasswordRules check(r.db, r.f.clock, r.f.session, lockdown);
    r.signIn = [&](QWidget* opener) {
        PasswordWindow pass(check, r.f.dialogs, opener);
        QTimer::singleShot(0, &pass, [&pass] {
            QTest::mouseClick(pass.findChild<QPushButton*>(QStringLiteral("supplierSwitch")),
                              Qt::LeftButton);
            QTest::keyClicks(pass.findChild<QLineEdit*>(QStringLiteral("passwordBox")),
                             QStringLiteral("3333"));
            QTest::mouseClick(pass.findChild<QPushButton*>(QStringLiteral("okButton")),
                              Qt::LeftButton);
        });
        pass.exec();
    };
    RoomSetupWindow& w = r.open(1);
    r.click("setupToggle");
    EXPECT_EQ(r.f.session.grade, 3);
    EXPECT_EQ(w.designHeight(), RoomSetupWindow::kFull);
    EXPECT_EQ(lockdown.calls, QStringList{QStringLiteral("disarmKeyboardFilter")});
}

}  // namespace
