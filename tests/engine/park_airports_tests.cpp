// The park-airport list: reading my_park_airports.txt and the my_thirdparty folder, saving the first
// entry, and the destination put in front.

#include "engine/base/stands.h"
#include "engine/static/park_airports.h"

#include "core/strings.h"
#include "feed/udp_readers.h"
#include "platform/os/folders.h"
#include "refdata/airports.h"
#include "refdata/park_airport.h"

#include "tests/engine/engine_fixture.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace enginetest {
namespace {

namespace fs = std::filesystem;

class ParkAirportsTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        gf_resetParkAirportsForTests();
        airportTable = AirportTable{};
        for (const char* code : {"EHAM", "LSZH", "EDDF", "LOWW"})
            addAirport(code);
        fs::create_directories(os::inWorkingFolder("airports"));
    }

    void TearDown() override {
        gf_resetParkAirportsForTests();
        gf_resetParkAirportForTests();
        trafficReader.clearParkAirport();
        airportTable = AirportTable{};
        EngineTest::TearDown();
    }

    static void addAirport(const std::string& code) {
        Airport a;
        a.code = code;
        a.lat = 47.0 + static_cast<double>(airportTable.records.size()) * 0.001;
        a.lon = 8.0;
        airportTable.records.push_back(a);
        airportTable.codes.insert(code);
    }

    fs::path parkFile() const { return os::inWorkingFolder("airports/my_park_airports.txt"); }

    void writeParkFile(const std::string& content) const {
        std::ofstream out(parkFile(), std::ios::binary);
        out << content;
    }

    std::string readParkFile() const {
        std::ifstream in(parkFile(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static std::vector<std::string> listed() {
        std::vector<std::string> out;
        for (const ParkAirportEntry& e : parkAirport.parkAirports)
            out.push_back(e.stand.empty() ? e.code : e.code + "," + e.stand);
        return out;
    }
};

TEST_F(ParkAirportsTest, ReadingTheFileAndTheThirdpartyFolder) {
    struct Case {
        const char* name;
        const char* file; // nullptr: no file
        std::vector<std::string> thirdparty;
        bool result;
        std::vector<std::string> entries;
        std::vector<std::string> logLines;
    };
    const std::vector<Case> cases{
        {"stands, a third field, a double, lower case",
         "EHAM, B12\n\nLSZH\nEDDF,A1,X\n  \nLSZH,C3\neham\n",
         {},
         false,
         {"EHAM,B12", "LSZH"},
         {"==> my_park_airports.txt:EDDF,A1,X wrong syntax, skipped",
          "==> my_park_airports.txt:LSZH double, skipped",
          "2 park airports read from 'my_park_airports.txt'"}},
        {"no file: the my_thirdparty airports",
         nullptr,
         {"EDDF.xml", "XXXX.xml"},
         true,
         {"EDDF"},
         {"my_park_airports.txt not found", "1 park airport added from my_thirdparty folder(-s)"}},
        {"my_thirdparty adds only what the file does not name",
         "EHAM,C3\n",
         {"EHAM.xml", "LOWW.txt"},
         true,
         {"EHAM,C3", "LOWW"},
         {"1 park airport read from 'my_park_airports.txt'",
          "1 park airport added from my_thirdparty folder(-s)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(parkFile());
        fs::remove_all(os::inWorkingFolder("airports/my_thirdparty"));
        if (c.file != nullptr) writeParkFile(c.file);
        for (const std::string& name : c.thirdparty) {
            fs::create_directories(os::inWorkingFolder("airports/my_thirdparty"));
            std::ofstream(os::inWorkingFolder("airports/my_thirdparty") / name) << "x";
        }
        const std::size_t logged = logText().size();
        EXPECT_EQ(lf_readMyParkAirports(), c.result);
        std::vector<std::string> got = listed();
        if (!c.thirdparty.empty()) std::sort(got.begin() + 1, got.end()); // directory order
        EXPECT_EQ(got, c.entries);
        const std::string log = logText().substr(logged);
        for (const std::string& line : c.logLines)
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
    const std::vector<std::string> shown = messages();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "airport eham is unknown"), shown.end());
    EXPECT_DOUBLE_EQ(parkAirport.parkAirports.front().pos.lat, gf_findAirport("EHAM")->lat);
}

TEST_F(ParkAirportsTest, ManyAirportsWarn) {
    std::string file;
    for (int i = 0; i < 3001; ++i) {
        const std::string code = fmt::format("X{:04}", i);
        addAirport(code);
        file += code + "\n";
    }
    const std::string warning =
        "Warning: There are a lot of airports (3001), that will cost Skyloom much cpu time "
        "and may cause stutters";
    writeParkFile(file.substr(0, file.size() - 6)); // 3000 lines
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(parkAirport.parkAirports.size(), 3000u);
    EXPECT_TRUE(messages().empty());
    writeParkFile(file);
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(messages(), std::vector<std::string>{warning});
}

TEST_F(ParkAirportsTest, SavingTheFirstEntry) {
    struct Case {
        const char* name;
        const char* before; // nullptr: no file
        ParkAirportEntry first;
        std::string after;
        std::string logLine;
    };
    const std::vector<Case> cases{
        {"created", nullptr, {"EHAM", "C3"}, "EHAM,C3\n", "my_park_airports.txt created with EHAM,C3"},
        {"stand replaced, file sorted",
         "LSZH\nEHAM\n",
         {"EHAM", "C3"},
         "EHAM,C3\nLSZH\n",
         "my_park_airports.txt:EHAM,C3 updated stand"},
        {"entry with blanks found",
         "LSZH\n EHAM , B1\n",
         {"EHAM", ""},
         "EHAM\nLSZH\n",
         "my_park_airports.txt:EHAM updated stand"},
        {"new entry, repeated lines dropped",
         "LSZH\nLOWW\nLSZH\n",
         {"EDDF", ""},
         "EDDF\nLOWW\nLSZH\n",
         "my_park_airports.txt:EDDF new entry"},
        {"later lines of the airport dropped: sorted first they would be read instead",
         "EHAM,D7\nLSZH\nEHAM,A1\n EHAM\n",
         {"EHAM", "D7"},
         "EHAM,D7\nLSZH\n",
         "my_park_airports.txt:EHAM,D7 updated stand"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(parkFile());
        if (c.before != nullptr) writeParkFile(c.before);
        parkAirport.parkAirports = {c.first, {"LOWW", "X9"}};
        EXPECT_TRUE(gf_saveMyParkAirport());
        EXPECT_EQ(readParkFile(), c.after);
        EXPECT_EQ(logCount(c.logLine), 1u);
    }
}

// A reserved stand's id comes from an outside airport file: whatever it holds, it is read back as it
// was saved, and saving one airport leaves what the file says of every other airport as it was.
TEST_F(ParkAirportsTest, AnyStandIdRoundTripsAndOtherAirportsKeepTheirStands) {
    const std::vector<std::string> ids{"B,12",
                                       "B12\nEDDF,V1",
                                       "B12\r\nLOWW",
                                       "\"B12\"",
                                       "\"",
                                       " B12 ",
                                       "B\\12",
                                       "B\\x41",
                                       "B\t12\x7f",
                                       std::string(200, 'x'),
                                       "\xc3\xa9 12",
                                       std::string("B\0"
                                                   "12",
                                                   4)};
    for (const std::string& id : ids) {
        SCOPED_TRACE(::testing::PrintToString(id));
        writeParkFile("EDDF,V9\nLSZH\nEDDF,A1\nLOWW,B2\n");
        ASSERT_TRUE(lf_readMyParkAirports());
        const auto lszh = std::find_if(parkAirport.parkAirports.begin(), parkAirport.parkAirports.end(),
                                       [](const ParkAirportEntry& e) { return e.code == "LSZH"; });
        ASSERT_NE(lszh, parkAirport.parkAirports.end());
        parkAirport.parkAirports.splice(parkAirport.parkAirports.begin(), parkAirport.parkAirports, lszh);
        ASSERT_EQ(parkAirport.parkAirports.front().code, "LSZH");
        parkAirport.parkAirports.front().stand = id;
        ASSERT_TRUE(gf_saveMyParkAirport());

        ASSERT_TRUE(lf_readMyParkAirports()) << readParkFile();
        std::map<std::string, std::string> stands;
        for (const ParkAirportEntry& e : parkAirport.parkAirports)
            stands[e.code] = e.stand;
        EXPECT_EQ(stands, (std::map<std::string, std::string>{{"EDDF", "V9"}, {"LOWW", "B2"}, {"LSZH", id}}))
            << readParkFile();
        EXPECT_EQ(parkAirport.parkAirports.size(), 3u);
    }
}

TEST_F(ParkAirportsTest, FailedSaveIsAnErrorLineAndKeepsTheOldFile) {
    // The airports folder is gone: nothing can be written, and nothing is said to be created.
    fs::remove_all(os::inWorkingFolder("airports"));
    parkAirport.parkAirports = {{"EHAM", "C3"}};
    EXPECT_FALSE(gf_saveMyParkAirport());
    EXPECT_EQ(logCount("created with"), 0u);
    EXPECT_EQ(logCount("==> " + path_to_utf8(parkFile()) + " could not be written"), 1u);

    // A file that is there but cannot be read is not replaced by one line.
    fs::create_directories(parkFile());
    EXPECT_FALSE(gf_saveMyParkAirport());
    EXPECT_TRUE(fs::is_directory(parkFile()));
    EXPECT_EQ(logCount("not saved"), 2u);
}

TEST_F(ParkAirportsTest, DestinationGoesToTheFront) {
    writeParkFile("EHAM,B1\nLSZH,C2\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    gf_setDestinationParkAirport("LSZH", {1, 2});
    EXPECT_EQ(listed(), (std::vector<std::string>{"LSZH,C2", "EHAM,B1"}));
    EXPECT_EQ(readParkFile(), "EHAM,B1\nLSZH,C2\n"); // already listed: the file is not touched

    gf_setDestinationParkAirport("EDDF", {50.0, 8.5});
    EXPECT_EQ(listed(), (std::vector<std::string>{"EDDF", "LSZH,C2", "EHAM,B1"}));
    EXPECT_DOUBLE_EQ(parkAirport.parkAirports.front().pos.lat, 50.0);
    EXPECT_EQ(readParkFile(), "EDDF\nEHAM,B1\nLSZH,C2\n");
}

TEST_F(ParkAirportsTest, SettingTheParkAirport) {
    airportTable.records[1].iata = "ZRH";
    airportTable.records[1].alt = 1416;
    int repaints = 0;
    gf_engineHooks().repaintStatus = [&] { ++repaints; };
    ASSERT_TRUE(gf_setParkAirport("LSZH"));
    EXPECT_EQ(parkAirportCode, "LSZH");
    EXPECT_EQ(currentParkAirport.iata, "ZRH");
    EXPECT_EQ(trafficReader.parkAirportCode(), "LSZH");
    EXPECT_EQ(engineStatus.parkAirportText(), "LSZH (ZRH)");
    EXPECT_EQ(logCount("The park airport is LSZH (ZRH)"), 1u);

    EXPECT_FALSE(gf_setParkAirport("lszh"));
    EXPECT_EQ(engineStatus.parkAirportText(), "");
    EXPECT_EQ(repaints, 2);
}

} // namespace
} // namespace enginetest
