#pragma once

#include <QString>

// The state labels (with their inner space) and the action words of the log,
// the room history and the cash ledger.
namespace States {
inline const QString Finish = QStringLiteral("완 료");
inline const QString DaSil = QStringLiteral("대 실");
inline const QString Sleep = QStringLiteral("숙 박");
inline const QString Clean = QStringLiteral("청 소");
inline const QString WithOut = QStringLiteral("퇴 실");
inline const QString WithOut2 = QStringLiteral("외 출");
}  // namespace States
