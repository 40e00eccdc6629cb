#pragma once
// The traffic engine's containers. They live for the whole process and belong to the worker thread:
// no lock guards them, and no other thread may touch them (the window thread posts requests instead).
//
// The aircraft lists are indexed by transponder address and by simulator object id. Keep the index in
// step (it also indexes static aircraft by stand): append with gf_appendLiveAc / gf_appendStaticAc, erase
// with the erase functions below, change an object id with gf_setObjectId. Code that edits the lists in any
// other way calls gf_reindexAircraft.

#include "engine/ac_records.h"
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

extern std::vector<LiveAc> liveAcs;
extern std::vector<StaticAc> staticAcs;

// Creations waiting for their turn (one every 500 ms; live ones first).
extern std::deque<AiCreateRecord> liveCreateQueue;
extern std::deque<AiCreateRecord> staticCreateQueue;
// Object ids waiting for their removal (one every 100 ms).
extern std::deque<std::uint32_t> removalQueue;
// Addresses of spawned live aircraft waiting for their create record; taken from the back.
extern std::vector<std::uint32_t> pendingSpawns;
// New objects being set up (copies of their "found" results; counter = passes since found, -1 done).
extern std::vector<SimResult> setupList;
// Addresses of live aircraft waiting for the coupled-callsign search (one per second). Each live
// aircraft waits there at most once, and leaves it when its record is erased.
extern std::deque<std::uint32_t> coupledSearchQueue;
// The livery chosen for an address, reused when the address is spawned again in this run.
extern std::unordered_map<std::uint32_t, std::string_view> liveryCache;
// Match keys for which no livery was found.
extern std::set<std::string> noMatchSet;
// Callsigns of aircraft taken out as ghosts.
extern std::vector<std::string> ghostList;
// The object id chosen in the callsign box (0: none); read by the window thread.
extern std::atomic<std::uint32_t> selectedObjectId;
// The engine's copy of the user aircraft's state, refreshed every 100 passes.
extern UserState engineUserState;

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

// ---- Reserve and reset ----------------------------------------------------------------------------

// Once per process: room for the usual numbers of aircraft, results and lists.
void gf_reserveTrafficContainers();
// The reset of a new flight or run: every list, queue and set emptied (capacity kept), the park airport
// and the feed's park-airport block cleared, the QNH 1013, the week slot and the selected id 0. The pass
// counter is kept.
void gf_clearLiveState();

// Empties the livery cache: the daily step, so that a long run does not hold every address it ever saw.
void gf_clearLiveryCache();

// Tests only: gf_clearLiveState without the feed and log, the pass counter 0, the reservation flag
// lowered, the requests dropped, the hooks and the status back to their start, the clock the real one.
void gf_resetEngineForTests();
