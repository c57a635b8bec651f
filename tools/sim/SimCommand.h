#pragma once

#include <QByteArray>
#include <QString>

// One line of the simulator's script or prompt.
struct SimCommand {
    enum class Kind { Nothing, Send, Noise, Pace, Wait, Quit };

    Kind kind = Kind::Nothing;
    QByteArray bytes;  // Send: the bytes to put on the line
    int number = 0;    // Noise: byte count; Pace: bits per second (0 = no pacing); Wait: ms
    QString note;      // Send: what the bytes stand for, shown beside them

    // Reads one line ("key 1 3", "raw 81 03", "# comment", ...). False, with the reason in
    // error, when the line is not a command.
    static bool parse(const QString& line, SimCommand* command, QString* error);
};
