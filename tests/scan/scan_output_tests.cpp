// The files of a scenery scan and of a rescan over them, byte for byte: every airport file and link and
// the scan log are the checked-in ones, with one task at a time and with several. The order of the
// entries in a folder is the file system's, so the scan log is compared block by block: its blocks
// (one per BGL file with an airport) must come in the order of the walk and each be the checked-in
// block of its file.

#include "scan_fixture.h"

#include <fmt/format.h>

#include <map>

namespace fs = std::filesystem;

namespace {

class ScanOutput : public ScanTest {
public:
    // Official: one simaddon airport. Community: archived and generated airports of known makers,
    // packages without a maker, scenery without airports beside them, skipped folders.
    void writeTree() {
        for (int i = 0; i < 40; ++i) {
            const std::string code = fmt::format("XA{:02}", i);
            airportTable.records.push_back(Airport{code, "", 47.0, 8.0, 1000.0, 0});
            airportTable.codes.insert(code);
        }
        bgl("Official/OneStore/microsoft-airport-lsgg/scenery/x.bgl", airportFile("LSGG", 4));
        bgl("Official/OneStore/fs-base/scenery/eham.bgl", airportFile("EHAM", 4));
        bgl("Community/flytampa-lszh/scenery/a/x.bgl", airportFile("LSZH", 40));
        bgl("Community/bigold-loww/scenery/loww.bgl", airportFile("LOWW", 7));
        text(dir / "sim/Community/bigold-loww/manifest.json", R"({"manufacturer": "Big Old Airports"})");
        bgl("Community/orbx-eddf/scenery/eddf.bgl", airportFile("EDDF", 2));
        text(dir / "sim/Community/orbx-eddf/manifest.json", R"({"creator": "Orbx"})");
        for (int i = 0; i < 40; ++i) {
            const std::string package = fmt::format("Community/pkg{:02}/scenery/", i);
            bgl(package + fmt::format("ap{:02}.bgl", i), airportFile(fmt::format("XA{:02}", i), 1 + i % 9));
            bgl(package + "objects.bgl",
                bglw::file({bglw::Section{9, 0, {bglw::record(1, bglw::Bytes(64, 0))}}}));
            if (i % 4 == 0)
                text(dir / "sim" / package / "../manifest.json",
                     fmt::format(R"({{"manufacturer": "Maker {}", "creator": "Team {}"}})", i, i));
        }
        bgl("Community/pkg07/SimObjects/Airplanes/x.bgl", airportFile("KMCI", 3));
    }

    // The text with the test folder as "{D}" and the date of the airport files as "{DATE}".
    std::string marked(std::string text) const {
        const std::string root = dir.string();
        for (std::size_t at; (at = text.find(root)) != std::string::npos;)
            text.replace(at, root.size(), "{D}");
        const std::string date = "<info name=\"date\" value=\"";
        for (std::size_t at = 0; (at = text.find(date, at)) != std::string::npos;) {
            at += date.size();
            text.replace(at, text.find('"', at) - at, "{DATE}");
        }
        return text;
    }
    // Every file of the two airports folders by name, with its content.
    std::string airportFiles() const {
        std::string all;
        for (const char* folder : {"airports/my_thirdparty", "airports/my_simaddon"})
            for (const std::string& name : filesIn(folder))
                all += fmt::format("=== {}/{}\n{}", folder, name, read(dir / folder / name));
        return marked(all);
    }

    // The scan log with the test folder as "{D}", cut into the lines before the first file's block
    // and, per root, the blocks of its files in order.
    struct CutLog {
        std::vector<std::pair<std::string, std::string>> blocks; // BGL path, block
        std::string rest;                                        // everything outside the blocks
    };
    CutLog cutLog() const {
        const std::string log = marked(scanLog());
        CutLog cut;
        const std::string blockStart = "\nTry to find publisher in: ";
        const std::string rootStart = "Scanning for addon  airports in ";
        std::size_t at = 0;
        while (at < log.size()) {
            const std::size_t block = log.find(blockStart, at);
            const std::size_t nextRoot = log.find(rootStart, at);
            if (block == std::string::npos || (nextRoot != std::string::npos && nextRoot < block)) {
                const std::size_t end =
                    nextRoot == std::string::npos ? log.size() : log.find('\n', nextRoot) + 1;
                cut.rest += log.substr(at, end - at);
                at = end;
                continue;
            }
            cut.rest += log.substr(at, block - at);
            const std::size_t pathStart = block + blockStart.size();
            const std::string path = log.substr(pathStart, log.find('\n', pathStart) - pathStart);
            std::size_t end = log.find(blockStart, pathStart);
            const std::size_t rootEnd = log.find(rootStart, pathStart);
            if (rootEnd != std::string::npos && (end == std::string::npos || rootEnd < end)) end = rootEnd;
            if (end == std::string::npos) end = log.size();
            cut.blocks.emplace_back(path, log.substr(block, end - block));
            at = end;
        }
        return cut;
    }

    // The BGL files with an airport in the order of the walk, as the blocks name them.
    std::vector<std::string> walkOrder() const {
        std::vector<std::string> paths;
        for (const char* root : {"Official", "Community"})
            gf_walkFolderTree(dir / "sim" / root, [&](const fs::directory_entry& entry) {
                if (gf_isSkippedScanPath(entry.path())) return WalkStep::skipFolder;
                if (entry.path().extension() == ".bgl" && gf_hasAirportSection(entry.path()))
                    paths.push_back("{D}" + entry.path().string().substr(dir.string().size()));
                return WalkStep::next;
            });
        return paths;
    }

    static std::string expected(const std::string& name) {
        return read(fs::path(SKYLOOM_SOURCE_DIR) / "tests/data/scan/scan_output" / name);
    }
    // The checked-in blocks, each behind a line "### <BGL path>" and followed by an empty line.
    static std::map<std::string, std::string> expectedBlocks() {
        const std::string text = expected("blocks.txt");
        std::map<std::string, std::string> blocks;
        std::size_t at = 0;
        while ((at = text.find("### ", at)) != std::string::npos) {
            const std::size_t lineEnd = text.find('\n', at);
            const std::size_t next = text.find("\n### ", lineEnd);
            // Each block is followed by one line end of its own.
            const std::size_t end = (next == std::string::npos ? text.size() : next + 1) - 1;
            blocks[text.substr(at + 4, lineEnd - at - 4)] = text.substr(lineEnd + 1, end - lineEnd - 1);
            at = lineEnd;
        }
        return blocks;
    }

    void expectCheckedInOutput(const std::string& scan) {
        SCOPED_TRACE(scan);
        EXPECT_EQ(airportFiles(), expected("airport_files.txt"));
        const CutLog cut = cutLog();
        EXPECT_EQ(cut.rest, expected("scan_log_rest.txt"));
        std::vector<std::string> order;
        for (const auto& [path, block] : cut.blocks)
            order.push_back(path);
        EXPECT_EQ(order, walkOrder());
        const std::map<std::string, std::string> blocks = expectedBlocks();
        EXPECT_EQ(blocks.size(), cut.blocks.size());
        for (const auto& [path, block] : cut.blocks) {
            const auto found = blocks.find(path);
            ASSERT_NE(found, blocks.end()) << path;
            EXPECT_EQ(block, found->second) << path;
        }
    }
};

TEST_F(ScanOutput, ScanAndRescanWriteTheCheckedInFilesWithOneTaskOrMany) {
    writeTree();
    for (const std::int32_t limit : {1, 3, 8}) {
        gf_setScanTaskLimit(limit);
        SCAN_AIRPORTS.value = true;
        gf_scanForAddonAirports();
        expectCheckedInOutput(fmt::format("limit {}", limit));
        EXPECT_FALSE(SCAN_AIRPORTS.value);
    }
}

} // namespace

namespace {

// The listing on several threads gives the entries in the order of the ordered walk, with the same
// links followed, folders entered once and folders skipped, however many threads list.
TEST_F(ScanOutput, TheListingKeepsTheOrderOfTheWalk) {
    const fs::path root = dir / "sim" / "Community";
    for (int p = 0; p < 12; ++p)
        for (int f = 0; f < 6; ++f)
            text(root / fmt::format("p{}/s{}/d{}", p, f % 3, f) / fmt::format("f{}.bgl", f), "x");
    text(root / "skip-me/inner/f.bgl", "x");
    text(dir / "elsewhere/linked/f.bgl", "x");
    fs::create_directory_symlink(dir / "elsewhere/linked", root / "p3/link");
    fs::create_directory_symlink(dir / "elsewhere/linked", root / "p7/s1/again");
    fs::create_directory_symlink(root, root / "p5/s2/loop");
    fs::create_directory_symlink(root / "p9", root / "p1/to-p9");
    fs::create_directory_symlink(dir / "nowhere", root / "p2/dangling");
    const auto skip = [](const fs::path& path) { return path.native().find("skip-me") != std::string::npos; };

    std::vector<fs::path> walked;
    gf_walkFolderTree(root, [&](const fs::directory_entry& entry) {
        if (skip(entry.path())) return WalkStep::skipFolder;
        if (entry.path().extension() == ".bgl") walked.push_back(entry.path());
        return WalkStep::next;
    });
    ASSERT_EQ(walked.size(), 12u * 6u + 1u);
    for (const std::size_t threads : {1u, 3u, 8u}) {
        std::vector<fs::path> listed;
        gf_listFolderTree(
            root, threads,
            [&](const fs::directory_entry& entry) {
                ListStep step;
                step.descend = !skip(entry.path());
                step.take = step.descend && entry.path().extension() == ".bgl";
                return step;
            },
            [&](const fs::path& path) {
                listed.push_back(path);
                return true;
            });
        EXPECT_EQ(listed, walked) << threads << " threads";
    }
}

} // namespace
