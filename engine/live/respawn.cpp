#include "engine/live/respawn.h"

#include "core/log.h"
#include "core/settings.h"
#include "core/timeutil.h"
#include "core/units.h"
#include "engine/base/ac_commands.h"
#include "engine/base/ac_removal.h"
#include "engine/base/callsign_choice.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/live/flight_plan_files.h"
#include "engine/live/live_update.h"
#include "engine/stands/stand_options.h"
#include "engine/stands/stand_search.h"
#include "engine/stands/static_picks.h"
#include "feed/feed_state.h"
#include "liveries/regcodes.h"
#include "refdata/park_airport.h"
#include "refdata/type_lookups.h"

#include <fmt/format.h>

#include <cmath>

namespace {

constexpr double samePlaceDeg = 1e-8;
constexpr std::uint32_t firstAiObjectId = 3;

bool lf_endsWithUnderscore(const std::string& cs) {
    return !cs.empty() && cs.back() == '_';
}

// A callsign the aircraft cannot show (too long) was replaced by its known registration when it was
// spawned: the same callsign again is no change, or every datagram would respawn the aircraft.
bool lf_shownAsRegistration(const LiveAc& ac, const std::string& cs) {
    FlightIdent incoming;
    incoming.cs = cs;
    return !gf_isValidCallsign(incoming) && !ac.reg.empty() && ac.cs == ac.reg &&
           gf_findRegRecord(ac.reg).has_value();
}

void lf_takeText(std::string& mine, const std::string& theirs) {
    if (!theirs.empty() && theirs != mine) mine = theirs;
}

bool lf_routeChanged(LiveAc& ac, const TrafficRecord& r) {
    bool change = false;
    if (ac.dest.empty() && !r.dest.empty()) {
        ac.dest = r.dest;
        change = true;
    }
    if (ac.orig.empty() && !r.orig.empty()) {
        ac.orig = r.orig;
        change = true;
    }
    if (ac.orig.empty() || ac.dest.empty() || r.orig.empty() || r.dest.empty()) return change;
    if (ac.orig == r.orig || ac.dest == r.dest) return change;
    const std::string& parkIata = currentParkAirport.iata;
    if (!parkAirportCode.empty() && !parkIata.empty() && ac.orig == parkIata && r.dest == ac.orig)
        return change;
    ac.orig = r.orig;
    ac.dest = r.dest;
    if (ac.onGround && ac.phase != AcPhase::parking && ac.phase != AcPhase::parked) {
        ac.setPhase(AcPhase::taxi);
        ac.move.targetBearing = ac.pos.heading;
    }
    return true;
}

bool lf_registrationChanged(LiveAc& ac, const TrafficRecord& r) {
    if (r.reg.empty()) return false;
    bool change = false;
    const auto db = gf_findRegRecord(r.reg);
    const bool otherAirlType = db && !gf_isSameAirlType(db->airl, db->type, ac);
    if (ac.reg.empty() || (ac.reg == ac.cs && ac.reg != r.reg)) {
        const auto title = regcodeTitles.find(r.reg);
        if (title != regcodeTitles.end() && title->second != ac.liveryTitle) {
            if (db) {
                ac.airl = db->airl;
                ac.type = db->type;
            }
            gf_forgetLivery(ac);
            change = true;
        } else if (otherAirlType && db->opr != ac.airl) {
            ac.airl = db->opr.empty() ? db->airl : db->opr;
            ac.type = db->type;
            gf_forgetLivery(ac);
            change = true;
        }
    } else if (ac.reg != r.reg && otherAirlType) {
        const auto csAirline = gf_airlineFromCallsign(r.cs);
        if (csAirline && (*csAirline == db->airl || db->opr == *csAirline)) {
            ac.airl = db->opr.empty() ? db->airl : db->opr;
            ac.type = db->type;
            // Another aircraft of the flight stands at the stand: learned there under its registration.
            if (ac.phase == AcPhase::parked && ac.sid != 0) {
                ac.reg = r.reg;
                lf_addRealStandOption(ac.sid, ac, 0);
            }
            gf_forgetLivery(ac);
            change = true;
        }
    }
    ac.reg = r.reg;
    return change;
}

// A live aircraft set up parked at its stand: the static parking plans nothing more for the stand, and an
// active static aircraft standing there goes.
void lf_clearStaticsUnder(const LiveAc& ac, const std::string& stand) {
    if (ac.sid == 0) return;
    std::erase_if(staticPicks.staticAddList, [&](const StaticPick& p) { return p.sid == ac.sid; });
    for (const std::size_t position : gf_staticsAtStand(ac.sid)) {
        StaticAc& st = engineLists.staticAcs[position];
        if (st.simState != SimState::active) continue;
        // The dash is the single byte 0x97, as the line has always been written.
        gf_log(fmt::format("{:8}: {:8} parks over static {}", stand, ac.cs, st.cs) +
               " \x97 static will be removed");
        removeAircraftFromSim(st);
        return;
    }
}

// Ground set-up of a new object created on the ground.
void lf_groundSetup(LiveAc& ac) {
    ac.onGround = true;
    gf_setGear(ac, true);
    ac.move.altStep = 0;
    if (ac.phase == AcPhase::parked) {
        ac.parkedSince = currentWeekSlot.load();
        const std::string stand = gf_standNameOf(ac.sid);
        gf_log(fmt::format("{:8}: {:8} parks", stand, ac.cs));
        lf_clearStaticsUnder(ac, stand);
    }
    ac.move.rotationCountdown = 1;
}

} // namespace

void gf_forgetLivery(LiveAc& ac) {
    engineLists.liveryCache.erase(ac.hexid);
    ac.liveryTitle = {};
    ac.setPhase(AcPhase::birth);
}

bool gf_respawnCheck(LiveAc& ac, const TrafficRecord& r) {
    const MoveState& m = ac.move;
    if (m.landing || m.landingRoll || m.takeoffRun) return true;
    if (ac.simState == SimState::buffer) {
        lf_takeText(ac.dest, r.dest);
        lf_takeText(ac.orig, r.orig);
        lf_takeText(ac.cs, r.cs);
        lf_takeText(ac.reg, r.reg);
        return true;
    }
    if (ac.simState != SimState::active || ac.phase == AcPhase::pushing_back || m.extrapolationCount >= 1)
        return true;
    bool change = lf_routeChanged(ac, r);
    change |= lf_registrationChanged(ac, r);
    if (!r.cs.empty() && r.cs != ac.cs && r.cs != ac.reg && !lf_shownAsRegistration(ac, r.cs)) {
        if (!lf_endsWithUnderscore(r.cs))
            gf_removeGhost(r.cs);
        else if (gf_ghostTest(r.cs))
            return false;
        ac.cs = r.cs;
        ac.feedCs = ac.cs;
        ac.text.clear();
        change = true;
    }
    if (!change || !GUID_CHANGES.value.load()) return true;
    gf_log(fmt::format("          {} respawns", gf_identityText(ac)));
    liveryRespawn(ac);
    return false;
}

void liveryRespawn(LiveAc& ac) {
    try {
        auto& q = ac.samples;
        if (q.empty()) {
            PosSample here;
            here.airborne = !ac.onGround;
            q.push_back(here);
        }
        PosSample now = q.front();
        if (ac.phase != AcPhase::parked) {
            if (std::fabs(q.front().lat - ac.pos.latitude) < samePlaceDeg &&
                std::fabs(q.front().lon - ac.pos.longitude) < samePlaceDeg)
                q.front().standing = true;
            now.lat = ac.pos.latitude;
            now.lon = ac.pos.longitude;
            now.alt = ac.pos.altitude;
            now.bank = ac.pos.bank;
        } else {
            q.erase(q.begin() + 1, q.end());
            q.front().standing = true;
            q.front().track = ac.pos.heading * degreesPerRadian;
            now = q.front();
        }
        now.duePass = enginePassCount.load() + 1;
        q.push_front(now);
        ac.keptHeading = ac.pos.heading;
        if (ac.oid != 0 && ac.oid == engineLists.selectedObjectId.load()) {
            engineLists.selectedObjectId = 0;
            gf_resetCallsignChoice();
        }
        if (ac.oid != 0) {
            ac.simState = SimState::liveryrespawn;
            engineLists.removalQueue.push_back(ac.oid);
            return;
        }
        // No object to remove, so no removal notice will come: the record is spawned again at once.
        gf_logError(fmt::format("{} removing act {} with objectid=0 ?", "liveryRespawn", gf_acLogText(ac)));
        ac.simState = SimState::buffer;
        ac.throttleIdx = 5;
        ac.flapsIdx = 4;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "liveryRespawn", e.what()));
    }
}

bool gf_objectBound(LiveAc& ac, const SimResult& result) {
    if (result.objectId < firstAiObjectId) return false;
    gf_setObjectId(ac, result.objectId);
    ac.move.heightAboveGround = result.b;
    if (!ac.samples.empty() && !ac.samples.front().airborne) lf_groundSetup(ac);
    gf_askFlightPlan(ac);
    if (!gf_requestStaticCg(ac.oid)) {
        gf_logError("SimConnect request StaticCG fails");
        gf_simConnectRequestError();
    }
    return true;
}
