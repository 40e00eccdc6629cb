#include "core/run_control.h"

#include "test_support.h"

#include <thread>

using namespace testing_support;

namespace {

class RunControlTest : public WorkingFolderTest {};

TEST_F(RunControlTest, ReasonTexts) {
    const std::vector<std::string> texts{"NOT YET SET",  "SIM WAS CLOSED",  "NEW FLIGHT",
                                         "NEW SETTINGS", "USER CLOSED SIM", "SIMCONNECT ERROR",
                                         "READER ERROR", "SYSTEM ERROR",    "NEW VERSION"};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(gf_stopReasonText(static_cast<StopReason>(i)), texts[i]);
    EXPECT_EQ(gf_stopReasonText(static_cast<StopReason>(9)), "???");
    EXPECT_EQ(gf_stopReasonText(static_cast<StopReason>(-1)), "???");
}

TEST_F(RunControlTest, TheFirstReasonWins) {
    EXPECT_TRUE(gf_requestStop(StopReason::SimConnectError, 9));
    EXPECT_FALSE(gf_requestStop(StopReason::ReaderError, 15));
    EXPECT_TRUE(runControl.stop);
    EXPECT_FALSE(runControl.close);
    EXPECT_EQ(runControl.stopReason(), StopReason::SimConnectError);
    EXPECT_EQ(runControl.restartDelay, 9);

    // Closing the window still sets the close flag, but keeps the first reason and its delay.
    EXPECT_FALSE(gf_requestStop(StopReason::UserClosedSim, 0));
    EXPECT_TRUE(runControl.close);
    EXPECT_EQ(runControl.stopReason(), StopReason::SimConnectError);
    EXPECT_EQ(runControl.restartDelay, 9);

    runControl.reset();
    EXPECT_FALSE(runControl.stopping());
    EXPECT_EQ(runControl.stopReason(), StopReason::NotYetSet);
    EXPECT_EQ(runControl.restartDelay, 0);
}

TEST_F(RunControlTest, ClosingFirstBlocksLaterReasons) {
    EXPECT_TRUE(gf_requestStop(StopReason::UserClosedSim, 7));
    EXPECT_TRUE(runControl.stop && runControl.close);
    EXPECT_EQ(runControl.stopReason(), StopReason::UserClosedSim);
    EXPECT_EQ(runControl.restartDelay, 0); // the close request leaves the delay alone
    EXPECT_FALSE(gf_requestStop(StopReason::NewSettings, 3));
    EXPECT_EQ(runControl.stopReason(), StopReason::UserClosedSim);
    EXPECT_EQ(runControl.restartDelay, 0);

    // The worker's outermost handlers write their reason regardless.
    gf_forceStopReason(StopReason::SystemError);
    EXPECT_EQ(runControl.stopReason(), StopReason::SystemError);
}

TEST_F(RunControlTest, ConcurrentRequestsStoreExactlyOneReason) {
    for (int round = 0; round < 50; ++round) {
        runControl.reset();
        std::atomic<int> winners{0};
        std::vector<std::thread> threads;
        for (int r = 1; r <= 8; ++r) {
            threads.emplace_back([r, &winners] {
                if (gf_requestStop(static_cast<StopReason>(r), r * 10)) winners.fetch_add(1);
            });
        }
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(winners.load(), 1);
        const auto reason = static_cast<int>(runControl.stopReason());
        EXPECT_TRUE(reason >= 1 && reason <= 8);
        if (reason != 4) {
            EXPECT_EQ(runControl.restartDelay.load(), reason * 10);
        }
    }
}

TEST_F(RunControlTest, DefaultStatusLineLogsOnlyWhenAskedAndNotStopping) {
    openLog();
    gf_showMessage("shown only", false);
    gf_showMessage("shown and logged", true);
    gf_showError("bad");
    runControl.stop = true;
    gf_showMessage("while stopping", true);
    gf_showError("while stopping");
    const auto log = logText();
    EXPECT_EQ(log.find("shown only"), std::string::npos);
    EXPECT_NE(log.find("\nshown and logged\n"), std::string::npos);
    EXPECT_NE(log.find("\nError bad\n"), std::string::npos);
    EXPECT_EQ(log.find("while stopping"), std::string::npos);

    std::string seen;
    gf_coreHooks().showMessage = [&](std::string_view text, bool) { seen = text; };
    gf_showMessage("to the window", false);
    EXPECT_EQ(seen, "to the window");
}

} // namespace
