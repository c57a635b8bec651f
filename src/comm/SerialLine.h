#pragma once

#include <QString>
#include <QtGlobal>

#include "comm/CommEventText.h"

// The settings the port puts on the line when it opens.
struct LineSettings {
    quint32 baudRate = 9600;
    quint8 dataBits = 8;  // 4..8
    quint8 parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    quint8 stopBits = 0;  // 0 one, 1 one and a half, 2 two
};

// The device behind a port name: "COM1".."COM128" are /dev/ttyS0../dev/ttyS127, and a
// name that begins with "/" is a device path already (USB adapters, pseudo-terminals).
// Empty when the name stands for no device.
QString serialDevicePath(const QString& portName);

// The line's control flags for the settings (character size, parity, stop bits, receiver on,
// no modem control), made from the flags the driver reports; speed bits are left as they are.
quint32 lineControlFlags(quint32 current, const LineSettings& settings);

// Puts the line into raw mode with the given settings; other settings (flow control)
// stay as the driver has them. False when the driver refuses them.
bool applyLineSettings(int fd, const LineSettings& settings);

// The driver's error counters; false when the device keeps none (pseudo-terminals).
bool readLineErrorCounts(int fd, LineErrorCounts* counts);
