#include "comm/CommLink.h"

#include "comm/TComm32.h"

CommLink::CommLink(TComm32& port, QObject* parent) : QObject(parent), port_(port) {
    // Single-shot: opening runs the event loop, where a repeating timer would fire again.
    retry_.setSingleShot(true);
    retry_.setInterval(kDefaultRetryMs);
    connect(&retry_, &QTimer::timeout, this, &CommLink::retry);
    port_.OnRequestHangup = [this](TComm32*) { hangup(); };
}

bool CommLink::start() {
    bool opened = false;
    try {
        opened = port_.OpenPort();
    } catch (const ECommsError&) {
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
        if (port_.isOpen() || port_.OpenPort()) {
            setUp(true);
            return;
        }
    } catch (const ECommsError&) {
        // Still unplugged; the next attempt will tell.
    }
    retry_.start();
}

void CommLink::hangup() {
    // Blocks read before the hang-up have been delivered already; closing drops nothing.
    port_.ClosePort();
    setUp(false);
    retry_.start();
}

void CommLink::setUp(bool up) {
    if (up == up_) return;
    up_ = up;
    emit linkUp(up);
}
