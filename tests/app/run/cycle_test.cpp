// The main cycle's schedule, driven pass by pass with the cycle's own tick flag, and the main run's
// waits.

#include "app/controls.h"
#include "engine/engine_cycle.h"
#include "engine/static/static_parking_state.h"
#include "run_fixture.h"

#include <set>
#include <vector>

using namespace std::chrono_literals;

namespace {

class CycleTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        auto& s = gf_runSteps();
        s.simRunning = [this] { return simRunning; };
        s.handleAddingStack = [this] { ++addingStackPasses; };
        // The engine's timetable with recorders for its duties.
        s.everySecondDuties = [](std::int32_t sec) { gf_engineEverySecond(sec); };
        s.every5SecondsDuties = [this](std::int32_t sec) {
            fired["5"].insert(runSeconds);
            gf_engineEvery5Seconds(sec);
        };
        s.every15SecondsDuties = [this](std::int32_t sec) {
            fired["15"].insert(sec);
            gf_engineEvery15Seconds(sec);
        };
        const auto parking = [this](bool initial) { fired[initial ? "parking0" : "16"].insert(runSeconds); };
        s.updateStaticParking = parking;
        s.checkReaderActivity = [this] { fired["59"].insert(runSeconds); };
        auto& d = gf_engineDuties();
        d.updateStaticParking = parking;
        d.removeStaticTwinOfLive = [this] { fired["61"].insert(runSeconds); };
        d.logLiveryMatchSummary = [this] { ++summaries; };
        d.clearLiveryCache = [this] { ++cacheClears; };
        d.logNoMatchList = [this] { ++noMatchLogs; };
        s.setAddingStackOpen = [this](bool open) { stackOpen.push_back(open); };
        s.sendUserState = [this] { ++userStates; };
    }

    void TearDown() override {
        gf_resetEngineDuties();
        RunTest::TearDown();
    }

    // One simulator second: the tick, then the pass that takes it.
    bool second() {
        secondTick = true;
        return lf_cyclePass();
    }

    bool simRunning = true;
    int addingStackPasses = 0;
    int summaries = 0;
    int cacheClears = 0;
    int noMatchLogs = 0;
    int userStates = 0;
    std::vector<bool> stackOpen;
    std::map<std::string, std::set<int>> fired;
};

std::set<int> multiplesUpTo(int n, int every, bool skipFives) {
    std::set<int> out;
    for (int s = every; s <= n; s += every)
        if (!skipFives || s % 5 != 0) out.insert(s);
    return out;
}

TEST_F(CycleTest, ScheduleRunsEachDutyOnItsSeconds) {
    for (int i = 0; i < 130; ++i)
        ASSERT_TRUE(second());
    EXPECT_EQ(runSeconds, 130);
    EXPECT_EQ(fired["5"], multiplesUpTo(130, 5, false));
    EXPECT_EQ(fired["15"], multiplesUpTo(130, 15, false));
    // 80 is a multiple of 16 and of 5: only the 5-second duties run then.
    EXPECT_EQ(fired["16"], multiplesUpTo(130, 16, true));
    EXPECT_FALSE(fired["16"].contains(80));
    EXPECT_EQ(fired["59"], (std::set<int>{59, 118}));
    EXPECT_EQ(fired["61"], (std::set<int>{61, 122}));
}

TEST_F(CycleTest, PassWithoutTickOnlyHandlesTheAddingStack) {
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(lf_cyclePass());
    EXPECT_EQ(addingStackPasses, 50);
    EXPECT_EQ(runSeconds, 0);
    EXPECT_TRUE(fired.empty());
    EXPECT_TRUE(second());
    EXPECT_EQ(runSeconds, 1);
}

TEST_F(CycleTest, StaticParkingWaitsWhileARenewalCollects) {
    staticParkingState.renewalCollecting = true;
    runSeconds = 15;
    EXPECT_TRUE(second());
    EXPECT_TRUE(fired["16"].empty());
}

// A simulator that stops answering sends no more ticks: the flags must still end the cycle.
TEST_F(CycleTest, EveryPassTestsTheStopFlags) {
    struct Case {
        bool simRunning;
        bool close;
    };
    for (Case c : {Case{true, false}, Case{true, true}, Case{false, false}, Case{false, true}}) {
        runControl.reset();
        simRunning = c.simRunning;
        ASSERT_TRUE(lf_cyclePass());
        if (c.close)
            gf_requestStop(StopReason::UserClosedSim, 0);
        else
            gf_requestStop(StopReason::SimConnectError, 9);
        EXPECT_FALSE(lf_cyclePass()) << "sim running " << c.simRunning << ", close " << c.close;
    }
}

TEST_F(CycleTest, DayWrapsTheSecondsAndLogsTheSummary) {
    runSeconds = 86399;
    EXPECT_TRUE(second());
    EXPECT_EQ(runSeconds, 0);
    EXPECT_EQ(summaries, 1);
    EXPECT_EQ(noMatchLogs, 1);
    EXPECT_EQ(cacheClears, 1) << "the livery cache is emptied at the day's end";
    EXPECT_TRUE(second());
    EXPECT_EQ(runSeconds, 1);
    EXPECT_EQ(summaries, 1);
    EXPECT_EQ(cacheClears, 1) << "and kept through the next day";
}

TEST_F(CycleTest, PauseIsLoggedOnceEachWayAndKeepsTheUserStateFlowing) {
    simRunning = false;
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(lf_cyclePass());
    EXPECT_TRUE(flightPaused);
    EXPECT_EQ(logCount("Flight not running"), 1u);
    EXPECT_EQ(userStates, 3); // once per 100 passes
    simRunning = true;
    EXPECT_TRUE(second());
    EXPECT_TRUE(second());
    EXPECT_FALSE(flightPaused);
    EXPECT_EQ(logCount("Flight resumed"), 1u);
    EXPECT_EQ(stackOpen, (std::vector<bool>{false, true}));
}

class MainRunTest : public CycleTest {
protected:
    void SetUp() override {
        CycleTest::SetUp();
        auto& s = gf_runSteps();
        s.userPosition = [] { return std::optional<Lalo>(Lalo{47.26, 11.35}); };
        s.startServer = [this](const std::string&) { calls.push_back("server"); };
        s.awaitRealTraffic = [this] { calls.push_back("handshake"); };
        s.startQnhReader = [this] { calls.push_back("qnh"); };
        s.startTrafficReader = [this] { calls.push_back("traffic"); };
        s.lastTrafficTime = [] { return 0.0; };
        realTrafficLocal = true;
    }
    std::vector<std::string> calls;
};

TEST_F(MainRunTest, StopWhileWaitingForTheSimulatorOpensNothing) {
    simRunning = false;
    at(1s, [] { gf_requestStop(StopReason::UserClosedSim, 0); });
    lf_mainRun();
    EXPECT_TRUE(calls.empty());
    EXPECT_LT(slept, 1200ms);
}

TEST_F(MainRunTest, AerowinxNeverOpensTheServer) {
    AEROWINX.value = true;
    at(100ms, [] { gf_requestStop(StopReason::UserClosedSim, 0); });
    lf_mainRun();
    EXPECT_EQ(calls, (std::vector<std::string>{"qnh"}));
}

// The 2 s before the traffic reader and the 15 s wait for the first traffic end at once on a close.
TEST_F(MainRunTest, WaitsForTheReadersAndTheFirstTrafficEndOnAClose) {
    for (auto closeAt : {1s, 5s}) {
        calls.clear();
        runControl.reset();
        const auto start = slept;
        at(start + closeAt, [] { gf_requestStop(StopReason::UserClosedSim, 0); });
        lf_mainRun();
        EXPECT_LE(slept - start, closeAt + 100ms);
        EXPECT_FALSE(logHas("No traffic in this region?"));
        if (closeAt == 1s)
            EXPECT_EQ(calls, (std::vector<std::string>{"server", "handshake", "qnh"}));
        else
            EXPECT_EQ(calls, (std::vector<std::string>{"server", "handshake", "qnh", "traffic"}));
    }
}

TEST_F(MainRunTest, NoTrafficWithinFifteenSecondsIsLoggedAndTheCycleRuns) {
    gf_attachControls();
    callsign2ObjectIdChoices->replace({"", "SWR12"});
    // The cycle ends on the close that comes 3 s into it.
    at(2s + 15s + 3s, [] { gf_requestStop(StopReason::UserClosedSim, 0); });
    lf_mainRun();
    EXPECT_TRUE(logHas("No traffic in this region?"));
    EXPECT_EQ(fired["parking0"].size(), 1u);
    EXPECT_GE(addingStackPasses, 250);
    EXPECT_LE(addingStackPasses, 310);
    // Before the cycle the callsign list is filled and its button enabled.
    EXPECT_EQ(ui.entries(CALLSIGN_2_OBJECTID.controlId), (std::vector<std::string>{"", "SWR12"}));
    EXPECT_EQ(ui.enabled(CS2OID_BUTTON.controlId), true);
}

// A sleep that ends a little early is followed by another one: no pass runs before its deadline.
TEST_F(MainRunTest, CyclePassesWaitForTheirDeadline) {
    std::vector<Clock::time_point> passes;
    gf_runSteps().sleep = [this](std::chrono::milliseconds d) {
        advance(d);
        if (d >= 1ms) now -= 400us;
    };
    gf_runSteps().handleAddingStack = [&] { passes.push_back(now); };
    at(2s + 15s + 1s, [] { gf_requestStop(StopReason::UserClosedSim, 0); });
    lf_mainRun();
    ASSERT_GT(passes.size(), 50u);
    for (std::size_t k = 1; k < passes.size(); ++k)
        ASSERT_GE(passes[k] - passes.front(), static_cast<int>(k) * 10ms) << "pass " << k;
}

// On a clock three times as fast every wait of the run takes a third of its time on the base clock: the
// start-up's (2 s before the traffic reader, 15 s for the first traffic) and the cycle's passes, which
// keep their 10 ms on the run's own clock.
TEST_F(MainRunTest, AFasterClockShortensEveryWaitByItsScale) {
    Clock::time_point base{};
    gf_scaleRunClock(
        3, [&] { return base; }, [&](std::chrono::nanoseconds d) { base += d; });
    auto& s = gf_runSteps();
    std::vector<Clock::time_point> onBase, onRun;
    s.handleAddingStack = [&] {
        onBase.push_back(base);
        onRun.push_back(s.now());
        if (onBase.size() == 301) gf_requestStop(StopReason::UserClosedSim, 0);
    };
    lf_mainRun();
    ASSERT_EQ(onBase.size(), 301u);
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    EXPECT_NEAR(seconds(onBase.front() - Clock::time_point{}), 17.0 / 3, 0.001);
    EXPECT_NEAR(seconds(onBase.back() - onBase.front()), 1.0, 0.001) << "300 passes";
    for (std::size_t k = 1; k < onRun.size(); ++k) {
        ASSERT_GE(onRun[k] - onRun.front(), static_cast<int>(k) * 10ms) << "pass " << k;
        ASSERT_LT(onRun[k] - onRun.front(), static_cast<int>(k) * 10ms + 1ms) << "pass " << k;
    }
}

} // namespace
