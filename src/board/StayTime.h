#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <utility>

// Minutes since 2000-01-01 00:00 in a calendar of 365-day years (no leap
// day), from the text "yyyymmddhhmm". Stored stays carry it and other
// readers of the room-state file compute it, so the arithmetic stays exactly
// as it is; the board itself measures time from the real dates.
qint64 minuteCount(QStringView yyyymmddhhmm);

// The text "yyyymmddhhmm" of a moment.
QString stampText(const QDateTime& moment);

// The moment of "yyyymmddhhmm"; invalid for any other text or a date that does not exist.
QDateTime momentOfStamp(QStringView yyyymmddhhmm);

// The moment without its seconds.
QDateTime minuteOf(const QDateTime& moment);

// Whole minutes from one minute to another, by the real calendar: the
// seconds of both are left out, as a stamp leaves them out.
qint64 minutesBetween(const QDateTime& from, const QDateTime& to);

// The start of a stay as the room-state file keeps it in `Time`: its stamp
// "yyyymmddhhmm" followed at once by the stamp's minute count. Read from the
// file once and written back exactly as read; empty when no stay runs.
class StayTime {
public:
    StayTime() = default;
    // The stay that begins at the minute of `moment`.
    static StayTime startingAt(const QDateTime& moment);
    static StayTime fromStored(const QString& text) { return StayTime(text); }

    const QString& stored() const { return text_; }
    bool isEmpty() const { return text_.isEmpty(); }
    // "yyyymmddhhmm": also the key of the stay's ledger row.
    QString stamp() const { return text_.left(kStampLength); }
    // The minute count written after the stamp; none when it is missing or not a number.
    std::optional<qint64> minuteCount() const;
    // The stamp's hour and minute as stored, with their leading zeros.
    QString hour() const { return text_.mid(8, 2); }
    QString minute() const { return text_.mid(10, 2); }
    // The start as a moment of the real calendar; invalid when the stamp is damaged.
    QDateTime moment() const { return momentOfStamp(QStringView(text_).left(kStampLength)); }

    bool operator==(const StayTime&) const = default;

private:
    explicit StayTime(QString text) : text_(std::move(text)) {}
    static constexpr int kStampLength = 12;
    QString text_;
};
