#include "core/run_control.h"

#include <array>

RunControl runControl;

namespace {

constexpr std::array<std::string_view, 9> reasonTexts{
    "NOT YET SET",      "SIM WAS CLOSED", "NEW FLIGHT",   "NEW SETTINGS", "USER CLOSED SIM",
    "SIMCONNECT ERROR", "READER ERROR",   "SYSTEM ERROR", "NEW VERSION",
};

} // namespace

std::string_view gf_stopReasonText(StopReason reason) {
    auto code = static_cast<std::int32_t>(reason);
    if (code < 0 || code >= static_cast<std::int32_t>(reasonTexts.size())) return "???";
    return reasonTexts[static_cast<std::size_t>(code)];
}

void RunControl::reset() {
    close.store(false);
    stop.store(false);
    reason.store(0);
    restartDelay.store(0);
    lateSettingsRestart.store(-1);
}

bool gf_requestStop(StopReason reason, std::int32_t restartDelaySeconds) {
    if (reason == StopReason::UserClosedSim) {
        runControl.close.exchange(true);
        runControl.stop.exchange(true);
        std::int32_t expected = 0;
        return runControl.reason.compare_exchange_strong(expected, static_cast<std::int32_t>(reason));
    }
    if (runControl.stop.exchange(true)) {
        if (reason == StopReason::NewSettings) runControl.lateSettingsRestart.store(restartDelaySeconds);
        return false;
    }
    // The close path above may have stored its reason between the flags; the first reason stays.
    std::int32_t expected = 0;
    if (!runControl.reason.compare_exchange_strong(expected, static_cast<std::int32_t>(reason))) return false;
    runControl.restartDelay.store(restartDelaySeconds);
    return true;
}

void gf_forceStopReason(StopReason reason) {
    runControl.reason.store(static_cast<std::int32_t>(reason));
    runControl.stop.store(true);
}
