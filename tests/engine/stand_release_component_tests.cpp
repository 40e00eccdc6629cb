// Flights parked at the Zurich demo stands (data/LSZH.xml), through the engine, the simulator link and an
// in-process simulator stand-in, while RealTraffic is lost and found again: no stand stays occupied by an
// aircraft that is gone.

#include "core/settings.h"
#include "core/timeutil.h"
#include "engine/base/stands.h"
#include "engine/live/live_update.h"
#include "engine_fixture.h"
#include "feed/udp_readers.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "lszh_fixture.h"
#include "refdata/park_airport.h"
#include "simlink/sim_link.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace enginetest {
namespace {

using namespace std::chrono_literals;
namespace stub = skyloom::simstub;
namespace fs = std::filesystem;

constexpr double metre = nmPerMetre / 60.0; // degrees of latitude
constexpr double feedStart = 1765370000.0;

class StandReleaseComponentTest : public LszhStandsTest {
protected:
    void SetUp() override {
        LszhStandsTest::SetUp();
        scannedLiveries = {{"SWR", "A320", "Stub Swiss", "", 1, false},
                           {"EZS", "A320", "Stub Easy", "", 1, false}};
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        dbase.wingspans["A320"] = 35.8 * 0.5 * nmPerMetre;
        enterLszh();
    }

    static const ParkPos& standNamed(const std::string& id) {
        for (const ParkPos& s : parkPositions)
            if (s.id == id) return s;
        throw std::runtime_error("no stand " + id);
    }

    // A feed record of a flight standing 2 m north of the stand, `seconds` into the feed.
    static TrafficRecord standing(std::uint32_t hexid, const std::string& cs, const ParkPos& at,
                                  double seconds) {
        TrafficRecord r = record(hexid, cs, "A320", feedStart + seconds, 0, 145, false);
        r.pos.lat = at.lat + 2 * metre;
        r.pos.lon = at.lon;
        r.pos.alt = 0;
        r.pos.duePass = enginePassCount.load() + 200;
        return r;
    }

    void step() {
        const std::int64_t number = enginePassCount.load();
        lf_handleAddingStack();
        if (simHasWork()) frame();
        if (number % 20 == 0) sync();
    }

    void steps(int count) {
        for (int i = 0; i < count; ++i)
            step();
    }

    // Every occupied stand is held by a live record standing at it.
    static std::vector<std::string> standsHeldByNobody() {
        std::vector<std::string> leaked;
        for (const ParkPos& s : parkPositions) {
            if (!s.occupied) continue;
            const LiveAc* holder = gf_findLiveByHexid(gf_standHolder(s.sid));
            if (holder == nullptr || holder->sid != s.sid) leaked.push_back(s.id);
        }
        return leaked;
    }
};

TEST_F(StandReleaseComponentTest, RealTrafficLostAndFoundThreeTimesLeavesNoStandToAnAircraftThatIsGone) {
    stub::Options options;
    options.removalDelay = 0ms;
    options.user.latitude = lszh.lat - 0.02;
    options.user.longitude = lszh.lon;
    options.user.altitudeFt = 1416;
    gf_reserveSimQueues();
    connect(std::move(options));

    struct Flight {
        std::uint32_t hexid;
        const char* cs;
        const char* stand;
    };
    const Flight flights[] = {
        {0x4B0101, "SWR101", "A3"},  {0x4B0102, "EZS102", "A7"},  {0x4B0103, "SWR103", "A11"},
        {0x4B0104, "EZS104", "B31"}, {0x4B0105, "SWR105", "B35"}, {0x4B0106, "EZS106", "B39"},
    };
    double seconds = 0;
    std::size_t occupiedSeen = 0;
    for (int round = 1; round <= 4; ++round) {
        SCOPED_TRACE(round);
        // The feed reports every flight at its stand, twice; the creations go out one by one, so that
        // when RealTraffic is lost some are in the simulator and some still wait for their turn.
        for (const Flight& f : flights)
            queue(standing(f.hexid, f.cs, standNamed(f.stand), seconds));
        seconds += 16;
        for (const Flight& f : flights)
            queue(standing(f.hexid, f.cs, standNamed(f.stand), seconds));
        seconds += 16;
        steps(round == 4 ? 2000 : 150 + 100 * round);
        std::size_t occupied = 0;
        for (const ParkPos& s : parkPositions)
            occupied += s.occupied ? 1 : 0;
        occupiedSeen = std::max(occupiedSeen, occupied);
        EXPECT_EQ(standsHeldByNobody(), std::vector<std::string>{});
        if (round == 4) break;

        // RealTraffic lost: the live traffic goes.
        gf_removeLiveTraffic();
        steps(300);
        EXPECT_EQ(standsHeldByNobody(), std::vector<std::string>{}) << "after the loss";
    }
    EXPECT_GE(occupiedSeen, 3u) << "the flights held their stands";
    // Found again for the last time: every flight is back at its own stand.
    for (const Flight& f : flights) {
        const LiveAc* ac = gf_findLiveByHexid(f.hexid);
        ASSERT_NE(ac, nullptr) << f.cs << "\n" << logText();
        EXPECT_EQ(gf_standNameOf(ac->sid), f.stand) << f.cs;
        EXPECT_EQ(ac->simState, SimState::active) << f.cs;
    }
    EXPECT_EQ(standsHeldByNobody(), std::vector<std::string>{});
}

} // namespace
} // namespace enginetest
