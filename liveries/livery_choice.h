#pragma once
// The livery choice for a live aircraft, and the liveries the simulator refused.

#include "liveries/livery_tables.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// What the choice reads of an aircraft, and what it writes back. The engine fills it from its
// aircraft record; the texts only need to live during the call.
struct LiveryAircraft {
    std::string_view airl;
    std::string_view type;
    std::string_view reg;
    SizeCategory sizeCat = SizeCategory::Large;
    bool cargo = false;
    std::string_view logText;        // the aircraft's log text, at the start of the choice's log line
    std::string_view logTextWithReg; // the log text with registration, for the static no-match line
    // Written: the chosen title (a view into the livery tables; empty = no livery) and whether the
    // model's spoiler and throttle values run the other way (FSLTL models).
    TitleView liveryTitle;
    bool reverseFlag = false;
};

// Successful live choices per step 0..6, over the whole process.
extern std::array<std::uint32_t, 7> matchStepCounts;

// The live choice: from the aircraft's registration down to any livery of a similar type, as far as
// MATCHING_DEPTH allows; the first livery the simulator has not refused wins and its step is counted.
void gf_matchLiveAcLivery(LiveryAircraft& ac);

// The choice for a static aircraft standing at the stand `standId`: the aircraft's cargo flag becomes
// the stand's, a title supplied in `liveryTitle` is kept as it is, every outcome is logged and no step is
// counted. True when `liveryTitle` is set on return.
bool gf_matchStaticAcLivery(LiveryAircraft& ac, std::string_view standId, bool standCargo);

// The rules, shared with the choice for static aircraft. Each writes `liveryTitle` only when it finds a
// title and returns whether `liveryTitle` is set afterwards.
// One title of the candidates that the simulator has not refused, special titles only when nothing else
// is left.
bool lf_pickTitle(LiveryAircraft& ac, const TitleViews& candidates);
// airlineTypeTitles[index] under airline and type.
bool lf_tableLivery(LiveryAircraft& ac, std::string_view airline, std::string_view type, std::size_t index);
// Cargo titles first for a cargo aircraft, then passenger titles; a passenger aircraft only passenger ones.
bool lf_airlineTypeLivery(LiveryAircraft& ac, std::string_view airline, std::string_view type);
// typeTitles of the aircraft's kind (cargo or passenger), no fallback.
bool lf_typeLivery(LiveryAircraft& ac, std::string_view type);
// The title bound to the registration (empty when none).
bool lf_regcodeLivery(LiveryAircraft& ac);
// Generic liveries and, for light aircraft, business jets and rotorcraft, any airline's liveries of the
// type or a similar type; `step` becomes 4, 5 or 6 when one of them gives the title.
bool lf_lastResortLivery(LiveryAircraft& ac, int& step);

// ---- Refused liveries ----

// Titles the simulator refused to create, and "{type} {airline}" of their models. Owned texts: both
// sets outlive every clear of the livery tables and are never emptied during the process.
extern TextSet refusedTitles;
extern TextSet refusedModels;
// The number of distinct refused titles that ends the run.
inline constexpr std::size_t gf_refusedTitleLimit = 20;

bool gf_isRefusedTitle(std::string_view title);
// The simulator could not create an aircraft with this title: tell the user (unless the run is
// stopping) and remember it. Throws orv::UserErrorException 81 at the 20th distinct title.
void gf_liveryNotCreated(std::string_view callsign, std::string_view airline, std::string_view type,
                         std::string_view title);
