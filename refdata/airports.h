#pragma once
// The airports table: every airport the program knows, read once from input/airports.enc.

#include "core/geodesy.h"
#include "refdata/airport_index.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct Airport {
    std::string code; // ICAO code, the table's sort key
    std::string iata; // may be empty
    double lat = 0.0; // degrees
    double lon = 0.0; // degrees
    double alt = 0.0; // elevation as given in the file (feet)
    std::int32_t stands = 0;
};

// FNV-1a over the bytes of a text.
struct Fnv1aHash {
    std::size_t operator()(std::string_view text) const noexcept;
};

struct AirportTable {
    std::vector<Airport> records;                     // sorted by code after reading
    std::unordered_set<std::string, Fnv1aHash> codes; // every code read, once
    bool loaded = false;
    AirportIndex index; // built by gf_readAirports (or gf_indexAirports) over `records`
};

// The process-wide table; read-only once gf_readAirports has succeeded.
extern AirportTable airportTable;

// Loads the table once per process (input/airports.enc); true when it holds at least one airport.
// Throws orv::UserErrorException with code 88 when the file cannot be read.
bool gf_readAirports();

// Builds the look-up indexes over the records as they stand. gf_readAirports does so; code that fills or
// reorders the records itself calls it before the look-ups (a look-up that finds the index built for other
// records builds it anew, which is safe only while no other thread reads the table).
void gf_indexAirports();

// "EDDF (FRA)", "EDDF" without IATA code, "? (FRA)" without ICAO code.
std::string gf_airportDisplayName(const Airport& airport);

// The airport within 5 NM of the position (degrees), or nullptr. When a neighbour also lies within
// 5 NM, the one whose nearest stand is closer to the position wins (see gf_setClosestStandQuery).
const Airport* gf_closestAirport(const Lalo& position);

// The first airport whose code equals `code` exactly, or nullptr.
const Airport* gf_findAirport(std::string_view code);

bool gf_airportExists(const std::string& code);

// The code that a scenery file name begins with (first four characters, upper-cased), or "".
std::string gf_airportCodeAtStartOf(std::string_view name);

// The code that a scenery path holds between two hyphens (letter case ignored), or "".
std::string gf_airportCodeInPath(const std::filesystem::path& path);

// The closest-stand query of the parking files: (airport code, position, out stand id) -> distance in
// NM from the position to the airport's nearest stand, 100.0 when no stand was found.
using ClosestStandQuery =
    std::function<double(const std::string& code, const Lalo& position, std::string& standId)>;

// Wired at start-up; the default finds no stand (100.0).
void gf_setClosestStandQuery(ClosestStandQuery query);

// Tests only: empties the table and restores the default closest-stand query.
void gf_resetAirportTable();
