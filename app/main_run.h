#pragma once
// The main run of a worker run: the simulator link, the RealTraffic link and the readers, the wait for
// the first traffic, then the 10 ms main cycle with its once-per-second schedule. The steps are
// exposed for tests; the worker calls lf_mainRun only.

#include <cstdint>

// The main run; returns when the cycle has ended or a step found a stop request.
void lf_mainRun();
// Waits for the simulator and the user aircraft; false when a stop was requested while waiting.
bool lf_waitForSimAndUser();
// One pass of the main cycle; false ends the cycle. Every pass tests the stop flags.
bool lf_cyclePass();
void lf_everySecond();
void lf_simNotRunning();
void lf_every15Seconds();

// Tests: the cycle's own state (pause countdown, last professional flag) back to its start.
void gf_resetMainRunForTests();
