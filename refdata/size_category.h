#pragma once
// Size categories of aircraft types, and the one constant table of what each category means: the
// figures the traffic engine copies into a new aircraft's data, its movement limits and its switch.

#include <array>
#include <cstdint>
#include <string_view>

enum class SizeCategory : std::uint32_t {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5,
};

inline constexpr std::size_t sizeCategoryCount = 6;

// The setting that admits live aircraft of a category; `always` for those taken in any case.
enum class CategoryAdmission : std::uint8_t { always, lightAircraft, helicopters, highPerfAircraft };

// One category's row. Angles A and B and the movement limits are in degrees, angle C in radians.
struct CategoryProfile {
    SizeCategory category;
    std::string_view name;
    // Engine passes: to the flare pitch, to the standing attitude after touchdown, of the take-off
    // rotation and of the pitch change into the climb.
    std::uint32_t categoryFigureA;
    std::uint32_t categoryFigureB;
    std::uint32_t categoryFigureC;
    std::uint32_t categoryFigureD;
    // The take-off pitch and the climb pitch before their variation (degrees), and the pitch rate
    // (radians per pass).
    double categoryAngleA;
    double categoryAngleB;
    double categoryAngleC;
    // The largest altitude step per pass (feet) and the taxi speed (knots) of a live aircraft.
    double factorA;
    double factorB;
    double maxBankDegrees;
    double maxBankStepDegrees;
    double maxPitchStepDegrees;
    // The ground speed of the take-off rotation (knots); 0: no rotation.
    double rotationSpeedKn;
    // Passes since the last real sample within which a parked aircraft still counts as towed; 0: never.
    std::int64_t towingPasses;
    CategoryAdmission admittedBy;
};

// clang-format off
inline constexpr std::array<CategoryProfile, sizeCategoryCount> categoryProfiles{{
//   category                  name          A    B    C    D  angleA  angleB  angleC                   fA    fB   bank bankStep pitchStep rot  towing  switch
    {SizeCategory::Light,      "Light",      250, 250, 100, 200,  -9.0, -15.0, 0.002617993877991494,  0.5,  5.0, 40.0, 0.035,   0.01,    90.0,      0, CategoryAdmission::lightAircraft},
    {SizeCategory::Buzjets,    "Buzjets",    300, 300, 200, 250,  -8.0, -18.0, 0.0017453292519943294, 0.75, 4.5, 35.0, 0.0275,  0.0085, 110.0,  90000, CategoryAdmission::always},
    {SizeCategory::Large,      "Large",      400, 350, 200, 300,  -6.0, -16.5, 0.0012217304763960306, 0.6,  4.0, 30.0, 0.02,    0.0075, 140.0, 150000, CategoryAdmission::always},
    {SizeCategory::Heavy,      "Heavy",      450, 450, 250, 400,  -5.0, -12.5, 0.0008726646259971647, 0.5,  3.0, 20.0, 0.015,   0.005,  150.0, 360000, CategoryAdmission::always},
    {SizeCategory::HighPerf,   "HighPerf",   150, 150, 100, 200,  -6.0, -20.0, 0.0017453292519943294, 1.0,  4.5, 90.0, 0.1,     0.03,   220.0,      0, CategoryAdmission::highPerfAircraft},
    {SizeCategory::Rotorcraft, "Rotorcraft", 100, 100, 100, 100, -20.0, -30.0, 0.0034906585039886587, 0.75, 5.0, 75.0, 0.06,    0.03,     0.0,      0, CategoryAdmission::helicopters},
}};
// clang-format on

// The row of a category; std::out_of_range for a value outside the six.
const CategoryProfile& gf_categoryProfile(SizeCategory category);

// "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"; "?" for a value outside the six.
std::string_view gf_sizeCategoryName(SizeCategory category);

// Whether a live aircraft of the category is taken into the simulation, given the three category
// switches (LIGHT_AIRCRAFT, HELICOPTERS, HIGH_PERF_AIRCRAFT). Buzjets, Large and Heavy are always taken.
bool gf_categoryAdmitted(SizeCategory category, bool lightAircraft, bool helicopters, bool highPerfAircraft);
