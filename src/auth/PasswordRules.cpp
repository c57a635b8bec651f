#include "auth/PasswordRules.h"

#include "board/DeskSession.h"
#include "lockdown/Lockdown.h"
#include "platform/Clock.h"
#include "store/Database.h"

PasswordRules::PasswordRules(Database& db, Clock& clock, DeskSession& shared, Lockdown& lockdown)
    : db_(db), clock_(clock), shared_(shared), lockdown_(lockdown) {}

QString PasswordRules::signOutCaption(int grade) {
    switch (grade) {
        case 1:
            return QStringLiteral("사용자인증해제");
        case 2:
            return QStringLiteral("윈도우사용인증해제");
        case 3:
            return QStringLiteral("공급업체인증해제");
        default:
            return QString();
    }
}

bool PasswordRules::lockedOut() {
    if (!lockedSince_.isValid()) return false;
    const QDateTime now = clock_.now();
    // A clock set back past the start of the lock ends it too, rather than
    // keeping the desk out for however long the clock went back.
    if (now >= lockedSince_ && now < lockedSince_.addSecs(kLockSeconds)) return true;
    lockedSince_ = QDateTime();
    return false;
}

PasswordRules::Outcome PasswordRules::failed() {
    if (++failures_ < kMaxFailures) return Outcome::Wrong;
    failures_ = 0;
    lockedSince_ = clock_.now();
    return Outcome::LockedOut;
}

PasswordRules::Outcome PasswordRules::check(const QString& text) {
    if (lockedOut()) return Outcome::LockedOut;
    const int grade = shared_.gradeToCheck;
    if (!db_.checkPassword(grade, text)) return failed();
    failures_ = 0;
    shared_.grade = grade;
    shared_.signInCaption = signOutCaption(grade);
    shared_.signInPicture = QStringLiteral("lockO.bmp");
    if (grade == 3) lockdown_.disarmKeyboardFilter();
    return Outcome::SignedIn;
}

PasswordRules::Outcome PasswordRules::checkGrade(int grade, const QString& text) {
    if (lockedOut()) return Outcome::LockedOut;
    if (!db_.checkPassword(grade, text)) return failed();
    failures_ = 0;
    return Outcome::SignedIn;
}

PasswordRules::Outcome PasswordRules::change(const QString& current, const QString& fresh,
                                             const QString& repeat) {
    if (fresh != repeat) return Outcome::Mismatch;
    if (lockedOut()) return Outcome::LockedOut;
    const int grade = shared_.gradeToCheck;
    if (!db_.checkPassword(grade, current)) return failed();
    failures_ = 0;
    db_.setPassword(grade, fresh);
    return Outcome::Changed;
}
