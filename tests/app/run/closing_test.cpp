// Stop reasons, the closing down, the restart countdown and the run reset.

#include "app/closing.h"
#include "engine/engine_requests.h"
#include "engine/static/static_parking_state.h"
#include "run_fixture.h"

#include <stdexcept>
#include <vector>

using namespace std::chrono_literals;

namespace {

class ClosingTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        auto& s = gf_runSteps();
        s.joinSimClient = [this] { events.push_back("join SimClient"); };
        s.waitForReaders = [this](std::chrono::milliseconds limit) {
            events.push_back("wait for readers");
            EXPECT_GT(limit, 0ms);
            return true;
        };
        s.resetFeed = [this] { events.push_back("reset feed"); };
        s.stopReaders = [this] { events.push_back("stop readers"); };
    }
    std::vector<UiMessage> posted() const { return ui.posted(); }
    std::vector<std::string> events;
};

const std::vector<UiMessage> restarts{UiMessage::startRun};
const std::vector<UiMessage> quits{UiMessage::storeAndQuit};

TEST_F(ClosingTest, EachReasonRestartsOrQuits) {
    struct Case {
        StopReason reason;
        std::int32_t delay;
        const char* name;
        bool restart;
        bool scansCleared;
    };
    const Case cases[] = {
        {StopReason::SimWasClosed, 0, "SIM WAS CLOSED", false, false},
        {StopReason::NewSettings, 3, "NEW SETTINGS", true, false},
        {StopReason::UserClosedSim, 0, "USER CLOSED SIM", false, false},
        {StopReason::SimConnectError, 9, "SIMCONNECT ERROR", true, true},
        {StopReason::ReaderError, 15, "READER ERROR", true, true},
        {StopReason::NewVersion, 0, "NEW VERSION", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.clear();
        events.clear();
        runControl.reset();
        SCAN_LIVERIES.value = true;
        SCAN_AIRPORTS.value = true;
        SCAN_LIVERIES.save();
        SCAN_AIRPORTS.save();
        DESTINATION.set("LOWI");
        BLOCK_CALLSIGN.set("AUA123");

        gf_requestStop(c.reason, c.delay);
        lf_closingDown();

        EXPECT_TRUE(logHas(std::string("Exiting: ") + c.name));
        EXPECT_EQ(posted(), c.restart ? restarts : quits);
        EXPECT_EQ(freshStart.load(), !c.restart);
        EXPECT_TRUE(saved("SCAN_LIVERIES", c.scansCleared ? "false" : "true"));
        EXPECT_TRUE(saved("SCAN_AIRPORTS", c.scansCleared ? "false" : "true"));
        EXPECT_TRUE(saved("DESTINATION", ""));
        EXPECT_TRUE(saved("BLOCK_CALLSIGN", ""));
        // The run's threads are done before anything is reset or the process ends.
        const std::vector<std::string> expected =
            c.restart
                ? std::vector<std::string>{"stop readers", "join SimClient", "wait for readers", "reset feed"}
                : std::vector<std::string>{"stop readers", "join SimClient", "wait for readers"};
        EXPECT_EQ(events, expected);
        if (c.restart) {
            EXPECT_FALSE(runControl.stopping());
            EXPECT_EQ(runControl.stopReason(), StopReason::NotYetSet);
            EXPECT_TRUE(logHas("Prepare for a restart ..."));
        }
    }
}

TEST_F(ClosingTest, RestartCountsDownOnTheStatusLine) {
    gf_requestStop(StopReason::NewSettings, 3);
    lf_closingDown();
    std::vector<std::string> countdown;
    for (const auto& m : shownMessages)
        if (m.starts_with("Restarting")) countdown.push_back(m);
    EXPECT_EQ(countdown, (std::vector<std::string>{"Restarting after 3 seconds", "Restarting after 2 seconds",
                                                   "Restarting after 1 second"}));
    EXPECT_EQ(logCount("Restarting after 3 seconds"), 1u);
    EXPECT_FALSE(logHas("Restarting after 2 seconds"));
    EXPECT_TRUE(logHas("Restart countdown finished"));
    EXPECT_EQ(posted(), restarts);
}

TEST_F(ClosingTest, FirstReasonWins) {
    gf_requestStop(StopReason::ReaderError, 15);
    gf_requestStop(StopReason::SimConnectError, 9);
    lf_closingDown();
    EXPECT_TRUE(logHas("Exiting: READER ERROR"));
    EXPECT_TRUE(logHas("Restarting after 15 seconds"));
}

// A close pressed during the countdown used to be cleared by the run reset: it now ends the countdown
// within a second and quits.
TEST_F(ClosingTest, CloseDuringTheCountdownQuits) {
    gf_requestStop(StopReason::ReaderError, 15);
    std::chrono::milliseconds closedAt{0};
    at(3500ms, [&] {
        closedAt = slept;
        gf_requestStop(StopReason::UserClosedSim, 0);
    });
    lf_closingDown();
    EXPECT_LE(slept - closedAt, 1s);
    EXPECT_EQ(posted(), quits);
    EXPECT_FALSE(logHas("Restart countdown finished"));
    EXPECT_EQ(events, (std::vector<std::string>{"stop readers", "join SimClient", "wait for readers"}));
}

TEST_F(ClosingTest, NewFlightQuitsAfterItsMessage) {
    gf_requestStop(StopReason::NewFlight, 45);
    lf_closingDown();
    // Logged although a stop is requested.
    EXPECT_TRUE(logHas("New flight detected, Skyloom will close, please restart manually ..."));
    EXPECT_GE(slept, 10s);
    EXPECT_EQ(posted(), quits);
}

TEST_F(ClosingTest, CloseEndsTheNewFlightWait) {
    gf_requestStop(StopReason::NewFlight, 45);
    at(2500ms, [] { gf_requestStop(StopReason::UserClosedSim, 0); });
    lf_closingDown();
    EXPECT_LE(slept, 2600ms);
    EXPECT_EQ(posted(), quits);
}

TEST_F(ClosingTest, SystemErrorWaitsForTheUserToClose) {
    gf_forceStopReason(StopReason::SystemError);
    at(4s, [] { gf_requestStop(StopReason::UserClosedSim, 0); });
    lf_closingDown();
    EXPECT_GE(slept, 4s);
    EXPECT_TRUE(logHas("Exiting: SYSTEM ERROR"));
    EXPECT_TRUE(logHas("User closed Skyloom"));
    EXPECT_EQ(posted(), quits);
}

// The error line invites the user to type the install path; that request restarts the run instead of
// being swallowed by the wait for a close.
TEST_F(ClosingTest, SystemErrorWaitEndsOnANewSettingsRequest) {
    gf_forceStopReason(StopReason::SystemError);
    at(2s, [] { EXPECT_FALSE(gf_requestStop(StopReason::NewSettings, 3)); });
    lf_closingDown();
    EXPECT_EQ(posted(), restarts);
    EXPECT_TRUE(logHas("Restarting after 3 seconds"));
    EXPECT_FALSE(logHas("User closed"));
}

TEST_F(ClosingTest, FailingStepIsReportedAndTheRunStillEnds) {
    gf_runSteps().closeRealTrafficLink = [] { throw std::runtime_error("socket gone"); };
    gf_requestStop(StopReason::SimWasClosed, 0);
    lf_closingDown();
    EXPECT_TRUE(logHas("lf_closingDown exception socket gone"));
    EXPECT_EQ(posted(), quits);
}

TEST_F(ClosingTest, ReadersThatDoNotEndAreLogged) {
    gf_runSteps().waitForReaders = [](std::chrono::milliseconds) { return false; };
    gf_requestStop(StopReason::UserClosedSim, 0);
    lf_closingDown();
    EXPECT_TRUE(logHas("The readers did not report their end in time"));
    EXPECT_EQ(posted(), quits);
}

} // namespace
