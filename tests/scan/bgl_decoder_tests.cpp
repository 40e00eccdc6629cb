#include "bgl_writer.h"
#include "core/units.h"
#include "scan/bgl_decoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <numbers>
#include <set>
#include <sstream>

using namespace bglw;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const std::set<std::string> known{"LSZH", "LOWW", "EDDF", "KMCI"};

BglDecodeResult decode(const Bytes& bytes, bool is2024 = false) {
    BglDecodeOptions options;
    options.simulatorIs2024 = is2024;
    options.knownAirport = [](const std::string& code) { return known.contains(code); };
    options.pathUtf8 = "/sim/Community/pkg/scenery/x.bgl";
    return gf_decodeBgl(bytes, options);
}

Bytes oneAirport(const std::string& ident, std::int32_t mm, const std::vector<Bytes>& subs) {
    return file({Section{3, 0, {airport(ident, mm, subs)}}});
}

std::vector<std::string> ids(const BglAirport& a) {
    std::vector<std::string> out;
    for (const auto& s : a.stands)
        out.push_back(s.id);
    return out;
}

// Every line of the file and of its airports, in order.
std::string allNotes(const BglDecodeResult& r) {
    std::string text;
    for (const auto& e : r.events) {
        if (e.kind == BglEvent::Kind::note) text += e.note.text + "\n";
        if (e.kind == BglEvent::Kind::airport)
            for (const auto& n : r.airports[e.airport].notes)
                text += n.text + "\n";
    }
    return text;
}

Parking park(std::uint32_t code, std::uint32_t number, float radius = 20.0F, std::uint32_t type = 8,
             float heading = 90.0F) {
    Parking p;
    p.nameCode = code;
    p.number = number;
    p.radius = radius;
    p.type = type;
    p.heading = heading;
    return p;
}

struct Case {
    const char* name;
    std::function<Bytes()> build;
    bool is2024;
    std::function<void(const BglDecodeResult&)> check;
};

const Case cases[] = {
    {"ReadOnlyWithBit16Clear",
     [] {
         return file({Section{3, 0x10000, {airport("LSZH", 0, {parkingList({park(10, 1)})})}}});
     },
     false, [](const BglDecodeResult& r) { EXPECT_TRUE(r.airports.empty()); }},
    {"IdentsWithBlankOrQuestionDigitAndThreeLettersVanishUnknownFourLettersReported",
     [] {
         return file({Section{3,
                              0,
                              {airport("LS Z", 0, {}), airport("LS?Z", 0, {}), airport("ZRH", 0, {}),
                               airport("XXXX", 0, {}), airport("LSZH", 0, {})}}});
     },
     false,
     [](const BglDecodeResult& r) {
         ASSERT_EQ(r.airports.size(), 1u);
         EXPECT_EQ(r.airports[0].code, "LSZH");
         EXPECT_EQ(allNotes(r), "XXXX is not an airport supported by RealTraffic \n");
     }},
    {"ElevationInFeetWithinItsRange",
     [] {
         return file({Section{3,
                              0,
                              {airport("LSZH", -3000, {}), airport("LOWW", -7000, {}),
                               airport("EDDF", 3100000, {}), airport("KMCI", 432000, {})}}});
     },
     false,
     [](const BglDecodeResult& r) {
         ASSERT_EQ(r.airports.size(), 4u);
         EXPECT_EQ(r.airports[0].altitudeFt, -10);
         EXPECT_EQ(r.airports[1].altitudeFt, 0);
         EXPECT_EQ(r.airports[2].altitudeFt, 0);
         EXPECT_EQ(r.airports[3].altitudeFt, 1417);
     }},
    {"DuplicateIdsGetLettersAndTheTwelfthIsDropped",
     [] {
         std::vector<Parking> list;
         for (int i = 0; i < 12; ++i) {
             Parking p = park(12, 1);
             p.lat = 47.0 + i * 0.001;
             list.push_back(p);
         }
         return oneAirport("LSZH", 0, {parkingList(list)});
     },
     false,
     [](const BglDecodeResult& r) {
         ASSERT_EQ(r.airports.size(), 1u);
         EXPECT_THAT(ids(r.airports[0]),
                     ElementsAre("A1", "A1a", "A1b", "A1c", "A1d", "A1e", "A1f", "A1g", "A1h", "A1i", "A1j"));
         EXPECT_EQ(allNotes(r),
                   "===> Warning: more than 10 duplicate IDs A1 in /sim/Community/pkg/scenery/x.bgl\n");
     }},
    {"RadiusStrictlyBetweenOneAndTwoHundredHeadingZeroIsTwoPiAndTypes",
     [] {
         return oneAirport(
             "LSZH", 0,
             {parkingList({park(10, 1, 1.0F), park(10, 2, 200.0F), park(10, 3, 1.1F), park(10, 4, 199.9F),
                           park(10, 5, 20.0F, 12), park(10, 6, 20.0F, 13), park(10, 7, 20.0F, 5),
                           park(10, 8, 20.0F, 9), park(1, 9, 20.0F, 1, 0.0F), park(0, 7, 20.0F, 14),
                           park(11, 8), park(3, 2), park(40, 3)})});
     },
     false,
     [](const BglDecodeResult& r) {
         ASSERT_EQ(r.airports.size(), 1u);
         const auto& s = r.airports[0].stands;
         EXPECT_THAT(ids(r.airports[0]), ElementsAre("g3", "g4", "g7", "g8", "r9", "7", "8", "np2", "3"));
         EXPECT_EQ(allNotes(r), "Skipped position with radius 1.0 m in /sim/Community/pkg/scenery/x.bgl\n"
                                "Skipped position with radius 200.0 m in /sim/Community/pkg/scenery/x.bgl\n");
         EXPECT_TRUE(s[2].cargo && s[2].ramp);
         EXPECT_FALSE(s[3].cargo || s[3].ramp);
         EXPECT_TRUE(s[4].ramp);
         EXPECT_TRUE(s[5].ramp); // type 14
         EXPECT_NEAR(s[0].heading, pi / 2, 1e-6);
         EXPECT_DOUBLE_EQ(s[4].heading, 2 * pi);
         EXPECT_NEAR(s[0].radiusMetres, 1.1, 1e-6);
     }},
    {"RecordOf2024StopsTheFileAfterTheAirportsBeforeIt",
     [] {
         return file({Section{3,
                              0,
                              {airport("LSZH", 0, {parkingList({park(10, 1)})}), record(0x0113, Bytes(10, 0)),
                               airport("LOWW", 0, {parkingList({park(10, 1)})})}}});
     },
     true,
     [](const BglDecodeResult& r) {
         ASSERT_EQ(r.airports.size(), 1u);
         EXPECT_TRUE(r.notRecognised);
         ASSERT_EQ(r.events.size(), 2u);
         EXPECT_EQ(r.events[1].kind, BglEvent::Kind::notRecognised);
     }},
    {"RecordOf2024IsPassedOverUnder2020",
     [] {
         return file({Section{3,
                              0,
                              {airport("LSZH", 0, {parkingList({park(10, 1)})}), record(0x0113, Bytes(10, 0)),
                               airport("LOWW", 0, {parkingList({park(10, 1)})})}}});
     },
     false,
     [](const BglDecodeResult& r) {
         EXPECT_EQ(r.airports.size(), 2u);
         EXPECT_FALSE(r.notRecognised);
     }},
    {"HelipadsBeforeTheParkingListOnlyDuplicatesSkipped",
     [] {
         return oneAirport("LSZH", 0,
                           {helipad(47.1, 8.1, 30.0F), helipad(47.1, 8.1, 30.0F), helipad(47.2, 8.2, 20.0F),
                            parkingList({park(10, 1)}), helipad(47.3, 8.3, 20.0F)});
     },
     false,
     [](const BglDecodeResult& r) {
         ASSERT_EQ(r.airports.size(), 1u);
         EXPECT_THAT(ids(r.airports[0]), ElementsAre("helipad1", "helipad2", "g1"));
         EXPECT_EQ(r.airports[0].helipads, 2);
         EXPECT_TRUE(r.airports[0].stands[0].heli);
         EXPECT_DOUBLE_EQ(r.airports[0].stands[0].radiusMetres, 15.0);
         EXPECT_DOUBLE_EQ(r.airports[0].stands[0].heading, 0.0);
         EXPECT_EQ(allNotes(r), "double helipad  (skipped) 47.100000,8.100000\n");
     }},
    {"PositionsAndAirlineCodes",
     [] {
         Parking a = park(10, 1);
         a.lat = -33.946111;
         a.lon = 151.177222;
         a.airlineCodes = 3;
         Parking b = park(10, 2);
         b.lat = 64.1300;
         b.lon = -21.9406;
         Parking zero = park(10, 3);
         zero.lat = 0.00001;
         zero.lon = -0.00001;
         return oneAirport("LSZH", 0, {parkingList({a, b, zero})});
     },
     false,
     [](const BglDecodeResult& r) {
         ASSERT_EQ(r.airports.size(), 1u);
         const auto& s = r.airports[0].stands;
         ASSERT_EQ(s.size(), 2u);
         EXPECT_NEAR(s[0].lat, -33.946111, 1e-6);
         EXPECT_NEAR(s[0].lon, 151.177222, 1e-6);
         EXPECT_NEAR(s[1].lat, 64.13, 1e-6);
         EXPECT_NEAR(s[1].lon, -21.9406, 1e-6);
         EXPECT_THAT(allNotes(r), HasSubstr("invalid (skipped)"));
     }},
};

class BglDecoderCases : public ::testing::TestWithParam<Case> {};

TEST_P(BglDecoderCases, Decodes) {
    const Case& c = GetParam();
    c.check(decode(c.build(), c.is2024));
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, BglDecoderCases, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BglIdent, DecodesBase38AndStandPrefixes) {
    EXPECT_EQ(gf_decodeAirportIdent(packIdent("LSZH")), std::make_pair(std::string("LSZH"), true));
    EXPECT_EQ(gf_decodeAirportIdent(packIdent("K2W9")), std::make_pair(std::string("K2W9"), true));
    EXPECT_FALSE(gf_decodeAirportIdent(packIdent("L ZH")).second);
    EXPECT_EQ(gf_decodeAirportIdent(0), std::make_pair(std::string(" "), false));
    EXPECT_EQ(gf_bglStandId(2, 5), "p5");
    EXPECT_EQ(gf_bglStandId(9, 5), "nwp5");
    EXPECT_EQ(gf_bglStandId(37, 4095), "Z4095");
    EXPECT_EQ(gf_bglStandId(63, 1), "1");
}

TEST(BglQuickCheck, ReadsOnlyTheSectionTable) {
    auto check = [](const Bytes& b) {
        std::istringstream in(std::string(b.begin(), b.end()));
        return gf_bglHasAirportSection(in, b.size());
    };
    EXPECT_TRUE(check(file({Section{9, 0, {}}, Section{3, 0x10000, {}}})));
    EXPECT_FALSE(check(file({Section{9, 0, {}}})));
    EXPECT_FALSE(check(Bytes(56, 0)));
    Bytes huge = file({Section{3, 0, {}}}, 0x33333334);
    EXPECT_FALSE(check(huge));
    Bytes cut = file({Section{9, 0, {}}, Section{3, 0, {}}});
    cut.resize(56 + 20 + 18); // the second entry is cut
    EXPECT_FALSE(check(cut));
}

} // namespace
