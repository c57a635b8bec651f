#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include "app/ActivityFilter.h"

namespace {

class KeyRecorder : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() != Qt::Key_Alt && e->key() != Qt::Key_Control) keys << e->key();
    }
};

TEST(ActivityFilter, EveryKeyMarksTheScreenSaverAndEveryKeyOrClickCounts) {
    int marks = 0, activity = 0;
    ActivityFilter filter([&] { ++marks; }, [&] { ++activity; });
    qApp->installEventFilter(&filter);
    KeyRecorder board;
    board.show();

    QTest::keyClick(&board, Qt::Key_A);
    EXPECT_GE(marks, 1);
    const int afterKey = activity;
    EXPECT_GE(afterKey, 1);
    QTest::mouseClick(&board, Qt::LeftButton);
    EXPECT_GT(activity, afterKey);

    QTest::keyClick(&board, Qt::Key_F4);
    QTest::keyClick(&board, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(board.keys, (QList<int>{Qt::Key_A, Qt::Key_F4, Qt::Key_Delete}));  // all passed on
    EXPECT_GE(marks, 3);
    qApp->removeEventFilter(&filter);
}

}  // namespace
