#include "engine/base/engine_tables.h"

#include "engine/base/ac_commands.h"
#include "engine/base/stands.h"

#include <algorithm>

TrafficLists engineLists;

void gf_clearLiveryCache() {
    engineLists.liveryCache.clear();
}

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
    return lf_find<LiveAc>(engineLists.liveAcs, liveIndex.byHexid, hexid, &LiveAc::hexid);
}

LiveAc* gf_findLiveByOid(std::uint32_t oid) {
    if (oid == 0) return nullptr;
    return lf_find<LiveAc>(engineLists.liveAcs, liveIndex.byOid, oid, &LiveAc::oid);
}

StaticAc* gf_findStaticByHexid(std::uint32_t hexid) {
    return lf_find<StaticAc>(engineLists.staticAcs, staticIndex.byHexid, hexid, &StaticAc::hexid);
}

StaticAc* gf_findStaticByOid(std::uint32_t oid) {
    if (oid == 0) return nullptr;
    return lf_find<StaticAc>(engineLists.staticAcs, staticIndex.byOid, oid, &StaticAc::oid);
}

LiveAc& gf_appendLiveAc(LiveAc record) {
    engineLists.liveAcs.push_back(std::move(record));
    liveIndex.add(engineLists.liveAcs.back(), engineLists.liveAcs.size() - 1);
    return engineLists.liveAcs.back();
}

StaticAc& gf_appendStaticAc(StaticAc record) {
    engineLists.staticAcs.push_back(std::move(record));
    staticIndex.add(engineLists.staticAcs.back(), engineLists.staticAcs.size() - 1);
    return engineLists.staticAcs.back();
}

std::vector<std::size_t> gf_staticsAtStand(std::uint32_t sid) {
    std::vector<std::size_t> positions;
    if (sid == 0) return positions;
    auto [from, to] = staticIndex.bySid.equal_range(sid);
    for (; from != to; ++from)
        if (from->second < engineLists.staticAcs.size() && engineLists.staticAcs[from->second].sid == sid)
            positions.push_back(from->second);
    std::sort(positions.begin(), positions.end());
    return positions;
}

void gf_setStaticStand(std::size_t position, std::uint32_t sid) {
    StaticAc& ac = engineLists.staticAcs.at(position);
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
    if (std::find(engineLists.coupledSearchQueue.begin(), engineLists.coupledSearchQueue.end(), hexid) ==
        engineLists.coupledSearchQueue.end())
        engineLists.coupledSearchQueue.push_back(hexid);
}

void gf_swapEraseStaticAc(std::size_t position) {
    lf_swapErase(engineLists.staticAcs, staticIndex, position);
}

namespace {

// Gives back everything a live record holds outside engineLists.liveAcs: the stand it holds (mark and
// holder), its queued creation and pending spawn, its set-up entry and its turn in the duplicate-check queue.
void lf_giveBack(const LiveAc& ac) {
    if (ac.sid != 0) gf_releaseStand(ac.sid, ac.hexid);
    std::erase(engineLists.pendingSpawns, ac.hexid);
    gf_dropQueuedCreate(engineLists.liveCreateQueue, ac.hexid);
    std::erase_if(engineLists.setupList, [&](const SimResult& s) {
        return s.kind == SimResultKind::liveObjectFound && s.value == ac.hexid;
    });
    std::erase(engineLists.coupledSearchQueue, ac.hexid);
}

// The only way live records leave engineLists.liveAcs: every record `erase` picks gives back what it holds
// and goes. keepOrder: the others keep their order (one pass over the list); else the last record takes the
// place of each one that goes.
template <class Pick> std::size_t lf_eraseLiveRecords(Pick erase, bool keepOrder) {
    std::size_t gone = 0;
    for (const LiveAc& ac : engineLists.liveAcs)
        if (erase(ac)) {
            lf_giveBack(ac);
            ++gone;
        }
    if (gone == 0) return 0;
    if (keepOrder) {
        std::erase_if(engineLists.liveAcs, erase);
        lf_reindex(engineLists.liveAcs, liveIndex);
        return gone;
    }
    for (std::size_t i = engineLists.liveAcs.size(); i-- > 0;)
        if (erase(engineLists.liveAcs[i])) lf_swapErase(engineLists.liveAcs, liveIndex, i);
    return gone;
}

} // namespace

void gf_eraseLiveAc(std::size_t position) {
    if (position >= engineLists.liveAcs.size()) return;
    const LiveAc* target = &engineLists.liveAcs[position];
    lf_eraseLiveRecords([target](const LiveAc& ac) { return &ac == target; }, false);
}

std::size_t gf_compactLiveAcs() {
    return lf_eraseLiveRecords([](const LiveAc& ac) { return ac.eraseNow || ac.eraseDropped; }, true);
}

void gf_reindexAircraft() {
    lf_reindex(engineLists.liveAcs, liveIndex);
    lf_reindex(engineLists.staticAcs, staticIndex);
}

void gf_reserveTrafficTables() {
    if (reserved) return;
    reserved = true;
    // Room for the busiest feeds (a thousand flights and more): a live record holds containers whose
    // moves may throw, so growing the list copies every record, a stall of milliseconds in one pass.
    engineLists.liveAcs.reserve(2048);
    engineLists.staticAcs.reserve(256);
    engineLists.setupList.reserve(128);
    engineLists.pendingSpawns.reserve(64);
    engineLists.ghostList.reserve(64);
    liveIndex.byHexid.reserve(4096);
    liveIndex.byOid.reserve(4096);
    staticIndex.byHexid.reserve(512);
    staticIndex.byOid.reserve(512);
    engineLists.liveryCache.reserve(512);
}

void gf_clearTrafficTables() {
    engineLists.setupList.clear();
    engineLists.ghostList.clear();
    engineLists.liveryCache.clear();
    engineLists.pendingSpawns.clear();
    engineLists.removalQueue.clear();
    engineLists.liveCreateQueue.clear();
    engineLists.staticCreateQueue.clear();
    engineLists.coupledSearchQueue.clear();
    engineLists.staticAcs.clear();
    engineLists.liveAcs.clear();
    liveIndex.clear();
    staticIndex.clear();
    engineLists.noMatchSet.clear();
    engineLists.selectedObjectId = 0;
    engineLists.engineUserState = UserState{};
}

void gf_resetTrafficTablesForTests() {
    gf_clearTrafficTables();
    reserved = false;
}
