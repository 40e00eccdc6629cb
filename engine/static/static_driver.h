#pragma once
// The static parking driver: which airport is the park airport (where the user stands, or the nearest
// park-airport list entry in range and below the set height), loading its stands, starting the full
// calculation, leaving the airport and forgetting its state (saving what was learned at its stands),
// and the 20-minute renewal schedule. Worker thread unless said otherwise.

#include <cstdint>
#include <filesystem>
#include <functional>

// The driver: called once with true before the main cycle and every sixteenth second with false.
void gf_updateStaticParking(bool atStart);

// The pass: once the park airport's file, read off the cycle for a calculation the driver started, is
// there, it is installed and the calculation made (or its failure shown). A read whose airport was left
// in the meantime is dropped.
void gf_takeParkFileRead();
// The driver waits for the park airport's file.
bool gf_parkFileReadPending();
// How the file is read off the cycle: the runner runs `read` (on a thread of its own when none is set,
// the default). Tests run it in place or hold it back.
using ParkFileReadRunner = std::function<void(std::function<void()> read)>;
void gf_setParkFileReadRunner(ParkFileReadRunner runner);

// Removes the static aircraft and the live aircraft on the ground, then forgets the park airport (also
// at the closing down of a run).
void gf_leaveParkAirport();

// Writes what was learned at the park airport's stands into its learned file
// (airports/learned/...; gf_learnedPathOf) and logs the outcome; the update count goes back to 0.
// The airport file's own flights are dropped from the stands (they are read again next visit). A
// learned file whose reading was refused at this visit is left as it is.
void gf_saveUpdatedStands();

// ---- The renewal schedule (main cycle) ----
// The 15-second step: a pending renewal first starts collecting live callsigns, the next step ends the
// collection and renews the static aircraft.
void gf_renewalStep();
// Every 60 seconds: the countdown goes down; at its end a renewal is announced, `secondsToStep` being
// the time to the next 15-second step.
void gf_renewalCountdownMinute(std::int32_t secondsToStep);
// "Now": a renewal is pending from now on (the window showed its announcement).
void gf_requestRenewalNow();

// The radius of the objects-in-range request: the traffic radius, and while static aircraft wait to be
// created at a park airport beyond it, at least the distance to that airport plus 2 nm.
std::uint32_t gf_objectsInRangeMetres(std::uint32_t trafficRadiusMetres);

// Tests only: the driver's state back to its start.
void gf_resetStaticDriverForTests();
