#include "platform/os/rights.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(InstallerRights, ProgramFoldersAreUsrAndOptByWholeComponents) {
    const struct {
        const char* folder;
        bool under;
    } cases[] = {
        {"/usr", true},
        {"/usr/lib/skyloom", true},
        {"/opt/Skyloom", true},
        {"/usr/../opt/x", true},
        {"/usrlocal/x", false},
        {"/optical", false},
        {"/home/pilot/Skyloom", false},
        {"/var/usr/x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(os::isUnderProgramFolder(c.folder), c.under) << c.folder;
}

TEST(InstallerRights, WriteTestCreatesAndRemovesItsProbe) {
    std::string pattern = (fs::temp_directory_path() / "skyloom-rights-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    const fs::path folder = pattern;
    EXPECT_TRUE(os::isFolderWritable(folder));
    EXPECT_FALSE(fs::exists(folder / ".write_test.tmp"));
    EXPECT_FALSE(os::isFolderWritable(folder / "missing"));
    // Not under a program folder: never needs administrator rights, writable or not.
    EXPECT_FALSE(os::installerNeedsAdministrator(folder));
    EXPECT_FALSE(os::installerNeedsAdministrator(folder / "missing"));
    fs::remove_all(folder);
}

TEST(InstallerRights, AProgramFolderTheUserCannotWriteNeedsAdministrator) {
    EXPECT_EQ(os::isElevated(), ::geteuid() == 0);
    // /usr/share is writable only by the administrator; an elevated process may write it anyway.
    const bool elevated = ::geteuid() == 0;
    EXPECT_EQ(os::isFolderWritable("/usr/share"), elevated);
    EXPECT_EQ(os::installerNeedsAdministrator("/usr/share"), !elevated);
}

} // namespace
