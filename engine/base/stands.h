#pragma once
// The engine's view of the park airport's stands (refdata's parkPositions), by stand number, and the
// copy of the stand names and positions that other threads may read.

#include "core/geodesy.h"
#include "refdata/parking_format.h"

#include <cstdint>
#include <list>
#include <string>

struct ParkFileRead;

struct ParkAirportEntry {
    std::string code;  // ICAO code
    std::string stand; // the reserved stand's name; empty when none
    Lalo pos;          // the airport's position
    double dist = 0;   // NM from the user aircraft, kept by the static parking driver
};

// The park airport as the engine keeps it beside refdata's park-airport state: the park-airport list,
// the stand the user reserved and the count of what was learned at its stands. Worker thread only (the
// window and the simulator link read published copies: gf_publishFirstParkAirport, engineStatus).
struct ParkAirport {
    // The airports named in airports/my_park_airports.txt and those with an airport file in
    // airports/my_thirdparty.
    std::list<ParkAirportEntry> parkAirports;
    // The name of the stand the user reserved at the park airport (empty: none). Set by the park
    // airport handling; gf_clearReservedStand keeps it clear.
    std::string reservedStandName;
    // Stand updates (learned options, enlarged radii) since the stands were last saved.
    std::uint32_t standUpdateCount = 0;
};

extern ParkAirport parkAirport;

// The stand with number `sid`, or nullptr (also for 0). The index follows the stand list by itself:
// an entry that no longer matches makes it build again.
ParkPos* gf_findStand(std::uint32_t sid);

// The stand's name for log lines: its id, "sid==0?" for no stand, "sid==?" for a number not in the
// stand list.
std::string gf_standNameOf(std::uint32_t sid);
// A live aircraft left the stand: its occupied mark is cleared (whoever held it).
void gf_freeStand(std::uint32_t sid);
// The live aircraft `hexid` stands at the stand: occupied, with it as the holder.
void gf_occupyStand(std::uint32_t sid, std::uint32_t hexid);
// The live aircraft `hexid` goes or leaves: the occupied mark is cleared only when it is the holder (or
// the stand was marked without one), so that an aircraft that never held the stand cannot free it.
void gf_releaseStand(std::uint32_t sid, std::uint32_t hexid);
// The holder of an occupied stand; 0 when none is known.
std::uint32_t gf_standHolder(std::uint32_t sid);

// Worker thread: publishes the names and positions of parkPositions for gf_nearestStandName. Call it
// whenever the list was loaded, cleared or a stand moved (gf_loadParkStands and gf_clearParkStands do).
void gf_publishStandSnapshot();
// gf_readApf followed by the publication; the reader's error text (empty on success). `preread`: the
// file as read off the cycle (gf_readParkFile).
std::string gf_loadParkStands(const std::string& reference, ParkFileRead* preread = nullptr);
// gf_clearParkPositions followed by the publication.
void gf_clearParkStands();

// Any thread: the id of the published stand nearest to `pos` within 55 m; empty when there is no stand,
// when the user aircraft is not on the ground or when none is that close. The last answer is kept for
// the same position (within 1e-8 degrees) of the same publication.
std::string gf_nearestStandName(const Lalo& pos);

// Tests only: the index, the snapshot and its cache emptied.
void gf_resetStandIndexForTests();
