#pragma once

#include <QByteArray>
#include <QString>

// The controller's end of a pseudo-terminal; the board opens the other end as its port.
class SimLine {
  public:
    SimLine() = default;
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;
    ~SimLine();

    // Creates the pseudo-terminal; false with the reason in error.
    bool open(QString* error);
    // The device the board opens.
    const QString& devicePath() const { return devicePath_; }

    // Makes path a symbolic link to the device, replacing an earlier link (never a file).
    bool link(const QString& path, QString* error);

    // Puts bytes on the line, each 10 bit times after the one before when baud is not 0.
    // Returns how many went out: the driver's queue stays full while no port reads it.
    qsizetype send(const QByteArray& bytes, int baud);

  private:
    bool writeWithin(const char* data, qsizetype size, qsizetype* written, int timeoutMs);

    int master_ = -1;
    // Held open so that the board opening and closing its port never hangs up our end.
    int device_ = -1;
    QString devicePath_;
    QString linkPath_;
};
