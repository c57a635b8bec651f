#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include "LockdownLogFile.h"
#include "lockdown/DesktopLockdown.h"
#include "lockdown/KioskLockdown.h"
#include "lockdown/LockdownFactory.h"
#include "store/IniStore.h"

namespace {

// Records the keys that reach it, pressed or released.
class KeyCounter : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override { keys.append(e->key()); }
    void keyReleaseEvent(QKeyEvent* e) override { keys.append(e->key()); }
};

struct Combination {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool held;
};

const Combination kCombinations[] = {
    {"Ctrl+Esc", Qt::Key_Escape, Qt::ControlModifier, true},
    {"left Windows key", Qt::Key_Super_L, Qt::NoModifier, true},
    {"right Windows key", Qt::Key_Super_R, Qt::NoModifier, true},
    {"Meta", Qt::Key_Meta, Qt::MetaModifier, true},
    {"Alt+Tab", Qt::Key_Tab, Qt::AltModifier, true},
    {"Shift+Alt+Tab", Qt::Key_Backtab, Qt::AltModifier | Qt::ShiftModifier, true},
    {"Alt+Esc", Qt::Key_Escape, Qt::AltModifier, true},
    {"Alt+F4", Qt::Key_F4, Qt::AltModifier, true},
    {"Alt+Delete", Qt::Key_Delete, Qt::AltModifier, true},
    {"AltGr+Tab", Qt::Key_Tab, Qt::GroupSwitchModifier, false},
    {"plain a", Qt::Key_A, Qt::NoModifier, false},
    {"Tab", Qt::Key_Tab, Qt::NoModifier, false},
    {"Esc", Qt::Key_Escape, Qt::NoModifier, false},
    {"F4", Qt::Key_F4, Qt::NoModifier, false},
    {"Ctrl+Tab", Qt::Key_Tab, Qt::ControlModifier, false},
    {"Alt+a", Qt::Key_A, Qt::AltModifier, false},
};

// Presses and releases the combination; true when the window saw its key
// (the modifier keys themselves always pass).
bool reaches(KeyCounter& w, const Combination& c) {
    w.keys.clear();
    QTest::keyClick(&w, c.key, c.modifiers);
    return w.keys.contains(c.key);
}

QDBusConnection nowhere() {
    return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/tavolen-test-bus"),
                                         QStringLiteral("nowhere"));
}

}  // namespace

TEST(DesktopLockdown, HoldsBackTheLeavingCombinationsOnlyWhileArmed) {
    KeyCounter w;
    DesktopLockdown lockdown([] {});
    for (const Combination& c : kCombinations)
        EXPECT_TRUE(reaches(w, c)) << c.name << " before arming";
    lockdown.armKeyboardFilter();
    for (const Combination& c : kCombinations)
        EXPECT_EQ(reaches(w, c), !c.held) << c.name << " while armed";
    lockdown.disarmKeyboardFilter();
    for (const Combination& c : kCombinations)
        EXPECT_TRUE(reaches(w, c)) << c.name << " after disarming";
}

TEST(DesktopLockdown, ArmingTwiceAndDisarmingOnceLeavesNoLock) {
    KeyCounter w;
    DesktopLockdown lockdown([] {});
    const Combination altF4{"Alt+F4", Qt::Key_F4, Qt::AltModifier, true};
    lockdown.disarmKeyboardFilter();  // nothing armed: nothing happens
    EXPECT_TRUE(reaches(w, altF4));
    lockdown.armKeyboardFilter();
    lockdown.armKeyboardFilter();
    EXPECT_FALSE(reaches(w, altF4));
    lockdown.disarmKeyboardFilter();
    EXPECT_FALSE(lockdown.isArmed());
    EXPECT_TRUE(reaches(w, altF4));
}

TEST(DesktopLockdown, PowerOffEndsTheProgramAndRestartLeavesItRunning) {
    LockdownLogFile log;
    int ended = 0;
    DesktopLockdown lockdown([&] { ++ended; });
    lockdown.installKioskSession();
    lockdown.restartComputer();
    EXPECT_EQ(ended, 0);
    lockdown.hideTaskBar();
    lockdown.showTaskBar();
    lockdown.markScreenSaver();
    lockdown.powerOffComputer();
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(log.text().contains(QStringLiteral("no restart")));
}

// Offscreen stands for a session without X11: the kiosk backend says it
// cannot lock and still holds the keys in the board's windows.
TEST(KioskLockdown, WithoutX11SaysSoAndHoldsKeysInTheProgramsWindows) {
    LockdownLogFile log;
    KeyCounter w;
    KioskLockdown lockdown([] {}, nowhere());
    EXPECT_FALSE(lockdown.canLock());
    EXPECT_TRUE(log.text().contains(QStringLiteral("cannot lock")));
    lockdown.hideTaskBar();
    lockdown.armKeyboardFilter();
    EXPECT_FALSE(reaches(w, {"Alt+Tab", Qt::Key_Tab, Qt::AltModifier, true}));
    EXPECT_TRUE(reaches(w, {"a", Qt::Key_A, Qt::NoModifier, false}));
    EXPECT_FALSE(lockdown.holdsKeyboard());
    lockdown.disarmKeyboardFilter();
    lockdown.showTaskBar();
    EXPECT_TRUE(reaches(w, {"Alt+Tab", Qt::Key_Tab, Qt::AltModifier, true}));
}

// With no bus at all every logind call fails: logged, the board goes on.
TEST(KioskLockdown, WithoutASystemBusLogsAndGoesOn) {
    LockdownLogFile log;
    int ended = 0;
    KioskLockdown lockdown([&] { ++ended; }, nowhere());
    lockdown.installKioskSession();
    lockdown.restartComputer();
    lockdown.markScreenSaver();
    lockdown.markScreenSaver();
    lockdown.powerOffComputer();
    EXPECT_EQ(ended, 0);
    const QString text = log.text();
    EXPECT_TRUE(text.contains(QStringLiteral("tavolen-kiosk.service"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("restart refused")));
    EXPECT_TRUE(text.contains(QStringLiteral("power-off refused")));
    EXPECT_EQ(text.count(QStringLiteral("idle blanking")), 1);  // asked once, not after every key
}

TEST(LockdownFactory, ChoosesTheBackendByTheEnvironmentThenTheIniFile) {
    struct Case {
        const char* environment;  // nullptr: TAVOLEN_LOCKDOWN not set
        const char* mode;         // nullptr: no key at all
        bool kiosk;
        const char* logs;  // nullptr: nothing about the mode
    };
    const Case cases[] = {
        {nullptr, nullptr, false, nullptr},
        {nullptr, "desktop", false, nullptr},
        {nullptr, "kiosk", true, nullptr},
        {nullptr, " KIOSK ", true, nullptr},
        {nullptr, "Desktop", false, nullptr},
        {nullptr, "locked", false, "unknown lockdown mode \"locked\", using desktop"},
        // The kiosk unit's variable: the desk's user may edit the file, not the unit.
        {"kiosk", "desktop", true, nullptr},
        {"kiosk", nullptr, true, nullptr},
        {"Kiosk", "locked", true, nullptr},
        {"desktop", "kiosk", false, nullptr},
        {"kisok", "desktop", true, "unknown lockdown mode \"kisok\" in TAVOLEN_LOCKDOWN"},
        {"", "desktop", true, "unknown lockdown mode \"\" in TAVOLEN_LOCKDOWN"},
    };
    const QByteArray saved = qgetenv("TAVOLEN_LOCKDOWN");
    const bool wasSet = qEnvironmentVariableIsSet("TAVOLEN_LOCKDOWN");
    for (const Case& c : cases) {
        LockdownLogFile log;
        if (c.environment)
            qputenv("TAVOLEN_LOCKDOWN", c.environment);
        else
            qunsetenv("TAVOLEN_LOCKDOWN");
        if (c.mode)
            IniStore(log.dir.filePath(QStringLiteral("TavolenConfig.ini")))
                .writeString(QStringLiteral("Lockdown"), QStringLiteral("Mode"),
                             QString::fromLatin1(c.mode));
        auto lockdown = makeLockdown(log.dir.path(), [] {});
        const std::string label = std::string("environment ") +
                                  (c.environment ? c.environment : "(unset)") + ", file " +
                                  (c.mode ? c.mode : "(none)");
        EXPECT_EQ(dynamic_cast<KioskLockdown*>(lockdown.get()) != nullptr, c.kiosk) << label;
        EXPECT_NE(dynamic_cast<DesktopLockdown*>(lockdown.get()), nullptr);
        if (c.logs)
            EXPECT_TRUE(log.text().contains(QString::fromLatin1(c.logs)))
                << label << "\n"
                << log.text().toStdString();
        else
            EXPECT_FALSE(log.text().contains(QStringLiteral("lockdown mode"))) << label;
    }
    if (wasSet)
        qputenv("TAVOLEN_LOCKDOWN", saved);
    else
        qunsetenv("TAVOLEN_LOCKDOWN");
}
