// Flights of the Zurich scenario at the demo stands (data/LSZH.xml), through the engine, the simulator
// link and an in-process simulator stand-in: a flight first seen standing takes the stand under it, a
// departure leaving its stand is learned as a coupled flight and frees it, an arrival that halts takes
// its stand from a parked holder, and the link asks for the user's stand while the worker reloads the
// stands.

#include "core/geodesy.h"
#include "core/settings.h"
#include "core/units.h"
#include "engine/base/stands.h"
#include "engine/live/parking.h"
#include "engine/stands/conflicts.h"
#include "engine/stands/stand_options.h"
#include "engine_fixture.h"
#include "feed/udp_readers.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "lszh_fixture.h"
#include "refdata/park_airport.h"
#include "simlink/sim_link.h"

#include <gmock/gmock.h>

#include <atomic>
#include <filesystem>
#include <numbers>
#include <thread>

namespace enginetest {
namespace {

using namespace std::chrono_literals;
namespace stub = skyloom::simstub;
namespace fs = std::filesystem;

constexpr char installedTitle[] = "Stub Swiss";
constexpr double metre = nmPerMetre / 60.0; // degrees of latitude
constexpr double feedStart = 1765370000.0;

class ParkingComponentTest : public LszhStandsTest {
protected:
    void SetUp() override {
        LszhStandsTest::SetUp();
        scannedLiveries = {{"SWR", "A320", installedTitle, "", 1, false},
                           {"SWR", "A321", installedTitle, "", 1, false},
                           {"SWR", "BCS3", installedTitle, "", 1, false},
                           {"EZS", "A319", installedTitle, "", 1, false}};
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        dbase.aircrafts.insert({"A319", "A321", "BCS3"});
        dbase.large.insert({"A319", "A321", "BCS3"});
        // Registrations of the scenario's flights at the narrow-body stands.
        dbase.registrations["HB-IOL"] = RegRecord{"SWR", "A321", "", false};
        dbase.registrations["HB-JCA"] = RegRecord{"SWR", "BCS3", "", false};
        dbase.registrations["HB-JYE"] = RegRecord{"EZS", "A319", "", false};
        dbase.wingspans["A319"] = 35.8 * 0.5 / metresPerNm;
        dbase.wingspans["A321"] = 35.8 * 0.5 / metresPerNm;
        dbase.wingspans["BCS3"] = 35.1 * 0.5 / metresPerNm;
        enterLszh();
    }

    void TearDown() override {
        userOnGround = false;
        LszhStandsTest::TearDown();
    }

    // The stand-in with the user standing on the ground 2 km south of the demo aprons.
    stub::SimStub& start() {
        stub::Options options;
        options.removalDelay = 0ms;
        options.user.latitude = lszh.lat - 0.02;
        options.user.longitude = lszh.lon;
        options.user.altitudeFt = 1416;
        gf_reserveSimQueues();
        return connect(std::move(options));
    }

    static const ParkPos& standNamed(const std::string& id) {
        for (const ParkPos& s : parkPositions)
            if (s.id == id) return s;
        throw std::runtime_error("no stand " + id);
    }

    // `north` metres north of the stand.
    static Lalo near(const ParkPos& s, double north) { return Lalo{s.lat + north * metre, s.lon}; }
    // `metres` from the stand on the bearing (degrees true).
    static Lalo off(const ParkPos& s, double bearingDeg, double metres) {
        return gf_destinationPoint(Lalo{s.lat, s.lon}, bearingDeg * pi / 180, metres / metresPerFoot);
    }

    // A feed record of a flight on the ground, `seconds` into the feed; due as the feed delays it.
    static TrafficRecord groundRecord(std::uint32_t hexid, const std::string& cs, const std::string& type,
                                      const std::string& reg, const Lalo& at, double seconds, double gs,
                                      double trackDeg) {
        TrafficRecord r = record(hexid, cs, type, feedStart + seconds, gs, trackDeg, false);
        r.reg = reg;
        r.pos.lat = at.lat;
        r.pos.lon = at.lon;
        r.pos.alt = 0;
        r.pos.duePass = enginePassCount.load() + 1000;
        return r;
    }

    // One engine pass, then the stand-in's frame when the link has something to send.
    void step() {
        const std::int64_t number = enginePassCount.load();
        lf_handleAddingStack();
        const bool toSend = simHasWork();
        if (toSend) frame();
        if (number % 20 == 0) sync();
    }

    void stepUntil(const std::function<bool()>& done, int limit = 3000) {
        for (int i = 0; i < limit && !done(); ++i)
            step();
    }

    // Feeds one record and runs the passes of the 16 seconds to the next one (fewer when `passes`).
    void feed(const TrafficRecord& r, int passes = 1600) {
        queue(r);
        for (int i = 0; i < passes; ++i)
            step();
    }

    static const ParkOpt* optionOf(const ParkPos& s, const std::string& reg) {
        for (const ParkOpt& opt : s.opts)
            if (opt.reg == reg && opt.day == 3 && opt.hh.test(20)) return &opt;
        return nullptr;
    }
};

// SWR316 (A321 HB-IOL) stands at A3 when the feed first reports it: it is created parked on the stand,
// holds it and is learned there. Then it moves off steadily: it leaves, is learned as a coupled flight
// and the stand is free again.
TEST_F(ParkingComponentTest, AFlightFirstSeenStandingTakesTheStandAndLeavesItLater) {
    start();
    const ParkPos& a3 = standNamed("A3");
    const std::uint32_t hexid = 0x4B0316;
    feed(groundRecord(hexid, "SWR316", "A321", "HB-IOL", near(a3, 3), 0, 0, 145), 10);
    feed(groundRecord(hexid, "SWR316", "A321", "HB-IOL", near(a3, 3), 16, 0, 145), 10);
    stepUntil([&] {
        const LiveAc* ac = gf_findLiveByHexid(hexid);
        return ac != nullptr && ac->simState == SimState::active;
    });
    const LiveAc* ac = gf_findLiveByHexid(hexid);
    ASSERT_NE(ac, nullptr);
    ASSERT_EQ(ac->simState, SimState::active);
    EXPECT_EQ(ac->phase, AcPhase::parked);
    EXPECT_EQ(gf_standNameOf(ac->sid), "A3");
    const ParkOpt* learned = optionOf(a3, "HB-IOL");
    ASSERT_NE(learned, nullptr) << "learned at the stand";
    EXPECT_FALSE(learned->cpl);
    sync();
    const auto object = stub_->object(ac->oid);
    ASSERT_TRUE(object.has_value());
    EXPECT_LT(gf_distanceNm(Lalo{object->latitude, object->longitude}, Lalo{a3.lat, a3.lon}),
              1.0 / metresPerNm)
        << "created on the stand's spot, not where the feed put it";

    // The feed goes on reporting it at the stand, with a little drift: it stays and holds the stand.
    feed(groundRecord(hexid, "SWR316", "A321", "HB-IOL", near(a3, 4), 32, 0, 145), 100);
    EXPECT_TRUE(a3.occupied);
    EXPECT_EQ(gf_standHolder(a3.sid), hexid);
    EXPECT_TRUE(gf_findLiveByHexid(hexid)->standWatch.seenAtStand);
    EXPECT_FALSE(gf_findLiveByHexid(hexid)->move.pushbackPending);
    // Moving off, 6 m per record.
    for (int k = 1; k <= 5 && !gf_findLiveByHexid(hexid)->move.pushbackPending; ++k)
        feed(groundRecord(hexid, "SWR316", "A321", "HB-IOL", near(a3, 4 + 6 * k), 32 + 16 * k, 2, 0), 100);
    EXPECT_FALSE(a3.occupied) << "the stand is free";
    EXPECT_TRUE(gf_findLiveByHexid(hexid)->move.pushbackPending) << "the push-back follows";
    learned = optionOf(a3, "HB-IOL");
    ASSERT_NE(learned, nullptr);
    EXPECT_TRUE(learned->cpl) << "learned as a coupled flight";
}

// EZS1411 (A319 HB-JYE) stands at A5. SWR1257 (BCS3 HB-JCA) has landed, taxied in and halts 30 m
// short of A5: it takes the stand, and the parked holder leaves the simulator to make room.
TEST_F(ParkingComponentTest, AnArrivalThatHaltsTakesItsStandFromAParkedHolder) {
    start();
    const ParkPos& a5 = standNamed("A5");
    const std::uint32_t holder = 0x4B1411;
    feed(groundRecord(holder, "EZS1411", "A319", "HB-JYE", near(a5, 1), 0, 0, 145), 10);
    feed(groundRecord(holder, "EZS1411", "A319", "HB-JYE", near(a5, 1), 16, 0, 145), 10);
    stepUntil([&] {
        const LiveAc* ac = gf_findLiveByHexid(holder);
        return ac != nullptr && ac->simState == SimState::active;
    });
    ASSERT_EQ(gf_standNameOf(gf_findLiveByHexid(holder)->sid), "A5");
    // The feed has no more of the holder: the stand is not held against a newcomer.
    EXPECT_FALSE(a5.occupied);

    // The arrival, created taxiing on the apron in front of the row, comes to a halt 30 m from A5.
    const std::uint32_t arrival = 0x4B1257;
    feed(groundRecord(arrival, "SWR1257", "BCS3", "HB-JCA", off(a5, 235, 120), 20, 10, 55), 10);
    feed(groundRecord(arrival, "SWR1257", "BCS3", "HB-JCA", off(a5, 280, 70), 36, 8, 100), 10);
    stepUntil([&] {
        const LiveAc* ac = gf_findLiveByHexid(arrival);
        return ac != nullptr && ac->simState == SimState::active;
    });
    LiveAc* ac = gf_findLiveByHexid(arrival);
    ASSERT_NE(ac, nullptr) << logText();
    ASSERT_EQ(ac->phase, AcPhase::taxi);
    feed(groundRecord(arrival, "SWR1257", "BCS3", "HB-JCA", off(a5, 325, 30), 52, 0, 145), 10);
    ac = gf_findLiveByHexid(arrival);
    ac->move.landed = true;
    try2Park(*ac, true);
    EXPECT_EQ(ac->phase, AcPhase::parking);
    EXPECT_EQ(gf_standNameOf(ac->sid), "A5");
    stepUntil([&] { return gf_findLiveByHexid(holder) == nullptr; }, 500);
    EXPECT_EQ(gf_findLiveByHexid(holder), nullptr);
    sync();
    const auto removed = stub_->removedObjects();
    ASSERT_FALSE(removed.empty());
    EXPECT_EQ(removed.back().tail, "EZS1411");
    EXPECT_FALSE(a5.occupied) << "free for the arrival";
    EXPECT_THAT(logText(), testing::HasSubstr("A5      : EZS1411  removed, SWR1257 wants to park there"));
}

// The link asks for the user's stand on its own thread with every user-state reply while the worker
// loads the stands again and again (run under ThreadSanitizer, build-tsan, to see that it is clean).
TEST_F(ParkingComponentTest, TheUsersStandIsAskedForWhileTheWorkerReloadsTheStands) {
    const ParkPos& b31 = standNamed("B31");
    const Lalo userAt{b31.lat + 2 * metre, b31.lon};
    stub::Options options;
    options.user.latitude = userAt.lat;
    options.user.longitude = userAt.lon;
    options.user.altitudeFt = 1416;
    gf_reserveSimQueues();
    gf_simLinkHooks().nearestStandName = [](const Lalo& position) { return gf_nearestStandName(position); };
    connect(std::move(options));
    userOnGround = true;
    std::atomic<bool> stop{false};
    std::thread asker([&] {
        while (!stop.load()) {
            gf_requestUserState();
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int round = 0; round < 30; ++round) {
        gf_clearParkStands();
        EXPECT_EQ(gf_loadParkStands(standsFile), "");
    }
    stop = true;
    asker.join();
    gf_requestUserState();
    EXPECT_TRUE(eventually([] { return simLinkStatus.userStandText() == "B31"; }));
    EXPECT_EQ(gf_nearestStandName(userAt), "B31");
}

} // namespace
} // namespace enginetest
