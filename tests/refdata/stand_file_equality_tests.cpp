// The stand reader against a plain one: the demo airport file, the fuzz seeds and generated files of
// every size (faulty ids placed anywhere, numbers, flags and half hours in odd forms, registrations in the
// table) read to the same stands and flights, field for field, with the same refusal and the same log
// lines, on one thread and on several. And an airport file loaded from disk (its stands parsed in pieces)
// against the same file loaded whole by the XML library.

#include "core/strings.h"
#include "core/xml.h"
#include "refdata/dbase.h"
#include "refdata/park_airport_file.h"
#include "refdata/parking_format.h"
#include "refdata/parking_quality.h"
#include "refdata/stand_reading.h"
#include "refdata/type_lookups.h"
#include "refdata_fixture.h"

#include <gtest/gtest.h>

#include <fmt/format.h>
#include <pugixml.hpp>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

// ---- The plain reader: one stand after the other, each value through the general functions --------

std::optional<double> plainNumber(const pugi::xml_node& node, const char* name) {
    return gf_finiteNumber(node.attribute(name).value());
}

std::vector<ParkOpt> plainFlights(const pugi::xml_node& parkpos) {
    std::vector<ParkOpt> opts;
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        const std::string hh = opt.attribute("hh").value();
        const int day = opt.attribute("day").as_int(0);
        if (hh.empty() || day < 1 || day > 7) continue;
        ParkOpt entry;
        const std::string cs = opt.attribute("cs").value();
        const auto colon = cs.find(':');
        entry.cs = cs.substr(0, colon);
        entry.cs2 = colon == std::string::npos ? "" : cs.substr(colon + 1);
        entry.reg = opt.attribute("reg").value();
        const auto row = entry.reg.empty() ? std::nullopt : gf_findRegRecord(entry.reg);
        entry.airl = row ? (row->opr.empty() ? row->airl : row->opr) : opt.attribute("airl").value();
        entry.type = row ? row->type : opt.attribute("type").value();
        entry.hh = gf_hours2bitset(hh);
        entry.seq = static_cast<std::uint32_t>(opts.size() + 1);
        entry.day = static_cast<std::uint32_t>(day);
        entry.origin = 1;
        entry.real = opt.attribute("soft").as_bool(false) ? 0 : 1;
        entry.cpl = opt.attribute("cpl").as_bool(false);
        opts.push_back(entry);
    }
    return opts;
}

std::optional<ParkPos> plainStand(const pugi::xml_node& parkpos, const std::string& id) {
    const double lat = plainNumber(parkpos, "latitude").value_or(0.0);
    const double lon = plainNumber(parkpos, "longitude").value_or(0.0);
    if ((lat == 0.0 && lon == 0.0) || std::abs(lat) > 90.0 || std::abs(lon) > 180.0) return std::nullopt;
    const auto radiusText = plainNumber(parkpos, "radius");
    const double radius = radiusText && std::abs(*radiusText) <= maxStandRadiusMetres ? *radiusText : 0.0;
    double heading = plainNumber(parkpos, "heading").value_or(0.0);
    if (std::abs(heading) > 360.0) heading = std::fmod(heading, 360.0);
    return ParkPos(id, plainFlights(parkpos), lat, lon, heading * radiansPerDegree, radius,
                   parkpos.attribute("cargo").as_bool(false), parkpos.attribute("ramp").as_bool(false),
                   parkpos.attribute("heli").as_bool(false));
}

ParkingFileStands plainRead(const pugi::xml_node& doc) {
    ParkingFileStands read;
    std::set<std::string> seen;
    int count = 0;
    for (const pugi::xml_node parkpos : gf_rootChild(doc, "parkpositions").children("parkpos")) {
        ++count;
        const pugi::xml_attribute idAttribute = parkpos.attribute("id");
        if (!idAttribute) {
            read.errorNumber = 93;
            read.refusal = fmt::format("Parking position #{} has no 'id' attribute.", count);
            break;
        }
        std::string id = idAttribute.value();
        const auto begin = id.find_first_not_of(" \t\r\n");
        if (begin == std::string::npos) {
            read.errorNumber = 93;
            read.refusal = fmt::format("Parking position #{} has empty 'id' attribute.", count);
            break;
        }
        id = id.substr(begin, id.find_last_not_of(" \t\r\n") - begin + 1);
        // The repeated stand is read (its flights' faults are logged) before the file is refused.
        auto stand = plainStand(parkpos, id);
        if (!seen.insert(id).second) {
            read.errorNumber = 94;
            read.refusal = fmt::format("Parking position '{}' appears more than once.", id);
            break;
        }
        if (stand) read.stands.push_back(std::move(*stand));
    }
    return read;
}

// ---- Comparison ------------------------------------------------------------------------------------

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every field of a flight.
auto fieldsOf(const ParkOpt& o) {
    return std::tuple(o.airl, o.type, o.reg, o.cs, o.cs2, o.hh.to_ullong(), o.seq, o.day, o.origin, o.real,
                      o.cpl, o.inUse);
}

void expectSameStands(const ParkingFileStands& got, const ParkingFileStands& want, const std::string& what) {
    EXPECT_EQ(got.errorNumber, want.errorNumber) << what;
    EXPECT_EQ(got.refusal, want.refusal) << what;
    ASSERT_EQ(got.stands.size(), want.stands.size()) << what;
    for (std::size_t i = 0; i < want.stands.size(); ++i) {
        const ParkPos& g = got.stands[i];
        const ParkPos& w = want.stands[i];
        const std::string where = fmt::format("{}: stand #{} '{}'", what, i, w.id);
        EXPECT_EQ(g.id, w.id) << where;
        EXPECT_TRUE(sameBits(g.lat, w.lat) && sameBits(g.lon, w.lon)) << where;
        EXPECT_TRUE(sameBits(g.heading, w.heading)) << where << " " << g.heading << " " << w.heading;
        EXPECT_TRUE(sameBits(g.radius, w.radius)) << where << " " << g.radius << " " << w.radius;
        EXPECT_EQ(g.adjacent, w.adjacent) << where;
        EXPECT_EQ(g.sid, w.sid) << where;
        EXPECT_EQ(std::tuple(g.manual, g.radius_change, g.cargo_change, g.held, g.occupied, g.blocked,
                             g.adjacentHeld, g.cargo, g.ramp, g.heli),
                  std::tuple(w.manual, w.radius_change, w.cargo_change, w.held, w.occupied, w.blocked,
                             w.adjacentHeld, w.cargo, w.ramp, w.heli))
            << where;
        ASSERT_EQ(g.opts.size(), w.opts.size()) << where;
        for (std::size_t k = 0; k < w.opts.size(); ++k)
            EXPECT_EQ(fieldsOf(g.opts[k]), fieldsOf(w.opts[k])) << where << " flight #" << k;
    }
}

// ---- Generated files ------------------------------------------------------------------------------

template <std::size_t N> const char* pick(std::mt19937_64& random, const char* const (&texts)[N]) {
    return texts[random() % N];
}

// Where a generated file goes wrong.
struct Faults {
    std::size_t missingIdAt = SIZE_MAX; // stand without id
    std::size_t emptyIdAt = SIZE_MAX;   // stand with a blank id
    std::size_t repeatAt = SIZE_MAX;    // stand that repeats an earlier id (with blanks around it)
    std::size_t repeatOf = 0;           // the earlier stand it repeats
};

class FileMaker {
public:
    // In the plain form, values hold no control characters, days are single digits and the section holds
    // stands of flights only.
    explicit FileMaker(std::uint64_t seed, bool plainForm = false) : random_(seed), plain_(plainForm) {}

    // A parking file of `stands` stands with up to `maxFlights` flights each.
    std::string make(std::size_t stands, std::size_t maxFlights, const Faults& faults, bool root = true) {
        std::string text = root ? "<root>" : "";
        text += R"(<parameters><parameter name="num_parkpos" value="7"/></parameters><parkpositions>)";
        for (std::size_t i = 0; i < stands; ++i) {
            if (!plain_ && random_() % 50 == 0) text += "<note id=\"X\"/>text<!-- a comment -->";
            std::string id = fmt::format("S{}", i);
            if (random_() % 20 == 0) id = plain_ ? fmt::format("  {} ", id) : fmt::format(" \t{}\r\n", id);
            if (i == faults.repeatAt) id = fmt::format("  S{} ", faults.repeatOf);
            text += "<parkpos";
            if (i == faults.emptyIdAt)
                text += R"( id=" 	 ")";
            else if (i != faults.missingIdAt)
                text += fmt::format(R"( id="{}")", id);
            text += stand();
            const std::size_t flights = maxFlights == 0 ? 0 : random_() % (maxFlights + 1);
            if (flights == 0 && random_() % 2 == 0) {
                text += "/>";
                continue;
            }
            text += ">";
            for (std::size_t f = 0; f < flights; ++f)
                text += flight();
            text += "</parkpos>";
        }
        text += "</parkpositions>";
        return root ? text + "</root>" : text;
    }

private:
    std::string attribute(const char* name, const char* value) {
        return fmt::format(R"( {}="{}")", name, value);
    }

    std::string stand() {
        static const char* const oddNumbers[] = {"0",     "",     "nan",  "inf",    " 12.5", "12.5x",  "-0",
                                                 "+7.5",  "1e3",  "abc",  "-.5",    "12.",   "200",    "-95",
                                                 "1e400", "0x10", "7290", "-370.5", "4e20",  "10000.5"};
        static const char* const flags[] = {"true", "false", "1", "yes", "T", "0", "", "no", "Y"};
        std::string text;
        const auto number = [&](double low, double high) -> std::string {
            if (random_() % 8 == 0) return pick(random_, oddNumbers);
            const double value = low + (high - low) * static_cast<double>(random_() % 1000000) / 1e6;
            return random_() % 2 ? fmt::format("{:.6f}", value) : fmt::format("{}", value);
        };
        std::vector<std::string> parts{
            attribute("latitude", number(-89.0, 89.0).c_str()),
            attribute("longitude", number(-179.0, 179.0).c_str()),
            attribute("heading", number(-400.0, 400.0).c_str()),
            attribute("radius", number(-10.0, 60.0).c_str()),
        };
        for (const char* flag : {"cargo", "ramp", "heli"})
            if (random_() % 3) parts.push_back(attribute(flag, pick(random_, flags)));
        if (random_() % 10 == 0) parts.push_back(attribute("latitude", "1.5"));
        if (random_() % 10 == 0) parts.push_back(attribute("cargo", "true"));
        if (random_() % 10 == 0) parts.push_back(attribute("manual", "true"));
        // A stand at 0/0 now and then.
        if (random_() % 25 == 0)
            parts[0] = attribute("latitude", "0"), parts[1] = attribute("longitude", "0");
        std::shuffle(parts.begin(), parts.end(), random_);
        for (const std::string& part : parts)
            text += part;
        return text;
    }

    std::string flight() {
        static const char* const regs[] = {"HB-JNA", "OE-LBA",    "HBJNA", "D-AIZA",
                                           "N123AB", "X-UNKNOWN", "",      "OELBA"};
        static const char* const airlines[] = {"SWR", "DLH", "", "EZS"};
        static const char* const types[] = {"A320", "B738", "", "BCS3"};
        static const char* const days[] = {"1",  "2",  "3",  "4", "5",  "6",   "7",  "0",          "8",
                                           " 3", "3x", "+2", "",  "-1", "0x3", "07", "99999999999"};
        static const char* const plainDays[] = {"1", "3", "7", "0", "8", "9"};
        static const char* const hours[] = {"5",  "10:13", "0:47", "47",      "1:5", "13:10", "1:2:3",
                                            "48", "3,7,x", "",     " 4 : 6 ", "047", "2:x",   "7x"};
        static const char* const callsigns[] = {"DLH1:DLH2", "SWR12", "", ":X", "A:B:C", "EZS1"};
        static const char* const flags[] = {"true", "false", "1", "yes", "0", ""};
        if (!plain_ && random_() % 40 == 0) return "<other day=\"1\" hh=\"4\"/>";
        std::vector<std::string> parts;
        if (random_() % 8) parts.push_back(attribute("reg", pick(random_, regs)));
        if (random_() % 4) parts.push_back(attribute("airl", pick(random_, airlines)));
        if (random_() % 4) parts.push_back(attribute("type", pick(random_, types)));
        if (random_() % 6 == 0) parts.push_back(attribute("soft", pick(random_, flags)));
        if (random_() % 12)
            parts.push_back(attribute(
                "day", random_() % 3 ? "4" : (plain_ ? pick(random_, plainDays) : pick(random_, days))));
        if (random_() % 12) parts.push_back(attribute("hh", random_() % 4 ? "6:9" : pick(random_, hours)));
        if (random_() % 3) parts.push_back(attribute("cs", pick(random_, callsigns)));
        if (random_() % 6 == 0) parts.push_back(attribute("cpl", pick(random_, flags)));
        if (random_() % 15 == 0) parts.push_back(attribute("day", "5"));
        std::shuffle(parts.begin(), parts.end(), random_);
        std::string text = "<opt";
        for (const std::string& part : parts)
            text += part;
        return text + (!plain_ && random_() % 20 == 0 ? "><x/></opt>" : "/>");
    }

    std::mt19937_64 random_;
    bool plain_;
};

class StandFileEquality : public RefdataTest {
protected:
    void SetUp() override {
        RefdataTest::SetUp();
        dbase.registrations = {{"HB-JNA", {"SWR", "B77W", "", false}},
                               {"OE-LBA", {"AUA", "A320", "EWG", false}},
                               {"D-AIZA", {"DLH", "A320", "", false}}};
    }

    // The document read the plain way and by the stand reader on 1, 3 and 8 threads: the same stands and
    // refusal, and the same lines logged. The plain reading is returned.
    ParkingFileStands expectSameReading(const pugi::xml_document& doc, const std::string& what) {
        std::size_t before = logText().size();
        const ParkingFileStands want = plainRead(doc);
        const std::string wantLog = logText().substr(before);
        const auto section = gf_rootChild(doc, "parkpositions");
        for (const std::size_t threads : {1, 3, 8}) {
            before = logText().size();
            const ParkingFileStands got =
                section ? gf_readStandsOf(section, 0, threads) : ParkingFileStands{};
            expectSameStands(got, want, fmt::format("{}, {} threads", what, threads));
            EXPECT_EQ(logText().substr(before), wantLog) << what << ", " << threads << " threads";
        }
        before = logText().size();
        expectSameStands(gf_parseParkpositions(doc), want, what);
        EXPECT_EQ(logText().substr(before), wantLog) << what;
        return want;
    }

    ParkingFileStands expectSameReading(const std::string& text, const std::string& what) {
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_string(text.c_str())) << what;
        return expectSameReading(doc, what);
    }
};

TEST_F(StandFileEquality, TheDemoAirportAndTheFuzzSeedsReadAsThePlainReaderReadsThem) {
    std::vector<fs::path> files{fs::path(SKYLOOM_SOURCE_DIR) / "data" / "LSZH.xml"};
    for (const auto& entry :
         fs::directory_iterator(fs::path(SKYLOOM_SOURCE_DIR) / "tests" / "fuzz" / "corpus" / "parking_file"))
        files.push_back(entry.path());
    for (const fs::path& file : files) {
        pugi::xml_document doc;
        if (!doc.load_file(file.c_str())) continue;
        expectSameReading(doc, file.filename().string());
    }
    pugi::xml_document demo;
    ASSERT_TRUE(demo.load_file((fs::path(SKYLOOM_SOURCE_DIR) / "data" / "LSZH.xml").c_str()));
    EXPECT_EQ(plainRead(demo).stands.size(), 99u) << "the demo file read whole";
}

TEST_F(StandFileEquality, GeneratedFilesOfEverySizeReadAsThePlainReaderReadsThem) {
    struct Size {
        std::size_t stands;
        std::size_t maxFlights;
    };
    const Size sizes[] = {{0, 0}, {1, 3}, {7, 5}, {150, 40}, {2500, 2}, {700, 0}};
    std::uint64_t seed = 1;
    for (const Size& size : sizes) {
        for (int round = 0; round < 3; ++round) {
            FileMaker maker(seed++);
            const ParkingFileStands read =
                expectSameReading(maker.make(size.stands, size.maxFlights, {}, round != 1),
                                  fmt::format("{} stands, seed {}", size.stands, seed - 1));
            EXPECT_FALSE(read.refused());
            EXPECT_GE(read.stands.size(), size.stands * 4 / 5) << "most generated stands are kept";
        }
    }
}

// A faulty id anywhere in a file read on several threads: the first fault in file order refuses the file,
// the stands before it stay, and only the flights read before it log their faults.
TEST_F(StandFileEquality, TheFirstFaultyIdInFileOrderRefusesTheFile) {
    constexpr std::size_t stands = 400;
    std::vector<std::pair<std::string, Faults>> cases;
    for (const std::size_t at :
         {std::size_t{0}, std::size_t{1}, std::size_t{99}, std::size_t{200}, std::size_t{201}, stands - 1}) {
        Faults missing;
        missing.missingIdAt = at;
        cases.emplace_back(fmt::format("missing id at {}", at), missing);
        Faults empty;
        empty.emptyIdAt = at;
        cases.emplace_back(fmt::format("empty id at {}", at), empty);
        if (at == 0) continue;
        for (const std::size_t of : {std::size_t{0}, at - 1, at / 2}) {
            Faults repeat;
            repeat.repeatAt = at;
            repeat.repeatOf = of;
            cases.emplace_back(fmt::format("id of {} repeated at {}", of, at), repeat);
        }
    }
    // Two faults: the earlier one wins, whichever kind each is.
    for (const auto& [repeatAt, missingAt] :
         {std::pair<std::size_t, std::size_t>{150, 300}, {300, 150}, {390, 10}, {10, 390}, {201, 200}}) {
        Faults both;
        both.repeatAt = repeatAt;
        both.repeatOf = repeatAt / 3;
        both.missingIdAt = missingAt;
        cases.emplace_back(fmt::format("repeat at {}, missing at {}", repeatAt, missingAt), both);
    }
    std::uint64_t seed = 100;
    for (const auto& [what, faults] : cases) {
        FileMaker maker(seed++);
        const ParkingFileStands read = expectSameReading(maker.make(stands, 6, faults), what);
        EXPECT_TRUE(read.refused()) << what;
    }
}

// Large airport files whose stand section holds what a reading in pieces of its text could take for the
// start of a stand or the section's end: every one loads (or fails to load) as the file loaded whole does.
TEST_F(StandFileEquality, AirportFilesLoadAsTheWholeDocumentLoads) {
    const std::string header =
        R"(<?xml version="1.0" encoding="UTF-8"?>)"
        "\n<root><meta><info name=\"copyright\" value=\"c\"/><info name=\"sim\" value=\"1\"/></meta>"
        "<parameters><parameter name=\"altitude\" value=\"1416\"/><parameter name=\"num_parkpos\" "
        "value=\"3\"/><parameter name=\"airport_name\" value=\"A &amp; B\"/></parameters>\n";
    // The section's content: generated stands with `odd` put in after every `every`th.
    const auto file = [&](const std::string& odd, std::uint64_t seed, const std::string& head = "",
                          std::size_t every = 37) {
        FileMaker maker(seed, true);
        std::string stands = maker.make(1200, 3, {}, false);
        const std::string open = "<parkpositions>";
        stands = stands.substr(stands.find(open) + open.size());
        stands.resize(stands.size() - std::string("</parkpositions>").size());
        std::string content;
        std::size_t count = 0;
        for (std::size_t at = stands.find("<parkpos "); at != std::string::npos;) {
            const std::size_t next = stands.find("<parkpos ", at + 1);
            content += stands.substr(at, next == std::string::npos ? std::string::npos : next - at);
            if (++count % every == 0) content += fmt::format(fmt::runtime(odd), count);
            at = next;
        }
        return (head.empty() ? header : head) + "<parkpositions>\n" + content +
               "\n</parkpositions>\n</root>\n";
    };
    const std::string latin1 = std::string(R"(<?xml version="1.0" encoding="ISO-8859-1"?>)") +
                               header.substr(header.find('\n')) + "<!-- \xe9 -->";
    struct Case {
        std::string what;
        std::string text;
    };
    const std::vector<Case> cases{
        {"plain stands", file("", 1)},
        {"the plain form's other spellings",
         file(
             "<parkpos\n id = 'Q{0}' latitude='47.{0}' longitude = \"8.5\"  radius=\"x\" heli='Y' >"
             "<opt day='3' hh=\"4:5\" reg='HB-JNA' cs=\"A:B\" cs='C' ></opt>\n<opt/><opt day=\"9\" hh=\"1\"/>"
             "<opt hh='2' day='1' airl=\"\" type='B738'/></parkpos  >",
             21, "", 5)},
        {"entities in values",
         file("<parkpos id=\"E&amp;&#65;&lt;&#x42;{0}\" latitude=\"47.5\" longitude=\"8.5\">"
              "<opt reg=\"X&quot;Y\" day=\"2\" hh=\"&#52;\" cs=\"A&apos;B:C\"/></parkpos>",
              2)},
        {"blanks and line ends in values",
         file("\n<parkpos id=\"L\r\n{0}\" latitude=\" 47.5\" longitude=\"8.5\"\tradius=\"20\t\">"
              "<opt reg=\"HB-JNA\" day=\"2\" hh=\"4\" cs=\"A\tB:C\"/></parkpos>\r\n",
              22)},
        {"comments, CDATA and instructions that hold stands",
         file("<!-- <parkpos id=\"ghost\" latitude=\"1\" longitude=\"1\"/> --><![CDATA[ <parkpos id=\"c\"/> "
              "]]>"
              "<?note <parkpos id=\"pi\"/> ?>",
              3, "", 1)},
        {"a stand's start in an attribute value",
         file("<note v=\"<parkpos id='v' latitude='1'/>\"/>", 4, "", 1)},
        {"text between stands", file("some text &amp; more\n", 5)},
        {"stands within stands",
         file("<parkpos id=\"outer\" latitude=\"2\" longitude=\"2\"><parkpos id=\"inner\" latitude=\"3\" "
              "longitude=\"3\"/><opt day=\"1\" hh=\"3\"/></parkpos>",
              6, "", 2)},
        {"the section closed and opened again", file("</parkpositions>\n<parkpositions>", 7)},
        {"the section closed and opened again near its end",
         file("</parkpositions>\n<parkpositions>", 23, "", 1100)},
        {"a repeated stand id", file("<parkpos id=\"S5\" latitude=\"2\" longitude=\"2\"/>", 8)},
        {"a stand without id", file("<parkpos latitude=\"2\" longitude=\"2\"/>", 9)},
        {"a document type within the section", file("<!DOCTYPE x>", 10)},
        {"an element left open", file("<parkpos id=\"open\" latitude=\"2\" longitude=\"2\">", 11)},
        {"an end tag of another element", file("</other>", 12)},
        {"a nul byte", file(std::string("<note/>\0<note/>", 15), 13)},
        {"a comment left open", file("<!-- ", 14)},
        {"CR LF line ends",
         [&] {
             std::string text = file("\n", 15);
             std::string crlf;
             for (const char c : text)
                 crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
             return crlf;
         }()},
        {"a byte-order mark", "\xef\xbb\xbf" + file("", 16)},
        {"a declared single-byte encoding",
         file("<parkpos id=\"\xe9t\xe9\" latitude=\"2\" longitude=\"2\"/>", 17, latin1)},
        {"the section named in the header",
         file("", 18, header + "<!-- <parkpositions> <parkpos id=\"h\"/> </parkpositions> -->\n")},
        {"an end tag of the section in a closing comment",
         file("", 19) + "<!-- </parkpositions> <parkpos id=\"t\"/> -->"},
        {"no header", file("", 20, "<root><parameters/>\n")},
    };
    for (const Case& c : cases) {
        const fs::path path = dir / "airport.xml";
        writeFile(path, c.text);
        std::size_t before = logText().size();
        pugi::xml_document doc;
        std::optional<ParkAirportFile> want;
        if (doc.load_file(path.c_str())) want = gf_readParkAirportFile(doc);
        const std::string wantLog = logText().substr(before);
        before = logText().size();
        const std::optional<ParkAirportFile> got = gf_loadParkAirportFile(path);
        EXPECT_EQ(logText().substr(before), wantLog) << c.what;
        ASSERT_EQ(got.has_value(), want.has_value()) << c.what;
        if (!want) continue;
        EXPECT_EQ(std::tuple(got->headerRefusal, got->rtTrafficWeek, got->publisher, got->altitude,
                             got->airport_name, got->qualityFactors.has_value()),
                  std::tuple(want->headerRefusal, want->rtTrafficWeek, want->publisher, want->altitude,
                             want->airport_name, want->qualityFactors.has_value()))
            << c.what;
        const auto texts = [](const std::vector<LogLine>& lines) {
            std::vector<std::pair<int, std::string>> out;
            for (const LogLine& line : lines)
                out.emplace_back(static_cast<int>(line.kind), line.text);
            return out;
        };
        EXPECT_EQ(texts(got->lines), texts(want->lines)) << c.what;
        expectSameStands(got->stands, want->stands, c.what);
        EXPECT_EQ(gf_qualityFactorsOfSums(got->stands.realScores, got->stands.softScores,
                                          got->stands.stands.size(), got->stands.anyEntry),
                  gf_qualityFactorsOf(want->stands.stands))
            << c.what;
    }
}

} // namespace
