#pragma once
// The flights seen at the park airport's stands (options): learning them from live aircraft, the
// half-hour window by which an option grows while its flight stays, and the small option operations the
// stand search uses.

#include "core/timeutil.h"
#include "engine/base/ac_records.h"
#include "refdata/parking_format.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One more stand update: counted and, when it differs from the shown count, shown (status repaint).
void gf_countStandUpdate();

// Where an option's window stands: the week slot it was last extended to, and its number.
struct OptionWindow {
    WeekSlot last;
    std::uint32_t option = 0;
};

// Half hours from now's back: now's half hour first, `count` entries, half hour 47 before 0.
std::vector<std::uint32_t> gf_slotList(WeekSlot now, std::int32_t count);

// The first option with number k (not 0), or nullptr.
ParkOpt* gf_findOption(std::vector<ParkOpt>& opts, std::uint32_t k);

// Sets the slots into option k's half hours, oldest first. False when option k is not there or a slot
// is out of range (logged).
bool updateOptions(std::vector<ParkOpt>& opts, const std::vector<std::uint32_t>& slots, std::uint32_t k);
// Across midnight: the old day's slots (up to 47) into option k, the new day's into option k2 but for
// the newest (now's, which k2 holds from its creation). True when option k2 was found.
bool updateOptionsWrapped(std::vector<ParkOpt>& opts, const std::vector<std::uint32_t>& slots,
                          std::uint32_t k, std::uint32_t k2);

// Option k takes the callsign (one trailing "_" dropped): as cs when it has none, else as cs2 unless it
// is one of the two already. Nothing for an empty text or k 0.
void gf_setOptionCallsign(std::vector<ParkOpt>& opts, std::uint32_t k, std::string_view text);

// The option counts (number not 0, real) and names the callsign, or the aircraft's airline and type.
bool gf_optionMatches(std::string_view cs, const FlightIdent& ac, const ParkOpt& opt);

// Adds the flight as a new real option of the stand for now's slot (the registration record's
// operator or airline and type when it has one); none when the stand already has this registration
// on this day in exactly this half hour. The new option's number.
std::optional<std::uint32_t> gf_addStandOption(ParkPos& stand, const AcData& ac, WeekSlot now,
                                               const std::string& reg, bool coupled);

// The window rule: true when option k grew to now (or nothing was needed), false when the caller
// adds a new option. The stand takes a new option itself when the flight crossed midnight.
bool gf_extendOptionWindow(WeekSlot now, ParkPos& stand, std::uint32_t k, OptionWindow& window,
                           const AcData& ac, const std::string& reg, bool coupled);

// Learns the aircraft's flight at stand `sid` for now (currentWeekSlot). Modes: 0 arrived at the
// stand (or created again), 1 found parked when it first appeared, 2 starts to leave, 3 found far from
// its stand; 2 and 3 mark the option coupled. The aircraft takes the registration record's airline and
// type. Errors are logged, never thrown.
void lf_addRealStandOption(std::uint32_t sid, AcData& ac, std::int32_t mode);
void lf_addRealStandOption(std::uint32_t sid, AcData& ac, std::int32_t mode, WeekSlot now);
