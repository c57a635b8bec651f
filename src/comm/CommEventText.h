#pragma once

#include <QByteArray>
#include <QtGlobal>

// The driver's running totals of line errors since the device was opened.
struct LineErrorCounts {
    quint32 frame = 0;
    quint32 overrun = 0;
    quint32 parity = 0;
    quint32 bufferOverrun = 0;
};

// Error flags as the line-error report numbers them.
enum CommErrorFlag : quint32 {
    CE_RXOVER = 1,
    CE_OVERRUN = 2,
    CE_RXPARITY = 4,
    CE_FRAME = 8,
};

// The flags of the errors counted between two readings of the counters.
quint32 commErrorFlags(const LineErrorCounts& before, const LineErrorCounts& now);

// The text line that reports line errors to the port's owner, e.g.
// "Comm Event: CE_FRAME and CE_RXPARITY, EvtMask = 12".
QByteArray commEventText(quint32 errorFlags);
