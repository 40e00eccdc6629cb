#pragma once
// Searching the park airport's stands: the coupled callsigns of an arriving flight, the stands for
// static parking, the stand an aircraft stands at and the conflicts with parked live aircraft next door.
// Worker thread.

#include "core/geodesy.h"
#include "core/timeutil.h"
#include "engine/base/ac_records.h"
#include "engine/stands/static_picks.h"
#include "refdata/parking_format.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

// Takes the callsigns the feed collected into staticPicks.liveCallsignSet (emptied first); ends the
// collection. The registrations of the live aircraft and of the waiting records go into
// staticPicks.liveRegistrationSet.
void gf_takeCallsignSnapshot();

// Fills the aircraft's feedCs and text with the arrival and departure callsign of the first option of
// today around now (14 half hours either side for a Heavy, else 10) of its airline naming its callsign.
void lf_searchForCoupledCsAroundThisTime(WeekSlot now, AcData& ac);

// The once-per-second step of the coupled search: takes the front of engineLists.coupledSearchQueue and, when
// its live aircraft is known and not searched yet, searches and sets its identFlag. The aircraft taken (for
// the duplicate check that follows), nullptr when the queue was empty or the address unknown.
LiveAc* gf_coupledSearchStep(WeekSlot now);

// Appends at most one pick per free stand for the slot `offset` half hours before now. realMode 1: real
// options only, 0: soft only, else both; dayOnly 1: options of that weekday only. No flight already in
// `out` or staticPicks.staticAddList is picked again: that stand takes its next candidate.
void lf_searchStands(WeekSlot now, std::uint32_t realMode, std::uint32_t dayOnly, std::int32_t offset,
                     std::vector<StaticPick>& out);

// The option may not be used: its registration or a callsign is taken by a pick of staticPicks.staticAddList,
// a static aircraft, a parked live aircraft or the feed (callsigns gathered, registrations of live aircraft
// and waiting records). Empty texts never count.
bool lf_isOptionInUse(const ParkOpt& opt);
// The two halves of it: the flight is picked already (staticPicks.staticAddList or `picks`), or it is live in
// the feed, shown by a static aircraft or parked live.
bool lf_isOptionPicked(const ParkOpt& opt, const std::vector<StaticPick>& picks);
bool lf_isOptionShownElsewhere(const ParkOpt& opt);

// The stand an aircraft at `pos` stands at (none: nullptr); see the rules in the source.
ParkPos* gf_findStandForAircraft(const Lalo& pos, const AcData& ac, double maxDistNm, bool byOption);

// The first stand id whose active parked or pushing-back live aircraft (not `arriving`) is too close
// to `stand` for both wings; ids.end() when none.
std::vector<std::uint32_t>::const_iterator
gf_adjacentLiveConflict(const std::vector<std::uint32_t>& ids, const ParkPos& stand, const AcData& arriving);

// Today's option of this aircraft (registration, airline, type) holds a half hour from now back n
// half hours (not before 0); the day-end form: from 47 back n.
bool gf_optionCoversRecentSlots(const AcData& ac, WeekSlot now, std::int32_t n, const ParkOpt& opt);
bool gf_optionCoversDayEnd(const AcData& ac, WeekSlot now, std::int32_t n, const ParkOpt& opt);

// Tests only: staticPicks.staticAddList, staticPicks.liveCallsignSet and staticPicks.liveRegistrationSet
// emptied.
void gf_resetStandSearchForTests();
