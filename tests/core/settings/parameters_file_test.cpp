#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/parameters.h"
#include "core/program_paths.h"
#include "core/settings.h"
#include "core/version.h"
#include "settings_fixture.h"

using namespace settings_test;

namespace {

const std::vector<std::string> registryOrder{"RANDOM",
                                             "AEROWINX",
                                             "LIG_AUTOMATIC",
                                             "COLLISION_USER_AIR",
                                             "COLLISION_USER_GND",
                                             "COLLISION_LIVE_PARKED_GND",
                                             "ALWAYS_ON_TOP",
                                             "SCAN_LIVERIES",
                                             "LIG_PRIORITIZE",
                                             "AIRBORNE_ONLY",
                                             "SCAN_AIRPORTS",
                                             "LIGHT_AIRCRAFT",
                                             "HELICOPTERS",
                                             "HIGH_PERF_AIRCRAFT",
                                             "NAV_LIGHTS_WHILE_PARKED",
                                             "AUTO_RANGE",
                                             "STRAIGHT_PBS_ONLY",
                                             "PARK_SOFT",
                                             "WEEK",
                                             "INITIAL_LOAD_ONLY",
                                             "GUID_CHANGES",
                                             "CUSTOM_PARKING_PERCENTAGE",
                                             "MAIN_WINDOW_X",
                                             "MAIN_WINDOW_Y",
                                             "AIRP_HEIGHT",
                                             "LAST_EPOCH_TIME:",
                                             "HOLDING_THRESHOLD_METERS",
                                             "MAX_HOLDING_MINUTES",
                                             "MAX_FIT",
                                             "MATCHING_DEPTH",
                                             "RANGE",
                                             "AR_ABOVE_HEIGHT",
                                             "MAX_PARK_SEL",
                                             "MAX_LIVE_SEL",
                                             "AIRP_RANGE",
                                             "AIRP_HEIGHT",
                                             "PROGRAM_VERSION",
                                             "MSFS_INSTALL_PATH",
                                             "PORT_NUMBER",
                                             "lfolder0",
                                             "lfolder1",
                                             "lfolder2",
                                             "lfolder3",
                                             "lfolder4",
                                             "lfolder5",
                                             "lfolder6",
                                             "lfolder7",
                                             "lfolder8",
                                             "lfolder9",
                                             "AIG_VERSION",
                                             "DBASE_VERSION",
                                             "AIRPORTS_VERSION",
                                             "LIV_SCAN_VERSION",
                                             "ADDONS_SCAN_VERSION",
                                             "MYSIMADDON24_VERSION",
                                             "MSFS_2024_INSTALL_PATH",
                                             "AI_PACKAGE_SELECTOR",
                                             "DESTINATION",
                                             "BLOCK_CALLSIGN",
                                             "SIM_CHOICE"};

std::vector<std::string> keysOf(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::string> keys;
    for (auto& [k, v] : entries)
        keys.push_back(k);
    return keys;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

class ParametersFile : public SettingsTest {};

TEST_F(ParametersFile, FirstStartWritesEveryRegisteredSettingInRegistryOrder) {
    FakeControl box;
    AUTO_RANGE.attach(&box);

    EXPECT_TRUE(gf_readParameters());

    const auto entries = fileEntries(file());
    ASSERT_EQ(registryOrder.size(), 60u);
    EXPECT_EQ(keysOf(entries), registryOrder);
    EXPECT_EQ(fileValue(file(), "PROGRAM_VERSION"), gf_programVersion.toString());
    EXPECT_EQ(fileValue(file(), "PORT_NUMBER"), "10747");
    EXPECT_EQ(fileValue(file(), "AIRP_HEIGHT"), "18000");
    EXPECT_EQ(fileValue(file(), "RANDOM"), "true");
    EXPECT_EQ(fileValue(file(), "SIM_CHOICE"), "MSFS 2020");
    EXPECT_EQ(box.checked, true);

    const auto content = readFile(file());
    EXPECT_EQ(content.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n", 0), 0u);

    const auto log = logText();
    const std::string heading = std::string(34, '*') + " parameters " + std::string(34, '*');
    EXPECT_NE(log.find("\n\n" + heading + "\n"), std::string::npos);
    EXPECT_NE(log.find(file().string() + " not found,  create new with default values:\n"),
              std::string::npos);
    EXPECT_NE(log.find("\nRANDOM=true\n"), std::string::npos);
    EXPECT_NE(log.find("\nRANGE=40\n"), std::string::npos);
    EXPECT_NE(log.find("\nPORT_NUMBER=\"10747\"\n"), std::string::npos);
    EXPECT_EQ(count(log, "\nAIRP_HEIGHT=18000\n"), 2u);
    // One line per entry, in the file's order, then the closing line.
    auto at = log.find(" not found,  create new with default values:\n");
    for (const auto& key : registryOrder) {
        at = log.find("\n" + key + "=", at);
        ASSERT_NE(at, std::string::npos) << key;
        ++at;
    }
    EXPECT_NE(log.find("\n" + std::string(80, '*') + "\n\n", at), std::string::npos);
}

TEST_F(ParametersFile, LoadReadsClampsAndFallsBackToDefaults) {
    struct Case {
        std::string entry;
        std::function<bool()> holds;
    };
    const std::vector<Case> cases{
        {entry("RANGE", "7"), [] { return RANGE.value == 7; }},
        {entry("RANGE", "500"), [] { return RANGE.value == 100; }},
        {entry("RANGE", "abc"), [] { return RANGE.value == 2; }},
        {entry("CUSTOM_PARKING_PERCENTAGE", "-5"), [] { return CUSTOM_PARKING_PERCENTAGE.value == -1; }},
        {entry("AEROWINX", "yes"), [] { return AEROWINX.value.load(); }},
        {entry("GUID_CHANGES", "no"), [] { return !GUID_CHANGES.value.load(); }},
        {entry("GUID_CHANGES", ""), [] { return !GUID_CHANGES.value.load(); }},
        {"    <parameter name=\"GUID_CHANGES\" />\n", [] { return !GUID_CHANGES.value.load(); }},
        {"    <parameter name=\"MAX_FIT\" />\n", [] { return MAX_FIT.value == 0; }},
        {"    <parameter name=\"PORT_NUMBER\" />\n", [] { return PORT_NUMBER.value().empty(); }},
        {entry("LAST_EPOCH_TIME:", "1700000000"), [] { return LAST_EPOCH_TIME.value == 1700000000; }},
        {entry("LAST_EPOCH_TIME", "1700000000"), [] { return LAST_EPOCH_TIME.value == 0; }},
        {entry("range", "65"), [] { return RANGE.value == 40; }},
        {entry("DESTINATION", "EGLL &amp; EDDF"), [] { return DESTINATION.value() == "EGLL & EDDF"; }},
        {entry("RANGE", "65") + entry("RANGE", "8"), [] { return RANGE.value == 65; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        gf_resetSettingsForTests();
        writeFile(file(), parametersFile(c.entry));
        EXPECT_FALSE(gf_readParameters());
        EXPECT_TRUE(c.holds());
    }
}

TEST_F(ParametersFile, LoadAppendsMissingKeysAndKeepsForeignEntries) {
    writeFile(file(), parametersFile(entry("FUTURE_SETTING", "1") + entry("RANGE", "65")));
    FakeControl rangeCombo, callsignEdit;
    RANGE.attach(&rangeCombo);
    BLOCK_CALLSIGN.attach(&callsignEdit);

    EXPECT_FALSE(gf_readParameters());

    auto keys = keysOf(fileEntries(file()));
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(keys[0], "FUTURE_SETTING");
    EXPECT_EQ(keys[1], "RANGE");
    // Every other registered key appended after them, AIRP_HEIGHT once.
    EXPECT_EQ(keys.size(), 2u + 58u);
    EXPECT_EQ(rangeCombo.text, "65");
    EXPECT_EQ(callsignEdit.text, "");
    EXPECT_NE(logText().find("from '" + file().string() + "'"), std::string::npos);

    // A single save keeps the foreign entry; a full save drops it.
    MAX_FIT.value = 20;
    MAX_FIT.save();
    EXPECT_EQ(fileValue(file(), "FUTURE_SETTING"), "1");
    EXPECT_EQ(fileValue(file(), "MAX_FIT"), "20");
    gf_saveParameters(false);
    EXPECT_FALSE(fileValue(file(), "FUTURE_SETTING"));
    EXPECT_EQ(keysOf(fileEntries(file())), registryOrder);
    EXPECT_EQ(fileValue(file(), "RANGE"), "65");
}

TEST_F(ParametersFile, SingleSaveUpdatesEveryEntryOfItsKeyOrAppendsOne) {
    writeFile(file(), parametersFile(entry("RANGE", "65") + entry("WEEK", "false") + entry("RANGE", "8")));
    RANGE.value = 80;
    RANGE.save();
    WEEK.value = true;
    WEEK.save();
    PORT_NUMBER.set("12000");

    const auto entries = fileEntries(file());
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"RANGE", "80"}));
    EXPECT_EQ(entries[1], (std::pair<std::string, std::string>{"WEEK", "true"}));
    EXPECT_EQ(entries[2], (std::pair<std::string, std::string>{"RANGE", "80"}));
    EXPECT_EQ(entries[3], (std::pair<std::string, std::string>{"PORT_NUMBER", "12000"}));
    EXPECT_NE(logText().find("\nPORT_NUMBER=\"12000\"\n"), std::string::npos);
}

TEST_F(ParametersFile, SingleSaveAddsTheValueAttributeToAnEntryWithoutOne) {
    writeFile(file(), parametersFile("    <parameter name=\"MAX_FIT\" />\n"));
    MAX_FIT.value = 30;
    MAX_FIT.save();
    EXPECT_EQ(fileValue(file(), "MAX_FIT"), "30");
}

TEST_F(ParametersFile, FileWithoutRootLoadsAndTheFirstSingleSaveRebuildsIt) {
    const std::string withoutRoot = "<?xml version=\"1.0\"?>\n<parameters>\n" + entry("RANGE", "65") +
                                    entry("OLD_KEY", "x") + "</parameters>\n";
    writeFile(file(), withoutRoot);
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(RANGE.value.load(), 65);

    WEEK.value = true;
    WEEK.save();

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(file().c_str()));
    EXPECT_TRUE(doc.child("root").child("parameters"));
    EXPECT_EQ(keysOf(fileEntries(file())), registryOrder);
    EXPECT_EQ(fileValue(file(), "WEEK"), "true");
    EXPECT_EQ(fileValue(file(), "RANGE"), "65");
    EXPECT_NE(
        logText().find("Placing a root level around a new parameters.xml to make it 100% xml compliance"),
        std::string::npos);
    // What the file held before it was rewritten from memory stays at hand.
    EXPECT_EQ(fileValue(user / "parameters0.xml", "OLD_KEY"), "x");
}

// Before the full load the values in memory are still the defaults: a save then (the window closed
// while the run could not start) must not cost the file its settings.
TEST_F(ParametersFile, RepairBeforeTheFullLoadKeepsTheOldFile) {
    // Entries wherever they stand: the section the load reads first, then a stray second section.
    const std::string withoutRoot = "<?xml version=\"1.0\"?>\n<parameters>\n" + entry("RANGE", "65") +
                                    entry("WEEK", "true") + entry("MAIN_WINDOW_X", "5") +
                                    entry("RANGE", "70") + "</parameters>\n<extra><parameters>\n" +
                                    entry("AIRBORNE_ONLY", "yes") + entry("WEEK", "false") +
                                    entry("DESTINATION", "LSZH") + "</parameters></extra>\n";
    writeFile(file(), withoutRoot);
    MAIN_WINDOW_X.value = 123;
    MAIN_WINDOW_X.save();
    EXPECT_EQ(readFile(user / "parameters0.xml"), withoutRoot);
    EXPECT_EQ(keysOf(fileEntries(file())), registryOrder);
    EXPECT_EQ(fileValue(file(), "MAIN_WINDOW_X"), "123");
    EXPECT_EQ(fileValue(file(), "RANGE"), "65");
    EXPECT_EQ(fileValue(file(), "WEEK"), "true");
    EXPECT_EQ(fileValue(file(), "AIRBORNE_ONLY"), "true");
    EXPECT_EQ(fileValue(file(), "DESTINATION"), "LSZH");
    EXPECT_EQ(fileValue(file(), "MAX_FIT"), std::to_string(MAX_FIT.defaultValue));
    // The listing shows what was written, not the defaults in memory.
    const std::string log = logText();
    EXPECT_NE(log.find("\nRANGE=65\n"), std::string::npos);
    EXPECT_EQ(log.find("\nRANGE=40\n"), std::string::npos);

    // The next start loads the user's values.
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(RANGE.value.load(), 65);
    EXPECT_TRUE(WEEK.value.load());
    EXPECT_TRUE(AIRBORNE_ONLY.value.load());
    EXPECT_EQ(MAIN_WINDOW_X.value.load(), 123);
    EXPECT_EQ(DESTINATION.value(), "LSZH");

    // No room for the copy: the entry goes into the file as it stands, nothing is dropped.
    const std::string small = "<?xml version=\"1.0\"?>\n<parameters>\n" + entry("RANGE", "65") +
                              entry("WEEK", "true") + "</parameters>\n";
    writeFile(file(), small);
    fs::remove(user / "parameters0.xml");
    fs::create_directory(user / "parameters0.xml");
    MAIN_WINDOW_X.save();
    EXPECT_EQ(fileEntries(file()), (std::vector<std::pair<std::string, std::string>>{
                                       {"RANGE", "65"}, {"WEEK", "true"}, {"MAIN_WINDOW_X", "123"}}));
    EXPECT_NE(logText().find("==> " + file().string() + " has no root element nor kept as a generation"),
              std::string::npos);
}

TEST_F(ParametersFile, SingleSaveIntoADamagedFileKeepsItAndSavesEverySetting) {
    const std::string damaged = parametersFile(entry("RANGE", "65")) + "<broken";
    writeFile(file(), damaged);
    RANGE.value = 65;
    AEROWINX.value = true;

    MAX_FIT.value = 12;
    MAX_FIT.save();

    EXPECT_EQ(readFile(user / "parameters0.xml"), damaged);
    EXPECT_EQ(keysOf(fileEntries(file())), registryOrder);
    EXPECT_EQ(fileValue(file(), "MAX_FIT"), "12");
    EXPECT_EQ(fileValue(file(), "RANGE"), "65");
    EXPECT_EQ(fileValue(file(), "AEROWINX"), "true");

    // What the parser read before the fault wins over the values in memory.
    writeFile(file(), parametersFile(entry("RANGE", "77") + entry("WEEK", "true")) + "<broken");
    WEEK.value = false;
    MAX_FIT.save();
    EXPECT_EQ(fileValue(file(), "RANGE"), "77");
    EXPECT_EQ(fileValue(file(), "WEEK"), "true");
    EXPECT_EQ(fileValue(file(), "MAX_FIT"), "12");
}

TEST_F(ParametersFile, SingleSaveOfASettingOutsideTheRegistriesIntoAMissingFileKeepsIt) {
    parking_percentage.value = 45;
    parking_percentage.save();
    EXPECT_EQ(fileValue(file(), "parking_percentage"), "45");
    EXPECT_EQ(fileValue(file(), "RANGE"), "40");
    EXPECT_NE(logText().find("\nparking_percentage=45\n"), std::string::npos);
}

// A single save into a missing file lists its own setting and nothing else: no other setting, no
// closing line without its heading.
TEST_F(ParametersFile, SingleSaveIntoAMissingFileListsOnlyItsSetting) {
    const std::string before = logText();
    MAIN_WINDOW_Y.value = 321;
    MAIN_WINDOW_Y.save();
    EXPECT_EQ(fileValue(file(), "MAIN_WINDOW_Y"), "321");
    EXPECT_EQ(keysOf(fileEntries(file())), registryOrder);
    EXPECT_EQ(logText().substr(before.size()), "MAIN_WINDOW_Y=321\n");
}

TEST_F(ParametersFile, FullLoadOfADamagedFileKeepsItBeforeWritingDefaults) {
    const std::string damaged = "<root><parameters>" + entry("RANGE", "65");
    writeFile(file(), damaged);
    EXPECT_TRUE(gf_readParameters());
    EXPECT_EQ(readFile(user / "parameters0.xml"), damaged);
    EXPECT_EQ(keysOf(fileEntries(file())), registryOrder);
}

TEST_F(ParametersFile, AFileThatCannotBeReadIsNeverOverwritten) {
    // A symbolic link that points at itself cannot be read even by root.
    fs::create_symlink("parameters.xml", file());
    EXPECT_FALSE(gf_readParameters());
    RANGE.value = 65;
    RANGE.save();
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(file())));
    EXPECT_FALSE(fs::exists(user / "parameters0.xml"));
    const auto log = logText();
    EXPECT_NE(log.find("==> " + file().string() + " cannot be read"), std::string::npos);
    EXPECT_NE(log.find("==> RANGE is not saved: " + file().string() + " cannot be read"), std::string::npos);
}

TEST_F(ParametersFile, AnUnreadableFileKeepsItsContent) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const std::string content = parametersFile(entry("RANGE", "65"));
    writeFile(file(), content);
    ::chmod(file().c_str(), 0);
    EXPECT_FALSE(gf_readParameters());
    RANGE.save();
    ::chmod(file().c_str(), 0644);
    EXPECT_EQ(readFile(file()), content);
}

TEST_F(ParametersFile, FailedSavesAreLoggedAsErrors) {
    gf_setUserFolder(temp / "no-such-folder");
    RANGE.save();
    gf_saveParameters(false);
    const auto path = (temp / "no-such-folder" / "parameters.xml").string();
    EXPECT_GE(count(logText(), "==> saving: " + path + " failed\n"), 2u);
}

TEST_F(ParametersFile, RemovalTakesTheFirstEntryOfTheKeyOnly) {
    writeFile(file(), parametersFile(entry("LOG", "1") + entry("RANGE", "65") + entry("LOG", "2")));
    EXPECT_TRUE(gf_removeParameter("LOG"));
    EXPECT_FALSE(gf_removeParameter("NOT_THERE"));
    const auto entries = fileEntries(file());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1], (std::pair<std::string, std::string>{"LOG", "2"}));
    EXPECT_NE(logText().find("Parameter 'LOG' removed\n"), std::string::npos);

    fs::remove(file());
    EXPECT_FALSE(gf_removeParameter(RANGE));
}

TEST_F(ParametersFile, SettingsListingIsQuietWhileStopping) {
    runControl.stop = true;
    EXPECT_TRUE(gf_readParameters());
    const auto log = logText();
    EXPECT_EQ(log.find("RANGE=40"), std::string::npos);
    EXPECT_NE(log.find(" not found,  create new with default values:"), std::string::npos);
}

TEST_F(ParametersFile, SavesFromTwoThreadsLoseNothing) {
    gf_saveParameters(false);
    constexpr int rounds = 150;
    std::thread window([] {
        for (int i = 1; i <= rounds; ++i) {
            MAIN_WINDOW_X.value = i;
            MAIN_WINDOW_X.save();
        }
    });
    std::thread worker([] {
        for (int i = 1; i <= rounds; ++i)
            DESTINATION.set("D" + std::to_string(i));
    });
    window.join();
    worker.join();
    EXPECT_EQ(fileValue(file(), "MAIN_WINDOW_X"), std::to_string(rounds));
    EXPECT_EQ(fileValue(file(), "DESTINATION"), "D" + std::to_string(rounds));
}

} // namespace
