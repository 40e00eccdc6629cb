// The unit conversions every module takes from core/units.h.

#include "core/units.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(Units, ValuesAndTheirInverses) {
    EXPECT_DOUBLE_EQ(pi, 3.14159265358979323846);
    EXPECT_DOUBLE_EQ(twoPi, 2 * 3.14159265358979323846);
    EXPECT_EQ(radiansPerDegree, 0.017453292519943295);
    EXPECT_EQ(degreesPerRadian, 57.29577951308232);
    EXPECT_DOUBLE_EQ(180.0 * radiansPerDegree, pi);
    EXPECT_DOUBLE_EQ(pi * degreesPerRadian, 180.0);

    EXPECT_EQ(metresPerNm, 1852.0);
    EXPECT_EQ(wholeMetresPerNm, 1852u);
    EXPECT_EQ(nmPerMetre, 0.0005399568034557236);
    EXPECT_EQ(metresPerFoot, 0.3048);
    EXPECT_DOUBLE_EQ(feetPerMetre * metresPerFoot, 1.0);
    // The geodesy's feet per nautical mile is 1852 / 0.3048 to five decimals.
    EXPECT_NEAR(feetPerNm, metresPerNm / metresPerFoot, 5e-6);
    EXPECT_EQ(feetPerNm, 6076.11549);

    // 120 knots for half a minute: one nautical mile.
    EXPECT_DOUBLE_EQ(120.0 * 30.0 / secondsPerHour, 1.0);
}

} // namespace
