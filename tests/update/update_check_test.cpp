#include "tests/support/eventually.h"
#include "tests/update/update_fixture.h"
#include "update/installers.h"
#include "update/update_check.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>

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
        siteDataFile("airports.enc", "<airports new/>");
        siteDataFile("AIG-regcodes.enc", "<aig new/>");
        siteDataFile("dbase.enc", "<dbase new/>");
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
    for (const auto& [name, plain] : {std::pair{"airports.enc", "<airports new/>"},
                                      {"AIG-regcodes.enc", "<aig new/>"},
                                      {"dbase.enc", "<dbase new/>"}}) {
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
