#include "core/geodesy.h"
#include "core/units.h"

#include <cmath>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

namespace {

TEST(Geodesy, Distances) {
    const Lalo a{47.46, 8.55};
    EXPECT_EQ(gf_distanceNm(a, a), 0.0);
    EXPECT_NEAR(gf_distanceNm({10, 20}, {11, 20}), 60.0, 1e-9);
    EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 180}), 10800.0, 1e-6);
    EXPECT_NEAR(gf_distanceNm({90, 0}, {-90, 0}), 10800.0, 1e-6);
    const Lalo b{-33.9, 151.2};
    EXPECT_DOUBLE_EQ(gf_distanceNm(a, b), gf_distanceNm(b, a));
}

TEST(Geodesy, Bearings) {
    EXPECT_EQ(gf_bearing({5, 5}, {5, 5}), 0.0);
    EXPECT_NEAR(gf_bearing({0, 0}, {0, 1}), pi / 2, 1e-12);
    EXPECT_NEAR(gf_bearing({0, 0}, {0, -1}), 3 * pi / 2, 1e-12);
    EXPECT_NEAR(gf_bearing({0, 0}, {1, 0}), 0.0, 1e-12);
    EXPECT_NEAR(gf_bearing({0, 0}, {-1, 0}), pi, 1e-12);
    for (double lon = -179.5; lon < 180; lon += 7.25) {
        const double b = gf_bearing({12.5, 0.0}, {-3.0, lon});
        EXPECT_GE(b, 0.0);
        EXPECT_LT(b, 2 * pi);
    }
}

TEST(Geodesy, DestinationPoints) {
    // Ten nautical miles north along a meridian.
    const Lalo north = gf_destinationPoint({10, 20}, 0.0, 10 * feetPerNm);
    EXPECT_NEAR(north.lat, 10 + 10.0 / 60.0, 1e-9);
    EXPECT_NEAR(north.lon, 20, 1e-12);

    // Across the 180th meridian the longitude comes back near -180.
    const Lalo across = gf_destinationPoint({0, 179.9}, pi / 2, 12 * feetPerNm);
    EXPECT_NEAR(across.lon, -179.9, 1e-6);
    EXPECT_NEAR(across.lat, 0, 1e-9);

    // Distance 0 gives the start back, wrapped into [-180, 180].
    const Lalo same = gf_destinationPoint({51.5, -0.45}, 1.0, 0.0);
    EXPECT_NEAR(same.lat, 51.5, 1e-12);
    EXPECT_NEAR(same.lon, -0.45, 1e-12);
    const Lalo wrapped = gf_destinationPoint({0, 190}, 0.0, 0.0);
    EXPECT_NEAR(wrapped.lon, -170, 1e-9);

    // Going out and measuring back agree.
    const Lalo start{47.46, 8.55};
    const Lalo end = gf_destinationPoint(start, 2.0, 25 * feetPerNm);
    EXPECT_NEAR(gf_distanceNm(start, end), 25.0, 1e-6);
    EXPECT_NEAR(gf_bearing(start, end), 2.0, 1e-6);
}

// Rounding can leave a haversine term or a sine a hair outside its range; the clamps turn that into the
// edge's result, never into NaN.
TEST(Geodesy, ClampsCatchRoundingOutsideTheRange) {
    const double justAboveOne = std::nextafter(1.0, 2.0); // 1.0000000000000002
    const double justBelowZero = -std::numeric_limits<double>::denorm_min();
    EXPECT_EQ(justAboveOne, 1.0000000000000002);
    EXPECT_DOUBLE_EQ(gf_haversineAngle(justAboveOne), pi);
    EXPECT_EQ(gf_haversineAngle(justBelowZero), 0.0);
    EXPECT_DOUBLE_EQ(gf_haversineAngle(1.0), pi);
    EXPECT_DOUBLE_EQ(gf_haversineAngle(0.5), pi / 2);
    EXPECT_DOUBLE_EQ(gf_clampedAsin(justAboveOne), pi / 2);
    EXPECT_DOUBLE_EQ(gf_clampedAsin(-justAboveOne), -pi / 2);
    EXPECT_DOUBLE_EQ(gf_clampedAsin(0.5), pi / 6);
}

// Rounding near antipodes and poles must never turn into NaN.
TEST(Geodesy, NoNaNFromRounding) {
    for (double lat = -90; lat <= 90; lat += 0.37) {
        for (double dlon = 179.99; dlon <= 180.0; dlon += 0.0011) {
            const double d = gf_distanceNm({lat, 0.3}, {-lat, 0.3 + dlon});
            ASSERT_FALSE(std::isnan(d)) << lat << " " << dlon;
            ASSERT_LE(d, 10800.0 + 1e-9);
        }
        for (double bearing : {0.0, pi / 3, pi, 5.5}) {
            const Lalo p = gf_destinationPoint({lat, 0}, bearing, 1e-3);
            ASSERT_FALSE(std::isnan(p.lat) || std::isnan(p.lon)) << lat << " " << bearing;
            ASSERT_LE(std::fabs(p.lat), 90.0);
            ASSERT_LE(std::fabs(p.lon), 180.0);
        }
    }
}

} // namespace
