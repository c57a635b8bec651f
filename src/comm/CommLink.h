#pragma once

#include <QObject>
#include <QTimer>

class SerialPort;

// Keeps the controller link up: after a hang-up or a failed open it tries to open the port
// again every few seconds, since a desk PC's serial adapter gets unplugged and plugged back.
// It takes the port's hang-up event for itself.
class CommLink : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultRetryMs = 3000;

    explicit CommLink(SerialPort& port, QObject* parent = nullptr);

    // The first opening. Its SerialPortError reaches the caller, so that the start-up can show
    // it; the retries that follow are silent.
    bool start();

    bool isUp() const { return up_; }
    void setRetryInterval(int ms) { retry_.setInterval(ms); }

signals:
    // Whenever the link comes up or goes down.
    void linkUp(bool up);

private:
    void retry();
    void hangup();
    void setUp(bool up);

    SerialPort& port_;
    QTimer retry_;
    bool up_ = false;
};
