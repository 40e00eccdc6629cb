#pragma once
// The static parking's flags: a calculation busy, the renewal countdown and its pending and collecting
// marks, a requested calculation. Also the switch of the parking controls that goes with the busy flag.

#include <atomic>
#include <cstdint>

// Minutes between two renewals of the static aircraft.
inline constexpr std::int32_t staticRenewalMinutes = 20;

// Written by the engine on the worker thread only; any thread reads the atomics. The window asks through
// the inbox (engine_requests): "Now" raises `busy` and sets the countdown at the next pass.
// calculationRequested: worker only.
struct StaticParkingState {
    // Static aircraft are being calculated or placed: the parking controls are off.
    std::atomic<bool> busy{false};
    // Minutes to the next renewal announcement.
    std::atomic<std::int32_t> renewalCountdown{staticRenewalMinutes};
    // A renewal was announced (or asked for with "Now") and waits for its two 15-second steps.
    std::atomic<bool> renewalPending{false};
    // Between the two steps of a renewal: live callsigns are collected; the driver is not called.
    std::atomic<bool> renewalCollecting{false};
    // A park airport was chosen; the next driver call loads it and calculates.
    bool calculationRequested = false;

    // A pending or collecting renewal and a requested calculation dropped (the engine's reset).
    void clearRenewal();
    // Everything back to its start (tests).
    void reset();
};

extern StaticParkingState staticParkingState;

// The countdown to the next renewal, also shown in the status area.
void gf_setStaticRenewalCountdown(std::int32_t minutes);
// The parking controls off (busy) or on again (not busy, the countdown to 19), through the hooks.
void gf_disableParkingControlsFromEngine();
void gf_enableParkingControlsFromEngine();
