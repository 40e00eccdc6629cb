// The catalogue over the program's own data set: the type database and the registration file of
// data/, and the small demo catalogue of tests/data/liveries.

#include "livery_test_support.h"

#include <gtest/gtest.h>

namespace livery_testing {
namespace {

class LiveryDatasetTest : public LiveryTest {
protected:
    void SetUp() override {
        LiveryTest::SetUp();
        const fs::path data = fs::path(SKYLOOM_SOURCE_DIR) / "data";
        datapack::encryptDataFile(data / "dbase.xml", folder / "input" / "dbase.enc");
        datapack::encryptDataFile(data / "AIG-regcodes.xml", folder / "input" / "AIG-regcodes.enc");
        ASSERT_TRUE(gf_readDbase());
        fs::copy_file(fs::path(SKYLOOM_TEST_DATA) / "liveries" / "LiveriesScanned.xml",
                      gf_liveriesScannedPath());
        gf_processScannedLiveries();
    }

    std::string choose(std::string_view airl, std::string_view type, std::string_view reg = {},
                       bool cargo = false) {
        LiveryAircraft ac{airl, type, reg, gf_sizeCategoryOf(type), cargo, "DATA"};
        gf_matchLiveAcLivery(ac);
        return std::string(ac.liveryTitle);
    }
};

TEST_F(LiveryDatasetTest, DemoCatalogueWithTheDataSet) {
    EXPECT_TRUE(logHas("27 liveries read from " + gf_liveriesScannedPath().string()));
    // The registrations of the data file find their liveries; the special one counts as unique.
    EXPECT_EQ(choose("XXX", "A320", "HB-JNB"), "Boeing 777-300ER Swiss");
    EXPECT_EQ(choose("GEC", "B77L", "D-ALFA", true), "Boeing 777F Lufthansa Cargo");
    EXPECT_EQ(matchStepCounts[0], 1u);
    EXPECT_EQ(matchStepCounts[1], 1u);
    // Airline and type; a similar type of the airline (A220-100 flown with the A220-300 livery).
    EXPECT_EQ(choose("EZS", "A320"), "Airbus A320 easyJet Switzerland");
    EXPECT_EQ(choose("SWR", "BCS1"), "Airbus A220-300 Swiss");
    EXPECT_EQ(matchStepCounts[3], 1u);
    // A private flight takes the generic livery of its type.
    EXPECT_EQ(choose("PVT", "A320"), "Airbus A320 house colours");
    // Small aircraft take the generic livery of their type, or of their class.
    EXPECT_EQ(choose("", "C172"), "Cessna 172 white");
    EXPECT_EQ(choose("XYZ", "P28A"), "Cessna 172 white");
    EXPECT_EQ(choose("XYZ", "AS50"), "EC135 white");
    EXPECT_TRUE(LIGHT_AIRCRAFT.value.load());
    EXPECT_TRUE(HELICOPTERS.value.load());
    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.value.load()); // no high-performance model installed
}

} // namespace
} // namespace livery_testing
