#pragma once
// The life cycle of a live aircraft: the per-pass step, the spawn path of a buffered aircraft, its
// first placement, the ghost rules and the removal of all live traffic when RealTraffic is lost.

#include "engine/base/ac_records.h"

#include <cstdint>
#include <string>

// Lead times of a creation before the first sample is due: a taxiing aircraft, the others.
inline constexpr std::int64_t taxiSpawnLeadPasses = 300;
inline constexpr std::int64_t spawnLeadPasses = 100;
// More queued live creations than this hold back new aircraft in phase birth.
inline constexpr std::size_t liveCreateQueueLimit = 10;
// Consecutive failed updates that end an aircraft.
inline constexpr std::uint8_t maxFailedUpdates = 3;

// One step of one live aircraft; true when the record is to be erased (eraseNow or eraseDropped set).
// A failure (an exception, a position that is not finite) ends the step; the third failure in a row
// removes the aircraft.
bool updateLiveAc(LiveAc& ac);

// The decision for an aircraft in state buffer: wait, drop its front sample, erase it or spawn it.
void gf_spawnPath(LiveAc& ac);
// First placement: livery, phase, initial position, state adding2sim, the ghost removal.
void spawnLiveAc(LiveAc& ac);

// Removes the live aircraft whose callsign is `cs` followed by "_" and lists that callsign as a ghost.
void gf_removeGhost(const std::string& cs);
// True when a live aircraft not being removed carries `cs` without its last character.
bool gf_ghostTest(const std::string& cs);

// RealTraffic was lost: active live aircraft are removed, queued creations withdrawn (erased) and
// creations already sent marked for removal after their set-up.
void gf_removeLiveTraffic();
