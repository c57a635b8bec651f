#pragma once

#include <QString>

// The state labels (with their inner space) and the action words of the log,
// the room history and the cash ledger.
namespace States {
inline const QString Ready = QStringLiteral("완 료");
inline const QString DayUse = QStringLiteral("대 실");
inline const QString Overnight = QStringLiteral("숙 박");
inline const QString Cleaning = QStringLiteral("청 소");
inline const QString Vacated = QStringLiteral("퇴 실");
inline const QString GuestOut = QStringLiteral("외 출");
}  // namespace States
