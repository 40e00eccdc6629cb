#include "app/closing.h"

#include "app/commands.h"
#include "app/main_run.h"
#include "app/main_window.h"
#include "app/run_state.h"
#include "app/run_steps.h"
#include "app/status_line.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/version.h"

#include <fmt/format.h>

#include <string>

using namespace std::chrono_literals;

namespace {

template <class F, class... A> void lf_call(const F& step, A&&... args) {
    if (step) step(std::forward<A>(args)...);
}

// Shown on the status line and written to the log even though a stop is requested (the status line
// logs nothing while stopping).
void lf_showAndLog(const std::string& text) {
    gf_showMessage(text, false);
    gf_log(text);
}

bool lf_restartReason(StopReason reason) {
    return reason == StopReason::NewSettings || reason == StopReason::SimConnectError ||
           reason == StopReason::ReaderError;
}

// Reason 7 waits for the user: a close quits, a new install path or simulator choice restarts.
void lf_waitAfterSystemError() {
    while (!runControl.close) {
        const std::int32_t delay = runControl.lateSettingsRestart.exchange(-1);
        if (delay >= 0) {
            runControl.reason = static_cast<std::int32_t>(StopReason::NewSettings);
            runControl.restartDelay = delay;
            return;
        }
        gf_sleep(500ms);
    }
    lf_showAndLog(fmt::format("User closed {}", gf_productName));
}

// Nothing of the run may still touch the globals when they are reset or the process ends.
void lf_waitForRunThreads() {
    const auto& s = gf_runSteps();
    lf_call(s.joinSimClient);
    if (s.waitForReaders && !s.waitForReaders(readerEndLimit))
        gf_logError("The readers did not report their end in time");
}

bool lf_restartCountdown() {
    const auto& s = gf_runSteps();
    const std::int32_t n = runControl.restartDelay;
    if (n < 1) return !runControl.close;
    gf_log(fmt::format("Restarting after {} seconds", n));
    gf_log(std::string(48, '-'));
    for (std::int32_t k = n; k >= 1; --k) {
        if (runControl.close) return false;
        gf_showMessage(fmt::format("Restarting after {} second{}", k, gf_plural(k)), false);
        const auto shown = s.now();
        while (s.now() - shown < 1s) {
            if (runControl.close) return false;
            s.sleep(std::min<std::chrono::milliseconds>(
                100ms, std::chrono::duration_cast<std::chrono::milliseconds>(1s - (s.now() - shown)) + 1ms));
        }
    }
    if (gf_logIsOpen()) gf_log("Restart countdown finished");
    return !runControl.close;
}

} // namespace

void lf_resetRunState() {
    const auto& s = gf_runSteps();
    lf_call(s.resetFeed);
    lf_call(s.resetSimLink);
    lf_call(s.resetEngine);

    {
        std::lock_guard lock(mainWindow.statusMutex);
        mainWindow.messageLine.clear();
        mainWindow.errorLine.clear();
        mainWindow.messageSecond = 0;
    }
    feedStarting = true;
    gf_invalidate(uiWholeArea);

    // A close that comes while the run is reset is kept: the next run then ends at once.
    const bool closed = runControl.close.load();
    runControl.reset();
    if (closed) gf_requestStop(StopReason::UserClosedSim, 0);
    secondTick = false;
    flightPaused = false;
    runSeconds = 0;
    staticParkingState.renewalCollecting = false;
    gf_clearWindowRequests();
    gf_resetMainRunState();
}

void lf_closingDown() {
    const auto& s = gf_runSteps();
    try {
        gf_log(fmt::format("Exiting: {}", gf_stopReasonText(runControl.stopReason())));
        lf_call(s.setAddingStackOpen, false);
        lf_call(s.stopSimClient);
        lf_call(s.stopReaders);
        gf_sleep(500ms);
        lf_call(s.closeRealTrafficLink);
        if (runControl.stopReason() == StopReason::SystemError) lf_waitAfterSystemError();
        lf_call(s.leaveParkAirport);
        lf_call(s.removeFlightPlanFolder);
        DESTINATION.set("");
        BLOCK_CALLSIGN.set("");
        lf_call(s.logLiveryMatchSummary);
        lf_call(s.logNoMatchList);
    } catch (const std::exception& e) {
        lf_showAndLog(fmt::format("{} exception {}", "lf_closingDown", e.what()));
    } catch (...) {
        lf_showAndLog(fmt::format("{} exception {}", "lf_closingDown", "Unknown exception"));
    }

    const StopReason reason = runControl.stopReason();
    // A close always quits, also one pressed during the countdown.
    bool restart = lf_restartReason(reason) && !runControl.close;
    if (restart) {
        freshStart = false;
        gf_clearError();
        gf_clearMessage();
        lf_showAndLog("Prepare for a restart ...");
        if (reason == StopReason::SimConnectError || reason == StopReason::ReaderError) {
            for (auto* box : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
                box->value = false;
                box->save();
            }
        }
        restart = lf_restartCountdown();
    }
    if (restart) {
        lf_waitForRunThreads();
        restart = !runControl.close;
    }
    if (restart) {
        lf_resetRunState();
        gf_logFlush();
        gf_ui().post(UiMessage::startRun);
        return;
    }
    freshStart = true;
    if (reason == StopReason::NewFlight && !runControl.close) {
        lf_showAndLog(
            fmt::format("New flight detected, {} will close, please restart manually ...", gf_productName));
        gf_sleepUnlessClosing(10s);
    }
    lf_waitForRunThreads(); // a second call finds nothing left to wait for
    gf_logFlush();
    gf_ui().post(UiMessage::storeAndQuit);
}
