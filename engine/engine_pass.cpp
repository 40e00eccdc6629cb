#include "engine/engine_pass.h"

#include "core/log.h"
#include "core/settings.h"
#include "core/units.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/live/live_update.h"
#include "engine/live/traffic_intake.h"
#include "engine/stands/stand_search.h"
#include "engine/stands/static_picks.h"
#include "engine/static/static_driver.h"
#include "engine/static/static_placement.h"
#include "feed/feed_state.h"
#include "feed/rt_link.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

void gf_updateLiveAircraft() {
    bool erase = false;
    {
        const LiveStepScope stepping;
        for (LiveAc& ac : engineLists.liveAcs)
            erase |= updateLiveAc(ac);
    }
    if (erase) gf_compactLiveAcs();
}

// The fill buffer goes to the link. With the link busy at 50 frames per second or less the positions
// of this pass are dropped rather than waited for.
void gf_handOverPositions() {
    std::unique_lock lock(simCommandMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        if (simFrameRate.load() <= 50.0f) {
            positionWriteBuffer.clear();
            return;
        }
        lock.lock();
    }
    gf_exchangePositionBuffers();
}

void gf_handOverOneRemoval() {
    if (engineLists.removalQueue.empty()) return;
    const std::uint32_t oid = engineLists.removalQueue.front();
    engineLists.removalQueue.pop_front();
    gf_queueAiRemove(oid);
}

void gf_handOverOneCreation() {
    if (!engineLists.liveCreateQueue.empty()) {
        gf_queueAiCreate(engineLists.liveCreateQueue.front());
        engineLists.liveCreateQueue.pop_front();
        return;
    }
    if (!engineLists.staticCreateQueue.empty()) {
        gf_queueAiCreate(engineLists.staticCreateQueue.front());
        engineLists.staticCreateQueue.pop_front();
    }
    if (!staticPicks.staticAddList.empty()) {
        lf_detcs();
        engineStatus.pendingStaticCount = staticPicks.staticAddList.size();
    }
}

// The records are taken under the adding stack's mutex and handled after it is released, so that the
// traffic reader never waits for the intake.
void gf_takeQueuedFlights() {
    static std::vector<TrafficRecord> taken;
    {
        std::lock_guard lock(addingStackMutex);
        for (std::size_t n = gf_recordsToTake(addingStack.size()); n > 0 && !addingStack.empty(); --n) {
            taken.push_back(std::move(addingStack.front()));
            addingStack.pop_front();
        }
    }
    for (const TrafficRecord& record : taken)
        gf_addOrUpdate(record);
    taken.clear();
}

void gf_makeOneCreateRecord() {
    if (engineLists.pendingSpawns.empty()) return;
    const std::uint32_t hexid = engineLists.pendingSpawns.back();
    engineLists.pendingSpawns.pop_back();
    const LiveAc* ac = gf_findLiveByHexid(hexid);
    if (!ac) return;
    if (ac->cs.empty()) {
        gf_logError(fmt::format("{} {} objectid = 0?", "lf_handleAddingStack", gf_acLogText(*ac)));
        return;
    }
    AiCreateRecord create;
    create.initPosition.latitude = ac->pos.latitude;
    create.initPosition.longitude = ac->pos.longitude;
    create.initPosition.altitude = ac->pos.altitude;
    create.initPosition.pitch = ac->pos.pitch * degreesPerRadian;
    create.initPosition.bank = ac->pos.bank * degreesPerRadian;
    create.initPosition.heading = ac->pos.heading * degreesPerRadian;
    create.initPosition.onGround = 0;
    create.initPosition.airspeed = 0;
    create.callsign = ac->cs;
    create.title = ac->liveryTitle;
    create.hexid = ac->hexid;
    engineLists.liveCreateQueue.push_back(std::move(create));
}

void gf_requestObjectsInRange() {
    if (!gf_requestObjectsInRadius(gf_objectsInRangeMetres(rangeMeters.load()))) {
        gf_logError("SimConnect request ac within range fails");
        gf_simConnectRequestError();
    }
}

void gf_exchangeUserState() {
    gf_sendUserState();
    engineLists.engineUserState = gf_requestUserState();
}

std::size_t gf_recordsToTake(std::size_t waiting) {
    if (waiting <= addingStackBound) return waiting < 2 ? waiting : 2;
    return waiting - addingStackBound;
}
