// Ground traffic of the Zurich scenario against the simulator link and an in-process stand-in with a
// ground area at LSZH, on the demo airport's stands: a departure pushed back from its stand that taxis
// through its corners and takes off, and an arrival that rolls out, taxis and parks. While on the ground
// no object jumps.

#include "core/geodesy.h"
#include "core/settings.h"
#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/live/ground_movement.h"
#include "engine/live/live_update.h"
#include "engine/live/movement.h"
#include "engine_fixture.h"
#include "feed/udp_readers.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "refdata/park_airport.h"
#include "refdata/type_lookups.h"
#include "simlink/sim_ids.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <numbers>
#include <sstream>

namespace enginetest {
namespace {

namespace fs = std::filesystem;
namespace stub = skyloom::simstub;
using namespace std::chrono_literals;

constexpr double degToRad = pi / 180.0;
constexpr Lalo lszh{47.4581, 8.5481};
constexpr char swrTitle[] = "Stub A320 Swiss";
constexpr char dlhTitle[] = "Stub A320 Lufthansa";

// One traffic line of the scenario: seconds from its start and the datagram.
struct ScenarioLine {
    double seconds;
    std::string datagram;
};

// The scenario's traffic lines of one flight, its type replaced by `type`.
std::vector<ScenarioLine> flightOf(const std::string& hexid, const std::string& type) {
    std::ifstream in(fs::path(SKYLOOM_SOURCE_DIR) / "tools/rtfeed/replays/demo.txt");
    std::vector<ScenarioLine> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream row(line);
        std::string seconds, kind, datagram;
        std::getline(row, seconds, '\t');
        std::getline(row, kind, '\t');
        std::getline(row, datagram);
        if (kind != "T") continue;
        std::vector<std::string> fields;
        std::istringstream split(datagram);
        for (std::string f; std::getline(split, f, ',');)
            fields.push_back(f);
        if (fields.size() < 11 || fields[1] != hexid) continue;
        fields[10] = type;
        std::string joined;
        for (std::size_t i = 0; i < fields.size(); ++i)
            joined += (i ? "," : "") + fields[i];
        lines.push_back({std::stod(seconds), joined});
    }
    return lines;
}

double field(const std::string& datagram, std::size_t index) {
    std::istringstream split(datagram);
    std::string f;
    for (std::size_t i = 0; i <= index; ++i)
        std::getline(split, f, ',');
    return std::stod(f);
}

class GroundComponentTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        scannedLiveries = {{"SWR", "A320", swrTitle, "", 1, false}, {"DLH", "A320", dlhTitle, "", 1, false}};
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        RANGE.value = 40;
        trafficRadiusNm = 40.0;
        gf_setAddingStackOpen(true);
        trafficReader.setReferencePosition(lszh);
        STRAIGHT_PBS_ONLY.value = false;
        dbase.wingspans["A320"] = 35.8 * 0.5 / metresPerNm;

        parkAirportCode = "LSZH";
        currentParkAirport.code = "LSZH";
        currentParkAirport.lat = lszh.lat;
        currentParkAirport.lon = lszh.lon;
        currentParkAirport.alt = 1416;
        trafficReader.setParkAirport("LSZH", lszh, 1416);
        // The demo airport's stands, read as the park airport's file.
        const fs::path file = folder_ / "airports/my_thirdparty/LSZH.xml";
        fs::create_directories(file.parent_path());
        fs::copy_file(fs::path(SKYLOOM_SOURCE_DIR) / "data/LSZH.xml", file);
        // Airport files are read relative to the working folder, the program's current folder.
        previousFolder_ = fs::current_path();
        fs::current_path(folder_);
        ASSERT_EQ(gf_loadParkStands("airports/my_thirdparty/LSZH.xml"), "");
        ASSERT_GT(parkPositions.size(), 50u);

        stub::Options options;
        options.user.latitude = lszh.lat + 0.2; // away from the airport's traffic
        options.user.longitude = lszh.lon;
        options.user.altitudeFt = 1400;
        options.removalDelay = 0ms;
        options.groundAreas.push_back(stub::GroundArea{lszh.lat, lszh.lon, 8, 1416});
        gf_reserveSimQueues();
        connect(std::move(options));
    }

    void TearDown() override {
        if (!previousFolder_.empty()) fs::current_path(previousFolder_);
        gf_clearParkStands();
        gf_resetParkAirportForTests();
        EngineTest::TearDown();
    }

    // One engine pass and the stand-in's frame.
    void step() {
        const std::int64_t number = enginePassCount.load();
        lf_handleAddingStack();
        const bool toSend = simHasWork();
        // A frame every fourth pass keeps the test short; the stand-in's jump and heading figures then
        // span up to four passes, which makes their bounds stricter, not looser.
        if (toSend && number % 4 == 0) frame();
        if (number % 20 == 0) sync();
    }

    // Hands the scenario's lines due by `seconds` to the traffic reader.
    static void feedUntil(const std::vector<ScenarioLine>& lines, std::size_t& next, double seconds) {
        while (next < lines.size() && lines[next].seconds <= seconds)
            trafficReader.handle(lines[next++].datagram);
    }

    static ParkPos* nearestStand(const Lalo& at) {
        ParkPos* best = nullptr;
        double bestNm = 1e9;
        for (ParkPos& s : parkPositions) {
            const double d = gf_distanceNm(at, Lalo{s.lat, s.lon});
            if (d < bestNm) {
                bestNm = d;
                best = &s;
            }
        }
        return best;
    }

    std::uint64_t eventCount(std::uint32_t oid, const std::string& event) const {
        return callsStartingWith(fmt::format("TransmitClientEvent {} {} ", oid, event)).size();
    }

    // The stand-in's movement figures of the object while it was on the ground.
    void expectNoJumps(std::uint32_t oid) {
        sync();
        const auto object = stub_->object(oid);
        ASSERT_TRUE(object.has_value());
        EXPECT_LT(object->motion.largestJumpNm * metresPerNm, 10.0) << "metres between consecutive blocks";
        EXPECT_LE(object->motion.largestHeadingChangeDeg, 5.0) << "degrees between consecutive blocks";
    }

    fs::path previousFolder_;
};

// SWR316 stands at its stand, pushes back, taxis with corners to runway 28 and takes off.
TEST_F(GroundComponentTest, ADeparturePushesBackTaxisAndTakesOff) {
    const auto lines = flightOf("4900021", "A320");
    ASSERT_FALSE(lines.empty());
    const Lalo first{field(lines.front().datagram, 2), field(lines.front().datagram, 3)};
    ParkPos* stand = nearestStand(first);
    ASSERT_NE(stand, nullptr);
    ASSERT_LT(gf_distanceNm(first, Lalo{stand->lat, stand->lon}) * metresPerNm, 5.0);

    // Created parked at its stand, as the stand at creation leaves it.
    FlightIdent ident;
    ident.cs = "SWR316";
    ident.type = "A320";
    ident.airl = "SWR";
    ident.reg = "HB-JNI";
    ident.orig = "ZRH";
    ident.dest = "LHR";
    AcData data(ident);
    data.hexid = 4900021;
    data.rateB = data.rateA;
    data.factorA = gf_factorAOf(data.sizeCat);
    data.factorB = gf_factorBOf(data.sizeCat);
    data.halfSize = gf_wingspanOf("A320");
    PosSample at;
    at.lat = stand->lat;
    at.lon = stand->lon;
    at.track = stand->heading / degToRad;
    at.standing = true;
    at.duePass = enginePassCount.load();
    LiveAc& created = gf_appendLiveAc(LiveAc(at, std::move(data), 0.0));
    created.phase = AcPhase::parked;
    created.onGround = true;
    created.sid = stand->sid;
    created.standLat = stand->lat;
    created.standLon = stand->lon;
    created.standHdg = stand->heading;
    created.liveryTitle = swrTitle;
    created.simState = SimState::adding2sim;
    created.samples.push_back(at);
    created.samples.back().duePass += 1;
    gf_initialPosition(created);
    engineLists.pendingSpawns.push_back(created.hexid);
    const auto live = [] { return gf_findLiveByHexid(4900021); };
    for (int i = 0; i < 2000 && live()->simState != SimState::active; ++i)
        step();
    ASSERT_EQ(live()->simState, SimState::active);
    const std::uint32_t oid = live()->oid;

    // The scenario's first moving report: the stand departure marks the push-back and takes it.
    std::size_t next = 0;
    while (next < lines.size() && field(lines[next].datagram, 8) == 0)
        ++next;
    ASSERT_LT(next, lines.size());
    const double startSeconds = lines[next].seconds;
    {
        trafficReader.handle(lines[next++].datagram);
        std::lock_guard lock(addingStackMutex);
        ASSERT_EQ(addingStack.size(), 1u);
        LiveAc& ac = *live();
        ac.move.pushbackPending = true;
        ac.move.extrapolationCount = 0;
        ac.samples.resize(1);
        ac.samples.front().duePass = enginePassCount.load() + 1;
        ac.samples.push_back(addingStack.front().pos);
        addingStack.clear();
    }

    bool pushedBack = false, taxied = false, curved = false, rotated = false;
    double rotationGs = 0;
    std::uint32_t largestStage = 0;
    const std::int64_t start = enginePassCount.load();
    for (int i = 0; i < 50000 && live() && live()->phase != AcPhase::flying; ++i) {
        feedUntil(lines, next, startSeconds + (enginePassCount.load() - start) / 100.0);
        step();
        const LiveAc& ac = *live();
        largestStage = std::max(largestStage, ac.move.pushbackStage);
        pushedBack |= ac.phase == AcPhase::pushed_back;
        taxied |= pushedBack && ac.phase == AcPhase::taxi;
        if (!rotated && ac.phase == AcPhase::take_off) {
            rotated = true;
            rotationGs = ac.samples.empty() ? 0 : ac.samples.front().gs;
        }
        if (!ac.onGround && ac.phase != AcPhase::take_off) break;
        curved |= taxied && gf_hasCurve(ac.move);
        if (rotated && !ac.onGround) {
            // Leaving the ground: the figures of the ground part are taken now.
            expectNoJumps(oid);
            break;
        }
    }
    EXPECT_TRUE(pushedBack);
    EXPECT_EQ(largestStage, 2u);
    EXPECT_TRUE(taxied);
    EXPECT_TRUE(curved) << "corners taken on curves";
    ASSERT_TRUE(rotated);
    EXPECT_GE(rotationGs, 140.0) << "rotates at the category's speed";
    EXPECT_GE(eventCount(oid, "ENGINE_AUTO_START"), 1u) << "engines started after the push-back";
    // It climbs away.
    for (int i = 0; i < 6000 && live() && live()->phase != AcPhase::flying; ++i) {
        feedUntil(lines, next, startSeconds + (enginePassCount.load() - start) / 100.0);
        step();
    }
    if (HasFailure()) std::cerr << logText();
    ASSERT_NE(live(), nullptr);
    EXPECT_FALSE(live()->onGround);
    EXPECT_GT(live()->pos.altitude, 1416.0 + 100.0);
}

// DLH1188 lands on runway 14, ends its roll, taxis to its halt and, sent to the stand there, parks.
TEST_F(GroundComponentTest, AnArrivalRollsOutTaxisAndParks) {
    auto lines = flightOf("4900012", "A320");
    ASSERT_FALSE(lines.empty());
    // From 60 s before the touch-down: within 10 nm of Zurich and descending.
    double touchDown = 0;
    for (const auto& l : lines)
        if (field(l.datagram, 6) == 1) {
            touchDown = l.seconds;
            break;
        }
    ASSERT_GT(touchDown, 60.0);
    std::erase_if(lines, [&](const ScenarioLine& l) { return l.seconds < touchDown - 60.0; });
    const double startSeconds = lines.front().seconds;
    std::size_t next = 0;
    const std::int64_t start = enginePassCount.load();
    const auto live = [] { return gf_findLiveByHexid(4900012); };
    std::uint32_t oid = 0;
    bool landed = false, rollEnded = false;
    for (int i = 0; i < 60000; ++i) {
        feedUntil(lines, next, startSeconds + (enginePassCount.load() - start) / 100.0);
        step();
        const LiveAc* ac = live();
        if (!ac) continue;
        if (oid == 0 && ac->simState == SimState::active) oid = ac->oid;
        landed |= ac->move.touchedDown;
        rollEnded |= landed && !ac->move.landingRoll && ac->onGround;
        // Halted: the last queued report stands still and the aircraft has come to it.
        if (rollEnded && next == lines.size() && ac->samples.size() <= 2 && !ac->samples.empty() &&
            ac->samples.back().standing &&
            gf_distanceNm(Lalo{ac->pos.latitude, ac->pos.longitude},
                          Lalo{ac->samples.back().lat, ac->samples.back().lon}) < 0.005)
            break;
    }
    ASSERT_NE(oid, 0u);
    ASSERT_NE(live(), nullptr);
    EXPECT_TRUE(landed);
    EXPECT_TRUE(rollEnded);
    sync();
    const auto rolled = stub_->object(oid);
    ASSERT_TRUE(rolled.has_value());
    EXPECT_DOUBLE_EQ(rolled->spoilersHandlePct, 0) << "the control block of the roll's end";
    EXPECT_DOUBLE_EQ(rolled->throttleLever1Pct, 0);

    // The halt's own stand search sends it to the stand there.
    LiveAc& ac = *live();
    const PosSample& halt = ac.samples.back();
    ParkPos* stand = nearestStand(Lalo{halt.lat, halt.lon});
    ASSERT_NE(stand, nullptr);
    ASSERT_LT(gf_distanceNm(Lalo{halt.lat, halt.lon}, Lalo{stand->lat, stand->lon}) * metresPerNm, 30.0);
    for (int i = 0; i < 6000 && live()->phase != AcPhase::parked; ++i)
        step();
    ASSERT_EQ(live()->phase, AcPhase::parked);
    EXPECT_EQ(live()->sid, stand->sid);
    for (int i = 0; i < 50; ++i)
        step();
    sync();
    const auto parked = stub_->object(oid);
    ASSERT_TRUE(parked.has_value());
    EXPECT_LT(gf_distanceNm(Lalo{parked->latitude, parked->longitude}, Lalo{stand->lat, stand->lon}) *
                  metresPerNm,
              2.5);
    EXPECT_GE(eventCount(oid, "ENGINE_AUTO_SHUTDOWN"), 1u) << "engines off";
    EXPECT_EQ(parked->throttle, 0u);
    EXPECT_THAT(logText(),
                testing::HasSubstr(fmt::format("{:8}: {:8} arrived at stand", stand->id, "DLH1188")));
    if (HasFailure()) std::cerr << logText();
    expectNoJumps(oid);
}

} // namespace
} // namespace enginetest
