#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <memory>

#include "admin/EnvironmentSetup.h"
#include "app/ModalWindows.h"
#include "auth/PasswordRules.h"
#include "board/ToolbarCommands.h"
#include "store/Database.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

// The desk's real windows over a board with fakes around it; the idle
// sign-out comes from the clock while a window is open, as it does at the
// desk (the one-second tick runs inside the window's own event loop).
struct Desk {
    BoardFixture f;
    std::unique_ptr<Database> db;
    std::unique_ptr<PasswordRules> rules;
    std::unique_ptr<ModalWindows> windows;
    std::unique_ptr<EnvironmentSetup> environment;
    std::unique_ptr<ToolbarCommands> toolbar;

    Desk() {
        f.start();
        copyFreshDatabase(f.dataDir());
        db = std::make_unique<Database>(f.dataDir());
        db->open();
        rules = std::make_unique<PasswordRules>(*db, f.clock, f.session, f.lockdown);
        windows = std::make_unique<ModalWindows>(f.board, *rules, *db, nullptr);
        environment = std::make_unique<EnvironmentSetup>(f.board, EnvironmentSeams{});
        ToolbarWindows w;
        w.environmentSetup = [this] { windows->runEnvironmentSetup(*environment); };
        w.settlement = [this](SettlementKind kind) { windows->runSettlement(kind); };
        w.morningCalls = [this] { windows->runMorningCalls(); };
        w.closeSignedOutWindows = [this] { windows->closeGradedWindows(); };
        toolbar = std::make_unique<ToolbarCommands>(f.board, w);
        toolbar->setIdleMinutes(10);
    }
};

TEST(IdleSignOut, ClosesTheWindowsOpenedUnderTheGrade) {
    const struct Case {
        const char* name;
        int grade;
        std::function<void(Desk&)> open;
        bool closes;
    } cases[] = {
        {"environment setup", 3, [](Desk& d) { d.toolbar->environmentSetup(); }, true},
        {"monthly settlement", 1, [](Desk& d) { d.toolbar->monthlySettlement(); }, true},
        {"room setup", 3,
         [](Desk& d) { d.windows->runRoomSetup(1, QStringLiteral("101"), d.db->historyQuery()); },
         true},
        // These hold no grade's rights: the clerk's unsaved memos stay.
        {"morning calls", 1, [](Desk& d) { d.toolbar->morningCalls(); }, false},
        {"daily settlement", 1, [](Desk& d) { d.toolbar->dailySettlement(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Desk d;
        d.f.session.grade = c.grade;
        d.toolbar->noteActivity();
        QWidget* window = nullptr;
        bool boxOpen = false;
        bool stillOpen = false;
        // Once the window is up, a box over it, and the idle minutes pass
        // while both are shown.
        QTimer::singleShot(0, [&] {
            window = QApplication::activeModalWidget();
            ASSERT_NE(window, nullptr);
            QTimer::singleShot(0, [&] {
                boxOpen = QApplication::activeModalWidget() != window;
                d.f.clock.advanceMinutes(11);
                d.toolbar->checkIdle();
                stillOpen = window->isVisible();
                // What stays open is closed by the test itself.
                while (auto* top = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    top->reject();
            });
            QMessageBox box(QMessageBox::Question, QStringLiteral("확인"),
                            QStringLiteral("전체제거 하시겠습니까?"),
                            QMessageBox::Yes | QMessageBox::No, window);
            box.exec();
        });
        // A test that went wrong must not hang on an open window.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            while (auto* top = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                top->reject();
        });
        guard.start(20000);
        c.open(d);
        EXPECT_TRUE(boxOpen);
        EXPECT_EQ(d.toolbar->grade(), 0);
        EXPECT_EQ(stillOpen, !c.closes);
        EXPECT_TRUE(guard.isActive()) << "the window stayed open";
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

}  // namespace
