#include "tests/support/eventually.h"
#include "tests/update/update_fixture.h"
#include "update/installers.h"
#include "update/update_check.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <future>
#include <mutex>
#include <thread>

#include <fmt/format.h>

namespace update_test {
// A file the system refuses to delete (as when another program holds it open): remove() of this path
// fails with EBUSY while it is set.
std::atomic<const char*> undeletable{nullptr};
} // namespace update_test

// Takes the place of the C library's remove() in this test program, which std::filesystem::remove calls.
extern "C" int remove(const char* path) {
    if (const char* refused = update_test::undeletable.load(); refused && std::strcmp(path, refused) == 0) {
        errno = EBUSY;
        return -1;
    }
    using Remove = int (*)(const char*);
    static const auto real = reinterpret_cast<Remove>(::dlsym(RTLD_NEXT, "remove"));
    return real(path);
}

namespace update_test {
namespace {

std::string version(int major, int minor, int patch) {
    return fmt::format(R"({{"major": {}, "minor": {}, "patch": {}}})", major, minor, patch);
}

// The plain text of a file of the data set (data/), as the server packs it.
std::string dataSetText(const std::string& name) {
    return readFile(fs::path(SKYLOOM_SOURCE_DIR) / "data" / name);
}

// versions.json with every member at the given versions.
std::string versions(const std::string& msfs, const std::string& data = version(1, 0, 0)) {
    return fmt::format(R"({{"msfs": {0}, "simaddon": {1}, "airports": {1}, "aig": {1}, "liveries": {1},
                          "addons": {1}, "dbase": {1}, "other": 5}})",
                       msfs, data);
}

class UpdateCheckTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        for (const auto& [name, plain] : servedData())
            siteDataFile(name, plain);
        writeFile(site / "downloads/docs/ReleaseNotes.pdf", "%PDF notes");
        makeZip(site / "downloads/release/setup_Skyloom_d_v11.10.6.zip", {{"setup.exe", "INSTALLER"}});
        makeZip(site / "downloads/mysimaddon24/my_simaddon2024.zip", {{"EHAM.xml", "<EHAM/>"}});
        // Everything installed at 1.0.0.
        for (const char* name : {"airports.enc", "AIG-regcodes.enc", "dbase.enc"})
            writeFile(work / "input" / name, "old data");
        writeFile(work / "output/LiveriesScanned.xml", "<root/>");
        writeFile(work / "airports/my_simaddon/EHAM.txt", "<EHAM/>");
        for (auto* setting : {&AIRPORTS_VERSION, &AIG_VERSION, &DBASE_VERSION, &LIV_SCAN_VERSION,
                              &ADDONS_SCAN_VERSION, &MYSIMADDON24_VERSION})
            setting->setValue("1.0.0");
        SCAN_LIVERIES.value = false;
        SCAN_AIRPORTS.value = false;
        os::setShellOpenProgram("true");
    }

    void serveVersions(const std::string& json) { writeFile(site / "downloads/versions.json", json); }
    // The data files the server offers: those of the data set.
    static const std::map<std::string, std::string>& servedData() {
        static const std::map<std::string, std::string> files{
            {"airports.enc", dataSetText("airports.xml")},
            {"AIG-regcodes.enc", dataSetText("AIG-regcodes.xml")},
            {"dbase.enc", dataSetText("dbase.xml")}};
        return files;
    }
    void use2024() {
        gf_coreHooks().simulatorIs2020 = [] { return false; };
    }
};

TEST_F(UpdateCheckTest, AnEmptyListFindsNoMemberAndGoesOn) {
    for (const bool is2020 : {true, false}) {
        SCOPED_TRACE(is2020);
        gf_coreHooks().simulatorIs2020 = [is2020] { return is2020; };
        serveVersions("{}");
        const auto before = logText().size();
        EXPECT_TRUE(gf_checkForUpdates());
        const std::string log = logText().substr(before);
        for (const char* member : {"msfs", "airports", "aig", "liveries", "addons", "dbase"})
            EXPECT_NE(log.find(fmt::format("==> {} version not found\n", member)), std::string::npos)
                << member;
        EXPECT_EQ(log.find("simaddon version not found") != std::string::npos, !is2020);
        EXPECT_FALSE(fs::exists(work / "versions.json"));
    }
}

TEST_F(UpdateCheckTest, EqualVersionsAreUpToDateAndFetchNothing) {
    use2024();
    serveVersions(versions(version(11, 10, 5)));
    EXPECT_TRUE(gf_checkForUpdates());
    const std::string log = logText();
    for (const char* member : {"msfs", "simaddon", "airports", "aig", "liveries", "addons", "dbase"})
        EXPECT_NE(log.find(fmt::format("{} version up-to-date\n", member)), std::string::npos) << member;
    EXPECT_NE(log.find("msfs program version at web = 11.10.5\n"), std::string::npos);
    EXPECT_EQ(server->totalRequests(), 1);
    EXPECT_EQ(readFile(work / "input/dbase.enc"), "old data");
    EXPECT_FALSE(SCAN_LIVERIES.value.load());
    EXPECT_FALSE(SCAN_AIRPORTS.value.load());
}

TEST_F(UpdateCheckTest, ANewProgramVersionIsPreparedAndStopsTheRun) {
    // The file manager stand-in notes what it was asked to show.
    const fs::path opener = temp / "opener.sh";
    writeFile(opener, "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.shown\"\n");
    fs::permissions(opener, fs::perms::owner_all);
    os::setShellOpenProgram(opener.string());
    serveVersions(versions(version(11, 10, 6)));
    EXPECT_FALSE(gf_checkForUpdates());
    const fs::path shown = fs::path(opener).concat(".shown");
    ASSERT_TRUE(testing_support::eventually([&] { return fs::exists(shown); }));
    EXPECT_EQ(readFile(shown), (work / "new_version").string());
    EXPECT_EQ(tree(work / "new_version"),
              (std::map<std::string, std::string>{
                  {"install_new_version.exe", "INSTALLER"},
                  {"ReleaseNotes.pdf", "%PDF notes"},
                  {"README.txt", "A new version is available.\nThe installer can be executed normally (no "
                                 "Administrator rights required).\n"}}));
    EXPECT_TRUE(runControl.stop.load());
    EXPECT_EQ(runControl.stopReason(), StopReason::NewVersion);
    EXPECT_EQ(runControl.restartDelay.load(), 0);
    // The remaining members are not looked at.
    EXPECT_EQ(logText().find("airports version"), std::string::npos);
}

TEST_F(UpdateCheckTest, NewerOrMissingDataIsFetchedAndItsVersionSaved) {
    use2024();
    serveVersions(versions(version(11, 10, 5), version(2, 0, 0)));
    AIRPORTS_VERSION.setValue("");
    fs::remove(work / "input/dbase.enc");
    fs::remove(work / "output/LiveriesScanned.xml");
    EXPECT_TRUE(gf_checkForUpdates());
    for (const auto& [name, plain] : servedData()) {
        const fs::path plainCopy = temp / "plain";
        ASSERT_TRUE(gf_streamDecrypt(work / "input" / name, plainCopy)) << name;
        EXPECT_EQ(readFile(plainCopy), plain);
    }
    for (auto* setting : {&AIRPORTS_VERSION, &AIG_VERSION, &DBASE_VERSION, &LIV_SCAN_VERSION,
                          &ADDONS_SCAN_VERSION, &MYSIMADDON24_VERSION})
        EXPECT_EQ(setting->value(), "2.0.0") << setting->name;
    EXPECT_TRUE(SCAN_LIVERIES.value.load());
    EXPECT_TRUE(SCAN_AIRPORTS.value.load());
    EXPECT_NE(logText().find("dbase updated to 2.0.0"), std::string::npos);
}

TEST_F(UpdateCheckTest, MissingFilesAreFetchedAgainAtEqualVersions) {
    serveVersions(versions(version(11, 10, 5)));
    fs::remove(work / "input/dbase.enc");
    fs::remove(work / "output/LiveriesScanned.xml");
    int ticked = 0;
    gf_updateHooks().setCheckBox = [&](CheckBoxParameter& box, bool value) {
        EXPECT_EQ(&box, &SCAN_LIVERIES);
        box.value = value;
        ++ticked;
    };
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_TRUE(fs::exists(work / "input/dbase.enc"));
    EXPECT_EQ(DBASE_VERSION.value(), "1.0.0");
    EXPECT_EQ(ticked, 1);
    EXPECT_TRUE(SCAN_LIVERIES.value.load());
    EXPECT_EQ(readFile(work / "input/airports.enc"), "old data");
}

TEST_F(UpdateCheckTest, FailedDownloadsKeepTheOldFilesAndVersions) {
    use2024();
    serveVersions(versions(version(11, 10, 5), version(2, 0, 0)));
    writeFile(site / "downloads/11/dbase.enc", "served, but no data file");
    server->script("/downloads/11/airports.enc", ServedFault{ServedFault::Kind::Status, 404});
    server->script("/downloads/mysimaddon24/my_simaddon2024.zip", ServedFault{ServedFault::Kind::ShortBody});
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(readFile(work / "input/dbase.enc"), "old data");
    EXPECT_EQ(readFile(work / "input/airports.enc"), "old data");
    EXPECT_EQ(DBASE_VERSION.value(), "1.0.0");
    EXPECT_EQ(AIRPORTS_VERSION.value(), "1.0.0");
    EXPECT_EQ(AIG_VERSION.value(), "2.0.0");
    EXPECT_EQ(MYSIMADDON24_VERSION.value(), "1.0.0");
    const std::string log = logText();
    EXPECT_NE(log.find("simaddon update to 2.0.0 failed"), std::string::npos);
    EXPECT_EQ(log.find("simaddon version up-to-date"), std::string::npos);
    EXPECT_EQ(readFile(work / "airports/my_simaddon/EHAM.txt"), "<EHAM/>");
}

// A data file that decrypts but is the wrong file (another data file under its name) or holds nothing
// would fail every later start: it is read as the program will before it replaces the installed one.
TEST_F(UpdateCheckTest, AWrongOrEmptyDataFileLeavesTheInstalledOneAndItsVersion) {
    const std::string meta =
        "<meta><info name=\"copyright\" value=\"c\"/><info name=\"sim\" value=\"1\"/></meta>";
    const struct {
        const char* name;
        std::string served;
        const char* why;
    } cases[] = {
        {"dbase.enc", dataSetText("airports.xml"), "section [aircrafts] is empty"},
        {"airports.enc", dataSetText("dbase.xml"), "no <airports> section"},
        {"AIG-regcodes.enc", dataSetText("airports.xml"), "no meta header"},
        {"dbase.enc", dataSetText("AIG-regcodes.xml"), "section [aircrafts] is empty"},
        {"airports.enc", "<root><airports/></root>", "no airport"},
        {"AIG-regcodes.enc", "<root>" + meta + "<AIG-regcodes/></root>", "no livery"},
        {"dbase.enc", "", "not valid XML"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " <- " + c.served.substr(0, 200));
        for (const auto& [name, plain] : servedData())
            siteDataFile(name, plain);
        siteDataFile(c.name, c.served);
        for (const char* name : {"airports.enc", "AIG-regcodes.enc", "dbase.enc"})
            writeFile(work / "input" / name, "old data");
        for (auto* setting : {&AIRPORTS_VERSION, &AIG_VERSION, &DBASE_VERSION})
            setting->setValue("1.0.0");
        serveVersions(versions(version(11, 10, 5), version(2, 0, 0)));
        const auto before = logText().size();
        EXPECT_TRUE(gf_checkForUpdates());
        EXPECT_EQ(readFile(work / "input" / c.name), "old data");
        const std::string log = logText().substr(before);
        EXPECT_NE(log.find(fmt::format("downloads/11/{} failed its check: {}", c.name, c.why)),
                  std::string::npos)
            << log;
        // The others were sound and are installed.
        int updated = 0;
        for (const auto& [member, setting] : {std::pair{"airports.enc", &AIRPORTS_VERSION},
                                              {"AIG-regcodes.enc", &AIG_VERSION},
                                              {"dbase.enc", &DBASE_VERSION}}) {
            const bool refused = std::string_view(member) == c.name;
            EXPECT_EQ(setting->value(), refused ? "1.0.0" : "2.0.0") << member;
            updated += readFile(work / "input" / member) != "old data";
        }
        EXPECT_EQ(updated, 2);
        EXPECT_EQ(log.find("dbase updated") == std::string::npos, std::string_view(c.name) == "dbase.enc");
    }
    // The next check fetches the refused file again.
    siteDataFile("dbase.enc", dataSetText("dbase.xml"));
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(DBASE_VERSION.value(), "2.0.0");
}

// A server that trickles a few bytes a second passes any low-speed limit and would hold the start for
// hours: the check as a whole has a time limit, tells the user what it fetches, and the start goes on.
TEST_F(UpdateCheckTest, AStallingServerEndsWithinTheCheckLimitAndTheStartGoesOn) {
    auto& t = gf_downloadTestSettings();
    t.limits = [](DownloadKind) {
        DownloadLimits limits;
        limits.lowSpeedBytes = 1;
        limits.lowSpeedTime = std::chrono::seconds(60);
        return limits;
    };
    t.checkTimeLimit = std::chrono::milliseconds(1'500);
    auto shown = std::make_shared<std::vector<std::string>>();
    auto shownMutex = std::make_shared<std::mutex>();
    gf_coreHooks().showMessage = [shown, shownMutex](std::string_view text, bool) {
        std::lock_guard lock(*shownMutex);
        shown->emplace_back(text);
    };
    serveVersions(versions(version(11, 10, 5), version(2, 0, 0)));
    server->script("/downloads/11/dbase.enc", ServedFault{ServedFault::Kind::Trickle});

    auto result = std::make_shared<std::promise<bool>>();
    std::future<bool> check = result->get_future();
    std::thread([result] { result->set_value(gf_checkForUpdates()); }).detach();
    const bool ended = check.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    abort = true; // ends a check that went on (the old behaviour) before the fixture goes
    ASSERT_TRUE(ended) << "the check went on with the trickling server";
    EXPECT_TRUE(check.get());
    EXPECT_EQ(readFile(work / "input/dbase.enc"), "old data");
    EXPECT_EQ(DBASE_VERSION.value(), "1.0.0");
    const std::string log = logText();
    EXPECT_NE(log.find("Timeout was reached"), std::string::npos) << log;
    EXPECT_FALSE(runControl.stop.load());
    std::lock_guard lock(*shownMutex);
    EXPECT_NE(std::find(shown->begin(), shown->end(), "Downloading versions.json ..."), shown->end());
    EXPECT_NE(std::find(shown->begin(), shown->end(), "Downloading dbase.enc ..."), shown->end());
    EXPECT_EQ(shown->back(), "") << "the status line is cleared after the check";
}

// Temporary files of transfers that were killed are removed at the next start, wherever the downloads
// write; the user's own files are not touched.
TEST_F(UpdateCheckTest, LeftTemporaryFilesOfTheDownloaderAreRemovedAtTheNextStart) {
    const std::vector<fs::path> left{work / ".versions.json.4242-0.download",
                                     work / "input/.dbase.enc.4242-3.download",
                                     work / "airports/.park_airport.xml.17-1.download",
                                     work / "new_version/.ReleaseNotes.pdf.99-12.download"};
    const std::vector<fs::path> kept{work / "input/dbase.download", work / "input/.dbase.enc.download",
                                     work / "input/my.download.txt", work / "input/.x.12-y.download"};
    for (const fs::path& path : left)
        writeFile(path, "part of a transfer");
    for (const fs::path& path : kept)
        writeFile(path, "the user's");
    gf_downloadTestSettings().baseUrl.clear(); // no server: the clean-up runs all the same
    EXPECT_TRUE(gf_checkForUpdates());
    for (const fs::path& path : left)
        EXPECT_FALSE(fs::exists(path)) << path;
    for (const fs::path& path : kept)
        EXPECT_EQ(readFile(path), "the user's") << path;
}

TEST_F(UpdateCheckTest, VersionsCompareFieldByFieldAndOnlyVersionObjectsCount) {
    AIRPORTS_VERSION.setValue("11.0.0");
    serveVersions(R"({"msfs": "11.10.6", "airports": {"major": 10, "minor": 99, "patch": 0},
                      "aig": {"major": 2, "minor": 0}, "liveries": {"major": 2, "minor": 0, "patch": -1},
                      "addons": {"major": 2.5, "minor": 0, "patch": 0}, "dbase": [2, 0, 0]})");
    EXPECT_TRUE(gf_checkForUpdates());
    const std::string log = logText();
    EXPECT_NE(log.find("airports version up-to-date"), std::string::npos);
    for (const char* member : {"msfs", "aig", "liveries", "addons", "dbase"})
        EXPECT_NE(log.find(fmt::format("{} version not found", member)), std::string::npos) << member;
    EXPECT_FALSE(runControl.stop.load());
}

TEST_F(UpdateCheckTest, AnUnusableVersionListIsLoggedAndTheStartGoesOn) {
    const struct {
        const char* name;
        ServedFault fault;
    } cases[] = {
        {"error page with 200", ServedFault{ServedFault::Kind::Body, 200, "", 0, "<html>Maintenance</html>"}},
        {"cut off", ServedFault{ServedFault::Kind::Body, 200, "", 0, R"({"msfs": {"major": 11, "mi)"}},
        {"404", ServedFault{ServedFault::Kind::Status, 404}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server->script("/downloads/versions.json", c.fault);
        const auto before = logText().size();
        EXPECT_TRUE(gf_checkForUpdates());
        EXPECT_NE(logText().find("==> Downloading version info from my web site failed!", before),
                  std::string::npos);
        EXPECT_FALSE(fs::exists(work / "versions.json"));
        EXPECT_FALSE(runControl.stop.load());
    }
}

TEST_F(UpdateCheckTest, AVersionListThatCannotBeDeletedIsReportedAndNothingIsLost) {
    const std::string path = (work / "versions.json").string();
    undeletable = path.c_str();
    serveVersions(versions(version(11, 10, 5), version(2, 0, 0)));
    EXPECT_TRUE(gf_checkForUpdates());
    const std::string log = logText();
    EXPECT_NE(log.find(fmt::format("Warning: could not remove {}: ", path)), std::string::npos) << log;
    // The check went on with the list it had read.
    EXPECT_EQ(DBASE_VERSION.value(), "2.0.0");
    EXPECT_NE(log.find("dbase updated to 2.0.0"), std::string::npos);
    EXPECT_TRUE(SCAN_AIRPORTS.value.load());
    EXPECT_FALSE(runControl.stop.load());
    EXPECT_TRUE(fs::exists(path));

    // The file left behind is replaced by the next list, never read in its place: nor when the server
    // has a new one, nor when it fails.
    serveVersions(versions(version(11, 10, 5), version(3, 0, 0)));
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(DBASE_VERSION.value(), "3.0.0");
    server->script("/downloads/versions.json", ServedFault{ServedFault::Kind::Status, 500});
    undeletable = nullptr;
    DBASE_VERSION.setValue("1.0.0");
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(DBASE_VERSION.value(), "1.0.0");
    server->clearScript("/downloads/versions.json");
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(DBASE_VERSION.value(), "3.0.0");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(readFile(work / "input/airports.enc"), readFile(site / "downloads/11/airports.enc"));
}

TEST_F(UpdateCheckTest, WithoutAServerTheCheckIsOneLine) {
    gf_downloadTestSettings().baseUrl.clear();
    const auto before = logText().size();
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(logText().substr(before),
              "No download server configured (SKYLOOM_DOWNLOAD_URL): the update check is skipped\n");
    EXPECT_EQ(server->totalRequests(), 0);
}

} // namespace
} // namespace update_test
