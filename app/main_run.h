#pragma once
// The main run of a worker run: the simulator link, the RealTraffic link and the readers, the wait for
// the first traffic, then the 10 ms main cycle with its once-per-second schedule. The steps are
// exposed for tests; the worker calls lf_mainRun only.

#include <cstdint>

// The main run; returns when the cycle has ended or a step found a stop request.
void lf_mainRun();
// One pass of the main cycle; false ends the cycle. Every pass tests the stop flags.
bool lf_cyclePass();

// The cycle's own state (pause countdown) back to its start: the run reset, and tests.
void gf_resetMainRunState();
