#include "refdata/size_category.h"

#include "core/units.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

constexpr SizeCategory allCategories[] = {SizeCategory::Light,    SizeCategory::Buzjets,
                                          SizeCategory::Large,    SizeCategory::Heavy,
                                          SizeCategory::HighPerf, SizeCategory::Rotorcraft};

// The figures per category as the aircraft records and the movement name them, written out here
// independently of the table: pitches and rates in degrees.
struct ExpectedFigures {
    SizeCategory category;
    const char* name;
    std::uint32_t slotsA, onGroundSlots, rotationSlots, slotsD;
    double takeoffPitchDeg, pitchBDeg, rateADeg;
    double factorA, factorB;
    double maxBankDeg, maxBankStepDeg, maxPitchStepDeg, rotationSpeedKn;
    std::int64_t towingPasses;
};

constexpr ExpectedFigures expected[] = {
    {SizeCategory::Light, "Light", 250, 250, 100, 200, -9, -15, 0.15, 0.5, 5.0, 40, 0.035, 0.01, 90, 0},
    {SizeCategory::Buzjets, "Buzjets", 300, 300, 200, 250, -8, -18, 0.1, 0.75, 4.5, 35, 0.0275, 0.0085, 110,
     90000},
    {SizeCategory::Large, "Large", 400, 350, 200, 300, -6, -16.5, 0.07, 0.6, 4.0, 30, 0.02, 0.0075, 140,
     150000},
    {SizeCategory::Heavy, "Heavy", 450, 450, 250, 400, -5, -12.5, 0.05, 0.5, 3.0, 20, 0.015, 0.005, 150,
     360000},
    {SizeCategory::HighPerf, "HighPerf", 150, 150, 100, 200, -6, -20, 0.1, 1.0, 4.5, 90, 0.1, 0.03, 220, 0},
    {SizeCategory::Rotorcraft, "Rotorcraft", 100, 100, 100, 100, -20, -30, 0.2, 0.75, 5.0, 75, 0.06, 0.03, 0,
     0},
};

TEST(SizeCategoryTables, EveryCategoryHasItsFigures) {
    ASSERT_EQ(categoryProfiles.size(), sizeCategoryCount);
    ASSERT_EQ(std::size(expected), sizeCategoryCount);
    for (const ExpectedFigures& e : expected) {
        SCOPED_TRACE(e.name);
        const CategoryProfile& p = gf_categoryProfile(e.category);
        EXPECT_EQ(p.category, e.category);
        EXPECT_EQ(p.name, e.name);
        EXPECT_EQ(p.categoryFigureA, e.slotsA);
        EXPECT_EQ(p.categoryFigureB, e.onGroundSlots);
        EXPECT_EQ(p.categoryFigureC, e.rotationSlots);
        EXPECT_EQ(p.categoryFigureD, e.slotsD);
        EXPECT_DOUBLE_EQ(p.categoryAngleA, e.takeoffPitchDeg);
        EXPECT_DOUBLE_EQ(p.categoryAngleB, e.pitchBDeg);
        // Angle C is stored in radians.
        EXPECT_NEAR(p.categoryAngleC, e.rateADeg * pi / 180.0, 1e-15);
        EXPECT_DOUBLE_EQ(p.factorA, e.factorA);
        EXPECT_DOUBLE_EQ(p.factorB, e.factorB);
        EXPECT_DOUBLE_EQ(p.maxBankDegrees, e.maxBankDeg);
        EXPECT_DOUBLE_EQ(p.maxBankStepDegrees, e.maxBankStepDeg);
        EXPECT_DOUBLE_EQ(p.maxPitchStepDegrees, e.maxPitchStepDeg);
        EXPECT_DOUBLE_EQ(p.rotationSpeedKn, e.rotationSpeedKn);
        EXPECT_EQ(p.towingPasses, e.towingPasses);
    }
    // A value outside the six has no row.
    EXPECT_THROW(gf_categoryProfile(static_cast<SizeCategory>(6)), std::out_of_range);
    EXPECT_EQ(gf_sizeCategoryName(static_cast<SizeCategory>(6)), "?");
}

TEST(SizeCategoryTables, NamesAndSwitches) {
    const char* names[] = {"Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};
    for (std::size_t i = 0; i < sizeCategoryCount; ++i)
        EXPECT_EQ(gf_sizeCategoryName(allCategories[i]), names[i]);

    for (const SizeCategory category : allCategories) {
        const bool switched = category == SizeCategory::Light || category == SizeCategory::Rotorcraft ||
                              category == SizeCategory::HighPerf;
        EXPECT_TRUE(gf_categoryAdmitted(category, true, true, true));
        EXPECT_EQ(gf_categoryAdmitted(category, false, false, false), !switched);
    }
    EXPECT_FALSE(gf_categoryAdmitted(SizeCategory::Rotorcraft, true, false, true));
    EXPECT_TRUE(gf_categoryAdmitted(SizeCategory::Light, true, false, false));
    EXPECT_FALSE(gf_categoryAdmitted(SizeCategory::HighPerf, true, true, false));
}

} // namespace
