#pragma once
// The process-wide stop record of a run: why and how the current run ends.

#include <atomic>
#include <cstdint>
#include <string_view>

enum class StopReason : std::int32_t {
    NotYetSet = 0,
    SimWasClosed = 1,
    NewFlight = 2,
    NewSettings = 3,
    UserClosedSim = 4,
    SimConnectError = 5,
    ReaderError = 6,
    SystemError = 7,
    NewVersion = 8,
};

// "NOT YET SET", "SIM WAS CLOSED", ..., "NEW VERSION"; "???" outside 0..8.
std::string_view gf_stopReasonText(StopReason reason);

struct RunControl {
    std::atomic<bool> stop{false};  // a stop has been requested
    std::atomic<bool> close{false}; // the window was closed (or the run must quit without waiting)
    std::atomic<std::int32_t> reason{0};
    std::atomic<std::int32_t> restartDelay{0}; // seconds; 0 = no countdown
    // The delay of a NEW SETTINGS request that came while a stop was already requested (-1: none).
    // The wait after a system error ends on it and restarts the run.
    std::atomic<std::int32_t> lateSettingsRestart{-1};

    bool stopping() const { return stop.load() || close.load(); }
    StopReason stopReason() const { return static_cast<StopReason>(reason.load()); }
    // Back to the start of a run: both flags false, reason 0, delay 0, no late restart.
    void reset();
};

extern RunControl runControl;

// The stop request; the first reason wins.
// - UserClosedSim: sets the close and stop flags; sets the reason when none is set yet; the delay stays.
// - any other reason: only the request that sets the stop flag stores its reason and delay.
// Returns true when this request stored its reason.
bool gf_requestStop(StopReason reason, std::int32_t restartDelaySeconds);
// Stores the reason without looking at the flag (the worker's outermost exception handlers) and sets
// the stop flag.
void gf_forceStopReason(StopReason reason);
