#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>

#include "auth/PasswordRules.h"
#include "board/ToolbarCommands.h"
#include "store/Database.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

// The board with the real password rules on a real database; the password
// window is scripted: each showing takes the next typed text (and may press
// a hidden switch first), nothing typed closes it without a sign-in.
class Toolbar : public ::testing::Test {
protected:
    BoardFixture f;
    std::unique_ptr<Database> db;
    std::unique_ptr<PasswordRules> rules;
    std::unique_ptr<ToolbarCommands> toolbar;
    struct Typed {
        QString text;
        int switchTo = 0;  // a hidden switch pressed before typing
    };
    std::deque<Typed> typed;
    QStringList opened;  // windows and outside steps, in order
    QList<int> checkedGrades;
    bool backupWorks = true;

    void SetUp() override {
        f.start();
        copyFreshDatabase(f.dataDir());
        db = std::make_unique<Database>(f.dataDir());
        db->open();
        rules = std::make_unique<PasswordRules>(*db, f.clock, f.session, f.lockdown);
        ToolbarWindows w;
        w.environmentSetup = [this] { opened << "environment"; };
        w.settlement = [this](SettlementKind k) {
            opened << (k == SettlementKind::Daily ? "daily" : "monthly");
        };
        w.morningCalls = [this] { opened << "morning calls"; };
        w.password = [this] {
            checkedGrades << f.session.gradeToCheck;
            if (typed.empty()) return;
            const Typed t = typed.front();
            typed.pop_front();
            if (t.switchTo) f.session.gradeToCheck = t.switchTo;
            rules->check(t.text);
        };
        w.about = [this] { opened << "about"; };
        w.backup = [this] { return backupWorks; };
        w.backupDirectory = QStringLiteral("/data/DB/Backup");
        w.minimise = [this] { opened << "minimise"; };
        w.restore = [this] { opened << "restore"; };
        w.closeSignedOutWindows = [this] { opened << "close signed-out windows"; };
        toolbar = std::make_unique<ToolbarCommands>(f.board, w);
        f.lockdown.calls.clear();
    }

    void signIn(int grade) {
        f.session.gradeToCheck = grade;
        ASSERT_EQ(rules->check(QString(4, QChar(u'0' + grade))), PasswordRules::Outcome::SignedIn);
        f.lockdown.calls.clear();
    }
};

using Command = void (ToolbarCommands::*)();

// Every command that needs a grade, from every grade it is met with.
TEST_F(Toolbar, CommandsByGrade) {
    const struct Case {
        const char* name;
        Command command;
        int grade;
        std::optional<bool> answer;  // the question's answer, none when nothing is asked
        const char* typed;           // nullptr: the password window is closed
        const char* opens;           // nullptr: nothing opens
        int gradeAfter;
    } cases[] = {
        {"setup as supplier", &ToolbarCommands::environmentSetup, 3, {}, nullptr, "environment", 3},
        {"setup as user, yes", &ToolbarCommands::environmentSetup, 1, true, "3333", "environment",
         3},
        {"setup as user, no", &ToolbarCommands::environmentSetup, 1, false, nullptr, nullptr, 1},
        {"setup, wrong password", &ToolbarCommands::environmentSetup, 0, true, "1111", nullptr, 0},
        {"daily, nobody", &ToolbarCommands::dailySettlement, 0, {}, nullptr, "daily", 0},
        {"monthly as user", &ToolbarCommands::monthlySettlement, 1, {}, nullptr, "monthly", 1},
        {"monthly as supplier", &ToolbarCommands::monthlySettlement, 3, {}, nullptr, "monthly", 3},
        {"monthly as windows use", &ToolbarCommands::monthlySettlement, 2, true, "1111", "monthly",
         1},
        {"monthly, closed", &ToolbarCommands::monthlySettlement, 0, true, nullptr, nullptr, 0},
        {"morning calls, nobody",
         &ToolbarCommands::morningCalls,
         0,
         {},
         nullptr,
         "morning calls",
         0},
        {"about, nobody", &ToolbarCommands::about, 0, {}, nullptr, "about", 0},
        {"windows as windows use", &ToolbarCommands::useWindows, 2, {}, nullptr, "minimise", 2},
        {"windows as user", &ToolbarCommands::useWindows, 1, true, "2222", "minimise", 2},
        {"windows as user, no", &ToolbarCommands::useWindows, 1, false, nullptr, nullptr, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        f.session.grade = 0;
        if (c.grade) signIn(c.grade);
        opened.clear();
        f.dialogs.questions.clear();
        if (c.answer) f.dialogs.answers = {*c.answer};
        if (c.typed) typed = {{QString::fromLatin1(c.typed)}};
        (toolbar.get()->*c.command)();
        EXPECT_EQ(f.dialogs.questions.size(), c.answer ? 1 : 0);
        EXPECT_EQ(opened, c.opens ? QStringList{QString::fromUtf8(c.opens)} : QStringList{});
        EXPECT_EQ(f.session.grade, c.gradeAfter);
        EXPECT_TRUE(typed.empty());
    }
}

TEST_F(Toolbar, QuestionsAndTheGradeEachChecks) {
    f.dialogs.answers = {true, true, true};
    toolbar->environmentSetup();
    toolbar->monthlySettlement();
    toolbar->useWindows();
    EXPECT_EQ(f.dialogs.questions, (QStringList{"공급업체 인증을 하셔야 합니다. 하시겠습니까?",
                                                "사용자 인증을 하셔야 합니다. 하시겠습니까?",
                                                "윈도우 사용을 하시겠습니까?"}));
    EXPECT_EQ(checkedGrades, (QList<int>{3, 1, 2}));
}

TEST_F(Toolbar, HiddenSwitchSignsTheSupplierInFromAnyCommand) {
    f.dialogs.answers = {true};
    typed = {{QStringLiteral("3333"), 3}};
    toolbar->monthlySettlement();
    EXPECT_EQ(f.session.grade, 3);
    EXPECT_EQ(opened, QStringList{"monthly"});
    EXPECT_EQ(toolbar->signInCaption(), QStringLiteral("공급업체인증해제"));
}

TEST_F(Toolbar, SignInAndOutWithCaptionsPicturesAndTheLock) {
    int changes = 0;
    QObject::connect(toolbar.get(), &ToolbarCommands::signInChanged, [&] { ++changes; });
    EXPECT_EQ(toolbar->signInCaption(), QStringLiteral("사용자인증"));
    EXPECT_EQ(toolbar->signInPicture(), QStringLiteral("lockS.bmp"));

    typed = {{QStringLiteral("1111")}};
    toolbar->signInOrOut();
    EXPECT_TRUE(f.dialogs.questions.isEmpty());  // no question before the user's window
    EXPECT_EQ(checkedGrades, QList<int>{1});
    EXPECT_EQ(toolbar->grade(), 1);
    EXPECT_EQ(toolbar->signInCaption(), QStringLiteral("사용자인증해제"));
    EXPECT_EQ(toolbar->signInPicture(), QStringLiteral("lockO.bmp"));
    EXPECT_TRUE(f.lockdown.calls.isEmpty());  // a user's sign-in leaves the lock alone

    toolbar->signInOrOut();
    EXPECT_EQ(toolbar->grade(), 0);
    EXPECT_EQ(f.dialogs.infos, QStringList{"사용자 인증이 해제되었습니다"});
    EXPECT_EQ(toolbar->signInCaption(), QStringLiteral("사용자인증"));
    EXPECT_EQ(toolbar->signInPicture(), QStringLiteral("lockS.bmp"));
    EXPECT_EQ(f.lockdown.calls, (QStringList{"hideTaskBar", "armKeyboardFilter"}));
    EXPECT_EQ(checkedGrades.size(), 1);  // signing out opens no window
    EXPECT_GE(changes, 2);

    toolbar->signInOrOut();  // nothing typed: the window closes
    EXPECT_EQ(toolbar->grade(), 0);
}

// The task bar and the keyboard lock after every event of the day.
TEST_F(Toolbar, TaskBarAndLockAfterEveryEvent) {
    bool taskBarShown = false;
    bool locked = true;  // as the start-up leaves them
    const auto follow = [&] {
        for (const QString& call : f.lockdown.calls) {
            if (call == "hideTaskBar") taskBarShown = false;
            if (call == "showTaskBar") taskBarShown = true;
            if (call == "armKeyboardFilter") locked = true;  // arming twice is one lock
            if (call == "disarmKeyboardFilter") locked = false;
        }
        f.lockdown.calls.clear();
    };
    const struct Step {
        const char* name;
        std::function<void()> event;
        int grade;
        bool taskBarShown, locked;
    } steps[] = {
        {"user signs in",
         [&] {
             typed = {{"1111"}};
             toolbar->signInOrOut();
         },
         1, false, true},
        {"user signs out", [&] { toolbar->signInOrOut(); }, 0, false, true},
        {"windows use",
         [&] {
             f.dialogs.answers = {true};
             typed = {{"2222"}};
             toolbar->useWindows();
         },
         2, true, false},
        {"signs out", [&] { toolbar->signInOrOut(); }, 0, false, true},
        {"supplier signs in",
         [&] {
             typed = {{"3333", 3}};
             toolbar->signInOrOut();
         },
         3, false, false},
        {"supplier uses windows", [&] { toolbar->useWindows(); }, 3, true, false},
        {"supplier signs out", [&] { toolbar->signInOrOut(); }, 0, false, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        s.event();
        follow();
        EXPECT_EQ(toolbar->grade(), s.grade);
        EXPECT_EQ(taskBarShown, s.taskBarShown);
        EXPECT_EQ(locked, s.locked);
    }
}

TEST_F(Toolbar, ShutDownNeedsASignInAndAYes) {
    toolbar->shutDown();
    EXPECT_EQ(f.dialogs.errors, QStringList{"사용자 인증을 하셔야 종료가 됩니다"});
    EXPECT_TRUE(f.dialogs.questions.isEmpty());
    EXPECT_TRUE(f.lockdown.calls.isEmpty());

    signIn(2);
    f.dialogs.answers = {false, true};
    toolbar->shutDown();
    EXPECT_TRUE(f.lockdown.calls.isEmpty());
    EXPECT_TRUE(opened.isEmpty());
    toolbar->shutDown();
    EXPECT_EQ(f.dialogs.questions.last(),
              QStringLiteral("종료를 하시면 윈도우도 종료됩니다.종료 하시겠습니까?"));
    EXPECT_EQ(f.lockdown.calls, (QStringList{"disarmKeyboardFilter", "powerOffComputer"}));
}

TEST_F(Toolbar, RefusedPowerOffLeavesTheDeskAsItWasAndSaysSo) {
    const struct Case {
        const char* name;
        std::function<void()> before;
        QStringList calls;  // from 종료 on
        bool lockedAfter;
    } cases[] = {
        {"user signed in, desk locked",
         [this] { signIn(1); },
         {"disarmKeyboardFilter", "powerOffComputer", "hideTaskBar", "armKeyboardFilter"},
         true},
        {"supplier signed in, lock lifted",
         [this] {
             f.session.gradeToCheck = 3;
             rules->check(QStringLiteral("3333"));
             f.lockdown.calls.clear();
         },
         {"disarmKeyboardFilter", "powerOffComputer"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        f.lockdown.powerOffRefusal = QStringLiteral("Access denied");
        f.dialogs.answers = {true};
        toolbar->shutDown();
        EXPECT_EQ(f.lockdown.calls, c.calls);
        EXPECT_EQ(f.lockdown.armed, c.lockedAfter);
        EXPECT_TRUE(f.board.notice().contains(QStringLiteral("전원을 끌 수 없어")));
        EXPECT_TRUE(f.board.notice().contains(QStringLiteral("Access denied")));
        toolbar->signInOrOut();  // back to the start: signed out, locked
        f.lockdown.calls.clear();
    }
}

TEST_F(Toolbar, BackupSaysWhereItWentOnlyWhenItWorked) {
    toolbar->backup();
    EXPECT_EQ(f.dialogs.infos, QStringList{"자료를 복사했습니다: /data/DB/Backup"});
    backupWorks = false;
    toolbar->backup();
    EXPECT_EQ(f.dialogs.infos.size(), 1);
}

TEST_F(Toolbar, IdleSignOutAfterMinutesWithoutAKeyOrClick) {
    signIn(3);
    toolbar->setIdleMinutes(10);
    toolbar->noteActivity();
    f.clock.advanceMinutes(9);
    toolbar->checkIdle();
    toolbar->noteActivity();  // a key at the ninth minute starts the count again
    f.clock.advanceMinutes(9);
    toolbar->checkIdle();
    EXPECT_EQ(toolbar->grade(), 3);
    f.clock.advanceMinutes(1);
    toolbar->checkIdle();
    EXPECT_EQ(toolbar->grade(), 0);
    EXPECT_EQ(toolbar->signInCaption(), QStringLiteral("사용자인증"));
    EXPECT_EQ(f.lockdown.calls, (QStringList{"hideTaskBar", "armKeyboardFilter"}));
    // The supplier's windows go with the supplier; the board comes back in
    // front of whatever was minimised.
    EXPECT_EQ(opened, (QStringList{"close signed-out windows", "restore"}));
    EXPECT_TRUE(f.dialogs.infos.isEmpty());  // a tick asks and tells nobody

    signIn(1);
    toolbar->setIdleMinutes(0);  // never
    f.clock.advanceMinutes(600);
    toolbar->checkIdle();
    EXPECT_EQ(toolbar->grade(), 1);
}

}  // namespace
