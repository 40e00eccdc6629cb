#include "engine/static/static_parking.h"

#include "core/hooks.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/stands/conflicts.h"
#include "engine/stands/parking_limits.h"
#include "engine/stands/stand_search.h"
#include "engine/static/static_parking_state.h"
#include "engine/static/static_placement.h"
#include "refdata/parking_format.h"
#include "refdata/type_lookups.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>
#include <gsl/narrow>

#include <algorithm>
#include <cmath>
#include <random>
#include <unordered_set>

namespace {

void lf_repaint() {
    if (const auto& hook = gf_engineHooks().repaintStatus) hook();
}

std::int64_t lf_standCount() {
    return static_cast<std::int64_t>(parkPositions.size());
}

// round(part x 100 / whole), 0 without stands.
std::int32_t lf_share(std::int64_t part, std::int64_t whole) {
    if (whole < 1) return 0;
    return gsl::narrow<std::int32_t>(
        std::llround(static_cast<double>(part) * 100.0 / static_cast<double>(whole)));
}

std::int64_t lf_heldCount() {
    return std::count_if(parkPositions.begin(), parkPositions.end(), [](const ParkPos& s) { return s.held; });
}

const char* lf_modeName(bool real, bool sameDay) {
    if (real) return sameDay ? "real" : "week/real";
    return sameDay ? "soft" : "week/soft";
}

void lf_setMark(std::atomic<bool>& mark, bool value) {
    if (mark.exchange(value) != value) lf_repaint();
}

// The stand search never picks a flight twice; should two stands still show the same aircraft
// (registration) or flight (callsign), the later pick goes and its stand is free again.
void lf_dropRepeatedPicks(std::vector<StaticPick>& picks) {
    std::unordered_set<std::string> regs, callsigns;
    const auto remember = [&](const StaticPick& p) {
        if (!p.reg.empty()) regs.insert(p.reg);
        if (!p.cs.empty()) callsigns.insert(p.cs);
        if (!p.cs2.empty()) callsigns.insert(p.cs2);
    };
    for (const StaticPick& p : staticPicks.staticAddList)
        remember(p);
    const std::size_t dropped = std::erase_if(picks, [&](const StaticPick& p) {
        const bool repeated = (!p.reg.empty() && regs.contains(p.reg)) ||
                              (!p.cs.empty() && callsigns.contains(p.cs)) ||
                              (!p.cs2.empty() && callsigns.contains(p.cs2));
        if (repeated) {
            if (ParkPos* stand = gf_findStand(p.sid)) stand->held = false;
            return true;
        }
        remember(p);
        return false;
    });
    if (dropped == 0) return;
    // The neighbours of a freed stand are free again unless another held stand is next to them.
    for (ParkPos& stand : parkPositions)
        stand.adjacentHeld = false;
    for (const ParkPos& stand : parkPositions)
        if (stand.held)
            for (const std::uint32_t id : stand.adjacent)
                if (ParkPos* next = gf_findStand(id)) next->adjacentHeld = true;
}

// Searches growing offsets until `wanted` stands are held. The picks of the offset that reached it are
// left in `picks` (the caller trims them); the earlier ones go straight to staticPicks.staticAddList.
bool lf_fitSearch(WeekSlot now, bool real, bool sameDay, std::int64_t wanted,
                  std::vector<StaticPick>& picks) {
    if (wanted == 0) return true;
    const std::int64_t held0 = lf_heldCount();
    const std::int32_t maxFit = std::clamp(MAX_FIT.value.load(), 0, 47);
    std::int32_t offset = 0;
    bool found = false;
    for (; offset <= maxFit; ++offset) {
        lf_searchStands(now, real ? 1 : 0, sameDay ? 1 : 0, offset, picks);
        lf_dropRepeatedPicks(picks);
        if (lf_heldCount() >= wanted) {
            found = true;
            break;
        }
        staticPicks.staticAddList.insert(staticPicks.staticAddList.end(), picks.begin(), picks.end());
        picks.clear();
    }
    if (real) {
        staticPicks.fitReal = offset;
        staticPicks.fitSoft = -1;
    } else {
        staticPicks.fitSoft = offset;
    }
    const std::int64_t added = lf_heldCount() - held0;
    if (added >= 1) {
        gf_log(fmt::format(
            "{} {} position{} found, Max fit={:.1F} hours{}{}", added, lf_modeName(real, sameDay),
            gf_plural(added), MAX_FIT_FL.value.load(), fmt::format(", day {}", now.day),
            fmt::format(", hh:{} or {:.1F} hrs, fit: {:.1F} hour", now.halfHour,
                        gf_maxFitHours(static_cast<std::int32_t>(now.halfHour)), gf_maxFitHours(offset))));
        if (!real) lf_setMark(engineStatus.softMark, true);
        if (!sameDay) {
            lf_setMark(engineStatus.weekMark, true);
            staticPicks.lastParkingWasWeek = true;
        }
    }
    return found;
}

void lf_dropFromEnd(std::vector<StaticPick>& list, std::int64_t count) {
    const auto n =
        static_cast<std::size_t>(std::min<std::int64_t>(count, static_cast<std::int64_t>(list.size())));
    list.resize(list.size() - n);
}

void lf_selectMode(WeekSlot now, std::int64_t wanted, std::int64_t base, bool real, bool sameDay) {
    std::vector<StaticPick> picks;
    if (!lf_fitSearch(now, real, sameDay, wanted, picks)) return;
    const std::int64_t surplus =
        static_cast<std::int64_t>(staticPicks.staticAddList.size() + picks.size()) + base - wanted;
    if (surplus >= 1) {
        if (RANDOM.value.load()) std::shuffle(picks.begin(), picks.end(), gf_randomEngine());
        lf_dropFromEnd(picks, surplus);
    }
    staticPicks.staticAddList.insert(staticPicks.staticAddList.end(), picks.begin(), picks.end());
    const std::int64_t excess = static_cast<std::int64_t>(staticPicks.staticAddList.size()) + base - wanted;
    if (excess >= 1 && excess <= static_cast<std::int64_t>(staticPicks.staticAddList.size()))
        lf_dropFromEnd(staticPicks.staticAddList, excess);
}

bool lf_short(std::int64_t wanted, std::int64_t base) {
    return base + static_cast<std::int64_t>(staticPicks.staticAddList.size()) < wanted;
}

void lf_sortByOffset(bool largestFirst) {
    std::stable_sort(staticPicks.staticAddList.begin(), staticPicks.staticAddList.end(),
                     [&](const StaticPick& a, const StaticPick& b) {
                         return largestFirst ? a.offset > b.offset : a.offset < b.offset;
                     });
}

// The stands' marks of the last calculation go, and so do its in-use marks of the flights.
void lf_clearStandMarks() {
    for (ParkPos& stand : parkPositions) {
        stand.held = false;
        stand.blocked = false;
        stand.adjacentHeld = false;
        for (ParkOpt& opt : stand.opts)
            opt.inUse = false;
    }
}

KeptStatic lf_keptFrom(const StaticAc& ac) {
    return KeptStatic{
        ac.cs,  ac.feedCs, ac.text, ac.reg, ac.airl, ac.type, WeekSlot::fromPacked(ac.parkedSince),
        ac.sid, false};
}

std::vector<StaticPick>::iterator lf_pickAt(std::uint32_t sid) {
    return std::find_if(staticPicks.staticAddList.begin(), staticPicks.staticAddList.end(),
                        [&](const StaticPick& p) { return p.sid == sid; });
}

// The older-stays rule for a static aircraft and a pick on its stand or a neighbour too close.
void lf_olderStays(WeekSlot now, const StaticAc& ac, std::vector<StaticPick>::iterator pick) {
    if (gf_pickIsLater(now, pick->offset, WeekSlot::fromPacked(ac.parkedSince))) {
        staticPicks.staticRemoveList.push_back({ac.cs, ac.sid});
    } else {
        staticPicks.keptStaticList.push_back(lf_keptFrom(ac));
        staticPicks.staticAddList.erase(pick);
    }
}

bool lf_sameFlightOption(const ParkOpt& opt, const StaticAc& ac, std::uint32_t day) {
    return opt.day == day && opt.reg == ac.reg && opt.airl == ac.airl && opt.type == ac.type;
}

bool lf_anySlot(const HalfHourSet& set, std::int32_t low, std::int32_t high) {
    for (std::int32_t h = std::max(low, 0); h <= std::min(high, 47); ++h)
        if (set.test(static_cast<std::size_t>(h))) return true;
    return false;
}

// The aircraft's flight was seen at its stand within the window before now (into the previous day when
// the window reaches back past midnight).
bool lf_stillFits(WeekSlot now, const StaticAc& ac, const ParkPos& stand) {
    const std::int32_t window = std::min(std::max(staticPicks.fitReal, staticPicks.fitSoft), 47);
    const auto slot = static_cast<std::int32_t>(now.halfHour);
    for (const ParkOpt& opt : stand.opts)
        if (lf_sameFlightOption(opt, ac, now.day) && lf_anySlot(opt.hh, std::max(slot - window, 0), slot))
            return true;
    if (slot - window < 0) {
        const std::int32_t rest = std::min(window - slot, 46);
        const std::uint32_t yesterday = now.day <= 1 ? 7 : now.day - 1;
        for (const ParkOpt& opt : stand.opts)
            if (lf_sameFlightOption(opt, ac, yesterday) && lf_anySlot(opt.hh, 47 - rest, 47)) return true;
    }
    return false;
}

bool lf_callsignIsLive(const StaticAc& ac) {
    return (!ac.feedCs.empty() && staticPicks.liveCallsignSet.contains(ac.feedCs)) ||
           (!ac.text.empty() && staticPicks.liveCallsignSet.contains(ac.text));
}

void lf_reviewStatics(WeekSlot now) {
    for (const StaticAc& ac : engineLists.staticAcs) {
        if (ac.simState != SimState::active) continue;
        if (lf_callsignIsLive(ac)) {
            staticPicks.staticRemoveList.push_back({ac.cs, ac.sid});
            continue;
        }
        const auto own = lf_pickAt(ac.sid);
        if (own == staticPicks.staticAddList.end()) {
            const ParkPos* stand = gf_findStand(ac.sid);
            bool settled = false;
            if (stand != nullptr)
                for (const std::uint32_t id : stand->adjacent) {
                    const auto pick = lf_pickAt(id);
                    const ParkPos* next = gf_findStand(id);
                    if (pick == staticPicks.staticAddList.end() || next == nullptr) continue;
                    const double reach = gf_wingspanOf(pick->type) + gf_wingspanOf(ac.type);
                    if (reach > gf_distanceNm(Lalo{ac.standLat, ac.standLon}, Lalo{next->lat, next->lon})) {
                        lf_olderStays(now, ac, pick);
                        settled = true;
                        break;
                    }
                }
            if (settled) continue;
            if (stand == nullptr || !lf_stillFits(now, ac, *stand))
                staticPicks.staticRemoveList.push_back({ac.cs, ac.sid});
            else
                staticPicks.keptStaticList.push_back(lf_keptFrom(ac));
            continue;
        }
        if (own->airl == ac.airl && own->type == ac.type &&
            (ac.cs == own->cs + "*" || ac.cs == own->cs2 + "*")) {
            staticPicks.keptStaticList.push_back(lf_keptFrom(ac));
            staticPicks.staticAddList.erase(own);
        } else {
            lf_olderStays(now, ac, own);
        }
    }
}

// Kept aircraft that show their arriving flight and whose departure is due in the next half hour.
void lf_markLeavingFlights(WeekSlot now) {
    std::stable_sort(staticPicks.keptStaticList.begin(), staticPicks.keptStaticList.end(),
                     [](const KeptStatic& a, const KeptStatic& b) {
                         return a.parkedSince.weekIndex() > b.parkedSince.weekIndex();
                     });
    for (KeptStatic& kept : staticPicks.keptStaticList) {
        if (kept.text.empty() || kept.cs.find(kept.feedCs) == std::string::npos) continue;
        const ParkPos* stand = gf_findStand(kept.sid);
        if (stand == nullptr) continue;
        std::string c = kept.cs;
        if (!c.empty() && c.back() == '*') c.pop_back();
        // The search of this renewal may have marked the aircraft's own option as in use: it is looked
        // at all the same, or a standing flight could never be seen leaving.
        const auto option = std::find_if(stand->opts.begin(), stand->opts.end(), [&](const ParkOpt& o) {
            return o.day == now.day && o.cs == c && o.airl == kept.airl && o.type == kept.type;
        });
        if (option == stand->opts.end()) continue;
        if (now.halfHour + 1 <= 47) {
            kept.leaving = !option->hh.test(now.halfHour + 1);
        } else {
            const std::uint32_t tomorrow = now.day >= 7 ? 1 : now.day + 1;
            kept.leaving = std::none_of(stand->opts.begin(), stand->opts.end(), [&](const ParkOpt& o) {
                return o.day == tomorrow && o.airl == kept.airl && o.type == kept.type && o.hh.test(0);
            });
        }
    }
}

// A leaving flight's aircraft is replaced by one under its departure callsign that keeps the old
// aircraft's parked time (its offset is the half hours since it was parked).
void lf_replaceLeavingFlights(WeekSlot now) {
    for (const KeptStatic& kept : staticPicks.keptStaticList) {
        if (!kept.leaving) continue;
        std::int32_t offset = 0;
        if (now.valid() && kept.parkedSince.valid())
            offset = std::clamp(gf_weekSlotDifference(kept.parkedSince, now), 0, 47);
        staticPicks.staticAddList.push_back(
            StaticPick{kept.sid, offset, kept.airl, kept.type, kept.feedCs, kept.text, kept.reg, false});
        staticPicks.staticRemoveList.push_back({kept.cs, kept.sid});
    }
    std::erase_if(staticPicks.keptStaticList, [](const KeptStatic& k) { return k.leaving; });
}

void lf_trimToWanted(std::int64_t wanted) {
    std::int64_t excess =
        static_cast<std::int64_t>(staticPicks.staticAddList.size() + staticPicks.keptStaticList.size() +
                                  staticPicks.liveParkedList.size()) -
        wanted;
    while (excess >= 1) {
        if (!staticPicks.staticAddList.empty()) {
            staticPicks.staticAddList.pop_back();
        } else if (!staticPicks.keptStaticList.empty()) {
            staticPicks.staticRemoveList.push_back(
                {staticPicks.keptStaticList.back().cs, staticPicks.keptStaticList.back().sid});
            staticPicks.keptStaticList.pop_back();
        } else if (wanted > 0 && !staticPicks.liveParkedList.empty()) {
            const std::uint32_t sid = staticPicks.liveParkedList.back().sid;
            staticPicks.liveParkedList.pop_back();
            for (LiveAc& ac : engineLists.liveAcs)
                if (ac.simState == SimState::active && ac.phase == AcPhase::parked && ac.sid == sid) {
                    gf_log(
                        fmt::format("live parked {} at {} removed", gf_acLogText(ac), gf_standNameOf(sid)));
                    removeAircraftFromSim(ac);
                    break;
                }
        } else {
            break;
        }
        --excess;
    }
}

} // namespace

bool gf_publishStandPlan() {
    engineStatus.standPlanCount = staticPicks.staticAddList.size();
    return staticParkingState.busy.load();
}

bool gf_pickIsLater(WeekSlot now, std::int32_t pickOffset, WeekSlot parkedSince) {
    const WeekSlot pickTime = gf_weekSlotBefore(now, pickOffset);
    return pickTime.weekIndex() > parkedSince.weekIndex();
}

std::int64_t gf_wantedStaticCount() {
    const std::int64_t maxPark = MAX_PARK_SEL.value.load();
    const std::int32_t percentage = parking_percentage.value.load();
    if (maxPark <= 0) {
        engineStatus.maxParkCount = 0;
        engineStatus.maxParkPercent = percentage;
        staticPicks.wantedParkCount = 0;
        lf_repaint();
        return 0;
    }
    const std::int32_t custom = CUSTOM_PARKING_PERCENTAGE.value.load();
    const std::int64_t p = custom >= 0 ? custom : percentage;
    const std::int64_t stands = lf_standCount();
    std::int64_t n = 1;
    if (!(stands <= 1 || (stands <= 3 && p < 50)))
        n = gsl::narrow<std::int32_t>(
            std::llround(static_cast<double>(p) * static_cast<double>(stands) / 100.0));
    const std::int64_t wanted = std::min(maxPark, n);
    engineStatus.maxParkCount = gsl::narrow<std::int32_t>(wanted);
    engineStatus.maxParkPercent = lf_share(wanted, stands);
    staticPicks.wantedParkCount = gsl::narrow<std::int32_t>(wanted);
    lf_repaint();
    return wanted;
}

void lf_selectStatics(WeekSlot now, std::int64_t wanted, std::int64_t base) {
    staticPicks.fitReal = 0;
    staticPicks.fitSoft = -1;
    const bool week = WEEK.value.load();
    const bool soft = PARK_SOFT.value.load();
    lf_selectMode(now, wanted, base, true, true);
    if (week && lf_short(wanted, base)) lf_selectMode(now, wanted, base, true, false);
    if (soft && lf_short(wanted, base)) lf_selectMode(now, wanted, base, false, true);
    if (soft && week && lf_short(wanted, base)) lf_selectMode(now, wanted, base, false, false);
}

WeekSlot lf_logParkingTime() {
    const WeekSlot now = WeekSlot::fromPacked(currentWeekSlot.load());
    gf_log(fmt::format("\n{} (utc) It is day {} ({}), {:.1F} hours", gf_trafficClockNow(), now.day,
                       gf_weekdayName(static_cast<int>(now.day)),
                       gf_maxFitHours(static_cast<std::int32_t>(now.halfHour))));
    return now;
}

void lf_blockReservedStands() {
    const auto block = [](const std::string& name) {
        for (ParkPos& stand : parkPositions)
            if (stand.id == name) stand.blocked = true;
    };
    if (!parkAirport.reservedStandName.empty()) block(parkAirport.reservedStandName);
    const UserState user = gf_userStateCopy();
    const std::string userStand = gf_nearestStandName(Lalo{user.latitude, user.longitude});
    if (!userStand.empty() && userStand != parkAirport.reservedStandName) block(userStand);
}

void lf_calculateStaticParking() {
    const WeekSlot now = lf_logParkingTime();
    gf_disableParkingControlsFromEngine();
    staticPicks.staticAddList.clear();
    staticPicks.keptStaticList.clear();
    staticPicks.liveParkedList.clear();
    engineStatus.staticMeanHours = -1.0f;
    engineStatus.liveMeanHours = -1.0f;
    staticPicks.lastParkingWasWeek = false;
    lf_setMark(engineStatus.softMark, false);
    lf_setMark(engineStatus.weekMark, false);
    lf_repaint();

    gf_takeCallsignSnapshot();
    lf_clearStandMarks();
    lf_blockReservedStands();

    const std::int64_t wanted = gf_wantedStaticCount();
    if (wanted > static_cast<std::int64_t>(staticPicks.staticAddList.size()))
        lf_selectStatics(now, wanted, 0);
    lf_sortByOffset(false);
    if (static_cast<std::int64_t>(staticPicks.staticAddList.size()) > wanted)
        staticPicks.staticAddList.resize(static_cast<std::size_t>(wanted));

    if (!staticPicks.staticAddList.empty()) {
        const auto n = static_cast<std::int64_t>(staticPicks.staticAddList.size());
        gf_log(fmt::format("{} positions ({}% vs wanted {}%, with Max fit={:.1F} hours)\n", n,
                           lf_share(n, lf_standCount()), parking_percentage.value.load(),
                           MAX_FIT_FL.value.load()));
        lf_sortByOffset(true);
    } else {
        gf_log("no parking positions found");
        gf_enableParkingControlsFromEngine();
    }
    engineStatus.pendingStaticCount = staticPicks.staticAddList.size();
    engineStatus.standPlanCount = staticPicks.staticAddList.size();
    lf_repaint();
}

void gf_adjustParking() {
    const WeekSlot now = lf_logParkingTime();
    gf_takeCallsignSnapshot();
    staticPicks.lastParkingWasWeek = false;
    lf_setMark(engineStatus.softMark, false);
    lf_setMark(engineStatus.weekMark, false);

    staticPicks.staticRemoveList.clear();
    staticPicks.keptStaticList.clear();
    staticPicks.liveParkedList.clear();
    staticPicks.staticAddList.clear();

    for (ParkPos& stand : parkPositions) {
        stand.blocked = false;
        stand.held = false;
        stand.adjacentHeld = false;
        std::uint32_t k = 0;
        for (ParkOpt& opt : stand.opts) {
            opt.seq = ++k;
            opt.inUse = false;
        }
    }
    lf_blockReservedStands();
    const std::int64_t wanted = gf_wantedStaticCount();
    gf_buildLiveParkedList();

    if (wanted > 0 && static_cast<std::int64_t>(staticPicks.liveParkedList.size()) > wanted) {
        const std::int64_t excess = static_cast<std::int64_t>(staticPicks.liveParkedList.size()) - wanted;
        gf_showMessage(fmt::format("Parking adjustments: {} more live ac than wanted", excess), true);
        gf_removeLongestParkedLive(static_cast<std::uint64_t>(excess));
        gf_buildLiveParkedList();
    }
    for (const LiveParkedEntry& entry : staticPicks.liveParkedList)
        if (ParkPos* stand = gf_findStand(entry.sid)) {
            stand->held = true;
            for (const std::uint32_t id : stand->adjacent)
                if (ParkPos* next = gf_findStand(id)) next->adjacentHeld = true;
        }
    const auto base = static_cast<std::int64_t>(staticPicks.liveParkedList.size());
    if (wanted - static_cast<std::int64_t>(staticPicks.staticAddList.size()) != base)
        lf_selectStatics(now, wanted, base);

    lf_reviewStatics(now);
    lf_markLeavingFlights(now);
    lf_replaceLeavingFlights(now);
    lf_trimToWanted(wanted);
    lf_sortByOffset(true);

    gf_showMessage(fmt::format("Parking adjustments: {} to be removed, {} to be added\n",
                               staticPicks.staticRemoveList.size(), staticPicks.staticAddList.size()),
                   true);
    for (const StaticRemoval& removal : staticPicks.staticRemoveList)
        for (StaticAc& ac : engineLists.staticAcs)
            if (ac.sid == removal.sid &&
                (ac.simState == SimState::active || ac.simState == SimState::removingfromsim)) {
                // One already on its way out is not handed over twice.
                if (ac.simState == SimState::active) removeAircraftFromSim(ac);
                break;
            }
    staticPicks.staticRemoveList.clear();
    engineStatus.pendingStaticCount = staticPicks.staticAddList.size();
    engineStatus.standPlanCount = staticPicks.staticAddList.size();
    lf_repaint();
}

void gf_resetStaticParkingForTests() {
    staticPicks.keptStaticList.clear();
    staticPicks.staticRemoveList.clear();
    staticPicks.fitReal = 0;
    staticPicks.fitSoft = -1;
}
