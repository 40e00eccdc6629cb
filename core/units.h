#pragma once
// The unit conversions of the program: pi, degrees and radians, nautical miles, metres and feet, knots.
// Every other file takes them from here.

#include <cstdint>
#include <numbers>

inline constexpr double pi = std::numbers::pi;
inline constexpr double twoPi = 2.0 * pi;

inline constexpr double radiansPerDegree = pi / 180.0; // 0.017453292519943295
inline constexpr double degreesPerRadian = 180.0 / pi; // 57.29577951308232

inline constexpr std::uint32_t wholeMetresPerNm = 1852;
inline constexpr double metresPerNm = 1852.0;
inline constexpr double nmPerMetre = 1.0 / metresPerNm;

inline constexpr double metresPerFoot = 0.3048;
inline constexpr double feetPerMetre = 1.0 / metresPerFoot;
// Feet in a nautical mile as the geodesy counts them (1852 / 0.3048 rounded to five decimals).
inline constexpr double feetPerNm = 6076.11549;

// Knots are nautical miles per hour: a speed in knots times hours is nautical miles.
inline constexpr double secondsPerHour = 3600.0;
