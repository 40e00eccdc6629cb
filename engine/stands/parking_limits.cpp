#include "engine/stands/parking_limits.h"

#include "core/log.h"
#include "core/settings.h"
#include "core/timeutil.h"
#include "engine/base/ac_removal.h"
#include "engine/base/engine_clock.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/stands/static_picks.h"

#include <fmt/format.h>

#include <algorithm>
#include <unordered_set>

namespace {

bool lf_isParkedLive(const LiveAc& ac) {
    return ac.phase == AcPhase::parked && ac.simState == SimState::active;
}

bool lf_countsAsStaticParked(const StaticAc& ac) {
    return ac.simState == SimState::active || ac.simState == SimState::removingfromsim;
}

} // namespace

std::chrono::seconds gf_parkedFor(std::int64_t parkStartTicks) {
    const auto parked = gf_engineNow() - gf_engineTimeOf(parkStartTicks);
    return parked.count() > 0 ? std::chrono::duration_cast<std::chrono::seconds>(parked)
                              : std::chrono::seconds{0};
}

void gf_parkedLiveByTime(std::vector<ParkedLive>& out) {
    out.clear();
    for (const LiveAc& ac : engineLists.liveAcs)
        if (lf_isParkedLive(ac)) out.emplace_back(ac.hexid, gf_parkedFor(ac.parkStartTicks));
    std::stable_sort(out.begin(), out.end(),
                     [](const ParkedLive& a, const ParkedLive& b) { return a.second > b.second; });
}

void gf_enforceMaxPark(std::uint8_t extra) {
    const auto parked = static_cast<std::int64_t>(
        std::count_if(engineLists.liveAcs.begin(), engineLists.liveAcs.end(), lf_isParkedLive));
    const std::int32_t wanted = staticPicks.wantedParkCount;
    if (wanted < 1) return;
    if (!INITIAL_LOAD_ONLY.value.load() && parked + extra > wanted) {
        std::vector<ParkedLive> byTime;
        gf_parkedLiveByTime(byTime);
        if (!byTime.empty())
            if (LiveAc* ac = gf_findLiveByHexid(byTime.front().first);
                ac != nullptr && ac->simState == SimState::active) {
                gf_log(
                    fmt::format("{:8}: {} live max park exceeded, removed", gf_standNameOf(ac->sid), ac->cs));
                removeAircraftFromSim(*ac);
            }
    }
    const auto statics = static_cast<std::int64_t>(
        std::count_if(engineLists.staticAcs.begin(), engineLists.staticAcs.end(), lf_countsAsStaticParked));
    if (statics + parked + extra > wanted && !engineLists.staticAcs.empty()) {
        StaticAc* earliest = nullptr;
        for (StaticAc& ac : engineLists.staticAcs)
            if (earliest == nullptr || WeekSlot::fromPacked(ac.parkedSince).weekIndex() <
                                           WeekSlot::fromPacked(earliest->parkedSince).weekIndex())
                earliest = &ac;
        if (earliest->simState == SimState::active) {
            gf_log(fmt::format("{:8}: {} static max park exceeded, removed", gf_standNameOf(earliest->sid),
                               earliest->cs));
            removeAircraftFromSim(*earliest);
        }
    }
}

void gf_removeLongestParkedLive(std::uint64_t n) {
    std::vector<ParkedLive> byTime;
    gf_parkedLiveByTime(byTime);
    std::unordered_set<std::uint32_t> chosen;
    for (std::size_t i = 0; i < byTime.size() && i < n; ++i)
        chosen.insert(byTime[i].first);
    for (LiveAc& ac : engineLists.liveAcs)
        if (chosen.contains(ac.hexid)) {
            gf_log(fmt::format("live parked {} at {} removed", gf_acLogText(ac), gf_standNameOf(ac.sid)));
            removeAircraftFromSim(ac);
        }
}

std::uint64_t gf_countStaticParked(bool withMean) {
    const WeekSlot now = WeekSlot::fromPacked(currentWeekSlot.load());
    std::uint64_t count = 0;
    std::uint64_t halfHours = 0;
    for (const StaticAc& ac : engineLists.staticAcs) {
        if (!lf_countsAsStaticParked(ac)) continue;
        ++count;
        const WeekSlot since = WeekSlot::fromPacked(ac.parkedSince);
        if (withMean && since.valid() && now.valid() && now.weekIndex() >= since.weekIndex())
            halfHours += now.weekIndex() - since.weekIndex();
    }
    if (!withMean || staticPicks.lastParkingWasWeek) return count;
    const float mean =
        count == 0
            ? 0.0f
            : static_cast<float>(static_cast<double>(halfHours) / (2.0 * static_cast<double>(count)) + 0.5);
    if (engineStatus.staticMeanHours.load() != mean) {
        engineStatus.staticMeanHours = mean;
        if (const auto& repaint = gf_engineHooks().repaintStatus) repaint();
    }
    return count;
}

void gf_buildLiveParkedList() {
    staticPicks.liveParkedList.clear();
    const bool keepAll = INITIAL_LOAD_ONLY.value.load();
    for (LiveAc& ac : engineLists.liveAcs) {
        if (!lf_isParkedLive(ac)) continue;
        if (ac.standWatch.seenAtStand) {
            // The feed reports it at its stand: it stays as long as it is there.
            staticPicks.liveParkedList.push_back({ac.cs, ac.sid, 0});
            continue;
        }
        const auto minutes =
            std::chrono::duration_cast<std::chrono::minutes>(gf_parkedFor(ac.parkStartTicks));
        const std::int64_t limit = ac.sizeCat == SizeCategory::Heavy ? 180 : 90;
        if (keepAll || minutes.count() <= limit)
            staticPicks.liveParkedList.push_back({ac.cs, ac.sid, static_cast<std::int32_t>(minutes.count())});
        else
            removeAircraftFromSim(ac);
    }
    std::stable_sort(
        staticPicks.liveParkedList.begin(), staticPicks.liveParkedList.end(),
        [](const LiveParkedEntry& a, const LiveParkedEntry& b) { return a.minutes < b.minutes; });
}

void gf_resetParkingLimitsForTests() {
    staticPicks.wantedParkCount = 0;
    staticPicks.lastParkingWasWeek = false;
    staticPicks.liveParkedList.clear();
}
