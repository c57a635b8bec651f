#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

#include "comm/CommEventText.h"
#include "comm/CommLink.h"
#include "comm/SerialPort.h"

namespace {

constexpr int kWaitMs = 10000;

// The controller's end of a pseudo-terminal. Like the simulator it keeps the device side
// open itself, so the port may close and reopen without the line hanging up.
class Pty {
public:
    Pty() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) ADD_FAILURE() << "openpty";
        termios tio{};
        tcgetattr(slave_, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave_, TCSANOW, &tio);
        path_ = QString::fromLocal8Bit(name);
    }
    ~Pty() { hangUp(); }

    const QString& path() const { return path_; }
    int device() const { return slave_; }

    void send(const QByteArray& bytes) {
        qsizetype offset = 0;
        while (offset < bytes.size()) {
            const ssize_t n = write(master_, bytes.constData() + offset, bytes.size() - offset);
            if (n < 0 && errno == EINTR) continue;
            ASSERT_GT(n, 0);
            offset += n;
        }
    }

    // Waits until the driver holds exactly this many unread bytes. Bytes written reach the
    // driver's queue a little later, so tests let them land while no port reads the line,
    // then open the port and wait for 0 to know that it has read them.
    bool waitQueued(int count) const {
        return QTest::qWaitFor(
            [&] {
                int queued = -1;
                return ioctl(slave_, FIONREAD, &queued) == 0 && queued == count;
            },
            kWaitMs);
    }

    QByteArray receive(qsizetype count) {
        QByteArray got;
        [[maybe_unused]] const bool complete = QTest::qWaitFor(
            [&] {
                char buffer[256];
                const ssize_t n = read(master_, buffer, sizeof buffer);
                if (n > 0) got.append(buffer, n);
                return got.size() >= count;
            },
            kWaitMs);
        return got;
    }

    // The controller goes away: the port sees end of file.
    void hangUp() {
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
        master_ = slave_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

// What the owner of a port is told, in order.
struct Owner {
    explicit Owner(SerialPort& port) {
        port.receiveHandler = [this](const void* buffer, quint16 length) {
            const auto* bytes = static_cast<const char*>(buffer);
            blocks.emplace_back(bytes, length);
            events.push_back("data " + blocks.back());
            if (bytes[length] != 0) ++missingZero;
        };
        port.hangupHandler = [this, &port](SerialPort* sender) {
            EXPECT_EQ(sender, &port);
            events.push_back("hangup");
        };
    }
    bool waitForBlocks(size_t count) {
        return QTest::qWaitFor([&] { return blocks.size() >= count; }, kWaitMs);
    }

    std::vector<QByteArray> blocks;
    std::vector<QByteArray> events;
    int missingZero = 0;
};

QByteArray concatenated(const std::vector<QByteArray>& blocks) {
    QByteArray all;
    for (const QByteArray& block : blocks) all += block;
    return all;
}

bool openedOn(SerialPort& port, const QString& path) {
    port.portName = path;
    return port.openPort();
}

TEST(SerialPortProperties, SettersDeriveTheLineSettings) {
    SerialPort port;
    EXPECT_EQ(port.portName, "COM1");
    EXPECT_EQ(port.lineSettings().baudRate, 9600u);
    EXPECT_EQ(port.lineSettings().dataBits, 8);
    EXPECT_EQ(port.lineSettings().parity, 0);
    EXPECT_EQ(port.lineSettings().stopBits, 0);
    EXPECT_EQ(port.eventCharacter(), '\r');
    EXPECT_EQ(port.endOfFileCharacter(), '\r');

    port.setPortNumber(PortNumber::Com128);
    EXPECT_EQ(port.portName, "COM128");
    port.setPortNumber(PortNumber::Com2);
    EXPECT_EQ(port.portName, "COM2");
    port.setBaudRate(BaudRate::Baud4800);
    EXPECT_EQ(port.lineSettings().baudRate, 4800u);
    port.setBaudRate(BaudRate::Baud110);
    EXPECT_EQ(port.lineSettings().baudRate, 110u);
    port.setBaudRate(BaudRate::Baud921600);
    EXPECT_EQ(port.lineSettings().baudRate, 921600u);
    port.setDataBits(DataBits::Bits7);
    EXPECT_EQ(port.lineSettings().dataBits, 7);
    port.setParity(Parity::Space);
    EXPECT_EQ(port.lineSettings().parity, 4);
    port.setStopBits(StopBits::OneAndHalf);
    EXPECT_EQ(port.lineSettings().stopBits, 1);
    port.setEventChar(ControlCode::Us);
    EXPECT_EQ(port.eventCharacter(), '\x1f');
}

TEST(SerialDevicePath, MapsPortNamesToDevices) {
    const std::pair<QString, QString> cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM2", "/dev/ttyS1"},
        {"com10", "/dev/ttyS9"},
        {"COM128", "/dev/ttyS127"},
        {"COM0", ""},
        {"COM129", ""},
        {"COM200", ""},
        {"COM02", ""},
        {"COM", ""},
        {"LPT1", ""},
        {"", ""},
        {"COM1x", ""},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/pts/7", "/dev/pts/7"},
    };
    for (const auto& [name, device] : cases)
        EXPECT_EQ(serialDevicePath(name), device) << name.toStdString();
}

TEST(CommEventText, ComposesTheErrorLine) {
    const std::pair<quint32, QByteArray> cases[] = {
        {CE_FRAME | CE_RXPARITY, "Comm Event: CE_FRAME and CE_RXPARITY, EvtMask = 12"},
        {CE_FRAME, "Comm Event: CE_FRAME, EvtMask = 8"},
        {CE_OVERRUN, "Comm Event: CE_OVERRUN, EvtMask = 2"},
        {0, "Comm Event: NULL Error, EvtMask = 0"},
        {CE_RXOVER, "Comm Event: EV_ERR Unknown EvtMask, EvtMask = 1"},
        {CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME,
         "Comm Event: CE_FRAME and CE_OVERRUN and CE_RXPARITY and EV_ERR Unknown EvtMask, "
         "EvtMask = 15"},
        {0x10, "Comm Event: EV_ERR Unknown EvtMask, EvtMask = 16"},
    };
    for (const auto& [flags, text] : cases) EXPECT_EQ(commEventText(flags), text) << flags;
    EXPECT_EQ(commEventText(CE_FRAME | CE_RXPARITY).size(), 50);
}

TEST(CommEventText, FlagsComeFromCounterDifferences) {
    const LineErrorCounts before{3, 1, 7, 0};
    EXPECT_EQ(commErrorFlags(before, before), 0u);
    EXPECT_EQ(commErrorFlags(before, {4, 1, 7, 0}), quint32(CE_FRAME));
    EXPECT_EQ(commErrorFlags(before, {3, 2, 9, 0}), quint32(CE_OVERRUN | CE_RXPARITY));
    EXPECT_EQ(commErrorFlags(before, {3, 1, 7, 5}), quint32(CE_RXOVER));
    EXPECT_EQ(commErrorFlags({}, {1, 1, 1, 1}), 15u);
}

TEST(SerialPortOpen, FailuresRaiseTheirMessageAndLeaveThePortClosed) {
    QTemporaryDir dir;
    const QString plainFile = dir.filePath("plain");
    QFile(plainFile).open(QIODevice::WriteOnly);

    const std::pair<QString, QString> cases[] = {
        {"/nonexistent/tty", "Error opening /nonexistent/tty port"},
        {"COM200", "Error opening COM200 port"},
        {"LPT1", "Error opening LPT1 port"},
        {plainFile, "File handle is not a " + plainFile + " handle."},
    };
    Pty pty;
    for (const auto& [name, message] : cases) {
        SerialPort port;
        port.portName = name;
        try {
            port.openPort();
            ADD_FAILURE() << "opened " << name.toStdString();
        } catch (const SerialPortError& e) {
            EXPECT_EQ(e.text(), message);
        }
        EXPECT_FALSE(port.isOpen());
        EXPECT_TRUE(openedOn(port, pty.path())) << "a later try still opens";
    }
}

TEST(SerialPortOpen, AnOpenPortRefusesASecondOpening) {
    Pty pty;
    SerialPort port;
    ASSERT_TRUE(openedOn(port, pty.path()));
    try {
        port.openPort();
        ADD_FAILURE();
    } catch (const SerialPortError& e) {
        EXPECT_EQ(e.text(), "Already have a comm file open");
    }
    EXPECT_TRUE(port.isOpen());

    SerialPort other;
    other.portName = pty.path();
    try {
        other.openPort();
        ADD_FAILURE() << "a port has one owner";
    } catch (const SerialPortError& e) {
        EXPECT_EQ(e.text(), "Error opening " + pty.path() + " port");
    }
    port.closePort();
    EXPECT_TRUE(other.openPort());
}

TEST(LineControlFlags, FrameTheCharactersAsSet) {
    struct Case {
        quint8 dataBits, parity, stopBits;
        tcflag_t expected;
    };
    const Case cases[] = {
        {8, 0, 0, CS8},
        {7, 2, 2, CS7 | PARENB | CSTOPB},
        {5, 1, 1, CS5 | PARENB | PARODD | CSTOPB},
        {6, 3, 0, CS6 | PARENB | PARODD | CMSPAR},
        {8, 4, 0, CS8 | PARENB | CMSPAR},
    };
    // Flags the driver had: odd parity, two stop bits, hardware flow control, 7 bits.
    const tcflag_t before = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
    for (const Case& c : cases) {
        const LineSettings settings{9600, c.dataBits, c.parity, c.stopBits};
        EXPECT_EQ(lineControlFlags(before, settings), c.expected | CLOCAL | CREAD | CRTSCTS | HUPCL)
            << int(c.dataBits) << int(c.parity) << int(c.stopBits);
    }
}

TEST(SerialPortOpen, PutsTheLineIntoRawModeAtItsSpeed) {
    const std::pair<BaudRate, speed_t> cases[] = {
        {BaudRate::Baud4800, B4800},
        {BaudRate::Baud115200, B115200},
        {BaudRate::Baud300, B300},
    };
    for (const auto& [rate, speed] : cases) {
        Pty pty;
        SerialPort port;
        port.setBaudRate(rate);
        port.setStopBits(StopBits::Two);
        ASSERT_TRUE(openedOn(port, pty.path()));

        termios tio{};
        ASSERT_EQ(tcgetattr(pty.device(), &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), speed);
        EXPECT_EQ(cfgetispeed(&tio), speed);
        EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    }
}

TEST(SerialPortReceive, SilenceEndsABlockAndAZeroByteFollowsIt) {
    Pty pty;
    SerialPort port;
    Owner owner(port);
    ASSERT_TRUE(openedOn(port, pty.path()));

    pty.send("\x81");
    pty.send("\x03");
    ASSERT_TRUE(owner.waitForBlocks(1));
    // The first block came after 250 ms of silence, so this is a new one.
    pty.send("\x82\x01\xff");
    ASSERT_TRUE(owner.waitForBlocks(2));

    EXPECT_EQ(owner.blocks, (std::vector<QByteArray>{"\x81\x03", "\x82\x01\xff"}));
    EXPECT_EQ(owner.missingZero, 0);
}

TEST(SerialPortReceive, AFullBufferIsDeliveredAtOnceAndInOrder) {
    Pty pty;
    SerialPort port;
    Owner owner(port);
    ASSERT_TRUE(openedOn(port, pty.path()));

    QByteArray data;
    for (int i = 0; i < 4500; ++i) data += char(i % 251);
    pty.send(data);
    ASSERT_TRUE(owner.waitForBlocks(3));

    ASSERT_EQ(owner.blocks.size(), 3u);
    EXPECT_EQ(owner.blocks[0].size(), 2048);
    EXPECT_EQ(owner.blocks[1].size(), 2048);
    EXPECT_EQ(owner.blocks[2].size(), 404);
    EXPECT_EQ(concatenated(owner.blocks), data);
    EXPECT_EQ(owner.missingZero, 0);
}

TEST(SerialPortReceive, BytesReadBeforeAHangUpArriveBeforeIt) {
    Pty pty;
    SerialPort port;
    Owner owner(port);
    pty.send("XY");
    ASSERT_TRUE(pty.waitQueued(2));
    ASSERT_TRUE(openedOn(port, pty.path()));
    ASSERT_TRUE(pty.waitQueued(0));

    pty.hangUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return owner.events.size() >= 2; }, kWaitMs));
    QTest::qWait(50);

    EXPECT_EQ(owner.events, (std::vector<QByteArray>{"data XY", "hangup"}));
}

TEST(SerialPortReceive, ClosingKeepsWhatWasReadAndTheDriverKeepsTheRest) {
    Pty pty;
    SerialPort port;
    Owner owner(port);
    pty.send("A");
    ASSERT_TRUE(pty.waitQueued(1));
    ASSERT_TRUE(openedOn(port, pty.path()));
    ASSERT_TRUE(pty.waitQueued(0));

    port.closePort();
    EXPECT_FALSE(port.isOpen());
    pty.send("B");
    ASSERT_TRUE(pty.waitQueued(1));
    ASSERT_TRUE(port.openPort());
    ASSERT_TRUE(owner.waitForBlocks(2));

    EXPECT_EQ(owner.events, (std::vector<QByteArray>{"data A", "data B"}));
}

TEST(SerialPortWrite, QueuedBytesReachTheLine) {
    Pty pty;
    SerialPort port;
    EXPECT_FALSE(port.writeBytes("early"));
    ASSERT_TRUE(openedOn(port, pty.path()));

    EXPECT_TRUE(port.writeBytes("\x81\x03"));
    EXPECT_TRUE(port.writeBytes("ok"));
    EXPECT_EQ(pty.receive(4), QByteArray("\x81\x03ok"));
}

class CommLinkTest : public ::testing::Test {
protected:
    // The fixed name under which each new controller line appears.
    void pointLinkAt(const Pty& pty) {
        QFile::remove(linkPath);
        ASSERT_TRUE(QFile::link(pty.path(), linkPath));
    }

    QTemporaryDir dir;
    const QString linkPath = dir.filePath("ttyController");
    SerialPort port;
    CommLink link{port};
    QSignalSpy changes{&link, &CommLink::linkUp};

    void SetUp() override {
        link.setRetryInterval(50);
        port.portName = linkPath;
    }
    std::vector<bool> states() const {
        std::vector<bool> all;
        for (const QList<QVariant>& change : changes) all.push_back(change.at(0).toBool());
        return all;
    }
};

TEST_F(CommLinkTest, ReopensAfterTheLineComesBack) {
    std::vector<QByteArray> blocks;
    port.receiveHandler = [&](const void* buffer, quint16 length) {
        blocks.emplace_back(static_cast<const char*>(buffer), length);
    };
    auto first = std::make_unique<Pty>();
    pointLinkAt(*first);
    ASSERT_TRUE(link.start());
    EXPECT_TRUE(link.isUp());

    first->hangUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !link.isUp(); }, kWaitMs));
    QTest::qWait(200);  // several retries fail while the line is gone
    EXPECT_FALSE(link.isUp());

    Pty second;
    pointLinkAt(second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.isUp(); }, kWaitMs));
    second.send("\x85\x06");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !blocks.empty(); }, kWaitMs));

    EXPECT_EQ(blocks, (std::vector<QByteArray>{"\x85\x06"}));
    EXPECT_EQ(states(), (std::vector<bool>{true, false, true}));
}

TEST_F(CommLinkTest, AFailedFirstOpenIsReportedAndRetried) {
    EXPECT_THROW(link.start(), SerialPortError);
    EXPECT_FALSE(link.isUp());

    Pty pty;
    pointLinkAt(pty);
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.isUp(); }, kWaitMs));
    EXPECT_EQ(states(), (std::vector<bool>{true}));
}

}  // namespace
