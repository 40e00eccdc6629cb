#include "engine/sim_results.h"

#include "core/log.h"
#include "core/settings.h"
#include "core/units.h"
#include "engine/base/ac_commands.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/live/flight_plan_files.h"
#include "engine/live/respawn.h"
#include "liveries/livery_choice.h"
#include "simlink/sim_ids.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <algorithm>
#include <string>

namespace {

constexpr double maxStaticPitch = 0.04363323129985824;       // 2.5 degrees
constexpr double fallbackStaticPitch = 0.012217304763960306; // 0.7 degrees
constexpr std::uint32_t firstAiObjectId = 3;

std::size_t lf_positionOf(const std::vector<LiveAc>& list, const LiveAc* ac) {
    return static_cast<std::size_t>(ac - list.data());
}

void lf_objectRemoved(std::uint32_t oid) {
    if (LiveAc* ac = gf_findLiveByOid(oid)) {
        gf_dropFlightPlan(*ac);
        if (ac->simState == SimState::liveryrespawn) {
            ac->simState = SimState::buffer;
            ac->throttleIdx = 5;
            ac->flapsIdx = 4;
            gf_setObjectId(*ac, 0);
            return;
        }
        gf_eraseLiveAc(lf_positionOf(engineLists.liveAcs, ac));
        return;
    }
    if (StaticAc* ac = gf_findStaticByOid(oid))
        gf_swapEraseStaticAc(static_cast<std::size_t>(ac - engineLists.staticAcs.data()));
}

void lf_touchdown(LiveAc& ac) {
    MoveState& m = ac.move;
    m.touchedDown = true;
    m.landed = true;
    m.touchdownHeading = ac.pos.heading;
    m.landing = false;
    m.landingRoll = true;
    gf_setSpoilers(ac, true);
    if (ac.sizeCat != SizeCategory::Light) {
        const double throttle = ac.reverseFlag ? -100.0 : 100.0;
        // A failed write costs the touchdown its spoilers and reverse thrust, nothing more: it is only
        // logged, as at the end of the roll.
        if (!gf_setAcControls(ac.oid, 100.0, throttle, throttle))
            gf_logError("SimConnect set ac controls fails");
    }
    if (ac.onGroundSlots > 0) {
        m.pitchStep = (ac.staticPitch - ac.pos.pitch) / ac.onGroundSlots;
        m.bankStep = (0.0 - ac.pos.bank) / ac.onGroundSlots;
    } else {
        gf_log(fmt::format("{} ! onGround slots {:.1f}", ac.cs, static_cast<double>(ac.onGroundSlots)));
        m.pitchStep = ac.staticPitch;
        m.bankStep = 0;
    }
    gf_queueCoupledSearch(ac.hexid);
}

void lf_groundData(const SimResult& r) {
    LiveAc* ac = gf_findLiveByOid(r.objectId);
    if (!ac) return;
    MoveState& m = ac->move;
    if (r.value == 1 && !ac->onGround && m.rotationCountdown <= 1 &&
        ac->simState != SimState::removingfromsim && ac->phase != AcPhase::take_off) {
        if (m.landingCounter != 0 || m.landing) lf_touchdown(*ac);
        ac->onGround = true;
        m.altStep = 0;
        m.rotationCountdown = 1;
    }
    m.heightAboveGround = r.b;
    if (ac->onGround || m.rotationCountdown >= 2) ac->pos.altitude = r.a + ac->cgHeight;
}

void lf_staticCgData(const SimResult& r) {
    LiveAc* ac = gf_findLiveByOid(r.objectId);
    if (!ac) return;
    if (r.a >= 1.0 && r.a <= 35.0) ac->cgHeight = r.a;
    ac->staticPitch = (r.b <= -radiansPerDegree || r.b > maxStaticPitch) ? fallbackStaticPitch : r.b;
}

void lf_createFailed(std::uint32_t hexid) {
    std::string cs, airl, type, title;
    const auto take = [&](const StaticAc& ac) {
        cs = ac.cs;
        airl = ac.airl;
        type = ac.type;
        title = std::string(ac.liveryTitle);
    };
    if (gf_isLiveHexid(hexid)) {
        LiveAc* ac = gf_findLiveByHexid(hexid);
        if (!ac) return;
        take(*ac);
        gf_eraseLiveAc(lf_positionOf(engineLists.liveAcs, ac));
    } else {
        StaticAc* ac = gf_findStaticByHexid(hexid);
        if (!ac) return;
        take(*ac);
        gf_swapEraseStaticAc(static_cast<std::size_t>(ac - engineLists.staticAcs.data()));
    }
    ++engineStatus.refusedCount;
    gf_liveryNotCreated(cs, airl, type, title); // may end the run (too many refused liveries)
}

// The live record a set-up entry belongs to: the same address and the same object. A record that has
// gone, or a new record under the same address, ends the entry.
LiveAc* lf_liveOfEntry(const SimResult& s) {
    LiveAc* ac = gf_findLiveByHexid(s.value);
    if (!ac || ac->oid != s.objectId || ac->simState != SimState::adding2sim) return nullptr;
    return ac;
}

StaticAc* lf_staticOfEntry(const SimResult& s) {
    StaticAc* ac = gf_findStaticByHexid(s.value);
    if (!ac || ac->simState != SimState::adding2sim || (ac->oid != 0 && ac->oid != s.objectId))
        return nullptr;
    return ac;
}

void lf_finishRemovalIfPending(StaticAc& ac) {
    if (!ac.removePending) return;
    ac.removePending = false;
    removeAircraftFromSim(ac);
}

void lf_liveActive(LiveAc& ac) {
    const std::uint32_t oid = ac.oid;
    const bool airborne = !ac.samples.empty() && ac.samples.front().airborne;
    if (airborne) {
        gf_engineAutoStart(oid);
        gf_setSpoilers(ac, false);
        const bool low = ac.pos.altitude <= 10000.0;
        gf_setLights(oid, 1, 1, low ? 1 : 0, 0, 1, low ? 1 : 0, ac.move.heightAboveGround >= 2000.0 ? 1 : 0);
    } else {
        gf_setSpoilers(ac, false);
        std::uint32_t nav = 1, beacon = 1;
        if (ac.phase == AcPhase::parked) {
            gf_engineAutoShutdown(oid);
            nav = NAV_LIGHTS_WHILE_PARKED.value.load() ? 1 : 0;
            beacon = 0;
        } else {
            gf_engineAutoStart(oid);
        }
        gf_setLights(oid, nav, beacon, 0, ac.phase == AcPhase::taxi ? 1 : 0, 0, 1, 1);
        gf_setThrottle(ac, ac.sizeCat == SizeCategory::Rotorcraft ? 4 : 0);
        gf_setFlaps(ac, ac.phase == AcPhase::taxi ? 1 : 0);
    }
    ac.simState = SimState::active;
}

// One pass of one set-up entry; false when the entry is finished.
bool lf_stepSetup(SimResult& s) {
    if (s.kind == SimResultKind::liveObjectFound) {
        LiveAc* ac = lf_liveOfEntry(s);
        if (!ac) return false;
        if (s.counter < setupPasses) {
            ++s.counter;
            if ((s.counter == lightTogglePassA || s.counter == lightTogglePassB) &&
                !gf_transmitClientEventNow(s.objectId, evAllLightsToggle, 0)) {
                gf_logError("SimConnect gf_allLightsToggle fails");
                gf_simConnectRequestError();
            }
            if (s.counter < setupPasses) return true;
        }
        lf_liveActive(*ac);
        lf_finishRemovalIfPending(*ac);
        return false;
    }
    StaticAc* ac = lf_staticOfEntry(s);
    if (!ac) return false;
    if (s.counter < setupPasses) {
        ++s.counter;
        if (s.counter < setupPasses) return true;
    }
    ac->simState = SimState::active;
    gf_setObjectId(*ac, s.objectId);
    gf_parkedSetup(*ac);
    gf_log(fmt::format("{:8}: {:8} parked", gf_standNameOf(ac->sid), ac->cs));
    lf_finishRemovalIfPending(*ac);
    return false;
}

void lf_stepSetupList() {
    bool finished = false;
    for (SimResult& s : engineLists.setupList) {
        if (s.counter < 0) continue;
        if (!lf_stepSetup(s)) {
            s.counter = -1;
            finished = true;
        }
    }
    if (finished) std::erase_if(engineLists.setupList, [](const SimResult& s) { return s.counter < 0; });
}

void lf_handle(const SimResult& r) {
    switch (r.kind) {
    case SimResultKind::liveObjectFound:
        if (LiveAc* ac = gf_findLiveByHexid(r.value); ac && gf_objectBound(*ac, r))
            engineLists.setupList.push_back(r);
        return;
    case SimResultKind::staticObjectFound:
        if (r.objectId >= firstAiObjectId && gf_findStaticByHexid(r.value))
            engineLists.setupList.push_back(r);
        return;
    case SimResultKind::objectRemoved:
        lf_objectRemoved(r.objectId);
        return;
    case SimResultKind::groundData:
        lf_groundData(r);
        return;
    case SimResultKind::staticCgData:
        lf_staticCgData(r);
        return;
    case SimResultKind::createFailed:
        lf_createFailed(r.value);
        return;
    default:
        return;
    }
}

} // namespace

void gf_drainSimResults() {
    std::lock_guard lock(simResultMutex);
    struct ClearOnExit {
        ~ClearOnExit() { simResults.clear(); }
    } clearOnExit;
    for (const SimResult& r : simResults)
        lf_handle(r);
    simResults.clear();
    if (!engineLists.setupList.empty()) lf_stepSetupList();
}
