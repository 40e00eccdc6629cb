#pragma once
// One run of the program is one life of the worker thread: the folder check, the start-up, the scans,
// the park airports, the main run and the closing down. The steps are exposed for tests.

#include <string>

class StringParameter;

// The worker body. Every exception that escapes the run ends it with stop reason 7; the closing down
// always runs.
void trafficThread();

// Enables and fills the controls, and derives the simulator choice, the header's simulator kind and
// parking_percentage (these also when no control exists yet).
void lf_enableControls();
// A value ending in "\Community" (or "/Community") loses those 10 bytes; the value is then saved.
void lf_stripCommunitySuffix(StringParameter& installPath);
// Creates the program's working folders; removes two stale copies of the registration file.
void lf_prepareFolders();
