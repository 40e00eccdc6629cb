#pragma once
// The end of a worker run: the closing down, and then either a restart in the same process (after a
// countdown, with a new worker) or the end of the process.

#include <chrono>

// The end of a run (worker thread). Posts UiMessage::startRun (restart: reasons 3, 5, 6) or
// UiMessage::storeAndQuit (every other reason, and always once the window was closed).
void lf_closingDown();
// Every run-time state that the next run expects at its start is set back to it.
void lf_resetRunState();

// How long the closing down waits for the readers to report their end.
inline constexpr std::chrono::milliseconds readerEndLimit{3000};
