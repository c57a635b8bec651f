#include <gtest/gtest.h>

#include <QApplication>

// Every test program gets a QApplication (offscreen under ctest), so model
// code, queued signals and widgets all find the event loop they expect.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
