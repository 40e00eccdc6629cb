#pragma once
// The program's wiring: the hooks that lower modules declare and the run's steps into the subsystems,
// pointed at the modules of the program. Called once at start-up, before the worker runs.

void gf_wireProgram();
// After the message loop: hooks that point into the window back to their defaults.
void gf_unwireProgram();

struct RunSteps;
// The scenery scan's slots: the airport-scan step, the scan's roots and repaint, the window's tblo
// notice and the simulator switch's reset of the scan's result.
void gf_wireScan(RunSteps& steps);
