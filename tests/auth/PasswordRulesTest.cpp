#include <gtest/gtest.h>

#include "auth/PasswordRules.h"
#include "store/Database.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

using Outcome = PasswordRules::Outcome;

// A new installation's passwords: 1111 user, 2222 Windows use, 3333 supplier.
struct Passwords {
    Passwords() {
        copyFreshDatabase(dir.path());
        db.open();
    }
    Outcome check(int grade, const QString& text) {
        session.gradeToCheck = grade;
        return passwords.check(text);
    }

    QTemporaryDir dir;
    Database db{dir.path()};
    FixedClock clock;
    DeskSession session;
    RecordingLockdown lockdown;
    PasswordRules passwords{db, clock, session, lockdown};
};

TEST(PasswordRules, RightPasswordSignsItsGradeIn) {
    const struct {
        int grade;
        const char* password;
        const char* caption;
        bool keyLockOff;
    } cases[] = {{1, "1111", "사용자인증해제", false},
                 {2, "2222", "윈도우사용인증해제", false},
                 {3, "3333", "공급업체인증해제", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.grade);
        Passwords p;
        EXPECT_EQ(p.check(c.grade, QString::fromLatin1(c.password)), Outcome::SignedIn);
        EXPECT_EQ(p.session.grade, c.grade);
        EXPECT_EQ(p.session.signInCaption, QString::fromUtf8(c.caption));
        EXPECT_EQ(p.session.signInPicture, QStringLiteral("lockO.bmp"));
        EXPECT_EQ(p.lockdown.calls,
                  c.keyLockOff ? QStringList{"disarmKeyboardFilter"} : QStringList());
    }
}

TEST(PasswordRules, WrongPasswordChangesNothing) {
    const struct {
        int grade;
        const char* text;
    } cases[] = {
        {1, "3333"},                // another grade's password
        {1, "11111"},               // every character counts
        {1, ""},      {0, "1111"},  // grades without a row
        {4, "1111"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Passwords p;
        p.session.grade = 2;  // signed in earlier
        p.session.signInCaption = QStringLiteral("윈도우사용인증해제");
        EXPECT_EQ(p.check(c.grade, QString::fromLatin1(c.text)), Outcome::Wrong);
        EXPECT_EQ(p.session.grade, 2);
        EXPECT_EQ(p.session.signInCaption, QStringLiteral("윈도우사용인증해제"));
        EXPECT_TRUE(p.lockdown.calls.isEmpty());
    }
}

TEST(PasswordRules, PasswordsAreCaseSensitive) {
    Passwords p;
    p.db.setPassword(1, QStringLiteral("Desk"));
    EXPECT_EQ(p.check(1, QStringLiteral("desk")), Outcome::Wrong);
    EXPECT_EQ(p.check(1, QStringLiteral("Desk")), Outcome::SignedIn);
}

// Typed by mistake or left in a row prepared by hand, an empty password would
// let anybody in: it is taken nowhere.
TEST(PasswordRules, AnEmptyPasswordIsNeverAccepted) {
    Passwords p;
    p.session.gradeToCheck = 1;
    EXPECT_EQ(p.passwords.change(QStringLiteral("1111"), QString(), QString()), Outcome::Empty);
    EXPECT_EQ(p.check(1, QStringLiteral("1111")), Outcome::SignedIn) << "the password stays";
    EXPECT_EQ(p.check(1, QString()), Outcome::Wrong);

    execSql(p.db, QStringLiteral(R"(Update "grade.DB" Set Pass = '' Where Grade = '2')"));
    EXPECT_EQ(p.check(2, QString()), Outcome::Wrong) << "a row with an empty Pass";
    EXPECT_EQ(p.session.grade, 1);
    p.session.gradeToCheck = 2;
    EXPECT_EQ(p.passwords.change(QString(), QStringLiteral("8765"), QStringLiteral("8765")),
              Outcome::Wrong);
    EXPECT_FALSE(PasswordRules::restore(p.db, 2, QString(), QString()).isEmpty());
    EXPECT_TRUE(
        PasswordRules::restore(p.db, 2, QStringLiteral("8765"), QStringLiteral("8765")).isEmpty());
    EXPECT_EQ(p.check(2, QStringLiteral("8765")), Outcome::SignedIn);
}

TEST(PasswordRules, TableWrittenInPlainTextLetsTheSupplierInAndChangeIt) {
    Passwords p;
    execSql(p.db, QStringLiteral(R"(Update "grade.DB" Set Pass = '4321' Where Grade = '3')"));
    execSql(p.db, QStringLiteral(R"(Update "grade.DB" Set Pass = '1234' Where Grade = '1')"));
    EXPECT_EQ(p.check(3, QStringLiteral("4321")), Outcome::SignedIn);
    EXPECT_EQ(p.lockdown.calls, QStringList{"disarmKeyboardFilter"});
    p.session.gradeToCheck = 1;
    EXPECT_EQ(
        p.passwords.change(QStringLiteral("1234"), QStringLiteral("8765"), QStringLiteral("8765")),
        Outcome::Changed);
    EXPECT_EQ(p.check(1, QStringLiteral("1234")), Outcome::Wrong);
    EXPECT_EQ(p.check(1, QStringLiteral("8765")), Outcome::SignedIn);
    EXPECT_EQ(p.check(3, QStringLiteral("4321")), Outcome::SignedIn);
}

TEST(PasswordRules, FiveWrongInARowLockThatGradeOutForThirtySeconds) {
    // Whichever grade is tried five times, the others keep working: a clerk
    // trying the supplier's password cannot keep the supplier or the user out.
    for (int tried : {3, 1}) {
        SCOPED_TRACE(tried);
        Passwords p;
        const QString right = QString(4, QChar(u'0' + tried));
        for (int i = 1; i < PasswordRules::kMaxFailures; ++i)
            EXPECT_EQ(p.check(tried, QStringLiteral("0000")), Outcome::Wrong) << i;
        EXPECT_EQ(p.check(tried, QStringLiteral("0000")), Outcome::LockedOut);

        // Even the right password, and a change, are refused for that grade now.
        p.clock.set(p.clock.now().addSecs(29));
        EXPECT_EQ(p.check(tried, right), Outcome::LockedOut);
        EXPECT_EQ(p.passwords.change(right, QStringLiteral("9"), QStringLiteral("9")),
                  Outcome::LockedOut);
        EXPECT_EQ(p.session.grade, 0);
        EXPECT_TRUE(p.lockdown.calls.isEmpty());
        for (int other = 1; other <= 3; ++other) {
            if (other == tried) continue;
            EXPECT_FALSE(p.passwords.lockedOut(other));
            EXPECT_EQ(p.check(other, QString(4, QChar(u'0' + other))), Outcome::SignedIn);
        }

        // After 30 seconds there are five more tries.
        p.clock.set(p.clock.now().addSecs(1));
        EXPECT_EQ(p.check(tried, QStringLiteral("0000")), Outcome::Wrong);
        EXPECT_EQ(p.check(tried, right), Outcome::SignedIn);
    }
}

TEST(PasswordRules, OnlyFailuresInARowCount) {
    Passwords p;
    for (int i = 1; i < PasswordRules::kMaxFailures; ++i) p.check(1, QStringLiteral("0000"));
    ASSERT_EQ(p.check(1, QStringLiteral("1111")), Outcome::SignedIn);
    for (int i = 1; i < PasswordRules::kMaxFailures; ++i)
        EXPECT_EQ(p.check(1, QStringLiteral("0000")), Outcome::Wrong);
}

TEST(PasswordRules, ClockSetBackEndsTheLockOut) {
    Passwords p;
    for (int i = 0; i < PasswordRules::kMaxFailures; ++i) p.check(1, QStringLiteral("0000"));
    ASSERT_TRUE(p.passwords.lockedOut(1));
    p.clock.set(p.clock.now().addSecs(-3600));
    EXPECT_EQ(p.check(1, QStringLiteral("1111")), Outcome::SignedIn);
}

TEST(PasswordRules, ChangeNeedsTheCurrentPasswordAndTheNewOneTwice) {
    Passwords p;
    p.session.gradeToCheck = 1;
    EXPECT_EQ(
        p.passwords.change(QStringLiteral("1111"), QStringLiteral("5678"), QStringLiteral("5679")),
        Outcome::Mismatch);
    EXPECT_EQ(
        p.passwords.change(QStringLiteral("2222"), QStringLiteral("5678"), QStringLiteral("5678")),
        Outcome::Wrong);
    EXPECT_EQ(p.check(1, QStringLiteral("1111")), Outcome::SignedIn);  // still the old one

    p.session.grade = 0;
    EXPECT_EQ(
        p.passwords.change(QStringLiteral("1111"), QStringLiteral("5678"), QStringLiteral("5678")),
        Outcome::Changed);
    EXPECT_EQ(p.session.grade, 0);  // a change signs nobody in
    EXPECT_EQ(p.check(1, QStringLiteral("1111")), Outcome::Wrong);
    EXPECT_EQ(p.check(1, QStringLiteral("5678")), Outcome::SignedIn);
    EXPECT_EQ(p.check(3, QStringLiteral("3333")), Outcome::SignedIn);  // other grades keep theirs
}

TEST(PasswordRules, WrongCurrentPasswordsOfChangesCountTowardsTheLockOut) {
    Passwords p;
    p.session.gradeToCheck = 3;
    for (int i = 1; i < PasswordRules::kMaxFailures; ++i)
        p.passwords.change(QStringLiteral("0000"), QStringLiteral("1"), QStringLiteral("1"));
    EXPECT_EQ(p.passwords.change(QStringLiteral("0000"), QStringLiteral("1"), QStringLiteral("1")),
              Outcome::LockedOut);
    EXPECT_EQ(p.check(3, QStringLiteral("3333")), Outcome::LockedOut);
}

TEST(PasswordRules, UnreadableTableRaisesAndSignsNobodyIn) {
    Passwords p;
    execSql(p.db, QStringLiteral(R"(Drop Table "grade.DB")"));
    p.session.gradeToCheck = 1;
    EXPECT_THROW(p.passwords.check(QStringLiteral("1111")), DatabaseError);
    EXPECT_EQ(p.session.grade, 0);
    // Failures of the database are no wrong passwords.
    for (int i = 0; i < PasswordRules::kMaxFailures; ++i)
        EXPECT_THROW(p.passwords.check(QStringLiteral("1111")), DatabaseError);
    EXPECT_FALSE(p.passwords.lockedOut(1));
}

}  // namespace
