#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/Fakes.h"
#include "web/SignInLimiter.h"

namespace {

TEST(SignInLimiter, AnIpv6AddressCountsByItsSlash64) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"2001:db8:1:2::1", "2001:db8:1:2:ffff:ffff:ffff:fffe", true},
        {"2001:db8:1:2::1", "2001:db8:1:3::1", false},
        {"::ffff:10.0.0.1", "10.0.0.1", true},
        {"10.0.0.1", "10.0.0.2", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SignInLimiter::addressKey(QHostAddress(QString::fromLatin1(c.a))) ==
                      SignInLimiter::addressKey(QHostAddress(QString::fromLatin1(c.b))),
                  c.same)
            << c.a << " " << c.b;
}

// Full of counts, the table lets nobody new through uncounted; the counts of
// an hour ago make room, and a day without failures forgets an account's.
TEST(SignInLimiter, AFullTableMakesEveryNewcomerWaitUntilRoomIsMade) {
    FixedClock clock;
    SignInLimiter limiter(clock);
    for (int i = 0; i < SignInLimiter::kMaxEntries / 2; ++i)
        ASSERT_EQ(limiter.begin(QString::number(i),
                                QStringLiteral("10.0.%1.%2").arg(i / 256).arg(i % 256)),
                  0);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(limiter.begin(QStringLiteral("owner"), QStringLiteral("192.0.2.%1").arg(i)),
                  SignInLimiter::kFullWaitSeconds);
        EXPECT_TRUE(limiter.full());
    }
    clock.advanceMinutes(SignInLimiter::kReclaimSeconds / 60);
    EXPECT_EQ(limiter.begin(QStringLiteral("owner"), QStringLiteral("192.0.2.1")), 0);
    EXPECT_FALSE(limiter.full());
    EXPECT_LE(limiter.size(), SignInLimiter::kMaxEntries);

    for (int i = 1; i < SignInLimiter::kSlowFailures; ++i) {
        clock.set(clock.now().addSecs(SignInLimiter::kSlowWaitSeconds));
        ASSERT_EQ(limiter.begin(QStringLiteral("owner"), QStringLiteral("192.0.2.%1").arg(i + 1)),
                  0)
            << i;
    }
    clock.set(clock.now().addSecs(SignInLimiter::kSlowWaitSeconds));
    EXPECT_GT(limiter.begin(QStringLiteral("owner"), QStringLiteral("192.0.2.99")), 0);
    clock.set(clock.now().addSecs(SignInLimiter::kForgetSeconds));
    for (int i = 0; i < SignInLimiter::kFreeFailures; ++i)
        EXPECT_EQ(limiter.begin(QStringLiteral("owner"), QStringLiteral("192.0.2.%1").arg(100 + i)),
                  0)
            << "a day later the count starts again";
}

// A right password withdraws its own attempt, but an address still gets only
// so many attempts a minute, right or wrong.
TEST(SignInLimiter, RightPasswordsAreLimitedPerAddressToo) {
    FixedClock clock;
    SignInLimiter limiter(clock);
    const QString from = QStringLiteral("192.0.2.7");
    for (int i = 0; i < SignInLimiter::kAttemptsPerMinute; ++i) {
        ASSERT_EQ(limiter.begin(QStringLiteral("owner"), from), 0);
        limiter.succeeded(QStringLiteral("owner"), from);
    }
    EXPECT_EQ(limiter.begin(QStringLiteral("owner"), from), 60);
    clock.advanceMinutes(1);
    EXPECT_EQ(limiter.begin(QStringLiteral("owner"), from), 0);
}

// The owner is told when an account or an address reaches its limit: once, not per failure
// after it, and again only once the count has been forgotten.
TEST(SignInLimiter, AReachedLimitIsToldOnceUntilItsCountIsForgotten) {
    FixedClock clock;
    SignInLimiter limiter(clock);
    const QString owner = QStringLiteral("owner");
    std::vector<std::pair<bool, bool>> told;
    const auto attempt = [&](const QString& address) {
        ASSERT_EQ(limiter.begin(owner, address), 0);
        const SignInLimiter::Reached r = limiter.wrong(owner, address);
        told.emplace_back(r.account, r.address);
    };
    for (int i = 0; i < SignInLimiter::kFreeFailures; ++i) attempt(QStringLiteral("192.0.2.1"));
    clock.set(clock.now().addSecs(SignInLimiter::kSlowWaitSeconds));
    attempt(QStringLiteral("192.0.2.2"));
    EXPECT_EQ(told, (std::vector<std::pair<bool, bool>>{{false, false},
                                                        {false, false},
                                                        {false, false},
                                                        {false, false},
                                                        {true, true},
                                                        {false, false}}));
    clock.set(clock.now().addSecs(SignInLimiter::kForgetSeconds));
    told.clear();
    for (int i = 0; i < SignInLimiter::kFreeFailures; ++i) attempt(QStringLiteral("192.0.2.3"));
    EXPECT_EQ(told.back(), std::make_pair(true, true)) << "a day later it is a new episode";
}

}  // namespace
