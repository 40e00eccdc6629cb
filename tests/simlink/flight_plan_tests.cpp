// AI flight plans: the folder, the file's exact text, the flight rules and the airport codes.

#include "simlink_fixture.h"

namespace simtest {
namespace {

std::string lf_read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string lf_plan(const char* rules, const char* origin, const char* destination) {
    return fmt::format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
                       "<FlightPlan.FlightPlan>\n"
                       "<FPType>{}</FPType>\n"
                       "<DepartureID>{}</DepartureID>\n"
                       "<DestinationID>{}</DestinationID>\n"
                       "</FlightPlan.FlightPlan>\n"
                       "</SimBase.Document>\n\n",
                       rules, origin, destination);
}

using FlightPlanTest = SimLinkTest;

TEST_F(FlightPlanTest, TheFolderComesAndGoesWithTheRun) {
    const auto folder = folder_ / "user" / "orig_dest";
    gf_removeFlightPlanFolder(); // not set yet: nothing happens
    ASSERT_TRUE(gf_createFlightPlanFolder());
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(gf_flightPlanPath(12345), folder / "12345.pln");
    ASSERT_TRUE(gf_createFlightPlanFolder()) << "an existing folder is no error";
    EXPECT_EQ(logCount("gf_createFlightPlanFolder"), 0u);

    ASSERT_TRUE(gf_writeFlightPlan(gf_flightPlanPath(3), "LSZH", "EDDF", SizeCategory::Large));
    gf_removeFlightPlanFolder();
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(logCount("gf_removeFlightPlanFolder"), 0u);

    // A per-user folder that is a file: the folder cannot be made.
    gf_setUserFolder(folder_ / "Log.txt");
    EXPECT_FALSE(gf_createFlightPlanFolder());
    EXPECT_EQ(logCount("gf_createFlightPlanFolder: "), 1u);
    EXPECT_FALSE(gf_writeFlightPlan(gf_flightPlanPath(3), "LSZH", "EDDF", SizeCategory::Large));
}

TEST_F(FlightPlanTest, APlanIsWrittenByteForByteAndReplacesAnEarlierOne) {
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const auto path = gf_flightPlanPath(12345);
    ASSERT_TRUE(gf_writeFlightPlan(path, "LSZH", "LOWW", SizeCategory::Light));
    ASSERT_TRUE(gf_writeFlightPlan(path, "EHAM", "KJFK", SizeCategory::Heavy));
    EXPECT_EQ(lf_read(path), lf_plan("IFR", "EHAM", "KJFK"));
    EXPECT_EQ(gf_removeFlightPlan(path), "");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(FlightPlanTest, FlightRulesFollowTheSizeCategory) {
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const std::pair<SizeCategory, const char*> cases[] = {
        {SizeCategory::Light, "VFR"}, {SizeCategory::Buzjets, "IFR"},  {SizeCategory::Large, "IFR"},
        {SizeCategory::Heavy, "IFR"}, {SizeCategory::HighPerf, "VFR"}, {SizeCategory::Rotorcraft, "VFR"},
    };
    for (const auto& [category, rules] : cases) {
        ASSERT_TRUE(gf_writeFlightPlan(gf_flightPlanPath(7), "LSZH", "LSGG", category));
        EXPECT_EQ(lf_read(gf_flightPlanPath(7)), lf_plan(rules, "LSZH", "LSGG")) << rules;
    }
}

// Codes come from the feed: anything but a plain airport code stays out of the XML.
TEST_F(FlightPlanTest, OnlyAirportCodesAreWritten) {
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const std::pair<const char*, const char*> cases[] = {
        {" LSZH ", "LSZH"}, {"ZRH", "ZRH"}, {"9A1", "9A1"}, {"", ""},
        {"LSZHX", ""},      {"</De", ""},   {"A&B", ""},    {"K\"J", ""},
    };
    for (const auto& [given, written] : cases) {
        SCOPED_TRACE(given);
        ASSERT_TRUE(gf_writeFlightPlan(gf_flightPlanPath(8), given, given, SizeCategory::Large));
        EXPECT_EQ(lf_read(gf_flightPlanPath(8)), lf_plan("IFR", written, written));
    }
}

} // namespace
} // namespace simtest
