// The parking file format: half-hour texts, reading stands and their flights, the id checks.

#include "parking_fixture.h"

#include "core/version.h"
#include "refdata/dbase.h"

#include <pugixml.hpp>

#include <cmath>
#include <random>

using namespace parking_test;

namespace {

HalfHourSet slots(std::initializer_list<std::size_t> list) {
    HalfHourSet set;
    for (auto n : list)
        set.set(n);
    return set;
}

HalfHourSet range(std::size_t a, std::size_t b) {
    HalfHourSet set;
    for (auto n = a; n <= b; ++n)
        set.set(n);
    return set;
}

class ParkingFormat : public ParkingTest {};

TEST_F(ParkingFormat, HalfHourTextsGiveTheirSetsAndExplainTheirErrors) {
    struct Case {
        std::string text;
        HalfHourSet set;
        std::string logLine; // "" : nothing logged
    };
    const std::vector<Case> cases{
        {"5", slots({5}), ""},
        {"10:13", range(10, 13), ""},
        {" 4 : 6 ", range(4, 6), ""},
        {"0:47", range(0, 47), ""},
        {"7x", slots({7}), ""},
        {"13:10", {}, "gf_hours2bitset descending range not allowed (13:10 in 13:10)"},
        {"1:2:3", {}, "gf_hours2bitset more than one colon char in: 1:2:3"},
        {"48", {}, "operator () invalid hour '48' in 48"},
        {"2:x", {}, "operator () invalid hour 'x' in 2:x"},
        {"-1", {}, "operator () invalid hour '-1' in -1"},
        {"3,7,x", slots({3, 7}), "operator () invalid hour 'x' in 3,7,x"},
        {"", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::size_t before = logText().size();
        EXPECT_EQ(gf_hours2bitset(c.text), c.set);
        const std::string logged = logText().substr(before);
        if (c.logLine.empty())
            EXPECT_EQ(logged, "");
        else
            EXPECT_NE(logged.find(c.logLine), std::string::npos) << logged;
    }
}

TEST_F(ParkingFormat, SetsAreWrittenAsOneNumberARangeOrAList) {
    const std::vector<std::pair<HalfHourSet, std::optional<std::string>>> cases{
        {slots({4, 5, 6}), "4:6"},     {slots({5}), "5"},      {slots({4, 6}), "4,6"},
        {slots({3, 7}), "3,7"},        {range(0, 47), "0:47"}, {slots({0, 1, 47}), "0,1,47"},
        {HalfHourSet{}, std::nullopt},
    };
    for (const auto& [set, text] : cases)
        EXPECT_EQ(gf_bitset2hours(set), text) << set;

    // Every non-empty set comes back from its text.
    std::mt19937_64 random(20261210);
    for (int i = 0; i < 3000; ++i) {
        HalfHourSet set(random() & ((1ull << 48) - 1));
        if (i % 3 == 0) set = range(random() % 48, 47) & range(0, 47 - random() % 48);
        if (set.none()) continue;
        const auto text = gf_bitset2hours(set);
        ASSERT_TRUE(text) << set;
        ASSERT_EQ(gf_hours2bitset(*text), set) << *text;
    }
}

TEST_F(ParkingFormat, StandsAndFlightsAreReadWithTheirChecks) {
    dbase.registrations = {{"HB-JNA", {"SWR", "B77W", "", false}}, {"OE-LBA", {"AUA", "A320", "EWG", false}}};
    const std::string opts =
        R"(<opt reg="X1" airl="DLH" type="A320" day="1" hh="4" cs="DLH1:DLH2" cpl="true"/>)"
        R"(<opt reg="X2" day="0" hh="4"/><opt reg="X3" day="8" hh="4"/><opt reg="X4" day="2"/>)"
        R"(<opt reg="X5" day="3" hh="junk" soft="true"/>)"
        R"(<opt reg="HB-JNA" airl="DLH" type="A320" day="4" hh="1:2"/>)"
        R"(<opt reg="OE-LBA" airl="DLH" type="B738" day="5" hh="9" cs="AUA9"/>)";
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(
        apfXml({}, standXml("ZERO", 0, 0) +
                       standXml("A1", 0, 1, R"(heading="90.0" cargo="true" ramp="true")", opts) +
                       R"(<parkpos id="NAN" latitude="nan" longitude="inf"/>)" +
                       R"(<parkpos id="HALF" latitude="nan" longitude="8.5" heli="true"/>)" +
                       standXml("FAR", 91.0, 8.0) + standXml("WEST", 10.0, -181.0))
            .c_str()));
    gf_readParkpositions(doc);
    ASSERT_EQ(parkPositions.size(), 2u) << "0/0, not finite and off-earth stands are skipped";

    const ParkPos& a1 = parkPositions[0];
    EXPECT_EQ(a1.id, "A1");
    EXPECT_DOUBLE_EQ(a1.heading, 90.0 * radiansPerDegree);
    EXPECT_DOUBLE_EQ(a1.radius, 20.0 * nmPerMetre);
    EXPECT_TRUE(a1.cargo && a1.ramp && !a1.heli && !a1.manual);
    ASSERT_EQ(a1.opts.size(), 4u) << "day 0, day 8 and a missing hh are refused";
    EXPECT_EQ(a1.opts[0].cs, "DLH1");
    EXPECT_EQ(a1.opts[0].cs2, "DLH2");
    EXPECT_TRUE(a1.opts[0].cpl);
    EXPECT_EQ(a1.opts[0].airl, "DLH");
    EXPECT_EQ(a1.opts[1].reg, "X5");
    EXPECT_TRUE(a1.opts[1].hh.none()) << "an unreadable hh is kept empty";
    EXPECT_EQ(a1.opts[1].real, 0u);
    EXPECT_EQ(a1.opts[2].airl + " " + a1.opts[2].type, "SWR B77W") << "the registration table wins";
    EXPECT_EQ(a1.opts[3].airl + " " + a1.opts[3].type, "EWG A320") << "the operator wins over the airline";
    for (std::uint32_t i = 0; i < a1.opts.size(); ++i) {
        EXPECT_EQ(a1.opts[i].seq, i + 1);
        EXPECT_EQ(a1.opts[i].origin, 1u);
    }
    EXPECT_EQ(parkPositions[1].id, "HALF");
    EXPECT_EQ(parkPositions[1].lat, 0.0) << "a latitude that is no number counts as absent";
    EXPECT_TRUE(parkPositions[1].heli);
}

TEST_F(ParkingFormat, AbsurdRadiusAndHeadingAreTakenSoThatSavesDoNotDrift) {
    struct Case {
        const char* radius;
        const char* heading;
        double radiusMetres;
        double headingDegrees;
    };
    const Case cases[] = {
        {"30.0", "270.5", 30.0, 270.5},
        {"10000", "-360", 10000.0, -360.0},
        {"4e20", "7290", 0.0, 90.0},
        {"-1e300", "-370.0", 0.0, -10.0},
        {"10000.5", "1e300", 0.0, std::fmod(1e300, 360.0)},
    };
    std::string stands;
    int n = 0;
    for (const Case& c : cases)
        stands +=
            fmt::format(R"(<parkpos id="S{}" latitude="47.0" longitude="8.0" radius="{}" heading="{}"/>)",
                        n++, c.radius, c.heading);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(apfXml({}, stands).c_str()));
    gf_readParkpositions(doc);
    ASSERT_EQ(parkPositions.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].radius);
        EXPECT_NEAR(parkPositions[i].radius * metresPerNm, cases[i].radiusMetres, 1e-9);
        EXPECT_NEAR(parkPositions[i].heading * degreesPerRadian, cases[i].headingDegrees, 1e-9);
    }
}

TEST_F(ParkingFormat, StandIdsMustBePresentAndUnique) {
    struct Case {
        std::string stands;
        std::string message;
        std::size_t kept;
    };
    const std::vector<Case> cases{
        {standXml("A1", 1, 1) + R"(<parkpos latitude="1" longitude="1"/>)",
         "93: Parking position #2 has no 'id' attribute.", 1},
        {R"(<parkpos id=" 	 " latitude="1" longitude="1"/>)",
         "93: Parking position #1 has empty 'id' attribute.", 0},
        {standXml("A1", 1, 1) + standXml("B", 1, 2) + standXml(" A1 ", 1, 3),
         "94: Parking position 'A1' appears more than once.", 2},
    };
    for (const auto& c : cases) {
        gf_clearParkPositions();
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(apfXml({}, c.stands).c_str()));
        try {
            gf_readParkpositions(doc);
            ADD_FAILURE() << "no exception for " << c.message;
        } catch (const orv::UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(parkPositions.size(), c.kept) << "stands before the failing one stay";
    }
}

// The stand reader is a function of its document alone: two documents read one after the other give
// two results that do not share or change anything, and the engine's stand list is not touched.
TEST_F(ParkingFormat, TheStandReaderGivesEachDocumentItsOwnResult) {
    const std::string flight = R"(<opt day="3" hh="10:12" cs="SWR12" reg="HB-JLT" airl="SWR" type="A320"/>)";
    pugi::xml_document first;
    ASSERT_TRUE(first.load_string(
        apfXml({}, standXml("A1", 47.1, 8.1, "", flight) + standXml("A2", 47.2, 8.2)).c_str()));
    pugi::xml_document second;
    ASSERT_TRUE(second.load_string(apfXml({}, standXml("B7", 46.5, 7.5, R"(cargo="true")")).c_str()));
    pugi::xml_document refused;
    ASSERT_TRUE(refused.load_string(apfXml({}, standXml("C1", 1, 1) + standXml(" C1", 1, 2)).c_str()));
    gf_clearParkPositions();
    parkPositions.emplace_back("KEEP", std::vector<ParkOpt>{}, 1.0, 2.0, 0.0, 10.0, false, false, false);

    const ParkingFileStands a = gf_parseParkpositions(first);
    const ParkingFileStands b = gf_parseParkpositions(second);
    const ParkingFileStands c = gf_parseParkpositions(refused);

    ASSERT_FALSE(a.refused());
    ASSERT_EQ(a.stands.size(), 2u);
    EXPECT_EQ(a.stands[0].id, "A1");
    ASSERT_EQ(a.stands[0].opts.size(), 1u);
    EXPECT_EQ(a.stands[0].opts[0].cs, "SWR12");
    EXPECT_EQ(a.stands[1].id, "A2");
    EXPECT_TRUE(a.stands[1].opts.empty());
    ASSERT_FALSE(b.refused());
    ASSERT_EQ(b.stands.size(), 1u);
    EXPECT_EQ(b.stands[0].id, "B7");
    EXPECT_TRUE(b.stands[0].cargo);
    EXPECT_FALSE(a.stands[0].cargo) << "the second reading changed nothing of the first";
    EXPECT_EQ(c.errorNumber, 94);
    EXPECT_EQ(c.refusal, "Parking position 'C1' appears more than once.");
    ASSERT_EQ(c.stands.size(), 1u) << "the stands before the faulty one";
    ASSERT_EQ(parkPositions.size(), 1u) << "the reader leaves the engine's stands alone";
    EXPECT_EQ(parkPositions[0].id, "KEEP");
}

TEST_F(ParkingFormat, DuplicateFlightsShareDayKindIdentityAndAHalfHour) {
    ParkOpt a{"DLH", "A320", "D-AIZA", "DLH1", "", range(4, 6), 1, 3, 1, 1, false};
    ParkOpt b = a;
    b.cs = "DLH99";
    b.cpl = true;
    b.seq = 7;
    b.hh = slots({6, 9});
    EXPECT_TRUE(gf_isSameParkOpt(a, b)) << "callsign, coupling and number do not count";
    for (auto change : std::vector<std::function<void(ParkOpt&)>>{
             [](ParkOpt& o) { o.hh = slots({7}); }, [](ParkOpt& o) { o.day = 4; },
             [](ParkOpt& o) { o.real = 0; }, [](ParkOpt& o) { o.reg = "D-AIZB"; },
             [](ParkOpt& o) { o.airl = "EWG"; }, [](ParkOpt& o) { o.type = "A321"; }}) {
        ParkOpt c = b;
        change(c);
        EXPECT_FALSE(gf_isSameParkOpt(a, c));
    }
}

TEST_F(ParkingFormat, ClearingKeepsTheStorage) {
    // Stands without flights, and stands with as many flights as a large airport's file holds.
    for (const std::size_t flights : {std::size_t{0}, std::size_t{300}}) {
        for (int i = 0; i < 50; ++i)
            parkPositions.emplace_back("S" + std::to_string(i), std::vector<ParkOpt>(flights), 1.0, 1.0, 0.0,
                                       20.0, false, false, false);
        const auto capacity = parkPositions.capacity();
        gf_clearParkPositions();
        EXPECT_TRUE(parkPositions.empty());
        EXPECT_EQ(parkPositions.capacity(), capacity);
    }
}

} // namespace
