// The executable itself, started as a child process in temporary folders.

#include "platform/os/instance_lock.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* sub : {"work", "config", "local", "runtime"})
            fs::create_directories(root / sub);
    }
    // Runs the program in the work folder with the given environment; returns its exit code.
    int runProgram(const std::string& environment) const {
        const std::string command = "cd '" + (root / "work").string() + "' && env XDG_CONFIG_HOME='" +
                                    (root / "config").string() + "' XDG_DATA_HOME='" +
                                    (root / "local").string() + "' XDG_RUNTIME_DIR='" +
                                    (root / "runtime").string() + "' " + environment + " '" +
                                    SKYLOOM_BINARY_DIR + "/app/skyloom' >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? static_cast<signed char>(WEXITSTATUS(status)) : -1000;
    }
    static bool haveDisplay() { return std::getenv("DISPLAY") != nullptr; }

    testing_support::TempFolder tempFolder{"skyloom-process"};
    const fs::path root = tempFolder.path();
};

TEST_F(ProcessTest, SecondInstanceExitsAtOnceWithoutTouchingTheLog) {
    setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
    os::InstanceLock lock; // this process plays the running instance
    ASSERT_TRUE(lock.tryAcquire(os::instanceLockPath("Skyloom")));
    unsetenv("XDG_RUNTIME_DIR");
    fs::create_directories(root / "work" / "docs");
    std::ofstream(root / "work" / "Log.txt", std::ios::binary) << "the running instance's log\n";

    EXPECT_EQ(runProgram("SKYLOOM_QUIT_AFTER=1"), -1);
    EXPECT_EQ(readFile(root / "work" / "Log.txt"), "the running instance's log\n");
    EXPECT_FALSE(fs::exists(root / "work" / "Log0.txt"));
}

TEST_F(ProcessTest, WrongWorkingFolderShowsTheErrorAndCloseEndsWithZero) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    // A close under way silences error lines: leave the worker time to reach the folder check even on
    // a machine busy with other tests.
    EXPECT_EQ(runProgram("SKYLOOM_QUIT_AFTER=4"), 0);
    const std::string log = readFile(root / "work" / "Log.txt");
    EXPECT_NE(log.find("41: Skyloom must be run from the Skyloom folder!"), std::string::npos) << log;
    EXPECT_NE(log.find("Exiting: SYSTEM ERROR"), std::string::npos) << log;
    EXPECT_NE(log.find("User closed Skyloom"), std::string::npos) << log;
}

TEST_F(ProcessTest, WindowOpensAtItsStoredPositionAndQuitStoresIt) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    fs::create_directories(root / "work" / "docs");
    fs::create_directories(root / "config" / "Skyloom");
    const fs::path parameters = root / "config" / "Skyloom" / "parameters.xml";
    std::ofstream(parameters, std::ios::binary)
        << "<?xml version=\"1.0\"?>\n<root><parameters>"
           "<parameter name=\"MAIN_WINDOW_X\" value=\"123\"/><parameter name=\"MAIN_WINDOW_Y\" value=\"77\"/>"
           "</parameters></root>\n";
    EXPECT_EQ(runProgram("SKYLOOM_QUIT_AFTER=2"), 0);
    const std::string stored = readFile(parameters);
    EXPECT_NE(stored.find("name=\"MAIN_WINDOW_X\" value=\"123\""), std::string::npos) << stored;
    EXPECT_NE(stored.find("name=\"MAIN_WINDOW_Y\" value=\"77\""), std::string::npos) << stored;
    EXPECT_NE(readFile(root / "work" / "Log.txt").find("Exiting: "), std::string::npos);
}

TEST_F(ProcessTest, WithoutAPerUserFolderTheWindowShowsWhyAndNothingRuns) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    fs::create_directories(root / "work" / "docs");
    // A relative XDG_CONFIG_HOME is ignored, and without HOME there is no roaming folder at all.
    EXPECT_EQ(runProgram("XDG_CONFIG_HOME=relative HOME= SKYLOOM_QUIT_AFTER=1"), 0);
    const std::string log = readFile(root / "work" / "Log.txt");
    EXPECT_NE(log.find("Failed to create directory: "), std::string::npos) << log;
    // shown on the error line, and logged as well
    EXPECT_NE(log.find("Error Could not find the AppData path"), std::string::npos) << log;
    EXPECT_EQ(log.find("Exiting: "), std::string::npos) << log; // no run was started
    EXPECT_FALSE(fs::exists(root / "work" / "relative"));
    EXPECT_FALSE(fs::exists(root / "work" / "Skyloom"));
}

} // namespace
