#include "engine/engine_tables.h"
#include "engine/static_driver.h"
#include "engine/static_parking.h"

#include "engine/ac_commands.h"
#include "engine/conflicts.h"
#include "engine/stand_search.h"
#include "engine/stands.h"

#include "core/log.h"
#include "core/timeutil.h"
#include "engine/engine_clock.h"
#include "engine/engine_requests.h"
#include "engine/engine_status.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "refdata/park_airport.h"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>
#include <optional>

std::vector<LiveAc> liveAcs;
std::vector<StaticAc> staticAcs;
std::deque<AiCreateRecord> liveCreateQueue;
std::deque<AiCreateRecord> staticCreateQueue;
std::deque<std::uint32_t> removalQueue;
std::vector<std::uint32_t> pendingSpawns;
std::vector<SimResult> setupList;
std::deque<std::uint32_t> coupledSearchQueue;
std::unordered_map<std::uint32_t, std::string_view> liveryCache;

void gf_clearLiveryCache() {
    liveryCache.clear();
}
std::set<std::string> noMatchSet;
std::vector<std::string> ghostList;
std::atomic<std::uint32_t> selectedObjectId{0};
UserState engineUserState;

namespace {

// Position in the list by transponder address and by object id (ids 0 are not kept).
struct AcIndex {
    std::unordered_map<std::uint32_t, std::uint32_t> byHexid;
    std::unordered_map<std::uint32_t, std::uint32_t> byOid;
    std::unordered_multimap<std::uint32_t, std::uint32_t> bySid; // stands 0 are not kept

    void clear() {
        byHexid.clear();
        byOid.clear();
        bySid.clear();
    }
    void add(const StaticAc& ac, std::size_t position) {
        const auto p = static_cast<std::uint32_t>(position);
        byHexid[ac.hexid] = p;
        if (ac.oid != 0) byOid[ac.oid] = p;
        if (ac.sid != 0) bySid.emplace(ac.sid, p);
    }
    // Forgets the record at `position` (only the entries that still point to it).
    void remove(const StaticAc& ac, std::size_t position) {
        const auto p = static_cast<std::uint32_t>(position);
        if (auto it = byHexid.find(ac.hexid); it != byHexid.end() && it->second == p) byHexid.erase(it);
        if (ac.oid != 0)
            if (auto it = byOid.find(ac.oid); it != byOid.end() && it->second == p) byOid.erase(it);
        if (ac.sid != 0) {
            auto [from, to] = bySid.equal_range(ac.sid);
            for (; from != to; ++from)
                if (from->second == p) {
                    bySid.erase(from);
                    break;
                }
        }
    }
};

AcIndex liveIndex;
AcIndex staticIndex;
bool reserved = false;

template <class Ac>
Ac* lf_find(std::vector<Ac>& list, const std::unordered_map<std::uint32_t, std::uint32_t>& map,
            std::uint32_t key, std::uint32_t Ac::*field) {
    const auto it = map.find(key);
    if (it == map.end() || it->second >= list.size()) return nullptr;
    Ac& ac = list[it->second];
    return ac.*field == key ? &ac : nullptr;
}

template <class Ac> void lf_reindex(const std::vector<Ac>& list, AcIndex& index) {
    index.clear();
    for (std::size_t i = 0; i < list.size(); ++i)
        index.add(list[i], i);
}

template <class Ac> void lf_swapErase(std::vector<Ac>& list, AcIndex& index, std::size_t position) {
    if (position >= list.size()) return;
    index.remove(list[position], position);
    const std::size_t last = list.size() - 1;
    if (position != last) {
        index.remove(list[last], last);
        list[position] = std::move(list[last]);
        index.add(list[position], position);
    }
    list.pop_back();
}

} // namespace

LiveAc* gf_findLiveByHexid(std::uint32_t hexid) {
    return lf_find<LiveAc>(liveAcs, liveIndex.byHexid, hexid, &LiveAc::hexid);
}

LiveAc* gf_findLiveByOid(std::uint32_t oid) {
    if (oid == 0) return nullptr;
    return lf_find<LiveAc>(liveAcs, liveIndex.byOid, oid, &LiveAc::oid);
}

StaticAc* gf_findStaticByHexid(std::uint32_t hexid) {
    return lf_find<StaticAc>(staticAcs, staticIndex.byHexid, hexid, &StaticAc::hexid);
}

StaticAc* gf_findStaticByOid(std::uint32_t oid) {
    if (oid == 0) return nullptr;
    return lf_find<StaticAc>(staticAcs, staticIndex.byOid, oid, &StaticAc::oid);
}

LiveAc& gf_appendLiveAc(LiveAc record) {
    liveAcs.push_back(std::move(record));
    liveIndex.add(liveAcs.back(), liveAcs.size() - 1);
    return liveAcs.back();
}

StaticAc& gf_appendStaticAc(StaticAc record) {
    staticAcs.push_back(std::move(record));
    staticIndex.add(staticAcs.back(), staticAcs.size() - 1);
    return staticAcs.back();
}

std::vector<std::size_t> gf_staticsAtStand(std::uint32_t sid) {
    std::vector<std::size_t> positions;
    if (sid == 0) return positions;
    auto [from, to] = staticIndex.bySid.equal_range(sid);
    for (; from != to; ++from)
        if (from->second < staticAcs.size() && staticAcs[from->second].sid == sid)
            positions.push_back(from->second);
    std::sort(positions.begin(), positions.end());
    return positions;
}

void gf_setStaticStand(std::size_t position, std::uint32_t sid) {
    StaticAc& ac = staticAcs.at(position);
    staticIndex.remove(ac, position);
    ac.sid = sid;
    staticIndex.add(ac, position);
}

void gf_setObjectId(StaticAc& record, std::uint32_t oid) {
    const bool live = gf_isLiveHexid(record.hexid);
    AcIndex& index = live ? liveIndex : staticIndex;
    const auto hit = index.byHexid.find(record.hexid);
    if (record.oid != 0)
        if (auto it = index.byOid.find(record.oid);
            it != index.byOid.end() && hit != index.byHexid.end() && it->second == hit->second)
            index.byOid.erase(it);
    record.oid = oid;
    if (oid != 0 && hit != index.byHexid.end()) index.byOid[oid] = hit->second;
}

void gf_queueCoupledSearch(std::uint32_t hexid) {
    if (std::find(coupledSearchQueue.begin(), coupledSearchQueue.end(), hexid) == coupledSearchQueue.end())
        coupledSearchQueue.push_back(hexid);
}

void gf_swapEraseStaticAc(std::size_t position) {
    lf_swapErase(staticAcs, staticIndex, position);
}

namespace {

// Gives back everything a live record holds outside liveAcs: the stand it holds (mark and holder), its
// queued creation and pending spawn, its set-up entry and its turn in the duplicate-check queue.
void lf_giveBack(const LiveAc& ac) {
    if (ac.sid != 0) gf_releaseStand(ac.sid, ac.hexid);
    std::erase(pendingSpawns, ac.hexid);
    gf_dropQueuedCreate(liveCreateQueue, ac.hexid);
    std::erase_if(setupList, [&](const SimResult& s) {
        return s.kind == SimResultKind::liveObjectFound && s.value == ac.hexid;
    });
    std::erase(coupledSearchQueue, ac.hexid);
}

// The only way live records leave liveAcs: every record `erase` picks gives back what it holds and goes.
// keepOrder: the others keep their order (one pass over the list); else the last record takes the place
// of each one that goes.
template <class Pick> std::size_t lf_eraseLiveRecords(Pick erase, bool keepOrder) {
    std::size_t gone = 0;
    for (const LiveAc& ac : liveAcs)
        if (erase(ac)) {
            lf_giveBack(ac);
            ++gone;
        }
    if (gone == 0) return 0;
    if (keepOrder) {
        std::erase_if(liveAcs, erase);
        lf_reindex(liveAcs, liveIndex);
        return gone;
    }
    for (std::size_t i = liveAcs.size(); i-- > 0;)
        if (erase(liveAcs[i])) lf_swapErase(liveAcs, liveIndex, i);
    return gone;
}

} // namespace

void gf_eraseLiveAc(std::size_t position) {
    if (position >= liveAcs.size()) return;
    const LiveAc* target = &liveAcs[position];
    lf_eraseLiveRecords([target](const LiveAc& ac) { return &ac == target; }, false);
}

std::size_t gf_compactLiveAcs() {
    return lf_eraseLiveRecords([](const LiveAc& ac) { return ac.eraseNow || ac.eraseDropped; }, true);
}

void gf_reindexAircraft() {
    lf_reindex(liveAcs, liveIndex);
    lf_reindex(staticAcs, staticIndex);
}

void gf_reserveTrafficContainers() {
    if (reserved) return;
    reserved = true;
    liveAcs.reserve(512);
    staticAcs.reserve(256);
    setupList.reserve(128);
    pendingSpawns.reserve(64);
    ghostList.reserve(64);
    parkPositions.reserve(512);
    staticAddList.reserve(512);
    liveIndex.byHexid.reserve(1024);
    liveIndex.byOid.reserve(1024);
    staticIndex.byHexid.reserve(512);
    staticIndex.byOid.reserve(512);
    liveryCache.reserve(512);
    std::lock_guard lock(simResultMutex);
    simResults.reserve(256);
}

namespace {

void lf_clearEngineLists() {
    {
        std::lock_guard lock(simResultMutex);
        simResults.clear();
    }
    setupList.clear();
    ghostList.clear();
    liveryCache.clear();
    pendingSpawns.clear();
    removalQueue.clear();
    liveCreateQueue.clear();
    staticCreateQueue.clear();
    coupledSearchQueue.clear();
    staticAcs.clear();
    liveAcs.clear();
    liveIndex.clear();
    staticIndex.clear();
    noMatchSet.clear();
    selectedObjectId = 0;
    engineUserState = UserState{};
    gf_dropEngineRequests();
    // A renewal of the last run never reaches the next one.
    renewalCollecting = false;
    renewalPending = false;
    calculationRequested = false;
}

} // namespace

void gf_clearLiveState() {
    trafficReader.clearParkAirport();
    trafficReader.setParkAirportElevation(std::nullopt);
    // The park airport is left with everything read or planned for it: a closing down that failed before
    // its leave step must not hand the next run an airport that looks set, with stands and no statics.
    // Leaving it properly first keeps what was learned at its stands (the leave step saves it).
    if (parkAirportLoaded.load() || !parkAirportCode.empty()) {
        try {
            gf_leaveParkAirport();
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{}: {}", "gf_clearLiveState", e.what()));
        }
    }
    parkAirportCode.clear();
    currentParkAirport = Airport{};
    parkAirportLoaded = false;
    gf_clearParkStands();
    staticAddList.clear();
    lf_clearEngineLists();
    {
        std::lock_guard lock(addingStackMutex);
        addingStack.clear();
    }
    currentWeekSlot = 0;
    currentQnh = 1013;
    if (const auto& repaint = gf_engineHooks().repaintStatus) repaint();
}

void gf_resetEngineForTests() {
    lf_clearEngineLists();
    {
        std::lock_guard lock(addingStackMutex);
        addingStack.clear();
    }
    enginePassCount = 0;
    reserved = false;
    engineStatus.reset();
    gf_resetEngineHooks();
    gf_resetEngineClockForTests();
    gf_resetConflictsForTests();
    gf_resetStaticDriverForTests();
    gf_resetStaticParkingForTests();
}
