#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTemporaryDir>
#include <functional>

#include "auth/WebAccounts.h"
#include "store/Database.h"
#include "support/Fakes.h"

namespace {

struct Accounts {
    QTemporaryDir dir;
    Database db{dir.path()};
    bool opened = (db.open(), true);
    FixedClock clock;
    WebAccounts accounts{db.connection()};
};

TEST(WebAccounts, RefusesBadNamesShortPasswordsAndUnknownAccounts) {
    Accounts a;
    a.accounts.add("owner", "owner-pass-1", "owner-pass-1", true, a.clock.now());
    const struct Case {
        const char* name;
        std::function<void(WebAccounts&)> request;
        const char* why;
    } cases[] = {
        {"nine characters",
         [&](WebAccounts& w) { w.add("kim", "123456789", "123456789", false, a.clock.now()); },
         "at least 10 characters"},
        {"an empty password", [&](WebAccounts& w) { w.add("kim", "", "", false, a.clock.now()); },
         "at least 10 characters"},
        {"two passwords",
         [&](WebAccounts& w) { w.add("kim", "kim-pass-01", "kim-pass-02", false, a.clock.now()); },
         "differ"},
        {"an empty name",
         [&](WebAccounts& w) { w.add("", "kim-pass-01", "kim-pass-01", false, a.clock.now()); },
         "1 to 32"},
        {"a space",
         [&](WebAccounts& w) {
             w.add("kim lee", "kim-pass-01", "kim-pass-01", false, a.clock.now());
         },
         "letters, digits"},
        {"a leading dash",
         [&](WebAccounts& w) { w.add("-kim", "kim-pass-01", "kim-pass-01", false, a.clock.now()); },
         "begins with"},
        {"the same name in capitals",
         [&](WebAccounts& w) {
             w.add("OWNER", "kim-pass-01", "kim-pass-01", false, a.clock.now());
         },
         "exists"},
        {"a new password too short",
         [&](WebAccounts& w) { w.changePassword("owner", "short", "short", a.clock.now()); },
         "at least 10 characters"},
        {"passwd of nobody",
         [&](WebAccounts& w) {
             w.changePassword("nobody", "kim-pass-01", "kim-pass-01", a.clock.now());
         },
         "no account named"},
        {"remove nobody", [](WebAccounts& w) { w.remove("nobody"); }, "no account named"},
    };
    for (const Case& c : cases) {
        try {
            c.request(a.accounts);
            ADD_FAILURE() << c.name << " was taken";
        } catch (const WebAccountRefused& e) {
            EXPECT_TRUE(e.text().contains(QString::fromLatin1(c.why)))
                << c.name << ": " << e.text().toStdString();
        }
    }
    ASSERT_EQ(a.accounts.list().size(), 1);
    EXPECT_TRUE(a.accounts.verify("owner", "owner-pass-1").has_value()) << "nothing changed";
}

TEST(WebAccounts, PasswordsAreArgon2idAndOnlyTheRightOneOpensTheAccount) {
    Accounts a;
    EXPECT_TRUE(a.accounts.list().isEmpty()) << "no table yet";
    const WebAccountChange added =
        a.accounts.add("Owner", "owner-pass-1", "owner-pass-1", false, a.clock.now());
    EXPECT_EQ(added.kind, WebAccountChange::Kind::Added);

    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(a.db.connection(), "SELECT pass FROM tavolen_web_account", -1, &stmt,
                       nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    const QString stored =
        QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    EXPECT_TRUE(stored.startsWith("$argon2id$")) << stored.toStdString();

    const auto right = a.accounts.verify("owner", "owner-pass-1");
    ASSERT_TRUE(right.has_value());
    EXPECT_EQ(right->name, "Owner");
    EXPECT_FALSE(right->downloads);
    EXPECT_FALSE(a.accounts.verify("owner", "owner-pass-2"));
    EXPECT_FALSE(a.accounts.verify("owner", ""));
    EXPECT_FALSE(a.accounts.verify("nobody", "owner-pass-1"));

    const QByteArray before = a.accounts.current("owner")->stamp;
    const WebAccountChange changed =
        a.accounts.changePassword("owner", "owner-pass-2", "owner-pass-2", a.clock.now());
    EXPECT_EQ(changed.kind, WebAccountChange::Kind::PasswordChanged);
    EXPECT_NE(a.accounts.current("owner")->stamp, before);
    EXPECT_FALSE(a.accounts.verify("owner", "owner-pass-1"));
    EXPECT_TRUE(a.accounts.verify("owner", "owner-pass-2"));
    EXPECT_EQ(a.accounts.remove("OWNER").name, "Owner");
    EXPECT_FALSE(a.accounts.current("owner"));
}

}  // namespace
