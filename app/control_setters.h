#pragma once
// Small operations that put a setting's value into its control, the traffic radius with its automatic
// buckets, the static-parking controls as a block, and the max-fit hours. Callable from any thread:
// they change settings and hand the controls' changes to the window thread.

#include "core/geodesy.h"
#include "core/settings.h"
#include "core/timeutil.h"                      // gf_maxFitHours
#include "engine/static/static_parking_state.h" // staticParkingState.busy

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

// A static-parking calculation or renewal runs: the engine's staticParkingState.busy (the engine sets it,
// "Now" asks for it through the inbox, the window reads it).
// Raised the first time the parking controls were switched either way.
extern std::atomic<bool> parkingControlsReady;

// The radius within which the traffic filter accepts live traffic, in nautical miles: the feed's
// trafficRadiusNm (RANGE's default until the first gf_setRange). The radius in metres is the
// settings' rangeMeters.
double gf_trafficRadiusNm();

// What the automatic range needs of the user aircraft and the park airports; app wires them. Without
// a user state the range stays as it is.
struct RangeHooks {
    // On the ground, and height above ground in feet.
    std::function<std::optional<bool>()> userOnGround;
    std::function<double()> userHeightFt;
    std::function<std::optional<Lalo>()> userPosition;
    // The first airport of the park-airport list, when there is one.
    std::function<std::optional<Lalo>()> firstParkAirport;
};
RangeHooks& gf_rangeHooks();

// Shows the value as the control's text and invalidates the controls band.
void gf_showIntParameter(const NumericChoiceParameter& parameter);
void gf_showStringParameter(const EditStringParameter& parameter);
// Stores, saves and ticks.
void gf_setCheckBox(CheckBoxParameter& parameter, bool value);

// The parking controls off or on as a block: their look only (the engine keeps the busy mark and the
// renewal countdown that go with it).
void gf_disableParkingControls();
void gf_enableParkingControls();

// RANGE := nm clamped to 2..100 (the list entry selected when it is one); both radii follow the
// clamped value. Returns the radius in metres. RANGE is not saved here.
std::uint32_t gf_setRange(std::int32_t nm);

// The manual RANGE kept while AUTO_RANGE is on. Taken from the loaded RANGE at every start-up
// (gf_keepLoadedRange, after parameters.xml was read).
void gf_keepLoadedRange();
std::int32_t gf_keptRange();

// After AUTO_RANGE changed.
void gf_applyAutoRange();
// The automatic radius from the user's height and distance to the park airport.
void gf_autoRange();
// The bucket of the automatic radius for a distance in nautical miles (airborne, below both heights).
std::int32_t gf_autoRangeForDistance(double distanceNm);

// MAX_FIT_FL := hours of MAX_FIT, selected in its list when it is an entry. Not saved.
void gf_showMaxFit();

// Tests: the state of this file back to its start.
void gf_resetControlSettersForTests();
