#pragma once
// The program's wiring: the hooks that lower modules declare and the run's steps into the subsystems,
// pointed at the modules of the program. Called once at start-up, before the worker runs.

void gf_wireProgram();
// After the message loop: hooks that point into the window back to their defaults.
void gf_unwireProgram();
