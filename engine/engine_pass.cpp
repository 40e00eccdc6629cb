#include "engine/engine_pass.h"

#include "core/log.h"
#include "core/settings.h"
#include "core/units.h"
#include "engine/engine_requests.h"
#include "engine/engine_status.h"
#include "engine/engine_tables.h"
#include "engine/live_update.h"
#include "engine/park_airports.h"
#include "engine/sim_results.h"
#include "engine/stand_search.h"
#include "engine/static_driver.h"
#include "engine/static_placement.h"
#include "engine/traffic_intake.h"
#include "feed/feed_state.h"
#include "feed/rt_link.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

namespace {

void lf_updateAndCompact() {
    bool erase = false;
    for (LiveAc& ac : liveAcs)
        erase |= updateLiveAc(ac);
    if (erase) gf_compactLiveAcs();
}

// The fill buffer goes to the link. With the link busy at 50 frames per second or less the positions
// of this pass are dropped rather than waited for.
void lf_exchangePositionBuffers() {
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

void lf_pacedHandOver(std::int64_t pass) {
    if (pass % 10 == 0 && !removalQueue.empty()) {
        const std::uint32_t oid = removalQueue.front();
        removalQueue.pop_front();
        gf_queueAiRemove(oid);
    }
    if (pass % 50 == 0) {
        if (!liveCreateQueue.empty()) {
            gf_queueAiCreate(liveCreateQueue.front());
            liveCreateQueue.pop_front();
            return;
        }
        if (!staticCreateQueue.empty()) {
            gf_queueAiCreate(staticCreateQueue.front());
            staticCreateQueue.pop_front();
        }
        if (!staticAddList.empty()) {
            lf_detcs();
            engineStatus.pendingStaticCount = staticAddList.size();
        }
    }
}

// The records are taken under the adding stack's mutex and handled after it is released, so that the
// traffic reader never waits for the intake.
void lf_takeQueuedFlights() {
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

void lf_oneCreation() {
    if (pendingSpawns.empty()) return;
    const std::uint32_t hexid = pendingSpawns.back();
    pendingSpawns.pop_back();
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
    liveCreateQueue.push_back(std::move(create));
}

void lf_requests(std::int64_t pass) {
    if (pass % 20 == 0 && !gf_requestObjectsInRadius(gf_objectsInRangeMetres(rangeMeters.load()))) {
        gf_logError("SimConnect request ac within range fails");
        gf_simConnectRequestError();
    }
    if (pass % 100 == 0) {
        gf_sendUserState();
        engineUserState = gf_requestUserState();
    }
}

} // namespace

std::size_t gf_recordsToTake(std::size_t waiting) {
    if (waiting <= addingStackBound) return waiting < 2 ? waiting : 2;
    return waiting - addingStackBound;
}

void lf_handleAddingStack() {
    const std::int64_t pass = enginePassCount.load();
    gf_drainSimResults();
    gf_serveEngineRequests();
    gf_takeKeptUserStand();
    lf_updateAndCompact();
    lf_exchangePositionBuffers();
    lf_pacedHandOver(pass);
    lf_takeQueuedFlights();
    lf_oneCreation();
    lf_requests(pass);
    enginePassCount.fetch_add(1);
}
