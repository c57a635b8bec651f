#pragma once

#include <QString>
#include <utility>

#include "board/RoomState.h"

// A cash ledger row's status. The end column (`ODateTime`) keeps it as text:
// empty (or NULL) while the stay runs, the stamp "yyyyMMddHHmm" of its end when
// it finished, or that stamp followed by "대실취소"/"숙박취소" when it was
// cancelled, or by "객실교체" when the guest moved to another room. The column
// is read into this value here and written from it here; the statements that
// choose rows by it take their conditions from here too.
class LedgerStatus {
public:
    enum class End {
        Open,       // the stay runs
        Finished,   // a stamp alone
        Cancelled,  // a stamp and "대실취소"/"숙박취소"
        Moved,      // a stamp and "객실교체"
        Other,      // any other text: ended, but neither of the above
    };

    static LedgerStatus read(const QString& column) {
        if (column.isEmpty()) return {column, End::Open};
        if (column.endsWith(kCancelled)) return {column, End::Cancelled};
        if (column.endsWith(kMoved)) return {column, End::Moved};
        if (column.size() == kStampSize) return {column, End::Finished};
        return {column, End::Other};
    }
    static LedgerStatus finished(const QString& stamp) { return {stamp, End::Finished}; }
    static LedgerStatus cancelled(const QString& stamp, StayKind kind) {
        return {stamp + stayWord(kind) + kCancelled, End::Cancelled};
    }
    static LedgerStatus moved(const QString& stamp) {
        return {stamp + QStringLiteral("객실교체"), End::Moved};
    }

    End end() const { return end_; }
    bool isOpen() const { return end_ == End::Open; }
    bool isFinished() const { return end_ == End::Finished; }
    bool isCancelled() const { return end_ == End::Cancelled; }
    bool isMoved() const { return end_ == End::Moved; }
    // The column's text, as stored.
    const QString& text() const { return text_; }
    // The stamp of the end, and what follows it ("대실취소", ...).
    QString stamp() const { return text_.left(kStampSize); }
    QString note() const { return text_.mid(kStampSize); }

    // Conditions on the column for the statements that choose rows by it.
    static constexpr const char* kOpenSql = "(coalesce(ODateTime, '') = '')";
    static constexpr const char* kEndedSql = "(coalesce(ODateTime, '') != '')";

private:
    LedgerStatus(QString text, End end) : text_(std::move(text)), end_(end) {}
    static constexpr int kStampSize = 12;
    // The endings a reader goes by.
    static inline const QString kCancelled = QStringLiteral("취소");
    static inline const QString kMoved = QStringLiteral("교체");

    QString text_;
    End end_;
};
