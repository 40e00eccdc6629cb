#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "core/known_folders.h"
#include "core/parameters.h"
#include "core/program_paths.h"
#include "core/version.h"
#include "platform/os/shell.h"
#include "settings_fixture.h"

using namespace settings_test;

namespace {

// Sets an environment variable for the length of a test.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class KnownFolders : public SettingsTest {};

TEST_F(KnownFolders, UserFolderLiesInTheRoamingFolder) {
    EnvVar config("XDG_CONFIG_HOME", temp.c_str());
    EXPECT_EQ(gf_resolveUserFolder(), temp / "Skyloom");
    EXPECT_EQ(userFolder(), temp / "Skyloom");
    EXPECT_EQ(parametersPath(), temp / "Skyloom" / "parameters.xml");
}

TEST_F(KnownFolders, UnknownRoamingFolderIsAnErrorAndNoRelativeFileIsWritten) {
    EnvVar config("XDG_CONFIG_HOME", nullptr);
    EnvVar home("HOME", nullptr);
    gf_setUserFolder({});

    EXPECT_FALSE(gf_knownFolderPath(KnownFolder::RoamingAppData));
    EXPECT_THROW(gf_resolveUserFolder(), orv::UserErrorException);
    EXPECT_TRUE(parametersPath().empty());
    EXPECT_TRUE(gf_getLocalAppDataPath().empty());

    // Without a per-user folder nothing lands in the working folder.
    gf_readParameters();
    RANGE.save();
    EXPECT_FALSE(fs::exists(work / "parameters.xml"));
    EXPECT_FALSE(fs::exists(fs::current_path() / "parameters.xml"));

    const auto log = logText();
    EXPECT_NE(log.find("\n==> Could not find the AppData path\n"), std::string::npos);
    EXPECT_NE(log.find("\n==> Could not find the Local AppData path\n"), std::string::npos);
}

TEST_F(KnownFolders, ShellOpenNeedsAnExistingPathWithAParent) {
    os::setShellOpenProgram("true");
    writeFile(work / "Log-copy.txt", "x");
    EXPECT_FALSE(gf_shellOpen(work / "missing.txt"));
    EXPECT_TRUE(gf_shellOpen(work / "Log-copy.txt"));
    EXPECT_TRUE(gf_shellOpen(work));

    const auto previous = fs::current_path();
    fs::current_path(work);
    EXPECT_FALSE(gf_shellOpen("Log-copy.txt")); // no folder part: no parent to show
    fs::create_directory(work / "sub");
    EXPECT_FALSE(gf_shellOpen("sub"));
    EXPECT_TRUE(gf_shellOpen("sub/")); // a trailing separator: the folder itself is shown
    fs::current_path(previous);
    os::setShellOpenProgram("");
}

} // namespace
