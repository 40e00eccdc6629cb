#pragma once
// The livery catalogue as the program's run sees it: the processing of the scanned liveries at
// start-up (once per process), the matching summary, the readiness flags, and the wiring of the
// services that the reference data asks of the catalogue.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>

// Calls the catalogue makes into the application; wired at start-up. Default: nothing.
struct LiveryHooks {
    // The number of scanned liveries for the status area (store it and repaint the counts band).
    std::function<void(std::uint64_t count)> showLiveryCount;
    // The scan: the simulator's Community folder (empty when no install path is known), the manual and
    // the folder of parameters.xml opened for the user, and the repaints of the controls band and of
    // the counts band.
    std::function<std::filesystem::path()> communityFolder;
    std::function<void()> openManual;
    std::function<void()> openParametersFolder;
    std::function<void()> repaintControls;
    std::function<void()> repaintCounts;
};
LiveryHooks& gf_liveryHooks();

// Raised once the scanned liveries are loaded and the tables built; lowered by a request to rebuild.
extern std::atomic<bool> liveriesProcessed;
extern std::atomic<bool> liveryTablesReady;

// Worker start-up, after the place of the livery scan: reads LiveriesScanned.xml and builds the livery
// and registration tables, unless they are already built in this process and no rebuild was requested;
// in that case it only logs the skip. `scannedLiveries` is empty afterwards. The read errors of
// LiveriesScanned.xml (orv::UserErrorException 51, 52, 533, 999) pass to the caller.
void gf_processScannedLiveries();

// Builds every livery table from `scannedLiveries`, in the one order the tables depend on.
// `mergeRegistrations` runs after the in-line registrations are added and before the type tables:
// the start-up merges the registration files there, tests and benchmarks their own lists.
void gf_buildLiveryTables(const std::function<void()>& mergeRegistrations);

// Any thread (the window thread on a simulator switch or a new livery scan, together with its stop and
// restart request): the tables are cleared and built again by the next start-up's processing, on the
// worker, where the title views are used.
void gf_requestLiveryTablesRebuild();

// The live-traffic matching summary: the counts per step and the models the simulator refused.
// Nothing is written while no live aircraft has got a livery.
void gf_logLiveryMatchSummary();

// Points the reference data's catalogue hooks (airlines, models per airline, random models of a size
// class, installed types) at the livery tables. Call once at start-up, before the reference data's
// similar-type maps are built.
void gf_installLiveryCatalogueHooks();

// Tests only: every table, set, counter and flag of the catalogue back to its start, and the hooks
// back to their defaults.
void gf_resetLiveriesForTests();
