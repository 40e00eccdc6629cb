// The static parking driver: choosing and leaving the park airport, loading its stands, the placement
// pace of a full calculation, the renewal schedule, the learned file written when the airport is left
// and read back at the next visit, the objects-in-range radius, and the user's stand kept from the
// simulator link's thread.

#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/static/static_driver.h"

#include "engine/stands/conflicts.h"
#include "engine/static/park_airports.h"
#include "engine/static/static_parking.h"
#include "engine/static/static_parking_state.h"
#include "engine/static/static_placement.h"
#include "feed/traffic_datagram.h"
#include "liveries/livery_catalogue.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "platform/os/folders.h"
#include "refdata/airports.h"
#include "refdata/park_airport.h"

#include "tests/engine/stand_fixture.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <latch>
#include <thread>

namespace enginetest {
namespace {

namespace fs = std::filesystem;

constexpr Lalo lszh{47.4581, 8.5481};
constexpr Lalo lszx{47.7081, 8.5481}; // 15 nm north

class StaticDriverTest : public StandTest {
protected:
    void SetUp() override {
        StandTest::SetUp();
        // The airport files are found relative to the working folder, as in the program.
        previousCwd_ = fs::current_path();
        ASSERT_TRUE(os::enterWorkingFolder(os::workingFolder()));
        gf_resetParkAirportsForTests();
        gf_resetParkAirportForTests();
        gf_resetStaticPlacementForTests();
        airportTable = AirportTable{};
        addAirport("LSZH", lszh);
        addAirport("LSZX", lszx);
        gf_indexAirports();
        fs::create_directories("airports/my_thirdparty");
        scannedLiveries = {{"SWR", "A320", "Swiss A320", "", 1, false}};
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        MATCHING_DEPTH.value = 2;
        MAX_PARK_SEL.value = 500;
        CUSTOM_PARKING_PERCENTAGE.value = -1;
        parking_percentage.value = 30;
        MAX_FIT.value = 47;
        AIRP_RANGE.value = 20;
        AIRP_HEIGHT.value = 18000;
        DESTINATION.set("");
        currentWeekSlot = WeekSlot{3, 20}.packed();
        gf_engineHooks().enableParkingControls = [this] { ++enabled; };
        gf_coreHooks().showMessage = [this](std::string_view text, bool) { messages.emplace_back(text); };
        // The park airport's file is read in place: the driver's call that starts the calculation makes
        // it (the read off the cycle has tests of its own).
        gf_setParkFileReadRunner([](std::function<void()> read) { read(); });
    }

    void TearDown() override {
        gf_setParkFileReadRunner({});
        gf_resetStaticDriverForTests();
        gf_resetParkAirportsForTests();
        gf_resetParkAirportForTests();
        trafficReader.clearParkAirport();
        trafficReader.clearCallsigns();
        airportTable = AirportTable{};
        DESTINATION.set("");
        INITIAL_LOAD_ONLY.value = false;
        AIRP_RANGE.value = 20;
        AIRP_HEIGHT.value = 18000;
        parking_percentage.value = 30;
        std::error_code ec;
        fs::current_path(previousCwd_, ec);
        StandTest::TearDown();
    }

    static void addAirport(const std::string& code, const Lalo& at) {
        Airport a;
        a.code = code;
        a.lat = at.lat;
        a.lon = at.lon;
        a.alt = 1416;
        airportTable.records.push_back(a);
        airportTable.codes.insert(code);
    }

    // An airport file with `count` stands 100 m apart, each with one flight seen every half hour of
    // the week.
    static void writeAirportFile(const std::string& code, int count, const std::string& publisher) {
        std::ofstream out(fmt::format("airports/my_thirdparty/{}.xml", code), std::ios::binary);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><meta>"
               "<info name=\"author\" value=\"Skyloom\"/><info name=\"version\" value=\"1.0.0\"/>"
               "<info name=\"date\" value=\"Dec 10, 2026\"/><info name=\"copyright\" value=\"test\"/>"
               "<info name=\"sim\" value=\"1\"/></meta><parameters>"
            << fmt::format("<parameter name=\"airport_name\" value=\"{}\"/>", code)
            << fmt::format("<parameter name=\"publisher\" value=\"{}\"/>", publisher)
            << "<parameter name=\"altitude\" value=\"1416\"/></parameters><parkpositions>";
        for (int i = 0; i < count; ++i) {
            out << fmt::format("<parkpos id=\"S{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"90\" "
                               "radius=\"20\">",
                               i + 1, lszh.lat + 0.0009 * (i / 10), lszh.lon + 0.0013 * (i % 10));
            for (int day = 1; day <= 7; ++day)
                out << fmt::format("<opt reg=\"HB-{:03}\" airl=\"SWR\" type=\"A320\" day=\"{}\" hh=\"0:47\" "
                                   "cs=\"SWR{}:SWR{}\"/>",
                                   i, day, 1000 + 2 * i, 1001 + 2 * i);
            out << "</parkpos>";
        }
        out << "</parkpositions></root>\n";
    }

    static void writeParkList(const std::string& content) {
        std::ofstream out("airports/my_park_airports.txt", std::ios::binary);
        out << content;
    }

    // The user aircraft's state as the link reports it, taken into the worker's copy.
    static void userAt(const Lalo& at, double heightFt, bool onGround) {
        UserState s;
        s.latitude = at.lat;
        s.longitude = at.lon;
        s.altitude = 1416 + heightFt;
        s.altAboveGround = heightFt;
        s.zuluYear = 2026;
        s.zuluDayOfYear = 120;
        s.zuluTime = 3600;
        simtest::DataReply(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, reqUserState, 1, &s, sizeof s).dispatch();
        gf_requestUserState();
        userOnGround = onGround;
        userOnGroundKnown = true;
    }

    bool shown(const std::string& text) const {
        return std::find(messages.begin(), messages.end(), text) != messages.end();
    }

    std::size_t activeStatics() const {
        return static_cast<std::size_t>(
            std::count_if(engineLists.staticAcs.begin(), engineLists.staticAcs.end(),
                          [](const StaticAc& a) { return a.simState != SimState::removingfromsim; }));
    }

    int enabled = 0;
    std::vector<std::string> messages;
    fs::path previousCwd_;
};

// 100 stands at 30 %: the airport is chosen at the start, the next driver call (one interval of
// gathering later) calculates 30 picks, and the placement creates one every 500 ms.
TEST_F(StaticDriverTest, ThirtyStaticAircraftFromAHundredStands) {
    writeAirportFile("LSZH", 100, "Skyloom demo");
    writeParkList("LSZH\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(Lalo{lszh.lat - 0.05, lszh.lon}, 3000, false); // 3 nm south, airborne

    gf_updateStaticParking(true);
    EXPECT_EQ(parkAirportCode, "LSZH");
    EXPECT_TRUE(staticParkingState.calculationRequested);
    EXPECT_TRUE(staticParkingState.busy.load());
    EXPECT_TRUE(trafficReader.collectingCallsigns());
    EXPECT_TRUE(shown("LSZH in sight at 3.0 nm"));

    gf_updateStaticParking(false);
    EXPECT_EQ(parkPositions.size(), 100u) << ::testing::PrintToString(messages) << logText();
    EXPECT_TRUE(parkAirportLoaded.load());
    EXPECT_EQ(staticPicks.staticAddList.size(), 30u);
    EXPECT_EQ(staticParkingState.renewalCountdown.load(), 20);
    EXPECT_FALSE(trafficReader.collectingCallsigns());

    // One placement per 500 ms (every 50 passes).
    pass(29 * 50);
    EXPECT_EQ(engineLists.staticAcs.size(), 29u);
    pass(50);
    EXPECT_EQ(engineLists.staticAcs.size(), 30u);
    EXPECT_TRUE(staticPicks.staticAddList.empty());
    EXPECT_TRUE(staticParkingState.busy.load());
    gf_updateStaticParking(false); // the placement has ended: the controls come back
    EXPECT_FALSE(staticParkingState.busy.load());
    EXPECT_EQ(enabled, 1);
    EXPECT_EQ(staticParkingState.renewalCountdown.load(), 19);
}

// The park airport's file is read on a thread of its own, held here until the latch opens: the driver's
// call that starts the read returns without the stands, the driver waits while it runs, and the pass
// after it ended installs the stands and makes the calculation. Leaving the airport while the file is
// read drops what the read brings.
TEST_F(StaticDriverTest, TheAirportFileIsReadOffTheCycleAndTakenByALaterPass) {
    writeAirportFile("LSZH", 100, "Skyloom demo");
    writeParkList("LSZH\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    for (const bool leave : {false, true}) {
        SCOPED_TRACE(leave ? "left while the file is read" : "stays");
        std::latch open(1);
        std::thread reader;
        gf_setParkFileReadRunner([&](std::function<void()> read) {
            reader = std::thread([&open, read = std::move(read)] {
                open.wait();
                read();
            });
        });
        userAt(Lalo{lszh.lat - 0.05, lszh.lon}, 3000, false);
        gf_updateStaticParking(true);
        ASSERT_EQ(parkAirportCode, "LSZH");
        gf_updateStaticParking(false); // starts the read
        ASSERT_TRUE(reader.joinable());
        EXPECT_TRUE(gf_parkFileReadPending());
        EXPECT_TRUE(parkPositions.empty());
        EXPECT_FALSE(parkAirportLoaded.load());
        pass(3);
        gf_updateStaticParking(false); // waits: the message and the controls stay as they are
        EXPECT_TRUE(parkPositions.empty());
        EXPECT_TRUE(staticPicks.staticAddList.empty());
        EXPECT_TRUE(staticParkingState.busy.load());
        EXPECT_EQ(enabled, 0);

        if (leave) gf_leaveParkAirport();
        open.count_down();
        reader.join();
        pass(1);
        EXPECT_FALSE(gf_parkFileReadPending());
        if (leave) {
            EXPECT_EQ(parkAirportCode, "");
            EXPECT_TRUE(parkPositions.empty());
            EXPECT_FALSE(parkAirportLoaded.load());
            EXPECT_TRUE(staticPicks.staticAddList.empty());
        } else {
            EXPECT_EQ(parkPositions.size(), 100u) << logText();
            EXPECT_TRUE(parkAirportLoaded.load());
            EXPECT_EQ(staticPicks.staticAddList.size(), 30u);
            EXPECT_EQ(staticParkingState.renewalCountdown.load(), 20);
            gf_leaveParkAirport();
        }
        gf_resetStaticDriverForTests();
    }
}

// An archived file is fetched on the reading thread too, with its learned file and the merge: the pass
// only installs the value.
TEST_F(StaticDriverTest, AnArchivedFileIsFetchedAndReadOffTheCycle) {
    writeAirportFile("LSZH", 10, "stock");
    fs::rename("airports/my_thirdparty/LSZH.xml", "server.xml");
    for (Airport& airport : airportTable.records)
        if (airport.code == "LSZH") airport.stands = 10;
    std::vector<std::string> asked;
    std::thread::id fetchedOn;
    gf_parkingHooks().fetchArchivedFile = [&](const std::string& serverPath, const fs::path& target) {
        asked.push_back(serverPath);
        fetchedOn = std::this_thread::get_id();
        return fs::copy_file("server.xml", target, fs::copy_options::overwrite_existing);
    };
    std::thread reader;
    gf_setParkFileReadRunner([&](std::function<void()> read) { reader = std::thread(std::move(read)); });
    writeParkList("LSZH\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(Lalo{lszh.lat - 0.05, lszh.lon}, 3000, false);
    gf_updateStaticParking(true);
    ASSERT_EQ(parkAirportCode, "LSZH");
    gf_updateStaticParking(false); // starts the read
    ASSERT_TRUE(reader.joinable());
    reader.join();
    EXPECT_EQ(asked, std::vector<std::string>{"downloads/MSFS/archive/stock/LSZH.xml"});
    EXPECT_NE(fetchedOn, std::this_thread::get_id());
    EXPECT_TRUE(parkPositions.empty()) << "installed by the pass, not by the read";
    pass(1);
    EXPECT_FALSE(gf_parkFileReadPending());
    EXPECT_EQ(parkPositions.size(), 10u);
    EXPECT_TRUE(parkAirportLoaded.load());
    EXPECT_EQ(parkAirportInfo.publisher, "stock");
    gf_leaveParkAirport();
}

TEST_F(StaticDriverTest, ChoosingTheParkAirport) {
    struct Case {
        const char* name;
        Lalo user;
        double height;
        bool onGround;
        std::string chosen;
        std::string message;
    };
    const std::vector<Case> cases{
        {"no position yet", Lalo{0, 0}, 0, true, "", ""},
        {"on the ground 6 nm from the nearest airport", Lalo{lszh.lat - 0.1, lszh.lon}, 0, true, "",
         "User aircraft on the ground, no RT supported airport in sight"},
        {"on the ground at an airport without file", lszx, 0, true, "",
         "User aircraft on the ground at LSZX, no airport file found"},
        {"on the ground at an airport with file", lszh, 0, true, "LSZH", ""},
        {"airborne at exactly AIRP_HEIGHT", Lalo{lszh.lat - 0.05, lszh.lon}, 18000, false, "LSZH", ""},
        {"airborne 1000 ft above AIRP_HEIGHT", Lalo{lszh.lat - 0.05, lszh.lon}, 19000, false, "", ""},
        {"airborne beyond AIRP_RANGE", Lalo{lszh.lat - 0.4, lszh.lon}, 3000, false, "", ""},
    };
    writeAirportFile("LSZH", 4, "Skyloom demo");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeParkList("LSZH\n");
        ASSERT_TRUE(lf_readMyParkAirports());
        messages.clear();
        userAt(c.user, c.height, c.onGround);
        gf_updateStaticParking(false);
        EXPECT_EQ(parkAirportCode, c.chosen);
        if (!c.message.empty()) {
            EXPECT_TRUE(shown(c.message));
        }
        gf_leaveParkAirport();
        staticParkingState.calculationRequested = false;
        gf_resetStaticDriverForTests();
    }
}

// Flying from one list airport to another 15 nm away: the old one is left as soon as the new one is in
// range and at least as near; the next call chooses it. With DESTINATION set the list keeps its order.
TEST_F(StaticDriverTest, FlyingOnToTheNextListAirport) {
    writeAirportFile("LSZH", 4, "Skyloom demo");
    writeAirportFile("LSZX", 4, "Skyloom demo");
    writeParkList("LSZH\nLSZX\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(Lalo{lszh.lat + 0.02, lszh.lon}, 3000, false);
    gf_updateStaticParking(false);
    ASSERT_EQ(parkAirportCode, "LSZH");
    gf_updateStaticParking(false); // loaded and calculated
    EXPECT_TRUE(parkAirportLoaded.load());

    userAt(Lalo{lszh.lat + 0.12, lszh.lon}, 3000, false); // 7.2 nm from LSZH, 7.8 from LSZX
    gf_updateStaticParking(false);
    EXPECT_EQ(parkAirportCode, "LSZH");
    userAt(Lalo{lszh.lat + 0.126, lszh.lon}, 3000, false); // halfway: as near
    gf_updateStaticParking(false);
    EXPECT_EQ(parkAirportCode, "");
    EXPECT_FALSE(parkAirportLoaded.load());
    EXPECT_TRUE(parkPositions.empty());
    gf_updateStaticParking(false);
    EXPECT_EQ(parkAirportCode, "LSZX");

    // DESTINATION set: LSZH stays first although LSZX is nearer, so nothing is chosen here.
    gf_leaveParkAirport();
    staticParkingState.calculationRequested = false;
    AIRP_RANGE.value = 10;
    DESTINATION.set("LSZH");
    gf_setDestinationParkAirport("LSZH", lszh);
    userAt(lszx, 3000, false);
    gf_updateStaticParking(false);
    EXPECT_EQ(parkAirport.parkAirports.front().code, "LSZH");
    EXPECT_EQ(parkAirportCode, "");
}

// Leaving the airport removes the static aircraft and the live ones on the ground and writes the
// learned file; the next visit reads what was learned back.
TEST_F(StaticDriverTest, LeavingWritesTheLearnedFileThatTheNextVisitReads) {
    writeAirportFile("LSZH", 10, "../../Evil Publisher");
    writeParkList("LSZH\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(Lalo{lszh.lat - 0.05, lszh.lon}, 3000, false);
    gf_updateStaticParking(false);
    gf_updateStaticParking(false);
    pass(3 * 50);
    ASSERT_EQ(engineLists.staticAcs.size(), 3u);
    LiveAc& taxiing = parkedLive(20001, "SWR7", parkPositions[5].sid, 5);
    taxiing.phase = AcPhase::taxi;
    LiveAc& flying = liveAc(20002, "SWR8");
    flying.simState = SimState::active;
    flying.phase = AcPhase::flying;
    gf_setObjectId(flying, 20003);

    // Learned at stand S1: a new flight.
    ParkOpt learned;
    learned.airl = "EDW";
    learned.type = "A320";
    learned.reg = "HB-NEW";
    learned.cs = "EDW9";
    learned.day = 3;
    learned.hh.set(20);
    learned.seq = static_cast<std::uint32_t>(parkPositions[0].opts.size() + 1);
    parkPositions[0].opts.push_back(learned);
    parkAirport.standUpdateCount = 1;

    userAt(Lalo{lszh.lat - 0.5, lszh.lon}, 3000, false); // 30 nm: out of sight
    gf_updateStaticParking(false);
    EXPECT_EQ(parkAirportCode, "");
    for (const StaticAc& ac : engineLists.staticAcs)
        EXPECT_TRUE(ac.simState == SimState::removingfromsim || ac.eraseDropped || ac.removePending) << ac.cs;
    EXPECT_EQ(taxiing.simState, SimState::removingfromsim);
    EXPECT_EQ(flying.simState, SimState::active);

    // The publisher is one folder below learned/thirdparty, whatever it says.
    const fs::path file = "airports/learned/thirdparty/.. .. Evil Publisher/LSZH.xml";
    EXPECT_TRUE(fs::exists(file)) << logText();
    EXPECT_FALSE(fs::exists("Evil Publisher"));
    EXPECT_NE(logText().find("LSZH.xml' saved with 1 update\n"), std::string::npos);
    EXPECT_EQ(parkAirport.standUpdateCount, 0u);

    userAt(Lalo{lszh.lat - 0.05, lszh.lon}, 3000, false);
    gf_updateStaticParking(false);
    gf_updateStaticParking(false);
    ASSERT_FALSE(parkPositions.empty());
    const auto& opts = parkPositions[0].opts;
    EXPECT_TRUE(std::any_of(opts.begin(), opts.end(), [](const ParkOpt& o) { return o.reg == "HB-NEW"; }));
}

TEST_F(StaticDriverTest, SavedStandsGoToTheFolderOfTheirPublisher) {
    struct Case {
        std::string publisher;
        fs::path file;
    };
    const std::vector<Case> cases{
        {"stock", "airports/learned/stock/EHAM.xml"},
        {"simaddon", "airports/learned/simaddon/EHAM.xml"},
        {"Maker", "airports/learned/thirdparty/Maker/EHAM.xml"},
        {"..", "airports/learned/thirdparty/EHAM.xml"},
        {"C:/x\\..", "airports/learned/thirdparty/C: x ../EHAM.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.publisher);
        parkAirportCode = "EHAM";
        parkAirportInfo.publisher = c.publisher;
        parkAirportInfo.airport_name = "Schiphol";
        lf_resetStands();
        ParkPos& s = stand("B1", 52.3, 4.76);
        option(s, "KLM", "B738", "PH-BXA", 1, {3}, "KLM1", "", 1); // from the airport file
        stand("B2", 52.301, 4.76);
        parkAirport.standUpdateCount = 0;
        gf_saveUpdatedStands();
        ASSERT_TRUE(fs::exists(c.file)) << logText();
        // Header only: the airport file's flight is not written and is gone from memory.
        std::ifstream in(c.file);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(text.find("parkpos id="), std::string::npos);
        EXPECT_TRUE(parkPositions[0].opts.empty());
        EXPECT_NE(logText().find(fmt::format("'{}' saved with 0 updates\n", c.file.string())),
                  std::string::npos);
    }
}

TEST_F(StaticDriverTest, RenewalSchedule) {
    struct Case {
        const char* name;
        bool loaded, initialLoadOnly, busy;
        bool announced;
    };
    const std::vector<Case> cases{
        {"loaded", true, false, false, true},
        {"INITIAL_LOAD_ONLY", true, true, false, false},
        {"no park airport", false, false, false, false},
        {"a calculation is busy", true, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gf_resetStaticDriverForTests();
        parkAirportLoaded = c.loaded;
        INITIAL_LOAD_ONLY.value = c.initialLoadOnly;
        staticParkingState.busy = c.busy;
        gf_setStaticRenewalCountdown(2);
        gf_renewalCountdownMinute(15);
        EXPECT_FALSE(staticParkingState.renewalPending.load());
        EXPECT_EQ(staticParkingState.renewalCountdown.load(), 1);
        gf_renewalCountdownMinute(15);
        EXPECT_EQ(staticParkingState.renewalCountdown.load(), 20);
        EXPECT_EQ(staticParkingState.renewalPending.load(), c.announced);
    }
    // The two 15-second steps: collecting, then the renewal itself.
    gf_resetStaticDriverForTests();
    writeAirportFile("LSZH", 10, "Skyloom demo");
    writeParkList("LSZH\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(Lalo{lszh.lat - 0.05, lszh.lon}, 3000, false);
    gf_updateStaticParking(false);
    gf_updateStaticParking(false);
    pass(3 * 50);
    ASSERT_EQ(engineLists.staticAcs.size(), 3u);
    gf_requestRenewalNow();
    gf_renewalStep();
    EXPECT_TRUE(staticParkingState.renewalCollecting.load());
    EXPECT_TRUE(trafficReader.collectingCallsigns());
    gf_renewalStep();
    EXPECT_FALSE(staticParkingState.renewalCollecting.load());
    EXPECT_FALSE(staticParkingState.renewalPending.load());
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [](const std::string& m) { return m.starts_with("Parking adjustments: "); }));
}

// While static aircraft wait at a park airport beyond the traffic radius, the objects-in-range request
// reaches it, or they would never be bound to their objects.
TEST_F(StaticDriverTest, ObjectsInRangeReachTheParkAirportWhileStaticsWait) {
    const std::uint32_t tenNm = 18520;
    EXPECT_EQ(gf_objectsInRangeMetres(tenNm), tenNm);
    ASSERT_TRUE(gf_setParkAirport("LSZH"));
    userAt(Lalo{lszh.lat - 0.25, lszh.lon}, 3000, false); // 15 nm
    EXPECT_EQ(gf_objectsInRangeMetres(tenNm), tenNm);     // nothing waits
    staticPicks.staticAddList.push_back(StaticPick{1, 0, "SWR", "A320", "SWR1", "", "HB-A", true});
    const std::uint32_t radius = gf_objectsInRangeMetres(tenNm);
    EXPECT_GE(radius, static_cast<std::uint32_t>(17.0 * metresPerNm));
    EXPECT_LE(radius, static_cast<std::uint32_t>(17.1 * metresPerNm));
    EXPECT_EQ(gf_objectsInRangeMetres(200000), 200000u); // a wider traffic radius stays
}

// The link's thread keeps the user's stand while the worker reorders and reads the list: the change
// reaches the file and, at the worker's next pass, parkAirport.parkAirports (clean under ThreadSanitizer).
TEST_F(StaticDriverTest, KeepUserStandFromTheLinkThread) {
    writeParkList("LSZH\nLSZX\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    ASSERT_TRUE(gf_setParkAirport("LSZH"));
    std::atomic<bool> done{false};
    std::thread link([&] {
        for (int i = 0; i < 200; ++i)
            gf_keepUserStand(i % 2 == 0 ? "B12" : "B13");
        gf_keepUserStand("C3");
        done = true;
    });
    while (!done.load()) {
        gf_takeKeptUserStand();
        gf_publishFirstParkAirport();
        (void)gf_firstParkAirportPosition();
    }
    link.join();
    pass();
    EXPECT_EQ(parkAirport.parkAirports.front().stand, "C3");
    std::ifstream in("airports/my_park_airports.txt");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text, "LSZH,C3\nLSZX\n");

    // Not the park airport's entry: nothing changes.
    gf_leaveParkAirport();
    gf_keepUserStand("D4");
    pass();
    EXPECT_EQ(parkAirport.parkAirports.front().stand, "C3");
}

} // namespace
} // namespace enginetest

namespace enginetest {
namespace {

// "Re-read": the list is read again and a reserved stand changed in the file takes effect at once (the
// old stand free again, the aircraft on the new one removed, the new one kept free).
TEST_F(StaticDriverTest, ReReadTakesAChangedReservedStand) {
    writeAirportFile("LSZH", 10, "Skyloom demo");
    writeParkList("LSZH,S1\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(Lalo{lszh.lat - 0.05, lszh.lon}, 3000, false);
    gf_updateStaticParking(false);
    gf_updateStaticParking(false);
    ASSERT_EQ(parkAirport.reservedStandName, "S1");
    gf_updateStaticParking(false); // the placement is not over: busy
    pass(3 * 50);
    ParkPos* s1 = &parkPositions[0];
    ParkPos* s3 = &parkPositions[2];
    EXPECT_TRUE(s1->blocked);
    StaticAc& onS3 = staticAt(77, "SWR77*", s3->sid, WeekSlot{3, 20});
    staticPicks.staticAddList.clear();
    staticParkingState.busy = false;

    std::string message;
    writeParkList("LSZH,S3\n");
    ASSERT_TRUE(gf_checkParkAirports(true, message));
    EXPECT_EQ(message, "reserved stand changed from 'S1' to 'S3'");
    EXPECT_EQ(parkAirport.reservedStandName, "S3");
    EXPECT_FALSE(s1->blocked);
    EXPECT_TRUE(s3->blocked);
    EXPECT_EQ(onS3.simState, SimState::removingfromsim);
    EXPECT_EQ(engineStatus.reservedStandText(), "S3");

    message.clear();
    ASSERT_TRUE(gf_checkParkAirports(true, message));
    EXPECT_EQ(message, "park airports and stands are okay");

    message = "untouched";
    writeParkList("LSZH,S3\nlszh\n"); // not in the airports table
    EXPECT_FALSE(gf_checkParkAirports(true, message));
    EXPECT_EQ(message, "untouched");
}

} // namespace
} // namespace enginetest

namespace enginetest {
namespace {

// The whole text of a parking file: a header of the given meta entries and parameters, then the stands.
std::string parkingFile(const std::string& meta, const std::string& parameters, const std::string& stands) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><meta>" + meta + "</meta><parameters>" +
           parameters + "</parameters><parkpositions>" + stands + "</parkpositions></root>\n";
}

const std::string fullMeta = R"(<info name="version" value="12.0.0"/><info name="copyright" value="test"/>)"
                             R"(<info name="sim" value="1"/>)";
const std::string demoHeader = R"(<parameter name="airport_name" value="LSZH"/>)"
                               R"(<parameter name="publisher" value="Skyloom demo"/>)"
                               R"(<parameter name="altitude" value="1416"/>)";

std::string standText(const std::string& id, double lat, const std::string& opts = "") {
    return fmt::format(R"(<parkpos id="{}" latitude="{:.6f}" longitude="8.548100" radius="20">{}</parkpos>)",
                       id, lat, opts);
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A flight the stand search struck out for this calculation, because it is live in the feed or was
// picked for another stand, is still a learned flight: leaving the airport writes it.
TEST_F(StaticDriverTest, FlightsStruckOutByTheSearchStayInTheLearnedFile) {
    parkAirportCode = "LSZH";
    parkAirportInfo.publisher = "stock";
    ParkPos& a = stand("A1", 47.45, 8.55);
    ParkPos& b = stand("B1", 47.46, 8.56);
    ParkPos& c = stand("C1", 47.47, 8.57);
    option(a, "EDW", "A320", "HB-JXA", 3, {20}, "EDW868");
    option(b, "EDW", "A320", "HB-JXB", 3, {20}, "EDW100");
    option(c, "EDW", "A320", "HB-JXB", 3, {20}, "EDW101"); // the same aircraft as B1's
    staticPicks.liveCallsignSet.insert("EDW868");
    std::vector<StaticPick> picks;
    lf_searchStands(WeekSlot{3, 20}, 1, 1, 0, picks);
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_EQ(picks[0].cs, "EDW100");

    gf_saveUpdatedStands();
    const std::string text = fileText("airports/learned/stock/LSZH.xml");
    for (const char* cs : {"EDW868", "EDW100", "EDW101"})
        EXPECT_NE(text.find(fmt::format("cs=\"{}\"", cs)), std::string::npos) << cs << "\n" << text;
}

// A visit whose airport or learned file cannot be read as a whole ends without statics and leaves the
// learned file exactly as it was: nothing the user's files held is written over.
TEST_F(StaticDriverTest, AVisitWhoseFilesCannotBeReadLeavesTheLearnedFileAsItWas) {
    const std::string goodStands = standText("S1", lszh.lat) + standText("S2", lszh.lat + 0.001);
    const std::string learnedFlight =
        R"(<opt reg="HB-JLQ" airl="SWR" type="A320" day="3" hh="20" cs="SWR38"/>)";
    const std::string learnedText = parkingFile(fullMeta, R"(<parameter name="airport_name" value="LSZH"/>)",
                                                R"(<parkpos id="S1">)" + learnedFlight + "</parkpos>");
    const std::string handmadeHeader = R"(<parameter name="airport_name" value="LSZH"/>)"
                                       R"(<parameter name="handmade" value="true"/>)"
                                       R"(<parameter name="altitude" value="1416"/>)";
    struct Case {
        const char* name;
        std::string airportFile;
        std::string learnedFile;
        std::string said; // logged or shown
    };
    const std::vector<Case> cases{
        {"an airport file without stands",
         parkingFile(fullMeta, demoHeader,
                     R"(<parkpos id="Z1" latitude="0" longitude="0" radius="20"/>)"
                     R"(<parkpos id="Z2" latitude="0" longitude="0" radius="20"/>)"),
         learnedText, "no stands found"},
        {"a handmade file with a repeated stand", parkingFile(fullMeta, demoHeader, goodStands),
         parkingFile(fullMeta, handmadeHeader,
                     standText("H1", lszh.lat, learnedFlight) + standText("H2", lszh.lat + 0.001) +
                         standText("H1", lszh.lat + 0.002)),
         "Parking position 'H1' appears more than once."},
        {"a handmade file with a stand without id", parkingFile(fullMeta, demoHeader, goodStands),
         parkingFile(fullMeta, handmadeHeader,
                     standText("H1", lszh.lat, learnedFlight) + R"(<parkpos latitude="47.46"/>)"),
         "Parking position #2 has no 'id' attribute."},
        {"a learned file without copyright", parkingFile(fullMeta, demoHeader, goodStands),
         parkingFile(R"(<info name="sim" value="1"/>)", R"(<parameter name="airport_name" value="LSZH"/>)",
                     R"(<parkpos id="S1">)" + learnedFlight + "</parkpos>"),
         "LSZH.xml: refused to load: missing copyright"},
        {"an airport file with a repeated stand",
         parkingFile(fullMeta, demoHeader, goodStands + standText("S1", lszh.lat + 0.002)), learnedText,
         "airports/my_thirdparty/LSZH.xml: refused: 94: Parking position 'S1' appears more than once."},
    };
    const fs::path learned = "airports/learned/thirdparty/Skyloom demo/LSZH.xml";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeText("airports/my_thirdparty/LSZH.xml", c.airportFile);
        writeText(learned, c.learnedFile);
        writeParkList("LSZH\n");
        ASSERT_TRUE(lf_readMyParkAirports());
        const std::size_t before = logText().size();
        userAt(Lalo{lszh.lat - 0.05, lszh.lon}, 3000, false);
        ASSERT_NO_THROW(gf_updateStaticParking(false));
        ASSERT_NO_THROW(gf_updateStaticParking(false));
        pass(3 * 50);
        userAt(Lalo{lszh.lat - 0.5, lszh.lon}, 3000, false); // 30 nm: out of sight
        gf_updateStaticParking(false);
        gf_leaveParkAirport();
        EXPECT_EQ(parkAirportCode, "");
        EXPECT_EQ(fileText(learned), c.learnedFile);
        std::string said = logText().substr(before);
        for (const std::string& m : messages)
            said += m + "\n";
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        messages.clear();
        staticParkingState.calculationRequested = false;
        gf_resetStaticDriverForTests();
    }
}

// Leaving a handmade park airport lowers the handmade mark, and the feed no longer judges flights by
// the left airport's elevation: a slow flight just above it, far from the airport, stays airborne.
TEST_F(StaticDriverTest, LeavingForgetsTheHandmadeMarkAndTheElevation) {
    gf_parkingHooks().setParkAirportElevation = [](std::optional<double> feet) {
        trafficReader.setParkAirportElevation(feet);
    };
    writeAirportFile("LSZH", 4, "Skyloom demo");
    writeText("airports/learned/thirdparty/Skyloom demo/LSZH.xml",
              parkingFile(fullMeta,
                          R"(<parameter name="airport_name" value="LSZH"/>)"
                          R"(<parameter name="handmade" value="true"/>)",
                          standText("H1", lszh.lat) + standText("H2", lszh.lat + 0.001)));
    writeParkList("LSZH\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(Lalo{lszh.lat - 0.05, lszh.lon}, 3000, false);
    gf_updateStaticParking(false);
    gf_updateStaticParking(false);
    ASSERT_TRUE(parkAirportLoaded.load());
    EXPECT_TRUE(handmadeApf);
    EXPECT_EQ(trafficReader.parkAirportElevation(), std::optional<double>(1416.0));

    const Lalo away{lszh.lat - 0.45, lszh.lon}; // 27 nm south
    userAt(away, 3000, false);
    gf_updateStaticParking(false);
    ASSERT_EQ(parkAirportCode, "");
    EXPECT_FALSE(handmadeApf);
    EXPECT_EQ(trafficReader.parkAirportElevation(), std::nullopt);

    // 20 nm from the user (7 nm from LSZH), 1,450 ft at 70 kn.
    trafficReader.setReferencePosition(away);
    const TrafficFilterContext context = trafficReader.filterContext();
    TrafficFilter filter{context.reference,
                         40.0,
                         context.parkAirportElevation,
                         context.parkAirportChosen,
                         context.parkAirportPosition,
                         context.parkAirportElevationFt,
                         false};
    const std::string datagram =
        "RTTFC,4921362,47.341434,8.548100,1450,0,0,180.0,70,SWR123,A320,HB-JLT,,,1765370000.5,adsb,SWR123,"
        "adsb_icao,1450,70,70,0.5,0,0,180.0,180.0,0,none,A3";
    const TrafficDatagramResult result = gf_readTrafficDatagram(datagram, filter);
    EXPECT_EQ(result.drop, TrafficDrop::none) << result.error;
    EXPECT_GT(result.record.pos.alt, 0.0);
    EXPECT_TRUE(result.record.pos.airborne);
}

} // namespace
} // namespace enginetest
