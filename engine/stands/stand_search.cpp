#include "engine/stands/stand_search.h"

#include "core/log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/stands/parking_limits.h"
#include "engine/stands/stand_clearing.h"
#include "engine/stands/stand_options.h"
#include "engine/stands/static_picks.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "refdata/type_lookups.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <random>

namespace {

constexpr double tooSmallMarginNm = 0.0009719222462203025; // 1.8 m
constexpr double tooSmallReachNm = 0.010799136069114472;   // 20 m
constexpr double optionReachNm = 0.0458963282937365;       // 85 m

std::string lf_withoutTrailingUnderscore(std::string_view text) {
    if (!text.empty() && text.back() == '_') text.remove_suffix(1);
    return std::string(text);
}

// The callsign is in the set as it is or with "_" appended.
bool lf_isCallsignInSet(const std::string& cs) {
    return staticPicks.liveCallsignSet.contains(cs) || staticPicks.liveCallsignSet.contains(cs + "_");
}

// Both texts non-empty and equal.
bool lf_sameText(const std::string& a, const std::string& b) {
    return !a.empty() && a == b;
}

// The pick shows the option's flight: the same registration, or an arrival or departure callsign of
// the one is one of the other.
bool lf_pickShowsFlight(const StaticPick& pick, const ParkOpt& opt) {
    return lf_sameText(pick.reg, opt.reg) || lf_sameText(pick.cs, opt.cs) || lf_sameText(pick.cs, opt.cs2) ||
           lf_sameText(pick.cs2, opt.cs) || lf_sameText(pick.cs2, opt.cs2);
}

// The active static aircraft at the stand (the first in list order), or nullptr.
const StaticAc* lf_activeStaticAt(std::uint32_t sid) {
    for (const std::size_t position : gf_staticsAtStand(sid))
        if (engineLists.staticAcs[position].simState == SimState::active)
            return &engineLists.staticAcs[position];
    return nullptr;
}

// An active static aircraft on a neighbouring stand would touch an aircraft of `type` here.
bool lf_adjacentStaticTooClose(const ParkPos& stand, const std::string& type) {
    for (const std::uint32_t id : stand.adjacent) {
        const StaticAc* other = lf_activeStaticAt(id);
        if (other == nullptr) continue;
        const double d = gf_distanceNm(Lalo{other->standLat, other->standLon}, Lalo{stand.lat, stand.lon});
        if (d < gf_wingspanOf(other->type) + gf_wingspanOf(type)) return true;
    }
    return false;
}

// With RANDOM: the option of the stand that its static aircraft came from, so that it keeps it.
std::optional<std::uint32_t> lf_optionOfStaticHere(const ParkPos& stand) {
    for (const std::size_t position : gf_staticsAtStand(stand.sid)) {
        const StaticAc& ac = engineLists.staticAcs[position];
        for (const ParkOpt& opt : stand.opts)
            if (gf_isSameAirlType(opt.airl, opt.type, ac) &&
                (gf_equalsWithStar(opt.cs, ac.cs) || gf_equalsWithStar(opt.cs2, ac.cs)))
                return opt.seq;
    }
    return std::nullopt;
}

bool lf_stays(const ParkPos& stand, const ParkOpt& opt, WeekSlot now) {
    if (opt.cs2.empty()) return true;
    std::uint32_t n = now.halfHour + 1;
    if (n <= 47) return opt.hh.test(n);
    const std::uint32_t nextDay = now.day >= 7 ? 1 : now.day + 1;
    return std::any_of(stand.opts.begin(), stand.opts.end(), [&](const ParkOpt& o) {
        return o.seq > 0 && o.day == nextDay && o.airl == opt.airl && o.type == opt.type && o.hh.test(0);
    });
}

} // namespace

void gf_takeCallsignSnapshot() {
    staticPicks.liveCallsignSet.clear();
    staticPicks.liveCallsignSet = trafficReader.takeCollectedCallsigns();
    // The feed's records wait in the adding stack for their due pass (half a minute): the aircraft
    // reported while the callsigns were gathered are not live aircraft of the engine yet.
    staticPicks.liveRegistrationSet.clear();
    for (const LiveAc& ac : engineLists.liveAcs)
        if (!ac.reg.empty()) staticPicks.liveRegistrationSet.insert(ac.reg);
    std::lock_guard lock(addingStackMutex);
    for (const TrafficRecord& record : addingStack)
        if (!record.reg.empty()) staticPicks.liveRegistrationSet.insert(record.reg);
}

void lf_searchForCoupledCsAroundThisTime(WeekSlot now, AcData& ac) {
    try {
        const std::int32_t w = ac.sizeCat == SizeCategory::Heavy ? 14 : 10;
        const auto from = static_cast<std::uint32_t>(
            std::max<std::int32_t>(static_cast<std::int32_t>(now.halfHour) - w, 0));
        const auto to = static_cast<std::uint32_t>(
            std::min<std::int32_t>(static_cast<std::int32_t>(now.halfHour) + w, 47));
        HalfHourSet window;
        for (std::uint32_t h = from; h <= to; ++h)
            window.set(h);
        const std::string cs = lf_withoutTrailingUnderscore(ac.cs);
        for (const ParkPos& stand : parkPositions)
            for (const ParkOpt& opt : stand.opts) {
                if (opt.seq == 0 || opt.day != now.day || (opt.hh & window).none() || opt.airl != ac.airl ||
                    opt.cs2.empty() || (cs != opt.cs && cs != opt.cs2))
                    continue;
                ac.feedCs = opt.cs;
                ac.text = opt.cs2;
                return;
            }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "lf_searchForCoupledCsAroundThisTime", e.what()));
    }
}

LiveAc* gf_coupledSearchStep(WeekSlot now) {
    if (engineLists.coupledSearchQueue.empty()) return nullptr;
    const std::uint32_t hexid = engineLists.coupledSearchQueue.front();
    engineLists.coupledSearchQueue.pop_front();
    LiveAc* ac = gf_findLiveByHexid(hexid);
    if (ac == nullptr) return nullptr;
    if (!ac->identFlag) {
        lf_searchForCoupledCsAroundThisTime(now, *ac);
        ac->identFlag = true;
    }
    return ac;
}

bool lf_isOptionInUse(const ParkOpt& opt) {
    return lf_isOptionPicked(opt, staticPicks.staticAddList) || lf_isOptionShownElsewhere(opt);
}

bool lf_isOptionPicked(const ParkOpt& opt, const std::vector<StaticPick>& picks) {
    for (const StaticPick& pick : staticPicks.staticAddList)
        if (lf_pickShowsFlight(pick, opt)) return true;
    // The search's own picks of this call, when they go to a list of their own.
    if (&picks != &staticPicks.staticAddList)
        for (const StaticPick& pick : picks)
            if (lf_pickShowsFlight(pick, opt)) return true;
    return false;
}

bool lf_isOptionShownElsewhere(const ParkOpt& opt) {
    if (!opt.cs.empty() && lf_isCallsignInSet(opt.cs)) return true;
    if (!opt.cs2.empty() && lf_isCallsignInSet(opt.cs2)) return true;
    // The aircraft flies (or stands) under another callsign: a static twin would be removed as soon
    // as the live one is created.
    if (!opt.reg.empty() && staticPicks.liveRegistrationSet.contains(opt.reg)) return true;
    // Empty texts are no identity: an option without a coupled callsign or registration is not in use
    // because some aircraft lacks one too.
    for (const StaticAc& ac : engineLists.staticAcs)
        if (lf_sameText(ac.feedCs, opt.cs) || lf_sameText(ac.feedCs, opt.cs2) || lf_sameText(ac.reg, opt.reg))
            return true;
    for (const LiveParkedEntry& entry : staticPicks.liveParkedList)
        if (lf_sameText(entry.cs, opt.cs) || lf_sameText(entry.cs, opt.cs2)) return true;
    return false;
}

void lf_searchStands(WeekSlot now, std::uint32_t realMode, std::uint32_t dayOnly, std::int32_t offset,
                     std::vector<StaticPick>& out) {
    try {
        std::int32_t h = static_cast<std::int32_t>(now.halfHour) - offset;
        std::uint32_t d = now.day;
        if (h < 0) {
            h += 48;
            d = d <= 1 ? 7 : d - 1;
        }
        const bool helicopters = HELICOPTERS.value.load();
        const bool random = RANDOM.value.load();
        std::vector<std::uint32_t> candidates;
        for (ParkPos& stand : parkPositions) {
            if (stand.blocked || stand.held) continue;
            if ((stand.heli && !helicopters) || stand.adjacentHeld) continue;
            candidates.clear();
            for (const ParkOpt& opt : stand.opts) {
                if (opt.seq == 0 || opt.inUse || (dayOnly == 1 && opt.day != d)) continue;
                if ((realMode == 1 && opt.real != 1) || (realMode == 0 && opt.real != 0)) continue;
                if (h >= 48 || !opt.hh.test(static_cast<std::size_t>(h))) continue;
                if (lf_adjacentStaticTooClose(stand, opt.type)) continue;
                candidates.push_back(opt.seq);
            }
            if (candidates.empty()) continue;
            if (candidates.size() >= 2 && random) {
                if (const auto kept = lf_optionOfStaticHere(stand))
                    candidates.front() = *kept;
                else
                    for (std::size_t i = 1; i < candidates.size(); ++i) {
                        std::uniform_int_distribution<std::size_t> pick(0, i);
                        std::swap(candidates[i], candidates[pick(gf_randomEngine())]);
                    }
            }
            // An option in use is marked for the rest of the calculation (it stays a learned flight, and
            // is written when the airport is left). A flight live in the feed
            // or shown by a static or parked live aircraft leaves the stand without a pick in this call
            // (a static aircraft standing here keeps it); a flight this calculation has picked for
            // another stand leaves it to the next flight seen here at this half hour.
            ParkOpt* chosen = nullptr;
            for (const std::uint32_t seq : candidates) {
                ParkOpt* opt = gf_findOption(stand.opts, seq);
                if (opt == nullptr) break;
                if (lf_isOptionShownElsewhere(*opt)) {
                    opt->inUse = true;
                    break;
                }
                if (!lf_isOptionPicked(*opt, out)) {
                    chosen = opt;
                    break;
                }
                opt->inUse = true;
            }
            if (chosen == nullptr) continue;
            out.push_back(StaticPick{stand.sid, offset, chosen->airl, chosen->type, chosen->cs, chosen->cs2,
                                     chosen->reg, lf_stays(stand, *chosen, now)});
            stand.held = true;
            for (const std::uint32_t id : stand.adjacent)
                if (ParkPos* next = gf_findStand(id)) next->adjacentHeld = true;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: day: [{},{}], offset {}: {}", "lf_searchStands", now.day, now.halfHour,
                                offset, e.what()));
    }
}

ParkPos* gf_findStandForAircraft(const Lalo& pos, const AcData& ac, double maxDistNm, bool byOption) {
    double best = 900.0;
    double fallbackBest = 900.0;
    bool fallbackOn = byOption;
    ParkPos* taken = nullptr;
    ParkPos* fallback = nullptr;
    ParkPos* tooSmall = nullptr;
    // Stands beyond every reach are passed over without the great-circle distance: a box of the reach
    // around the position (with a margin for the box's flat-earth sides).
    const double reachDegrees = std::max(maxDistNm, byOption ? optionReachNm : 0.0) / 60.0 * 1.02;
    const double cosLat = std::max(std::cos(pos.lat * radiansPerDegree), 1e-6);
    for (ParkPos& stand : parkPositions) {
        if (stand.occupied && !gf_occupiedStandOpenTo(stand, ac)) continue;
        const double dLon = std::abs(stand.lon - pos.lon);
        if (std::abs(stand.lat - pos.lat) > reachDegrees ||
            std::min(dLon, 360.0 - dLon) * cosLat > reachDegrees)
            continue;
        const double d = gf_distanceNm(pos, Lalo{stand.lat, stand.lon});
        const bool fits = ac.halfSize - stand.radius <= tooSmallMarginNm;
        if (d <= maxDistNm && d < best && (fits || d <= tooSmallReachNm)) {
            taken = &stand;
            tooSmall = fits ? nullptr : &stand;
            best = d;
            fallbackOn = false;
        } else if (fallbackOn && d <= optionReachNm && d < fallbackBest && fits && !ac.cs.empty()) {
            if (std::any_of(stand.opts.begin(), stand.opts.end(),
                            [&](const ParkOpt& opt) { return gf_optionMatches(ac.cs, ac, opt); }))
                fallback = &stand;
            fallbackBest = d;
        }
    }
    ParkPos* result = taken != nullptr ? taken : fallback;
    if (result == nullptr) return nullptr;
    const bool rotorcraft = ac.sizeCat == SizeCategory::Rotorcraft;
    if (result->heli != rotorcraft) return nullptr;
    if (result == tooSmall) {
        result->radius = ac.halfSize - nmPerMetre;
        result->radius_change = true;
        gf_countStandUpdate();
    }
    return result;
}

std::vector<std::uint32_t>::const_iterator
gf_adjacentLiveConflict(const std::vector<std::uint32_t>& ids, const ParkPos& stand, const AcData& arriving) {
    for (auto it = ids.begin(); it != ids.end(); ++it) {
        const ParkPos* next = gf_findStand(*it);
        if (next == nullptr || (next->lat == 0 && next->lon == 0) || (stand.lat == 0 && stand.lon == 0))
            continue;
        const double d = gf_distanceNm(Lalo{next->lat, next->lon}, Lalo{stand.lat, stand.lon});
        for (const LiveAc& ac : engineLists.liveAcs) {
            if (ac.sid != *it || ac.simState != SimState::active) continue;
            if (ac.phase != AcPhase::parked && ac.phase != AcPhase::pushing_back) continue;
            if (ac.cs == arriving.cs) continue;
            if ((gf_wingspanOf(ac.type) + gf_wingspanOf(arriving.type)) * 1.1 >= d) return it;
        }
    }
    return ids.end();
}

namespace {

bool lf_optionOfToday(const AcData& ac, WeekSlot now, const ParkOpt& opt) {
    return opt.day == now.day && opt.reg == ac.reg && opt.airl == ac.airl && opt.type == ac.type;
}

bool lf_anyBetween(const HalfHourSet& hh, std::int32_t low, std::int32_t high) {
    for (std::int32_t h = high; h >= low; --h)
        if (h >= 0 && h < 48 && hh.test(static_cast<std::size_t>(h))) return true;
    return false;
}

} // namespace

bool gf_optionCoversRecentSlots(const AcData& ac, WeekSlot now, std::int32_t n, const ParkOpt& opt) {
    if (!lf_optionOfToday(ac, now, opt)) return false;
    const auto high = static_cast<std::int32_t>(now.halfHour);
    return lf_anyBetween(opt.hh, std::max(high - n, 0), high);
}

bool gf_optionCoversDayEnd(const AcData& ac, WeekSlot now, std::int32_t n, const ParkOpt& opt) {
    if (!lf_optionOfToday(ac, now, opt)) return false;
    const std::int32_t low = std::max(47 - n, 0);
    if (low > 47) return false;
    return lf_anyBetween(opt.hh, low, 47);
}

void gf_resetStandSearchForTests() {
    staticPicks.staticAddList.clear();
    staticPicks.liveCallsignSet.clear();
    staticPicks.liveRegistrationSet.clear();
}
