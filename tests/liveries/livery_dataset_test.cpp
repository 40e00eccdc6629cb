// The catalogue over the program's own data set: the type database and the registration file of
// data/, and the small demo catalogue of tests/data/liveries.

#include "livery_test_support.h"

#include "liveries/cfg_lines.h"

#include <gtest/gtest.h>

#include <algorithm>

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

// What the scan and the engine take from the packed type database must be usable as they take it: a fix
// key must be able to meet a designator (cut to four characters, upper case, and not already a known
// type), and every airline a registration or a code list gives is a three-letter code the airline check
// knows.
TEST_F(LiveryDatasetTest, FixKeysCanMatchAndEveryAirlineIsAThreeLetterCode) {
    ASSERT_FALSE(dbase.fixes.empty());
    for (const auto& [wrong, correct] : dbase.fixes) {
        EXPECT_EQ(lf_icaoTypeDesignatorOf("icao_type_designator = " + wrong), wrong) << wrong;
        EXPECT_FALSE(gf_isKnownAcType(wrong)) << wrong << " is a known type: the fix never applies";
        EXPECT_TRUE(gf_isKnownAcType(correct)) << wrong << " -> " << correct;
    }
    const auto threeLetters = [](const std::string& code) {
        return code.size() == 3 &&
               std::all_of(code.begin(), code.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    };
    for (const auto* set : {&dbase.ICAO_airlines, &dbase.cargo_operators})
        for (const std::string& code : *set)
            EXPECT_TRUE(threeLetters(code)) << code;
    ASSERT_FALSE(dbase.registrations.empty());
    for (const auto& [reg, record] : dbase.registrations) {
        for (const std::string& airline : {gf_airlineOfReg(reg), gf_operatorOfReg(reg)}) {
            if (airline.empty()) continue;
            EXPECT_TRUE(threeLetters(airline)) << reg << ": '" << airline << "'";
            EXPECT_TRUE(gf_isIcaoAirline(airline)) << reg << ": " << airline;
        }
    }
    // The generic airline is one of the data set's airlines, so generic liveries pass the airline check.
    EXPECT_TRUE(gf_isIcaoAirline(gf_genericAirline));
}

} // namespace
} // namespace livery_testing
