// The longest pass of the main cycle over a run of the whole road in one process, in real time: the
// demo replay, read by the traffic reader's own datagram handling, goes into the adding stack as about
// 1,000 live flights at a time (the replay's flights copied side by side); the program's cycle pass runs
// every 10 ms on this thread and drives the engine, its per-second duties and the simulator link, whose
// own thread talks to the in-process simulator stand-in running its own clock (30 frames a second). The
// user stands at Zurich, whose airport file (the demo's) is in the airports folder; the static parking
// driver takes it as the new park airport during the run, so its first static calculation is one of the
// passes measured.
//
// Target: the longest pass under 10 ms. Reported: p50 / p99 / max pass time ("p50_us", "p99_us",
// "max_us"), the passes over 10 ms, the most live aircraft, the pass of the park airport's first
// calculation (the passes from the one that takes the park airport to the one that installs its stands,
// its file read off the cycle: "park_pass_us"; SKYLOOM_ROAD_READ_IN_PASS=1 reads it inside the pass, the
// reference), and the longest
// pass once the traffic stands ("steady_max_us": after the first 20 seconds, that pass left out).
// SKYLOOM_ROAD_SECONDS sets the length of a run (default 60); SKYLOOM_ROAD_VERBOSE=1 prints the run steps of
// every pass over 5 ms.
//
// Run: road_bench --benchmark_repetitions=5

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
#include "engine/engine_reset.h"
#include "engine/static/park_airports.h"
#include "engine/static/static_driver.h"
#include "engine/static/static_parking.h"
#include "engine/static/static_placement.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "liveries/livery_catalogue.h"
#include "liveries/livery_data.h"
#include "platform/os/folders.h"
#include "refdata/airports.h"
#include "refdata/data_files.h"
#include "refdata/dbase.h"
#include "refdata/park_airport.h"
#include "simlink/sim_link.h"
#include "tests/support/temp_folder.h"
#include "tools/datapack/datapack.h"
#include "tools/rtfeed/rtfeed.h"
#include "tools/simstub/simstub.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace stub = skyloom::simstub;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double lszhLat = 47.4647;
constexpr double lszhLon = 8.5492;
constexpr double lszhElevationFt = 1416;
constexpr int copies = 60; // the replay's ~17 flights at a time, side by side: ~1,000
constexpr double replayPeriodS = 600;
constexpr auto passPeriod = 10ms;
constexpr auto steadyAfter = 20s;

int lf_seconds() {
    const char* text = std::getenv("SKYLOOM_ROAD_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 60;
    return seconds > 0 ? seconds : 60;
}

std::vector<std::string> lf_splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ','))
        fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
}

struct Template {
    double at = 0;
    std::vector<std::string> fields;
};

// Flight `copy` of replay pass `loop`: a transponder code and callsign of its own (the airline's letters
// kept for the livery choice), the position shifted on a small grid, the feed time moved on by the pass.
std::string lf_copyOf(const Template& t, int loop, int copy) {
    std::vector<std::string> f = t.fields;
    const long hexid = std::stol(f[1]);
    f[1] = std::to_string(5000000 + (loop * copies + copy) * 100 + hexid % 100);
    f[2] = fmt::format("{:.6f}", std::stod(f[2]) + (copy % 7 - 3) * 0.004);
    f[3] = fmt::format("{:.6f}", std::stod(f[3]) + (copy / 7 - 3) * 0.006);
    std::string& cs = f[9];
    std::size_t letters = 0;
    while (letters < cs.size() && letters < 3 && std::isalpha(static_cast<unsigned char>(cs[letters])))
        ++letters;
    if (!cs.empty())
        cs = fmt::format("{}{}", cs.substr(0, letters), (loop * copies + copy) % 10000 + hexid % 7);
    if (copy != 0) f[11].clear();
    f[14] = fmt::format("{:.2f}", std::stod(f[14]) + loop * replayPeriodS);
    std::string out;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (i) out += ',';
        out += f[i];
    }
    return out;
}

double lf_percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// The road, set up as the program's start does it, with the user on the ground at Zurich.
class Road {
public:
    Road() {
        for (const char* sub : {"work/docs", "work/input", "work/output/info", "work/output/errors", "user"})
            fs::create_directories(root_ / sub);
        previousCwd_ = fs::current_path();
        os::enterWorkingFolder(root_ / "work");
        gf_setUserFolder(root_ / "user");
        resetAll();
        gf_openLogFile();

        const fs::path data = fs::path(SKYLOOM_SOURCE_DIR) / "data";
        for (const char* name : {"dbase", "AIG-regcodes", "airports"})
            datapack::encryptDataFile(data / fmt::format("{}.xml", name),
                                      root_ / "work" / "input" / fmt::format("{}.enc", name));
        refdataInputFolder() = root_ / "work" / "input";
        if (!gf_readDbase() || !gf_readAirports())
            throw std::runtime_error("the reference data did not load");
        fs::create_directories(root_ / "work" / "airports" / "my_thirdparty");
        fs::copy_file(data / "LSZH.xml", root_ / "work" / "airports" / "my_thirdparty" / "LSZH.xml");
        fs::copy_file(fs::path(SKYLOOM_SOURCE_DIR) / "tests" / "data" / "liveries" / "LiveriesScanned.xml",
                      gf_liveriesScannedPath());
        gf_processScannedLiveries();

        gf_wireProgram();
        auto& s = gf_runSteps();
        s.readersWithoutData = [] { return false; };
        s.checkReaderActivity = [] {};
        AUTO_RANGE.value = false;
        gf_setRange(40);

        stub::Options options;
        options.realTime = true;
        options.fps = 30;
        options.user.latitude = lszhLat;
        options.user.longitude = lszhLon;
        options.user.altitudeFt = lszhElevationFt;
        options.user.onGround = true;
        options.groundAreas.push_back({lszhLat, lszhLon, 8, lszhElevationFt});
        sim_ = std::make_unique<stub::SimStub>(std::move(options));
        sim_->start();
        gf_setSimAddress(sim_->address());
        s.reserveContainers();
        s.startSimClient();
        waitFor([] { return simRunning.load(); });
        s.requestUserOnGround();
        s.requestUserTitleAndModel();
        trafficReader.setReferencePosition(Lalo{lszhLat, lszhLon});
        // The on-ground state comes with the simulator's seconds, through the cycle.
        waitFor([] {
            lf_cyclePass();
            std::this_thread::sleep_for(passPeriod);
            return userOnGroundKnown.load() && userOnGround.load();
        });
        s.refreshUserState();
        s.createFlightPlanFolder();
        s.readMyParkAirports();
        gf_refreshWeekSlot();
        // No park airport yet: the driver's call in the cycle takes Zurich during the run.
        s.setAddingStackOpen(true);

        for (const rtfeed::ReplayLine& line :
             rtfeed::loadReplay(fs::path(SKYLOOM_SOURCE_DIR) / "tools/rtfeed/replays/demo.txt"))
            if (line.kind == 'T') templates_.push_back(Template{line.at, lf_splitFields(line.payload)});
    }

    ~Road() {
        gf_stopSimClient();
        gf_joinSimClient();
        sim_.reset();
        resetAll();
        refdataInputFolder() = "input";
        gf_resetLogForTests();
        gf_setUserFolder({});
        std::error_code ec;
        fs::current_path(previousCwd_, ec);
        os::resetWorkingFolder();
    }

    // Every module's state back at its start.
    static void resetAll() {
        gf_resetSettingsForTests();
        gf_resetCoreHooks();
        runControl.reset();
        gf_resetSimLinkForTests();
        gf_resetFeedForTests();
        gf_resetEngineForTests();
        gf_resetLiveriesForTests();
        gf_resetRunSteps();
        gf_resetMainRunState();
        gf_resetDbase();
        gf_resetAirportTable();
        gf_resetParkAirportsForTests();
        gf_resetParkAirportForTests();
        gf_resetStaticPlacementForTests();
    }

    static void waitFor(const std::function<bool()>& done) {
        const auto end = Clock::now() + 20s;
        while (!done()) {
            if (Clock::now() > end) throw std::runtime_error("the road did not come up (simulator or user)");
            std::this_thread::sleep_for(1ms);
        }
    }

    // The datagrams due by `now` (seconds since the start), handed to the traffic reader.
    void feed(double now) {
        while (true) {
            if (next_ == templates_.size()) {
                next_ = 0;
                ++loop_;
            }
            if (templates_[next_].at + loop_ * replayPeriodS > now) break;
            for (int c = 0; c < copies; ++c)
                trafficReader.handle(lf_copyOf(templates_[next_], loop_, c));
            ++next_;
        }
    }

private:
    testing_support::TempFolder temp_{"skyloom-road"};
    const fs::path root_ = temp_.path();
    fs::path previousCwd_;
    std::unique_ptr<stub::SimStub> sim_;
    std::vector<Template> templates_;
    std::size_t next_ = 0;
    int loop_ = 0;
};

// What the calling thread has used so far: CPU time, the times it waited (for a lock, a sleep, a
// socket) and the times it was put aside for another thread.
struct ThreadUse {
    double cpuUs = 0;
    long waits = 0;
    long preemptions = 0;
    ThreadUse operator-(const ThreadUse& o) const {
        return {cpuUs - o.cpuUs, waits - o.waits, preemptions - o.preemptions};
    }
};

ThreadUse lf_threadUse() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return {static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3, u.ru_nvcsw,
            u.ru_nivcsw};
}

// Wraps the run steps a pass may call, so that a long pass says where its time went.
struct StepTimes {
    std::map<std::string, double> us;

    template <typename... Args> void wrap(std::function<void(Args...)>& step, const char* name) {
        if (!step) return;
        step = [this, name, inner = step](Args... args) {
            const auto start = Clock::now();
            inner(args...);
            us[name] += std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        };
    }
};

void BM_RoadLongestPass(benchmark::State& state) {
    const bool verbose = std::getenv("SKYLOOM_ROAD_VERBOSE") != nullptr;
    std::vector<double> passes;
    std::vector<double> steady;
    double parkPass = 0.0;
    std::size_t mostLive = 0;
    for (auto _ : state) {
        Road road;
        StepTimes steps;
        auto& s = gf_runSteps();
        steps.wrap(s.handleAddingStack, "handleAddingStack");
        steps.wrap(s.updateStaticParking, "updateStaticParking");
        steps.wrap(s.everySecondDuties, "everySecondDuties");
        steps.wrap(s.every5SecondsDuties, "every5SecondsDuties");
        steps.wrap(s.every15SecondsDuties, "every15SecondsDuties");
        steps.wrap(s.refreshUserState, "refreshUserState");
        steps.wrap(s.sendUserState, "sendUserState");

        const auto start = Clock::now();
        const auto end = start + std::chrono::seconds(lf_seconds());
        bool parkTaken = false;
        bool parkDone = false;
        // SKYLOOM_ROAD_READ_IN_PASS=1: the park airport's file read inside the pass, as before it was read
        // off the cycle (the reference of "park_pass_us").
        if (std::getenv("SKYLOOM_ROAD_READ_IN_PASS") != nullptr)
            gf_setParkFileReadRunner([](std::function<void()> read) { read(); });
        for (auto due = start; due < end; due += passPeriod) {
            std::this_thread::sleep_until(due);
            road.feed(std::chrono::duration<double>(Clock::now() - start).count());
            steps.us.clear();
            // The pass that takes the park airport's file once read off the cycle holds the calculation.
            const bool readPending = gf_parkFileReadPending();
            const bool parkBefore = !parkAirportCode.empty();
            const ThreadUse useBefore = lf_threadUse();
            const auto passStart = Clock::now();
            if (!lf_cyclePass()) throw std::runtime_error("the cycle stopped");
            const double us = std::chrono::duration<double, std::micro>(Clock::now() - passStart).count();
            const ThreadUse use = lf_threadUse() - useBefore;
            passes.push_back(us);
            // The static parking driver's passes once the park airport is taken hold its first
            // calculation; the steady figures leave them out.
            const bool parkPassNow =
                !parkAirportCode.empty() && (steps.us.contains("updateStaticParking") || readPending ||
                                             gf_parkFileReadPending() || !parkBefore || !parkDone);
            if (parkPassNow) {
                parkTaken = true;
                // The first calculation is made once the stands are there.
                parkDone = parkDone || !parkPositions.empty();
                parkPass = std::max(parkPass, us);
            } else if (passStart - start >= steadyAfter) {
                steady.push_back(us);
            }
            mostLive = std::max(mostLive, engineLists.liveAcs.size());
            if (verbose && us > 5000) {
                std::string where;
                for (const auto& [name, t] : steps.us)
                    where += fmt::format(" {} {:.0f} us;", name, t);
                std::cerr << fmt::format(
                    "pass at {:.2f} s (monotonic {:.6f}, thread {}): {:.0f} us ({:.0f} us on "
                    "the CPU, {} waits, {} preemptions), {} live{}{}\n",
                    std::chrono::duration<double>(passStart - start).count(),
                    std::chrono::duration<double>(passStart.time_since_epoch()).count(), gettid(), us,
                    use.cpuUs, use.waits, use.preemptions, engineLists.liveAcs.size(),
                    parkPassNow ? " (static parking driver)" : "", where);
            }
        }
        if (!parkTaken) throw std::runtime_error("the park airport was not taken during the run");
    }
    state.counters["p50_us"] = lf_percentile(passes, 0.50);
    state.counters["p99_us"] = lf_percentile(passes, 0.99);
    state.counters["max_us"] = passes.empty() ? 0.0 : *std::max_element(passes.begin(), passes.end());
    state.counters["over_10ms"] = static_cast<double>(
        std::count_if(passes.begin(), passes.end(), [](double us) { return us > 10000; }));
    state.counters["park_pass_us"] = parkPass;
    state.counters["steady_max_us"] = steady.empty() ? 0.0 : *std::max_element(steady.begin(), steady.end());
    state.counters["steady_p99_us"] = lf_percentile(steady, 0.99);
    state.counters["most_live"] = static_cast<double>(mostLive);
}

BENCHMARK(BM_RoadLongestPass)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
