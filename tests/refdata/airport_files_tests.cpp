// Finding, fetching and reading airport files: the look-up order, pointer files, the download folder,
// the reading steps with their log lines and status texts, first-visit defaults and neighbours.

#include "core/units.h"
#include "parking_fixture.h"

#include "core/version.h"
#include "refdata/park_airport_file.h"
#include "refdata/parking_quality.h"

#include <random>

using namespace parking_test;

namespace {

class AirportFiles : public ParkingTest {
protected:
    // An airport file with altitude and the given extra header entries.
    static std::string airportFile(const std::string& stands, Params extra = {}) {
        Params params{{"airport_name", "Zurich"}, {"publisher", "FlyTampa"}, {"altitude", "1416"}};
        params.insert(params.end(), extra.begin(), extra.end());
        return apfXml(params, stands);
    }
    // One real flight on one stand.
    static std::string oneFlight() { return R"(<opt reg="HB-X" airl="SWR" type="A320" day="3" hh="4"/>)"; }
};

TEST_F(AirportFiles, ReferenceFollowsTheLookUpOrder) {
    struct Case {
        std::string what;
        std::map<std::string, std::string> files; // below airports/
        std::int32_t tableStands;                 // -1: not in the table
        std::string reference;
        bool source;
    };
    const std::string tp = "my_thirdparty/LSZH", sa = "my_simaddon/LSZH";
    const std::vector<Case> cases{
        {"nothing", {}, -1, "", false},
        {"table without stands", {}, 0, "", false},
        {"table with a stand", {}, 1, "archive/stock/LSZH.xml", true},
        {"thirdparty file", {{tp + ".xml", "x"}}, 1, "airports/my_thirdparty/LSZH.xml", true},
        {"pointer before file",
         {{tp + ".xml", "x"}, {tp + ".txt", "archive/thirdparty/Big%20Airports/LSZH.xml\r\n"}},
         1,
         "archive/thirdparty/Big%20Airports/LSZH.xml",
         true},
        {"upper-case pointer",
         {{tp + ".txt", "archive/thirdparty/P/LSZH.XML  \n"}},
         -1,
         "archive/thirdparty/P/LSZH.XML",
         true},
        {"thirdparty before simaddon",
         {{tp + ".xml", "x"}, {sa + ".txt", "archive/simaddon/LSZH.xml"}},
         -1,
         "airports/my_thirdparty/LSZH.xml",
         true},
        {"simaddon pointer before file",
         {{sa + ".xml", "x"}, {sa + ".txt", "archive/simaddon/LSZH.xml"}},
         -1,
         "archive/simaddon/LSZH.xml",
         true},
        {"simaddon file", {{sa + ".xml", "x"}}, 1, "airports/my_simaddon/LSZH.xml", true},
        {"txt pointer", {{tp + ".txt", "archive/thirdparty/P/LSZH.txt"}}, 2, "archive/stock/LSZH.xml", true},
        {"empty pointer", {{tp + ".txt", ""}}, -1, "", true},
        {"short pointer", {{tp + ".txt", "xml"}}, -1, "", true},
        {"pointer upwards", {{tp + ".txt", "../../secret.xml"}}, -1, "", true},
        {"pointer through dot", {{tp + ".txt", "archive/./LSZH.xml"}}, -1, "", true},
        {"absolute pointer", {{tp + ".txt", "/etc/LSZH.xml"}}, -1, "", true},
        {"backslash absolute pointer", {{tp + ".txt", "\\\\server\\LSZH.xml"}}, -1, "", true},
        {"drive letter", {{tp + ".txt", "C:\\airports\\LSZH.xml"}}, -1, "", true},
        {"control character", {{tp + ".txt", std::string("archive/a\x01/LSZH.xml")}}, -1, "", true},
        {"hostile pointer, then the simaddon file",
         {{tp + ".txt", "..\\LSZH.xml"}, {sa + ".xml", "x"}},
         -1,
         "airports/my_simaddon/LSZH.xml",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* folder : {"my_thirdparty", "my_simaddon"}) {
            fs::remove_all(dir / "airports" / folder);
            fs::create_directories(dir / "airports" / folder);
        }
        airportTable.records.clear();
        if (c.tableStands >= 0) addAirport("LSZH", c.tableStands);
        for (const auto& [file, content] : c.files)
            writeAt(fs::path("airports") / file, content);
        EXPECT_EQ(gf_apfRefOf("LSZH"), c.reference);
        EXPECT_EQ(gf_hasParkingSource("LSZH"), c.source);
    }
    EXPECT_EQ(gf_apfRefOf("../LSZH"), "") << "a code is never a path";
}

TEST_F(AirportFiles, ArchivedFilesComeFromTheirSimulatorsFolder) {
    struct Case {
        std::string simulator, reference, serverPath;
    };
    const std::vector<Case> cases{
        {"MSFS 2020", "archive/thirdparty/P/LSZH.xml", "downloads/MSFS/archive/thirdparty/P/LSZH.xml"},
        {"MSFS 2024", "archive/thirdparty/P/LSZH.xml", "downloads/MSFS2024/archive/thirdparty/P/LSZH.xml"},
        {"MSFS 2024", "archive/stock/LSZH.xml", "downloads/MSFS/archive/stock/LSZH.xml"},
        {"MSFS 2024", "archive/simaddon/LSZH.xml", "downloads/MSFS/archive/simaddon/LSZH.xml"},
    };
    for (const auto& c : cases) {
        SIM_CHOICE.setValue(c.simulator);
        server = {{c.serverPath, "content"}};
        fetched.clear();
        EXPECT_EQ(gf_downloadArchivedApf(c.reference, "out.xml"), "");
        EXPECT_EQ(fetched, std::vector<std::string>{c.serverPath});
        EXPECT_EQ(readFile(dir / "out.xml"), "content");
    }

    // A failed fetch leaves no partial file and says what failed.
    server.clear();
    const std::string failure = gf_downloadArchivedApf("archive/stock/LSZH.xml", "out.xml");
    EXPECT_EQ(failure, "failed to download: 'downloads/MSFS/archive/stock/LSZH.xml'");
    EXPECT_FALSE(fs::exists(dir / "out.xml"));
    EXPECT_NE(logText().find(failure), std::string::npos);

    // The reader passes the failure on.
    EXPECT_EQ(read("archive/stock/LSZH.xml"), failure);
    EXPECT_FALSE(fs::exists(dir / "airports" / "park_airport.xml"));
    EXPECT_FALSE(parkAirportLoaded.load());

    // Without a wired downloader every fetch fails.
    gf_parkingHooks().fetchArchivedFile = nullptr;
    EXPECT_EQ(gf_downloadArchivedApf("archive/stock/LSZH.xml", "out.xml"), failure);
}

TEST_F(AirportFiles, OneCompleteReadLogsShowsAndSetsEverything) {
    addAirport("LSZH", 12);
    server["downloads/MSFS/archive/stock/LSZH.xml"] =
        apfXml({{"airport_name", "Zurich Kloten"},
                {"publisher", "stock"},
                {"altitude", "-11"},
                {"Qf_real", "70"},
                {"Qf_soft", "20"},
                {"RT_traffic_week", "42"}},
               standXml("A1", 47.0, 8.0, "", oneFlight()) + standXml("A2", 47.01, 8.0) + standXml("Z", 0, 0));
    gf_logFlush();
    const std::size_t before = logText().size();

    ASSERT_EQ(read("archive/stock/LSZH.xml"), "");

    EXPECT_EQ(parkAirportInfo.airport_name, "Zurich Kloten");
    EXPECT_EQ(parkAirportInfo.publisher, "stock");
    EXPECT_EQ(parkAirportInfo.altitude, -11) << "below sea level stays negative";
    EXPECT_EQ(elevation, std::optional<double>(-11.0));
    EXPECT_EQ(currentParkAirport.alt, -11.0);
    EXPECT_EQ(rtTrafficWeek.load(), 42);
    EXPECT_EQ(parkQualityFactors, (QualityFactors{70, 20}));
    EXPECT_EQ(standCount, 2u);
    EXPECT_EQ(airportFileText, "stock");
    EXPECT_FALSE(handmadeShown);
    EXPECT_EQ(qualityText, "70");
    EXPECT_TRUE(parkAirportLoaded.load());
    EXPECT_TRUE(control(FLUSH_STATIC_BUTTON).enabled);
    ASSERT_EQ(parkPositions.size(), 2u);
    EXPECT_EQ(parkPositions[0].sid, 1u);
    EXPECT_EQ(parkPositions[1].sid, 2u);

    const std::string log = logText().substr(before);
    const std::vector<std::string> lines{
        "learned does not exist\n",
        "          parking_percentage      : 30%\n",
        "Airport file read from 'archive/stock/LSZH.xml' for Zurich Kloten\n",
        "          publisher               : stock\n",
        "          altitude                : -11 ft\n",
        "          num_parkpos             : 2\n",
        "          quality factor          : 70\n",
        "          RT traffic week         : 42\n",
    };
    std::size_t at = 0;
    for (const auto& line : lines) {
        const auto found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\nin\n" << log;
        at = found + line.size();
    }

    // Without a park airport code the elevation is not handed on, and nothing is read.
    parkAirportCode.clear();
    EXPECT_EQ(read("archive/stock/LSZH.xml"), "gf_readApf: no park airport set");
    EXPECT_EQ(read(""), "gf_readApf: xml is empty");
}

TEST_F(AirportFiles, FilesThatCannotBeReadSayWhy) {
    writeAt("airports/my_thirdparty/LSZH.xml", "<root><parameters>");
    EXPECT_EQ(read("airports/my_thirdparty/LSZH.xml"),
              "airports/my_thirdparty/LSZH.xml: could not load file: airports/my_thirdparty/LSZH.xml");
    // A header the reader refuses says what it lacks.
    const std::string simEntry = R"(<info name="sim" value="1"/>)";
    for (const auto& [file, reason] : std::vector<std::pair<std::string, std::string>>{
             {"<root><parameters/></root>", "missing header"},
             {"<root><meta>" + simEntry + "</meta></root>", "missing copyright"},
             {R"(<root><meta><info name="copyright" value=""/>)" + simEntry + "</meta></root>",
              "missing copyright"},
             {R"(<root><meta><info name="copyright" value="Copyright Skyloom"/></meta></root>)",
              "missing simulator entry"}}) {
        writeAt("airports/my_thirdparty/LSZH.xml", file);
        EXPECT_EQ(read("airports/my_thirdparty/LSZH.xml"),
                  "airports/my_thirdparty/LSZH.xml: refused to load: " + reason);
    }
    EXPECT_EQ(read("airports/../secret.xml"), "gf_readApf: refused reference 'airports/../secret.xml'");

    // A missing altitude, or one that is no finite number, stops the reading before any stand.
    for (const Params& params :
         {Params{{"publisher", "P"}}, Params{{"altitude", "nan"}}, Params{{"altitude", "inf"}},
          Params{{"altitude", "x"}}, Params{{"altitude", "1e12"}}}) {
        writeAt("airports/my_thirdparty/LSZH.xml", apfXml(params, standXml("A1", 47, 8)));
        try {
            read("airports/my_thirdparty/LSZH.xml");
            ADD_FAILURE() << "no exception for " << parametersXml(params);
        } catch (const orv::UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), "65: Parameter altitude not found");
        }
        EXPECT_TRUE(parkPositions.empty());
    }

    // All stands skipped: the whole summary, then the failure.
    writeAt("airports/my_thirdparty/LSZH.xml", airportFile(standXml("Z1", 0, 0) + standXml("Z2", 0, 0)));
    EXPECT_EQ(read("airports/my_thirdparty/LSZH.xml"), "no stands found");
    EXPECT_NE(logText().find("RT traffic week         : 0"), std::string::npos);
    // Not loaded: leaving the airport must not save its (empty) stands over the learned file.
    EXPECT_FALSE(parkAirportLoaded.load());
}

// The files read away from the cycle (gf_readParkAirport) touch nothing of the park airport and write
// nothing to the log; installed, they give what a read in place gives: the same answer or refusal,
// stands and log lines.
TEST_F(AirportFiles, AFileReadAwayFromTheCycleGivesWhatTheReaderGives) {
    const std::string reference = "airports/my_thirdparty/LSZH.xml";
    const std::vector<std::pair<const char*, std::string>> files{
        {"two stands", airportFile(standXml("A1", 47.0, 8.0, "", oneFlight()) + standXml("A2", 47.01, 8.0))},
        {"not XML", "<root><parameters>"},
        {"no header", "<root><parameters/></root>"},
        {"a repeated id", airportFile(standXml("A1", 47.0, 8.0) + standXml("A1", 47.01, 8.0))},
        {"a stand without id", airportFile(standXml("A1", 47.0, 8.0) + "<parkpos latitude=\"47\"/>")},
        {"no stand", airportFile(standXml("Z1", 0, 0))},
        {"half hours that do not read",
         airportFile(standXml("A1", 47.0, 8.0, "", R"(<opt reg="HB-X" day="3" hh="4:x"/>)"))},
    };
    const auto outcome = [&](std::optional<ParkAirportRead> read) {
        gf_clearParkPositions();
        parkAirportInfo = ParkAirportInfo{};
        gf_logFlush();
        const std::size_t before = logText().size();
        std::string answer;
        try {
            answer = read ? gf_loadParkStands(std::move(*read)) : gf_loadParkStands(reference);
        } catch (const orv::UserErrorException& e) {
            answer = std::string("throws ") + e.what();
        }
        for (const ParkPos& stand : parkPositions)
            answer += " " + stand.id + ":" + std::to_string(stand.opts.size());
        gf_logFlush();
        return answer + "\n" + logText().substr(before);
    };
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        writeAt(reference, content);
        const std::string direct = outcome(std::nullopt);
        gf_clearParkPositions();
        parkAirportInfo = ParkAirportInfo{};
        gf_logFlush();
        const std::size_t before = logText().size();
        ParkAirportRead read = gf_readParkAirport("LSZH", reference);
        gf_logFlush();
        EXPECT_EQ(logText().size(), before);
        EXPECT_TRUE(parkPositions.empty());
        EXPECT_TRUE(parkAirportInfo.airport_name.empty());
        EXPECT_EQ(read.reference, reference);
        EXPECT_EQ(outcome(std::move(read)), direct);
    }

    // A reference that is no safe path is refused before any file is touched.
    EXPECT_EQ(gf_readParkAirport("LSZH", "airports/../secret.xml").failure,
              "gf_readApf: refused reference 'airports/../secret.xml'");
}

// The pure reader of an airport file: two documents read one after the other give two values of their
// own, with nothing in between and nothing of the park airport touched.
TEST_F(AirportFiles, ThePureReaderGivesOneValuePerDocument) {
    pugi::xml_document zurich, geneva;
    ASSERT_TRUE(
        zurich.load_string(airportFile(standXml("A1", 47.0, 8.0, "", oneFlight()),
                                       {{"RT_traffic_week", "3"}, {"Qf_real", "60"}, {"Qf_soft", "10"}})
                               .c_str()));
    ASSERT_TRUE(
        geneva.load_string(apfXml({{"airport_name", "Geneva"}, {"publisher", "stock"}, {"altitude", "1411"}},
                                  standXml("G1", 46.2, 6.1) + standXml("G2", 46.21, 6.1))
                               .c_str()));
    const ParkAirportFile first = gf_readParkAirportFile(zurich);
    const ParkAirportFile second = gf_readParkAirportFile(geneva);
    EXPECT_EQ(first.airport_name, "Zurich");
    EXPECT_EQ(first.publisher, "FlyTampa");
    EXPECT_EQ(first.altitude, 1416);
    EXPECT_EQ(first.rtTrafficWeek, 3);
    EXPECT_EQ(first.qualityFactors, (QualityFactors{60, 10}));
    ASSERT_EQ(first.stands.stands.size(), 1u);
    EXPECT_EQ(first.stands.stands[0].id, "A1");
    EXPECT_EQ(first.stands.stands[0].opts.size(), 1u);
    EXPECT_EQ(second.airport_name, "Geneva");
    EXPECT_EQ(second.altitude, 1411);
    EXPECT_EQ(second.rtTrafficWeek, 0);
    EXPECT_FALSE(second.qualityFactors);
    ASSERT_EQ(second.stands.stands.size(), 2u);
    EXPECT_EQ(second.stands.stands[1].id, "G2");
    EXPECT_TRUE(parkPositions.empty());
    EXPECT_EQ(rtTrafficWeek.load(), 0);

    // Refusals are carried in the value, with the numbers and texts the installation raises.
    struct Case {
        std::string what, file;
        std::int32_t number;
        std::string text, header;
    };
    for (const Case& c :
         std::vector<Case>{{"no altitude", apfXml({{"publisher", "P"}}, standXml("A1", 47, 8)), 65,
                            "Parameter altitude not found", ""},
                           {"a repeated id", airportFile(standXml("A1", 47, 8) + standXml("A1", 47.1, 8)), 94,
                            "Parking position 'A1' appears more than once.", ""},
                           {"no header", "<root><parameters/></root>", 0, "", "missing header"}}) {
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(c.file.c_str())) << c.what;
        const ParkAirportFile file = gf_readParkAirportFile(doc);
        EXPECT_EQ(file.errorNumber(), c.number) << c.what;
        EXPECT_EQ(file.errorText(), c.text) << c.what;
        EXPECT_EQ(file.headerRefusal, c.header) << c.what;
    }
}

TEST_F(AirportFiles, FirstVisitDefaultsFollowTheQualityAndTheTablesStands) {
    struct Case {
        std::string qfReal, qfSoft;
        std::int32_t tableStands; // -1: not in the table
        std::optional<bool> softAndWeek;
        float maxFitHours;
        std::int32_t percentage;
    };
    const std::vector<Case> cases{
        {"2", "5", 1, true, 24.0f, 100},        {"50", "0", 2, false, 5.0f, 50},
        {"10", "5", 3, std::nullopt, 5.0f, 30}, {"46", "0", -1, false, 5.0f, 30},
        {"2", "0", 1, std::nullopt, 5.0f, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.qfReal + "/" + c.qfSoft);
        airportTable.records.clear();
        if (c.tableStands >= 0) addAirport("LSZH", c.tableStands);
        for (bool start : {false, true}) {
            PARK_SOFT.value = start;
            WEEK.value = start;
            MAX_FIT_FL.value = 5.0f;
            MAX_FIT.value = 9;
            control(PARK_SOFT).checked.reset();
            writeAt("airports/my_thirdparty/LSZH.xml",
                    airportFile(standXml("A1", 47, 8), {{"Qf_real", c.qfReal}, {"Qf_soft", c.qfSoft}}));
            ASSERT_EQ(read("airports/my_thirdparty/LSZH.xml"), "");
            const bool expected = c.softAndWeek.value_or(start);
            EXPECT_EQ(PARK_SOFT.value.load(), expected);
            EXPECT_EQ(WEEK.value.load(), expected);
            if (c.softAndWeek) {
                EXPECT_EQ(control(PARK_SOFT).checked, c.softAndWeek);
            }
            EXPECT_EQ(MAX_FIT_FL.value.load(), c.maxFitHours);
            // What the stand search reads: 24 hours are 47 half hours.
            EXPECT_EQ(MAX_FIT.value.load(), c.maxFitHours == 24.0f ? 47 : 9);
            EXPECT_EQ(parking_percentage.value.load(), c.percentage);
            EXPECT_EQ(control(parking_percentage).selected, parking_percentage.choiceIndex());
            EXPECT_TRUE(control(parking_percentage).enabled);
        }
    }
}

TEST_F(AirportFiles, FactorsMissingFromTheFileComeFromItsStands) {
    // The previous airport's factors would turn soft parking off here.
    parkQualityFactors = {80, 80};
    PARK_SOFT.value = false;
    const std::string softFlight = R"(<opt reg="HB-X" day="3" hh="4" soft="true"/>)";
    writeAt("airports/my_thirdparty/LSZH.xml", airportFile(standXml("A1", 47, 8, "", softFlight)));
    ASSERT_EQ(read("airports/my_thirdparty/LSZH.xml"), "");
    EXPECT_EQ(parkQualityFactors, (QualityFactors{0, 63}));
    EXPECT_TRUE(PARK_SOFT.value.load()) << "first-visit defaults of this airport's own stands";
    EXPECT_EQ(qualityText, " 0/63");
}

// Factors outside 0..100 (-1: unknown) are no coverage any file can have: they are brought into range.
TEST_F(AirportFiles, QualityFactorsOfAFileAreTakenWithinTheirRange) {
    struct Case {
        std::string real, soft;
        QualityFactors expected;
    };
    for (const Case& c : {Case{"99999999999", "-7", {100, -1}}, Case{"101", "0", {100, 0}},
                          Case{"-1", "-1", {-1, -1}}, Case{"45", "12", {45, 12}}}) {
        writeAt("airports/my_thirdparty/LSZH.xml",
                airportFile(standXml("A1", 47, 8), {{"Qf_real", c.real}, {"Qf_soft", c.soft}}));
        ASSERT_EQ(read("airports/my_thirdparty/LSZH.xml"), "");
        EXPECT_EQ(parkQualityFactors, c.expected) << c.real << "/" << c.soft;
    }
}

// The neighbours of every stand are exactly those of the pair rule, whatever the stands' sizes and
// spacing: crowded and sparse stands, negative and zero radii, one stand of the largest radius a file
// may give, and an airport across the date line.
TEST_F(AirportFiles, NeighboursAreThoseOfThePairRule) {
    for (const double lon0 : {8.55, 179.996}) {
        std::mt19937 engine(11);
        std::uniform_real_distribution<double> offset(0.0, 0.008);
        std::uniform_real_distribution<double> radius(-5.0, 60.0);
        std::string stands;
        for (int i = 0; i < 600; ++i) {
            double lon = lon0 + offset(engine) * (i % 7 == 0 ? 0.05 : 1.0);
            if (lon > 180.0) lon -= 360.0;
            const double lat = 47.45 + offset(engine);
            const double r = i == 300 ? maxStandRadiusMetres : radius(engine);
            stands +=
                fmt::format(R"(<parkpos id="S{}" latitude="{:.6f}" longitude="{:.6f}" radius="{:.1f}"/>)", i,
                            lat, lon, r);
        }
        writeAt("airports/my_thirdparty/LSZH.xml", airportFile(stands));
        ASSERT_EQ(read("airports/my_thirdparty/LSZH.xml"), "");
        ASSERT_EQ(parkPositions.size(), 600u);
        for (const ParkPos& a : parkPositions) {
            std::vector<std::uint32_t> expected;
            for (const ParkPos& b : parkPositions)
                if (a.sid != b.sid &&
                    a.radius + b.radius > 1.1 * gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon}))
                    expected.push_back(b.sid);
            ASSERT_EQ(a.adjacent, expected) << a.id << " near longitude " << lon0;
        }
    }
}

TEST_F(AirportFiles, StandsThatOverlapAreNeighbours) {
    // Two stands of 20 m: neighbours while 40 m > 1.1 x distance.
    const double metre = nmPerMetre / 60.0; // degrees of latitude
    for (const auto& [distance, neighbours] : {std::pair{35.0, true}, std::pair{37.0, false}}) {
        writeAt("airports/my_thirdparty/LSZH.xml",
                airportFile(standXml("A", 47.0, 8.0) + standXml("B", 47.0 + distance * metre, 8.0) +
                            standXml("C", 48.0, 8.0)));
        ASSERT_EQ(read("airports/my_thirdparty/LSZH.xml"), "");
        using Sids = std::vector<std::uint32_t>;
        EXPECT_EQ(parkPositions[0].adjacent, neighbours ? Sids{2} : Sids{}) << distance;
        EXPECT_EQ(parkPositions[1].adjacent, neighbours ? Sids{1} : Sids{}) << distance;
        EXPECT_TRUE(parkPositions[2].adjacent.empty());
    }
}

TEST_F(AirportFiles, PublisherTestNamesTheMaker) {
    struct Case {
        Params params;
        bool named;
    };
    const std::vector<Case> cases{
        {{{"publisher", "FlyTampa"}}, true},
        {{{"publisher", ""}, {"manufacturer", "Orbx"}}, true},
        {{{"creator", "Aerosoft"}}, true},
        {{{"creator", "JFC"}}, false},
        {{{"creator", std::string(excludedMakerName)}}, false},
        {{{"manufacturer", "ASOBO STUDIO"}, {"creator", "abc"}}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        writeAt("airports/x.xml", apfXml(c.params, ""));
        EXPECT_EQ(gf_apfHasPublisher("airports/x.xml"), c.named) << parametersXml(c.params);
    }
    EXPECT_FALSE(gf_apfHasPublisher("airports/missing.xml"));
    EXPECT_NE(logText().find("==> 'airports/missing.xml' not found"), std::string::npos);
}

} // namespace
