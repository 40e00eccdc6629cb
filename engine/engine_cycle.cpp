#include "engine/engine_cycle.h"
#include "engine/base/stands.h"

#include "core/timeutil.h"
#include "engine/base/engine_tables.h"
#include "engine/engine_pass.h"
#include "engine/engine_requests.h"
#include "engine/live/flight_plan_files.h"
#include "engine/live/no_match.h"
#include "engine/sim_results.h"
#include "engine/stands/conflicts.h"
#include "engine/stands/stand_search.h"
#include "engine/static/park_airports.h"
#include "engine/static/static_driver.h"
#include "engine/static/static_parking_state.h"
#include "feed/feed_state.h"
#include "liveries/livery_catalogue.h"

namespace {

EngineDuties lf_ownDuties() {
    EngineDuties d;
    d.updateStaticParking = [](bool atStart) { gf_updateStaticParking(atStart); };
    d.removeStaticTwinOfLive = [] { gf_removeStaticTwinOfLive(); };
    d.logNoMatchList = [] {
        gf_logNoMatchList();
        gf_clearNoMatchList();
    };
    d.logLiveryMatchSummary = [] { gf_logLiveryMatchSummary(); };
    d.clearLiveryCache = [] { gf_clearLiveryCache(); };
    return d;
}

EngineDuties duties = lf_ownDuties();

} // namespace

EngineDuties& gf_engineDuties() {
    return duties;
}

void gf_resetEngineDuties() {
    duties = lf_ownDuties();
}

void lf_handleAddingStack() {
    const std::int64_t pass = enginePassCount.load();
    gf_drainSimResults();
    gf_takeFlightPlanOutcomes();
    gf_serveEngineRequests();
    gf_takeKeptUserStand();
    gf_takeParkFileRead();
    gf_updateLiveAircraft();
    gf_handOverPositions();
    if (pass % 10 == 0) gf_handOverOneRemoval();
    if (pass % 50 == 0) gf_handOverOneCreation();
    gf_takeQueuedFlights();
    gf_makeOneCreateRecord();
    if (pass % 20 == 0) gf_requestObjectsInRange();
    if (pass % 100 == 0) gf_exchangeUserState();
    enginePassCount.fetch_add(1);
}

void gf_enginePausedPass(bool pauseSecond) {
    gf_drainSimResults();
    gf_takeFlightPlanOutcomes();
    if (pauseSecond) gf_serveRereadRequest();
}

void gf_engineEverySecond(std::int32_t seconds) {
    // One queued aircraft a second: its coupled callsigns, then the static aircraft duplicating it.
    if (const LiveAc* ac = gf_coupledSearchStep(WeekSlot::fromPacked(currentWeekSlot.load())))
        gf_removeStaticDuplicates(*ac, ac->onGround);
    gf_collisionAvoidanceStep();
    // The seconds with 5-second duties take none of these.
    if (seconds % 5 == 0) return;
    if (seconds % 16 == 0 && !staticParkingState.renewalCollecting) duties.updateStaticParking(false);
    if (seconds % 61 == 0) duties.removeStaticTwinOfLive();
}

// The reserved stand is kept clear. The static twin check of the 61-second period is not run here: the
// 5-second seconds keep to their own duties.
void gf_engineEvery5Seconds(std::int32_t /*seconds*/) {
    if (!parkAirport.reservedStandName.empty()) gf_clearReservedStand(parkAirport.reservedStandName);
    gf_serveRereadRequest();
}

std::int32_t gf_secondsToNext15SecondStep(std::int32_t seconds) {
    return 15 - (seconds % 15 + 15) % 15;
}

void gf_engineEvery15Seconds(std::int32_t seconds) {
    if (engineRequests.staticParkingNowRequested.exchange(false)) gf_requestRenewalNow();
    gf_renewalStep();
    if (seconds % 60 == 0) gf_renewalCountdownMinute(gf_secondsToNext15SecondStep(seconds));
    if (seconds % 30 == 0 && engineRequests.matchingDepthRaised.exchange(false)) gf_clearNoMatchList();
    if (seconds % 1200 == 0) duties.logNoMatchList();
    if (seconds % engineDaySeconds == 0) {
        duties.logLiveryMatchSummary();
        // The livery cache holds a day's worth of addresses, then starts again.
        duties.clearLiveryCache();
    }
}
