#include "refdata/size_category.h"

#include <gtest/gtest.h>

#include <numbers>

namespace {

constexpr SizeCategory allCategories[] = {SizeCategory::Light,    SizeCategory::Buzjets,
                                          SizeCategory::Large,    SizeCategory::Heavy,
                                          SizeCategory::HighPerf, SizeCategory::Rotorcraft};

TEST(SizeCategoryTables, EveryCategoryHasItsValues) {
    for (const auto* table : {&categoryFigureA, &categoryFigureB, &categoryFigureC, &categoryFigureD})
        EXPECT_EQ(table->size(), sizeCategoryCount);
    for (const auto* table : {&categoryAngleA, &categoryAngleB, &categoryAngleC})
        EXPECT_EQ(table->size(), sizeCategoryCount);

    EXPECT_EQ(categoryFigureA.at(SizeCategory::Large), 400u);
    EXPECT_EQ(categoryFigureB.at(SizeCategory::Large), 350u);
    for (const auto* table : {&categoryFigureA, &categoryFigureB, &categoryFigureC, &categoryFigureD})
        EXPECT_EQ(table->at(SizeCategory::Rotorcraft), 100u);
    EXPECT_DOUBLE_EQ(categoryAngleB.at(SizeCategory::Large), -16.5);

    // Angle C is stored in radians.
    const std::pair<SizeCategory, double> degrees[] = {
        {SizeCategory::Light, 0.15}, {SizeCategory::Buzjets, 0.1},  {SizeCategory::Large, 0.07},
        {SizeCategory::Heavy, 0.05}, {SizeCategory::HighPerf, 0.1}, {SizeCategory::Rotorcraft, 0.2}};
    for (const auto& [category, deg] : degrees)
        EXPECT_NEAR(categoryAngleC.at(category), deg * std::numbers::pi / 180.0, 1e-15);
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
