// The folders a livery scan walks (AI packages of the Community folder, manual folders) and the scan
// entry of the start-up: its errors, the selector's combo box and the SCAN_LIVERIES box.

#include "livery_scan_support.h"

#include "core/program_paths.h"

#include <map>

namespace livery_testing {
namespace {

class LiveryScanEntryTest : public LiveryScanTest {
protected:
    void SetUp() override {
        LiveryScanTest::SetUp();
        AI_PACKAGE_SELECTOR.attach(&selectorBox);
        SCAN_LIVERIES.attach(&scanBox);
        SCAN_LIVERIES.value = true;
        auto& hooks = gf_liveryHooks();
        hooks.communityFolder = [this] { return community; };
        hooks.openManual = [this] { opened.push_back("manual"); };
        hooks.openParametersFolder = [this] { opened.push_back("parameters"); };
        hooks.repaintControls = [this] { opened.push_back("controls band"); };
        hooks.repaintCounts = [this] { opened.push_back("counts band"); };
    }
    void TearDown() override {
        AI_PACKAGE_SELECTOR.detach();
        SCAN_LIVERIES.detach();
        LiveryScanTest::TearDown();
    }

    void writeCfg(const fs::path& package, const std::string& title) {
        community_tree::writeEncoded(
            package / "SimObjects/Airplanes/M/aircraft.cfg",
            community_tree::joinLines({"[GENERAL]", "icao_type_designator = A320", "[fltsim.0]",
                                       "title = " + title, "icao_airline = SWR"}),
            community_tree::Encoding::utf8);
    }
    // The code of the UserErrorException the entry throws; 0 when it returns.
    std::string scanError() {
        try {
            gf_scanForLiveries();
        } catch (const orv::UserErrorException& e) {
            return e.what();
        }
        return {};
    }
    bool savedScanLiveries() {
        pugi::xml_document doc;
        if (!doc.load_file(parametersPath().c_str())) return true; // nothing saved: the default
        return gf_readStringParameter(doc, "SCAN_LIVERIES").value_or("true") == "true";
    }

    FakeControl selectorBox;
    FakeControl scanBox;
    std::vector<std::string> opened;
};

// ---- detection ----

TEST_F(LiveryScanEntryTest, SelectionOrdersThePackages) {
    for (const char* name : {"aig-aitraffic-oci", "fsltl-traffic-base", "justflight-aircraft-traffic-fleet",
                             "user-aitraffic", "IVAO_MTL_CVT_", "ivao_mtl"})
        fs::create_directories(community / name);
    AI_PACKAGE_SELECTOR.setValue("JF, AIG");
    std::vector<fs::path> folders;
    lf_findAiPackageFolders(community, folders);
    EXPECT_EQ(folders,
              (std::vector<fs::path>{community / "justflight-aircraft-traffic-fleet",
                                     community / "aig-aitraffic-oci", community / "user-aitraffic"}));
    EXPECT_TRUE(logHas("Automatic JF scan found folder: '" +
                       (community / "justflight-aircraft-traffic-fleet").string() + "'"));

    folders.clear();
    AI_PACKAGE_SELECTOR.setValue("MTL");
    lf_findAiPackageFolders(community, folders);
    EXPECT_EQ(folders, std::vector<fs::path>{community / "user-aitraffic"})
        << "_CVT_ and a lower-case name are ignored";

    AI_PACKAGE_SELECTOR.setValue("AIG,FSLTL");
    EXPECT_THROW(
        {
            try {
                lf_findAiPackageFolders(community, folders);
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "AI_PACKAGE_SELECTOR not set");
                throw;
            }
        },
        std::runtime_error);
}

TEST_F(LiveryScanEntryTest, EveryChoiceGivesItsScannersInOrder) {
    const std::map<std::string, AiPackageScanner> byName{{"AIG", lf_findAigFolders},
                                                         {"FSLTL", lf_findFsltlFolders},
                                                         {"JF", lf_findJfFolders},
                                                         {"MTL", lf_findMtlFolders}};
    ASSERT_EQ(AI_PACKAGE_SELECTOR.choices.size(), 64u);
    std::set<std::string> distinct;
    for (const std::string& choice : AI_PACKAGE_SELECTOR.choices) {
        std::vector<AiPackageScanner> expected;
        for (const std::string& name : gf_splitAndTrim(choice, ','))
            expected.push_back(byName.at(name));
        EXPECT_EQ(gf_aiPackageScannersOf(choice), expected) << choice;
        distinct.insert(choice);
    }
    EXPECT_EQ(distinct.size(), 64u);
}

TEST_F(LiveryScanEntryTest, ManualFolders) {
    const fs::path one = community / "one";
    const fs::path file = community / "file.txt";
    fs::create_directories(one);
    community_tree::writePlain(file, "x");
    lfolder1.setValue(one.string());
    lfolder5.setValue(file.string());
    std::vector<fs::path> folders;
    lf_findManualFolders(folders);
    EXPECT_EQ(folders, (std::vector<fs::path>{one, file})) << "gaps skipped, a file accepted";

    lfolder7.setValue((community / "missing").string());
    folders.clear();
    try {
        lf_findManualFolders(folders);
        ADD_FAILURE() << "no exception";
    } catch (const orv::UserErrorException& e) {
        EXPECT_STREQ(e.what(),
                     "243: the path pointed to by parameter 'lfolder7' does not exist, see Log.txt!");
    }
    EXPECT_TRUE(logHas("==> lfolder7: '" + (community / "missing").string() + "' does not exist"));
    EXPECT_EQ(folders.size(), 2u);
}

// ---- the entry ----

TEST_F(LiveryScanEntryTest, AutomaticErrorsEnableTheSelectorAgain) {
    LIG_AUTOMATIC.value = true;
    gf_liveryHooks().communityFolder = [] { return fs::path(); };
    EXPECT_EQ(scanError().substr(0, 4), "43: ") << "no install path";
    EXPECT_TRUE(selectorBox.enabled);

    gf_liveryHooks().communityFolder = [this] { return community; };
    EXPECT_EQ(scanError().substr(0, 4), "43: ") << "no package";
    fs::create_directories(community / "aig-aitraffic-oci/SimObjects");
    selectorBox.enabled = false;
    EXPECT_EQ(scanError(),
              "143: Automatic scan has not found any liveries, choose a different selection, or switch "
              "off automatic and set lfolder parameter(-s)");
    EXPECT_TRUE(selectorBox.enabled);
    EXPECT_TRUE(SCAN_LIVERIES.value.load());
    EXPECT_TRUE(savedScanLiveries());
}

TEST_F(LiveryScanEntryTest, ManualErrors) {
    LIG_AUTOMATIC.value = false;
    writeScannedFile({livery("SWR", "A320", "Previous")});
    community_tree::writePlain(gf_scanReportPath("Fixes.txt"), "old\n");
    EXPECT_EQ(scanError(),
              "48: Exit Skyloom first!   Then set one or more lfolder parameters to your liveries, see "
              "Manual 5.2");
    EXPECT_EQ(opened, (std::vector<std::string>{"manual", "parameters"}));
    EXPECT_TRUE(fs::exists(gf_liveriesScannedPath()));
    EXPECT_TRUE(fs::exists(gf_scanReportPath("Fixes.txt")))
        << "nothing is removed before the folders are known";
    EXPECT_FALSE(selectorBox.enabled);

    fs::create_directories(community / "empty");
    lfolder0.setValue((community / "empty").string());
    EXPECT_EQ(scanError(), "53: no liveries found");
    EXPECT_FALSE(selectorBox.enabled);
    EXPECT_TRUE(fs::exists(gf_liveriesScannedPath())) << "the previous catalogue stays";
}

TEST_F(LiveryScanEntryTest, SuccessUnticksAndSavesTheBox) {
    LIG_AUTOMATIC.value = true;
    writeCfg(community / "user-aitraffic", "Mine");
    EXPECT_EQ(scanError(), "");
    EXPECT_FALSE(SCAN_LIVERIES.value.load());
    EXPECT_FALSE(savedScanLiveries());
    EXPECT_FALSE(scanBox.checked);
    EXPECT_TRUE(selectorBox.enabled);
    EXPECT_EQ(opened, (std::vector<std::string>{"controls band", "counts band"}));
    EXPECT_TRUE(
        logHas("++++++++++++++++++++++++ liveries scan automatic starts ++++++++++++++++++++++++++++++++"));
    EXPECT_TRUE(logHas("++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++"));
    lf_readScannedLiveries(gf_liveriesScannedPath());
    EXPECT_EQ(scannedLiveries.size(), 1u);
}

// A stop cuts the scan short: the box stays ticked and the previous catalogue stays, so the next
// start-up neither fails on a missing file nor skips the scan.
TEST_F(LiveryScanEntryTest, StopKeepsTheBoxTickedAndThePreviousFile) {
    LIG_AUTOMATIC.value = true;
    writeScannedFile({livery("SWR", "A320", "Previous")});
    const std::string previous = readFile(gf_liveriesScannedPath());
    writeCfg(community / "user-aitraffic", "Mine");
    liveryTaskProbe = [](const fs::path&) { gf_requestStop(StopReason::NewSettings, 0); };
    EXPECT_EQ(scanError(), "");
    EXPECT_TRUE(SCAN_LIVERIES.value.load());
    EXPECT_TRUE(savedScanLiveries());
    EXPECT_EQ(readFile(gf_liveriesScannedPath()), previous);
    EXPECT_TRUE(selectorBox.enabled);
}

} // namespace
} // namespace livery_testing
