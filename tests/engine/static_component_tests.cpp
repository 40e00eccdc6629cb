// Static parked aircraft at Zurich (an airport file of 100 stands the test writes) through the engine,
// the simulator link and an in-process simulator stand-in. The test drives the engine's passes and clock
// and the main cycle's duties of each second (the driver every sixteenth second, the renewal steps every
// fifteenth) as the run does: the park airport is chosen at the start, the static aircraft are placed
// and bound to their objects, renewed, removed when the user flies away and the learned stands come
// back at the next visit; the link keeps the user's stand from its own thread meanwhile.

#include "core/geodesy.h"
#include "core/settings.h"
#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/stands/stand_options.h"
#include "engine/stands/stand_search.h"
#include "engine/static/park_airports.h"
#include "engine/static/static_driver.h"
#include "engine/static/static_parking.h"
#include "engine/static/static_parking_state.h"
#include "engine/static/static_placement.h"
#include "engine_fixture.h"
#include "feed/udp_readers.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "platform/os/folders.h"
#include "refdata/airport_files.h"
#include "refdata/airports.h"
#include "refdata/park_airport.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <set>
#include <thread>

namespace enginetest {
namespace {

using namespace std::chrono_literals;
namespace stub = skyloom::simstub;
namespace fs = std::filesystem;

constexpr Lalo lszh{47.4581, 8.5481};
constexpr double elevationFt = 1416;
constexpr double metre = nmPerMetre / 60.0; // degrees of latitude
constexpr double nmNorth = 1.0 / 60.0;      // degrees of latitude
constexpr char standsFile[] = "airports/my_thirdparty/LSZH.xml";
constexpr char publisher[] = "Skyloom demo";
constexpr double feedStart = 1765370000.0;

// A traffic datagram as the feed sends it: an A320 at the given place.
std::string trafficDatagram(std::uint32_t hexid, const std::string& cs, const std::string& reg,
                            const Lalo& at, double feedTime, double altFt) {
    return fmt::format("RTTFC,{},{:.6f},{:.6f},{:.0f},0,0,90.0,250,{},A320,{},,,{:.1f},adsb,{},adsb_icao,"
                       "{:.0f},250,250,0.5,0,0,90.0,90.0,0,none,A3",
                       hexid, at.lat, at.lon, altFt, cs, reg, feedTime, cs, altFt);
}

struct Fleet {
    const char* airl;
    const char* type;
};
constexpr Fleet fleets[] = {
    {"SWR", "A320"}, {"DLH", "A320"}, {"EZS", "A319"}, {"EDW", "A320"}, {"AUA", "A321"}};

// Stand `i` (0..99) of the file: a grid of 10 x 10 stands 100 m apart south-west of the airport's
// reference point, none near enough to another to be its neighbour.
Lalo standPosition(int i) {
    return Lalo{lszh.lat - 0.0045 + 0.0009 * (i / 10), lszh.lon - 0.0065 + 0.0013 * (i % 10)};
}

class StaticComponentTest : public EngineTest {
protected:
    // The park airport's file in my_thirdparty: 100 stands, each with one flight of its own seen there
    // every day of the week, from an hour that differs from stand to stand until the end of the day.
    static void writeStandsFile() {
        fs::create_directories(fs::path(standsFile).parent_path());
        std::ofstream out(standsFile, std::ios::binary);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><meta>"
               "<info name=\"author\" value=\"Skyloom\"/><info name=\"version\" value=\"1.0.0\"/>"
               "<info name=\"date\" value=\"Dec 10, 2026\"/><info name=\"copyright\" value=\"test\"/>"
               "<info name=\"sim\" value=\"1\"/></meta><parameters>"
               "<parameter name=\"airport_name\" value=\"Zurich\"/>"
            << fmt::format("<parameter name=\"publisher\" value=\"{}\"/>", publisher)
            << "<parameter name=\"altitude\" value=\"1416\"/></parameters><parkpositions>";
        for (int i = 0; i < 100; ++i) {
            const Lalo at = standPosition(i);
            const Fleet& f = fleets[i % std::size(fleets)];
            out << fmt::format("<parkpos id=\"S{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"90\" "
                               "radius=\"20\">",
                               i + 1, at.lat, at.lon);
            for (int day = 1; day <= 7; ++day)
                out << fmt::format("<opt reg=\"HB-X{:02}\" airl=\"{}\" type=\"{}\" day=\"{}\" hh=\"{}:{}\" "
                                   "cs=\"{}{}:{}{}\"/>",
                                   i, f.airl, f.type, day, i % 20, i == 0 ? 21 : 47, f.airl, 1000 + 2 * i,
                                   f.airl, 1001 + 2 * i);
            // S1 sees a second flight, from 10:30 on.
            if (i == 0)
                for (int day = 1; day <= 7; ++day)
                    out << fmt::format(
                        "<opt reg=\"HB-JYZ\" airl=\"EZS\" type=\"A319\" day=\"{}\" hh=\"21:47\" "
                        "cs=\"EZS1900:EZS1901\"/>",
                        day);
            out << "</parkpos>";
        }
        out << "</parkpositions></root>\n";
    }

    void SetUp() override {
        EngineTest::SetUp();
        previousFolder_ = fs::current_path();
        ASSERT_TRUE(os::enterWorkingFolder(os::workingFolder()));
        gf_resetParkAirportsForTests();
        gf_resetParkAirportForTests();
        gf_resetStaticPlacementForTests();
        airportTable = AirportTable{};
        Airport a;
        a.code = "LSZH";
        a.lat = lszh.lat;
        a.lon = lszh.lon;
        a.alt = elevationFt;
        airportTable.records.push_back(a);
        airportTable.codes.insert("LSZH");
        gf_indexAirports();

        writeStandsFile();
        // An installed livery for every airline and type of the file.
        for (const Fleet& f : fleets) {
            scannedLiveries.push_back(
                {f.airl, f.type, fmt::format("Stub {} {}", f.airl, f.type), "", 1, false});
            dbase.aircrafts.insert(f.type);
            dbase.large.insert(f.type);
            dbase.wingspans[f.type] = 35.0 * 0.5 / metresPerNm;
        }
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        dbase.registrations["HB-JVN"] = RegRecord{"SWR", "A320", "", false};

        MATCHING_DEPTH.value = 2;
        MAX_PARK_SEL.value = 500;
        CUSTOM_PARKING_PERCENTAGE.value = -1;
        parking_percentage.value = 30;
        MAX_FIT.value = 47;
        AIRP_RANGE.value = 20;
        AIRP_HEIGHT.value = 18000;
        DESTINATION.set("");
        RANGE.value = 40;
        trafficRadiusNm = 40.0;
        gf_setAddingStackOpen(true);
        trafficReader.setReferencePosition(lszh);
        currentWeekSlot = WeekSlot{3, 20}.packed();
    }

    void TearDown() override {
        stopKeeper();
        gf_clearParkStands();
        gf_resetStandIndexForTests();
        gf_resetParkAirportsForTests();
        gf_resetParkAirportForTests();
        gf_resetStaticPlacementForTests();
        trafficReader.clearParkAirport();
        trafficReader.clearCallsigns();
        airportTable = AirportTable{};
        DESTINATION.set("");
        AIRP_RANGE.value = 20;
        AIRP_HEIGHT.value = 18000;
        userOnGround = false;
        if (!previousFolder_.empty()) fs::current_path(previousFolder_);
        EngineTest::TearDown();
    }

    // The stand-in with the user `south` nm south of the airport, `heightFt` above its ground.
    stub::SimStub& start(double south, double heightFt) {
        stub::Options options;
        // The stand-in's clock moves with the engine's passes, its frames come when the test sends
        // them, and a removal takes the stand-in's default time, as a simulator's does.
        options.fps = 0;
        options.user.latitude = lszh.lat - south * nmNorth;
        options.user.longitude = lszh.lon;
        options.user.altitudeFt = elevationFt + heightFt;
        options.user.onGround = heightFt < 1;
        options.groundAreas.push_back(stub::GroundArea{lszh.lat, lszh.lon, 60, elevationFt});
        gf_reserveSimQueues();
        auto& s = connect(std::move(options));
        // The worker's copy of the user state holds a position before the run begins.
        EXPECT_TRUE(eventually([] {
            const UserState u = gf_requestUserState();
            return gf_positionKnown(u.latitude, u.longitude);
        }));
        return s;
    }

    // The start of the run: the park-airport list read, the driver's first call, the run's clock at 0.
    void beginRun() {
        ASSERT_TRUE(lf_readMyParkAirports());
        gf_updateStaticParking(true);
        passes_ = 0;
        seconds_ = 0;
    }

    // One engine pass of 10 ms, the stand-in's frame when the link has something to send, and at each
    // full second the main cycle's duties of that second.
    void step() {
        const std::int64_t number = enginePassCount.load();
        // While the park airport's files are read on their own thread, a pass lasts its real 10 ms, as
        // in the program; passes on the test's clock alone would run seconds ahead of a read slowed by
        // a loaded machine.
        if (gf_parkFileReadPending()) std::this_thread::sleep_for(10ms);
        lf_handleAddingStack();
        const bool toSend = simHasWork();
        // A frame every fourth pass keeps the test short (moving live aircraft have positions to send
        // on every pass).
        if (toSend && number % 4 == 0) frame();
        if (number % 20 == 0) sync();
        gf_advanceEngineClockForTests(10ms);
        stub_->advance(10ms);
        if (++passes_ % 100 == 0) oneSecond();
    }

    void oneSecond() {
        ++seconds_;
        if (seconds_ % 10 == 0) feedFlights();
        if (seconds_ % 5 == 0) {
            if (seconds_ % 15 == 0) {
                gf_renewalStep();
                if (seconds_ % 60 == 0) gf_renewalCountdownMinute(15);
            }
            return;
        }
        if (seconds_ % 16 == 0 && !staticParkingState.renewalCollecting.load()) gf_updateStaticParking(false);
    }

    void seconds(int count) {
        for (int i = 0; i < count * 100; ++i)
            step();
    }

    // Runs whole seconds until `done` holds (at most `limit` seconds); false when it never did.
    bool secondsUntil(const std::function<bool()>& done, int limit) {
        for (int i = 0; i < limit && !done(); ++i)
            seconds(1);
        return done();
    }

    // A flight the feed reports every 10 seconds (due as the feed delays it): standing still on the
    // ground or flying level.
    struct Flight {
        std::uint32_t hexid;
        std::string cs, reg;
        Lalo at;
        bool airborne;
    };

    void feedFlights() {
        for (Flight& f : flights_) {
            if (f.airborne) f.at.lon += 250.0 * 10 / 3600 / 60 / std::cos(f.at.lat * pi / 180);
            TrafficRecord r = record(f.hexid, f.cs, "A320", feedStart + seconds_, f.airborne ? 250 : 0,
                                     f.airborne ? 90 : 145, f.airborne);
            r.reg = f.reg;
            r.pos.lat = f.at.lat;
            r.pos.lon = f.at.lon;
            r.pos.alt = f.airborne ? 9000 : 0;
            queue(r);
        }
    }

    // The user aircraft flies `nm` north (negative: south) at 3 nm a second, the link seeing each step.
    void flyNorth(double nm) {
        const stub::UserAircraft u = stub_->user();
        const int steps = static_cast<int>(std::ceil(std::fabs(nm) / 3.0));
        for (int i = 1; i <= steps; ++i) {
            stub_->teleportUser(u.latitude + nm * nmNorth * i / steps, u.longitude, u.altitudeFt);
            seconds(1);
        }
    }

    static std::size_t activeStatics() {
        return static_cast<std::size_t>(
            std::count_if(engineLists.staticAcs.begin(), engineLists.staticAcs.end(),
                          [](const StaticAc& a) { return a.simState == SimState::active && a.oid != 0; }));
    }

    static const ParkPos* standOf(std::uint32_t sid) { return gf_findStand(sid); }

    // Every static aircraft of the engine is an object of the stand-in at its stand, on the ground and
    // under its callsign.
    void expectStaticsAtTheirStands() {
        sync();
        for (const StaticAc& ac : engineLists.staticAcs) {
            SCOPED_TRACE(ac.cs);
            const auto object = stub_->object(ac.oid);
            ASSERT_TRUE(object.has_value());
            const ParkPos* stand = standOf(ac.sid);
            ASSERT_NE(stand, nullptr);
            EXPECT_LT(gf_distanceNm(Lalo{object->latitude, object->longitude}, Lalo{stand->lat, stand->lon}),
                      1.0 / metresPerNm);
            EXPECT_TRUE(object->onGround);
            EXPECT_EQ(object->tail, ac.cs);
        }
    }

    // The stand-in's objects whose callsign ends in "*" (static aircraft).
    std::set<std::uint32_t> staticObjects() const {
        std::set<std::uint32_t> ids;
        for (const stub::AiObject& o : stub_->objects())
            if (!o.tail.empty() && o.tail.back() == '*') ids.insert(o.id);
        return ids;
    }

    // A stand with neither a static aircraft nor a neighbour holding one.
    static const ParkPos* freeStand() {
        for (const ParkPos& s : parkPositions) {
            if (s.blocked) continue;
            const bool near = std::any_of(
                engineLists.staticAcs.begin(), engineLists.staticAcs.end(), [&](const StaticAc& ac) {
                    return ac.sid == s.sid ||
                           std::find(s.adjacent.begin(), s.adjacent.end(), ac.sid) != s.adjacent.end();
                });
            if (!near) return &s;
        }
        return nullptr;
    }

    void stopKeeper() {
        stopKeeper_ = true;
        if (keeper_.joinable()) keeper_.join();
    }

    fs::path previousFolder_;
    std::int64_t passes_ = 0;
    std::int32_t seconds_ = 0;
    std::vector<Flight> flights_;
    std::thread keeper_;
    std::atomic<bool> stopKeeper_{false};
};

// 100 stands at 30 %: the airport is chosen at the start of the run, the driver's next call (one
// interval of gathering callsigns later) calculates 30 picks, one is placed every 500 ms, and each
// object is set up for 2 s: all 30 are active about 33 s after the start, none before the gathering ends.
// The airport is 15 nm away, beyond the traffic radius of 5 nm: its aircraft are bound all the same.
TEST_F(StaticComponentTest, ThirtyStaticAircraftAreActiveAboutThirtyThreeSecondsAfterTheStart) {
    rangeMeters = 5 * wholeMetresPerNm;
    start(15, 3000);
    beginRun();
    EXPECT_EQ(parkAirportCode, "LSZH");
    EXPECT_THAT(messages(), testing::Contains("LSZH in sight at 15.0 nm"));
    EXPECT_TRUE(trafficReader.collectingCallsigns());

    seconds(15);
    EXPECT_TRUE(engineLists.staticAcs.empty()) << "gathering callsigns";
    EXPECT_EQ(stub_->counts().creations, 0u);
    std::int64_t allActiveAt = -1;
    for (int i = 0; i < 6000 && allActiveAt < 0; ++i) {
        step();
        if (activeStatics() == 30) allActiveAt = passes_;
    }
    ASSERT_GE(allActiveAt, 0) << activeStatics() << " active\n" << logText();
    RecordProperty("allActiveAfterPasses", std::to_string(allActiveAt));
    EXPECT_EQ(parkPositions.size(), 100u);
    EXPECT_GE(allActiveAt, 25 * 100);
    EXPECT_LE(allActiveAt, 45 * 100);
    EXPECT_EQ(engineLists.staticAcs.size(), 30u);
    EXPECT_EQ(stub_->counts().creations, 30u);
    expectStaticsAtTheirStands();
    // One aircraft per stand, and no two on neighbouring stands.
    for (const StaticAc& ac : engineLists.staticAcs)
        for (const StaticAc& other : engineLists.staticAcs) {
            if (&ac == &other) continue;
            EXPECT_NE(ac.sid, other.sid);
            const auto& next = standOf(ac.sid)->adjacent;
            EXPECT_EQ(std::find(next.begin(), next.end(), other.sid), next.end()) << ac.cs << " " << other.cs;
        }
    // The placement has ended: the parking controls come back at the driver's next call.
    seconds(16);
    EXPECT_FALSE(staticParkingState.busy.load());
    EXPECT_EQ(staticParkingState.renewalCountdown.load(), 19);
}

// The renewal an hour after the start: the feed reports the flight of the aircraft at S5 while
// callsigns are collected, and the flight at S1 has left (its last half hour was 21). These two go;
// the others still fit and stay on their objects; two new ones come: S1's other flight at S1, where
// the old aircraft is still being removed when the new one is placed, and one at a free stand.
TEST_F(StaticComponentTest, ARenewalRemovesStaticsWhoseFlightIsLiveOrGoneAndAddsNewOnes) {
    start(3, 3000);
    beginRun();
    ASSERT_TRUE(secondsUntil([] { return activeStatics() == 30; }, 60)) << logText();
    std::map<std::string, const StaticAc*> atStand;
    for (const StaticAc& ac : engineLists.staticAcs)
        atStand[gf_standNameOf(ac.sid)] = &ac;
    for (const char* name : {"S1", "S5"})
        ASSERT_TRUE(atStand.contains(name)) << name;
    const std::string liveFlight = atStand["S5"]->feedCs;
    ASSERT_FALSE(liveFlight.empty());
    std::set<std::string> goneCs;
    std::set<std::uint32_t> goneOids;
    for (const char* name : {"S1", "S5"}) {
        goneCs.insert(atStand[name]->cs);
        goneOids.insert(atStand[name]->oid);
    }
    std::map<std::uint32_t, std::string> before;
    for (const StaticAc& ac : engineLists.staticAcs)
        before[ac.oid] = ac.cs;

    currentWeekSlot = WeekSlot{3, 22}.packed();
    gf_requestRenewalNow();
    ASSERT_TRUE(secondsUntil([] { return staticParkingState.renewalCollecting.load(); }, 20));
    // The flight is in the air nearby, under the callsign the aircraft was placed for.
    trafficReader.handle(
        trafficDatagram(0x4B0F01, liveFlight, "HB-JZZ", Lalo{lszh.lat + 0.1, lszh.lon}, feedStart, 6000));
    ASSERT_TRUE(secondsUntil([] { return !staticParkingState.renewalPending.load(); }, 20));
    EXPECT_THAT(messages(), testing::Contains(
                                testing::StartsWith("Parking adjustments: 2 to be removed, 2 to be added")));
    ASSERT_TRUE(
        secondsUntil([] { return engineLists.staticAcs.size() == 30u && activeStatics() == 30u; }, 40))
        << activeStatics() << " active\n"
        << logText();

    sync();
    for (const std::uint32_t oid : goneOids)
        EXPECT_FALSE(stub_->object(oid).has_value()) << before[oid] << " removed";
    std::set<std::string> removedTails;
    for (const stub::RemovedObject& o : stub_->removedObjects())
        removedTails.insert(o.tail);
    EXPECT_EQ(removedTails, goneCs);
    std::size_t kept = 0;
    std::set<std::string> stands;
    for (const StaticAc& ac : engineLists.staticAcs) {
        SCOPED_TRACE(ac.cs);
        EXPECT_NE(ac.feedCs, liveFlight);
        const std::string stand = gf_standNameOf(ac.sid);
        stands.insert(stand);
        if (before.contains(ac.oid)) {
            ++kept;
            EXPECT_EQ(before[ac.oid], ac.cs) << "a kept aircraft stays on its object";
        }
    }
    EXPECT_EQ(kept, 28u);
    EXPECT_EQ(stands.size(), 30u);
    EXPECT_FALSE(stands.contains("S5")) << "its flight is live";
    const auto s1 = std::find_if(engineLists.staticAcs.begin(), engineLists.staticAcs.end(),
                                 [](const StaticAc& ac) { return gf_standNameOf(ac.sid) == "S1"; });
    ASSERT_NE(s1, engineLists.staticAcs.end()) << logText();
    EXPECT_EQ(s1->feedCs, "EZS1900");
    EXPECT_FALSE(before.contains(s1->oid));
    expectStaticsAtTheirStands();
    std::set<std::uint32_t> engineOids;
    for (const StaticAc& ac : engineLists.staticAcs)
        engineOids.insert(ac.oid);
    EXPECT_EQ(staticObjects(), engineOids) << "the stand-in holds exactly the engine's static aircraft";
}

// Flying away beyond AIRP_RANGE: every static aircraft and the live aircraft on the ground go (an
// airborne one stays), the learned file is written, and the next visit reads the learned flight back.
TEST_F(StaticComponentTest, FlyingAwayRemovesTheParkedAircraftAndTheNextVisitReadsWhatWasLearned) {
    start(3, 3000);
    beginRun();
    ASSERT_TRUE(secondsUntil([] { return activeStatics() == 30; }, 60)) << logText();
    const ParkPos* free = freeStand();
    ASSERT_NE(free, nullptr);
    const std::string standName = free->id;
    flights_.push_back({0x4B0A01, "SWR9901", "HB-JVN", Lalo{free->lat + 2 * metre, free->lon}, false});
    flights_.push_back({0x4B0A02, "SWR9902", "HB-JVO", Lalo{lszh.lat + 0.17, lszh.lon}, true});
    feedFlights();
    ASSERT_TRUE(secondsUntil(
        [] {
            const LiveAc* parked = gf_findLiveByHexid(0x4B0A01);
            const LiveAc* flying = gf_findLiveByHexid(0x4B0A02);
            return parked && flying && parked->simState == SimState::active &&
                   flying->simState == SimState::active && parked->phase == AcPhase::parked;
        },
        80))
        << [] {
               std::string t;
               for (const LiveAc& ac : engineLists.liveAcs)
                   t += fmt::format("{} state {} phase {} samples {}\n", ac.cs, static_cast<int>(ac.simState),
                                    static_cast<int>(ac.phase), ac.samples.size());
               return t;
           }();
    EXPECT_EQ(gf_standNameOf(gf_findLiveByHexid(0x4B0A01)->sid), standName);
    EXPECT_GE(parkAirport.standUpdateCount, 1u) << "learned at the stand";
    const std::uint32_t parkedOid = gf_findLiveByHexid(0x4B0A01)->oid;
    const std::uint32_t flyingOid = gf_findLiveByHexid(0x4B0A02)->oid;

    flyNorth(-24); // 27 nm south
    // The driver looks every sixteenth second (not when that is also a fifth: at most 32 s apart).
    ASSERT_TRUE(secondsUntil([] { return parkAirportCode.empty(); }, 40)) << logText();
    ASSERT_TRUE(secondsUntil([&] { return engineLists.staticAcs.empty() && !stub_->object(parkedOid); }, 10))
        << logText();
    sync();
    EXPECT_TRUE(staticObjects().empty());
    EXPECT_TRUE(stub_->object(flyingOid).has_value()) << "the airborne live aircraft stays";
    EXPECT_EQ(stub_->objects().size(), 1u);
    EXPECT_TRUE(parkPositions.empty());
    const fs::path learned = gf_learnedPathOf("LSZH", publisher);
    ASSERT_FALSE(learned.empty());
    ASSERT_TRUE(fs::exists(learned)) << logText();
    EXPECT_THAT(logText(), testing::HasSubstr(fmt::format("'{}' saved with ", learned.generic_string())));
    std::ifstream in(learned);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_THAT(text, testing::HasSubstr("HB-JVN"));
    flights_.clear();

    // Back again: the airport is chosen anew, its stands read with what was learned.
    flyNorth(24);
    ASSERT_TRUE(secondsUntil([] { return parkAirportLoaded.load() && !parkPositions.empty(); }, 40));
    const auto stand = std::find_if(parkPositions.begin(), parkPositions.end(),
                                    [&](const ParkPos& s) { return s.id == standName; });
    ASSERT_NE(stand, parkPositions.end());
    EXPECT_TRUE(std::any_of(stand->opts.begin(), stand->opts.end(), [](const ParkOpt& o) {
        return o.reg == "HB-JVN" && o.day == 3 && o.hh.test(20);
    })) << "the learned flight is back at its stand";
    ASSERT_TRUE(secondsUntil([] { return activeStatics() == 30; }, 60)) << logText();
    expectStaticsAtTheirStands();
}

// Flying away while the placement is under way: the aircraft not yet placed are dropped, those whose
// creation is on its way are removed once they exist, and no object is left behind in the stand-in.
TEST_F(StaticComponentTest, FlyingAwayDuringThePlacementLeavesNoObjectBehind) {
    start(3, 3000);
    beginRun();
    ASSERT_TRUE(secondsUntil([] { return activeStatics() >= 10; }, 60)) << logText();
    ASSERT_FALSE(staticPicks.staticAddList.empty());
    flyNorth(-24);
    ASSERT_TRUE(secondsUntil([] { return parkAirportCode.empty(); }, 40)) << logText();
    const std::uint64_t created = stub_->counts().creations;
    ASSERT_TRUE(secondsUntil([] { return engineLists.staticAcs.empty(); }, 20))
        << engineLists.staticAcs.size() << "\n"
        << logText();
    seconds(5);
    sync();
    EXPECT_TRUE(staticObjects().empty());
    EXPECT_EQ(stub_->counts().creations, created) << "nothing created after leaving";
    EXPECT_TRUE(staticPicks.staticAddList.empty());
    ASSERT_TRUE(secondsUntil([] { return !staticParkingState.busy.load(); }, 40))
        << "the parking controls come back";
}

// The link keeps the user's stand on its own thread (a new flight, the link's end) while the worker
// runs its passes: chooses the park airport with the user on the ground, loads its stands, moves the
// entry to the front and saves the list, places the static aircraft. Meaningful under ThreadSanitizer.
TEST_F(StaticComponentTest, TheUsersStandIsKeptFromTheLinksThreadWhileTheWorkerRuns) {
    gf_simLinkHooks().nearestStandName = [](const Lalo& position) { return gf_nearestStandName(position); };
    gf_simLinkHooks().keepUserStand = [](const std::string& stand) { gf_keepUserStand(stand); };
    const Lalo s56 = standPosition(55);
    const Lalo userAt{s56.lat + 2 * metre, s56.lon};
    start((lszh.lat - userAt.lat) / nmNorth, 0);
    stub_->teleportUser(userAt.lat, userAt.lon, elevationFt);
    userOnGround = true;
    userOnGroundKnown = true;
    ASSERT_TRUE(eventually([&] {
        return gf_distanceNm(Lalo{gf_requestUserState().latitude, gf_requestUserState().longitude}, userAt) <
               0.001;
    }));

    keeper_ = std::thread([this] {
        for (int i = 0; !stopKeeper_.load(); ++i) {
            gf_keepUserStand(i % 2 == 0 ? "S12" : "S13");
            gf_rememberUserStand();
            (void)gf_firstParkAirportPosition();
            std::this_thread::sleep_for(1ms);
        }
    });
    beginRun();
    EXPECT_EQ(parkAirportCode, "LSZH");
    ASSERT_TRUE(secondsUntil(
        [] {
            return parkAirportLoaded.load() && staticPicks.staticAddList.empty() &&
                   !engineLists.staticAcs.empty() && activeStatics() == engineLists.staticAcs.size();
        },
        60))
        << logText();
    stopKeeper();
    gf_keepUserStand("S14");
    step();
    ASSERT_FALSE(parkAirport.parkAirports.empty());
    EXPECT_EQ(parkAirport.parkAirports.front().code, "LSZH");
    EXPECT_EQ(parkAirport.parkAirports.front().stand, "S14");
    std::ifstream list("airports/my_park_airports.txt");
    const std::string saved{std::istreambuf_iterator<char>(list), std::istreambuf_iterator<char>()};
    EXPECT_EQ(saved, "LSZH,S14\n");
    // The user's own stand got no static aircraft.
    for (const StaticAc& ac : engineLists.staticAcs)
        EXPECT_NE(gf_standNameOf(ac.sid), "S56");
}

} // namespace
} // namespace enginetest
