#include "refdata_fixture.h"

#include "core/version.h"
#include "refdata/airports.h"

#include <gmock/gmock.h>

#include <algorithm>

using ::testing::HasSubstr;

namespace {

class AirportsTest : public RefdataTest {
protected:
    static void addAirport(const std::string& code, double lat, double lon, const std::string& iata = "") {
        airportTable.records.push_back(Airport{code, iata, lat, lon, 0.0, 0});
        airportTable.codes.insert(code);
    }

    std::string readFailure() {
        try {
            gf_readAirports();
        } catch (const orv::UserErrorException& e) {
            EXPECT_FALSE(std::filesystem::exists(input / "airports.xml"));
            return e.what();
        }
        ADD_FAILURE() << "no exception";
        return {};
    }
};

// One degree of latitude is 60 NM.
constexpr double nm = 1.0 / 60.0;

TEST_F(AirportsTest, ReadsSortsAndSkipsIncompleteAirports) {
    packInput("airports.enc", R"(<?xml version="1.0"?>
<root><airports>
  <airport code="LSZH" iata="ZRH" lat="47.4647" lon="8.5492" alt="1416" stands="12"/>
  <airport code="LOWW" iata="VIE" lat="48.1103" lon="16.5697" alt="600"/>
  <airport code="LSGG" iata="" lat="46.2381" lon="6.1089" alt="1411" stands="x"/>
  <airport code="NOLA" iata="AAA" alt="1" stands="1"/>
  <airport code="NOAL" iata="BBB" lat="1" lon="2" stands="1"/>
  <airport code="NOIA" lat="1" lon="2" alt="3" stands="1"/>
  <other code="XXXX"/>
</airports></root>)");
    ASSERT_TRUE(gf_readAirports());

    std::vector<std::string> codes;
    for (const Airport& a : airportTable.records)
        codes.push_back(a.code);
    EXPECT_THAT(codes, ::testing::ElementsAre("LOWW", "LSGG", "LSZH"));
    const Airport* zurich = gf_findAirport("LSZH");
    ASSERT_NE(zurich, nullptr);
    EXPECT_EQ(zurich->iata, "ZRH");
    EXPECT_DOUBLE_EQ(zurich->lat, 47.4647);
    EXPECT_DOUBLE_EQ(zurich->lon, 8.5492);
    EXPECT_DOUBLE_EQ(zurich->alt, 1416.0);
    EXPECT_EQ(zurich->stands, 12);
    EXPECT_EQ(gf_findAirport("LOWW")->stands, 0);
    EXPECT_EQ(gf_findAirport("LSGG")->stands, 0);
    EXPECT_EQ(gf_findAirport("LSGG")->iata, "");

    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("==> Missing stands for airport 'LOWW'\n"));
    EXPECT_THAT(log, HasSubstr("==> Missing latLons for airport 'NOLA'\n"));
    EXPECT_THAT(log, HasSubstr("==> Missing alt for airport 'NOAL'\n"));
    EXPECT_THAT(log, HasSubstr("==> Missing IATA for airport 'NOIA'\n"));
    EXPECT_THAT(log, HasSubstr("3 airports read\n"));
    EXPECT_FALSE(std::filesystem::exists(input / "airports.xml"));
    EXPECT_TRUE(gf_airportExists("LSZH"));
    EXPECT_FALSE(gf_airportExists("NOIA"));

    // Once loaded, the table is not read again.
    std::filesystem::remove(input / "airports.enc");
    EXPECT_TRUE(gf_readAirports());
    EXPECT_EQ(airportTable.records.size(), 3u);
}

TEST_F(AirportsTest, LoadFailuresAreUserErrors88) {
    const std::string xmlPath = (input / "airports.xml").string();

    packInput("airports.enc", "<root><runways/></root>");
    EXPECT_EQ(readFailure(), "88: Missing <airports> root in: " + xmlPath);

    packInput("airports.enc", "<root><airports></root>");
    EXPECT_THAT(readFailure(), ::testing::StartsWith("88: " + xmlPath + " not loaded: "));

    std::filesystem::remove(input / "airports.enc");
    EXPECT_THAT(readFailure(), ::testing::StartsWith("88: " + xmlPath + " not loaded: "));
    EXPECT_FALSE(airportTable.loaded);
}

TEST_F(AirportsTest, EmptyTableIsNoError) {
    packInput("airports.enc", "<airports/>");
    EXPECT_FALSE(gf_readAirports());
    EXPECT_TRUE(airportTable.loaded);
}

TEST_F(AirportsTest, DisplayName) {
    EXPECT_EQ(gf_airportDisplayName(Airport{"EDDF", "FRA"}), "EDDF (FRA)");
    EXPECT_EQ(gf_airportDisplayName(Airport{"EDDF", ""}), "EDDF");
    EXPECT_EQ(gf_airportDisplayName(Airport{"", "FRA"}), "? (FRA)");
}

TEST_F(AirportsTest, CodesInNamesAndPaths) {
    addAirport("EDDF", 50, 8);
    addAirport("EDDM", 48, 11);
    addAirport("LSZ", 47, 8); // a shorter code is a prefix test too
    // A record without code sorts first; it must not answer for every name and path.
    addAirport("", 46, 7);
    std::sort(airportTable.records.begin(), airportTable.records.end(),
              [](const Airport& a, const Airport& b) { return a.code < b.code; });
    EXPECT_EQ(gf_airportCodeAtStartOf("eddf_scenery.bgl"), "EDDF");
    EXPECT_EQ(gf_airportCodeAtStartOf("lszh-apron.bgl"), "LSZ");
    EXPECT_EQ(gf_airportCodeAtStartOf("ED"), "");
    EXPECT_EQ(gf_airportCodeAtStartOf("XEDDF"), "");
    EXPECT_EQ(gf_airportCodeInPath("Community/pub-airport-eddm-munich/scenery"), "EDDM");
    EXPECT_EQ(gf_airportCodeInPath("Community/pub-airport-eddmmunich/scenery"), "");
    EXPECT_EQ(gf_airportCodeInPath("Community/pub--airport-eddm-munich"), "EDDM");
    EXPECT_EQ(gf_findAirport("eddf"), nullptr);
}

struct StandQueryFake {
    std::map<std::string, std::pair<double, std::string>> stands;
    std::vector<std::string> asked;
    ClosestStandQuery query() {
        return [this](const std::string& code, const Lalo&, std::string& id) {
            asked.push_back(code);
            const auto found = stands.find(code);
            if (found == stands.end()) return 100.0;
            id = found->second.second;
            return found->second.first;
        };
    }
};

TEST_F(AirportsTest, ClosestAirportWithinFiveNm) {
    addAirport("AAAA", 5.0001 * nm, 0);
    EXPECT_EQ(gf_closestAirport(Lalo{0, 0}), nullptr);
    addAirport("BBBB", -4.9999 * nm, 0);
    const Airport* found = gf_closestAirport(Lalo{0, 0});
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->code, "BBBB");
}

TEST_F(AirportsTest, NeighbourIsThePreviousBestInCodeOrder) {
    // 3, 1 and 2 NM away in code order: BBBB is best and AAAA (not CCCC) its neighbour.
    addAirport("AAAA", 3 * nm, 0);
    addAirport("BBBB", 1 * nm, 0);
    addAirport("CCCC", -2 * nm, 0);
    StandQueryFake fake;
    fake.stands = {{"BBBB", {0.3, "B1"}}, {"AAAA", {0.1, "A7"}}, {"CCCC", {0.01, "C1"}}};
    gf_setClosestStandQuery(fake.query());

    const Airport* found = gf_closestAirport(Lalo{0, 0});
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->code, "AAAA");
    EXPECT_THAT(fake.asked, ::testing::UnorderedElementsAre("BBBB", "AAAA"));
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("Airport BBBB is closest, neighbour is AAAA\n"));
    EXPECT_THAT(log, HasSubstr("Airport BBBB is closest, but stand A7 at neighbouring airport AAAA is closer "
                               "at 185 meters ...\n"));
}

TEST_F(AirportsTest, NeighbourStandNotCloserKeepsTheBest) {
    addAirport("AAAA", 3 * nm, 0);
    addAirport("BBBB", 1 * nm, 0);
    StandQueryFake fake;
    fake.stands = {{"BBBB", {0.2, "B1"}}, {"AAAA", {0.2, "A1"}}};
    gf_setClosestStandQuery(fake.query());
    EXPECT_EQ(gf_closestAirport(Lalo{0, 0})->code, "BBBB");

    // Without parking data both answers are 100 NM.
    gf_setClosestStandQuery(nullptr);
    EXPECT_EQ(gf_closestAirport(Lalo{0, 0})->code, "BBBB");
}

TEST_F(AirportsTest, EqualDistancesKeepTheSmallerCodeWithoutNeighbour) {
    addAirport("AAAA", 2 * nm, 0);
    addAirport("BBBB", -2 * nm, 0);
    StandQueryFake fake;
    gf_setClosestStandQuery(fake.query());
    EXPECT_EQ(gf_closestAirport(Lalo{0, 0})->code, "AAAA");
    EXPECT_TRUE(fake.asked.empty());
}

} // namespace
