#include <gtest/gtest.h>

#include "alerts/DeskWatch.h"

namespace {

// Minute by minute: each condition alerts when it begins, once, and again only after it ended.
TEST(DeskWatchTest, EachConditionAlertsOncePerEpisode) {
    DeskWatch watch(30);
    const struct Minute {
        const char* what;
        DeskWatch::Facts facts;
        QStringList raised;
    } minutes[] = {
        {"a quiet line with no room in a stay", {false, 3600, {}, {}}, {}},
        {"rooms in a stay, silent for exactly the limit", {true, 30 * 60, {}, {}}, {}},
        {"silent past the limit", {true, 31 * 60, {}, {}}, {"line_silent"}},
        {"still silent", {true, 32 * 60, {}, {}}, {}},
        {"a report came", {true, 10, {}, {}}, {}},
        {"silent again", {true, 31 * 60, {}, {}}, {"line_silent"}},
        {"the disk fails, the central sender stops",
         {false, 0, "⚠ 저장 실패", "✕ 중앙 전송 중지"},
         {"storage_warning", "central_stopped"}},
        {"both still failing", {false, 0, "⚠ 저장 실패", "✕ 중앙 전송 중지"}, {}},
        {"the disk is back", {false, 0, {}, "✕ 중앙 전송 중지"}, {}},
        {"and fails again", {false, 0, "⚠ 저장 실패", "✕ 중앙 전송 중지"}, {"storage_warning"}},
    };
    for (const Minute& m : minutes) {
        SCOPED_TRACE(m.what);
        QStringList raised;
        for (const DeskWatch::Alert& a : watch.check(m.facts)) raised << a.kind;
        EXPECT_EQ(raised, m.raised);
    }
}

}  // namespace
