#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "OwnDisplay.h"
#include "store/IniStore.h"

namespace {

bool within(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done()) return true;
        QThread::msleep(20);
    }
    return done();
}

// The kiosk backend in the stand-in board on a display of the test's own,
// with the test as a second X client.
class KioskOnX11 : public ::testing::Test {
protected:
    OwnDisplay display;
    QProcess probe;
    QStringList said;  // the probe's lines so far

    void SetUp() override {
        const QString failure = display.start();
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        probe.setProcessEnvironment(display.environment());
        probe.setProcessChannelMode(QProcess::SeparateChannels);
        probe.start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen_lockdown_probe"), {});
        ASSERT_TRUE(probe.waitForStarted(10000));
        ASSERT_TRUE(waitForLine(QStringLiteral("ready"))) << "the stand-in board did not show";
    }

    void TearDown() override {
        if (probe.state() != QProcess::NotRunning) {
            probe.closeWriteChannel();
            if (!probe.waitForFinished(5000)) probe.kill();
            probe.waitForFinished();
        }
    }

    void readProbe() {
        probe.waitForReadyRead(20);
        while (probe.canReadLine()) said.append(QString::fromUtf8(probe.readLine()).trimmed());
    }
    bool waitForLine(const QString& line, int ms = 10000) {
        return within(
            [&] {
                readProbe();
                return said.contains(line);
            },
            ms);
    }
    QStringList keysSaid() {
        readProbe();
        return said.filter(QRegularExpression(QStringLiteral("^key ")));
    }

    // Sends a command and returns whether the probe then holds the keyboard.
    bool command(const QString& c) {
        said.clear();
        probe.write((c + QLatin1Char('\n')).toLatin1());
        probe.waitForBytesWritten(1000);
        bool grabbed = false;
        EXPECT_TRUE(within([&] {
            readProbe();
            for (const QString& l : said)
                if (l.startsWith(QStringLiteral("ok ") + c + QLatin1Char(' '))) {
                    grabbed = l.endsWith(QStringLiteral("grabbed=1"));
                    return true;
                }
            return false;
        })) << "no answer to "
            << c.toStdString();
        return grabbed;
    }
    bool armAndWaitForGrab(int ms = 10000) {
        if (command(QStringLiteral("arm"))) return true;
        return within([&] { return command(QStringLiteral("state")); }, ms);
    }

    xcb_window_t newWindow(int x, const char* type = nullptr) {
        xcb_connection_t* c = display.connection();
        const xcb_window_t w = xcb_generate_id(c);
        const uint32_t mask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, display.root(), x, 400, 200, 200, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &mask);
        if (type) {
            const xcb_atom_t property = atom("_NET_WM_WINDOW_TYPE");
            const xcb_atom_t value = atom(type);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, XCB_ATOM_ATOM, 32, 1,
                                &value);
        }
        xcb_map_window(c, w);
        xcb_flush(c);
        EXPECT_TRUE(within([&] { return mapState(w) == XCB_MAP_STATE_VIEWABLE; }));
        return w;
    }
    xcb_atom_t atom(const char* name) {
        xcb_connection_t* c = display.connection();
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }
    uint8_t mapState(xcb_window_t w) {
        xcb_connection_t* c = display.connection();
        auto* r = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
        const uint8_t state = r ? r->map_state : 0xff;
        std::free(r);
        return state;
    }
    uint8_t grabFrom(xcb_window_t w) {
        xcb_connection_t* c = display.connection();
        auto* r = xcb_grab_keyboard_reply(
            c,
            xcb_grab_keyboard(c, 0, w, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr);
        const uint8_t status = r ? r->status : 0xff;
        std::free(r);
        return status;
    }
    void ungrab() {
        xcb_ungrab_keyboard(display.connection(), XCB_CURRENT_TIME);
        xcb_flush(display.connection());
    }
    void focus(xcb_window_t w) {
        xcb_set_input_focus(display.connection(), XCB_INPUT_FOCUS_POINTER_ROOT, w,
                            XCB_CURRENT_TIME);
        xcb_flush(display.connection());
    }
    // Key presses that reached the test's own windows since the last call.
    int keyPressesSeen() {
        int n = 0;
        xcb_flush(display.connection());
        while (xcb_generic_event_t* e = xcb_poll_for_event(display.connection())) {
            if ((e->response_type & 0x7f) == XCB_KEY_PRESS) ++n;
            std::free(e);
        }
        return n;
    }
    void xdotool(const QStringList& keys) {
        QProcess p;
        p.setProcessEnvironment(display.environment());
        p.start(QStringLiteral("xdotool"), QStringList{QStringLiteral("key")} + keys);
        ASSERT_TRUE(p.waitForFinished(10000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
};

TEST_F(KioskOnX11, ASecondClientCannotGrabTheKeyboardWhileArmed) {
    const xcb_window_t other = newWindow(600);
    ASSERT_TRUE(armAndWaitForGrab());
    EXPECT_EQ(grabFrom(other), XCB_GRAB_STATUS_ALREADY_GRABBED);
    // Arming again and disarming once lifts the lock.
    command(QStringLiteral("arm"));
    EXPECT_FALSE(command(QStringLiteral("disarm")));
    // The board's ungrab and this grab travel on two connections.
    EXPECT_TRUE(within([&] { return grabFrom(other) == XCB_GRAB_STATUS_SUCCESS; }));
    ungrab();
}

TEST_F(KioskOnX11, LeavingKeysReachNoOtherWindowAndPlainKeysReachTheBoard) {
    const xcb_window_t other = newWindow(600);
    focus(other);
    xdotool({QStringLiteral("b")});  // the test sees its own keys while nothing is armed
    ASSERT_TRUE(within([&] { return keyPressesSeen() > 0; })) << "the test window got no keys";

    ASSERT_TRUE(armAndWaitForGrab());
    focus(other);
    xdotool({QStringLiteral("alt+Tab"), QStringLiteral("ctrl+Escape"), QStringLiteral("alt+F4"),
             QStringLiteral("a")});
    ASSERT_TRUE(within([&] { return keysSaid().contains(QStringLiteral("key A")); }))
        << keysSaid().join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(keyPressesSeen(), 0);
    // The modifiers themselves reach the board; Tab, Escape and F4 do not.
    for (const QString& line : keysSaid())
        EXPECT_TRUE(line == QLatin1String("key A") || line == QLatin1String("key Alt+Alt") ||
                    line == QLatin1String("key Ctrl+Control"))
            << line.toStdString();

    command(QStringLiteral("disarm"));
    focus(other);
    xdotool({QStringLiteral("c")});
    EXPECT_TRUE(within([&] { return keyPressesSeen() > 0; }));
}

TEST_F(KioskOnX11, DockWindowsAreUnmappedAndMappedBack) {
    const xcb_window_t dock = newWindow(0, "_NET_WM_WINDOW_TYPE_DOCK");
    const xcb_window_t normal = newWindow(300, "_NET_WM_WINDOW_TYPE_NORMAL");
    command(QStringLiteral("hide"));
    EXPECT_TRUE(within([&] { return mapState(dock) == XCB_MAP_STATE_UNMAPPED; }));
    EXPECT_EQ(mapState(normal), XCB_MAP_STATE_VIEWABLE);
    command(QStringLiteral("show"));
    EXPECT_TRUE(within([&] { return mapState(dock) == XCB_MAP_STATE_VIEWABLE; }));
    EXPECT_EQ(mapState(normal), XCB_MAP_STATE_VIEWABLE);
}

TEST_F(KioskOnX11, AKeyboardHeldByAnotherProgramIsTakenOnceItIsFree) {
    const xcb_window_t other = newWindow(600);
    ASSERT_EQ(grabFrom(other), XCB_GRAB_STATUS_SUCCESS);
    EXPECT_FALSE(command(QStringLiteral("arm")));
    QThread::msleep(1200);
    EXPECT_FALSE(command(QStringLiteral("state")));  // still running, not holding
    ungrab();
    EXPECT_TRUE(within([&] { return command(QStringLiteral("state")); }));
    EXPECT_TRUE(QString::fromUtf8(probe.readAllStandardError())
                    .contains(QStringLiteral("another program holds the keyboard")));
}

// X drops a grab when its window is unmapped; the board takes it again once
// shown, or, when another program holds the keyboard at that moment, as soon
// as it is free.
TEST_F(KioskOnX11, AGrabLostWithAnUnmapIsTakenAgain) {
    const struct Case {
        const char* name;
        bool otherHoldsItWhenMapped;
    } cases[] = {{"mapped again", false}, {"another program held it meanwhile", true}};
    const QStringList windowLines = said.filter(QRegularExpression(QStringLiteral("^window ")));
    ASSERT_EQ(windowLines.size(), 1);
    const auto board = static_cast<xcb_window_t>(windowLines[0].mid(7).toULongLong());
    const xcb_window_t other = newWindow(600);
    xcb_connection_t* c = display.connection();
    // Whether the board holds the keyboard: another client's grab fails.
    const auto boardHolds = [&] {
        const uint8_t status = grabFrom(other);
        if (status == XCB_GRAB_STATUS_SUCCESS) ungrab();
        return status == XCB_GRAB_STATUS_ALREADY_GRABBED;
    };
    ASSERT_TRUE(armAndWaitForGrab());
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_TRUE(within(boardHolds));
        xcb_unmap_window(c, board);
        xcb_flush(c);
        ASSERT_TRUE(within([&] { return mapState(board) == XCB_MAP_STATE_UNMAPPED; }));
        EXPECT_TRUE(within([&] { return !boardHolds(); })) << "the unmap left the grab";
        if (k.otherHoldsItWhenMapped) {
            ASSERT_EQ(grabFrom(other), XCB_GRAB_STATUS_SUCCESS);
        }
        xcb_map_window(c, board);
        xcb_flush(c);
        ASSERT_TRUE(within([&] { return mapState(board) == XCB_MAP_STATE_VIEWABLE; }));
        if (k.otherHoldsItWhenMapped) {
            QThread::msleep(1000);  // the board's tries on the map meet the other grab
            ungrab();
        }
        EXPECT_TRUE(within(boardHolds)) << "the board did not take the keyboard again";
        EXPECT_TRUE(command(QStringLiteral("state")));
    }
    EXPECT_TRUE(QString::fromUtf8(probe.readAllStandardError())
                    .contains(QStringLiteral("the keyboard grab was lost")));
}

TEST_F(KioskOnX11, AnEndedBoardLeavesNoGrabBehind) {
    const xcb_window_t other = newWindow(600);
    ASSERT_TRUE(armAndWaitForGrab());
    probe.kill();
    probe.waitForFinished();
    EXPECT_TRUE(within([&] { return grabFrom(other) == XCB_GRAB_STATUS_SUCCESS; }));
    ungrab();
}

}  // namespace

namespace {

// The real program with `Lockdown`/`Mode` = kiosk: the keyboard is the
// board's from its start, and free again once it has ended.
TEST(KioskDesk, HoldsTheKeyboardFromItsStartUntilItEnds) {
    OwnDisplay display;
    const QString failure = display.start();
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("desk"));
    QDir().mkpath(data);
    int master = -1, slave = -1;
    char line[128] = {};
    ASSERT_EQ(openpty(&master, &slave, line, nullptr, nullptr), 0);
    IniStore ini(QDir(data).filePath(QStringLiteral("TavolenConfig.ini")));
    ini.writeString(QStringLiteral("Lockdown"), QStringLiteral("Mode"), QStringLiteral("kiosk"));
    ini.writeString(QStringLiteral("Motel"), QStringLiteral("ComPort"), QString::fromLatin1(line));
    // Not the PC's first start, so the kiosk asks for no restart; and its
    // system bus leads nowhere, so nothing in this test can reach the machine's.
    QDir().mkpath(dir.filePath(QStringLiteral("config/tavolen")));
    QFile aliases(dir.filePath(QStringLiteral("config/tavolen/aliases.ini")));
    ASSERT_TRUE(aliases.open(QIODevice::WriteOnly));
    aliases.write("[Motel]\nPATH=" + QDir(data).filePath(QStringLiteral("DB")).toUtf8() + "\n");
    aliases.close();
    QProcessEnvironment env = display.environment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
               QStringLiteral("unix:path=/nonexistent/tavolen-test-system-bus"));

    QProcess board;
    board.setProcessEnvironment(env);
    board.setProcessChannelMode(QProcess::ForwardedChannels);
    board.start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen"),
                {QStringLiteral("--data-dir"), data, QStringLiteral("--quit-after"),
                 QStringLiteral("60000")});
    ASSERT_TRUE(board.waitForStarted(10000));

    xcb_connection_t* c = display.connection();
    auto grabStatus = [&] {
        auto* r =
            xcb_grab_keyboard_reply(c,
                                    xcb_grab_keyboard(c, 0, display.root(), XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr);
        const uint8_t status = r ? r->status : 0xff;
        std::free(r);
        if (status == XCB_GRAB_STATUS_SUCCESS) xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_flush(c);
        return status;
    };
    EXPECT_TRUE(within([&] { return grabStatus() == XCB_GRAB_STATUS_ALREADY_GRABBED; }, 30000))
        << "the kiosk board did not take the keyboard";
    board.kill();
    board.waitForFinished();
    EXPECT_TRUE(within([&] { return grabStatus() == XCB_GRAB_STATUS_SUCCESS; }));
    close(master);
    close(slave);
}

}  // namespace
