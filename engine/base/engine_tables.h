#pragma once
// The traffic engine's containers: the aircraft lists and queues (one owner, engineLists) and their
// index. They live for the whole process and belong to the worker thread.
//
// The aircraft lists are indexed by transponder address and by simulator object id. Keep the index in
// step (it also indexes static aircraft by stand): append with gf_appendLiveAc / gf_appendStaticAc, erase
// with the erase functions below, change an object id with gf_setObjectId. Code that edits the lists in any
// other way calls gf_reindexAircraft.

#include "engine/base/ac_records.h"
#include "simlink/sim_link.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The engine's aircraft lists and queues. Worker thread only: no lock guards them, and no other thread
// may touch them (the window thread posts requests to the engine's inbox instead); the one exception is
// selectedObjectId, an atomic the window thread reads.
struct TrafficLists {
    std::vector<LiveAc> liveAcs;
    std::vector<StaticAc> staticAcs;

    // Creations waiting for their turn (one every 500 ms; live ones first).
    std::deque<AiCreateRecord> liveCreateQueue;
    std::deque<AiCreateRecord> staticCreateQueue;
    // Object ids waiting for their removal (one every 100 ms).
    std::deque<std::uint32_t> removalQueue;
    // Addresses of spawned live aircraft waiting for their create record; taken from the back.
    std::vector<std::uint32_t> pendingSpawns;
    // New objects being set up (copies of their "found" results; counter = passes since found, -1 done).
    std::vector<SimResult> setupList;
    // Addresses of live aircraft waiting for the coupled-callsign search (one per second). Each live
    // aircraft waits there at most once, and leaves it when its record is erased.
    std::deque<std::uint32_t> coupledSearchQueue;
    // The livery chosen for an address, reused when the address is spawned again in this run.
    std::unordered_map<std::uint32_t, std::string_view> liveryCache;
    // Match keys for which no livery was found.
    std::set<std::string> noMatchSet;
    // Callsigns of aircraft taken out as ghosts.
    std::vector<std::string> ghostList;
    // The object id chosen in the callsign box (0: none); read by the window thread.
    std::atomic<std::uint32_t> selectedObjectId{0};
    // The engine's copy of the user aircraft's state, refreshed every 100 passes.
    UserState engineUserState;
};

extern TrafficLists engineLists;

// ---- Finding and keeping records ------------------------------------------------------------------

LiveAc* gf_findLiveByHexid(std::uint32_t hexid);
// Queues the live aircraft for the coupled search and the static duplicate check, unless it waits
// there already (its turn then sees its state at that time).
void gf_queueCoupledSearch(std::uint32_t hexid);
LiveAc* gf_findLiveByOid(std::uint32_t oid);
StaticAc* gf_findStaticByHexid(std::uint32_t hexid);
StaticAc* gf_findStaticByOid(std::uint32_t oid);

LiveAc& gf_appendLiveAc(LiveAc record);
StaticAc& gf_appendStaticAc(StaticAc record);
// Positions in staticAcs of the static aircraft at stand `sid`, in list order (none for stand 0).
std::vector<std::size_t> gf_staticsAtStand(std::uint32_t sid);
// Moves the static aircraft at `position` to stand `sid`, keeping the stand index in step.
void gf_setStaticStand(std::size_t position, std::uint32_t sid);
// Sets the record's object id (live or static, by its address) and the index with it. Ids 0 are not
// indexed.
void gf_setObjectId(StaticAc& record, std::uint32_t oid);
// The two ways a live record leaves liveAcs. Either gives back everything the record holds outside the
// list first: the stand it holds (occupied mark and holder), its queued creation and pending spawn, its
// set-up entry and its duplicate-check turn. Erase live records in no other way.
// The live record at `position` goes; the last record takes its place.
void gf_eraseLiveAc(std::size_t position);
// Every live record whose eraseNow or eraseDropped flag is set goes, the others keep their order;
// returns how many went.
std::size_t gf_compactLiveAcs();
// The last record takes the place of the erased one.
void gf_swapEraseStaticAc(std::size_t position);
// Builds the index again from the lists.
void gf_reindexAircraft();

// ---- Reserve and clear (the engine's reset, engine_reset, calls these) ---------------------------------

// Once per process: room for the usual numbers of aircraft, results and lists.
void gf_reserveTrafficTables();
// Every list, queue, set and index emptied (capacity kept), the selected id 0, the engine's user state
// cleared.
void gf_clearTrafficTables();

// Empties the livery cache: the daily step, so that a long run does not hold every address it ever saw.
void gf_clearLiveryCache();

// Tests only: the tables emptied and the reservation forgotten.
void gf_resetTrafficTablesForTests();
