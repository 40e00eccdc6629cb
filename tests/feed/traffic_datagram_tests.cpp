#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "core/units.h"
#include "feed/traffic_datagram.h"
#include "feed_test_support.h"

namespace {

constexpr Lalo lszh{47.4581, 8.5481};

// A traffic datagram of 29 fields: an airborne A320 near Zurich, as RealTraffic sends it.
struct Datagram {
    std::array<std::string, 29> f{
        "RTTFC", "4921362", "47.5", "8.6", "12000",        "-800",  "0",     "275.4",     "250",   "SWR123",
        "A320",  "HB-JLT",  "ZRH",  "LHR", "1765370000.5", "adsb",  "LX123", "adsb_icao", "12100", "240",
        "280",   "0.5",     "0",    "2.5", "270",          "272.5", "-768",  "none",      "A3"};
    Datagram& set(std::size_t i, std::string value) {
        f.at(i) = std::move(value);
        return *this;
    }
    std::string text() const {
        std::string s = f[0];
        for (std::size_t i = 1; i < f.size(); ++i)
            s += "," + f[i];
        return s;
    }
};

class TrafficDatagramTest : public FeedTest {
protected:
    void SetUp() override {
        FeedTest::SetUp();
        reader.setReferencePosition(lszh);
        gf_setAddingStackOpen(true);
    }

    // Parses one datagram; the record it queued, if any.
    std::optional<TrafficRecord> parse(const std::string& datagram) {
        {
            std::lock_guard lock(addingStackMutex);
            addingStack.clear();
        }
        reader.handle(datagram);
        std::lock_guard lock(addingStackMutex);
        if (addingStack.empty()) return std::nullopt;
        EXPECT_EQ(addingStack.size(), 1u);
        return addingStack.front();
    }

    // The filter the reader judges by now.
    TrafficFilter filter() const {
        const TrafficFilterContext ctx = reader.filterContext();
        return TrafficFilter{ctx.reference,
                             trafficRadiusNm.load(),
                             ctx.parkAirportElevation,
                             ctx.parkAirportChosen,
                             ctx.parkAirportPosition,
                             ctx.parkAirportElevationFt,
                             AIRBORNE_ONLY.value.load()};
    }

    // A park airport at LSZH with the elevation of its airport file.
    void parkAtZurich(std::optional<double> fileElevation = 1416.0) {
        reader.setParkAirport("LSZH", lszh, 1416.0);
        reader.setParkAirportElevation(fileElevation);
    }

    TrafficReader reader;
};

TEST_F(TrafficDatagramTest, AcceptedFlightIsQueuedWithItsFieldsAndDuePass) {
    enginePassCount.store(1234);
    const auto r = parse(Datagram{}.text());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->hexid, 4921362u);
    EXPECT_EQ(r->type, "A320");
    EXPECT_EQ(r->cs, "SWR123");
    EXPECT_EQ(r->reg, "HB-JLT");
    EXPECT_EQ(r->orig, "ZRH");
    EXPECT_EQ(r->dest, "LHR");
    EXPECT_TRUE(r->airl.empty());
    EXPECT_DOUBLE_EQ(r->pos.lat, 47.5);
    EXPECT_DOUBLE_EQ(r->pos.lon, 8.6);
    EXPECT_DOUBLE_EQ(r->pos.alt, 12000.0);
    EXPECT_DOUBLE_EQ(r->pos.gs, 250.0);
    EXPECT_DOUBLE_EQ(r->pos.track, 275.4);
    EXPECT_DOUBLE_EQ(r->pos.vs, -800.0);
    EXPECT_DOUBLE_EQ(r->pos.tas, 280.0);
    EXPECT_EQ(r->pos.duePass, 1234 + 3000);
    EXPECT_TRUE(r->pos.airborne);
    EXPECT_FALSE(r->pos.standing);
    EXPECT_TRUE(r->pos.hasTrueHeading);
    ASSERT_TRUE(r->pos.trueHeading);
    EXPECT_NEAR(*r->pos.trueHeading, 272.5 * pi / 180.0, 1e-12);
    ASSERT_TRUE(r->pos.bank);
    EXPECT_NEAR(*r->pos.bank, -2.5 * pi / 180.0, 1e-12);
    EXPECT_DOUBLE_EQ(r->feedTime, 1765370000.5);
    EXPECT_DOUBLE_EQ(reader.feedTimestamp.load(), 1765370000.5);
}

// Checks that accept, drop silently, or end the datagram with an error, read by the pure function.
TEST_F(TrafficDatagramTest, ChecksAndFilters) {
    const std::string tooLongCs(32, 'C');
    const struct {
        const char* what;
        std::string datagram;
        TrafficDrop drop;
        std::string error; // the start of the error text (drop error)
    } cases[] = {
        {"vehicle", Datagram{}.set(10, "GRND VEH").text(), TrafficDrop::vehicle, ""},
        {"vehicle anywhere", Datagram{}.text() + ", VEHICLE", TrafficDrop::vehicle, ""},
        {"28 fields", Datagram{}.text().substr(0, Datagram{}.text().rfind(',')), TrafficDrop::tooFewFields,
         ""},
        {"hexid 10000", Datagram{}.set(1, "10000").text(), TrafficDrop::hexid, ""},
        {"hexid 10001", Datagram{}.set(1, "10001").text(), TrafficDrop::none, ""},
        {"hexid with letters after a digit", Datagram{}.set(1, "4b1812").text(), TrafficDrop::hexid,
         ""}, // reads as 4
        {"hexid starts with letter", Datagram{}.set(1, "a4b1812").text(), TrafficDrop::error,
         "hexid incorrecta4b1812"},
        {"hexid beyond 32 bits", Datagram{}.set(1, "4294967296").text(), TrafficDrop::error,
         "hexid incorrect4294967296"},
        {"hexid largest", Datagram{}.set(1, "4294967295").text(), TrafficDrop::none, ""},
        {"hexid with a sign", Datagram{}.set(1, "-4921362").text(), TrafficDrop::error,
         "hexid incorrect-4921362"},
        {"hexid after a blank", Datagram{}.set(1, " 4921362").text(), TrafficDrop::error,
         "hexid incorrect 4921362"},
        {"position near 0,0", Datagram{}.set(2, "0.00005").set(3, "0.00005").text(), TrafficDrop::error,
         "invalid lalo: 0.000050,0.000050"},
        {"latitude above 90", Datagram{}.set(2, "90.5").text(), TrafficDrop::error,
         "invalid lalo: 90.500000,8.600000"},
        {"latitude empty", Datagram{}.set(2, "").text(), TrafficDrop::error, "lat:"},
        {"out of range", Datagram{}.set(2, "48.5").text(), TrafficDrop::outOfRange, ""}, // about 63 nm north
        {"registration of 13", Datagram{}.set(11, "ABCDEFGHIJKLM").text(), TrafficDrop::registration, ""},
        {"registration of 12", Datagram{}.set(11, "ABCDEFGHIJKL").text(), TrafficDrop::none, ""},
        {"type ZZZZ", Datagram{}.set(10, "ZZZZ").text(), TrafficDrop::noType, ""},
        {"type ZZZZ without category", Datagram{}.set(10, "ZZZZ").set(28, "").text(), TrafficDrop::noType,
         ""},
        {"type null", Datagram{}.set(10, "null").text(), TrafficDrop::noType, ""},
        {"type 0", Datagram{}.set(10, "0").text(), TrafficDrop::noType, ""},
        {"glider with category", Datagram{}.set(10, "GLID").set(28, "A1").text(), TrafficDrop::notAnAircraft,
         ""},
        {"glider without category", Datagram{}.set(10, "GLID").set(28, "").text(), TrafficDrop::none, ""},
        {"glider with null category", Datagram{}.set(10, "GLID").set(28, "null").text(), TrafficDrop::none,
         ""},
        {"category B1", Datagram{}.set(28, "B1").text(), TrafficDrop::category, ""},
        {"category C2", Datagram{}.set(28, "C2").text(), TrafficDrop::category, ""},
        {"heading 400", Datagram{}.set(25, "400").text(), TrafficDrop::error, "trueheading: 400.00"},
        {"heading 400 not read without adsb_icao", Datagram{}.set(17, "mlat").set(25, "400").text(),
         TrafficDrop::none, ""},
        {"callsign placeholder", Datagram{}.set(9, "ERARMTR1").text(), TrafficDrop::callsign, ""},
        {"callsign 00000000", Datagram{}.set(9, "00000000").text(), TrafficDrop::callsign, ""},
        {"callsign with @ and no registration", Datagram{}.set(9, "AB@C").set(11, "null").text(),
         TrafficDrop::noIdentity, ""},
        {"no callsign, registration only", Datagram{}.set(9, "null").text(), TrafficDrop::none, ""},
        {"altitude text", Datagram{}.set(4, "high").text(), TrafficDrop::error,
         "altitude high incorrect, from: "},
        {"track text", Datagram{}.set(7, "north").text(), TrafficDrop::error, "track incorrect north"},
        {"speed text", Datagram{}.set(8, "fast").text(), TrafficDrop::error, "gs:fast"},
        {"TAS text", Datagram{}.set(20, "x").text(), TrafficDrop::error, "TAS incorrectx"},
        {"number with unit", Datagram{}.set(8, "250kt").text(), TrafficDrop::none, ""},
        {"number with a plus sign", Datagram{}.set(8, "+250").text(), TrafficDrop::error, "gs:+250"},
        {"number after a blank", Datagram{}.set(2, " 47.5").text(), TrafficDrop::error, "lat: 47.5"},
        // Values that are no finite number never reach the queue.
        {"latitude nan", Datagram{}.set(2, "nan").text(), TrafficDrop::error, "lat:nan"},
        {"longitude inf", Datagram{}.set(3, "inf").text(), TrafficDrop::error, "lon:inf"},
        {"timestamp infinity", Datagram{}.set(14, "infinity").text(), TrafficDrop::error,
         "timestamp:infinity"},
        {"altitude INF", Datagram{}.set(4, "INF").text(), TrafficDrop::error,
         "altitude INF incorrect, from: "},
        {"vertical speed -inf", Datagram{}.set(5, "-inf").text(), TrafficDrop::error, "vs:-inf"},
        {"track NaN", Datagram{}.set(7, "NaN").text(), TrafficDrop::error, "track incorrect NaN"},
        {"ground speed nan", Datagram{}.set(8, "nan").text(), TrafficDrop::error, "gs:nan"},
        {"TAS inf", Datagram{}.set(20, "inf").text(), TrafficDrop::error, "TAS incorrectinf"},
        {"roll nan", Datagram{}.set(23, "nan").text(), TrafficDrop::error, "roll:nan"},
        {"true heading nan", Datagram{}.set(25, "nan").text(), TrafficDrop::error, "trueheading:nan"},
        {"number overflow", Datagram{}.set(5, "1e999").text(), TrafficDrop::error, "vs:1e999"},
        // The simulator's ATC id holds 31 characters.
        {"callsign of 32", Datagram{}.set(9, tooLongCs).text(), TrafficDrop::callsign, ""},
        {"callsign of 31", Datagram{}.set(9, tooLongCs.substr(1)).text(), TrafficDrop::none, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TrafficDatagramResult r = gf_readTrafficDatagram(c.datagram, filter());
        EXPECT_EQ(r.drop, c.drop);
        // The traffic clock never takes inf or nan.
        EXPECT_TRUE(!r.feedTime || std::isfinite(*r.feedTime));
        if (c.error.empty()) {
            EXPECT_EQ(r.error, "");
        } else {
            EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << r.error;
        }
        if (r.drop != TrafficDrop::none) {
            EXPECT_EQ(r.record.hexid, 0u); // nothing of a dropped flight is handed on
            EXPECT_TRUE(r.record.type.empty());
        }
    }
}

// The reader queues what the pure function accepts and logs its errors, each as one line.
TEST_F(TrafficDatagramTest, ReaderQueuesAcceptedFlightsAndLogsErrors) {
    EXPECT_TRUE(parse(Datagram{}.text()));
    EXPECT_EQ(logText().find("processLineSub"), std::string::npos);
    EXPECT_FALSE(parse(Datagram{}.set(8, "fast").text()));
    EXPECT_FALSE(parse(Datagram{}.set(1, "10000").text())); // silent
    EXPECT_NE(logText().find("\nexception in processLineSub: gs:fast\n"), std::string::npos);
    EXPECT_EQ(logText().find("exception in processLineSub: ", logText().find("gs:fast")), std::string::npos);
}

TEST_F(TrafficDatagramTest, PositionJustOffZeroIsValid) {
    reader.setReferencePosition({0.0, 0.0});
    const auto r = parse(Datagram{}.set(2, "0.0002").set(3, "0").text());
    ASSERT_TRUE(r);
    EXPECT_DOUBLE_EQ(r->pos.lat, 0.0002);
}

TEST_F(TrafficDatagramTest, RangeFollowsTheRadius) {
    trafficRadiusNm.store(100.0);
    EXPECT_TRUE(parse(Datagram{}.set(2, "48.5").text()));
    trafficRadiusNm.store(2.0);
    EXPECT_FALSE(parse(Datagram{}.text()));
}

TEST_F(TrafficDatagramTest, TextFields) {
    const auto r = parse(Datagram{}.set(11, "null").set(9, "SW@123").set(10, "B38M").text());
    EXPECT_FALSE(r); // no registration and the callsign emptied

    const auto kept = parse(Datagram{}.set(9, "SW@123").text());
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->cs, "");
    EXPECT_EQ(kept->reg, "HB-JLT");

    // Airport codes go into flight plans: up to four letters and digits.
    const struct {
        const char* field;
        const char* code;
    } codes[] = {{"LSZH", "LSZH"}, {"ZRH", "ZRH"}, {"null", ""}, {"", ""},
                 {"LSZH1", ""},    {"L<Z", ""},    {"Z\"H", ""}, {"K1G4", "K1G4"}};
    for (const auto& c : codes) {
        const auto rec = parse(Datagram{}.set(12, c.field).set(13, c.field).text());
        ASSERT_TRUE(rec) << c.field;
        EXPECT_EQ(rec->orig, c.code) << c.field;
        EXPECT_EQ(rec->dest, c.code) << c.field;
    }
}

// The simulator marks static aircraft with a "*" at the end of their ATC id: a live flight never keeps
// one, and a callsign of stars alone is none.
TEST_F(TrafficDatagramTest, CallsignRule) {
    const std::string longest(31, 'C');
    const struct {
        const char* field;
        std::optional<std::string> callsign; // empty: the flight is dropped
    } cases[] = {
        {"SWR123", "SWR123"}, {"SWR123*", "SWR123"}, {"SWR1**", "SWR1"}, {"*", ""},        {"***", ""},
        {"AB*C", "AB*C"},     {"null", ""},          {"AB@C*", ""},      {"ERARMTR1", {}}, {"ERARMTR1*", {}},
        {"AIRPORT1", {}},     {"00000000", {}},      {"", ""},           {"C*", "C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        const auto cs = gf_trafficCallsign(c.field);
        ASSERT_EQ(cs.has_value(), c.callsign.has_value());
        if (cs) {
            EXPECT_EQ(*cs, *c.callsign);
        }
        const auto r = gf_readTrafficDatagram(Datagram{}.set(9, c.field).text(), filter());
        EXPECT_EQ(r.drop, c.callsign ? TrafficDrop::none : TrafficDrop::callsign);
        if (c.callsign) {
            EXPECT_EQ(r.record.cs, *c.callsign);
        }
    }
    EXPECT_EQ(gf_trafficCallsign(longest + "*"), std::optional<std::string_view>(longest));
    EXPECT_FALSE(gf_trafficCallsign(longest + "C*"));
    // Stars alone and no registration leave the flight without identity.
    EXPECT_EQ(gf_readTrafficDatagram(Datagram{}.set(9, "**").set(11, "null").text(), filter()).drop,
              TrafficDrop::noIdentity);
}

TEST_F(TrafficDatagramTest, GroundRule) {
    const Lalo threeNmNorth{lszh.lat + 3.0 / 60.0, lszh.lon};
    const struct {
        const char* what;
        std::optional<double> fileElevation; // empty: no park airport chosen at all
        double alt;
        double gs;
        std::optional<double> expectedAlt; // empty: dropped
    } cases[] = {
        {"no park airport, fast", std::nullopt, 30, 100, 30},
        {"no park airport, slow: ground, dropped", std::nullopt, 30, 30, std::nullopt},
        {"below the reference", std::nullopt, -50, 200, std::nullopt},
        {"1050 ft at 70 kn", 1000.0, 1050, 70, 0},
        {"1050 ft at 100 kn", 1000.0, 1050, 100, 1050},
        {"1100 ft at 40 kn", 1000.0, 1100, 40, 0},
        {"1100 ft at 50 kn", 1000.0, 1100, 50, 1100},
        {"1042 ft at 120 kn", 1000.0, 1042, 120, 0},
        {"at the reference", 1000.0, 1000, 250, 0},
        {"20000 ft at 30 kn", 1000.0, 20000, 30, 0},
        {"20000 ft at 36 kn", 1000.0, 20000, 36, 20000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.fileElevation) {
            reader.setParkAirport("LSZH", lszh, *c.fileElevation);
            reader.setParkAirportElevation(c.fileElevation);
        } else {
            reader.clearParkAirport();
            reader.setParkAirportElevation(std::nullopt);
        }
        const auto r = parse(Datagram{}
                                 .set(2, fmt::format("{}", threeNmNorth.lat))
                                 .set(3, fmt::format("{}", threeNmNorth.lon))
                                 .set(4, fmt::format("{}", c.alt))
                                 .set(8, fmt::format("{}", c.gs))
                                 .text());
        ASSERT_EQ(r.has_value(), c.expectedAlt.has_value());
        if (r) {
            EXPECT_DOUBLE_EQ(r->pos.alt, *c.expectedAlt);
            EXPECT_EQ(r->pos.airborne, *c.expectedAlt > 0);
        }
    }
}

TEST_F(TrafficDatagramTest, GroundFlightsOnlyNearTheParkAirport) {
    parkAtZurich();
    for (const auto& [nm, kept] : {std::pair{4.99, true}, std::pair{5.01, false}}) {
        // The roll of a flight on the ground is not read.
        const auto r = parse(Datagram{}
                                 .set(2, fmt::format("{}", lszh.lat + nm / 60.0))
                                 .set(3, "8.5481")
                                 .set(4, "0")
                                 .set(23, "junk")
                                 .text());
        EXPECT_EQ(r.has_value(), kept) << nm;
        if (r) {
            EXPECT_FALSE(r->pos.airborne);
            EXPECT_FALSE(r->pos.bank);
        }
    }
}

TEST_F(TrafficDatagramTest, AirborneOnly) {
    AIRBORNE_ONLY.value.store(true);
    EXPECT_FALSE(parse(Datagram{}.set(4, "300").text()));
    EXPECT_TRUE(parse(Datagram{}.set(4, "301").text()));
    parkAtZurich(std::nullopt);
    EXPECT_FALSE(parse(Datagram{}.set(4, "1700").text())); // 284 ft above LSZH
    EXPECT_TRUE(parse(Datagram{}.set(4, "1750").text()));
}

TEST_F(TrafficDatagramTest, TrueAirspeedWhenNotGiven) {
    parkAtZurich();
    const struct {
        const char* alt;
        double tas;
    } cases[] = {{"0", 180},    {"2000", 180},  {"2000.5", 220}, {"5000", 220},
                 {"9000", 250}, {"20000", 350}, {"20001", 430},  {"45000", 430}};
    for (const auto& c : cases) {
        const auto r = parse(Datagram{}.set(2, "47.46").set(4, c.alt).set(20, "-1").text());
        ASSERT_TRUE(r) << c.alt;
        EXPECT_DOUBLE_EQ(r->pos.tas, c.tas) << c.alt;
    }
}

TEST_F(TrafficDatagramTest, RollBecomesBank) {
    const auto five = parse(Datagram{}.set(23, "5").text());
    ASSERT_TRUE(five && five->pos.bank);
    EXPECT_NEAR(*five->pos.bank, -0.0872664626, 1e-10);
    for (const char* none : {"0", "-1"}) {
        const auto r = parse(Datagram{}.set(23, none).text());
        ASSERT_TRUE(r);
        EXPECT_FALSE(r->pos.bank) << none;
    }
}

TEST_F(TrafficDatagramTest, TrueHeadingAndTrack) {
    const auto zero = parse(Datagram{}.set(25, "0").set(7, "").text());
    ASSERT_TRUE(zero && zero->pos.trueHeading);
    EXPECT_DOUBLE_EQ(*zero->pos.trueHeading, 2 * pi);
    EXPECT_DOUBLE_EQ(zero->pos.track, 360.0);

    const auto track0 = parse(Datagram{}.set(25, "90").set(7, "0").text());
    ASSERT_TRUE(track0);
    EXPECT_NEAR(track0->pos.track, 90.0, 1e-12);

    const auto negative = parse(Datagram{}.set(25, "-5").text());
    ASSERT_TRUE(negative);
    EXPECT_FALSE(negative->pos.trueHeading);
    EXPECT_FALSE(negative->pos.hasTrueHeading);

    const auto otherSource = parse(Datagram{}.set(17, "mode_s").set(25, "junk").set(7, "").text());
    ASSERT_TRUE(otherSource);
    EXPECT_FALSE(otherSource->pos.trueHeading);
    EXPECT_DOUBLE_EQ(otherSource->pos.track, 0.0);
}

TEST_F(TrafficDatagramTest, ClosedStackStillAdvancesTheFeedTime) {
    gf_setAddingStackOpen(false);
    EXPECT_FALSE(parse(Datagram{}.set(14, "1765370099").text()));
    EXPECT_DOUBLE_EQ(reader.feedTimestamp.load(), 1765370099.0);
    // A later drop leaves the feed time advanced as well.
    EXPECT_FALSE(parse(Datagram{}.set(14, "1765370100").set(1, "5").text()));
    EXPECT_DOUBLE_EQ(reader.feedTimestamp.load(), 1765370100.0);
}

TEST_F(TrafficDatagramTest, CallsignsAreCollectedOnlyWhileAsked) {
    parse(Datagram{}.set(9, "EDW12").text());
    reader.startCollectingCallsigns();
    for (const char* cs : {"SWR1", "null", "AB@C", "DLH4AB", "EZY9*", "**", "ERARMTR1"})
        parse(Datagram{}.set(9, cs).text());
    parse(Datagram{}.set(9, "EZS99").set(10, "ZZZZ").text()); // collected before the type drops it
    EXPECT_EQ(reader.takeCollectedCallsigns(),
              (std::unordered_set<std::string>{"SWR1", "DLH4AB", "EZY9", "EZS99"}));
    EXPECT_FALSE(reader.collectingCallsigns());
    parse(Datagram{}.set(9, "AUA7").text());
    EXPECT_TRUE(reader.takeCollectedCallsigns().empty());
}

// The filter's context changes on other threads while datagrams are judged: each datagram sees one
// whole state, either before or after a change.
TEST_F(TrafficDatagramTest, ContextChangesAreSeenWhole) {
    const std::string codeA = "LSZH-airport-with-a-long-name-A";
    const std::string codeB = "LSGG-airport-with-a-long-name-B";
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; !done.load(); ++i) {
            if (i % 2 == 0) {
                reader.setParkAirport(codeA, lszh, 1416.0);
            } else {
                reader.setParkAirport(codeB, {46.2381, 6.1090}, 1411.0);
            }
            trafficRadiusNm.store(i % 2 == 0 ? 40.0 : 60.0);
        }
    });
    for (int i = 0; i < 20000; ++i) {
        const auto ctx = reader.filterContext();
        if (ctx.parkAirportElevationFt == 1416.0) {
            ASSERT_DOUBLE_EQ(ctx.parkAirportPosition.lat, lszh.lat);
        } else if (ctx.parkAirportElevationFt == 1411.0) {
            ASSERT_DOUBLE_EQ(ctx.parkAirportPosition.lat, 46.2381);
        }
        const std::string code = reader.parkAirportCode();
        ASSERT_TRUE(code.empty() || code == codeA || code == codeB);
        reader.handle(Datagram{}.text());
    }
    done.store(true);
    writer.join();
}

} // namespace
