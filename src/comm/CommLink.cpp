#include "comm/CommLink.h"

#include "comm/SerialPort.h"

CommLink::CommLink(SerialPort& port, QObject* parent) : QObject(parent), port_(port) {
    // Single-shot: opening runs the event loop, where a repeating timer would fire again.
    retry_.setSingleShot(true);
    retry_.setInterval(kDefaultRetryMs);
    connect(&retry_, &QTimer::timeout, this, &CommLink::retry);
    port_.hangupHandler = [this](SerialPort*) { hangup(); };
}

bool CommLink::start() {
    bool opened = false;
    try {
        opened = port_.openPort();
    } catch (const SerialPortError&) {
        retry_.start();
        throw;
    }
    if (opened)
        setUp(true);
    else
        retry_.start();
    return opened;
}

void CommLink::retry() {
    try {
        if (port_.isOpen() || port_.openPort()) {
            setUp(true);
            return;
        }
    } catch (const SerialPortError&) {
        // Still unplugged; the next attempt will tell.
    }
    retry_.start();
}

void CommLink::hangup() {
    // Blocks read before the hang-up have been delivered already; closing drops nothing.
    port_.closePort();
    setUp(false);
    retry_.start();
}

void CommLink::setUp(bool up) {
    if (up == up_) return;
    up_ = up;
    emit linkUp(up);
}
