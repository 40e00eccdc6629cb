#include "core/file_io.h"

#include "test_support.h"

#include <sys/stat.h>

using namespace testing_support;

namespace {

class FileIoTest : public WorkingFolderTest {};

// The write that leaves the syncing to the caller still replaces a file whole, keeps its permissions
// and leaves no temporary file; a failed one keeps the old file.
TEST_F(FileIoTest, UnsyncedWriteReplacesTheFileWhole) {
    const auto p = folder / "out.txt";
    writeFile(p, "old content that is longer than the new one\n");
    ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
    EXPECT_TRUE(gf_writeFileAtomicallyUnsynced(p, "new\n"));
    EXPECT_EQ(readFile(p), "new\n");
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);

    std::error_code ec;
    EXPECT_FALSE(gf_writeFileAtomicallyUnsynced(folder / "none" / "f.txt", "x", &ec));
    EXPECT_TRUE(ec);
    fs::create_directories(folder / "dir");
    EXPECT_FALSE(gf_writeFileAtomicallyUnsynced(folder / "dir", "x"));
    EXPECT_TRUE(fs::is_directory(folder / "dir"));
}

// Only what could not be synced is returned: a file that is gone, one in a folder that is gone.
TEST_F(FileIoTest, SyncReturnsTheFilesThatCouldNotBeSynced) {
    fs::create_directories(folder / "a");
    std::vector<fs::path> files;
    for (const auto* name : {"a/1.xml", "a/2.xml", "3.xml"}) {
        files.push_back(folder / name);
        ASSERT_TRUE(gf_writeFileAtomicallyUnsynced(files.back(), name));
    }
    EXPECT_TRUE(gf_syncFiles(files).empty());
    EXPECT_TRUE(gf_syncFiles({}).empty());

    fs::remove(files[1]);
    files.push_back(folder / "gone" / "4.xml");
    EXPECT_EQ(gf_syncFiles(files), (std::vector<fs::path>{files[1], files[3]}));
    EXPECT_EQ(readFile(files[0]), "a/1.xml");
}

} // namespace
