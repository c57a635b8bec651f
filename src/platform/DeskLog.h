#pragma once

#include <QDateTime>
#include <QString>

// Appends one line "yyyy-MM-dd HH:mm:ss text" to tavolen.log in the data directory, so that
// what the board showed while nobody watched can be read afterwards. Never raises: a log that
// cannot be written is not worth stopping the board for.
void appendDeskLog(const QString& dataDir, const QDateTime& when, const QString& text);

constexpr const char* kDeskLogName = "tavolen.log";
