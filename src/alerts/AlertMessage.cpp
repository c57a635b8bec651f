#include "alerts/AlertMessage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QUuid>

#include "alerts/AlertSettings.h"
#include "audit/AuditTrail.h"

namespace {

QJsonObject detailOf(const alertQueue::Event& event) {
    return QJsonDocument::fromJson(event.detail.toUtf8()).object();
}

QString won(qint64 amount) { return QLocale(QLocale::Korean).toString(amount) + "원"; }

struct Told {
    QString title, what, todo;
};

// The web's accounts and addresses that wrong passwords brought to their limit.
QString webWrongPasswords(const QJsonObject& d) {
    QStringList limited;
    const auto list = [&](const char* key, const QString& what) {
        QStringList items;
        for (const QJsonValue& v : d.value(QLatin1String(key)).toArray()) items << v.toString();
        if (!items.isEmpty()) limited << what + QLatin1Char(' ') + items.join(QStringLiteral(", "));
        return items.size();
    };
    const qsizetype listed =
        list("accounts", QStringLiteral("계정")) + list("addresses", QStringLiteral("주소"));
    const qint64 others = d.value(QStringLiteral("limited")).toInteger() - listed;
    if (others > 0) limited << QStringLiteral("그 밖에 %1곳").arg(others);
    return QStringLiteral(
               "웹 화면 로그인에서 암호가 거듭 틀려 로그인을 제한했습니다: %1. "
               "틀린 암호 %2번, 막힌 시도 %3번.")
        .arg(limited.join(QStringLiteral("; ")))
        .arg(d.value(QStringLiteral("count")).toInteger())
        .arg(d.value(QStringLiteral("held")).toInteger());
}

Told tell(const QString& kind, const QJsonObject& d) {
    const QString grade = audit::gradeText(d.value(QStringLiteral("grade")).toInt());
    if (kind == QLatin1String("line_silent"))
        return {QStringLiteral("컨트롤러 통신 끊김"),
                QStringLiteral("투숙 중인 객실이 있는데 컨트롤러에서 %1분 넘게 신호가 없습니다.")
                    .arg(d.value(QStringLiteral("minutes")).toInt()),
                QStringLiteral("컨트롤러의 전원과 연결선을 확인하십시오.")};
    if (kind == QLatin1String("unclean_start"))
        return {QStringLiteral("비정상 종료 후 재시작"),
                QStringLiteral("프로그램이 정상 종료되지 않았다가 다시 시작했습니다. 약 %1분 동안 "
                               "꺼져 있었습니다 (마지막 동작 %2).")
                    .arg(d.value(QStringLiteral("downMinutes")).toInt())
                    .arg(d.value(QStringLiteral("lastAlive")).toString()),
                QStringLiteral("정전이나 PC 이상이 없었는지, 객실 상태가 맞는지 확인하십시오.")};
    if (kind == QLatin1String("storage_warning"))
        return {QStringLiteral("저장 실패"), d.value(QStringLiteral("text")).toString(),
                QStringLiteral("PC의 디스크 공간과 상태를 확인하십시오.")};
    if (kind == QLatin1String("central_stopped"))
        return {QStringLiteral("중앙 전송 중단"), d.value(QStringLiteral("text")).toString(),
                QStringLiteral("중앙 서버와 인터넷 연결을 확인하십시오.")};
    if (kind == QLatin1String("ledger_rows_deleted")) {
        const QJsonArray rows = d.value(QStringLiteral("rows")).toArray();
        qint64 total = 0;
        QStringList listed;
        for (const QJsonValue& r : rows) {
            const QJsonObject row = r.toObject();
            total += row.value(QStringLiteral("Cash")).toInteger();
            listed << QStringLiteral("%1호 %2 %3 %4")
                          .arg(row.value(QStringLiteral("roomNum")).toString(),
                               row.value(QStringLiteral("IDateTime")).toString(),
                               row.value(QStringLiteral("Action")).toString(),
                               won(row.value(QStringLiteral("Cash")).toInteger()));
        }
        return {QStringLiteral("매출 장부 삭제"),
                QStringLiteral("정산에서 매출 %1건(합계 %2)이 삭제되었습니다:\n")
                        .arg(rows.size())
                        .arg(won(total)) +
                    listed.join(QLatin1Char('\n')),
                QStringLiteral("삭제가 정당한지 카운터 근무자에게 확인하십시오.")};
    }
    if (kind == QLatin1String("remove_all"))
        return {QStringLiteral("전체제거 실행"),
                QStringLiteral("모든 객실 설정과 객실 기록, 매출 장부가 지워졌습니다."),
                QStringLiteral("의도한 작업이 아니면 자료복사본(DB/Backup)으로 복구하십시오.")};
    if (kind == QLatin1String("password_changed"))
        return {QStringLiteral("암호 변경"), grade + QStringLiteral(" 등급의 암호가 바뀌었습니다."),
                QStringLiteral("직접 바꾼 것이 아니면 공급업체에 연락하십시오.")};
    if (kind == QLatin1String("morning_call_missed"))
        return {QStringLiteral("모닝콜 놓침"),
                QStringLiteral("%1호의 모닝콜(%2)이 울리지 못했습니다.")
                    .arg(d.value(QStringLiteral("room")).toString(),
                         d.value(QStringLiteral("call")).toString()),
                QStringLiteral("손님께 직접 연락하십시오.")};
    if (kind == QLatin1String("wrong_passwords") &&
        d.value(QStringLiteral("where")).toString() == QLatin1String("web"))
        return {QStringLiteral("웹 로그인 암호 연속 오류"), webWrongPasswords(d),
                QStringLiteral("웹 계정의 암호가 새지 않았는지 확인하고, 모르는 주소라면 "
                               "공유기에서 막으십시오.")};
    if (kind == QLatin1String("wrong_passwords"))
        return {QStringLiteral("암호 연속 오류"),
                QStringLiteral("%1 등급의 암호가 %2번 연속 틀렸습니다 (%3).")
                    .arg(grade)
                    .arg(d.value(QStringLiteral("count")).toInt())
                    .arg(d.value(QStringLiteral("where")).toString() == QLatin1String("web")
                             ? QStringLiteral("웹")
                             : QStringLiteral("카운터")),
                QStringLiteral("누가 시도했는지 확인하십시오.")};
    // The group's watch, about a desk that has gone silent and one that is back.
    const QString site = d.value(QStringLiteral("site")).toString();
    if (kind == QLatin1String("site_silent"))
        return {QStringLiteral("데스크 연락 끊김: ") + site,
                QStringLiteral("%1 데스크에서 %2분 넘게 소식이 없습니다 (마지막 소식 %3). PC나 "
                               "프로그램이 꺼졌거나 인터넷이 끊겼을 수 있습니다.")
                    .arg(site)
                    .arg(d.value(QStringLiteral("minutes")).toInteger())
                    .arg(d.value(QStringLiteral("lastSeen")).toString()),
                QStringLiteral("업소에 연락해 카운터 PC와 프로그램이 켜져 있는지, 인터넷이 되는지 "
                               "확인하십시오.")};
    if (kind == QLatin1String("site_back"))
        return {QStringLiteral("데스크 연락 복구: ") + site,
                QStringLiteral("%1 데스크가 다시 소식을 보냅니다. %2부터 약 %3분 동안 소식이 "
                               "없었습니다.")
                    .arg(site, d.value(QStringLiteral("lastSeen")).toString())
                    .arg(d.value(QStringLiteral("minutes")).toInteger()),
                QStringLiteral("그동안의 매출이 그룹 보고서에 들어왔는지, 정전 뒤 재시작 알림이 "
                               "왔는지 확인하십시오.")};
    return {kind, QString::fromUtf8(QJsonDocument(d).toJson(QJsonDocument::Compact)),
            QStringLiteral("카운터에 확인하십시오.")};
}

QByteArray base64Lines(const QByteArray& bytes) {
    const QByteArray encoded = bytes.toBase64();
    QByteArray lines;
    for (qsizetype i = 0; i < encoded.size(); i += 76) lines += encoded.mid(i, 76) + "\r\n";
    return lines;
}

}  // namespace

QByteArray encodedWords(const QString& text) {
    bool plain = true;
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e) plain = false;
    if (plain) return text.toLatin1();
    // "=?UTF-8?B?" + "?=" leave 63 characters: 45 bytes of UTF-8, never a character cut.
    QByteArrayList words;
    QByteArray chunk;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype width = text.at(i).isHighSurrogate() ? 2 : 1;
        const QByteArray next = text.mid(i, width).toUtf8();
        i += width - 1;
        if (chunk.size() + next.size() > 45) {
            words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
            chunk.clear();
        }
        chunk += next;
    }
    if (!chunk.isEmpty()) words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
    return words.join("\r\n ");
}

AlertMessage AlertMessage::compose(const AlertSettings& settings, const alertQueue::Batch& batch) {
    const alertQueue::Event& newest = batch.events.last();
    QJsonObject detail = detailOf(newest);
    const Told told = tell(batch.kind, detail);
    AlertMessage m;
    m.kind = batch.kind;
    m.at = newest.at;
    m.folded = int(batch.events.size()) - 1;
    const QString business =
        settings.businessName.isEmpty() ? QStringLiteral("업소") : settings.businessName;
    m.subject = QStringLiteral("[%1] %2").arg(business, told.title);
    m.body = QStringLiteral("업소: %1\n시각: %2\n내용: %3\n조치: %4\n")
                 .arg(business, newest.at, told.what, told.todo);
    if (m.folded > 0)
        m.body += QStringLiteral("\n같은 알림 %1건이 이 알림에 묶였습니다 (%2부터).\n")
                      .arg(m.folded)
                      .arg(batch.events.first().at);
    return m;
}

QByteArray AlertMessage::mail(const AlertSettings& settings, const QDateTime& date) const {
    QByteArray text;
    text += "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    text += "From: " + settings.from.toUtf8() + "\r\n";
    text += "To: " + settings.to.join(QStringLiteral(", ")).toUtf8() + "\r\n";
    text += "Subject: " + encodedWords(subject) + "\r\n";
    text += "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() +
            "@tavolen>\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "Content-Type: text/plain; charset=UTF-8\r\n";
    text += "Content-Transfer-Encoding: base64\r\n\r\n";
    text +=
        base64Lines(QString(body).replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toUtf8());
    return text;
}

QByteArray AlertMessage::json(const AlertSettings& settings) const {
    return QJsonDocument(QJsonObject{{QStringLiteral("site"), settings.businessName},
                                     {QStringLiteral("kind"), kind},
                                     {QStringLiteral("subject"), subject},
                                     {QStringLiteral("text"), body},
                                     {QStringLiteral("at"), at},
                                     {QStringLiteral("folded"), folded}})
        .toJson(QJsonDocument::Compact);
}
