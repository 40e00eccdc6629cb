#include "engine/live_update.h"

#include "engine/engine_tables.h"
#include "simlink/sim_link.h"

bool updateLiveAc(LiveAc& ac) {
    if (ac.simState == SimState::active && ac.oid != 0)
        positionWriteBuffer.push_back(PositionEntry{ac.pos, ac.oid});
    return ac.eraseNow || ac.eraseDropped;
}
