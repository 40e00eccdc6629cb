#include "engine/live/traffic_intake.h"

#include "core/settings.h"
#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/live/movement.h"
#include "engine/live/respawn.h"
#include "feed/udp_readers.h"
#include "refdata/type_lookups.h"

#include <algorithm>
#include <cmath>

namespace {

// Thinning distances: 450 m in the air, 20 m on the ground.
constexpr double airThinningNm = 0.2429805615550756;
constexpr double groundThinningNm = 0.010799136069114472;
constexpr double groundThinningMaxSeconds = 15.0;

// Degrees between two tracks, 0..180.
double lf_trackDifference(double a, double b) {
    double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}

bool lf_speedJump(double before, double now) {
    if (before > 5 && now >= 10 * before) return true;
    if (now > 5 && before >= 10 * now) return true;
    if (before <= 5 && now >= 80) return true;
    if (now <= 5 && before >= 80) return true;
    return false;
}

// The record adds too little to the newest sample: dropped to keep the queue short.
bool lf_thinnedOut(const PosSample& newest, const PosSample& r, double elapsed) {
    const double trackDiff = lf_trackDifference(r.track, newest.track);
    if (r.airborne) {
        if (r.gs > 120 && trackDiff <= 1.0) return elapsed <= airThinningNm / r.gs * secondsPerHour;
        return false;
    }
    if (r.gs <= 30 && trackDiff <= 2.0) {
        const double needed =
            r.gs == 0 ? groundThinningMaxSeconds
                      : std::min(groundThinningMaxSeconds, groundThinningNm / r.gs * secondsPerHour);
        return elapsed <= needed;
    }
    return false;
}

} // namespace

bool gf_atParkAirportElevation(const PosSample& sample) {
    const double reference = parkAirport.elevationFt.value_or(-1000.0);
    return sample.alt > 0 && sample.alt < 10000 && std::fabs(sample.alt - reference) <= 108.0;
}

bool gf_takeSample(LiveAc& ac, const PosSample& sample) {
    return decodeExisting(ac, sample);
}

IntakeResult gf_createFromRecord(const TrafficRecord& record) {
    FlightIdent ident = record;
    if (!ident.reg.empty())
        if (const auto reg = gf_findRegRecord(ident.reg); reg && !reg->type.empty()) ident.type = reg->type;
    if (!gf_isKnownAcType(ident.type)) return IntakeResult::dropped;
    if (!gf_categoryAdmitted(gf_sizeCategoryOf(ident.type), LIGHT_AIRCRAFT.value.load(),
                             HELICOPTERS.value.load(), HIGH_PERF_AIRCRAFT.value.load()))
        return IntakeResult::dropped;
    if (gf_atParkAirportElevation(record.pos)) return IntakeResult::dropped;
    ident.feedCs = ident.cs;
    ident.text.clear();
    ident.identFlag = false;
    AcData data(ident);
    data.hexid = record.hexid;
    data.rateB = data.rateA;
    data.factorA = gf_factorAOf(data.sizeCat);
    data.factorB = gf_factorBOf(data.sizeCat);
    gf_appendLiveAc(LiveAc(record.pos, std::move(data), record.feedTime));
    return IntakeResult::created;
}

IntakeResult gf_addOrUpdate(const TrafficRecord& record) {
    LiveAc* ac = gf_findLiveByHexid(record.hexid);
    if (!ac) {
        if (!record.cs.empty() && !engineLists.liveAcs.empty()) {
            const bool twin =
                std::any_of(engineLists.liveAcs.begin(), engineLists.liveAcs.end(), [&](const LiveAc& other) {
                    return other.cs == record.cs && other.type == record.type;
                });
            if (twin) return IntakeResult::dropped;
        }
        return gf_createFromRecord(record);
    }
    if (ac->simState == SimState::liveryrespawn || ac->simState == SimState::removingfromsim)
        return IntakeResult::dropped;
    const PosSample& r = record.pos;
    if (!ac->samples.empty()) {
        const PosSample& newest = ac->samples.back();
        const double elapsed = record.feedTime - ac->lastFeedTime;
        if (elapsed <= 1.0) return IntakeResult::dropped;
        if (lf_speedJump(newest.gs, r.gs)) return IntakeResult::dropped;
        if (ac->move.extrapolationCount < 1 && lf_thinnedOut(newest, r, elapsed))
            return IntakeResult::dropped;
    }
    if (ac->simState == SimState::buffer && gf_atParkAirportElevation(r)) return IntakeResult::dropped;
    if (!gf_respawnCheck(*ac, record)) return IntakeResult::dropped;
    ac->lastFeedTime = record.feedTime;
    try {
        return gf_takeSample(*ac, r) ? IntakeResult::accepted : IntakeResult::dropped;
    } catch (const std::exception&) {
        return IntakeResult::dropped; // logged by the movement's intake
    }
}
