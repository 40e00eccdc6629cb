#include "core/generations.h"

#include "test_support.h"

#include <algorithm>

using namespace testing_support;

namespace {

class GenerationsTest : public WorkingFolderTest {
protected:
    std::vector<std::string> names(const fs::path& dir) {
        std::vector<std::string> result;
        for (const auto& e : fs::directory_iterator(dir))
            result.push_back(e.path().filename().string());
        std::sort(result.begin(), result.end());
        return result;
    }
};

using Names = std::vector<std::string>;

TEST_F(GenerationsTest, GenerationNames) {
    EXPECT_EQ(gf_generationName("Log.txt", 1), fs::path("Log0.txt"));
    EXPECT_EQ(gf_generationName("Log.txt", 3), fs::path("Log000.txt"));
    EXPECT_EQ(gf_generationName("dir/a.b.xml", 1), fs::path("dir/a.b0.xml"));
    EXPECT_EQ(gf_generationName("in.put/file", 1), fs::path());
}

TEST_F(GenerationsTest, SaveOneGeneration) {
    openLog();
    EXPECT_TRUE(gf_save1GenerationOf(folder / "missing.xml"));
    EXPECT_EQ(names(folder.path()), (Names{"Log.txt"}));

    writeFile(folder / "parameters.xml", "new");
    writeFile(folder / "parameters0.xml", "old");
    EXPECT_TRUE(gf_save1GenerationOf(folder / "parameters.xml"));
    EXPECT_EQ(readFile(folder / "parameters0.xml"), "new");

    fs::create_directory(folder / "in.put");
    const auto noDot = folder / "in.put" / "file";
    writeFile(noDot, "x");
    EXPECT_FALSE(gf_save1GenerationOf(noDot));
    EXPECT_FALSE(gf_saveUpto3GenerationsOf(noDot));
    const auto log = logText();
    EXPECT_NE(log.find(fmt::format("==> gf_save1GenerationOf: no dot in filename: {}\n", noDot.string())),
              std::string::npos);
    EXPECT_NE(
        log.find(fmt::format("==> gf_saveUpto3GenerationsOf: no dot in filename: {}\n", noDot.string())),
        std::string::npos);

    // A path below a plain file does not exist either: nothing to keep, nothing logged.
    writeFile(folder / "plain.txt", "x");
    EXPECT_TRUE(gf_save1GenerationOf(folder / "plain.txt" / "x.xml"));
    EXPECT_EQ(logText().find("exists("), std::string::npos);
}

TEST_F(GenerationsTest, ThreeGenerationsShiftDown) {
    const auto log = folder / "Log.txt";
    writeFile(log, "current");
    EXPECT_TRUE(gf_saveUpto3GenerationsOf(log));
    EXPECT_EQ(names(folder.path()), (Names{"Log.txt", "Log0.txt"}));
    EXPECT_EQ(readFile(folder / "Log0.txt"), "current");

    writeFile(folder / "Log0.txt", "first");
    writeFile(folder / "Log00.txt", "second");
    writeFile(folder / "Log000.txt", "third");
    EXPECT_TRUE(gf_saveUpto3GenerationsOf(log));
    EXPECT_EQ(readFile(log), "current");
    EXPECT_EQ(readFile(folder / "Log0.txt"), "current");
    EXPECT_EQ(readFile(folder / "Log00.txt"), "first");
    EXPECT_EQ(readFile(folder / "Log000.txt"), "second");
    EXPECT_EQ(names(folder.path()).size(), 4u);
}

TEST_F(GenerationsTest, AFailedStepIsLoggedAndTheOthersStillRun) {
    openLog();
    const auto file = folder / "data.xml";
    writeFile(file, "current");
    writeFile(folder / "data0.xml", "first");
    fs::create_directory(folder / "data000.xml"); // the third generation cannot be written
    writeFile(folder / "data00.xml", "second");
    EXPECT_FALSE(gf_saveUpto3GenerationsOf(file));
    EXPECT_EQ(readFile(folder / "data00.xml"), "first");
    EXPECT_EQ(readFile(folder / "data0.xml"), "current");
    EXPECT_NE(logText().find(fmt::format("==> copy {} -> {} failed: ", (folder / "data00.xml").string(),
                                         (folder / "data000.xml").string())),
              std::string::npos);
}

TEST_F(GenerationsTest, RemovingFiles) {
    const auto dir = folder / "tblo";
    fs::create_directory(dir);
    for (const char* name : {"a.xml", "B.XmL", "c.txt", "dxml"})
        writeFile(dir / name, "x");
    fs::create_directory(dir / "empty");
    gf_removeXMLFilesFromDirectory(dir);
    EXPECT_EQ(names(dir), (Names{"c.txt", "dxml", "empty"}));

    writeFile(dir / "again.XML", "x");
    gf_removeXMLFilesFromDirectory(); // tblo of the working folder
    EXPECT_EQ(names(dir), (Names{"c.txt", "dxml", "empty"}));

    gf_removeFilesFromDirectory(dir);
    EXPECT_TRUE(fs::is_empty(dir));
    // Missing folders and files in place of folders are left alone.
    gf_removeFilesFromDirectory(folder / "missing");
    writeFile(folder / "plain", "x");
    gf_removeXMLFilesFromDirectory(folder / "plain");
    EXPECT_TRUE(fs::exists(folder / "plain"));
}

TEST_F(GenerationsTest, RemovingStopsAtANonEmptySubFolder) {
    openLog();
    const auto dir = folder / "output";
    fs::create_directories(dir / "full");
    writeFile(dir / "full" / "inner.txt", "x");
    gf_removeFilesFromDirectory(dir);
    EXPECT_TRUE(fs::exists(dir / "full" / "inner.txt"));
    EXPECT_NE(logText().find("==> gf_removeFilesFromDirectory exception: "), std::string::npos);
}

TEST_F(GenerationsTest, CountingAndListing) {
    EXPECT_EQ(gf_countDirectoryEntries(folder / "missing"), 0u);
    EXPECT_TRUE(gf_listMyThirdpartyXmlFiles().empty());

    const auto dir = folder / "airports" / "my_thirdparty";
    fs::create_directories(dir);
    for (const char* name : {"KJFK.xml", "egkk.XML", "EGLL.txt", "EDDFX.xml", "LOWW", "ÖBCD.xml", "ÖBC.xml"})
        writeFile(dir / name, "x");
    fs::create_directory(dir / "EDDM.xml");
    EXPECT_EQ(gf_countDirectoryEntries(dir), 8u);

    auto stems = gf_listMyThirdpartyXmlFiles();
    std::sort(stems.begin(), stems.end());
    EXPECT_EQ(stems, (Names{"KJFK", "egkk", "ÖBCD"})); // four characters, not four bytes

    writeFile(folder / "file", "x");
    EXPECT_THROW(gf_countDirectoryEntries(folder / "file"), fs::filesystem_error);
}

} // namespace
