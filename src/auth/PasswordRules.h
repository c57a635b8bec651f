#pragma once

#include <QDateTime>
#include <QString>
#include <array>

class AuditTrail;
class Clock;
class Database;
class Lockdown;
struct DeskSession;

// The rules of the password window: checking the password of the grade in
// `gradeToCheck`, signing that grade in, and changing its password. Passwords are
// compared against the salted hashes of "grade.DB".
//
// Five wrong passwords in a row for one grade (at the check or as the current
// password of a change) lock that grade's checks and changes out for 30
// seconds, so that its password cannot be found by trying at the desk. Each
// grade counts for itself: a clerk trying the supplier's grade never locks the
// user's, nor the other way round. The counts live as long as the program,
// not as long as one showing of the window.
class PasswordRules {
public:
    static constexpr int kMaxFailures = 5;
    static constexpr int kLockSeconds = 30;

    enum class Outcome { SignedIn, Changed, Wrong, Mismatch, Empty, LockedOut };

    PasswordRules(Database& db, Clock& clock, DeskSession& session, Lockdown& lockdown);

    // On success `grade` becomes `gradeToCheck`, the sign-in button's
    // caption and picture are set, and a supplier's sign-in releases the
    // keyboard lock. Database failures raise DatabaseError and count for
    // nothing.
    Outcome check(const QString& text);
    // Stores `fresh` for the grade in `gradeToCheck`; signs nobody in. An
    // empty `fresh` is refused (Empty) before anything is checked.
    Outcome change(const QString& current, const QString& fresh, const QString& repeat);

    bool lockedOut(int grade);
    // Where sign-ins, bursts of wrong passwords and changes are recorded; none in a test that
    // does not look at them.
    AuditTrail* trail = nullptr;
    DeskSession& session() { return session_; }
    static QString signOutCaption(int grade);

    // The supplier's restore from a terminal (tavolen passwd): sets the
    // password of `grade` without the current one, adding its row when
    // missing. Returns why it did not, or an empty text. An empty password is
    // refused here: typed by mistake it would let anybody in. Raises
    // DatabaseError.
    static QString restore(Database& db, int grade, const QString& fresh, const QString& repeat);

private:
    struct Tries {
        int failures = 0;
        QDateTime lockedSince;
    };
    // Grades 1 to 3; anything else shares the last entry.
    Tries& triesOf(int grade);
    Outcome failed(int grade, const QString& where);

    Database& db_;
    Clock& clock_;
    DeskSession& session_;
    Lockdown& lockdown_;
    std::array<Tries, 4> tries_;
};
