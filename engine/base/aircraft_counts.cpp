#include "engine/base/aircraft_counts.h"

#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"

EngineCounts gf_countAircraft() {
    EngineCounts counts;
    for (const LiveAc& ac : engineLists.liveAcs) {
        if (ac.simState != SimState::active) continue;
        if (ac.phase == AcPhase::parked)
            ++counts.parkedLive;
        else
            ++counts.live;
    }
    for (const StaticAc& ac : engineLists.staticAcs)
        if (ac.simState == SimState::active || ac.simState == SimState::removingfromsim) ++counts.statics;
    engineStatus.liveCount = counts.live;
    engineStatus.parkedLiveCount = counts.parkedLive;
    engineStatus.staticCount = counts.statics;
    return counts;
}
