#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/migration.h"
#include "core/parameters.h"
#include "core/settings.h"
#include "core/version.h"
#include "settings_fixture.h"

using namespace settings_test;

namespace {

const std::vector<std::string> obsoleteKeys{"CALLSIGN_OBJECTIDS",
                                            "PARK_FAKE",
                                            "SUPPRESS_STUB",
                                            "LOG",
                                            "LEARN_SOFT",
                                            "PROGRAM_INSTALL_PATH",
                                            "LATERAL_RANGE",
                                            "CUSTOM_MAX_PARK",
                                            "MAX_LIVE",
                                            "AIRPORT_RANGE",
                                            "AUTO_RANGE_ABOVE_HEIGHT",
                                            "AIRPORT_HEIGHT",
                                            "MSFS_2020",
                                            "AI_PACKAGE_ORDER"};

class Migration : public SettingsTest {
protected:
    // A file as an older version left it: its version, an obsolete entry for every old key, a setting.
    void writeOldFile(const std::string& version) {
        std::string entries = entry("PROGRAM_VERSION", version) + entry("RANGE", "65");
        for (const auto& key : obsoleteKeys)
            entries += entry(key, "1");
        writeFile(file(), parametersFile(entries));
    }
    // Files and folders of older versions in the working folder.
    void writeLeftovers() {
        for (auto name :
             {"Callsign2ObjectId.txt", "versions.json", "abcd.xml", "ABCD.XML", "abc.xml", "abcde.xml",
              "\u00e4bcd.xml", "\u00e4bc.xml", "input/airports_msfs.xml", "input/airports_msfs_names.xml",
              "input/keep.xml", "TO_BE_LEARNED_OFFLINE/x/y.txt", "new_version/setup.exe"}) {
            fs::create_directories((work / name).parent_path());
            writeFile(work / name, "x");
        }
        fs::create_directories(work / "wxyz.xml");
    }
    std::string running() const { return gf_programVersion.toString(); }
};

TEST_F(Migration, SameVersionLeavesTheFileByteIdentical) {
    ASSERT_TRUE(gf_readParameters());
    gf_resetSettingsForTests();
    const auto before = readFile(file());
    writeLeftovers();

    gf_startParameters();

    EXPECT_EQ(readFile(file()), before);
    EXPECT_EQ(logText().find("This is a version update"), std::string::npos);
    EXPECT_TRUE(fs::exists(work / "abcd.xml"));
    EXPECT_TRUE(fs::exists(work / "versions.json"));
}

TEST_F(Migration, MissingVersionIsStoredWithoutRemovingAnything) {
    writeFile(file(), parametersFile(entry("LOG", "1") + entry("RANGE", "65")));
    writeLeftovers();

    gf_startParameters();

    EXPECT_EQ(fileValue(file(), "PROGRAM_VERSION"), running());
    EXPECT_EQ(fileValue(file(), "LOG"), "1");
    EXPECT_TRUE(fs::exists(work / "abcd.xml"));
    EXPECT_EQ(logText().find("This is a version update"), std::string::npos);
}

TEST_F(Migration, DowngradeStoresTheRunningVersionOnly) {
    writeOldFile("99.0.0");
    writeLeftovers();

    gf_startParameters();

    EXPECT_EQ(fileValue(file(), "PROGRAM_VERSION"), running());
    EXPECT_EQ(fileValue(file(), "LOG"), "1");
    EXPECT_TRUE(fs::exists(work / "versions.json"));
    EXPECT_EQ(logText().find("This is a version update"), std::string::npos);
}

TEST_F(Migration, UpdateRemovesObsoleteKeysFilesAndFolders) {
    writeOldFile("11.0.2");
    writeLeftovers();

    gf_startParameters();

    for (const auto& key : obsoleteKeys)
        EXPECT_FALSE(fileValue(file(), key)) << key;
    EXPECT_EQ(fileValue(file(), "RANGE"), "65");
    EXPECT_EQ(RANGE.value.load(), 65);
    EXPECT_EQ(fileValue(file(), "PROGRAM_VERSION"), running());

    // Stems count in characters: "\u00e4bc" is three of them in four bytes.
    for (auto gone :
         {"Callsign2ObjectId.txt", "versions.json", "abcd.xml", "\u00e4bcd.xml", "input/airports_msfs.xml",
          "input/airports_msfs_names.xml", "TO_BE_LEARNED_OFFLINE", "new_version"})
        EXPECT_FALSE(fs::exists(work / gone)) << gone;
    for (auto kept : {"ABCD.XML", "abc.xml", "\u00e4bc.xml", "abcde.xml", "wxyz.xml", "input/keep.xml"})
        EXPECT_TRUE(fs::exists(work / kept)) << kept;

    const auto log = logText();
    EXPECT_NE(log.find("This is a version update from 11.0.2 -> " + running() + "\n"), std::string::npos);
    for (const auto& key : obsoleteKeys)
        EXPECT_NE(log.find("Parameter '" + key + "' removed\n"), std::string::npos) << key;
}

TEST_F(Migration, FailedCleanUpLeavesTheOldVersionSoTheNextStartTriesAgain) {
    writeOldFile("11.0.2");
    // A link that points at itself: asking whether it exists fails.
    fs::create_symlink("versions.json", work / "versions.json");

    EXPECT_THROW(gf_startParameters(), fs::filesystem_error);
    EXPECT_EQ(fileValue(file(), "PROGRAM_VERSION"), "11.0.2");

    fs::remove(work / "versions.json");
    gf_resetSettingsForTests();
    gf_startParameters();
    EXPECT_EQ(fileValue(file(), "PROGRAM_VERSION"), running());
}

TEST_F(Migration, TooOldVersionGetsAFileOfDefaultsWhileThisRunKeepsItsValues) {
    writeOldFile("11.0.1");
    writeLeftovers();

    gf_startParameters();

    // The old settings stay at hand beside the new file.
    EXPECT_EQ(fileValue(user / "parameters0.xml", "RANGE"), "65");
    EXPECT_EQ(fileValue(user / "parameters0.xml", "PROGRAM_VERSION"), "11.0.1");

    EXPECT_EQ(RANGE.value.load(), 65);
    EXPECT_EQ(fileValue(file(), "RANGE"), "40");
    EXPECT_EQ(fileValue(file(), "PROGRAM_VERSION"), running());
    EXPECT_FALSE(fileValue(file(), "LOG"));
    EXPECT_TRUE(fs::exists(work / "abcd.xml")); // no clean-up for a file that is replaced
    const auto log = logText();
    EXPECT_NE(log.find("This is a version update from 11.0.1 -> " + running()), std::string::npos);
    EXPECT_NE(log.find("\nYour previous version was too old to convert the old text box parameters to the "
                       "newdropbox values.\nSkyloom re-starts with default parameter values ...\n"),
              std::string::npos);
}

// A number beyond the signed range counts as negative: older than the running version, and so also
// older than the oldest convertible one.
TEST_F(Migration, StoredVersionBeyondTheSignedRangeIsTooOld) {
    writeOldFile("3000000000.0.0");
    gf_startParameters();
    EXPECT_EQ(fileValue(user / "parameters0.xml", "PROGRAM_VERSION"), "3000000000.0.0");
    EXPECT_EQ(fileValue(file(), "RANGE"), "40");
    EXPECT_EQ(fileValue(file(), "PROGRAM_VERSION"), running());
}

TEST_F(Migration, TooOldFileThatCannotBeKeptIsNotReplaced) {
    writeOldFile("11.0.1");
    fs::create_directory(user / "parameters0.xml"); // no copy can go there
    gf_startParameters();
    EXPECT_EQ(fileValue(file(), "PROGRAM_VERSION"), "11.0.1");
    EXPECT_EQ(fileValue(file(), "RANGE"), "65");
    EXPECT_NE(logText().find("==> " + file().string() + " could not be kept as a generation"),
              std::string::npos);
}

TEST_F(Migration, FirstStartTicksBothScans) {
    SCAN_LIVERIES.value = false;
    SCAN_AIRPORTS.value = false;
    FakeControl liveries, airports;
    SCAN_LIVERIES.attach(&liveries);
    SCAN_AIRPORTS.attach(&airports);

    gf_startParameters();

    EXPECT_TRUE(SCAN_LIVERIES.value.load());
    EXPECT_TRUE(SCAN_AIRPORTS.value.load());
    EXPECT_EQ(liveries.checked, true);
    EXPECT_EQ(airports.checked, true);
    EXPECT_EQ(fileValue(file(), "SCAN_LIVERIES"), "true");
    EXPECT_EQ(fileValue(file(), "SCAN_AIRPORTS"), "true");
    EXPECT_EQ(fileValue(file(), "PROGRAM_VERSION"), running());
    EXPECT_EQ(logText().find("This is a version update"), std::string::npos);
}

TEST_F(Migration, ASecondRunInTheSameProcessLeavesTheFileAsItIs) {
    gf_startParameters();
    const auto before = readFile(file());
    gf_startParameters();
    EXPECT_EQ(readFile(file()), before);
}

} // namespace
