#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "comm/CommNotice.h"
#include "comm/SerialLine.h"
#include "comm/SerialPortError.h"

class SerialReader;
class SerialWriter;

// clang-format off
// Port n+1 is ordinal n.
enum class PortNumber : quint8 {
    Com1, Com2, Com3, Com4, Com5, Com6, Com7, Com8,
    Com9, Com10, Com11, Com12, Com13, Com14, Com15, Com16,
    Com17, Com18, Com19, Com20, Com21, Com22, Com23, Com24,
    Com25, Com26, Com27, Com28, Com29, Com30, Com31, Com32,
    Com33, Com34, Com35, Com36, Com37, Com38, Com39, Com40,
    Com41, Com42, Com43, Com44, Com45, Com46, Com47, Com48,
    Com49, Com50, Com51, Com52, Com53, Com54, Com55, Com56,
    Com57, Com58, Com59, Com60, Com61, Com62, Com63, Com64,
    Com65, Com66, Com67, Com68, Com69, Com70, Com71, Com72,
    Com73, Com74, Com75, Com76, Com77, Com78, Com79, Com80,
    Com81, Com82, Com83, Com84, Com85, Com86, Com87, Com88,
    Com89, Com90, Com91, Com92, Com93, Com94, Com95, Com96,
    Com97, Com98, Com99, Com100, Com101, Com102, Com103, Com104,
    Com105, Com106, Com107, Com108, Com109, Com110, Com111, Com112,
    Com113, Com114, Com115, Com116, Com117, Com118, Com119, Com120,
    Com121, Com122, Com123, Com124, Com125, Com126, Com127, Com128,
};

enum class BaudRate : quint8 {
    Baud110, Baud300, Baud600, Baud1200, Baud2400, Baud4800,
    Baud9600, Baud14400, Baud19200, Baud28800, Baud38400, Baud57600,
    Baud115200, Baud230400, Baud460800, Baud921600,
};

enum class DataBits : quint8 { Bits4, Bits5, Bits6, Bits7, Bits8 };

enum class Parity : quint8 { None, Odd, Even, Mark, Space };

enum class StopBits : quint8 { One, OneAndHalf, Two };

// Ordinal n is the control character n.
enum class ControlCode : quint8 {
    Nul,
    Soh,
    Stx,
    Etx,
    Eot,
    Enq,
    Ack,
    Bel,
    Bs,
    Ht,
    Lf,
    Vt,
    Ff,
    Cr,
    So,
    Si,
    Dle,
    Dc1,
    Dc2,
    Dc3,
    Dc4,
    Nak,
    Syn,
    Etb,
    Can,
    Em,
    Sub,
    Esc,
    Fs,
    Gs,
    Rs,
    Us,
};
// clang-format on

// The received bytes and their count; one zero byte follows them and is not counted. The
// bytes are valid only during the call.
using ReceiveHandler = std::function<void(const void* Buffer, quint16 BufferLength)>;
class SerialPort;
using HangupHandler = std::function<void(SerialPort* Sender)>;

// One serial port, read and written by two worker threads of its own. Everything the threads
// have to say reaches the owner on the thread that created the port, in the order it was
// said, so the owner's handlers never run on a worker thread.
class SerialPort : public QObject {
    Q_OBJECT

public:
    explicit SerialPort(QObject* owner = nullptr);
    ~SerialPort() override;

    // Opens the device named by portName with the line settings derived from the properties
    // and starts both threads. Throws SerialPortError when the device cannot be opened or the
    // threads cannot be started; false when a thread fails before it is ready. Runs the
    // owner's pending events while it waits for the threads, so handlers may run inside it.
    bool openPort();

    // Ends both threads and releases the device; blocks read so far are still delivered.
    // Lets a port that was unplugged be opened again.
    void closePort();

    bool isOpen() const { return open_; }

    // Queues bytes for the writer thread; false while the port is closed.
    bool writeBytes(const QByteArray& bytes);

    PortNumber portNumber() const { return commPorts_; }
    void setPortNumber(PortNumber port);
    BaudRate baudRate() const { return baudRates_; }
    void setBaudRate(BaudRate rate);
    DataBits dataBits() const { return dataBits_; }
    void setDataBits(DataBits bits);
    Parity parity() const { return parities_; }
    void setParity(Parity parity);
    StopBits stopBits() const { return stopBits_; }
    void setStopBits(StopBits bits);
    ControlCode eventChar() const { return eventChar_; }
    void setEventChar(ControlCode code);
    ControlCode endOfFileChar() const { return endOfChar_; }
    void setEndOfFileChar(ControlCode code);

    // Written by setPortNumber, or directly with a device name of the board's settings.
    QString portName = QStringLiteral("COM1");

    // The settings derived from the properties, used when the port opens.
    const LineSettings& lineSettings() const { return line_; }
    // The raw line delivers every byte as it comes; the two characters are kept for the
    // record but mark nothing.
    char eventCharacter() const { return char(eventChar_); }
    char endOfFileCharacter() const { return char(endOfChar_); }

    ReceiveHandler receiveHandler;
    HangupHandler hangupHandler;

private:
    void post(quint64 generation, CommNotice notice, QByteArray block);
    void handleNotice(quint64 generation, CommNotice notice, const QByteArray& block);

    std::unique_ptr<SerialReader> reader_;
    std::unique_ptr<SerialWriter> writer_;
    bool writerReady_ = false;
    bool readerReady_ = false;
    bool startFailed_ = false;
    int fd_ = -1;
    int closeEvent_ = -1;
    // Notices of an earlier opening must not mark the present one ready or hung up.
    quint64 generation_ = 0;

    PortNumber commPorts_ = PortNumber::Com1;
    BaudRate baudRates_ = BaudRate::Baud9600;
    DataBits dataBits_ = DataBits::Bits8;
    Parity parities_ = Parity::None;
    StopBits stopBits_ = StopBits::One;
    ControlCode eventChar_ = ControlCode::Cr;
    ControlCode endOfChar_ = ControlCode::Cr;

    LineSettings line_;
    bool open_ = false;
};
