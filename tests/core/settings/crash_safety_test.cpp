#include <csignal>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/parameters.h"
#include "core/settings.h"
#include "settings_fixture.h"

using namespace settings_test;

namespace {

class CrashSafety : public SettingsTest {};

// A process killed at any moment of a save leaves a parameters.xml that loads with every value.
TEST_F(CrashSafety, KilledWhileSavingAlwaysLeavesACompleteFile) {
    ASSERT_TRUE(gf_saveParameters(false));
    const auto expectedKeys = [&] {
        std::vector<std::string> keys;
        for (auto& [k, v] : fileEntries(file()))
            keys.push_back(k);
        return keys;
    }();
    ASSERT_EQ(expectedKeys.size(), 60u);

    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execl(SETTINGS_SAVE_LOOP, SETTINGS_SAVE_LOOP, user.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        // Let the child finish a few rounds, then kill it somewhere within the next one.
        char progress[8];
        std::size_t seen = 0;
        const std::size_t wanted = 1 + round % 5;
        while (seen < wanted) {
            const auto n = ::read(out[0], progress, wanted - seen);
            ASSERT_GT(n, 0) << "the save loop ended early";
            seen += static_cast<std::size_t>(n);
        }
        ::usleep(static_cast<useconds_t>((round * 211) % 2500));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(out[0]);
        ASSERT_TRUE(WIFSIGNALED(status));

        std::vector<std::string> keys;
        for (auto& [k, v] : fileEntries(file()))
            keys.push_back(k);
        ASSERT_EQ(keys, expectedKeys);
        const auto x = fileValue(file(), "MAIN_WINDOW_X");
        ASSERT_TRUE(x && !x->empty());
    }

    gf_resetSettingsForTests();
    EXPECT_FALSE(gf_readParameters());
    EXPECT_FALSE(fs::exists(user / "parameters0.xml"));
    EXPECT_EQ(DESTINATION.value().rfind("D", 0), 0u);
}

} // namespace
