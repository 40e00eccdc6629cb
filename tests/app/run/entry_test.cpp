// The application run's pieces on the window thread: switches, the window position from
// parameters.xml, and the window's close and quit handlers.

#include "app/app_run.h"
#include "run_fixture.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(SwitchTest, ProductionSwitchLastOneWins) {
    struct Case {
        std::vector<std::string> args;
        bool value;
        bool given;
    };
    const Case cases[] = {
        {{}, false, false},
        {{"/PRODUCTION"}, true, true},
        {{"--Production"}, true, true},
        {{"--production", "--no-production"}, false, true},
        {{"--no-production", "/production"}, true, true},
        {{"-production", "production", "--productions"}, false, false},
    };
    for (const auto& c : cases) {
        const auto s = gf_scanProductionSwitch(c.args);
        EXPECT_EQ(s.value, c.value);
        EXPECT_EQ(s.given, c.given);
    }
}

TEST(SwitchTest, QuitAfterFromSwitchOrEnvironment) {
    unsetenv("SKYLOOM_QUIT_AFTER");
    EXPECT_EQ(gf_quitAfterSeconds({}), 0);
    EXPECT_EQ(gf_quitAfterSeconds({"--quit-after=12"}), 12);
    EXPECT_EQ(gf_quitAfterSeconds({"--quit-after=x"}), 0);
    EXPECT_EQ(gf_quitAfterSeconds({"--quit-after=-3"}), 0);
    setenv("SKYLOOM_QUIT_AFTER", "7", 1);
    EXPECT_EQ(gf_quitAfterSeconds({}), 7);
    EXPECT_EQ(gf_quitAfterSeconds({"--quit-after=2"}), 2);
    unsetenv("SKYLOOM_QUIT_AFTER");
}

TEST(SwitchTest, TimeScaleIsANumberFromOneToTen) {
    struct Case {
        const char* text;
        std::optional<double> scale;
    };
    const Case cases[] = {
        {"1", 1.0},
        {"3", 3.0},
        {"2.5", 2.5},
        {"10", 10.0},
        {"0", std::nullopt},
        {"0.5", std::nullopt},
        {"-3", std::nullopt},
        {"10.5", std::nullopt},
        {"", std::nullopt},
        {"3x", std::nullopt},
        {" 3", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
        {"fast", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_parseTimeScale(c.text), c.scale) << "'" << c.text << "'";
}

class TimeScaleTest : public RunTest {
protected:
    void TearDown() override {
        unsetenv("SKYLOOM_TIME_SCALE");
        RunTest::TearDown();
    }
};

// Without the variable the run keeps real time and says nothing; a scale is logged, and a value that is
// none is refused with a line that names it.
TEST_F(TimeScaleTest, TheEnvironmentSetsTheScaleAndNonsenseIsRefused) {
    unsetenv("SKYLOOM_TIME_SCALE");
    EXPECT_EQ(gf_timeScale(), 1.0);
    EXPECT_FALSE(logHas("Time scale"));
    setenv("SKYLOOM_TIME_SCALE", "3", 1);
    EXPECT_EQ(gf_timeScale(), 3.0);
    EXPECT_TRUE(logHas("Time scale 3: the run's clock goes 3 times as fast"));
    setenv("SKYLOOM_TIME_SCALE", "0", 1);
    EXPECT_EQ(gf_timeScale(), 1.0);
    EXPECT_TRUE(logHas("==> SKYLOOM_TIME_SCALE=0 is not a time scale (a number from 1 to 10): the run keeps "
                       "real time"));
}

class WindowPositionTest : public RunTest {
protected:
    // Sets or clears the file's immutable attribute; false where the file system or the rights do
    // not allow it.
    static bool setImmutable(const fs::path& path, bool on) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }
    fs::path file() const { return root / "user" / "parameters.xml"; }
    void writeParameters(const std::string& body) { std::ofstream(file(), std::ios::binary) << body; }
    static std::string withPosition(int x, int y) {
        return "<?xml version=\"1.0\"?>\n<root><parameters>"
               "<parameter name=\"MAIN_WINDOW_X\" value=\"" +
               std::to_string(x) + "\"/><parameter name=\"MAIN_WINDOW_Y\" value=\"" + std::to_string(y) +
               "\"/></parameters></root>\n";
    }
};

TEST_F(WindowPositionTest, StoredPositionIsClampedAndChecked) {
    writeParameters(withPosition(250, 99999));
    gf_loadWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value, 250);
    // 99999 is clamped to the maximum, which the position check turns into the default (saved).
    EXPECT_EQ(MAIN_WINDOW_Y.value, 20);
    EXPECT_TRUE(saved("MAIN_WINDOW_Y", "20"));
}

TEST_F(WindowPositionTest, MissingFileKeepsTheDefaults) {
    gf_loadWindowPosition();
    EXPECT_EQ(MAIN_WINDOW_X.value, 400);
    EXPECT_EQ(MAIN_WINDOW_Y.value, 20);
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(WindowPositionTest, BrokenFileIsKeptAsGenerationAndRemoved) {
    writeParameters("<root><parameters><parameter name=\"MAIN_WINDOW_X\" value=\"9\"");
    EXPECT_TRUE(gf_loadWindowPosition());
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_TRUE(fs::exists(root / "user" / "parameters0.xml"));
    EXPECT_EQ(MAIN_WINDOW_X.value, 400);
    EXPECT_EQ(MAIN_WINDOW_Y.value, 20);
    EXPECT_TRUE(logHas("failed to load, syntax error?\n --> saved as 0.xml,  file removed\n"))
        << "the second line of the message is a line of its own";
    EXPECT_FALSE(logHas("\\n")) << "no line break written escaped";
}

// A file that cannot be read is not a broken file; and a broken file whose copy could not be made is
// not removed either.
TEST_F(WindowPositionTest, FileIsRemovedOnlyForAParseErrorWithItsCopyMade) {
    fs::create_directories(file()); // exists, but cannot be read as a file
    gf_loadWindowPosition();
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_FALSE(fs::exists(root / "user" / "parameters0.xml"));
    fs::remove(file());

    writeParameters("<root><parameters");
    fs::create_directories(root / "user" / "parameters0.xml" / "blocked"); // the copy cannot be made
    gf_loadWindowPosition();
    EXPECT_TRUE(fs::is_regular_file(file()));
    EXPECT_TRUE(logHas("could not be saved as 0.xml, file kept"));
}

// A broken file that stays in place (here: an immutable one) must not be run on: the start is refused,
// and the log does not claim the file was removed.
TEST_F(WindowPositionTest, BrokenFileThatCannotBeRemovedRefusesTheStart) {
    writeParameters("<root><parameters");
    if (!setImmutable(file(), true)) GTEST_SKIP() << "no immutable files here";
    const bool startable = gf_loadWindowPosition();
    setImmutable(file(), false);
    EXPECT_FALSE(startable);
    EXPECT_TRUE(fs::is_regular_file(file()));
    EXPECT_TRUE(fs::exists(root / "user" / "parameters0.xml"));
    EXPECT_TRUE(logHas("saved as 0.xml, file not removed"));
    EXPECT_FALSE(logHas("file removed"));
}

TEST_F(WindowPositionTest, QuitStoresThePosition) {
    EXPECT_EQ(gf_onStoreAndQuit({123, 456}), 0);
    EXPECT_TRUE(saved("MAIN_WINDOW_X", "123"));
    EXPECT_TRUE(saved("MAIN_WINDOW_Y", "456"));
    // A position at the edge of the range (a minimised window) gets the previous value back.
    EXPECT_EQ(gf_onStoreAndQuit({-40000, 80}), 0);
    EXPECT_TRUE(saved("MAIN_WINDOW_X", "123"));
    EXPECT_TRUE(saved("MAIN_WINDOW_Y", "80"));
}

TEST_F(WindowPositionTest, CloseButtonOnlyRequestsAStop) {
    gf_onCloseButton();
    EXPECT_TRUE(runControl.close);
    EXPECT_TRUE(runControl.stop);
    EXPECT_EQ(runControl.stopReason(), StopReason::UserClosedSim);
    EXPECT_EQ(shownMessages.back(), "Close window button clicked, closing Skyloom ...");
    EXPECT_FALSE(logHas("Close window button clicked"));
    EXPECT_TRUE(ui.posted().empty());

    // A close after another reason keeps that reason.
    runControl.reset();
    gf_requestStop(StopReason::ReaderError, 15);
    gf_onCloseButton();
    EXPECT_EQ(runControl.stopReason(), StopReason::ReaderError);
    EXPECT_TRUE(runControl.close);
}

} // namespace
