#include "engine/base/stands.h"

#include "core/version.h"
#include "refdata/park_airport.h"
#include "refdata/park_airport_file.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

ParkAirport parkAirport;

namespace {

// Worker thread only: stand number -> position in parkPositions.
std::unordered_map<std::uint32_t, std::size_t> standIndex;

void lf_buildStandIndex() {
    standIndex.clear();
    standIndex.reserve(parkPositions.size());
    for (std::size_t i = 0; i < parkPositions.size(); ++i)
        standIndex.emplace(parkPositions[i].sid, i);
}

ParkPos* lf_lookUp(std::uint32_t sid) {
    const auto it = standIndex.find(sid);
    if (it == standIndex.end() || it->second >= parkPositions.size()) return nullptr;
    ParkPos& stand = parkPositions[it->second];
    return stand.sid == sid ? &stand : nullptr;
}

// Worker thread only: stand number -> the live aircraft that occupies it.
std::unordered_map<std::uint32_t, std::uint32_t> standHolders;

// One publication: immutable once made.
struct StandSnapshot {
    struct Entry {
        std::string id;
        Lalo pos;
    };
    std::vector<Entry> stands;
};

constexpr double nearestStandLimitNm = 0.029697624190064796; // 55 m
constexpr double sameSpotDegrees = 1e-8;

std::mutex snapshotMutex; // guards the pointer and the cache, never the walk
std::shared_ptr<const StandSnapshot> snapshot = std::make_shared<const StandSnapshot>();
struct NearestCache {
    const StandSnapshot* of = nullptr;
    Lalo pos{};
    std::string name;
    bool valid = false;
} cache;

} // namespace

ParkPos* gf_findStand(std::uint32_t sid) {
    if (sid == 0) return nullptr;
    if (ParkPos* stand = lf_lookUp(sid)) return stand;
    // The list changed under the index (read, cleared, reordered): build it again once.
    lf_buildStandIndex();
    return lf_lookUp(sid);
}

std::string gf_standNameOf(std::uint32_t sid) {
    if (sid == 0) return "sid==0?";
    const ParkPos* stand = gf_findStand(sid);
    return stand != nullptr ? stand->id : "sid==?";
}

void gf_freeStand(std::uint32_t sid) {
    if (ParkPos* stand = gf_findStand(sid)) stand->occupied = false;
    standHolders.erase(sid);
}

void gf_occupyStand(std::uint32_t sid, std::uint32_t hexid) {
    ParkPos* stand = gf_findStand(sid);
    if (stand == nullptr) return;
    stand->occupied = true;
    standHolders[sid] = hexid;
}

void gf_releaseStand(std::uint32_t sid, std::uint32_t hexid) {
    ParkPos* stand = gf_findStand(sid);
    if (stand == nullptr || !stand->occupied) return;
    const auto it = standHolders.find(sid);
    if (it != standHolders.end() && it->second != hexid) return;
    stand->occupied = false;
    if (it != standHolders.end()) standHolders.erase(it);
}

std::uint32_t gf_standHolder(std::uint32_t sid) {
    const ParkPos* stand = gf_findStand(sid);
    if (stand == nullptr || !stand->occupied) return 0;
    const auto it = standHolders.find(sid);
    return it != standHolders.end() ? it->second : 0;
}

void gf_publishStandSnapshot() {
    auto next = std::make_shared<StandSnapshot>();
    next->stands.reserve(parkPositions.size());
    for (const ParkPos& stand : parkPositions)
        next->stands.push_back({stand.id, Lalo{stand.lat, stand.lon}});
    std::lock_guard lock(snapshotMutex);
    snapshot = std::move(next);
    cache = NearestCache{};
}

std::string gf_loadParkStands(ParkAirportRead read) {
    // Published whether the install returns or throws: the list may have changed either way.
    standHolders.clear();
    struct Publish {
        ~Publish() {
            lf_buildStandIndex();
            gf_publishStandSnapshot();
        }
    } publish;
    try {
        return parkAirport.install(std::move(read));
    } catch (const orv::UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readApf", e.what());
    }
}

std::string gf_loadParkStands(const std::string& reference) {
    return gf_loadParkStands(gf_readParkAirport(parkAirportCode, reference));
}

void gf_clearParkStands() {
    gf_clearParkPositions();
    standIndex.clear();
    standHolders.clear();
    gf_publishStandSnapshot();
}

std::string gf_nearestStandName(const Lalo& pos) {
    if (!userOnGround.load()) return {};
    std::shared_ptr<const StandSnapshot> stands;
    {
        std::lock_guard lock(snapshotMutex);
        stands = snapshot;
        if (cache.valid && cache.of == stands.get() && std::abs(cache.pos.lat - pos.lat) < sameSpotDegrees &&
            std::abs(cache.pos.lon - pos.lon) < sameSpotDegrees)
            return cache.name;
    }
    if (stands->stands.empty()) return {};
    const StandSnapshot::Entry* best = nullptr;
    double bestNm = nearestStandLimitNm;
    for (const auto& entry : stands->stands) {
        const double d = gf_distanceNm(pos, entry.pos);
        // The first of equally near stands is kept.
        if (best == nullptr ? d <= bestNm : d < bestNm) {
            bestNm = d;
            best = &entry;
        }
    }
    std::string name = best != nullptr ? best->id : std::string{};
    std::lock_guard lock(snapshotMutex);
    if (snapshot == stands) cache = NearestCache{stands.get(), pos, name, true};
    return name;
}

void gf_resetStandIndexForTests() {
    standIndex.clear();
    standHolders.clear();
    std::lock_guard lock(snapshotMutex);
    snapshot = std::make_shared<const StandSnapshot>();
    cache = NearestCache{};
}
