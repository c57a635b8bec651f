#include "auth/PasswordRules.h"

#include "audit/AuditTrail.h"
#include "board/DeskSession.h"
#include "lockdown/Lockdown.h"
#include "platform/Clock.h"
#include "store/Database.h"

PasswordRules::PasswordRules(Database& db, Clock& clock, DeskSession& session, Lockdown& lockdown)
    : db_(db), clock_(clock), session_(session), lockdown_(lockdown) {}

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

PasswordRules::Tries& PasswordRules::triesOf(int grade) {
    return tries_[static_cast<std::size_t>(grade >= 1 && grade <= 3 ? grade - 1 : 3)];
}

bool PasswordRules::lockedOut(int grade) {
    Tries& tries = triesOf(grade);
    if (!tries.lockedSince.isValid()) return false;
    const QDateTime now = clock_.now();
    // A clock set back past the start of the lock ends it too, rather than
    // keeping the desk out for however long the clock went back.
    if (now >= tries.lockedSince && now < tries.lockedSince.addSecs(kLockSeconds)) return true;
    tries.lockedSince = QDateTime();
    return false;
}

PasswordRules::Outcome PasswordRules::failed(int grade, const QString& where) {
    Tries& tries = triesOf(grade);
    if (++tries.failures < kMaxFailures) return Outcome::Wrong;
    tries.failures = 0;
    tries.lockedSince = clock_.now();
    if (trail)
        trail->note({audit::Action::WrongPasswords,
                     grade,
                     {{QStringLiteral("where"), where}, {QStringLiteral("count"), kMaxFailures}}});
    return Outcome::LockedOut;
}

PasswordRules::Outcome PasswordRules::check(const QString& text) {
    const int grade = session_.gradeToCheck;
    if (lockedOut(grade)) return Outcome::LockedOut;
    if (!db_.checkPassword(grade, text)) return failed(grade, QStringLiteral("desk"));
    triesOf(grade).failures = 0;
    if (trail) trail->note({audit::Action::SignIn, grade, {}});
    session_.grade = grade;
    session_.signInCaption = signOutCaption(grade);
    session_.signInPicture = QStringLiteral("lockO.bmp");
    if (grade == 3) lockdown_.disarmKeyboardFilter();
    return Outcome::SignedIn;
}

PasswordRules::Outcome PasswordRules::change(const QString& current, const QString& fresh,
                                             const QString& repeat) {
    if (fresh != repeat) return Outcome::Mismatch;
    if (fresh.isEmpty()) return Outcome::Empty;
    const int grade = session_.gradeToCheck;
    if (lockedOut(grade)) return Outcome::LockedOut;
    if (!db_.checkPassword(grade, current)) return failed(grade, QStringLiteral("desk"));
    triesOf(grade).failures = 0;
    // The grade is recorded, never the password.
    if (trail)
        trail->record({audit::Action::PasswordChanged, grade, {}},
                      [&] { db_.setPassword(grade, fresh); });
    else
        db_.setPassword(grade, fresh);
    return Outcome::Changed;
}

QString PasswordRules::restore(Database& db, int grade, const QString& fresh,
                               const QString& repeat) {
    if (grade < 1 || grade > 3) return QStringLiteral("the grade is 1, 2 or 3");
    if (fresh != repeat) return QStringLiteral("the two passwords differ");
    if (fresh.isEmpty()) return QStringLiteral("an empty password is not taken");
    db.restorePassword(grade, fresh);
    return QString();
}
