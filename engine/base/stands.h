#pragma once
// The engine's view of the park airport's stands (refdata's parkPositions), by stand number, and the
// copy of the stand names and positions that other threads may read.

#include "core/geodesy.h"
#include "refdata/parking_format.h"

#include <cstdint>
#include <list>
#include <optional>
#include <string>

struct Airport;
struct ParkAirportRead; // refdata/park_airport_file.h

struct ParkAirportEntry {
    std::string code;  // ICAO code
    std::string stand; // the reserved stand's name; empty when none
    Lalo pos;          // the airport's position
    double dist = 0;   // NM from the user aircraft, kept by the static parking driver
};

// The park airport as the engine keeps it: the park-airport list, the stand the user reserved, the count
// of what was learned at its stands and the airport's elevation; and the one writer of the park airport's
// state that the window and the feed read (refdata/park_airport.h: parkAirportCode, currentParkAirport,
// parkAirportInfo, the handmade, refused and loaded marks, rtTrafficWeek, parkQualityFactors; and
// parkPositions). Worker thread only: the window and the simulator link read published copies
// (gf_publishFirstParkAirport, engineStatus) or the atomics, the feed's reader keeps its own copy of the
// elevation (set through the parking hooks), and the files are read on a thread of their own into a value
// (gf_readParkAirport) that install takes.
struct ParkAirport {
    // The airports named in airports/my_park_airports.txt and those with an airport file in
    // airports/my_thirdparty.
    std::list<ParkAirportEntry> parkAirports;
    // The name of the stand the user reserved at the park airport (empty: none). Set by the park
    // airport handling; gf_clearReservedStand keeps it clear.
    std::string reservedStandName;
    // Stand updates (learned options, enlarged radii) since the stands were last saved.
    std::uint32_t standUpdateCount = 0;
    // The park airport's elevation as its airport file gives it (feet); empty while none is loaded. The
    // engine judges flights at the airport by this copy.
    std::optional<double> elevationFt;

    // Makes the airport the park airport: its code and its record of the airports table.
    void choose(const Airport& airport);
    // Installs a read of the park airport's files into parkPositions (emptied first) and the park
    // airport's state: the learned file's settings or a first visit's defaults, the summary in the log,
    // the window's bands and the feed's elevation. "" on success, else the failure text. Throws
    // orv::UserErrorException (65, 93, 94) for a refused airport file, its stands before the fault
    // installed.
    std::string install(ParkAirportRead read);
    // The park airport's file state forgotten: the loaded, handmade and refused marks, the code and the
    // record, the elevation.
    void forget();
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
// parkAirport.install followed by the publication; the failure text (empty on success). Throws as install.
std::string gf_loadParkStands(ParkAirportRead read);
// The park airport's files read in place (gf_readParkAirport) and loaded.
std::string gf_loadParkStands(const std::string& reference);
// gf_clearParkPositions followed by the publication.
void gf_clearParkStands();

// Any thread: the id of the published stand nearest to `pos` within 55 m; empty when there is no stand,
// when the user aircraft is not on the ground or when none is that close. The last answer is kept for
// the same position (within 1e-8 degrees) of the same publication.
std::string gf_nearestStandName(const Lalo& pos);

// Tests only: the index, the snapshot and its cache emptied.
void gf_resetStandIndexForTests();
