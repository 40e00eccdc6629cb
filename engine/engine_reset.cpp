#include "engine/engine_reset.h"

#include "core/log.h"
#include "core/timeutil.h"
#include "engine/base/engine_clock.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/engine_cycle.h"
#include "engine/engine_requests.h"
#include "engine/live/flight_plan_files.h"
#include "engine/stands/conflicts.h"
#include "engine/stands/stand_search.h"
#include "engine/stands/static_picks.h"
#include "engine/static/static_driver.h"
#include "engine/static/static_parking.h"
#include "engine/static/static_parking_state.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "refdata/park_airport.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <exception>
#include <mutex>
#include <optional>

namespace {

void lf_clearSimResults() {
    std::lock_guard lock(simResultMutex);
    simResults.clear();
}

void lf_clearAddingStack() {
    std::lock_guard lock(addingStackMutex);
    addingStack.clear();
}

void lf_clearEngineLists() {
    lf_clearSimResults();
    gf_stopFlightPlanFiles();
    gf_clearTrafficTables();
    engineRequests.clear();
    // A renewal of the last run never reaches the next one.
    staticParkingState.clearRenewal();
}

} // namespace

void gf_reserveTrafficContainers() {
    gf_reserveTrafficTables();
    parkPositions.reserve(512);
    staticPicks.staticAddList.reserve(512);
    std::lock_guard lock(simResultMutex);
    simResults.reserve(256);
}

void gf_clearLiveState() {
    trafficReader.clearParkAirport();
    trafficReader.setParkAirportElevation(std::nullopt);
    // The park airport is left with everything read or planned for it: a closing down that failed before
    // its leave step must not hand the next run an airport that looks set, with stands and no statics.
    // Leaving it properly first keeps what was learned at its stands (the leave step saves it).
    if (parkAirportLoaded.load() || !parkAirportCode.empty()) {
        try {
            gf_leaveParkAirport();
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{}: {}", "gf_clearLiveState", e.what()));
        }
    }
    parkAirport.forget();
    gf_clearParkStands();
    staticPicks.staticAddList.clear();
    lf_clearEngineLists();
    lf_clearAddingStack();
    currentWeekSlot = 0;
    currentQnh = 1013;
    if (const auto& repaint = gf_engineHooks().repaintStatus) repaint();
}

void gf_resetEngineForTests() {
    lf_clearEngineLists();
    lf_clearAddingStack();
    enginePassCount = 0;
    gf_resetTrafficTablesForTests();
    engineStatus.reset();
    gf_resetEngineHooks();
    gf_resetEngineDuties();
    gf_resetEngineClockForTests();
    gf_resetConflictsForTests();
    gf_resetStaticDriverForTests();
    gf_resetStaticParkingForTests();
    parkAirport.elevationFt.reset();
}
