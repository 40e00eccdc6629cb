// Registration codes: in-line registrations, the data file and the user's files, the report files.

#include "livery_test_support.h"

#include <gtest/gtest.h>

namespace livery_testing {
namespace {

class RegcodesTest : public LiveryTest {
protected:
    // The tables of the processing, registration part included.
    void build(std::initializer_list<LiveryData> liveries) {
        scannedLiveries.assign(liveries.begin(), liveries.end());
        gf_sortLiveries(scannedLiveries);
        lf_buildAirlineTable();
        lf_buildAirlineTypeTables();
        lf_addInlineRegcodes();
        gf_buildRegcodeTable();
        scannedLiveries.clear();
    }
    std::string titleOf(std::string_view reg) {
        const auto found = regcodeTitles.find(reg);
        return found == regcodeTitles.end() ? std::string("<none>") : std::string(found->second);
    }
    fs::path offlineReport() { return folder / "output" / "info" / "OfflineRegcodes.txt"; }
    fs::path inlineReport() { return folder / "output" / "errors" / "InlineRegcodes.txt"; }
};

TEST_F(RegcodesTest, LaterSourcesOverrideEarlierOnesRegistrationByRegistration) {
    writeAigFile({{"KLM 1", "PH-BXA,PH-BXB"},
                  {"KLM 2", "PH-BXC"},
                  {"not installed", "PH-BXD,PH-BXA"},
                  {"KLM 3", "PH-BXC"}});
    fs::create_directories(folder / "input" / "my_regcodes");
    writeFile(folder / "input" / "my_regcodes" / "mine.txt", "KLM 2;PH-BXA,PH-BXE\nuninstalled;PH-ZZZ\n");
    build({livery("KLM", "B738", "KLM 1", "PH-BXB"), livery("KLM", "B738", "KLM 2"),
           livery("KLM", "B738", "KLM 3")});

    EXPECT_EQ(titleOf("PH-BXA"), "KLM 2"); // the user's file wins
    EXPECT_EQ(titleOf("PH-BXB"), "KLM 1");
    EXPECT_EQ(titleOf("PH-BXC"), "KLM 3"); // the later entry of the data file wins
    EXPECT_EQ(titleOf("PH-BXD"), "<none>");
    EXPECT_EQ(titleOf("PH-BXE"), "KLM 2");
    EXPECT_EQ(titleOf("PH-ZZZ"), "<none>");
    // The plain data file does not stay behind.
    EXPECT_FALSE(fs::exists(folder / "input" / "AIG-regcodes.xml"));

    const std::vector<std::string> report = splitLines(readFile(offlineReport()));
    const std::string aig = (folder / "input" / "AIG-regcodes.xml").string();
    const std::vector<std::string> expected{
        "Processing file " + aig,
        "   regcode PH-BXC for 'KLM 3', instead of the same for 'KLM 2'",
        "2 new regcodes added, 1 regcode replaced",
        "Processing files in " + (folder / "input" / "my_regcodes").string(),
        "   regcode PH-BXA for 'KLM 2', instead of the same for 'KLM 1'",
        "1 new regcode added, 1 regcode replaced",
    };
    EXPECT_EQ(report, expected);
    EXPECT_TRUE(logHas(fmt::format("Offline regcode files processed, results can be found in '{}'",
                                   offlineReport().string())));
    EXPECT_FALSE(fs::exists(inlineReport()));
}

TEST_F(RegcodesTest, InlineClashesKeepTheFirstLiveryAndAreReported) {
    fs::remove_all(folder / "output" / "errors"); // created when needed
    build({livery("AAL", "A321", "American", "N100"), livery("BAW", "A320", "British", "N100"),
           livery("BAW", "A320", "British 2", "G-EUUB"), livery("BAW", "A320", "British 3", "G-EUUB")});
    EXPECT_EQ(titleOf("N100"), "American");
    EXPECT_EQ(titleOf("G-EUUB"), "British 2");
    EXPECT_EQ(splitLines(readFile(inlineReport())),
              (std::vector<std::string>{"N100 'British' => already in use by 'American'",
                                        "G-EUUB 'British 3' => already in use by 'British 2'"}));
    EXPECT_TRUE(logHas(fmt::format("2 in-line regcode clashes, see '{}'", inlineReport().string())));
}

TEST_F(RegcodesTest, SpecialEntriesAndUniqueRegistrations) {
    writeAigFile({{"KLM special", "PH-BXA", true},
                  {"KLM pair", "PH-BXB,PH-BXC", true},
                  {"KLM plain", "PH-BXD"},
                  {"do not use", ""}});
    build({livery("KLM", "B738", "KLM special"), livery("KLM", "B738", "KLM pair"),
           livery("KLM", "B738", "KLM plain")});
    EXPECT_EQ(titleOf("PH-BXA"), "KLM special");
    EXPECT_EQ(titleOf("PH-BXB"), "KLM pair");
    EXPECT_EQ(titleOf("PH-BXC"), "KLM pair");
    EXPECT_EQ(uniqueRegcodes, (std::set<std::string, std::less<>>{"PH-BXA"}));
    EXPECT_EQ(std::vector<std::string>(specialTitles.begin(), specialTitles.end()),
              (std::vector<std::string>{"KLM special", "KLM pair"}));
    EXPECT_TRUE(specialTitleSet.contains("KLM pair"));
    EXPECT_FALSE(specialTitleSet.contains("KLM plain"));
    EXPECT_TRUE(logHas("2 special liveries"));
    EXPECT_TRUE(logHas("1 unique liveries"));
    const std::vector<std::string> report = splitLines(readFile(offlineReport()));
    EXPECT_EQ(report.at(1), "4 new regcodes added, 2 regcodes defined as special");
}

TEST_F(RegcodesTest, UndecryptableDataFileLeavesOnlyTheInlineRegistrations) {
    writeFile(folder / "input" / "AIG-regcodes.enc", std::string(200, 'x'));
    fs::create_directories(folder / "input" / "my_regcodes");
    writeFile(folder / "input" / "my_regcodes" / "mine.txt", "KLM 1;PH-BXB\n");
    writeFile(offlineReport(), "from the last build\n");
    build({livery("KLM", "B738", "KLM 1", "PH-BXA"), livery("KLM", "B738", "KLM 2")});
    EXPECT_EQ(regcodeTitles.size(), 1u);
    EXPECT_EQ(titleOf("PH-BXA"), "KLM 1");
    EXPECT_TRUE(uniqueRegcodes.empty());
    EXPECT_TRUE(regcodeReport.empty());
    EXPECT_EQ(readFile(offlineReport()), "from the last build\n");
}

TEST_F(RegcodesTest, MissingDataFileAlsoSkipsTheUserFiles) {
    fs::create_directories(folder / "input" / "my_regcodes");
    writeFile(folder / "input" / "my_regcodes" / "mine.txt", "KLM 1;PH-BXB\n");
    build({livery("KLM", "B738", "KLM 1", "PH-BXA")});
    EXPECT_EQ(titleOf("PH-BXB"), "<none>");
    EXPECT_EQ(titleOf("PH-BXA"), "KLM 1");
}

TEST_F(RegcodesTest, UserFileErrorsAreShownAndWhatWasReadIsMerged) {
    std::vector<std::string> shown;
    gf_coreHooks().showMessage = [&](std::string_view text, bool) { shown.emplace_back(text); };
    writeAigFile({});
    fs::create_directories(folder / "input" / "my_regcodes");
    writeFile(folder / "input" / "my_regcodes" / "mine.txt", "KLM 1;PH-BXB\na;b;c;d\n");
    build({livery("KLM", "B738", "KLM 1")});
    EXPECT_EQ(titleOf("PH-BXB"), "KLM 1");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0],
              fmt::format("There were errors processing the regcode files in folder '{}', see Log.txt",
                          (folder / "input" / "my_regcodes").string()));
}

TEST_F(RegcodesTest, DontUseTitlesComeFromEntriesWithoutRegistrations) {
    writeAigFile({{"bad one", ""}, {"good", "PH-BXA"}, {"bad two", ""}});
    ASSERT_TRUE(
        gf_streamDecrypt(folder / "input" / "AIG-regcodes.enc", folder / "input" / "AIG-regcodes.xml"));
    gf_readAigDontUseTitles();
    fs::create_directories(folder / "input" / "my_regcodes");
    writeFile(folder / "input" / "my_regcodes" / "mine.txt", "user bad\nuser good;PH-BXC\n");
    gf_readUserDontUseTitles();
    EXPECT_EQ(dontUseTitles, (std::vector<std::string>{"bad one", "bad two", "user bad"}));
    EXPECT_TRUE(logHas("2 don't use titles read"));
    EXPECT_TRUE(logHas(
        fmt::format("1 don't use title read from files in {}", (folder / "input" / "my_regcodes").string())));
}

} // namespace
} // namespace livery_testing
