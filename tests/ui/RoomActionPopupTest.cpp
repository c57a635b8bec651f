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

// The buttons, left to right.
std::vector<Placed> shownButtons(const RoomActionPopup& popup) {
    std::vector<Placed> shown;
    for (const QPushButton* b : popup.buttons())
        if (b->isVisibleTo(&popup)) shown.push_back({b->text(), b->x()});
    return shown;
}

void PrintTo(const Placed& p, std::ostream* os) { *os << p.caption.toStdString() << '@' << p.left; }

// Each state and kind's offer as the clerk sees it: the buttons centred on the
// design's places, 취 소 last.
TEST(RoomActionPopup, ShowsTheOfferedActionsAndTheQuestion) {
    const struct {
        RoomState state;
        StayKind kind;
        std::vector<Placed> buttons;
        const char* prompt;
    } cases[] = {
        {RoomState::CheckedOut,
         StayKind::DayUse,
         {{"외 출", 8}, {"대실유지", 110}, {"청 소", 213}, {"객실교체", 316}, {"취 소", 419}},
         "[101]호의 퇴실사항을 선택하세요!"},
        {RoomState::DayUse,
         StayKind::DayUse,
         {{"퇴 실", 62}, {"대실취소", 165}, {"숙박전환", 268}, {"취 소", 371}},
         "[101]호의 대실사항을 선택하세요!"},
        {RoomState::Cleaning,
         StayKind::DayUse,
         {{"완 료", 165}, {"취 소", 268}},
         "[101]호의 청소사항을 선택하세요!"},
        {RoomState::Finished,
         StayKind::DayUse,
         {{"대 실", 165}, {"취 소", 268}},
         "[101]호 대실입니까?"},
        {RoomState::CheckedOut,
         StayKind::Overnight,
         {{"외 출", 8}, {"숙박유지", 110}, {"청 소", 213}, {"객실교체", 316}, {"취 소", 419}},
         "[101]호의 퇴실사항을 선택하세요!"},
        {RoomState::Overnight,
         StayKind::Overnight,
         {{"퇴 실", 62}, {"숙박취소", 165}, {"대실전환", 268}, {"취 소", 371}},
         "[101]호의 숙박사항을 선택하세요!"},
        {RoomState::Finished,
         StayKind::Overnight,
         {{"숙 박", 165}, {"취 소", 268}},
         "[101]호 숙박입니까?"},
        {RoomState::GuestOut,
         StayKind::Overnight,
         {{"퇴 실", 110}, {"숙박유지", 213}, {"취 소", 316}},
         "[101]호의 외출사항을 선택하세요 ?"},
        {RoomState::GuestOut,
         StayKind::DayUse,
         {{"퇴 실", 110}, {"대실유지", 213}, {"취 소", 316}},
         "[101]호의 외출사항을 선택하세요 ?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prompt);
        RoomActionPopup popup(offeredActions(c.state, c.kind), QStringLiteral("101"));
        EXPECT_EQ(shownButtons(popup), c.buttons);
        EXPECT_EQ(popup.prompt(), QString::fromUtf8(c.prompt));
        for (const QPushButton* b : popup.buttons()) EXPECT_EQ(b->y(), 16);
        EXPECT_EQ(popup.findChild<QWidget*>(QStringLiteral("buttonArea"))->height(), 54);
    }
}

TEST(RoomActionPopup, EveryButtonHandsBackItsAction) {
    for (RoomState state : {RoomState::Finished, RoomState::DayUse, RoomState::Overnight,
                            RoomState::Cleaning, RoomState::CheckedOut, RoomState::GuestOut}) {
        const RoomOffer offer = offeredActions(state, StayKind::Overnight);
        for (std::size_t i = 0; i <= offer.actions.size(); ++i) {
            RoomActionPopup popup(offer, QStringLiteral("101"));
            popup.show();
            QTest::mouseClick(popup.buttons().at(i), Qt::LeftButton);
            const std::optional<RoomAction> want =
                i < offer.actions.size() ? std::optional(offer.actions[i]) : std::nullopt;
            EXPECT_EQ(popup.chosen(), want) << roomStateKey(state).toStdString() << " " << i;
            EXPECT_FALSE(popup.isVisible());
        }
    }
}

TEST(RoomActionPopup, ClosingWithoutAChoiceChoosesNothing) {
    RoomActionPopup popup(offeredActions(RoomState::Overnight, StayKind::Overnight),
                          QStringLiteral("101"));
    popup.show();
    popup.close();
    EXPECT_FALSE(popup.isVisible());
    EXPECT_EQ(popup.chosen(), std::nullopt);

    popup.show();
    QTest::keyClick(&popup, Qt::Key_Escape);
    EXPECT_EQ(popup.chosen(), std::nullopt);
}

}  // namespace
