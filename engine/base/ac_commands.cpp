#include "engine/base/ac_commands.h"

#include "core/log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "simlink/sim_ids.h"

#include <algorithm>

void gf_setFlaps(StaticAc& ac, std::uint32_t index) {
    if (index > 4) {
        gf_logError("gf_setFlaps: invalid flaps index");
        if (ac.sizeCat != SizeCategory::Rotorcraft) ac.flapsIdx = index;
        return;
    }
    if (ac.sizeCat == SizeCategory::Rotorcraft || index == ac.flapsIdx) return;
    gf_queueClientEvent(ac.oid, evFlapsSet, flapsTable[index]);
    ac.flapsIdx = index;
}

void gf_setSpoilers(const StaticAc& ac, bool out) {
    if (ac.sizeCat == SizeCategory::Rotorcraft) return;
    gf_queueClientEvent(ac.oid, evSpoilersSet, out ? 16383u : 0u);
}

void gf_setGear(const StaticAc& ac, bool down) {
    if (ac.sizeCat == SizeCategory::Rotorcraft) return;
    gf_queueClientEvent(ac.oid, evGearSet, down ? 1u : 0u);
}

void gf_setThrottle(StaticAc& ac, std::uint32_t index) {
    if (index == ac.throttleIdx) return;
    if (index < throttleTable.size()) gf_queueClientEvent(ac.oid, evThrottleSet, throttleTable[index]);
    ac.throttleIdx = index;
}

void gf_parkedSetup(StaticAc& ac) {
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 0);
    gf_engineAutoShutdown(ac.oid);
    std::uint32_t cabin = 0;
    if (!ac.standFlag) cabin = RANDOM.value.load() ? (gf_randomEngine()() % 10 < 9 ? 1u : 0u) : 1u;
    gf_setLights(ac.oid, NAV_LIGHTS_WHILE_PARKED.value.load() ? 1u : 0u, 0, 0, 0, 0, 1, cabin);
}

bool gf_dropQueuedCreate(std::deque<AiCreateRecord>& queue, std::uint32_t hexid) {
    return std::erase_if(queue, [hexid](const AiCreateRecord& r) { return r.hexid == hexid; }) != 0;
}
