#include "app/main_run.h"

#include "app/main_window.h"
#include "app/run_state.h"
#include "app/run_steps.h"
#include "app/status_line.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "core/timeutil.h"
#include "engine/engine_cycle.h"
#include "feed/feed_state.h"
#include "platform/os/timer.h"

#include <fmt/format.h>

#include <cmath>

using namespace std::chrono_literals;

namespace {

std::int32_t pauseCountdown = 100;

template <class F, class... A> void lf_call(const F& step, A&&... args) {
    if (step) step(std::forward<A>(args)...);
}

bool lf_professional() {
    const auto& s = gf_runSteps();
    return s.professionalPeer && s.professionalPeer();
}

void lf_userPositionToRangeCentre() {
    const auto& s = gf_runSteps();
    if (!s.setRangeCentre || !s.userPosition) return;
    if (auto p = s.userPosition()) s.setRangeCentre(*p);
}

bool lf_userPositionKnown() {
    const auto& s = gf_runSteps();
    lf_call(s.refreshUserState);
    if (!s.userPosition) return false;
    const auto p = s.userPosition();
    return p && (std::fabs(p->lat) > 0.0001 || std::fabs(p->lon) > 0.0001);
}

void lf_showRealTrafficConnected(bool connected) {
    const auto& s = gf_runSteps();
    if (s.showRealTrafficConnected)
        s.showRealTrafficConnected(connected);
    else
        feedStatus.realTrafficConnected = connected;
    gf_invalidate(uiCountsBand);
}

} // namespace

void gf_resetMainRunState() {
    pauseCountdown = 100;
}

namespace {

bool lf_waitForSimAndUser() {
    const auto& s = gf_runSteps();
    while (!(s.simRunning && s.simRunning())) {
        if (runControl.stopping()) return false;
        gf_sleep(100ms);
    }
    if (runControl.stopping()) return false;
    lf_call(s.requestUserOnGround); // a failure is logged and handled by the link
    while (!lf_userPositionKnown()) {
        if (runControl.stopping()) return false;
        gf_sleep(500ms);
    }
    lf_call(s.requestUserTitleAndModel);
    while (!lf_userPositionKnown()) {
        if (runControl.stopping()) return false;
        gf_sleep(200ms);
    }
    return !runControl.stopping();
}

void lf_everySecond() {
    const auto& s = gf_runSteps();
    if (flightPaused.exchange(false)) {
        gf_log(fmt::format("{} Flight resumed", gf_utcClockNow()));
        lf_call(s.setAddingStackOpen, true);
    }
    ++mainWindow.clockSecond;
    gf_expireMessageLine();
    gf_updateAircraftCounts();
    gf_refreshWeekSlot();
    ++runSeconds;
    lf_call(s.everySecondDuties, runSeconds.load());
}

void lf_every15Seconds() {
    const auto& s = gf_runSteps();
    const std::int32_t seconds = runSeconds;
    lf_call(s.every15SecondsDuties, seconds);
    if (s.readersWithoutData && s.readersWithoutData()) lf_call(s.checkReaderActivity);
    if (seconds % 30 == 0 && AUTO_RANGE.value) lf_call(s.autoRange);
    // The engine's 15-second step has run the day's end.
    if (seconds >= engineDaySeconds) runSeconds = 0;
    gf_logFlush();
}

void lf_simNotRunning() {
    const auto& s = gf_runSteps();
    if (!flightPaused.exchange(true)) {
        lf_call(s.setAddingStackOpen, false);
        pauseCountdown = 100;
        lf_call(s.clearPositionBuffers);
        gf_log(fmt::format("{} Flight not running", gf_utcClockNow()));
    }
    --pauseCountdown;
    const bool pauseSecond = pauseCountdown % 100 == 0;
    lf_call(s.enginePausedPass, pauseSecond);
    if (pauseSecond) lf_call(s.sendUserState);
    if (pauseCountdown < 1) {
        pauseCountdown = 100;
        gf_updateAircraftCounts();
        gf_refreshWeekSlot();
    }
}

} // namespace

bool lf_cyclePass() {
    const auto& s = gf_runSteps();
    // The flags are tested on every pass: a simulator that stops answering sends no more ticks.
    if (runControl.stopping()) return false;
    if (!(s.simRunning && s.simRunning())) {
        lf_simNotRunning();
        return !runControl.stopping();
    }
    lf_call(s.handleAddingStack);
    if (!secondTick.exchange(false)) return !runControl.stopping();
    lf_everySecond();
    if (runControl.stopping()) return false;
    const std::int32_t seconds = runSeconds;
    if (seconds % 5 == 0) {
        lf_call(s.refreshUserState);
        lf_userPositionToRangeCentre();
        if (lf_professional()) lf_call(s.sendSimTime);
        lf_call(s.every5SecondsDuties, seconds);
        if (seconds % 15 == 0) lf_every15Seconds();
        return true;
    }
    if (seconds % 59 == 0) lf_call(s.checkReaderActivity);
    return true;
}

void lf_mainRun() {
    const auto& s = gf_runSteps();
    lf_showRealTrafficConnected(false);
    gf_invalidate(uiCountsBand);

    lf_call(s.reserveContainers);
    gf_invalidate(uiWholeArea);
    lf_call(s.startSimClient);
    if (!lf_waitForSimAndUser()) return;
    if (AUTO_RANGE.value) lf_call(s.autoRange);

    if (realTrafficLocal && !AEROWINX.value) {
        lf_call(s.startServer, PORT_NUMBER.value());
    } else {
        lf_showRealTrafficConnected(true); // the RealTraffic link is not used
    }
    if (runControl.stopping()) return;
    feedStarting = false; // the "RT" box shows the link's state from now on
    gf_invalidate(uiCountsBand);

    if (AEROWINX.value) {
        lf_call(s.setProfessionalPeer, false);
    } else {
        lf_call(s.awaitRealTraffic);
        if (lf_professional()) lf_call(s.sendSimTime);
    }
    if (runControl.stopping()) return;

    lf_call(s.setAddingStackOpen, false);
    lf_call(s.startQnhReader);
    if (!gf_sleepUnlessStopping(2s)) return;
    lf_call(s.startTrafficReader);
    lf_call(s.sendUserState);
    lf_userPositionToRangeCentre();

    if (s.lastTrafficTime) {
        for (int i = 0; i < 150 && std::trunc(s.lastTrafficTime()) == 0.0; ++i)
            if (!gf_sleepUnlessStopping(100ms)) return;
        if (std::trunc(s.lastTrafficTime()) == 0.0) gf_log("No traffic in this region?");
    }

    gf_refreshWeekSlot();
    lf_call(s.updateStaticParking, true);
    lf_call(s.checkReaderActivity);
    runSeconds = 0;

    auto deadline = s.now() + 10ms;
    lf_call(s.setAddingStackOpen, true);
    CALLSIGN_2_OBJECTID.fillCombo();
    CS2OID_BUTTON.enable(true);

    os::beginTimerResolution(1);
    bool running = lf_cyclePass();
    while (running) {
        if (deadline - s.now() >= 1ms) {
            // A sleep may end early: sleep again until the clock has reached the deadline.
            for (auto left = deadline - s.now(); left > 0ns; left = deadline - s.now())
                s.sleep(std::chrono::ceil<std::chrono::milliseconds>(left));
        }
        if (secondTick) deadline = s.now();
        deadline += 10ms;
        running = lf_cyclePass();
    }
    os::endTimerResolution(1);
}
