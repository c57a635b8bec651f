#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "comm/CommNotice.h"
#include "comm/ECommsError.h"
#include "comm/SerialLine.h"

class TReadThread;
class TWriteThread;

// clang-format off
// Port n+1 is ordinal n.
enum class TCommPorts : quint8 {
    COM__1, COM__2, COM__3, COM__4, COM__5, COM__6, COM__7, COM__8,
    COM__9, COM_10, COM_11, COM_12, COM_13, COM_14, COM_15, COM_16,
    COM_17, COM_18, COM_19, COM_20, COM_21, COM_22, COM_23, COM_24,
    COM_25, COM_26, COM_27, COM_28, COM_29, COM_30, COM_31, COM_32,
    COM_33, COM_34, COM_35, COM_36, COM_37, COM_38, COM_39, COM_40,
    COM_41, COM_42, COM_43, COM_44, COM_45, COM_46, COM_47, COM_48,
    COM_49, COM_50, COM_51, COM_52, COM_53, COM_54, COM_55, COM_56,
    COM_57, COM_58, COM_59, COM_60, COM_61, COM_62, COM_63, COM_64,
    COM_65, COM_66, COM_67, COM_68, COM_69, COM_70, COM_71, COM_72,
    COM_73, COM_74, COM_75, COM_76, COM_77, COM_78, COM_79, COM_80,
    COM_81, COM_82, COM_83, COM_84, COM_85, COM_86, COM_87, COM_88,
    COM_89, COM_90, COM_91, COM_92, COM_93, COM_94, COM_95, COM_96,
    COM_97, COM_98, COM_99, COM100, COM101, COM102, COM103, COM104,
    COM105, COM106, COM107, COM108, COM109, COM110, COM111, COM112,
    COM113, COM114, COM115, COM116, COM117, COM118, COM119, COM120,
    COM121, COM122, COM123, COM124, COM125, COM126, COM127, COM128,
};

enum class TBaudRates : quint8 {
    ____110, ____300, ____600, ___1200, ___2400, ___4800,
    ___9600, __14400, __19200, __28800, __38400, __57600,
    _115200, _230400, _460800, _921600,
};

enum class TDataBits : quint8 { _4, _5, _6, _7, _8 };

enum class TParities : quint8 { None, Odd, Even, Mark, Space };

enum class TStopBits : quint8 { _1, _1_5, _2 };

// Ordinal n is the control character n.
enum class TControlCode : quint8 {
    _00_NUL_Null,
    _01_SOH_Start_of_Heading,
    _02_STX_Start_of_Text,
    _03_ETX_End_of_Text,
    _04_EOT_End_of_Transmission,
    _05_ENQ_ENQuiry,
    _06_ACK_ACKnowledge,
    _07_BEL_ring_terminal_BELl,
    _08_BS__Backspace,
    _09_HT__Horizontal_Tab,
    _0A_LF__Line_Feed,
    _0B_VT__Vertical_Tab,
    _0C_FF__Form_Feed,
    _0D_CR__Carriage_Return,
    _0E_SO__Shift_Out,
    _0F_SI__Shift_In,
    _10_DLE_Data_Link_Escape,
    _11_DC1_Device_Control_1,
    _12_DC2_Device_Control_2,
    _13_DC3_Device_Control_3,
    _14_DC4_Device_Control_4,
    _15_NAK_Negative_AcKnowledge,
    _16_SYN_SYNchronous_Idle,
    _17_ETB_End_of_Transmission_Block,
    _18_CAN_CANcel,
    _19_EM__End_of_Medium,
    _1A_SUB_SUBstitute,
    _1B_ESC_ESCape,
    _1C_FS__File_Separator,
    _1D_GS__Group_Separator,
    _1E_RS__Record_Separator,
    _1F_US__Unit_Separator,
};
// clang-format on

// The received bytes and their count; one zero byte follows them and is not counted. The
// bytes are valid only during the call.
using TReceiveDataEvent = std::function<void(const void* Buffer, quint16 BufferLength)>;
class TComm32;
using TNotifyEvent = std::function<void(TComm32* Sender)>;

// One serial port, read and written by two worker threads of its own. Everything the threads
// have to say reaches the owner on the thread that created the port, in the order it was
// said, so the owner's handlers never run on a worker thread.
class TComm32 : public QObject {
    Q_OBJECT

  public:
    explicit TComm32(QObject* owner = nullptr);
    ~TComm32() override;

    // Opens the device named by PortName with the line settings derived from the properties
    // and starts both threads. Throws ECommsError when the device cannot be opened or the
    // threads cannot be started; false when a thread fails before it is ready. Runs the
    // owner's pending events while it waits for the threads, so handlers may run inside it.
    bool OpenPort();

    // Ends both threads and releases the device; blocks read so far are still delivered.
    // Lets a port that was unplugged be opened again.
    void ClosePort();

    bool isOpen() const { return open_; }

    // Queues bytes for the writer thread; false while the port is closed.
    bool WriteData(const QByteArray& bytes);

    TCommPorts CommPorts() const { return commPorts_; }
    void setCommPorts(TCommPorts port);
    TBaudRates BaudRates() const { return baudRates_; }
    void setBaudRates(TBaudRates rate);
    TDataBits DataBits() const { return dataBits_; }
    void setDataBits(TDataBits bits);
    TParities Parities() const { return parities_; }
    void setParities(TParities parity);
    TStopBits StopBits() const { return stopBits_; }
    void setStopBits(TStopBits bits);
    TControlCode EventChar() const { return eventChar_; }
    void setEventChar(TControlCode code);
    TControlCode EndOfChar() const { return endOfChar_; }
    void setEndOfChar(TControlCode code);

    // Written by setCommPorts, or directly with a device name of the board's settings.
    QString PortName = QStringLiteral("COM1");

    // The settings derived from the properties, used when the port opens.
    const LineSettings& lineSettings() const { return line_; }
    // The raw line delivers every byte as it comes; the two characters are kept for the
    // record but mark nothing.
    char eventCharacter() const { return char(eventChar_); }
    char endOfFileCharacter() const { return char(endOfChar_); }

    TReceiveDataEvent OnReceiveData;
    TNotifyEvent OnRequestHangup;

  private:
    void post(quint64 generation, CommNotice notice, QByteArray block);
    void handleNotice(quint64 generation, CommNotice notice, const QByteArray& block);

    std::unique_ptr<TReadThread> reader_;
    std::unique_ptr<TWriteThread> writer_;
    bool writerReady_ = false;
    bool readerReady_ = false;
    bool startFailed_ = false;
    int fd_ = -1;
    int closeEvent_ = -1;
    // Notices of an earlier opening must not mark the present one ready or hung up.
    quint64 generation_ = 0;

    TCommPorts commPorts_ = TCommPorts::COM__1;
    TBaudRates baudRates_ = TBaudRates::___9600;
    TDataBits dataBits_ = TDataBits::_8;
    TParities parities_ = TParities::None;
    TStopBits stopBits_ = TStopBits::_1;
    TControlCode eventChar_ = TControlCode::_0D_CR__Carriage_Return;
    TControlCode endOfChar_ = TControlCode::_0D_CR__Carriage_Return;

    LineSettings line_;
    bool open_ = false;
};
