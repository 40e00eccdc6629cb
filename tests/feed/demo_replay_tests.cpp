#include <set>
#include <string>

#include <gtest/gtest.h>

#include "feed_test_support.h"
#include "tools/rtfeed/rtfeed.h"

namespace {

class DemoReplayTest : public FeedTest {};

// The replay that ./run.sh plays: every traffic line is accepted as a flight around Zurich and every
// QNH line publishes its value.
TEST_F(DemoReplayTest, EveryLineOfTheBundledReplayParses) {
    const auto lines =
        rtfeed::loadReplay(std::filesystem::path(SKYLOOM_SOURCE_DIR) / "tools/rtfeed/replays/demo.txt");
    ASSERT_FALSE(lines.empty());
    EXPECT_GE(lines.back().at, 170.0);

    const Lalo lszh{47.4581, 8.5481};
    TrafficReader traffic;
    traffic.setReferencePosition(lszh);
    traffic.setParkAirport("LSZH", lszh, 1416.0);
    traffic.setParkAirportElevation(1416.0);
    QnhReader qnh;
    gf_setAddingStackOpen(true);

    std::set<std::string> airborne;
    std::set<std::string> onGround;
    double lastFeedTime = 0.0;
    for (const auto& line : lines) {
        SCOPED_TRACE(line.payload);
        if (line.kind == 'Q') {
            currentQnh.store(0);
            qnh.lastQnh.store(0);
            qnh.handle(line.payload);
            EXPECT_GE(currentQnh.load(), 1010);
            EXPECT_LE(currentQnh.load(), 1025);
            continue;
        }
        traffic.handle(line.payload);
        std::lock_guard lock(addingStackMutex);
        ASSERT_EQ(addingStack.size(), 1u);
        const TrafficRecord& r = addingStack.front();
        EXPECT_FALSE(r.type.empty());
        EXPECT_FALSE(r.cs.empty());
        EXPECT_GE(r.feedTime, lastFeedTime);
        lastFeedTime = r.feedTime;
        (r.pos.airborne ? airborne : onGround).insert(r.cs);
        addingStack.clear();
    }
    EXPECT_EQ(logText().find("exception"), std::string::npos);
    EXPECT_GE(airborne.size(), 12u);
    EXPECT_GE(onGround.size(), 3u);
}

} // namespace
