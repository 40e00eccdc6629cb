// The per-stand pieces of reading a parking file: numbers and half hours read from the attribute text
// give exactly what the general readers give, repeated ids are found however many ids there are, and
// the neighbour search gives the pair rule's lists for crowded, sparse and scattered layouts.

#include "core/geodesy.h"
#include "refdata/stand_reading.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// One element with one attribute of the given text.
struct OneAttribute {
    explicit OneAttribute(const std::string& text) {
        node = doc.append_child("parkpos");
        node.append_attribute("v").set_value(text.c_str());
    }
    pugi::xml_attribute attribute() const { return node.attribute("v"); }
    pugi::xml_document doc;
    pugi::xml_node node;
};

// Same value and same sign bit, or both empty.
void expectSameNumber(const std::optional<double>& got, const std::optional<double>& want,
                      const std::string& text) {
    ASSERT_EQ(got.has_value(), want.has_value()) << "'" << text << "'";
    if (!got) return;
    EXPECT_EQ(std::memcmp(&*got, &*want, sizeof(double)), 0) << "'" << text << "' " << *got << " " << *want;
}

TEST(StandReading, NumbersReadAsTheGeneralReaderReadsThem) {
    const std::vector<std::string> texts{"47.450000",
                                         "-8.550800",
                                         "0",
                                         "-0",
                                         "-0.0",
                                         "25.0",
                                         "360",
                                         "12.",
                                         ".5",
                                         "-.5",
                                         "1e3",
                                         "12.5e",
                                         "12.5E-2",
                                         " 5",
                                         "5 ",
                                         "\t-5.5\n",
                                         "+5",
                                         "+-5",
                                         "-+5",
                                         "-",
                                         "",
                                         "abc",
                                         "5x",
                                         "1.5.3",
                                         "0x10",
                                         "nan",
                                         "inf",
                                         "-inf",
                                         "1e400",
                                         "123456789012345",
                                         "1234567890123456",
                                         "0.1234567890123456789",
                                         "000000000000001.5",
                                         "9007199254740993",
                                         "0.1",
                                         "0.3",
                                         "2.675",
                                         "179.99999999999"};
    for (const std::string& text : texts) {
        const OneAttribute one(text);
        expectSameNumber(gf_finiteNumberOf(one.attribute()), gf_finiteNumber(text), text);
    }
    EXPECT_FALSE(gf_finiteNumberOf(pugi::xml_attribute()));

    // Decimal texts of every length up to 17 digits and every place of the point: the direct reading
    // rounds as from_chars does.
    std::mt19937_64 engine(5);
    for (int i = 0; i < 20000; ++i) {
        const int digits = 1 + static_cast<int>(engine() % 17);
        std::string text = i % 2 ? "-" : "";
        for (int d = 0; d < digits; ++d)
            text += static_cast<char>('0' + engine() % 10);
        const auto point = engine() % (digits + 1);
        if (point > 0 && static_cast<int>(point) < digits) text.insert(text.size() - point, ".");
        const OneAttribute one(text);
        expectSameNumber(gf_finiteNumberOf(one.attribute()), gf_finiteNumber(text), text);
    }
}

TEST(StandReading, HalfHoursReadAsTheGeneralReaderReadsThem) {
    for (const char* text :
         {"5",    "0",  "47", "48",  "99", "1:5", "5:1",   "0:47",  "47:47", "0:48", "05", "005",
          "0005", "1:", ":5", "3,7", " 5", "5 ",  "1 : 5", "1:2:3", "a",     "1:a",  "-1", "4:4"})
        EXPECT_EQ(gf_halfHoursOf(text), gf_hours2bitset(text)) << "'" << text << "'";
}

TEST(StandReading, TheFirstAttributeOfANameCounts) {
    pugi::xml_document doc;
    ASSERT_TRUE(
        doc.load_string(R"(<parkpos id="A" latitude="1" x="" latitude="2" heli="true" heli="false"/>)"));
    const auto attributes = gf_standAttributes(doc.child("parkpos"));
    EXPECT_STREQ(attributes.id.value(), "A");
    EXPECT_STREQ(attributes.latitude.value(), "1");
    EXPECT_STREQ(attributes.heli.value(), "true");
    EXPECT_FALSE(attributes.longitude);
}

TEST(StandReading, RepeatedIdsAreFoundBeyondTheExpectedCount) {
    std::vector<std::string> ids;
    for (int i = 0; i < 5000; ++i)
        ids.push_back(fmt::format("S{}", i));
    for (const std::size_t expected : {std::size_t{0}, std::size_t{5000}}) {
        StandIdSet seen(expected);
        for (const std::string& id : ids)
            ASSERT_TRUE(seen.insert(id)) << id;
        for (const std::string& id : ids)
            ASSERT_FALSE(seen.insert(std::string(id))) << id;
        EXPECT_TRUE(seen.insert("S5000"));
        EXPECT_TRUE(seen.insert(""));
        EXPECT_FALSE(seen.insert(""));
    }
}

// Stands of a layout: position in degrees, radius in metres.
struct Spot {
    double lat;
    double lon;
    double radius;
};

void expectPairRule(std::vector<Spot> spots, const std::string& what) {
    std::vector<ParkPos> stands;
    std::uint32_t sid = 0;
    for (const Spot& s : spots) {
        stands.emplace_back(fmt::format("S{}", sid), std::vector<ParkOpt>{}, s.lat, s.lon, 0.0, s.radius,
                            false, false, false);
        stands.back().sid = ++sid;
    }
    gf_setNeighbours(stands);
    for (const ParkPos& a : stands) {
        std::vector<std::uint32_t> expected;
        for (const ParkPos& b : stands)
            if (a.sid != b.sid && a.radius + b.radius > 1.1 * gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon}))
                expected.push_back(b.sid);
        ASSERT_EQ(a.adjacent, expected) << what << ": " << a.id;
    }
}

TEST(StandReading, NeighboursAreThoseOfThePairRuleInEveryLayout) {
    std::mt19937 engine(3);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto scatter = [&](double lat, double lon, double spread, int count, double maxRadius) {
        std::vector<Spot> spots;
        for (int i = 0; i < count; ++i)
            spots.push_back(
                {lat + spread * unit(engine), lon + spread * unit(engine), maxRadius * unit(engine)});
        return spots;
    };
    expectPairRule({}, "no stands");
    expectPairRule({{47.0, 8.0, 20.0}}, "one stand");
    expectPairRule(scatter(47.45, 8.55, 0.004, 400, 40.0), "crowded");
    // Enough stands for the search to be shared out among threads.
    expectPairRule(scatter(47.45, 8.55, 0.016, 1600, 40.0), "a large airport");
    // Two groups far apart: the block of cells between them would be far larger than the stands.
    auto groups = scatter(47.45, 8.55, 0.003, 200, 30.0);
    const auto far = scatter(48.9, 2.3, 0.003, 200, 30.0);
    groups.insert(groups.end(), far.begin(), far.end());
    expectPairRule(groups, "two groups");
    expectPairRule(scatter(-60.0, -170.0, 20.0, 300, 30.0), "scattered over a continent");
    expectPairRule(scatter(89.5, 10.0, 0.01, 200, 40.0), "at the pole");
    auto dateLine = scatter(-17.0, 179.997, 0.006, 300, 40.0);
    for (Spot& s : dateLine)
        if (s.lon > 180.0) s.lon -= 360.0;
    expectPairRule(dateLine, "across the date line");
    // Large stands beside ordinary ones, and stands of no or negative radius.
    auto mixed = scatter(47.45, 8.55, 0.004, 300, 40.0);
    mixed[10].radius = 500.0;
    mixed[20].radius = 0.0;
    mixed[30].radius = -30.0;
    mixed.push_back({47.452, 8.552, 9000.0});
    expectPairRule(mixed, "large and empty stands");
}

} // namespace
