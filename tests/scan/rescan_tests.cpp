// A scan over the folders of an earlier one: the last scan's files stay until the new ones are written
// over them, a file that would get the same content is left as it is, and at the end only the
// program-made files that the scan did not write again are removed.

#include "scan_fixture.h"

#include "scan/scan_folders.h"
#include "scan/scan_writer.h"

#include <map>
#include <sys/stat.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace fs = std::filesystem;

namespace {

class Rescan : public ScanTest {
public:
    // Every file of the two airports folders with its content.
    std::map<std::string, std::string> folders() const {
        std::map<std::string, std::string> files;
        for (const char* folder : {"airports/my_thirdparty", "airports/my_simaddon"})
            for (const std::string& name : filesIn(folder))
                files[std::string(folder) + "/" + name] = read(dir / folder / name);
        return files;
    }
    static ino_t inode(const fs::path& file) {
        struct stat st {};
        return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
    }
    // Every listed file is on disk as listed, and every file of the folders that is not the user's is
    // listed.
    void expectListMatchesDisk(const std::vector<std::string>& usersFiles) {
        MadeFiles onDisk(dir / "airports");
        ASSERT_TRUE(onDisk.load());
        for (const auto& [path, hash] : onDisk.entries())
            EXPECT_EQ(gf_fileHash(dir / "airports" / path), hash) << path;
        for (const auto& [path, content] : folders()) {
            const std::string relative = fs::path(path).lexically_relative("airports").generic_string();
            const bool users = std::find(usersFiles.begin(), usersFiles.end(), relative) != usersFiles.end();
            EXPECT_EQ(onDisk.entries().contains(relative), !users) << relative;
        }
    }
};

// A rescan of a changed tree leaves the folders as a scan into empty folders would, without writing
// the files that stay the same; the user's files stay through it.
TEST_F(Rescan, LeavesWhatAFreshScanLeavesAndRewritesOnlyWhatChanged) {
    text("airports/my_thirdparty/NOTE.txt", "my notes\n");
    bgl("Community/flytampa-lszh/scenery/a/x.bgl", airportFile("LSZH", 41));
    bgl("Official/OneStore/microsoft-airport-lsgg/scenery/x.bgl", airportFile("LSGG", 4));
    bgl("Community/unknown/scenery/eddf.bgl", airportFile("EDDF", 2));
    bgl("Community/unknown/scenery/loww.bgl", airportFile("LOWW", 3));
    gf_scanForAddonAirports();
    ASSERT_THAT(filesIn("airports/my_thirdparty"),
                ElementsAre("EDDF.xml", "LOWW.xml", "LSZH.txt", "NOTE.txt"));
    const ino_t eddf = inode(dir / "airports/my_thirdparty/EDDF.xml");
    const ino_t lsgg = inode(dir / "airports/my_simaddon/LSGG.txt");

    // LOWW goes, KMCI comes, EDDF has another stand.
    fs::remove(dir / "sim/Community/unknown/scenery/loww.bgl");
    bgl("Community/unknown/scenery/eddf.bgl", airportFile("EDDF", 3));
    bgl("Community/unknown/scenery/kmci.bgl", airportFile("KMCI", 2));
    SCAN_AIRPORTS.value = true;
    gf_scanForAddonAirports();
    const auto rescanned = folders();
    EXPECT_THAT(filesIn("airports/my_thirdparty"),
                ElementsAre("EDDF.xml", "KMCI.xml", "LSZH.txt", "NOTE.txt"));
    EXPECT_THAT(read(dir / "airports/my_thirdparty/EDDF.xml"), HasSubstr("num_parkpos\" value=\"3\""));
    EXPECT_EQ(inode(dir / "airports/my_simaddon/LSGG.txt"), lsgg); // the same content: not written
    EXPECT_FALSE(SCAN_AIRPORTS.value);
    expectListMatchesDisk({"my_thirdparty/NOTE.txt"});

    // Unchanged tree: nothing is written again.
    const ino_t eddfNow = inode(dir / "airports/my_thirdparty/EDDF.xml");
    EXPECT_NE(eddfNow, eddf);
    gf_scanForAddonAirports();
    EXPECT_EQ(inode(dir / "airports/my_thirdparty/EDDF.xml"), eddfNow);
    EXPECT_EQ(folders(), rescanned);

    // The same tree into folders without the program's files gives the same folders.
    for (const auto& [path, content] : rescanned)
        if (!path.ends_with("NOTE.txt")) fs::remove(dir / path);
    fs::remove(dir / "airports/made_files.txt");
    gf_forgetScanMadeFiles();
    gf_scanForAddonAirports();
    EXPECT_EQ(folders(), rescanned);
}

// The writer replaces a file only when this scan wrote it or the list named it unchanged at the start:
// a file the user changed or put there while the scan ran stays as it is.
TEST_F(Rescan, TheWriterReplacesNoFileOfTheUsers) {
    const fs::path folder = dir / "airports/my_thirdparty";
    fs::create_directories(folder);
    {
        MadeFiles last(dir / "airports");
        ASSERT_TRUE(last.writeAndRecord(folder / "LSZH.txt", "archive/old\n"));
        ASSERT_TRUE(last.writeAndRecord(folder / "LOWW.txt", "archive/old\n"));
        ASSERT_TRUE(last.writeAndRecord(folder / "EDDF.txt", "archive/same\n"));
        ASSERT_TRUE(last.save());
    }
    MadeFiles& made = gf_loadScanMadeFiles();
    gf_clearScanWriteNotes();
    gf_takeStockOfScanFolders({folder});
    // While the scan runs: the user edits LSZH.txt and puts KMCI.txt there.
    text(folder / "LSZH.txt", "mine\n");
    text(folder / "KMCI.txt", "mine too\n");

    struct Case {
        std::string name, content;
        bool written;
        std::string after;
    };
    const std::vector<Case> cases{
        {"LSZH.txt", "archive/new\n", false, "mine\n"},
        {"KMCI.txt", "archive/new\n", false, "mine too\n"},
        {"LOWW.txt", "archive/new\n", true, "archive/new\n"},   // the last scan's, unchanged
        {"EDDF.txt", "archive/same\n", true, "archive/same\n"}, // the same content
        {"EHAM.txt", "archive/new\n", true, "archive/new\n"},   // not there before
    };
    gf_startScanWriters(2);
    for (const Case& c : cases)
        EXPECT_EQ(gf_writeScanFile(folder / c.name, c.content), c.written) << c.name;
    // A second write of one scan replaces its first, also while the first waits to replace a listed file.
    EXPECT_TRUE(gf_writeScanFile(folder / "EHAM.txt", "archive/newer\n"));
    EXPECT_TRUE(gf_writeScanFile(folder / "LOWW.txt", "archive/newer\n"));
    gf_finishScanWrites();
    for (const Case& c : cases) {
        const bool twice = c.name == "EHAM.txt" || c.name == "LOWW.txt";
        EXPECT_EQ(read(folder / c.name), twice ? "archive/newer\n" : c.after) << c.name;
    }
    EXPECT_THAT(filesIn("airports/my_thirdparty"),
                ::testing::Each(::testing::Not(::testing::StartsWith("."))));
    EXPECT_THAT(gf_scanLogCopy(), ::testing::Contains(HasSubstr("LSZH.txt is your own file: not replaced")));
    EXPECT_THAT(gf_scanLogCopy(), ::testing::Contains(HasSubstr("KMCI.txt is your own file: not replaced")));

    // The end of the scan removes nothing of the user's, and the list names its files as they are.
    const FoldersSwept swept = gf_sweepScanFolders();
    EXPECT_TRUE(swept.removed.empty());
    EXPECT_THAT(filesIn("airports/my_thirdparty"),
                ElementsAre("EDDF.txt", "EHAM.txt", "KMCI.txt", "LOWW.txt", "LSZH.txt"));
    EXPECT_EQ(made.state(folder / "LSZH.txt"), MadeFiles::State::changed);
    EXPECT_EQ(made.state(folder / "KMCI.txt"), MadeFiles::State::notListed);
    for (const char* name : {"EDDF.txt", "EHAM.txt", "LOWW.txt"})
        EXPECT_EQ(made.state(folder / name), MadeFiles::State::unchanged) << name;
}

// A stop leaves the box ticked; the folders then hold what the scan wrote before it stopped, as after a
// scan into empty folders, and the list names them as they are.
TEST_F(Rescan, AStoppedRescanKeepsTheBoxTickedAndTheListTrue) {
    bgl("Community/unknown/scenery/a.bgl", airportFile("LSZH", 2));
    bgl("Community/unknown/scenery/b.bgl", airportFile("LOWW", 2));
    bgl("Community/unknown/scenery/c.bgl", airportFile("EDDF", 2));
    gf_scanForAddonAirports();
    ASSERT_EQ(filesIn("airports/my_thirdparty").size(), 3u);

    gf_setScanTaskLimit(1);
    gf_scanHooks().decodeFile = [](const fs::path& path) {
        runControl.stop = true;
        return gf_decodeBglFile(path);
    };
    SCAN_AIRPORTS.value = true;
    gf_scanForAddonAirports();
    EXPECT_TRUE(SCAN_AIRPORTS.value);
    EXPECT_EQ(filesIn("airports/my_thirdparty").size(), 1u);
    expectListMatchesDisk({});
}

// The folders' manifests are looked up once per scan: one that came after a scan is found by the next.
TEST_F(Rescan, AManifestAddedBetweenScansIsFound) {
    bgl("Community/loww-pkg/scenery/a/x.bgl", airportFile("LOWW", 3));
    gf_scanForAddonAirports();
    EXPECT_THAT(filesIn("airports/my_thirdparty"), ElementsAre("LOWW.xml"));
    text(dir / "sim/Community/loww-pkg/manifest.json", R"({"manufacturer": "Big Old Airports"})");
    gf_scanForAddonAirports();
    EXPECT_THAT(filesIn("airports/my_thirdparty"), ElementsAre("LOWW.txt"));
}

} // namespace
