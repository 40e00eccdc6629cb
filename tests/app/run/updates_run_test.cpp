// The updates in the program's run: the start-up's update check against a loopback server, before the
// reference data are read, and the parking files' fetch of archived airport files.

#include "app/wiring.h"
#include "app/worker.h"
#include "refdata/airport_files.h"
#include "refdata/data_files.h"
#include "refdata/park_airport.h"
#include "run_fixture.h"
#include "tests/support/http_test_server.h"
#include "tools/datapack/datapack.h"
#include "update/downloader.h"

#include <algorithm>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeAll(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

const std::string newDbase = readAll(fs::path(SKYLOOM_SOURCE_DIR) / "data/dbase.xml");

class UpdatesRunTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        work = root / "work";
        site = root / "site";
        packages = root / "msfs";
        fs::create_directories(packages / "Community");
        fs::create_directories(packages / "Official");
        MSFS_INSTALL_PATH.setValue(packages.string());
        MSFS_INSTALL_PATH.save();
        refdataInputFolder() = work / "input";
        encrypt("<dbase>old</dbase>", work / "input/dbase.enc");
        // The server's newer type database is the data set's: a download must be a sound data file.
        encrypt(newDbase, site / "downloads/11/dbase.enc");
        writeAll(site / "downloads/versions.json", R"({"dbase": {"major": 2, "minor": 0, "patch": 0}})");
        server = std::make_unique<testing_support::HttpTestServer>(site);
        auto& t = gf_downloadTestSettings();
        t.baseUrl = server->baseUrl();
        t.baseUrlSet = true;
        t.caFile = server->caFile();

        gf_wireProgram();
        // Every step but the update check records itself; reading the type database reads the file.
        auto& s = gf_runSteps();
        auto record = [this](const char* name) { return [this, name] { steps.push_back(name); }; };
        s.startParameters = record("parameters");
        const auto check = s.checkForUpdates;
        s.checkForUpdates = [this, check] {
            steps.push_back("updates");
            return check();
        };
        s.readDbase = [this] {
            steps.push_back("dbase");
            const fs::path plain = root / "dbase.xml";
            if (!gf_streamDecrypt(work / "input/dbase.enc", plain)) return false;
            readDbase.push_back(readAll(plain));
            return true;
        };
        s.readAirports = [this] {
            steps.push_back("airports");
            return true;
        };
        s.scanLiveries = record("scan liveries");
        s.processScannedLiveries = record("process liveries");
        s.scanAddonAirports = record("scan airports");
        s.createFlightPlanFolder = record("flight plans");
        s.readMyParkAirports = record("park airports");
        s.reserveContainers = record("main run");
        s.simRunning = [] { return false; };
        s.now = [this] { return now; };
        s.sleep = [this](std::chrono::milliseconds d) { advance(d); };
        s.joinSimClient = nullptr;
    }

    void TearDown() override {
        gf_unwireProgram();
        server.reset();
        gf_resetDownloadsForTests();
        refdataInputFolder() = "input";
        RunTest::TearDown();
    }

    void encrypt(const std::string& plain, const fs::path& target) {
        const fs::path source = root / "plain.xml";
        writeAll(source, plain);
        fs::create_directories(target.parent_path());
        datapack::encryptDataFile(source, target);
    }

    void runUntilClosed() {
        at(slept + 1s, [] { gf_requestStop(StopReason::UserClosedSim, 0); });
        trafficThread();
    }

    fs::path work, site, packages;
    std::unique_ptr<testing_support::HttpTestServer> server;
    std::vector<std::string> steps;
    std::vector<std::string> readDbase;
};

TEST_F(UpdatesRunTest, AFreshStartFetchesNewerDataBeforeItIsReadAndARestartDoesNotCheck) {
    runUntilClosed();
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps[1], "updates");
    EXPECT_EQ(steps[2], "dbase");
    EXPECT_EQ(readDbase, std::vector<std::string>{newDbase});
    EXPECT_EQ(DBASE_VERSION.value(), "2.0.0");
    EXPECT_EQ(server->requests("/downloads/versions.json"), 1);

    steps.clear();
    runControl.reset();
    freshStart = false;
    runUntilClosed();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "updates"), 0);
    EXPECT_EQ(server->requests("/downloads/versions.json"), 1);
}

TEST_F(UpdatesRunTest, AnArchivedAirportFileArrivesThroughTheParkingFilesFetch) {
    const std::string apf = "<root><meta><info name=\"author\" value=\"Skyloom\"/><info name=\"copyright\" "
                            "value=\"c\"/><info name=\"sim\" value=\"1\"/></meta></root>";
    writeAll(site / "downloads/MSFS/archive/stock/LSZH.xml", apf);
    SIM_CHOICE.setValue("MSFS 2020");
    const fs::path target = work / "airports/park_airport.xml";
    EXPECT_EQ(gf_downloadArchivedApf("archive/stock/LSZH.xml", target), "");
    EXPECT_EQ(readAll(target), apf);
    EXPECT_EQ(server->requests("/downloads/MSFS/archive/stock/LSZH.xml"), 1);
}

} // namespace
