// The files of a livery scan, byte for byte: the sample Community folder and a generated package with
// many files give the same LiveriesScanned.xml liveries and report files as the checked-in ones, with
// one task at a time and with several.

#include "livery_scan_support.h"

#include <algorithm>
#include <fstream>
#include <tuple>

namespace livery_testing {
namespace {

class LiveryScanOutputTest : public LiveryScanTest {
protected:
    // The text with the test folder's path as "{F}".
    std::string marked(std::string text) const {
        const std::string root = folder.path().string();
        for (std::size_t at; (at = text.find(root)) != std::string::npos;)
            text.replace(at, root.size(), "{F}");
        return text;
    }
    static std::string expected(const std::string& name) {
        const fs::path path = fs::path(SKYLOOM_SOURCE_DIR) / "tests/data/liveries/scan_output" / name;
        std::ifstream in(path, std::ios::binary);
        EXPECT_TRUE(in) << path;
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    // The outputs of the last scan by file name: the liveries element of LiveriesScanned.xml (the
    // header holds the date) and each report file ("" for one not written).
    std::map<std::string, std::string> outputs() {
        std::map<std::string, std::string> files{{"liveries.xml", marked(scannedXmlLiveries())}};
        for (const std::string_view name :
             {"InvalidAirlineCodes.txt", "InvalidAircraftCodes.txt", "Fixes.txt",
              "InvalidAircraftCfgFiles.txt", "IncompleFltsimSections.txt",
              "AircraftCfgWithNoFltsimSection.txt", "AirlineModelConversions.txt"})
            files[std::string(name)] = marked(report(name));
        return files;
    }
};

TEST_F(LiveryScanOutputTest, FilesAreTheCheckedInOnesWithOneTaskOrMany) {
    community_tree::writeSampleCommunity(community);
    const fs::path generated = folder / "Generated";
    community_tree::writeGeneratedCommunity(generated, 120, 4);
    std::vector<fs::path> folders;
    lf_findAiPackageFolders(community, folders);
    folders.push_back(generated / "user-aitraffic");
    for (const std::int32_t limit : {1, 3, 8}) {
        SCOPED_TRACE(limit);
        gf_setScanTaskLimit(limit);
        ASSERT_EQ(lf_scanLiveryFolders(folders), LiveryScanOutcome::complete);
        for (const auto& [name, text] : outputs())
            EXPECT_EQ(text, expected(name)) << name;
    }
}

// A folder with enough liveries to be sorted in parts that are then merged: every livery once, in the
// order of airline, type and title.
TEST_F(LiveryScanOutputTest, LargeFolderIsWrittenWholeAndInOrder) {
    const fs::path generated = folder / "Generated";
    community_tree::writeGeneratedCommunity(generated, 500, 10);
    gf_setScanTaskLimit(8);
    ASSERT_EQ(lf_scanLiveryFolders({generated / "user-aitraffic"}), LiveryScanOutcome::complete);
    using Line = std::tuple<std::string, std::string, std::string>;
    std::vector<Line> written;
    for (const std::string& line : splitLines(scannedXmlLiveries())) {
        const auto value = [&line](std::string_view name) {
            const std::size_t from = line.find(std::string(name) + "=\"");
            return from == std::string::npos
                       ? std::string()
                       : line.substr(from + name.size() + 2,
                                     line.find('"', from + name.size() + 2) - (from + name.size() + 2));
        };
        if (line.starts_with("    <liv ")) written.emplace_back(value("airl"), value("type"), value("title"));
    }
    ASSERT_EQ(written.size(), 5000u);
    std::vector<Line> expected = written;
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(std::adjacent_find(expected.begin(), expected.end()) == expected.end());
    EXPECT_EQ(written, expected);
}

} // namespace
} // namespace livery_testing
