#include <gtest/gtest.h>
#include <sqlite3.h>

#include "platform/OnDemandLibrary.h"

// A library that is not there is reported with its name and the loader's reason; one that is
// there gives its functions.
TEST(OnDemandLibrary, ReportsAMissingLibraryAndResolvesAPresentOne) {
    const OnDemandLibrary missing("libtavolen-no-such-library.so.9");
    EXPECT_FALSE(missing.loaded());
    EXPECT_NE(missing.error().find("libtavolen-no-such-library.so.9"), std::string::npos)
        << missing.error();

    const OnDemandLibrary sqlite("libsqlite3.so.0");
    ASSERT_TRUE(sqlite.loaded()) << sqlite.error();
    EXPECT_TRUE(sqlite.error().empty());
    const auto version = sqlite.resolve<decltype(&::sqlite3_libversion)>("sqlite3_libversion");
    EXPECT_STREQ(version(), sqlite3_libversion());
}
