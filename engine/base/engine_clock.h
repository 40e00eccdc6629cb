#pragma once
// The engine's steady clock. Every steady-clock read of the engine (parked times, ...) goes through it,
// so tests can hold it still and move it.

#include <chrono>
#include <cstdint>

using EngineClock = std::chrono::steady_clock;

EngineClock::time_point gf_engineNow();
// gf_engineNow() as a count of the clock's ticks (the form kept in the aircraft records).
std::int64_t gf_engineTicks();
// The ticks as a time point.
EngineClock::time_point gf_engineTimeOf(std::int64_t ticks);

// From now on the clock goes `scale` times as fast as the steady clock (a run on a faster clock); set once at
// start-up, before the engine runs. 1: the steady clock itself.
void gf_scaleEngineClock(double scale);

// Tests only: the clock stands at `start` until moved; advance moves it; reset gives back the real one.
void gf_holdEngineClockForTests(EngineClock::time_point start = EngineClock::time_point{});
void gf_advanceEngineClockForTests(EngineClock::duration step);
void gf_resetEngineClockForTests();
