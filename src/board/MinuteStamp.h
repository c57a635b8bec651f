#pragma once

#include <QDateTime>
#include <QString>

// Minutes since 2000-01-01 00:00 in a calendar of 365-day years (no leap
// day), from the text "yyyymmddhhmm". Stored stays carry it, so the
// arithmetic must stay exactly as it is.
qint64 MinuteStamp(const QString& yyyymmddhhmm);

// The text "yyyymmddhhmm" of a moment.
QString StampText(const QDateTime& moment);

// The moment of "yyyymmddhhmm"; invalid for any other text or a date that does not exist.
QDateTime MomentOfStamp(QStringView yyyymmddhhmm);

// A stay's `Time`: "yyyymmddhhmm" followed by its MinuteStamp.
QString TimeText(const QDateTime& moment);
