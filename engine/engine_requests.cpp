#include "engine/engine_requests.h"

#include "engine/ac_removal.h"
#include "engine/engine_tables.h"

#include <atomic>

namespace {

constexpr std::int32_t none = -1;
std::atomic<std::int32_t> trimTo{none};
// -1: nothing asked; 0 off; 1 on.
std::atomic<std::int32_t> navLights{none};

} // namespace

void gf_requestLiveTrim(std::int32_t maxLive) {
    trimTo = maxLive < 0 ? 0 : maxLive;
}

void gf_requestParkedNavLights(bool on) {
    navLights = on ? 1 : 0;
}

void gf_serveEngineRequests() {
    if (const std::int32_t limit = trimTo.exchange(none); limit != none) {
        std::int64_t active = 0;
        for (const LiveAc& ac : liveAcs)
            if (ac.simState == SimState::active) ++active;
        for (; active > limit; --active)
            if (gf_removeFarthestLiveAc(-1.0)) break;
    }
    if (const std::int32_t on = navLights.exchange(none); on != none) {
        const auto value = static_cast<std::uint32_t>(on);
        for (const StaticAc& ac : staticAcs)
            if (ac.simState == SimState::active && ac.oid != 0) gf_setNavLights(ac.oid, value);
        for (const LiveAc& ac : liveAcs)
            if (ac.simState == SimState::active && ac.phase == AcPhase::parked && ac.oid != 0)
                gf_setNavLights(ac.oid, value);
    }
}

void gf_dropEngineRequests() {
    trimTo = none;
    navLights = none;
}
