// Writing airport and learned parking files, the learned-file path of every kind of airport file, and
// learned files that survive a killed save.

#include "parking_fixture.h"

#include "refdata/apf_writer.h"
#include "refdata/dbase.h"
#include "refdata/parking_quality.h"
#include "tests/refdata/apf_save_loop_data.h"
#include "tests/support/kill_while_saving.h"

#include <gsl/narrow>

#include <array>
#include <charconv>
#include <cmath>
#include <csignal>
#include <limits>
#include <map>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace parking_test;

namespace {

ParkOpt flight(std::string reg, HalfHourSet hh, std::uint32_t seq, std::uint32_t day = 2) {
    ParkOpt o;
    o.airl = "SWR";
    o.type = "A320";
    o.reg = std::move(reg);
    o.hh = hh;
    o.seq = seq;
    o.day = day;
    return o;
}

HalfHourSet slots(std::initializer_list<std::size_t> list) {
    HalfHourSet set;
    for (auto n : list)
        set.set(n);
    return set;
}

ParkPos standAt(const std::string& id, double lat, double lon, std::vector<ParkOpt> opts = {}) {
    return ParkPos(id, std::move(opts), lat, lon, 0.0, 20.0, false, false, false);
}

struct StringSink : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

// The attributes of an element as "name=value" in order.
std::vector<std::string> attributes(pugi::xml_node node) {
    std::vector<std::string> list;
    for (auto a : node.attributes())
        list.push_back(std::string(a.name()) + "=" + a.value());
    return list;
}

class ApfWriter : public ParkingTest {
protected:
    pugi::xml_document write(const ApfData& data, int mode) {
        const fs::path path = "airports/out/LSZH.xml";
        EXPECT_TRUE(gf_writeApf(data, path, mode, 1));
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_file(path.c_str()));
        return doc;
    }
    static std::vector<std::string> header(const pugi::xml_document& doc) {
        std::vector<std::string> list;
        for (auto p : doc.child("root").child("parameters").children("parameter"))
            list.push_back(std::string(p.attribute("name").value()) + "=" + p.attribute("value").value());
        return list;
    }
    static pugi::xml_node parkpos(const pugi::xml_document& doc, const std::string& id) {
        return doc.child("root").child("parkpositions").find_child_by_attribute("parkpos", "id", id.c_str());
    }
};

TEST_F(ApfWriter, LearnedFileHoldsWhatChangedAndTheFlights) {
    dbase.registrations = {{"HB-JNA", {"SWR", "B77W", "", false}}};
    MAX_FIT_FL.value = 24.0f;
    ApfData data;
    data.code = "LSZH";
    data.airport_name = "Zurich";
    data.publisher = "FlyTampa";
    ParkPos manual("M1", {}, 47.1234567, 8.5, 1.5707963, 0.0107991 * metresPerNm, false, true, false);
    manual.manual = true;
    data.stands.push_back(manual);

    std::vector<ParkOpt> opts{
        flight("HB-A", slots({3, 4, 5}), 1), flight("HB-B", slots({3, 5}), 2), flight("HB-C", {}, 3),
        flight("HB-D", slots({1}), 0),       flight("HB-JNA", slots({9}), 4),  flight("HB-E", slots({10}), 5),
        flight("HB-F", slots({11}), 6)};
    opts[2].cs = "SWR3";
    opts[4].cs = "SWR4";
    opts[4].cs2 = "SWR44";
    opts[5].cs2 = "ALONE";
    opts[5].real = 0;
    opts[5].cpl = true;
    data.stands.push_back(standAt("PLAIN", 47.2, 8.6, opts));
    ParkPos radius = standAt("RADIUS", 47.3, 8.6);
    radius.radius = 35.0 * nmPerMetre;
    radius.radius_change = true;
    data.stands.push_back(radius);
    ParkPos cargo = standAt("CARGO", 47.4, 8.6);
    cargo.cargo_change = true;
    cargo.cargo = true;
    data.stands.push_back(cargo);

    const auto doc = write(data, apfLearnedMode);
    EXPECT_EQ(header(doc), (std::vector<std::string>{"airport_name=Zurich", "publisher=FlyTampa", "RANGE=40",
                                                     "AUTO_RANGE=true", "WEEK=false", "PARK_SOFT=false",
                                                     "parking_percentage=30", "INITIAL_LOAD_ONLY=false",
                                                     "MAX_FIT=47", "MAX_LIVE_SEL=500"}));
    EXPECT_EQ(attributes(parkpos(doc, "M1")),
              (std::vector<std::string>{"id=M1", "latitude=47.123457", "longitude=8.500000", "heading=90.0",
                                        "radius=20.0", "cargo=false", "ramp=true", "manual=true"}));
    EXPECT_EQ(attributes(parkpos(doc, "PLAIN")), std::vector<std::string>{"id=PLAIN"});
    EXPECT_EQ(attributes(parkpos(doc, "RADIUS")),
              (std::vector<std::string>{"id=RADIUS", "radius_change=true", "radius=35.0"}));
    EXPECT_EQ(attributes(parkpos(doc, "CARGO")),
              (std::vector<std::string>{"id=CARGO", "cargo_change=true", "cargo=true"}));

    std::vector<std::vector<std::string>> written;
    for (auto opt : parkpos(doc, "PLAIN").children("opt"))
        written.push_back(attributes(opt));
    EXPECT_EQ(written, (std::vector<std::vector<std::string>>{
                           {"reg=HB-A", "airl=SWR", "type=A320", "day=2", "hh=3:5"},
                           {"reg=HB-B", "airl=SWR", "type=A320", "day=2", "hh=3,5"},
                           {"reg=HB-JNA", "day=2", "hh=9", "cs=SWR4:SWR44"},
                           {"reg=HB-E", "airl=SWR", "type=A320", "soft=true", "day=2", "hh=10", "cpl=true"},
                           {"reg=HB-F", "airl=SWR", "type=A320", "day=2", "hh=11"},
                       }));
    EXPECT_NE(logText().find("==> bit set problem: HB-C SWR3 SWR A320"), std::string::npos);

    // Half hours of MAX_FIT_FL: twice the hours, rounded, minus one.
    for (const auto& [hours, written] : {std::pair{0.5f, "0"}, std::pair{2.5f, "4"}, std::pair{0.74f, "0"}}) {
        MAX_FIT_FL.value = hours;
        const auto again = write(data, apfLearnedMode);
        EXPECT_EQ(header(again)[8], std::string("MAX_FIT=") + written) << hours;
    }
    MAX_FIT_FL.value = 3.0e9f;
    EXPECT_THROW(gf_writeApf(data, "airports/out/LSZH.xml", apfLearnedMode, 1), gsl::narrowing_error);
}

TEST_F(ApfWriter, AirportFileHoldsEveryStandWithoutFlights) {
    ApfData data;
    data.airport_name = "Zurich";
    data.BGLpath = "C:/x.bgl";
    data.manufacturer = "Maker";
    data.creator = "Creator";
    data.altitude = -11;
    data.stands.push_back(standAt("A1", 47.1, 8.5, {flight("HB-A", slots({3}), 1)}));
    ParkPos heli("H1", {}, 47.2, 8.5, 0.0, 10.0, true, false, true);
    data.stands.push_back(heli);
    const auto doc = write(data, apfAirportMode);
    EXPECT_EQ(header(doc),
              (std::vector<std::string>{"airport_name=Zurich", "publisher=", "altitude=-11", "num_parkpos=2",
                                        "BGLpath=C:/x.bgl", "manufacturer=Maker", "creator=Creator"}));
    EXPECT_FALSE(parkpos(doc, "A1").child("opt"));
    EXPECT_EQ(attributes(parkpos(doc, "H1")),
              (std::vector<std::string>{"id=H1", "latitude=47.200000", "longitude=8.500000", "heading=0.0",
                                        "radius=10.0", "heli=true", "ramp=false"}));

    // What the scan writes, the reader reads.
    pugi::xml_document again;
    ASSERT_TRUE(again.load_file("airports/out/LSZH.xml"));
    gf_readParkpositions(again);
    ASSERT_EQ(parkPositions.size(), 2u);
    EXPECT_TRUE(parkPositions[1].heli);
    EXPECT_NEAR(parkPositions[1].radius * metresPerNm, 10.0, 1e-9);
}

// A buffer that held a longer text before gets exactly the text of the next file, in either mode.
TEST_F(ApfWriter, TextIntoAReusedBufferIsTheFilesTextAlone) {
    ApfData large;
    large.airport_name = "Large";
    for (int i = 0; i < 200; ++i)
        large.stands.push_back(standAt(fmt::format("G{}", i), 47.0 + i * 0.001, 8.5));
    ApfData small;
    small.airport_name = "Small";
    small.stands.push_back(standAt("A1", 47.1, 8.5, {flight("HB-A", slots({3}), 1)}));
    std::string buffer;
    for (const int mode : {apfAirportMode, apfLearnedMode}) {
        gf_apfTextInto(buffer, large, apfAirportMode, 1);
        gf_apfTextInto(buffer, small, mode, 1);
        EXPECT_EQ(buffer, gf_apfText(small, mode, 1)) << mode;
    }
}

// The text is built without a DOM; pugixml, reading it and saving it again, must give the same bytes,
// and every value must read back as it was given (up to a NUL, where a C string ends).
TEST_F(ApfWriter, TextIsWhatPugixmlSavesAndReadsBackEveryValue) {
    dbase.registrations = {{"HB-JNA", {"SWR", "B77W", "", false}}};
    std::string everyByte;
    for (int c = 1; c < 256; ++c)
        everyByte += static_cast<char>(c);
    const std::vector<std::pair<std::string, std::string>> texts{
        {"plain", "Zurich"},
        {"markup", "<a href=\"x\">&amp; 'q'</a>"},
        {"white space", " \t\r\n "},
        {"every byte but NUL", everyByte},
        {"cut at NUL", std::string("before\0after", 12)},
        {"empty", ""},
    };
    for (const auto& [what, text] : texts) {
        const std::string expected = text.substr(0, text.find('\0'));
        for (const bool handmade : {false, true}) {
            for (const int mode : {apfAirportMode, apfLearnedMode}) {
                SCOPED_TRACE(fmt::format("{}, handmade {}, mode {}", what, handmade, mode));
                handmadeApf = handmade;
                ApfData data;
                data.airport_name = text;
                data.BGLpath = text;
                data.manufacturer = text;
                data.creator = text;
                ParkOpt opt = flight(text, slots({3}), 1);
                opt.airl = text;
                opt.cs = text;
                ParkPos stand = standAt(text, 47.1, 8.5, {opt, flight("HB-JNA", slots({4}), 2)});
                stand.manual = true;
                data.stands = {stand, standAt("B", 47.2, 8.5)};

                const std::string written = gf_apfText(data, mode, 0);
                pugi::xml_document doc;
                ASSERT_TRUE(doc.load_buffer(written.data(), written.size(),
                                            pugi::parse_default | pugi::parse_declaration));
                StringSink again;
                doc.save(again, "  ", pugi::format_default, pugi::encoding_utf8);
                EXPECT_EQ(written, again.text);

                EXPECT_EQ(header(doc)[0], "airport_name=" + expected);
                EXPECT_EQ(header(doc).back().substr(0, 8), mode == apfAirportMode ? "creator=" : "MAX_LIVE");
                const auto first = doc.child("root").child("parkpositions").child("parkpos");
                EXPECT_EQ(first.attribute("id").value(), expected);
                if (mode == apfLearnedMode) {
                    EXPECT_EQ(first.child("opt").attribute("reg").value(), expected);
                    EXPECT_EQ(first.child("opt").attribute("cs").value(), expected);
                    EXPECT_FALSE(first.child("opt").next_sibling("opt").attribute("airl"));
                }
            }
        }
    }
    handmadeApf = false;
}

// Positions, headings and radii are written as fmt writes them with a fixed number of decimals, also
// for exact halves, negative zero, the largest values and what is no number.
TEST_F(ApfWriter, NumbersAreWrittenAsFmtWritesThem) {
    std::vector<double> values{0.0,  -0.0,   0.05,   0.25,  2.5,    -2.5,      1e-7,
                               5e-7, 1.5e-6, 999.95, 1e300, -1e308, 47.1234565};
    for (long k = -3000; k <= 3000; k += 7)
        values.push_back(static_cast<double>(k) / 64.0);
    values.push_back(std::numeric_limits<double>::quiet_NaN());
    values.push_back(-std::numeric_limits<double>::infinity());
    for (const double value : values) {
        ApfData data;
        ParkPos stand = standAt("A", value, value);
        stand.heading = value / degreesPerRadian;
        stand.radius = value * nmPerMetre;
        data.stands = {stand};
        pugi::xml_document doc;
        const std::string text = gf_apfText(data, apfAirportMode, 1);
        ASSERT_TRUE(doc.load_buffer(text.data(), text.size()));
        const auto parkpos = doc.child("root").child("parkpositions").child("parkpos");
        EXPECT_EQ(parkpos.attribute("latitude").value(), fmt::format("{:.6f}", value));
        EXPECT_EQ(parkpos.attribute("heading").value(),
                  fmt::format("{:.1f}", value / degreesPerRadian * degreesPerRadian));
        EXPECT_EQ(parkpos.attribute("radius").value(),
                  fmt::format("{:.1f}", value * nmPerMetre * metresPerNm));
    }
}

// The writer's own fixed-notation numbers against fmt and std::to_chars over the edges of its exact
// path: ties at every precision, values that round to (negative) zero, subnormals, the limits of 53
// and 64 bits, the values it leaves to std::to_chars, and random doubles of every magnitude.
TEST(ApfFixedNumbers, AreWhatFmtAndToCharsWrite) {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> values{0.0,
                               -0.0,
                               0.5,
                               1.5,
                               2.5,
                               -0.5,
                               0.125,
                               0.375,
                               -0.0625,
                               0.05,
                               0.15,
                               0.35,
                               1e-7,
                               -1e-7,
                               4.9999995e-7,
                               5e-7,
                               -5e-7,
                               0.0000005,
                               0.9999995,
                               -0.99999949999,
                               9.95,
                               99.95,
                               47.1234565,
                               359.95,
                               std::numeric_limits<double>::denorm_min(),
                               -std::numeric_limits<double>::denorm_min(),
                               std::numeric_limits<double>::min(),
                               0x1p-60,
                               0x1p-110,
                               0x1p-111,
                               0x1.fffffffffffffp52,
                               0x1p53,
                               0x1p53 + 2.0,
                               0x1.fffffffffffffp63,
                               0x1p64,
                               -0x1p64,
                               1e300,
                               -std::numeric_limits<double>::max(),
                               std::numeric_limits<double>::quiet_NaN(),
                               -std::numeric_limits<double>::quiet_NaN(),
                               inf,
                               -inf};
    std::mt19937_64 random(31);
    std::uniform_real_distribution<double> exponent(-30.0, 25.0);
    for (int i = 0; i < 20000; ++i) {
        const double magnitude = std::pow(10.0, exponent(random));
        values.push_back((i % 2 == 0 ? 1.0 : -1.0) * magnitude);
        // Ties and near-ties of the short decimals a scan writes.
        values.push_back(static_cast<double>(static_cast<std::int64_t>(random() % 2000000) - 1000000) / 64.0);
    }
    std::array<char, 512> buffer;
    for (const double value : values) {
        for (int decimals = 0; decimals <= 18; ++decimals) {
            std::string written;
            gf_appendFixed(written, value, decimals);
            const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                              std::chars_format::fixed, decimals);
            ASSERT_EQ(written, std::string_view(buffer.data(), result.ptr)) << value << " " << decimals;
            if (!std::isnan(value)) {
                ASSERT_EQ(written, fmt::format("{:.{}f}", value, decimals)) << decimals;
            }
        }
    }
    std::string appended = "x=";
    gf_appendFixed(appended, -1.25, 1);
    EXPECT_EQ(appended, "x=-1.2");
}

TEST_F(ApfWriter, HandmadeFileKeepsEveryStandsPosition) {
    handmadeApf = true;
    ApfData data;
    data.airport_name = "Zurich";
    data.publisher = "P";
    data.altitude = 1416;
    data.Qf_real = 63;
    data.Qf_soft = 0;
    data.stands.push_back(standAt("A1", 47.1, 8.5, {flight("HB-A", slots({3}), 1)}));
    ParkPos changed = standAt("A2", 47.2, 8.5);
    changed.radius = 30.0 * nmPerMetre;
    changed.radius_change = true;
    changed.cargo = true;
    changed.cargo_change = true;
    data.stands.push_back(changed);
    const auto doc = write(data, apfLearnedMode);
    const auto h = header(doc);
    EXPECT_EQ(std::vector<std::string>(h.begin(), h.begin() + 6),
              (std::vector<std::string>{"airport_name=Zurich", "publisher=P", "handmade=true",
                                        "altitude=1416", "Qf_real=63", "Qf_soft=0"}));
    EXPECT_TRUE(parkpos(doc, "A1").attribute("latitude"));

    // Read back as a handmade file is read: the changed stand keeps its place, radius and cargo use.
    gf_readParkpositions(doc);
    ASSERT_EQ(parkPositions.size(), 2u);
    EXPECT_EQ(parkPositions[1].id, "A2");
    EXPECT_NEAR(parkPositions[1].radius * metresPerNm, 30.0, 1e-9);
    EXPECT_TRUE(parkPositions[1].cargo);
    EXPECT_EQ(parkPositions[0].opts.size(), 1u);
}

TEST_F(ApfWriter, LearnedPathIsOneSafeFolderPerPublisher) {
    const std::string l = "airports/learned/";
    const std::vector<std::tuple<std::string, std::string, std::string>> cases{
        {"LSZH", "stock", l + "stock/LSZH.xml"},
        {"LSZH", "simaddon", l + "simaddon/LSZH.xml"},
        {"LSZH", "Stock", l + "thirdparty/Stock/LSZH.xml"},
        {"LSZH", "Big Airports", l + "thirdparty/Big Airports/LSZH.xml"},
        {"LSZH", " A/B\\C ", l + "thirdparty/A B C/LSZH.xml"},
        {"LSZH", " .. ", l + "thirdparty/LSZH.xml"},
        {"LSZH", ".", l + "thirdparty/LSZH.xml"},
        {"LSZH", "/", l + "thirdparty/LSZH.xml"},
        {"LSZH", "\x01\t\x7f", l + "thirdparty/LSZH.xml"},
        {"LSZH", "", l + "thirdparty/LSZH.xml"},
        {"LSZH", "Fly\nTampa", l + "thirdparty/FlyTampa/LSZH.xml"},
        {"LSZH", std::string(150, 'a'), l + "thirdparty/" + std::string(100, 'a') + "/LSZH.xml"},
        {"LSZH", std::string(99, 'a') + "\xc3\xa9", l + "thirdparty/" + std::string(99, 'a') + "/LSZH.xml"},
        {"", "stock", ""},
        {"../LSZH", "stock", ""},
        {"..", "stock", ""},
    };
    for (const auto& [code, publisher, path] : cases)
        EXPECT_EQ(gf_learnedPathOf(code, publisher).generic_string(), path) << publisher;
}

// What the engine saves when it leaves the park airport: per stand what was learned there.
ApfData learnedData() {
    ApfData data;
    data.code = parkAirportCode;
    data.airport_name = parkAirportInfo.airport_name;
    data.publisher = parkAirportInfo.publisher;
    data.altitude = parkAirportInfo.altitude;
    for (ParkPos stand : parkPositions) {
        std::erase_if(stand.opts, [](const ParkOpt& o) { return o.origin == 1; });
        if (!stand.manual && stand.opts.empty() && !stand.radius_change && !stand.cargo_change) continue;
        data.stands.push_back(std::move(stand));
    }
    return data;
}

// Stands as texts that hold every field the learned file keeps.
std::vector<std::string> describe(const std::vector<ParkPos>& stands) {
    std::vector<std::string> list;
    for (const auto& s : stands) {
        list.push_back(fmt::format("{} {:.6f} {:.6f} {:.1f} m{} r{} c{} cargo{}", s.id, s.lat, s.lon,
                                   s.radius * metresPerNm, s.manual, s.radius_change, s.cargo_change,
                                   s.cargo));
        for (const auto& o : s.opts)
            list.push_back(fmt::format("  {} {} {} {}:{} {} #{} d{} o{} r{} c{}", o.airl, o.type, o.reg, o.cs,
                                       o.cs2, *gf_bitset2hours(o.hh), o.seq, o.day, o.origin, o.real, o.cpl));
    }
    return list;
}

TEST_F(ApfWriter, LearnedFilesOfEveryKindOfAirportFileAreReadBack) {
    const std::string stands =
        standXml("A1", 47.0, 8.0, "", R"(<opt reg="HB-A" airl="SWR" type="A320" day="1" hh="4"/>)") +
        standXml("A2", 47.01, 8.0) + standXml("A3", 47.02, 8.0);
    const auto file = [&](const std::string& publisher) {
        Params params{{"airport_name", "Zurich"}, {"altitude", "1416"}};
        if (!publisher.empty()) params.emplace_back("publisher", publisher);
        return apfXml(params, stands);
    };
    struct Case {
        std::string what;
        std::map<std::string, std::string> local; // relative to the working folder
        std::map<std::string, std::string> remote;
        std::string reference;
        std::string learnedPath;
    };
    const std::vector<Case> cases{
        {"stock archive",
         {},
         {{"downloads/MSFS/archive/stock/LSZH.xml", file("stock")}},
         "archive/stock/LSZH.xml",
         "airports/learned/stock/LSZH.xml"},
        {"simaddon scan file",
         {{"airports/my_simaddon/LSZH.xml", file("simaddon")}},
         {},
         "airports/my_simaddon/LSZH.xml",
         "airports/learned/simaddon/LSZH.xml"},
        {"simaddon link",
         {{"airports/my_simaddon/LSZH.txt", "archive/simaddon/LSZH.xml\n"}},
         {{"downloads/MSFS/archive/simaddon/LSZH.xml", file("simaddon")}},
         "archive/simaddon/LSZH.xml",
         "airports/learned/simaddon/LSZH.xml"},
        {"thirdparty archive",
         {{"airports/my_thirdparty/LSZH.txt", "archive/thirdparty/Big%20Airports/LSZH.xml\n"}},
         {{"downloads/MSFS/archive/thirdparty/Big%20Airports/LSZH.xml", file("Big Airports")}},
         "archive/thirdparty/Big%20Airports/LSZH.xml",
         "airports/learned/thirdparty/Big Airports/LSZH.xml"},
        {"thirdparty generated file",
         {{"airports/my_thirdparty/LSZH.xml", file("Fly/Tampa")}},
         {},
         "airports/my_thirdparty/LSZH.xml",
         "airports/learned/thirdparty/Fly Tampa/LSZH.xml"},
        {"user's file without publisher",
         {{"airports/my_thirdparty/LSZH.xml", file("")}},
         {},
         "airports/my_thirdparty/LSZH.xml",
         "airports/learned/thirdparty/LSZH.xml"},
    };
    addAirport("LSZH", 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "airports");
        for (const auto& [path, content] : c.local)
            writeAt(path, content);
        server = c.remote;
        const std::string reference = gf_apfRefOf("LSZH");
        ASSERT_EQ(reference, c.reference);
        ASSERT_EQ(read(reference), "");

        // What the engine learned: flights on a stand of the file, a new radius, a cargo change and a
        // stand of the user's.
        ParkOpt learnedFlight = flight("HB-L", slots({3, 7}), 2, 5);
        learnedFlight.origin = 0;
        learnedFlight.cs = "SWR7";
        learnedFlight.cs2 = "SWR8";
        learnedFlight.real = 0;
        learnedFlight.cpl = true;
        parkPositions[0].opts.push_back(learnedFlight);
        parkPositions[1].radius = 35.0 * nmPerMetre;
        parkPositions[1].radius_change = true;
        parkPositions[2].cargo = true;
        parkPositions[2].cargo_change = true;
        ParkOpt manualFlight = flight("HB-M", slots({20}), 1, 7);
        manualFlight.origin = 0;
        parkPositions.push_back(standAt("M1", 47.03, 8.0, {manualFlight}));
        parkPositions.back().manual = true;
        const auto before = describe(parkPositions);

        ASSERT_TRUE(gf_writeApf(learnedData(), gf_learnedPathOf("LSZH", parkAirportInfo.publisher),
                                apfLearnedMode, 1));
        EXPECT_TRUE(fs::exists(dir / c.learnedPath));
        ASSERT_EQ(read(reference), "");
        EXPECT_EQ(describe(parkPositions), before);
        EXPECT_EQ(logText().find("not found?"), std::string::npos);
    }
}

TEST_F(ApfWriter, SavesLeaveNoTemporaryFile) {
    ApfData data;
    data.stands.push_back(standAt("A1", 47.1, 8.5, {flight("HB-A", slots({3}), 1)}));
    const fs::path path = gf_learnedPathOf("LSZH", "stock");
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(gf_writeApf(data, path, apfLearnedMode, 1));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / path.parent_path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"LSZH.xml"});
}

// A child saving two learned files in turn, killed 200 times at random moments, leaves each file
// either as an earlier save or as a later one wrote it whole: never damaged, never empty.
TEST_F(ApfWriter, KilledWhileSavingAlwaysLeavesACompleteFile) {
    const fs::path file = dir / "airports/learned/stock/LSZH.xml";
    const auto seed = std::random_device{}();
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 engine(seed);
    // The stands part of every save of an airport is the same; the airport name tells the round.
    std::map<std::string, std::string> standsText;
    for (const auto& airport : apf_save_loop::loopAirports) {
        const std::string text = gf_apfText(apf_save_loop::saveData(airport, 1), apfLearnedMode, 1);
        standsText[airport.code] = text.substr(text.find("<parkpositions"));
    }
    std::map<std::string, std::string> lastRound;
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        gf_logFlush();
        ASSERT_TRUE(testing_support::killSaveLoopAtRandom(APF_SAVE_LOOP, dir.string(), engine));
        for (const auto& airport : apf_save_loop::loopAirports) {
            const fs::path path = dir / gf_learnedPathOf(airport.code, "stock");
            // The first save is EDDF's: LSZH may not have been written yet in the first rounds.
            if (!fs::exists(path) && !lastRound.contains(airport.code)) continue;
            const std::string text = readFile(path);
            ASSERT_FALSE(text.empty()) << airport.code;
            pugi::xml_document doc;
            ASSERT_TRUE(doc.load_string(text.c_str())) << airport.code;
            ASSERT_TRUE(gf_readMetaData(doc)) << airport.code;
            const std::string name = gf_readStringParameter(doc, "airport_name").value_or("");
            ASSERT_TRUE(name.starts_with("round ")) << airport.code << ": " << name;
            const auto at = text.find("<parkpositions");
            ASSERT_NE(at, std::string::npos) << airport.code;
            ASSERT_EQ(text.substr(at), standsText[airport.code]) << airport.code << " of " << name;
            lastRound[airport.code] = name;
        }
    }
    ASSERT_EQ(lastRound.size(), 2u);
    ASSERT_TRUE(fs::exists(file));
    // EDDF, and what its killed saves left, is not the concern of the LSZH read below.
    std::vector<fs::path> eddf;
    for (const auto& e : fs::directory_iterator(file.parent_path()))
        if (e.path().filename().string().find("EDDF.xml") != std::string::npos) eddf.push_back(e.path());
    for (const fs::path& path : eddf)
        fs::remove(path);

    // The next read of the airport clears what killed saves left beside the learned file.
    parkAirportCode = "LSZH";
    writeAt("airports/my_thirdparty/LSZH.xml", apfXml({{"publisher", "stock"}, {"altitude", "1"}}, ""));
    writeAt("airports/learned/stock/.LSZH.xml.tmp99999-1", "<root");
    writeAt("airports/learned/stock/.other.xml.tmp99999-1", "<root");
    read("airports/my_thirdparty/LSZH.xml");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(file.parent_path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".other.xml.tmp99999-1", "LSZH.xml"}));
}

} // namespace
