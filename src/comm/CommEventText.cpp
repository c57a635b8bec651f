#include "comm/CommEventText.h"

quint32 commErrorFlags(const LineErrorCounts& before, const LineErrorCounts& now) {
    quint32 flags = 0;
    // Counters only grow while the device is open; any difference means new errors.
    if (now.frame != before.frame) flags |= CE_FRAME;
    if (now.overrun != before.overrun) flags |= CE_OVERRUN;
    if (now.parity != before.parity) flags |= CE_RXPARITY;
    if (now.bufferOverrun != before.bufferOverrun) flags |= CE_RXOVER;
    return flags;
}

QByteArray commEventText(quint32 errorFlags) {
    QByteArray words;
    const auto add = [&words](const char* word) {
        if (!words.isEmpty()) words += " and ";
        words += word;
    };
    if (errorFlags == 0) add("NULL Error");
    if (errorFlags & CE_FRAME) add("CE_FRAME");
    if (errorFlags & CE_OVERRUN) add("CE_OVERRUN");
    if (errorFlags & CE_RXPARITY) add("CE_RXPARITY");
    if (errorFlags & ~quint32(CE_FRAME | CE_OVERRUN | CE_RXPARITY)) add("EV_ERR Unknown EvtMask");
    return "Comm Event: " + words + ", EvtMask = " + QByteArray::number(errorFlags);
}
