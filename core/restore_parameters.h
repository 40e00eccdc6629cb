#pragma once
// A learned parking file may take over some of the user's settings while its airport is the park
// airport. The reader keeps the user's own values here first; when the park airport is dropped they
// are put back, saved and shown again.

#include <atomic>
#include <cstdint>
#include <functional>

struct SavedParkingSettings {
    std::int32_t maxLiveSel = 0;
    std::int32_t maxFit = 0;
    std::int32_t range = 0;
    std::int32_t parkingPercentage = 0;
    bool autoRange = false;
    bool initialLoadOnly = false;
    bool parkSoft = false;
    bool week = false;
};

// The user's values, written by the airport-file reader before a learned file's settings apply.
// Worker thread only.
extern SavedParkingSettings savedParkingSettings;

// Raised when the airport-file reader has put settings over the user's own (a learned file's, or the
// defaults of a first visit), lowered by the restore.
// While it is up, savedParkingSettings hold the user's values and are not taken again, and the restore
// is due when the park airport is dropped.
extern std::atomic<bool> learnedSettingsInForce;

// The window's part of the restore; the program wires them at start-up. Defaults do nothing.
struct RestoreHooks {
    // Derives MAX_FIT_FL from MAX_FIT and selects it in its list.
    std::function<void()> showMaxFit;
    // Sets RANGE and the traffic radius from a value in nautical miles and selects it in its list.
    std::function<void(std::int32_t nauticalMiles)> setRange;
    // After AUTO_RANGE changed: the range controls and the radius follow it.
    std::function<void()> applyAutoRange;
    // The parking controls have been switched at least once (default false).
    std::function<bool()> parkingControlsReady;
};
RestoreHooks& gf_restoreHooks();
void gf_resetRestoreHooks();

// Puts back MAX_LIVE_SEL, MAX_FIT, RANGE, parking_percentage (each clamped), AUTO_RANGE,
// INITIAL_LOAD_ONLY, PARK_SOFT and WEEK from savedParkingSettings, saving each and refreshing the
// controls, and lowers learnedSettingsInForce. Runs on the worker thread.
void gf_restoreOverriddenParameters();
