#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "feed/traffic_datagram.h"
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

// What the scenario promises, as the feed reads it: ten minutes; a climb and a descent through
// 10,000 ft in the first two minutes; overflights at FL300 and above, straight and turning; arrivals
// descending through 10 nm to touch-down, departures from the ground into the air, a helicopter that
// lands; a flight seen once, one whose reports stop in the air, one whose callsign changes; reports
// every 1 to 2 s; QNH now and then, not always the same.
TEST(DemoScenario, HoldsWhatItPromises) {
    const auto lines =
        rtfeed::loadReplay(std::filesystem::path(SKYLOOM_SOURCE_DIR) / "tools/rtfeed/replays/demo.txt");
    ASSERT_FALSE(lines.empty());
    EXPECT_GE(lines.back().at, 598.0); // ten minutes, the last reports within their spacing of the end

    const Lalo lszh{47.4647, 8.5492};
    TrafficFilter filter;
    filter.reference = lszh;
    filter.parkAirportElevation = 1416.0;
    filter.parkAirportChosen = true;
    filter.parkAirportPosition = lszh;
    filter.parkAirportElevationFt = 1416.0;

    std::map<std::uint32_t, std::vector<TrafficRecord>> flights;
    std::set<int> qnhValues;
    double first = -1.0;
    double last = 0.0;
    for (const auto& line : lines) {
        if (line.kind == 'Q') {
            const auto at = line.payload.find("\"QNH\":");
            ASSERT_NE(at, std::string::npos) << line.payload;
            qnhValues.insert(std::stoi(line.payload.substr(at + 6)));
            continue;
        }
        TrafficDatagramResult r = gf_readTrafficDatagram(line.payload, filter);
        ASSERT_EQ(r.drop, TrafficDrop::none) << line.payload;
        if (first < 0.0) first = r.record.feedTime;
        last = r.record.feedTime;
        flights[r.record.hexid].push_back(std::move(r.record));
    }
    EXPECT_GE(qnhValues.size(), 2u);

    bool climbThrough10k = false, descentThrough10k = false, seenOnce = false, callsignChange = false;
    bool stopsInTheAir = false, turningHigh = false, straightHigh = false, helicopterLands = false;
    int arrivals = 0, departures = 0;
    for (const auto& [hexid, records] : flights) {
        SCOPED_TRACE(records.front().cs);
        seenOnce |= records.size() == 1;
        std::set<std::string> callsigns;
        bool wasAirborne = false, wasOnGround = false, landed = false, tookOff = false, through10nm = false;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const TrafficRecord& r = records[i];
            callsigns.insert(r.cs);
            if (r.pos.alt >= 30000.0) {
                EXPECT_TRUE(r.pos.hasTrueHeading);
                (r.pos.bank && std::fabs(*r.pos.bank) > 0.1 ? turningHigh : straightHigh) = true;
            }
            const double nm = gf_distanceNm(lszh, Lalo{r.pos.lat, r.pos.lon});
            through10nm |= r.pos.airborne && r.pos.vs < 0.0 && nm > 9.0 && nm < 11.0;
            landed |= wasAirborne && !r.pos.airborne;
            tookOff |= wasOnGround && r.pos.airborne;
            (r.pos.airborne ? wasAirborne : wasOnGround) = true;
            if (i == 0) continue;
            const TrafficRecord& p = records[i - 1];
            const double gap = r.feedTime - p.feedTime;
            EXPECT_GE(gap, 0.99);
            EXPECT_LE(gap, 2.01);
            if (p.pos.airborne && r.pos.airborne && r.feedTime - first <= 120.0) {
                climbThrough10k |= p.pos.alt < 10000.0 && r.pos.alt >= 10000.0;
                descentThrough10k |= p.pos.alt > 10000.0 && r.pos.alt <= 10000.0;
            }
        }
        callsignChange |= callsigns.size() > 1;
        arrivals += landed && through10nm;
        departures += tookOff;
        helicopterLands |= records.front().type == "EC35" && landed;
        const TrafficRecord& end = records.back();
        stopsInTheAir |= records.size() > 1 && end.pos.airborne && end.feedTime < last - 120.0 &&
                         gf_distanceNm(lszh, Lalo{end.pos.lat, end.pos.lon}) < 30.0;
    }
    EXPECT_TRUE(climbThrough10k);
    EXPECT_TRUE(descentThrough10k);
    EXPECT_TRUE(seenOnce);
    EXPECT_TRUE(callsignChange);
    EXPECT_TRUE(stopsInTheAir);
    EXPECT_TRUE(turningHigh);
    EXPECT_TRUE(straightHigh);
    EXPECT_TRUE(helicopterLands);
    EXPECT_GE(arrivals, 3);
    EXPECT_GE(departures, 3);
}

} // namespace
