#include "refdata_fixture.h"

#include "refdata/made_files.h"

#include <gmock/gmock.h>

#include <fmt/format.h>

#include <set>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

class MadeFilesTest : public RefdataTest {
protected:
    void SetUp() override {
        RefdataTest::SetUp();
        airports = dir / "airports";
        fs::create_directories(airports / "my_thirdparty");
        fs::create_directories(airports / "my_simaddon");
    }
    fs::path airports;
};

TEST_F(MadeFilesTest, TellsProgramFilesFromUserFilesAndSurvivesSaveAndLoad) {
    MadeFiles made(airports);
    const fs::path ours = airports / "my_thirdparty" / "LSZH.xml";
    const fs::path changed = airports / "my_thirdparty" / "LOWW.txt";
    const fs::path users = airports / "my_thirdparty" / "LSGG.xml";
    ASSERT_TRUE(made.writeAndRecord(ours, "<apf/>\n"));
    ASSERT_TRUE(made.writeAndRecord(changed, "archive/x\n"));
    writeFile(users, "mine");
    writeFile(changed, "archive/my own\n");
    ASSERT_TRUE(made.save());

    // A relative path (from the working folder) names the same file as the absolute one.
    MadeFiles loaded(fs::path("airports"));
    ASSERT_TRUE(loaded.load());
    EXPECT_EQ(loaded.entries().size(), 2u);
    EXPECT_EQ(loaded.state(fs::path("airports/my_thirdparty/LSZH.xml")), MadeFiles::State::unchanged);
    EXPECT_EQ(loaded.state(changed), MadeFiles::State::changed);
    EXPECT_EQ(loaded.state(users), MadeFiles::State::notListed);
    EXPECT_FALSE(loaded.isUsersFile(ours));
    EXPECT_TRUE(loaded.isUsersFile(changed));
    EXPECT_TRUE(loaded.isUsersFile(users));
    EXPECT_FALSE(loaded.isUsersFile(airports / "my_thirdparty" / "NONE.xml"));
    fs::remove(ours);
    EXPECT_EQ(loaded.state(ours), MadeFiles::State::missing);
}

TEST_F(MadeFilesTest, RemovesOnlyUnchangedProgramFilesOfOneFolder) {
    MadeFiles made(airports);
    const fs::path t = airports / "my_thirdparty";
    const fs::path s = airports / "my_simaddon";
    ASSERT_TRUE(made.writeAndRecord(t / "A.xml", "a"));
    ASSERT_TRUE(made.writeAndRecord(t / "B.txt", "b"));
    ASSERT_TRUE(made.writeAndRecord(t / "GONE.txt", "g"));
    ASSERT_TRUE(made.writeAndRecord(s / "C.txt", "c"));
    fs::remove(t / "GONE.txt");
    writeFile(t / "B.txt", "edited by the user");
    writeFile(t / "U.xml", "the user's own");

    const MadeFiles::Cleared cleared = made.removeMadeFilesIn(t);
    EXPECT_THAT(cleared.removed, ElementsAre(t / "A.xml"));
    EXPECT_THAT(cleared.kept, UnorderedElementsAre(t / "B.txt", t / "U.xml"));
    EXPECT_TRUE(cleared.failed.empty());
    EXPECT_FALSE(fs::exists(t / "A.xml"));
    EXPECT_EQ(readFile(t / "B.txt"), "edited by the user");
    EXPECT_EQ(readFile(t / "U.xml"), "the user's own");
    EXPECT_TRUE(fs::exists(s / "C.txt")); // another folder is not touched
    // The removed and the vanished file are forgotten; the changed one stays listed as changed.
    EXPECT_THAT(made.entries(), UnorderedElementsAre(::testing::Key("my_simaddon/C.txt"),
                                                     ::testing::Key("my_thirdparty/B.txt")));

    EXPECT_FALSE(made.removeIfMade(t / "B.txt"));
    EXPECT_TRUE(made.removeIfMade(s / "C.txt"));
    EXPECT_FALSE(fs::exists(s / "C.txt"));
}

// Enough files for the states to be read on several threads: each in its place, as one by one.
TEST_F(MadeFilesTest, ManyFilesClearedAtOnceKeepEveryUsersFile) {
    MadeFiles made(airports);
    const fs::path t = airports / "my_thirdparty";
    std::vector<fs::path> files;
    std::set<fs::path> users;
    for (int i = 0; i < 300; ++i) {
        files.push_back(t / fmt::format("F{:03}.xml", i));
        ASSERT_TRUE(made.writeAndRecord(files.back(), fmt::format("content {}", i)));
        if (i % 7 == 0) {
            writeFile(files.back(), "edited");
            users.insert(files.back());
        }
    }
    files.push_back(t / "none.xml");
    const std::vector<MadeFiles::State> states = made.states(files);
    ASSERT_EQ(states.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(states[i], made.state(files[i])) << files[i];

    const MadeFiles::Cleared cleared = made.removeMadeFilesIn(t);
    EXPECT_EQ(cleared.removed.size(), 300u - users.size());
    EXPECT_EQ(std::set<fs::path>(cleared.kept.begin(), cleared.kept.end()), users);
    for (const fs::path& file : users)
        EXPECT_EQ(readFile(file), "edited");
}

TEST_F(MadeFilesTest, DamagedListLinesAreDroppedAndAMissingListIsEmpty) {
    MadeFiles made(airports);
    EXPECT_TRUE(made.load());
    EXPECT_TRUE(made.entries().empty());
    const std::string good(64, 'a');
    writeFile(airports / "made_files.txt", good + " my_thirdparty/A.xml\r\n" + "xyz my_thirdparty/B.xml\n" +
                                               std::string(64, 'G') + " my_thirdparty/C.xml\n" + good +
                                               "\nno-blank-line\n" + good + " \n");
    ASSERT_TRUE(made.load());
    EXPECT_THAT(made.entries(),
                ElementsAre(std::pair<const std::string, std::string>("my_thirdparty/A.xml", good)));
}

TEST_F(MadeFilesTest, HashesMatchForContentAndFile) {
    writeFile(dir / "f.bin", std::string("a\0b", 3));
    EXPECT_EQ(gf_fileHash(dir / "f.bin"), gf_contentHash(std::string_view("a\0b", 3)));
    EXPECT_NE(gf_contentHash("a"), gf_contentHash("b"));
    EXPECT_EQ(gf_contentHash("").size(), 64u);
    EXPECT_TRUE(gf_fileHash(dir / "none").empty());
}

} // namespace
