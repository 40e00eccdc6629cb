#pragma once
// The stands of an airport and the flights seen at them, as the airport files and the learned parking
// files hold them: the in-memory records, the half-hour text form, the identity of a flight entry and
// the reading of stands (with the checks on their ids).
//
// File layout: root (optional) > meta, parameters > parameter (name, value), parkpositions > parkpos
// (one per stand, attributes id, latitude, longitude, heading, radius, heli, cargo, ramp, manual,
// radius_change, cargo_change) > opt (one per flight: reg, airl, type, soft, day, hh, cs, cpl).

#include "core/units.h"

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

// The half-hour slots 0..47 of a UTC day; bit n is slot n.
using HalfHourSet = std::bitset<48>;

// One flight seen at a stand.
struct ParkOpt {
    std::string airl;
    std::string type;
    std::string reg;
    std::string cs;
    std::string cs2; // the callsign under which the same aircraft leaves; may be empty
    HalfHourSet hh;
    std::uint32_t seq = 0;    // number within its stand from 1; 0: neither written nor scored
    std::uint32_t day = 0;    // 1..7, Monday 1
    std::uint32_t origin = 0; // 1 read from the airport file, 0 learned
    std::uint32_t real = 1;   // 1 real flight, 0 soft
    bool cpl = false;         // coupled
    // Run-time mark of the stand search: the flight is in use elsewhere for the current calculation
    // (live, shown or picked), so this stand does not show it. It stays a learned flight; false when read.
    bool inUse = false;
};

// One stand.
struct ParkPos {
    // Takes the id and the flights; the heading in radians, the radius in metres (kept in nautical
    // miles). Every other flag starts false, sid 0, no neighbours (the airport-file reader sets them).
    ParkPos(std::string id, std::vector<ParkOpt> opts, double lat, double lon, double heading,
            double radiusMetres, bool cargo, bool ramp, bool heli);

    std::vector<ParkOpt> opts;
    std::string id;
    std::vector<std::uint32_t> adjacent; // sid of the neighbouring stands
    double lat = 0.0;                    // degrees
    double lon = 0.0;                    // degrees
    double heading = 0.0;                // radians
    double radius = 0.0;                 // nautical miles
    std::uint32_t sid = 0;               // 1, 2, ... in list order, set by the airport-file reader
    bool manual = false;                 // created by hand in a learned file
    bool radius_change = false;
    bool cargo_change = false;
    // Run-time flags of the traffic engine; false when read.
    bool held = false;         // taken in the current selection
    bool occupied = false;     // a live aircraft stands there
    bool blocked = false;      // the reserved stand or the user's stand
    bool adjacentHeld = false; // next to a held stand
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
};

// A stand's radius in a file above this (metres) is no stand's and reads as absent.
inline constexpr double maxStandRadiusMetres = 10000.0;

// The stands of the park airport. Worker thread only.
extern std::vector<ParkPos> parkPositions;

// Destroys every stand; the storage is kept.
void gf_clearParkPositions();

// "5" -> slot 5, "10:13" -> 10..13, "3,7" -> 3 and 7. Errors are logged; the empty set on any error
// of the range form (a bad piece of the list form is skipped).
HalfHourSet gf_hours2bitset(std::string_view text);
// "5", "10:13", or for a set that is no single range the slots joined by commas ("3,7"). Empty for
// the empty set. Every set read back with gf_hours2bitset gives the same set.
std::optional<std::string> gf_bitset2hours(const HalfHourSet& set);

// The identity of one opt element.
struct OptIdentity {
    std::string cs;
    std::string cs2;
    std::string airl;
    std::string type;
};
// cs and cs2 from "cs" (split at its first colon); airline and type from the registration table when
// "reg" has a row there (a non-empty operator wins over its airline), else the attributes.
OptIdentity gf_optIdentity(const pugi::xml_node& opt);

// Reads one stand with its flights (days 1..7 with an "hh" only) and appends it to parkPositions;
// nothing for a stand at 0/0 or whose position is not a finite latitude/longitude.
void gf_readParkpos(const pugi::xml_node& parkpos, std::string id, std::uint32_t origin);

// The stands of a parking file as read: every stand, or the refusal of the file with the stands read
// before the faulty one. 93: a stand without id or with an empty one; 94: an id seen before in the
// file (ids trimmed).
struct ParkingFileStands {
    std::vector<ParkPos> stands;
    std::int32_t errorNumber = 0;
    std::string refusal; // "Parking position #2 has no 'id' attribute." and the like
    // The stands' summed scores (gf_standScores) and whether one has a flight entry, worked out while
    // they were read: their quality factors without another pass over their flights.
    double realScores = 0.0;
    double softScores = 0.0;
    bool anyEntry = false;
    bool refused() const { return errorNumber != 0; }
};
// Every stand of the document (root optional) with origin 1. A pure reader: it touches no global, so two
// documents read one after the other give two independent results.
ParkingFileStands gf_parseParkpositions(const pugi::xml_node& doc);
// gf_parseParkpositions, its stands appended to parkPositions; a refusal then throws
// orv::UserErrorException with its number and text.
void gf_readParkpositions(const pugi::xml_node& doc);

// Same day, kind, registration, airline and type, and at least one shared half hour.
bool gf_isSameParkOpt(const ParkOpt& a, const ParkOpt& b);

// A number at the start of the text (blanks around it allowed, as pugixml reads numbers) when it is
// finite; empty for no number, "nan" and "inf".
std::optional<double> gf_finiteNumber(std::string_view text);
// A number attribute that parses as a finite number, else empty (missing, text, "nan", "inf").
std::optional<double> gf_finiteAttribute(const pugi::xml_node& node, const char* name);
// The stand's "radius" in metres, the one rule of every reader of stands: empty when it is no finite
// number or beyond any stand's (maxStandRadiusMetres either way).
std::optional<double> gf_standRadiusMetres(const pugi::xml_node& parkpos);
