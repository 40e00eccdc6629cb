#include "platform/os/folders.h"
#include "platform/os/instance_lock.h"
#include "platform/os/shell.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using testing_support::TempFolder;

// Sets or clears environment variables for one test and puts the old values back.
class EnvGuard {
public:
    explicit EnvGuard(std::initializer_list<const char*> names) {
        for (const char* n : names) {
            const char* v = std::getenv(n);
            saved_.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~EnvGuard() {
        for (const auto& [n, v] : saved_) {
            if (v)
                ::setenv(n.c_str(), v->c_str(), 1);
            else
                ::unsetenv(n.c_str());
        }
    }
    static void set(const char* name, const char* value) {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(KnownFolders, XdgVariablesWithHomeAsFallback) {
    EnvGuard guard{"XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"};
    struct Case {
        const char* home;
        const char* config;
        const char* data;
        std::optional<fs::path> roaming, local;
    };
    const std::vector<Case> cases{
        {"/home/pilot", "/cfg", "/data", "/cfg", "/data"},
        {"/home/pilot", nullptr, nullptr, "/home/pilot/.config", "/home/pilot/.local/share"},
        {"/home/pilot", "", "", "/home/pilot/.config", "/home/pilot/.local/share"},
        {"/home/pilot", "relative/cfg", "./data", "/home/pilot/.config", "/home/pilot/.local/share"},
        {nullptr, "/cfg", nullptr, "/cfg", std::nullopt},
        {"not/absolute", nullptr, nullptr, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EnvGuard::set("HOME", c.home);
        EnvGuard::set("XDG_CONFIG_HOME", c.config);
        EnvGuard::set("XDG_DATA_HOME", c.data);
        EXPECT_EQ(os::roamingAppDataFolder(), c.roaming) << (c.config ? c.config : "(unset)");
        EXPECT_EQ(os::localAppDataFolder(), c.local) << (c.data ? c.data : "(unset)");
    }
}

TEST(WorkingFolder, OverrideAndEntering) {
    TempFolder temp;
    const auto original = fs::current_path();
    EXPECT_EQ(os::workingFolder(), original);

    os::setWorkingFolder(temp.path());
    EXPECT_EQ(os::workingFolder(), temp.path());
    EXPECT_EQ(os::inWorkingFolder("Log.txt"), temp.path() / "Log.txt");
    EXPECT_EQ(os::inWorkingFolder("/abs/file"), fs::path("/abs/file"));
    EXPECT_EQ(fs::current_path(), original); // the override does not move the process

    os::resetWorkingFolder();
    EXPECT_EQ(os::workingFolder(), original);

    fs::create_directory(temp.path() / "data");
    ASSERT_TRUE(os::enterWorkingFolder(temp.path() / "data"));
    EXPECT_EQ(fs::current_path(), fs::canonical(temp.path() / "data"));
    EXPECT_EQ(os::workingFolder(), fs::current_path());
    EXPECT_FALSE(os::enterWorkingFolder(temp.path() / "missing"));
    fs::current_path(original);
    os::resetWorkingFolder();

    EXPECT_TRUE(fs::exists(os::executableFolder() / "platform_os_tests"));
}

TEST(InstanceLock, OnlyOneHolderAtATime) {
    TempFolder temp;
    const auto lockFile = temp.path() / "sub" / "Skyloom.lock";
    os::InstanceLock first;
    ASSERT_TRUE(first.tryAcquire(lockFile)); // creates the folder and the file
    EXPECT_TRUE(first.held());

    // Another open of the same file, as a second process would make, is refused.
    os::InstanceLock second;
    EXPECT_FALSE(second.tryAcquire(lockFile));
    EXPECT_FALSE(second.held());

    // A second process is refused as well.
    const pid_t child = ::fork();
    if (child == 0) {
        os::InstanceLock inChild;
        ::_exit(inChild.tryAcquire(lockFile) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    os::InstanceLock moved = std::move(first);
    EXPECT_FALSE(first.held());
    EXPECT_TRUE(moved.held());
    moved.release();
    EXPECT_TRUE(second.tryAcquire(lockFile));

    EXPECT_FALSE(os::InstanceLock().tryAcquire("/proc/no-such-dir/x.lock"));
}

TEST(InstanceLock, ProcessLockIsHeldUntilExit) {
    TempFolder temp;
    const auto lockFile = temp.path() / "Skyloom.lock";
    ASSERT_TRUE(os::acquireProcessInstanceLock(lockFile));
    EXPECT_TRUE(os::acquireProcessInstanceLock(lockFile)); // asking again is harmless
    os::InstanceLock other;
    EXPECT_FALSE(other.tryAcquire(lockFile));
}

TEST(InstanceLock, LockPathFollowsTheRuntimeFolder) {
    EnvGuard guard{"XDG_RUNTIME_DIR", "XDG_DATA_HOME"};
    EnvGuard::set("XDG_RUNTIME_DIR", "/run/user/1000");
    EXPECT_EQ(os::instanceLockPath("Skyloom"), fs::path("/run/user/1000/Skyloom.lock"));
    EnvGuard::set("XDG_RUNTIME_DIR", nullptr);
    EnvGuard::set("XDG_DATA_HOME", "/data");
    EXPECT_EQ(os::instanceLockPath("Skyloom"), fs::path("/data/Skyloom.lock"));
}

// The target reaches the opener as one argument, however it looks; nothing is run through a shell.
TEST(Shell, OpensWithAnArgumentVector) {
    TempFolder temp;
    const auto script = temp.path() / "opener.sh";
    const auto out = temp.path() / "args.txt";
    {
        std::ofstream s(script);
        s << "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > \"" << out.string() << ".part\"\nmv \"" << out.string()
          << ".part\" \"" << out.string() << "\"\n";
    }
    fs::permissions(script, fs::perms::owner_all);
    os::setShellOpenProgram(script.string());

    const fs::path target = temp.path() / "a b; touch pwned $(touch pwned2)";
    ASSERT_TRUE(os::shellOpen(target));
    for (int i = 0; i < 1000 && !fs::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(readFile(out), "1|" + target.string() + "|");
    EXPECT_FALSE(fs::exists("pwned"));
    EXPECT_FALSE(fs::exists("pwned2"));

    // A relative target is never taken for an option.
    fs::remove(out);
    ASSERT_TRUE(os::shellOpen("--help"));
    for (int i = 0; i < 1000 && !fs::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(readFile(out), "1|./--help|");

    os::setShellOpenProgram("");
    EXPECT_FALSE(os::spawnDetached({temp.path().string() + "/no-such-program"}));
    EXPECT_FALSE(os::spawnDetached({}));
}

} // namespace

#include "platform/os/locale.h"

#include <clocale>
#include <cstdio>

namespace {

TEST(Locale, NumbersAndCharactersStayInTheCLocale) {
    // A user locale with a decimal comma, when the machine has one.
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    os::pinCLocale();
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 2.5);
    EXPECT_STREQ(text, "2.5");
    std::setlocale(LC_ALL, "C");
}

} // namespace
