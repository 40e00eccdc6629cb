#pragma once
// The traffic engine's timetable. The main run keeps the clock (the 10 ms cycle, the run's seconds,
// the pause) and calls these steps; every engine duty with its rate is written here once. Worker
// thread.
//
//   every pass (10 ms)       the engine pass: results, the flight-plan files' outcomes, requests,
//                            the park airport's file once read,
//                            live aircraft, positions, one removal
//                            (10 passes), one creation (50), objects in range (20), user state (100)
//   every second             the coupled-callsign search, collision avoidance; on the seconds without
//                            5-second duties: the static parking update (16 s, not while a renewal
//                            collects callsigns) and the static twin check (61 s)
//   every 5 seconds          the reserved stand kept clear, the "Re-read" request
//   every 15 seconds         the renewal's step ("Now" first), the renewal countdown (60 s), the
//                            no-match clear after a deeper matching (30 s), the no-match log (1,200 s)
//                            and the day's end (86,400 s: the livery summary, the livery cache emptied)
//   every second of a pause  the "Re-read" request (the simulator's results are drained every pass)

#include <cstdint>
#include <functional>

// The run's seconds count up to a day, then start again (the day's end is the engine's last duty of it).
inline constexpr std::int32_t engineDaySeconds = 86400;

// What the timetable's rules run: the engine's own duties; tests put recorders in their place.
struct EngineDuties {
    std::function<void(bool atStart)> updateStaticParking;
    std::function<void()> removeStaticTwinOfLive;
    // Logs the no-match list, then empties it.
    std::function<void()> logNoMatchList;
    std::function<void()> logLiveryMatchSummary;
    std::function<void()> clearLiveryCache;
};
EngineDuties& gf_engineDuties();
// The engine's own duties back in their places.
void gf_resetEngineDuties();

// The engine pass: drain the simulator's results, the flight-plan files' outcomes and the window's
// requests, update and compact the live aircraft, hand over the positions, one removal (every 10 passes)
// and one creation (every 50), take queued flights from the adding stack, turn one pending spawn into a
// create record, make the requests (objects in range every 20 passes, the user state every 100) and
// raise the pass counter.
void lf_handleAddingStack();
// A pass while the simulator is paused: the simulator's results and the flight-plan files' outcomes
// drained; on `pauseSecond` (once per second of the pause) the requests that are served while paused.
void gf_enginePausedPass(bool pauseSecond);
// The steps of the main cycle with the run's second.
void gf_engineEverySecond(std::int32_t seconds);
void gf_engineEvery5Seconds(std::int32_t seconds);
void gf_engineEvery15Seconds(std::int32_t seconds);
// Seconds from the run's second `seconds` to the next 15-second step (1..15): when a "Now" is served.
std::int32_t gf_secondsToNext15SecondStep(std::int32_t seconds);
