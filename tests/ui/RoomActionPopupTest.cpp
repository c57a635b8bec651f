#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <vector>

#include "board/ui/RoomActionPopup.h"

namespace {

struct Placed {
    QString caption;
    int left;
    bool operator==(const Placed&) const = default;
};

// The visible buttons, left to right.
std::vector<Placed> shownButtons(const RoomActionPopup& popup) {
    std::vector<Placed> shown;
    for (int i = 1; i <= RoomActionPopup::kButtons; ++i) {
        const QPushButton* b = popup.button(i);
        if (b->isVisibleTo(&popup)) shown.push_back({b->text(), b->x()});
    }
    std::sort(shown.begin(), shown.end(),
              [](const Placed& a, const Placed& b) { return a.left < b.left; });
    return shown;
}

void PrintTo(const Placed& p, std::ostream* os) { *os << p.caption.toStdString() << '@' << p.left; }

TEST(RoomActionPopup, EachModeShowsItsButtonsAndPrompt) {
    const struct {
        int mode;
        std::vector<Placed> buttons;
        const char* prompt;
    } cases[] = {
        {1,
         {{"외 출", 8}, {"대실유지", 110}, {"청 소", 213}, {"객실교체", 316}, {"취 소", 419}},
         "[101]호의 퇴실사항을 선택하세요!"},
        {2,
         {{"퇴 실", 62}, {"대실취소", 165}, {"숙박전환", 268}, {"취 소", 371}},
         "[101]호의 대실사항을 선택하세요!"},
        {3, {{"완 료", 165}, {"취 소", 268}}, "[101]호의 청소사항을 선택하세요!"},
        {4, {{"대 실", 165}, {"취 소", 268}}, "[101]호 대실입니까?"},
        {5,
         {{"외 출", 8}, {"숙박유지", 110}, {"청 소", 213}, {"객실교체", 316}, {"취 소", 419}},
         "[101]호의 퇴실사항을 선택하세요!"},
        {6,
         {{"퇴 실", 62}, {"숙박취소", 165}, {"대실전환", 268}, {"취 소", 371}},
         "[101]호의 숙박사항을 선택하세요!"},
        {7, {{"숙 박", 165}, {"취 소", 268}}, "[101]호 숙박입니까?"},
        {8,
         {{"퇴 실", 110}, {"숙박유지", 213}, {"취 소", 316}},
         "[101]호의 외출사항을 선택하세요 ?"},
        {9,
         {{"퇴 실", 110}, {"대실유지", 213}, {"취 소", 316}},
         "[101]호의 외출사항을 선택하세요 ?"},
        {0, {{"취 소", 110}}, ""},
        {10, {{"취 소", 110}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        RoomActionPopup popup(c.mode, QStringLiteral("101"));
        EXPECT_EQ(shownButtons(popup), c.buttons);
        EXPECT_EQ(popup.prompt(), QString::fromUtf8(c.prompt));
        for (int i = 1; i <= RoomActionPopup::kButtons; ++i) EXPECT_EQ(popup.button(i)->y(), 16);
        EXPECT_EQ(popup.findChild<QWidget*>(QStringLiteral("buttonArea"))->height(), 54);
    }
}

TEST(RoomActionPopup, EveryButtonHandsBackTenPlusItsNumber) {
    for (int mode = 1; mode <= 9; ++mode) {
        for (int i = 1; i <= RoomActionPopup::kButtons; ++i) {
            RoomActionPopup popup(mode, QStringLiteral("101"));
            if (!popup.button(i)->isVisibleTo(&popup)) continue;
            popup.show();
            QTest::mouseClick(popup.button(i), Qt::LeftButton);
            EXPECT_EQ(int(popup.chosen()), 10 + i) << "mode " << mode << " button " << i;
            EXPECT_FALSE(popup.isVisible());
        }
    }
}

TEST(RoomActionPopup, ClosingWithoutAChoiceChoosesNothing) {
    RoomActionPopup popup(6, QStringLiteral("101"));
    popup.show();
    popup.close();
    EXPECT_FALSE(popup.isVisible());
    EXPECT_EQ(popup.chosen(), RoomAction::None);

    popup.show();
    QTest::keyClick(&popup, Qt::Key_Escape);
    EXPECT_EQ(popup.chosen(), RoomAction::None);
}

}  // namespace
