#pragma once
// The unit conversions of the program: degrees and radians, nautical miles, metres and feet.

#include <cstdint>

inline constexpr double radiansPerDegree = 0.017453292519943295; // pi / 180
inline constexpr double degreesPerRadian = 57.29577951308232;    // 180 / pi

inline constexpr std::uint32_t wholeMetresPerNm = 1852;
inline constexpr double metresPerNm = 1852.0;
inline constexpr double nmPerMetre = 1.0 / metresPerNm;

inline constexpr double metresPerFoot = 0.3048;
inline constexpr double feetPerMetre = 1.0 / metresPerFoot;
// Feet in a nautical mile as the geodesy counts them (1852 / 0.3048 rounded to five decimals).
inline constexpr double feetPerNm = 6076.11549;
