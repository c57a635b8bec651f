#include "comm/SerialLine.h"

// termios2 takes any line speed (14400 and 28800 have no B constant); its header
// clashes with <termios.h>, so this file is the only one that talks to the driver.
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <utility>

QString serialDevicePath(const QString& portName) {
    if (portName.startsWith(u'/')) return portName;
    if (!portName.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) return {};
    const QStringView digits = QStringView(portName).mid(3);
    bool ok = false;
    const int number = digits.toInt(&ok);
    if (!ok || number < 1 || number > 128 || digits.startsWith(u'0') || digits.startsWith(u'+'))
        return {};
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

namespace {

// The driver's own code for a standard speed; other speeds are given as a number.
tcflag_t speedCode(quint32 baudRate) {
    static constexpr std::pair<quint32, tcflag_t> kCodes[] = {
        {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
        {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const auto& [rate, code] : kCodes)
        if (rate == baudRate) return code;
    return BOTHER;
}

}  // namespace

quint32 lineControlFlags(quint32 current, const LineSettings& settings) {
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tcflag_t flags = current & ~(PARENB | PARODD | CMSPAR | CSTOPB);
    // The controller drives no carrier line: without CLOCAL the driver would hang up on us.
    flags |= CLOCAL | CREAD;
    if (settings.dataBits >= 5 && settings.dataBits <= 8)
        flags = (flags & ~CSIZE) | kSizes[settings.dataBits - 5];
    switch (settings.parity) {
        case 1:
            flags |= PARENB | PARODD;
            break;
        case 2:
            flags |= PARENB;
            break;
        case 3:
            flags |= PARENB | CMSPAR | PARODD;
            break;
        case 4:
            flags |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    // A UART sends one and a half stop bits when asked for two with 5 data bits.
    if (settings.stopBits != 0) flags |= CSTOPB;
    return flags;
}

bool applyLineSettings(int fd, const LineSettings& settings) {
    // No driver frames 4 data bits; the line keeps what it had, as when any setting is refused.
    if (settings.dataBits < 5 || settings.dataBits > 8) return false;

    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;

    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;

    tio.c_cflag = (lineControlFlags(tio.c_cflag, settings) & ~(CBAUD | CIBAUD)) |
                  speedCode(settings.baudRate);
    tio.c_ispeed = settings.baudRate;
    tio.c_ospeed = settings.baudRate;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

bool readLineErrorCounts(int fd, LineErrorCounts* counts) {
    serial_icounter_struct icount{};
    if (ioctl(fd, TIOCGICOUNT, &icount) != 0) return false;
    counts->frame = quint32(icount.frame);
    counts->overrun = quint32(icount.overrun);
    counts->parity = quint32(icount.parity);
    counts->bufferOverrun = quint32(icount.buf_overrun);
    return true;
}
