#pragma once
// The aircraft-type database: type sets per size category, similar-type lists, airline codes,
// publisher spellings, half wingspans, type fixes, add-on airport lists and registrations.
// Read once from input/dbase.enc; read-only afterwards.

#include "core/units.h"
#include "refdata/size_category.h"

#include <array>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

struct RegRecord {
    std::string airl; // airline ICAO code
    std::string type; // ICAO type
    std::string opr;  // operator
    bool cargo = false;
};

struct ThirdPartyPublisher {
    std::string pub;                // publisher name
    std::vector<std::string> arpts; // entries: an airport code, optionally followed by a number
};

// Typical half-spans in nautical miles (half of 11, 18, 34, 62, 11 and 11 metres), used for a category
// that has no wingspan entry.
inline constexpr double halfSpanNmPerMeter = 0.5 * nmPerMetre;
inline constexpr std::array<double, sizeCategoryCount> defaultCategoryHalfSpans{
    11.0 * halfSpanNmPerMeter, 18.0 * halfSpanNmPerMeter, 34.0 * halfSpanNmPerMeter,
    62.0 * halfSpanNmPerMeter, 11.0 * halfSpanNmPerMeter, 11.0 * halfSpanNmPerMeter};

struct Dbase {
    std::set<std::string> aircrafts;
    std::set<std::string> high_performance;
    std::set<std::string> heavy;
    std::set<std::string> large;
    std::set<std::string> buzjet;
    std::set<std::string> rotorcraft;
    std::set<std::string> cargo_types;
    std::vector<std::vector<std::string>> similarLists; // each list sorted
    std::set<std::string> ICAO_airlines;
    std::set<std::string> cargo_operators;
    // The first entry of each list is the canonical publisher name, the others further spellings.
    std::vector<std::vector<std::string>> publisherLists;
    std::map<std::string, double> wingspans; // type -> half the wingspan, nautical miles
    // Average half-span per SizeCategory (indexed by its value), nautical miles.
    std::array<double, sizeCategoryCount> categoryHalfSpans = defaultCategoryHalfSpans;
    double largestHalfSpan = 0.0;                       // nautical miles
    std::unordered_map<std::string, std::string> fixes; // wrong type -> correct type
    std::set<std::string> simaddons20;
    std::vector<ThirdPartyPublisher> thirdparties20;
    std::vector<ThirdPartyPublisher> thirdparties24;
    std::unordered_map<std::string, RegRecord> registrations;
};

// The process-wide database.
extern Dbase dbase;

// Fills the database from input/dbase.enc. True when it was read; false (logged, database left
// empty) when the plain XML does not parse. Throws std::runtime_error when the encrypted file is
// missing or cannot be decrypted, and orv::UserErrorException 61 when a required list is empty.
bool gf_readDbase();

// Tests only: empties the database.
void gf_resetDbase();
