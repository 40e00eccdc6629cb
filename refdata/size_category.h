#pragma once
// Size categories of aircraft types, and the constant per-category tables the traffic engine copies
// into a new aircraft's data.

#include <cstdint>
#include <string_view>
#include <unordered_map>

enum class SizeCategory : std::uint32_t {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5,
};

inline constexpr std::size_t sizeCategoryCount = 6;

// "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"; "?" for a value outside the six.
std::string_view gf_sizeCategoryName(SizeCategory category);

// Whole-number figures per category (one entry per category, so a lookup with .at() always succeeds).
extern const std::unordered_map<SizeCategory, std::uint32_t> categoryFigureA;
extern const std::unordered_map<SizeCategory, std::uint32_t> categoryFigureB;
extern const std::unordered_map<SizeCategory, std::uint32_t> categoryFigureC;
extern const std::unordered_map<SizeCategory, std::uint32_t> categoryFigureD;
// Angles A and B in degrees, angle C in radians.
extern const std::unordered_map<SizeCategory, double> categoryAngleA;
extern const std::unordered_map<SizeCategory, double> categoryAngleB;
extern const std::unordered_map<SizeCategory, double> categoryAngleC;

// Whether a live aircraft of the category is taken into the simulation, given the three category
// switches (LIGHT_AIRCRAFT, HELICOPTERS, HIGH_PERF_AIRCRAFT). Buzjets, Large and Heavy are always taken.
bool gf_categoryAdmitted(SizeCategory category, bool lightAircraft, bool helicopters, bool highPerfAircraft);
