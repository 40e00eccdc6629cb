#pragma once
// The calls a worker run makes into the other subsystems, in one table. gf_wireRunSteps fills it with
// the subsystems the program has; a step that is empty is simply not taken. Tests put their own
// recorders in place and call gf_resetRunSteps afterwards.

#include "core/geodesy.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct RunSteps {
    // ---- time: every wait of the worker goes through these ----
    std::function<void(std::chrono::milliseconds)> sleep;
    std::function<std::chrono::steady_clock::time_point()> now;

    // ---- start-up ----
    // Full load of parameters.xml, first-start defaults, migration after a version change.
    std::function<void()> startParameters;
    // False: a new program version was prepared and stop reason 8 requested.
    std::function<bool()> checkForUpdates;
    // False: the data file could not be read.
    std::function<bool()> readDbase;
    std::function<bool()> readAirports;
    // The position of an airport of the airports table.
    std::function<std::optional<Lalo>(const std::string& icao)> findAirport;
    // The destination set-up for a DESTINATION code found in the airports table.
    std::function<void(const std::string& icao, const Lalo& position)> setDestination;
    std::function<void()> scanLiveries;
    std::function<void()> processScannedLiveries;
    std::function<void()> scanAddonAirports;
    std::function<void()> createFlightPlanFolder;
    std::function<void()> readMyParkAirports;

    // ---- main run ----
    std::function<void()> reserveContainers;
    // Starts a new simulator client thread; the previous one is asked to stop and joined.
    std::function<void()> startSimClient;
    // The simulator runs and is not stopping.
    std::function<bool()> simRunning;
    // Asks for the user aircraft's on-ground state once per simulator second; false when the request
    // failed (the simulator link then asks for a stop).
    std::function<bool()> requestUserOnGround;
    // Takes the latest user state into the worker's copy.
    std::function<void()> refreshUserState;
    // The position of the worker's copy of the user state (nullopt until a state arrived).
    std::function<std::optional<Lalo>()> userPosition;
    std::function<void()> requestUserTitleAndModel;
    std::function<void()> autoRange;
    // Opens the TCP server for RealTraffic on the port.
    std::function<void(const std::string& port)> startServer;
    // The "RT" indicator of the status area on or off.
    std::function<void(bool connected)> showRealTrafficConnected;
    // The RealTraffic connection and version handshake.
    std::function<void()> awaitRealTraffic;
    // The connected RealTraffic peer is the professional edition.
    std::function<bool()> professionalPeer;
    std::function<void(bool professional)> setProfessionalPeer;
    std::function<void()> sendSimTime;
    std::function<void()> sendUserState;
    std::function<void(bool open)> setAddingStackOpen;
    std::function<void()> startQnhReader;
    std::function<void()> startTrafficReader;
    // The traffic reader's range-filter centre.
    std::function<void(const Lalo& centre)> setRangeCentre;
    // The feed time of the latest traffic record (0 until the first).
    std::function<double()> lastTrafficTime;
    std::function<void()> checkReaderActivity;
    // The static parking's first update before the main cycle (the engine's timetable runs the others).
    std::function<void(bool initial)> updateStaticParking;

    // ---- main cycle: the engine's timetable (engine/engine_cycle.h) and the window's copies ----
    // The engine pass.
    std::function<void()> handleAddingStack;
    // A pass while the simulator is paused; `pauseSecond` once per second of the pause.
    std::function<void(bool pauseSecond)> enginePausedPass;
    // The per-second work beyond the cycle's own, with the run's seconds.
    std::function<void(std::int32_t seconds)> everySecondDuties;
    // The 5-second duties beyond the range centre and the simulator time, with the run's seconds.
    std::function<void(std::int32_t seconds)> every5SecondsDuties;
    // The 15-second duties beyond the readers' check and the automatic range, with the run's seconds.
    std::function<void(std::int32_t seconds)> every15SecondsDuties;
    // The reader statuses shown in the status area are "no data".
    std::function<bool()> readersWithoutData;
    std::function<void()> clearPositionBuffers;
    // ---- closing down: the run's last summaries ----
    std::function<void()> logLiveryMatchSummary;
    // Logs the no-match list, then empties it.
    std::function<void()> logNoMatchList;

    // ---- closing down ----
    std::function<void()> stopSimClient;
    // Joins the simulator client thread (before a reset or the end of the process).
    std::function<void()> joinSimClient;
    std::function<void()> stopReaders;
    // Waits (bounded) until both readers have reported their end; false when one did not.
    std::function<bool(std::chrono::milliseconds limit)> waitForReaders;
    std::function<void()> closeRealTrafficLink;
    std::function<void()> leaveParkAirport;
    std::function<void()> removeFlightPlanFolder;
    // Run-time state of the other subsystems back to its start (before a restart).
    std::function<void()> resetFeed;
    std::function<void()> resetSimLink;
    std::function<void()> resetEngine;
};

RunSteps& gf_runSteps();
// Every step empty, the clock the steady clock, sleeping a plain sleep.
void gf_resetRunSteps();
// Runs the steps' clock `scale` times as fast as the base clock (from the moment of the call): `now` moves
// `scale` times as far as `baseNow`, and a sleep lasts 1/scale of its duration on `baseSleep`. Every wait
// of the worker (the cycle's 10 ms passes, start-up and closing) is then that much shorter. A scale of 1
// leaves the steps' clock as it is.
void gf_scaleRunClock(double scale);
void gf_scaleRunClock(double scale, std::function<std::chrono::steady_clock::time_point()> baseNow,
                      std::function<void(std::chrono::nanoseconds)> baseSleep);
// Fills the steps with the subsystems of the program.
void gf_wireRunSteps();

// Sleeps through the steps' clock.
void gf_sleep(std::chrono::milliseconds duration);
// Sleeps up to `duration` in slices of at most 100 ms; returns false as soon as a stop or close is
// requested (at once when one is already requested).
bool gf_sleepUnlessStopping(std::chrono::milliseconds duration);
// As above, but only a close ends the wait early.
bool gf_sleepUnlessClosing(std::chrono::milliseconds duration);
