#pragma once
// Questions asked of the aircraft-type database: size categories, known types and airlines,
// similar installed types, half wingspans, registrations, publishers and add-on airport entries.

#include "refdata/dbase.h"
#include "refdata/size_category.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the similar-type maps need from the livery catalogue; wired at start-up. Defaults: no
// airlines, no models, nothing installed.
struct LiveryCatalogueHooks {
    // Airline codes with liveries (each at most 3 characters).
    std::function<std::vector<std::string>()> liveryAirlines;
    // Whether the airline has a livery of the type.
    std::function<bool(std::string_view airline, std::string_view type)> airlineHasModel;
    // One installed model of the category, or "" when there is none.
    std::function<std::string()> randomLightModel;
    std::function<std::string()> randomBuzjetModel;
    std::function<std::string()> randomRotorcraftModel;
    // Whether a passenger or cargo model of the type is installed.
    std::function<bool(std::string_view type)> isInstalledType;
};

LiveryCatalogueHooks& gf_liveryCatalogueHooks();

SizeCategory gf_sizeCategoryOf(std::string_view type);
bool gf_isKnownAcType(std::string_view type);
bool gf_isIcaoAirline(std::string_view code);

// Builds the installed and the airline similar-type maps; called once after the livery processing.
void gf_buildSimilarTypeMaps();

// Installed types that can stand in for `type` (shuffled), else one installed model of its category
// (Light, Buzjets, Rotorcraft), else an empty list. The fallback list is shared: valid until the next call.
const std::vector<std::string>& gf_similarTypesOf(const std::string& type);

// Types of the airline's liveries that can stand in for `type` (shuffled), else an empty list.
const std::vector<std::string>& gf_airlineSimilarTypesOf(const std::string& airline, const std::string& type);

// Half the wingspan in nautical miles; the category's average for a type without an entry.
double gf_wingspanOf(std::string_view type);

// The spellings under which a registration without hyphen may be stored: with a hyphen after the
// second and after the first character (5 or more characters, not beginning with N, no hyphen), then
// the registration itself.
std::vector<std::string> gf_regSpellings(std::string_view reg);
std::optional<RegRecord> gf_findRegRecord(std::string_view reg);
std::string gf_airlineOfReg(std::string_view reg);
std::string gf_operatorOfReg(std::string_view reg);
// The first registration key shorter than 6 characters that occurs in `reg`.
std::optional<std::string> gf_findShortRegKeyIn(std::string_view reg);

// Whether the path (as UTF-8) contains `text`, ignoring letter case; true for an empty text.
bool gf_pathContainsNoCase(const std::filesystem::path& path, std::string_view text);
// The canonical name of the first publisher with a spelling in the path.
std::optional<std::string> gf_publisherOfPath(const std::filesystem::path& path);

// For an add-on airport entry that begins with `code`: reads the number after its first four
// characters into `number` and returns true (an unreadable number is logged, still true); false for
// an entry of another airport.
bool gf_numberAfterPrefix(std::string_view tag, std::string_view code, std::uint32_t& number,
                          std::string_view entry);

// Tests only: empties the similar-type maps and restores the default hooks.
void gf_resetTypeLookups();
