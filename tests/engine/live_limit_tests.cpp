// The live limit under bursts of newcomers: each buffered aircraft due at the limit removes the same
// active aircraft, or is refused, exactly as a plain scan over the list decides, while aircraft move,
// leave the active state, are erased and the user moves between the checks.

#include "core/geodesy.h"
#include "core/settings.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_tables.h"
#include "engine/engine_pass.h"
#include "engine/live/live_update.h"
#include "engine_fixture.h"
#include "liveries/livery_data.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace enginetest {
namespace {

class LiveLimitTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        scannedLiveries = {{"SWR", "A320", "Swiss A320", "", 1, false}};
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        engineLists.liveAcs.reserve(4096);
        engineLists.engineUserState.latitude = 47.0;
        engineLists.engineUserState.longitude = 8.0;
        engineLists.engineUserState.altitude = 0;
        enginePassCount = 5000;
    }

    std::mt19937 rng;
    // Positions on a grid of 0.0012 degrees (about 0.07 nm) along both axes, so that many aircraft stand
    // at the same distance or within the 0.1 nm margin of each other.
    double coordinate(double base) {
        return base + 0.0012 * static_cast<double>(std::uniform_int_distribution<int>(-60, 60)(rng));
    }
    bool chance(int percent) { return std::uniform_int_distribution<int>(0, 99)(rng) < percent; }

    // `count` active aircraft at a live limit of `count`, the random numbers started at `seed`; the next
    // free address.
    std::uint32_t startAtLimit(unsigned seed, int count) {
        rng.seed(seed);
        std::uint32_t nextHexid = 0x400000;
        MAX_LIVE_SEL.value = count;
        for (int i = 0; i < count; ++i)
            append(nextHexid++, coordinate(47.0), coordinate(8.0), SimState::active);
        return nextHexid;
    }

    // An airborne aircraft at the given position; buffered ones are due in this pass.
    static std::size_t append(std::uint32_t hexid, double lat, double lon, SimState state) {
        LiveAc& ac = liveAc(hexid, fmt::format("SWR{}", hexid % 100000));
        ac.samples.clear();
        for (int i = 0; i < 3; ++i) {
            PosSample s;
            s.lat = lat;
            s.lon = lon + 0.01 * i;
            s.alt = 20000;
            s.gs = 300;
            s.track = 90;
            s.airborne = true;
            s.duePass = enginePassCount.load() + 100 * i;
            ac.samples.push_back(s);
        }
        ac.pos.latitude = lat;
        ac.pos.longitude = lon;
        ac.pos.altitude = 20000;
        if (state == SimState::active) {
            ac.simState = SimState::active;
            ac.setPhase(AcPhase::flying);
            gf_setObjectId(ac, hexid);
        }
        return engineLists.liveAcs.size() - 1;
    }

    // Today's rule written plainly: the place of the active aircraft to remove for a newcomer at
    // `distanceNm`, nullopt when the newcomer is refused; 0 places when the limit is not reached.
    struct Expected {
        bool checked = false;
        std::optional<std::size_t> removed;
    };
    static Expected reference(const LiveAc& newcomer) {
        const auto& list = engineLists.liveAcs;
        std::size_t active = 0;
        for (const LiveAc& ac : list)
            if (ac.simState == SimState::active) ++active;
        Expected e;
        if (engineLists.pendingSpawns.size() + active + engineLists.liveCreateQueue.size() <
            static_cast<std::size_t>(MAX_LIVE_SEL.value.load()))
            return e;
        e.checked = true;
        const Lalo user{engineLists.engineUserState.latitude, engineLists.engineUserState.longitude};
        double limit = gf_distanceNm(user, Lalo{newcomer.samples.front().lat, newcomer.samples.front().lon});
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].simState != SimState::active) continue;
            const double d = gf_distanceNm(user, Lalo{list[i].pos.latitude, list[i].pos.longitude});
            if (d > limit + 0.1) {
                e.removed = i;
                limit = d;
            }
        }
        return e;
    }
};

TEST_F(LiveLimitTest, BurstsOfNewcomersDecideAsAPlainScan) {
    std::uint32_t nextHexid = startAtLimit(31, 40);

    std::size_t removals = 0;
    std::size_t refusals = 0;
    for (int burst = 0; burst < 400; ++burst) {
        const int newcomers = std::uniform_int_distribution<int>(1, 30)(rng);
        std::vector<std::uint32_t> due;
        for (int i = 0; i < newcomers; ++i) {
            // Some newcomers stand exactly where an active aircraft stands.
            if (chance(10) && !engineLists.liveAcs.empty()) {
                const LiveAc& twin = engineLists.liveAcs[rng() % engineLists.liveAcs.size()];
                append(nextHexid, twin.pos.latitude, twin.pos.longitude, SimState::buffer);
            } else {
                append(nextHexid, coordinate(47.0), coordinate(8.0), SimState::buffer);
            }
            due.push_back(nextHexid++);
        }
        for (const std::uint32_t hexid : due) {
            auto& list = engineLists.liveAcs;
            // Between two newcomers the pass moves aircraft, removes some, sends some back to the buffer
            // (a respawn) and now and then the user moves.
            for (LiveAc& ac : list) {
                if (ac.simState != SimState::active) continue;
                if (chance(20)) ac.pos.latitude = coordinate(47.0);
                if (chance(2)) removeAircraftFromSim(ac);
                if (chance(1)) ac.simState = SimState::buffer;
            }
            if (chance(5)) engineLists.engineUserState.latitude = coordinate(47.0);
            if (chance(5)) engineLists.engineUserState.longitude = coordinate(8.0);

            LiveAc* newcomer = gf_findLiveByHexid(hexid);
            ASSERT_NE(newcomer, nullptr);
            if (newcomer->simState != SimState::buffer) continue;
            const Expected expected = reference(*newcomer);
            std::vector<SimState> before;
            for (const LiveAc& ac : list)
                before.push_back(ac.simState);
            const std::size_t place = static_cast<std::size_t>(newcomer - list.data());

            gf_spawnPath(*newcomer);

            const std::string where = fmt::format("burst {} newcomer {:06x}", burst, hexid);
            if (expected.checked && !expected.removed) {
                ++refusals;
                EXPECT_TRUE(list[place].eraseNow) << where << " is refused";
            } else {
                EXPECT_FALSE(list[place].eraseNow) << where << " is taken";
            }
            if (expected.removed) ++removals;
            for (std::size_t i = 0; i < list.size(); ++i) {
                if (i == place) continue;
                if (expected.removed && *expected.removed == i) {
                    // A record without an object stays active, marked for erasing at once.
                    EXPECT_TRUE(list[i].simState == SimState::removingfromsim ||
                                (list[i].oid == 0 && list[i].eraseNow))
                        << where << " removes record " << i;
                } else {
                    EXPECT_EQ(list[i].simState, before[i]) << where << ", record " << i;
                }
            }
        }
        // The end of the pass: records erased, creations answered, new objects active.
        for (LiveAc& ac : engineLists.liveAcs) {
            if (ac.simState == SimState::removingfromsim && chance(70)) ac.eraseNow = true;
            if (ac.simState == SimState::buffer && !ac.eraseNow && chance(50)) ac.eraseNow = true;
        }
        gf_compactLiveAcs();
        for (const std::uint32_t hexid : engineLists.pendingSpawns)
            if (LiveAc* ac = gf_findLiveByHexid(hexid); ac && chance(80)) {
                ac->simState = SimState::active;
                if (chance(95)) gf_setObjectId(*ac, hexid);
            }
        engineLists.pendingSpawns.clear();
        if (chance(10)) MAX_LIVE_SEL.value = std::uniform_int_distribution<int>(20, 60)(rng);
    }
    // The bursts took both ways many times.
    EXPECT_GT(removals, 100u) << refusals;
    EXPECT_GT(refusals, 100u) << removals;
}

// What a pass leaves behind that the live limit and the ghost rule decide.
struct PassOutcome {
    std::vector<std::string> records; // address, state and flags of each record, in list order
    std::deque<std::uint32_t> removals;
    std::vector<std::uint32_t> pendingSpawns;
    std::vector<std::string> ghosts;
    bool operator==(const PassOutcome&) const = default;
};

PassOutcome lf_outcome() {
    PassOutcome o;
    for (const LiveAc& ac : engineLists.liveAcs)
        o.records.push_back(fmt::format("{:06x} {} {} {} {} {}", ac.hexid, ac.cs,
                                        static_cast<int>(ac.simState), ac.eraseNow, ac.eraseDropped,
                                        ac.removePending));
    o.removals = engineLists.removalQueue;
    o.pendingSpawns = engineLists.pendingSpawns;
    o.ghosts = engineLists.ghostList;
    return o;
}

// The stepping pass reads its table of states, distances and ghost callsigns; the same records stepped
// one by one outside it read the list for every check. Both end the same, pass after pass, while aircraft
// move in their steps and, between the passes, callsigns change (ghosts appear and go), records are erased
// and the list compacted, records are added and the user moves, and within a pass newcomers remove active
// aircraft and ghosts.
TEST_F(LiveLimitTest, TheSteppingPassEndsAsRecordsSteppedOneByOne) {
    std::uint32_t nextHexid = startAtLimit(7, 60);

    std::size_t removed = 0;
    std::size_t ghostsRemoved = 0;
    for (int pass = 0; pass < 150; ++pass) {
        // Between passes: callsigns change, records go, newcomers arrive, the user moves.
        for (LiveAc& ac : engineLists.liveAcs) {
            if (chance(3) && !ac.cs.empty() && ac.cs.back() != '_') ac.cs += '_';
            if (chance(3) && !ac.cs.empty() && ac.cs.back() == '_') ac.cs.pop_back();
            // Active aircraft move in their step, so that the distances change within the pass.
            if (ac.simState == SimState::active) {
                ac.move.stepLat =
                    0.0012 * static_cast<double>(std::uniform_int_distribution<int>(-20, 20)(rng));
                ac.move.stepLon =
                    0.0012 * static_cast<double>(std::uniform_int_distribution<int>(-20, 20)(rng));
            }
            if (ac.simState == SimState::removingfromsim && chance(60)) ac.eraseNow = true;
            if (ac.simState == SimState::buffer && chance(20)) ac.eraseNow = true;
        }
        gf_compactLiveAcs();
        for (const std::uint32_t hexid : engineLists.pendingSpawns)
            if (LiveAc* ac = gf_findLiveByHexid(hexid); ac && chance(80)) {
                ac->simState = SimState::active;
                gf_setObjectId(*ac, hexid);
            }
        engineLists.pendingSpawns.clear();
        engineLists.removalQueue.clear();
        const int newcomers = std::uniform_int_distribution<int>(0, 25)(rng);
        for (int i = 0; i < newcomers; ++i) {
            const std::size_t at = append(nextHexid++, coordinate(47.0), coordinate(8.0), SimState::buffer);
            // Some newcomers continue an aircraft under its ghost callsign, some are ghosts themselves.
            if (chance(15) && at > 0) {
                LiveAc& other = engineLists.liveAcs[rng() % at];
                engineLists.liveAcs[at].cs =
                    other.cs.back() == '_' ? other.cs.substr(0, other.cs.size() - 1) : other.cs + "_";
            }
        }
        if (chance(10)) engineLists.engineUserState.latitude = coordinate(47.0);
        // Newcomers among the aircraft already there, as the list holds them after a while.
        std::shuffle(engineLists.liveAcs.begin(), engineLists.liveAcs.end(), rng);
        gf_reindexAircraft();
        enginePassCount = enginePassCount.load() + 1;

        const std::vector<LiveAc> start = engineLists.liveAcs;
        const std::vector<std::string> ghostsBefore = engineLists.ghostList;
        gf_updateLiveAircraft();
        const PassOutcome stepping = lf_outcome();

        engineLists.liveAcs = start;
        gf_reindexAircraft();
        engineLists.pendingSpawns.clear();
        engineLists.removalQueue.clear();
        engineLists.ghostList = ghostsBefore;
        bool erase = false;
        for (LiveAc& ac : engineLists.liveAcs)
            erase |= updateLiveAc(ac);
        if (erase) gf_compactLiveAcs();
        const PassOutcome oneByOne = lf_outcome();

        ASSERT_EQ(stepping.records, oneByOne.records) << "pass " << pass;
        ASSERT_EQ(stepping.removals, oneByOne.removals) << "pass " << pass;
        ASSERT_EQ(stepping.pendingSpawns, oneByOne.pendingSpawns) << "pass " << pass;
        ASSERT_EQ(stepping.ghosts, oneByOne.ghosts) << "pass " << pass;
        removed += stepping.removals.size();
        ghostsRemoved += stepping.ghosts.size() - ghostsBefore.size();
        if (chance(10)) MAX_LIVE_SEL.value = std::uniform_int_distribution<int>(30, 80)(rng);
    }
    // The passes removed aircraft for the limit and as ghosts.
    EXPECT_GT(removed, 100u);
    EXPECT_GT(ghostsRemoved, 5u);
}

} // namespace
} // namespace enginetest
