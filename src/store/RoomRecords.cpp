#include "store/RoomRecords.h"

#include <QDateTime>
#include <algorithm>

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "store/Database.h"
#include "store/LedgerStatus.h"
#include "store/Outbox.h"
#include "store/Query.h"

namespace {

QString feeOf(StayKind kind, qint32 dayUseFee, qint32 overnightFee) {
    return QString::number(kind == StayKind::Overnight ? overnightFee : dayUseFee);
}

}  // namespace

int ledgerMonthsKept(int saveMonth) { return std::clamp(saveMonth, 1, 6); }

RoomRecords::RoomRecords(Database& db, Clock& clock, Dialogs& dialogs)
    : db_(db), clock_(clock), dialogs_(dialogs) {}

void RoomRecords::execute(Query& query, const QStringList& lines, const QStringList& params) {
    query.clear();
    for (const QString& line : lines) query.addLine(line);
    for (int i = 0; i < params.size(); ++i)
        query.bind(QStringLiteral(":N%1").arg(i + 1), params.at(i));
    query.exec();
}

void RoomRecords::deliver(Query& query, const QStringList& lines, const QStringList& params,
                          const QString& message) {
    if (collectStep) {
        collectStep({lines.join(u'\n'), params, message});
        return;
    }
    try {
        execute(query, lines, params);
    } catch (const std::exception&) {
        dialogs_.showError(message);
    }
}

QString RoomRecords::nowStamp() const {
    return clock_.now().toString(QStringLiteral("yyyyMMddHHmm"));
}

void RoomRecords::addHistory(const QString& roomCaption, const QString& action,
                             const QString& comm) {
    const QDateTime now = clock_.now();
    deliver(db_.historyQuery(),
            {QStringLiteral(R"(Insert into "room.DB")"),
             QStringLiteral("(roomNum,Action,Sdate,Stime,Comm)"),
             QStringLiteral("Values(:N1,:N2,:N3,:N4,:N5)")},
            {roomCaption, action, now.toString(QStringLiteral("yyyyMMdd")),
             now.toString(QStringLiteral("HHmm")), comm},
            QStringLiteral("룸정보가 초기저장되지 않았습니다."));
}

void RoomRecords::openLedgerRow(const QString& roomCaption, const QString& stayKey, StayKind kind,
                                qint32 dayUseFee, qint32 overnightFee) {
    deliver(db_.ledgerQuery(),
            {QStringLiteral(R"(Insert Into "Cash.DB")"),
             QStringLiteral("(roomNum,IDateTime,Action,Cash)"),
             QStringLiteral("Values(:N1,:N2,:N3,:N4)")},
            {roomCaption, stayKey, stayWord(kind), feeOf(kind, dayUseFee, overnightFee)},
            QStringLiteral("요금이 초기저장이 되지 않았습니다"));
}

void RoomRecords::closeLedgerRow(const QString& roomCaption, const QString& stayKey) {
    deliver(db_.ledgerQuery(),
            {QStringLiteral(R"(Update "Cash.DB")"), QStringLiteral("Set Odatetime = :N1"),
             QStringLiteral("Where (roomNum = :N2) and (IDateTime = :N3)")},
            {LedgerStatus::finished(nowStamp()).text(), roomCaption, stayKey},
            QStringLiteral("완료시간이 저장되지 않았습니다"));
}

void RoomRecords::convertLedgerRow(const QString& roomCaption, const QString& stayKey,
                                   StayKind kind, qint32 dayUseFee, qint32 overnightFee) {
    deliver(db_.ledgerQuery(),
            {QStringLiteral(R"(Update "Cash.DB")"), QStringLiteral("Set Action = :N1, Cash = :N2"),
             QStringLiteral("Where (roomNum = :N3) and (IDateTime = :N4)")},
            {stayWord(kind), feeOf(kind, dayUseFee, overnightFee), roomCaption, stayKey},
            QStringLiteral("데이터베이스에 수정이 되지 않았습니다"));
}

void RoomRecords::cancelLedgerRow(const QString& roomCaption, const QString& stayKey,
                                  StayKind kind) {
    deliver(db_.ledgerQuery(),
            {QStringLiteral(R"(Update "Cash.DB")"), QStringLiteral("Set ODateTime = :N1"),
             QStringLiteral("Where (roomNum = :N2) and (IDateTime = :N3)")},
            {LedgerStatus::cancelled(nowStamp(), kind).text(), roomCaption, stayKey},
            QStringLiteral("데이터베이스에 수정이 되지 않았습니다"));
}

void RoomRecords::moveLedgerRow(const QString& roomCaption, const QString& stayKey, StayKind kind,
                                qint32 elapsed, qint32 dayUseFee, qint32 overnightFee) {
    const QString amount =
        elapsed < 15 ? QStringLiteral("0") : feeOf(kind, dayUseFee, overnightFee);
    deliver(
        db_.ledgerQuery(),
        {QStringLiteral(R"(Update "Cash.DB")"), QStringLiteral("Set ODateTime = :N1 , Cash = :N2"),
         QStringLiteral("Where (roomNum = :N3) and (IDateTime = :N4)")},
        {LedgerStatus::moved(nowStamp()).text(), amount, roomCaption, stayKey},
        QStringLiteral("데이타베이스에 객실교체 저장이 되지 않았습니다"));
}

void RoomRecords::renumberLedgerRow(const QString& roomCaption, const QString& newRoomCaption,
                                    const QString& stayKey) {
    deliver(db_.ledgerQuery(),
            {QStringLiteral(R"(Update "Cash.DB")"), QStringLiteral("Set roomNum = :N1"),
             QStringLiteral("Where (roomNum = :N2) and (IDateTime = :N3)"),
             QStringLiteral("and ") + QLatin1String(LedgerStatus::kOpenSql)},
            {newRoomCaption, roomCaption, stayKey},
            QStringLiteral("방번호 변경이 요금에 저장되지 않았습니다"));
}

void RoomRecords::deleteAllRecords() {
    const QString history = QStringLiteral(R"(Delete From "room.DB")");
    const QString ledger = QStringLiteral(R"(Delete From "Cash.DB")");
    if (collectStep) {
        const QString message = QStringLiteral("객실 기록과 매출 장부를 지우지 못했습니다");
        collectStep({history, {}, message});
        collectStep({ledger, {}, message});
        return;
    }
    execute(db_.historyQuery(), {history}, {});
    execute(db_.ledgerQuery(), {ledger}, {});
}

void RoomRecords::purgeHistory() {
    // The same minute of the day, two calendar days earlier.
    const QDateTime now = clock_.now();
    const QString limit = now.date().addDays(-2).toString(QStringLiteral("yyyyMMdd")) +
                          now.toString(QStringLiteral("HHmm"));
    outbox::runPurge(db_.connection(), db_.statements(), QByteArrayLiteral("\"room.DB\""),
                     QByteArrayLiteral("Sdate || Stime < :N1"), limit);
}

void RoomRecords::purgeLedger(int saveMonth) {
    // The oldest month offered starts on its 1st, but the settlement window of
    // that day may open at the settlement hour of the day before, so one more
    // day is kept.
    const QDate today = clock_.now().date();
    const int months = ledgerMonthsKept(saveMonth);
    const QDate oldestMonth = QDate(today.year(), today.month(), 1).addMonths(-months);
    const QString limit =
        oldestMonth.addDays(-1).toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("0000");
    outbox::runPurge(db_.connection(), db_.statements(), QByteArrayLiteral("\"Cash.DB\""),
                     QByteArrayLiteral("(IDateTime < :N1) and ") + LedgerStatus::kEndedSql, limit);
}

void RoomRecords::purge(int saveMonth) {
    QStringList errors;
    try {
        purgeLedger(saveMonth);
    } catch (const std::exception& e) {
        errors.append(errorText(e));
    }
    try {
        purgeHistory();
    } catch (const std::exception& e) {
        errors.append(errorText(e));
    }
    const QString error = errors.join(u'\n');
    if (!error.isEmpty() && error != lastPurgeError_) {
        if (notice)
            notice(error);
        else
            dialogs_.showError(error);
    }
    lastPurgeError_ = error;
}
