#pragma once
// The program's wiring: the hooks that lower modules declare and the run's steps into the subsystems,
// pointed at the modules of the program. Called once at start-up, before the worker runs.

#include <initializer_list>
#include <string_view>
#include <vector>

void gf_wireProgram();
// After the message loop: hooks that point into the window back to their defaults.
void gf_unwireProgram();

// The slots the production run needs ("RunSteps.startServer", "FeedHooks.repaintCounts", ...), in the
// order of the list in wiring.cpp.
std::vector<std::string_view> gf_neededSlots();
// The needed slots that are empty or still hold their module's default, in list order.
std::vector<std::string_view> gf_unwiredSlots();
// The start-up check: one error line "The program is not fully wired: {} is not set" for every needed
// slot that is not wired. A test that leaves slots out on purpose names them in `leftOut`. True when
// every other needed slot is wired.
bool gf_checkWiring(std::initializer_list<std::string_view> leftOut = {});
