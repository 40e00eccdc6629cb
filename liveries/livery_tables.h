#pragma once
// The livery tables: every installed livery by airline and type, the title lists by type, and the
// installed models of the small size classes. Built once per process on the worker thread from the
// scanned liveries; read by the livery choices and by the reference data's similar-type maps.
//
// `airlineLiveries` owns every title text. All other tables, and every title handed out to an aircraft
// or a create record, are views into it and stay valid until gf_clearLiveryTables.

#include "refdata/size_category.h"

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Hash of texts that also finds std::string keys by std::string_view without a copy.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        return std::hash<std::string_view>{}(text);
    }
};
template <class Value> using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;
using TextSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;

// The airline of generic liveries, and the airline of private flights (which fly generic liveries).
inline constexpr std::string_view gf_genericAirline = "ZZZ";
inline constexpr std::string_view gf_privateAirline = "PVT";

// A title view: a non-owning view of a title owned by `airlineLiveries`.
using TitleView = std::string_view;
using TitleViews = std::vector<TitleView>;

struct LiveryEntry {
    std::string title;
    bool cargo = false;
};

// airline -> type -> liveries, titles of one type in ascending byte order. Owns every title.
extern TextMap<TextMap<std::vector<LiveryEntry>>> airlineLiveries;
// [0] passenger, [1] cargo: airline -> type -> titles.
extern std::array<TextMap<TextMap<TitleViews>>, 2> airlineTypeTitles;
// [0] passenger, [1] cargo: type -> titles of every airline.
extern std::array<TextMap<TitleViews>, 2> typeTitles;
// Installed types of the classes Light, Buzjets and Rotorcraft, each once, ascending.
extern std::vector<std::string> lightModels;
extern std::vector<std::string> buzjetModels;
extern std::vector<std::string> rotorcraftModels;
// The types of installed passenger and cargo models (the keys of typeTitles[0] and [1]).
extern TextSet installedPaxTypes;
extern TextSet installedCargoTypes;

// Building, in this order (the registration tables come between the airline-type and the type tables).
void lf_buildAirlineTable();
void lf_buildAirlineTypeTables();
void lf_buildTypeTables();
void lf_buildCategory(SizeCategory category);
void lf_logGenericLiveries();
// Appends the types to at most one model list (the first flag set) and logs them, 20 to a line.
void lf_logModelList(bool toLight, bool toBuzjet, bool toRotorcraft, const std::vector<std::string>& types);

// The first title of the tables (in table order) equal to `title`; an empty view when none is.
TitleView lf_findTitleView(std::string_view title);

// Queries that the reference data asks.
bool gf_airlineHasModel(std::string_view airline, std::string_view type);
// The airline codes of `airlineLiveries` in table order, each cut to three characters.
std::vector<std::string> gf_liveryAirlines();
// A type of the class's model list at gf_randomIndex of its size; "" when the list is empty.
std::string gf_randomLightModel();
std::string gf_randomBuzjetModel();
std::string gf_randomRotorcraftModel();
// True when a passenger or a cargo model of the type is installed.
bool gf_isInstalledType(std::string_view type);

// Empties the model lists, the registration tables, the title tables and last `airlineLiveries`.
// Worker thread only: every title view handed out becomes invalid.
void gf_clearLiveryTables();
// Once per process: room for the special titles and the model lists. Later calls do nothing.
void gf_reserveLiveryTables();
// Tests only: the tables cleared and the reservation forgotten.
void gf_resetLiveryTablesForTests();
