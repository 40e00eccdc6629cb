#include "engine/static/static_placement.h"

#include "engine/base/ac_records.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/stands/stand_search.h"

#include "core/log.h"
#include "liveries/livery_choice.h"
#include "refdata/parking_format.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace {

constexpr std::uint32_t lastStaticNumber = 9999;
constexpr std::int32_t halfHoursPerWeek = 7 * 48;

bool lf_isNearStand(std::uint32_t sid, std::uint32_t pickSid, const ParkPos& stand) {
    if (sid == 0) return false;
    return sid == pickSid ||
           std::find(stand.adjacent.begin(), stand.adjacent.end(), sid) != stand.adjacent.end();
}

// A static aircraft whose removal has been handed over (or waits for its creation to end) is going:
// it leaves the stand to a pick, as the stand search does.
bool lf_leaving(const StaticAc& ac) {
    return ac.simState == SimState::removingfromsim || ac.removePending || ac.eraseDropped || ac.eraseNow;
}

// A live aircraft parking or parked at the stand or a neighbour refuses the pick; so does any static one
// that stays.
bool lf_standTaken(const StaticPick& pick, const ParkPos& stand) {
    const std::string standName = gf_standNameOf(pick.sid);
    for (const LiveAc& live : engineLists.liveAcs) {
        if (live.phase != AcPhase::parking && live.phase != AcPhase::parked) continue;
        if (!lf_isNearStand(live.sid, pick.sid, stand)) continue;
        if (live.sid == pick.sid)
            gf_log(fmt::format("{:8}: no static parking for {}, live aircraft {} standing here", standName,
                               pick.cs, live.cs));
        else
            gf_log(fmt::format("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly "
                               "colliding",
                               standName, pick.cs, live.cs, gf_standNameOf(live.sid)));
        return true;
    }
    for (const StaticAc& other : engineLists.staticAcs) {
        if (lf_leaving(other) || !lf_isNearStand(other.sid, pick.sid, stand)) continue;
        gf_log(fmt::format("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly "
                           "colliding",
                           standName, pick.cs, other.cs, gf_standNameOf(other.sid)));
        return true;
    }
    return false;
}

std::string lf_callsignOf(const StaticPick& pick, std::uint32_t number) {
    if (pick.cs.empty()) return fmt::format("{}{}{}", pick.airl, number, "*");
    const std::string& first = pick.stays ? pick.cs : pick.cs2;
    const std::string& second = pick.stays ? pick.cs2 : pick.cs;
    return gf_staticCallsignOf(first.empty() ? second : first);
}

bool lf_chooseStaticLivery(StaticAc& ac, const ParkPos& stand) {
    const std::string logText = gf_acLogText(ac);
    const std::string logTextWithReg = gf_acLogTextWithReg(ac);
    LiveryAircraft choice;
    choice.airl = ac.airl;
    choice.type = ac.type;
    choice.reg = ac.reg;
    choice.sizeCat = ac.sizeCat;
    choice.cargo = ac.cargo;
    choice.logText = logText;
    choice.logTextWithReg = logTextWithReg;
    choice.liveryTitle = ac.liveryTitle;
    const bool found = gf_matchStaticAcLivery(choice, stand.id, stand.cargo);
    ac.cargo = choice.cargo;
    ac.liveryTitle = choice.liveryTitle;
    return found;
}

} // namespace

std::uint32_t gf_nextStaticNumber() {
    staticPicks.staticNumberCounter = staticPicks.staticNumberCounter % lastStaticNumber + 1;
    return staticPicks.staticNumberCounter;
}

std::string gf_staticCallsignOf(std::string_view callsign) {
    while (!callsign.empty() && callsign.back() == '_')
        callsign.remove_suffix(1);
    std::string shown(callsign);
    if (shown.empty() || shown.back() != '*') shown += '*';
    return shown;
}

WeekSlot gf_weekSlotBefore(WeekSlot now, std::int32_t offset) {
    if (!now.valid()) return now;
    std::int32_t index = (static_cast<std::int32_t>(now.weekIndex()) - offset) % halfHoursPerWeek;
    if (index < 0) index += halfHoursPerWeek;
    return WeekSlot{static_cast<std::uint32_t>(index / 48 + 1), static_cast<std::uint32_t>(index % 48)};
}

void lf_detcs() {
    if (staticPicks.staticAddList.empty() || parkPositions.empty()) return;
    const StaticPick pick = std::move(staticPicks.staticAddList.back());
    staticPicks.staticAddList.pop_back();

    // The stand first: a pick whose stand has gone has no neighbours to check.
    const ParkPos* stand = gf_findStand(pick.sid);
    if (stand == nullptr) {
        gf_logError(fmt::format("stand with id {} not found", gf_standNameOf(pick.sid)));
        return;
    }
    if (lf_standTaken(pick, *stand)) return;

    const std::uint32_t number = gf_nextStaticNumber();
    const std::string callsign = lf_callsignOf(pick, number);
    FlightIdent ident;
    ident.airl = pick.airl;
    ident.type = pick.type;
    ident.cs = callsign;
    ident.feedCs = pick.cs;
    ident.text = pick.cs2;
    ident.reg = pick.reg;
    AcData data(ident);
    data.hexid = number;
    StaticAc record(std::move(data), stand->sid, StandPlace{stand->lat, stand->lon, stand->heading},
                    stand->cargo);
    // Without a livery the aircraft is not kept (the livery choice logged why).
    if (!lf_chooseStaticLivery(record, *stand)) return;

    const WeekSlot now = WeekSlot::fromPacked(currentWeekSlot.load());
    record.parkedSince = gf_weekSlotBefore(now, pick.offset).packed();
    record.simState = SimState::adding2sim;

    AiCreateRecord create;
    create.initPosition.latitude = stand->lat;
    create.initPosition.longitude = stand->lon;
    create.initPosition.altitude = 0;
    create.initPosition.pitch = 0;
    create.initPosition.bank = 0;
    create.initPosition.heading = stand->heading * degreesPerRadian;
    create.initPosition.onGround = 1;
    create.initPosition.airspeed = 0;
    create.callsign = callsign;
    create.title = record.liveryTitle;
    create.hexid = number;
    gf_appendStaticAc(std::move(record));
    engineLists.staticCreateQueue.push_back(std::move(create));
}

void gf_resetStaticPlacementForTests() {
    staticPicks.staticNumberCounter = 0;
}
