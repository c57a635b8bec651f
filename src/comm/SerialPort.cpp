#include "comm/SerialPort.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <system_error>

#include "comm/SerialReader.h"
#include "comm/SerialWriter.h"

namespace {

constexpr quint32 kBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,   14400,
                                  19200, 28800, 38400, 57600, 115200, 230400, 460800, 921600};

}  // namespace

SerialPort::SerialPort(QObject* owner) : QObject(owner) {}

SerialPort::~SerialPort() { closePort(); }

void SerialPort::setPortNumber(PortNumber port) {
    commPorts_ = port;
    portName = QStringLiteral("COM%1").arg(int(port) + 1);
}

void SerialPort::setBaudRate(BaudRate rate) {
    baudRates_ = rate;
    line_.baudRate = kBaudRates[int(rate)];
}

void SerialPort::setDataBits(DataBits bits) {
    dataBits_ = bits;
    line_.dataBits = quint8(int(bits) + 4);
}

void SerialPort::setParity(Parity parity) {
    parities_ = parity;
    line_.parity = quint8(parity);
}

void SerialPort::setStopBits(StopBits bits) {
    stopBits_ = bits;
    line_.stopBits = quint8(bits);
}

void SerialPort::setEventChar(ControlCode code) { eventChar_ = code; }

void SerialPort::setEndOfFileChar(ControlCode code) { endOfChar_ = code; }

bool SerialPort::openPort() {
    if (fd_ >= 0) throw SerialPortError(QStringLiteral("Already have a comm file open"));

    const QString device = serialDevicePath(portName);
    int fd = device.isEmpty() ? -1
                              : open(QFile::encodeName(device).constData(),
                                     O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // One owner per port, as two readers would each get half of the controller's bytes.
    // The lock goes with the descriptor, so a crashed program leaves none behind.
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        fd = -1;
    }
    if (fd < 0) throw SerialPortError(QStringLiteral("Error opening %1 port").arg(portName));

    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        close(fd);
        throw SerialPortError(QStringLiteral("File handle is not a %1 handle.").arg(portName));
    }
    fd_ = fd;

    // A line that refuses a setting is still read as it is.
    applyLineSettings(fd_, line_);

    closeEvent_ = eventfd(0, EFD_CLOEXEC);
    if (closeEvent_ < 0) {
        closePort();
        return false;
    }

    readerReady_ = writerReady_ = startFailed_ = false;
    const quint64 generation = generation_;
    const CommPoster poster = [this, generation](CommNotice notice, QByteArray block) {
        post(generation, notice, std::move(block));
    };
    // Thread priorities are left alone: raising them needs privileges a desk program lacks,
    // and the 250 ms block boundary is far above any scheduling delay.
    try {
        reader_ = std::make_unique<SerialReader>(fd_, closeEvent_, poster);
        reader_->start();
    } catch (const std::system_error&) {
        closePort();
        throw SerialPortError(QStringLiteral("Unable to create Read thread"));
    }
    try {
        writer_ = std::make_unique<SerialWriter>(fd_, closeEvent_, poster);
        writer_->start();
    } catch (const std::system_error&) {
        closePort();
        throw SerialPortError(QStringLiteral("Unable to create Write thread"));
    }

    // A thread that fails before it is ready says so with a hang-up; a handler run in
    // the meantime may also have closed the port.
    while (fd_ >= 0 && !startFailed_ && !(readerReady_ && writerReady_))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (fd_ < 0) return false;
    if (startFailed_) {
        closePort();
        return false;
    }
    open_ = true;
    return true;
}

bool SerialPort::writeBytes(const QByteArray& bytes) {
    if (!open_) return false;
    writer_->request(bytes);
    return true;
}

void SerialPort::closePort() {
    if (fd_ < 0) return;
    if (closeEvent_ >= 0) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t written = write(closeEvent_, &one, sizeof one);
    }
    reader_.reset();
    writer_.reset();
    if (closeEvent_ >= 0) close(closeEvent_);
    close(fd_);
    closeEvent_ = -1;
    fd_ = -1;
    open_ = false;
    ++generation_;
}

void SerialPort::post(quint64 generation, CommNotice notice, QByteArray block) {
    // Runs on a worker thread; the queued call keeps the order of everything posted.
    QMetaObject::invokeMethod(
        this,
        [this, generation, notice, block = std::move(block)] {
            handleNotice(generation, notice, block);
        },
        Qt::QueuedConnection);
}

void SerialPort::handleNotice(quint64 generation, CommNotice notice, const QByteArray& block) {
    switch (notice) {
        case CommNotice::Data:
            // Delivered also after the port closed: bytes that were read are not dropped.
            // QByteArray keeps a zero byte after its data, the partner of an odd last byte.
            if (receiveHandler) receiveHandler(block.constData(), quint16(block.size()));
            return;
        case CommNotice::Hangup:
            if (generation != generation_) return;
            if (!open_) {
                startFailed_ = true;
                return;
            }
            if (hangupHandler) hangupHandler(this);
            return;
        case CommNotice::ReaderReady:
            if (generation == generation_) readerReady_ = true;
            return;
        case CommNotice::WriterReady:
            if (generation == generation_) writerReady_ = true;
            return;
    }
}
