// Our own data set (data/*.xml) as the program reads it from its encrypted form.

#include "core/units.h"
#include "refdata_fixture.h"

#include "refdata/airports.h"
#include "refdata/dbase.h"
#include "refdata/regcodes.h"
#include "refdata/type_lookups.h"

#include <gmock/gmock.h>

#include <set>

using ::testing::HasSubstr;

namespace {

class DataSetTest : public RefdataTest {
protected:
    void packDataFile(const std::string& name) {
        packInput(name + ".enc",
                  readFile(std::filesystem::path(SKYLOOM_SOURCE_DIR) / "data" / (name + ".xml")));
    }
};

TEST_F(DataSetTest, AirportsOfTheRegion) {
    packDataFile("airports");
    ASSERT_TRUE(gf_readAirports());
    EXPECT_THAT(logText(), ::testing::Not(HasSubstr("==> ")));
    for (const char* code : {"LSZH", "LSGG", "LFSB", "LSZB", "LOWW", "LOWS", "LOWI", "LOWG", "LOWL", "LOWK"})
        EXPECT_TRUE(gf_airportExists(code)) << code;
    const Airport* zurich = gf_findAirport("LSZH");
    ASSERT_NE(zurich, nullptr);
    EXPECT_EQ(gf_airportDisplayName(*zurich), "LSZH (ZRH)");
    EXPECT_EQ(gf_closestAirport(Lalo{47.46, 8.55}), zurich);
    for (const Airport& a : airportTable.records) {
        EXPECT_EQ(a.code.size(), 4u);
        EXPECT_TRUE(a.lat > 45.5 && a.lat < 49.0 && a.lon > 5.9 && a.lon < 17.2) << a.code;
    }
}

TEST_F(DataSetTest, AircraftTypeDatabase) {
    packDataFile("dbase");
    ASSERT_TRUE(gf_readDbase());
    const std::string log = logText();
    EXPECT_THAT(log, ::testing::Not(HasSubstr("==> ")));
    EXPECT_THAT(log, HasSubstr(" publishers read\n"));
    EXPECT_THAT(log, HasSubstr(" dbase records read\n"));

    EXPECT_GE(dbase.aircrafts.size(), 150u);
    // Every type has its true wingspan, and every similar type and fix target is a known type.
    for (const std::string& type : dbase.aircrafts)
        EXPECT_TRUE(dbase.wingspans.contains(type)) << type;
    for (const auto& list : dbase.similarLists)
        for (const std::string& type : list)
            EXPECT_TRUE(gf_isKnownAcType(type)) << type;
    EXPECT_EQ(dbase.fixes.at("A32N"), "A20N");
    // Airline and business types can always be stood in for by a similar type.
    std::set<std::string> inSimilarLists;
    for (const auto& list : dbase.similarLists)
        inSimilarLists.insert(list.begin(), list.end());
    for (const auto* set : {&dbase.large, &dbase.heavy, &dbase.buzjet})
        for (const std::string& type : *set)
            EXPECT_TRUE(inSimilarLists.contains(type)) << type;

    const std::pair<const char*, SizeCategory> categories[] = {
        {"A320", SizeCategory::Large},      {"B738", SizeCategory::Large},   {"B77W", SizeCategory::Heavy},
        {"A388", SizeCategory::Heavy},      {"C56X", SizeCategory::Buzjets}, {"C172", SizeCategory::Light},
        {"EC35", SizeCategory::Rotorcraft}, {"F16", SizeCategory::HighPerf}, {"B773", SizeCategory::Heavy},
        {"AT46", SizeCategory::Large},      {"S22T", SizeCategory::Light},
    };
    for (const auto& [type, category] : categories)
        EXPECT_EQ(gf_sizeCategoryOf(type), category) << type;
    EXPECT_DOUBLE_EQ(gf_wingspanOf("A320"), 35.8 / 2 / metresPerNm);
    EXPECT_DOUBLE_EQ(dbase.largestHalfSpan, 79.75 / 2 / metresPerNm);
    EXPECT_EQ(gf_airlineOfReg("HBJNA"), "SWR");
    EXPECT_TRUE(gf_isIcaoAirline("AUA"));
}

TEST_F(DataSetTest, RegistrationMarks) {
    packDataFile("AIG-regcodes");
    ASSERT_TRUE(gf_streamDecrypt(input / "AIG-regcodes.enc", input / "AIG-regcodes.xml"));
    std::list<RegcodeLivery> entries;
    EXPECT_TRUE(gf_readRegcodesXml(entries));
    EXPECT_GE(entries.size(), 5u);
}

} // namespace
