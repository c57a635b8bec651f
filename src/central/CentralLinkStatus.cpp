#include "central/CentralLinkStatus.h"

QString CentralLinkStatus::text() const {
    switch (state) {
        case State::Off:
            return QString();
        case State::Connected:
            return QStringLiteral("● 중앙 연결");
        case State::Behind:
            return QStringLiteral("◐ 중앙 %1건 대기").arg(behind);
        case State::Stalled: {
            const QString when = since.date() == QDate::currentDate()
                                     ? since.toString(QStringLiteral("HH:mm"))
                                     : since.toString(QStringLiteral("MM-dd HH:mm"));
            return QStringLiteral("○ 중앙 끊김 %1부터").arg(when);
        }
        case State::Stopped:
            return QStringLiteral("✕ 중앙 전송 중지");
    }
    return QString();
}
