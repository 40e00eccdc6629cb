#pragma once
// The one reset of the traffic engine. This is the only unit that knows every part of the engine: each
// part has a small reset of its own, and the resets here call them. Worker thread (tests: the test's
// thread, with no other thread running).

// Once per process: room for the usual numbers of aircraft, results and lists.
void gf_reserveTrafficContainers();
// The reset of a new flight or run: every list, queue and set emptied (capacity kept), the flight-plan
// files' worker stopped and joined, the window's requests and a pending renewal dropped, the park airport
// and the feed's park-airport block cleared, the QNH 1013, the week slot and the selected id 0. The pass
// counter is kept.
void gf_clearLiveState();

// Tests only: gf_clearLiveState without the feed and log, the pass counter 0, the reservation
// forgotten, the hooks, duties and status back to their start, the clock the real one.
void gf_resetEngineForTests();
