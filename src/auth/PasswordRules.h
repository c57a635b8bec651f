#pragma once

#include <QDateTime>
#include <QString>

class Clock;
class Database;
class Lockdown;
struct DeskSession;

// The rules of the password window: checking the password of the grade in
// `gradeToCheck`, signing that grade in, and changing its password. Passwords are
// compared against the salted hashes of "grade.DB".
//
// Five wrong passwords in a row (at the check or as the current password of a
// change) lock every check and change out for 30 seconds, so that the
// supplier's password cannot be found by trying at the desk. The count lives
// as long as the program, not as long as one showing of the window.
class PasswordRules {
public:
    static constexpr int kMaxFailures = 5;
    static constexpr int kLockSeconds = 30;

    enum class Outcome { SignedIn, Changed, Wrong, Mismatch, LockedOut };

    PasswordRules(Database& db, Clock& clock, DeskSession& shared, Lockdown& lockdown);

    // On success `grade` becomes `gradeToCheck`, the sign-in button's
    // caption and picture are set, and a supplier's sign-in releases the
    // keyboard lock. Database failures raise DatabaseError and count for
    // nothing.
    Outcome check(const QString& text);
    // Stores `fresh` for the grade in `gradeToCheck`; signs nobody in.
    Outcome change(const QString& current, const QString& fresh, const QString& repeat);

    // Checks the password of `grade` without signing anybody in at the desk
    // (the owner's pages sign in this way); it counts in the same lock-out.
    Outcome checkGrade(int grade, const QString& text);

    bool lockedOut();
    DeskSession& shared() { return shared_; }
    static QString signOutCaption(int grade);

private:
    Outcome failed();

    Database& db_;
    Clock& clock_;
    DeskSession& shared_;
    Lockdown& lockdown_;
    int failures_ = 0;
    QDateTime lockedSince_;
};
