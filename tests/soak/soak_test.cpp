// The soak: the whole road in one process for SKYLOOM_SOAK_HOURS simulated hours (default 1). The demo
// replay, read by the feed's own datagram reader, goes into the adding stack as about 500 live flights at
// a time (the replay's flights copied side by side and played again and again, every pass of it under
// new callsigns and transponder codes); the program's own cycle pass drives the engine, its per-second
// duties and the simulator link to an in-process simulator stand-in. Time is the test's: ten
// milliseconds of engine clock and stand-in clock per pass, a simulator frame every third pass, each
// handled by the link before the next pass (the stand-in wakes the link as it writes, and the test waits
// for the link's dispatch round, so no side waits out a poll). The user
// stands at Zurich, the park airport (the demo's airport file): static aircraft are placed, renewed every
// twenty minutes, pushed away by live arrivals, and once an hour the airport is left (statics removed,
// learned stands saved) and taken again (the learned file read back).
//
// Every ten simulated minutes the sizes of the long-lived containers and the process's resident memory
// are recorded (the curves are printed). Once warmed up (after the first hour, or the first twenty
// minutes of a one-hour run) the sizes stay within twice their warm value plus a margin, memory grows
// by less than 5 %, and no log line repeats more than 100 times an hour; at the end the stand-in holds
// exactly the engine's active objects, and after the close it holds none.

#include "app/control_setters.h"
#include "app/main_run.h"
#include "app/run_state.h"
#include "app/run_steps.h"
#include "app/wiring.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "engine/base/engine_clock.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/engine_reset.h"
#include "engine/stands/parking_limits.h"
#include "engine/stands/stand_options.h"
#include "engine/stands/stand_search.h"
#include "engine/static/park_airports.h"
#include "engine/static/static_driver.h"
#include "engine/static/static_parking.h"
#include "engine/static/static_placement.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "liveries/livery_catalogue.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"
#include "platform/os/folders.h"
#include "refdata/airport_files.h"
#include "refdata/airports.h"
#include "refdata/data_files.h"
#include "refdata/dbase.h"
#include "refdata/park_airport.h"
#include "refdata/parking_format.h"
#include "simlink/sim_internal.h"
#include "simlink/sim_link.h"
#include "tests/support/temp_folder.h"
#include "tools/datapack/datapack.h"
#include "tools/rtfeed/rtfeed.h"
#include "tools/simstub/simstub.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace stub = skyloom::simstub;
using namespace std::chrono_literals;

constexpr double lszhLat = 47.4647;
constexpr double lszhLon = 8.5492;
constexpr double lszhElevationFt = 1416;
constexpr int copies = 25;              // the replay's ~20 flights at a time, side by side: ~500
constexpr double replayPeriodS = 600;   // the demo is ten minutes long
constexpr int passesPerSecond = 100;    // 10 ms passes
constexpr int passesPerFrame = 3;       // ~33 simulator frames a second
constexpr int sampleEverySeconds = 600; // one record per replay pass
constexpr double growthLimit = 1.05;    // resident memory after warming up
#if defined(__SANITIZE_THREAD__)
constexpr bool threadSanitizer = true;
#else
constexpr bool threadSanitizer = false;
#endif
constexpr std::size_t logRepeatsPerHour = 100;
// Once an hour, at this minute, the park airport is left (its static aircraft go, what was learned at
// its stands is saved); the user still stands there, so the driver's next call takes it again, reads the
// learned file back and places static aircraft anew.
constexpr int leaveAtMinute = 45;
// Containers that grow with the day's flights by design and are emptied once a day: the livery cache
// (one entry per transponder address seen). They are bound by the day, not by the hour.
const std::set<std::string> dailyContainers{"liveryCache"};
// Files written now and then: nothing until the first write, then bound by that first size.
const std::set<std::string> savedFiles{"learnedFileBytes"};

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ','))
        fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
}

// The demo's traffic datagrams, split into fields once; copies are made from them pass by pass.
struct Template {
    double at = 0;
    std::vector<std::string> fields;
};

// A copy of one datagram: flight `copy` of replay pass `loop`. Every (loop, copy) gets transponder codes
// and callsigns of its own (the airline's three letters kept, so it still chooses the livery; at most
// eight characters, as the program shows no longer callsigns: the number goes round every 1,000 copies),
// positions shifted on a small grid (ground traffic stays at the airport), feed times moved on by the
// pass, and only the first copy keeps the registrations.
std::string copyOf(const Template& t, int loop, int copy, const std::map<std::string, int>& flightNumbers) {
    std::vector<std::string> f = t.fields;
    const long serial = static_cast<long>(loop) * copies + copy; // 0, 1, 2, ...
    const long hexid = std::stol(f[1]);
    // The same aircraft come back every other pass of the replay under new callsigns, as real ones do: the
    // caches kept by address see a fleet of fixed size.
    const long aircraft = static_cast<long>(loop % 2) * copies + copy;
    f[1] = std::to_string(5000000 + aircraft * 100 + (hexid % 100));
    f[2] = fmt::format("{:.6f}", std::stod(f[2]) + (copy % 5 - 2) * 0.004);
    f[3] = fmt::format("{:.6f}", std::stod(f[3]) + (copy / 5 - 2) * 0.006);
    const std::string& cs = f[9];
    std::size_t letters = 0;
    while (letters < cs.size() && letters < 3 && std::isalpha(static_cast<unsigned char>(cs[letters])))
        ++letters;
    if (!cs.empty())
        f[9] = cs.substr(0, letters) + std::to_string((serial * 100 + flightNumbers.at(cs)) % 100000);
    if (copy != 0) f[11].clear();
    f[14] = fmt::format("{:.2f}", std::stod(f[14]) + loop * replayPeriodS);
    std::string out;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (i) out += ',';
        out += f[i];
    }
    return out;
}

std::size_t residentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6));
    return 0;
}

// The allocator's view beside the resident figure: what the program holds (small blocks and mapped
// ones) and what the allocator keeps free in its arenas, all arenas together.
struct HeapFigures {
    std::size_t inUseKb = 0;
    std::size_t freeKb = 0;
};

HeapFigures heapFigures() {
    const struct mallinfo2 m = mallinfo2();
    return {(m.uordblks + m.hblkhd) / 1024, m.fordblks / 1024};
}

struct Sample {
    int minute = 0;
    std::size_t rssKb = 0;
    HeapFigures heap;
    std::map<std::string, std::size_t> sizes;
};

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* sub : {"work/docs", "work/input", "work/output/info", "work/output/errors", "user"})
            fs::create_directories(root / sub);
        // The airport files are found relative to the working folder, as in the program.
        previousCwd = fs::current_path();
        ASSERT_TRUE(os::enterWorkingFolder(root / "work"));
        gf_setUserFolder(root / "user");
        gf_resetSettingsForTests();
        gf_resetCoreHooks();
        runControl.reset();
        gf_resetSimLinkForTests();
        gf_resetFeedForTests();
        gf_resetEngineForTests();
        gf_resetLiveriesForTests();
        gf_resetRunSteps();
        gf_resetMainRunState();
        gf_resetParkAirportsForTests();
        gf_resetParkAirportForTests();
        gf_resetStaticPlacementForTests();
        gf_resetAirportTable();
        gf_openLogFile();

        const fs::path data = fs::path(SKYLOOM_SOURCE_DIR) / "data";
        datapack::encryptDataFile(data / "dbase.xml", root / "work" / "input" / "dbase.enc");
        datapack::encryptDataFile(data / "AIG-regcodes.xml", root / "work" / "input" / "AIG-regcodes.enc");
        datapack::encryptDataFile(data / "airports.xml", root / "work" / "input" / "airports.enc");
        refdataInputFolder() = root / "work" / "input";
        ASSERT_TRUE(gf_readDbase());
        ASSERT_TRUE(gf_readAirports());
        // The park airport: Zurich with the demo's stand layout, where the user stands.
        fs::create_directories(root / "work" / "airports" / "my_thirdparty");
        fs::copy_file(data / "LSZH.xml", root / "work" / "airports" / "my_thirdparty" / "LSZH.xml");
        fs::copy_file(fs::path(SKYLOOM_TEST_DATA) / "liveries" / "LiveriesScanned.xml",
                      gf_liveriesScannedPath());
        gf_processScannedLiveries();

        gf_wireProgram();
        auto& s = gf_runSteps();
        // The test is the readers' only source: no sockets to watch.
        s.readersWithoutData = [] { return false; };
        s.checkReaderActivity = [] {};
        gf_holdEngineClockForTests();
        // A fixed range that holds the whole replay (its farthest flights are 39 nm out) instead of the
        // automatic one, which keeps a user on the ground to 10 nm.
        AUTO_RANGE.value = false;
        gf_setRange(40);

        stub::Options options;
        options.fps = 0; // frames come from the test
        options.user.latitude = lszhLat;
        options.user.longitude = lszhLon;
        options.user.altitudeFt = lszhElevationFt;
        options.user.onGround = true;
        options.groundAreas.push_back({lszhLat, lszhLon, 8, lszhElevationFt});
        options.onSent = [] { gf_wakeSimClient(); };
        sim = std::make_unique<stub::SimStub>(std::move(options));
        sim->start();
        gf_setSimAddress(sim->address());
        s.reserveContainers();
        s.startSimClient();
        ASSERT_TRUE(gf_waitSimDispatch([] { return simRunning.load(); }, 10s));
        // As the main run does before its cycle: the user's on-ground state every simulator second (its
        // reply is the one-second tick) and the user's title and model.
        ASSERT_TRUE(s.requestUserOnGround());
        s.requestUserTitleAndModel();
        trafficReader.setReferencePosition(Lalo{lszhLat, lszhLon});
        // The on-ground state comes with the simulator's seconds: a few seconds of the cycle, no traffic yet.
        for (int i = 0; i < 6 * passesPerSecond && !userOnGroundKnown.load(); ++i) {
            pass();
            if (HasFatalFailure()) return;
        }
        ASSERT_TRUE(userOnGroundKnown.load() && userOnGround.load());
        s.refreshUserState();

        // As before the main cycle: the park-airport list, then the static parking driver's first call
        // (the user on the ground at LSZH makes it the park airport and starts the calculation).
        s.createFlightPlanFolder();
        s.readMyParkAirports();
        gf_refreshWeekSlot();
        s.updateStaticParking(true);
        ASSERT_EQ(parkAirportCode, "LSZH");
        s.setAddingStackOpen(true);
    }

    void TearDown() override {
        // SKYLOOM_SOAK_LOG: a copy of the program's log kept for a look after the run.
        if (const char* keep = std::getenv("SKYLOOM_SOAK_LOG")) {
            gf_logFlush();
            std::error_code ec;
            fs::copy_file(root / "work" / "Log.txt", keep, fs::copy_options::overwrite_existing, ec);
        }
        gf_stopSimClient();
        gf_joinSimClient();
        sim.reset();
        gf_resetSimLinkForTests();
        gf_resetFeedForTests();
        gf_resetEngineForTests();
        gf_resetLiveriesForTests();
        gf_resetRunSteps();
        gf_resetMainRunState();
        gf_resetEngineClockForTests();
        gf_resetDbase();
        gf_resetAirportTable();
        gf_resetParkAirportsForTests();
        gf_resetParkAirportForTests();
        gf_resetStaticPlacementForTests();
        refdataInputFolder() = "input";
        gf_resetCoreHooks();
        gf_resetSettingsForTests();
        runControl.reset();
        gf_resetLogForTests();
        gf_setUserFolder({});
        std::error_code ec;
        fs::current_path(previousCwd, ec);
        os::resetWorkingFolder();
    }

    // One pass of the program's cycle with everything that happens around it in that 10 ms.
    void pass() {
        const std::int64_t n = passes++;
        sim->advance(10ms); // a simulator second sends the link its one-second event
        if (n % passesPerSecond == passesPerSecond - 1) {
            ASSERT_TRUE(gf_waitSimDispatch([] { return secondTick.load(); }, 10s)) << "no one-second event";
        }
        gf_advanceEngineClockForTests(10ms);
        // While the park airport's files are read on their own thread, a pass lasts its real 10 ms, as
        // in the program: a run on the test's clock would otherwise leave the read behind by seconds of
        // traffic on a loaded machine.
        if (gf_parkFileReadPending()) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(lf_cyclePass());
        if (n % passesPerFrame == 0) {
            const std::uint64_t frames = gf_simFramesHandled();
            sim->sendFrame();
            ASSERT_TRUE(gf_waitSimDispatch([&] { return gf_simFramesHandled() > frames; }, 10s))
                << "a frame not handled";
        }
    }

    Sample sample(int minute) {
        Sample s{minute, residentKb(), heapFigures(), {}};
        auto& z = s.sizes;
        z["liveAcs"] = engineLists.liveAcs.size();
        z["staticAcs"] = engineLists.staticAcs.size();
        z["liveCreateQueue"] = engineLists.liveCreateQueue.size();
        z["staticCreateQueue"] = engineLists.staticCreateQueue.size();
        z["removalQueue"] = engineLists.removalQueue.size();
        z["pendingSpawns"] = engineLists.pendingSpawns.size();
        z["setupList"] = engineLists.setupList.size();
        z["coupledSearchQueue"] = engineLists.coupledSearchQueue.size();
        z["liveryCache"] = engineLists.liveryCache.size();
        z["noMatchSet"] = engineLists.noMatchSet.size();
        z["ghostList"] = engineLists.ghostList.size();
        z["liveParkedList"] = staticPicks.liveParkedList.size();
        z["liveCallsignSet"] = staticPicks.liveCallsignSet.size();
        z["refusedTitles"] = refusedTitles.size();
        z["refusedModels"] = refusedModels.size();
        // Static parking: the picks waiting to be placed, the removals and kept statics of a renewal, the
        // park airport's stands with their flights (learned ones added) and the updates waiting for the
        // learned file, the park-airport list.
        z["staticAddList"] = staticPicks.staticAddList.size();
        z["staticRemoveList"] = staticPicks.staticRemoveList.size();
        z["keptStaticList"] = staticPicks.keptStaticList.size();
        z["parkPositions"] = parkPositions.size();
        std::size_t flights = 0;
        for (const ParkPos& stand : parkPositions)
            flights += stand.opts.size();
        z["parkFlights"] = flights;
        z["standUpdates"] = parkAirport.standUpdateCount;
        z["parkAirports"] = parkAirport.parkAirports.size();
        std::error_code ec;
        const auto learnedBytes = fs::file_size(learnedFile(), ec);
        z["learnedFileBytes"] = ec ? 0 : static_cast<std::size_t>(learnedBytes);
        {
            std::lock_guard lock(addingStackMutex);
            z["addingStack"] = addingStack.size();
        }
        {
            std::lock_guard lock(simCommandMutex);
            z["simCreateQueue"] = simCreateQueue.size();
            z["simRemoveQueue"] = simRemoveQueue.size();
            z["simEventQueue"] = simEventQueue.size();
            z["positionWriteBuffer"] = positionWriteBuffer.size();
            z["positionSendBuffer"] = positionSendBuffer.size();
            z["sentCreates"] = sentCreates.size();
            z["newObjectIds"] = newObjectIds.size();
        }
        {
            std::lock_guard lock(simResultMutex);
            z["simResults"] = simResults.size();
        }
        z["stand-in objects"] = sim->objects().size();
        // The stand-in's own history of removed objects (each with its figures of motion) fills up
        // to its limit in the first hour; it lives in this process and shows in the resident figure.
        z["stand-in removed"] = sim->removedObjects().size();
        return s;
    }

    static fs::path learnedFile() { return fs::absolute(gf_learnedPathOf("LSZH", "Skyloom demo")); }

    std::set<std::uint32_t> engineActiveObjects() const {
        std::set<std::uint32_t> ids;
        for (const LiveAc& ac : engineLists.liveAcs)
            if (ac.simState == SimState::active) ids.insert(ac.oid);
        for (const StaticAc& ac : engineLists.staticAcs)
            if (ac.simState == SimState::active) ids.insert(ac.oid);
        return ids;
    }

    std::set<std::uint32_t> standInObjects() const {
        std::set<std::uint32_t> ids;
        for (const stub::AiObject& o : sim->objects())
            ids.insert(o.id);
        return ids;
    }

    // Nothing is on its way between the engine and the stand-in.
    static bool nothingUnderWay() {
        if (!engineLists.liveCreateQueue.empty() || !engineLists.staticCreateQueue.empty() ||
            !engineLists.removalQueue.empty() || !engineLists.pendingSpawns.empty() ||
            !staticPicks.staticAddList.empty())
            return false;
        for (const LiveAc& ac : engineLists.liveAcs)
            if (ac.simState != SimState::active && ac.simState != SimState::buffer) return false;
        for (const StaticAc& ac : engineLists.staticAcs)
            if (ac.simState != SimState::active) return false;
        std::lock_guard lock(simCommandMutex);
        return simCreateQueue.empty() && simRemoveQueue.empty() && sentCreates.empty();
    }

    testing_support::TempFolder temp{"skyloom-soak"};
    const fs::path root = temp.path();
    fs::path previousCwd;
    std::unique_ptr<stub::SimStub> sim;
    std::int64_t passes = 0;
};

TEST_F(Soak, HoursOfTrafficKeepContainersAndMemoryBoundedAndTheSimulatorInStep) {
    // Hours may be a fraction for a quick look (then the bounds need a run past the warm-up to be checked).
    const char* hoursText = std::getenv("SKYLOOM_SOAK_HOURS");
    const double hours = hoursText ? std::max(0.01, std::atof(hoursText)) : 1.0;
    const auto totalSeconds = static_cast<std::int64_t>(hours * 3600);
    const int warmSeconds = hours > 1 ? 3600 : 1800;

    std::vector<Template> templates;
    std::map<std::string, int> flightNumbers; // callsign -> its number among the replay's callsigns
    for (const rtfeed::ReplayLine& line :
         rtfeed::loadReplay(fs::path(SKYLOOM_SOURCE_DIR) / "tools/rtfeed/replays/demo.txt")) {
        if (line.kind != 'T') continue;
        Template t{line.at, splitFields(line.payload)};
        ASSERT_GE(t.fields.size(), 29u) << line.payload;
        if (!t.fields[9].empty()) flightNumbers.emplace(t.fields[9], static_cast<int>(flightNumbers.size()));
        templates.push_back(std::move(t));
    }
    ASSERT_FALSE(templates.empty());
    ASSERT_LT(flightNumbers.size(), 100u);

    std::vector<Sample> samples;
    std::size_t next = 0;
    int loop = 0;
    std::size_t mostLive = 0;
    std::size_t mostStatic = 0;
    int leaves = 0;
    const auto started = std::chrono::steady_clock::now();
    for (std::int64_t p = 0; p < totalSeconds * passesPerSecond; ++p) {
        // The datagrams of this 10 ms, copy after copy.
        const double now = static_cast<double>(p) / passesPerSecond;
        while (true) {
            if (next == templates.size()) {
                next = 0;
                ++loop;
            }
            if (templates[next].at + loop * replayPeriodS > now) break;
            for (int c = 0; c < copies; ++c) {
                const std::string datagram = copyOf(templates[next], loop, c, flightNumbers);
                trafficReader.handle(datagram);
            }
            ++next;
        }
        pass();
        if (HasFatalFailure()) return;
        mostLive = std::max(mostLive, engineLists.liveAcs.size());
        mostStatic = std::max(mostStatic, engineLists.staticAcs.size());
        if ((p + 1) % (3600 * passesPerSecond) == leaveAtMinute * 60 * passesPerSecond) {
            gf_leaveParkAirport();
            ++leaves;
        }
        if ((p + 1) % (sampleEverySeconds * passesPerSecond) == 0) {
            samples.push_back(sample(static_cast<int>((p + 1) / passesPerSecond / 60)));
            const Sample& s = samples.back();
            std::cout << fmt::format(
                "minute {:4}: {} kB resident, heap {} kB in use {} kB free, {:.0f} s so far;", s.minute,
                s.rssKb, s.heap.inUseKb, s.heap.freeKb,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            for (const auto& [name, size] : s.sizes)
                std::cout << fmt::format(" {} {}", name, size);
            std::cout << std::endl;
        }
    }
    EXPECT_GE(mostLive, 450u) << "the soak did not carry the traffic it is meant to";
    std::cout << fmt::format("most live aircraft {}, most static aircraft {}, park airport left {} times",
                             mostLive, mostStatic, leaves)
              << std::endl;
    EXPECT_GE(mostStatic, 10u) << "no static aircraft were placed at the park airport";
    if (leaves > 0) {
        EXPECT_TRUE(fs::exists(learnedFile())) << "leaving the park airport saved no learned file";
        EXPECT_EQ(parkAirportCode, "LSZH") << "the park airport was not taken again after leaving it";
    }

    // After warming up: every size within a fixed bound of its warm value, memory nearly flat.
    const auto warm = std::find_if(samples.begin(), samples.end(),
                                   [&](const Sample& s) { return s.minute * 60 >= warmSeconds; });
    for (auto s = warm == samples.end() ? warm : std::next(warm); s != samples.end(); ++s) {
        for (const auto& [name, size] : s->sizes)
            if (!dailyContainers.contains(name) && !savedFiles.contains(name)) {
                EXPECT_LE(size, 2 * warm->sizes.at(name) + 64) << name << " at minute " << s->minute;
            }
        // And the traffic keeps flowing: a road that stalls also keeps its containers small.
        for (const char* name : {"liveAcs", "stand-in objects"})
            EXPECT_GE(2 * s->sizes.at(name), warm->sizes.at(name)) << name << " at minute " << s->minute;
        // ThreadSanitizer's shadow memory and its own allocator grow with every address the run
        // touches and never shrink, so its resident figure says nothing about the program's.
        if (!threadSanitizer) {
            EXPECT_LT(static_cast<double>(s->rssKb), growthLimit * static_cast<double>(warm->rssKb))
                << "resident memory at minute " << s->minute;
        }
    }

    // A file saved again and again keeps its size: it holds what was learned, not every save.
    for (const std::string& name : savedFiles) {
        const auto first = std::find_if(samples.begin(), samples.end(),
                                        [&](const Sample& s) { return s.sizes.at(name) != 0; });
        for (auto s = first; s != samples.end(); ++s)
            EXPECT_LE(s->sizes.at(name), 2 * first->sizes.at(name) + 4096)
                << name << " at minute " << s->minute;
    }

    // The containers that hold a day's flights start again at every day's end.
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i].minute % (24 * 60) != 0) continue;
        for (const std::string& name : dailyContainers) {
            EXPECT_LT(samples[i].sizes.at(name), samples[i - 1].sizes.at(name))
                << name << " not emptied at minute " << samples[i].minute;
        }
    }

    // No log line repeats more than 100 times an hour.
    gf_logFlush();
    std::map<std::string, std::size_t> lineCounts;
    {
        std::ifstream log(root / "work" / "Log.txt");
        std::string line;
        while (std::getline(log, line))
            ++lineCounts[line];
    }
    for (const auto& [line, count] : lineCounts)
        EXPECT_LE(count, static_cast<std::size_t>(logRepeatsPerHour * std::ceil(hours))) << line;

    // The feed stops; once nothing is under way the stand-in holds exactly the engine's active objects.
    bool settled = false;
    for (int i = 0; i < 60 * passesPerSecond && !settled; ++i) {
        pass();
        if (HasFatalFailure()) return;
        if (i % passesPerSecond == 0) {
            const std::uint64_t rounds = gf_simDispatchRounds();
            ASSERT_TRUE(gf_waitSimDispatch(
                [&] {
                    if (gf_simDispatchRounds() >= rounds + 2) return true;
                    gf_wakeSimClient();
                    return false;
                },
                10s));
            settled = nothingUnderWay() && engineActiveObjects() == standInObjects();
        }
    }
    if (!settled) {
        ADD_FAILURE() << engineActiveObjects().size() << " active in the engine, " << standInObjects().size()
                      << " objects in the stand-in; under way: " << !nothingUnderWay();
        const std::set<std::uint32_t> engine = engineActiveObjects();
        int shown = 0;
        for (const stub::AiObject& o : sim->objects()) {
            if (engine.contains(o.id) || ++shown > 10) continue;
            std::string known = "not in the engine";
            for (const LiveAc& ac : engineLists.liveAcs)
                if (ac.oid == o.id || ac.cs == o.tail)
                    known = fmt::format("engine: {} oid {} state {}", ac.cs, ac.oid,
                                        static_cast<int>(ac.simState));
            ADD_FAILURE() << "stand-in object " << o.id << " " << o.tail << " created at " << o.createdAt
                          << " s, removal asked " << o.removalAskedAt.value_or(-1) << "; " << known;
        }
    }

    // The close: the link goes, and every object it made goes with it.
    gf_runSteps().setAddingStackOpen(false);
    gf_stopSimClient();
    gf_joinSimClient();
    EXPECT_TRUE(sim->waitUntil([&] { return sim->objects().empty(); }, 10s))
        << sim->objects().size() << " left";
    // As the closing down does: the park airport is left, its static aircraft forgotten.
    gf_runSteps().leaveParkAirport();
    // Their removal went to a link that is gone: none is left active or waiting to be created.
    for (const StaticAc& ac : engineLists.staticAcs)
        EXPECT_EQ(ac.simState, SimState::removingfromsim) << ac.cs;
    EXPECT_TRUE(parkAirportCode.empty());
}

} // namespace
