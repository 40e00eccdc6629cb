#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/migration.h"
#include "core/parameters.h"
#include "core/settings.h"
#include "settings_fixture.h"
#include "tests/support/kill_while_saving.h"

using namespace settings_test;

namespace {

class CrashSafety : public SettingsTest {
protected:
    // Files in the per-user folder other than parameters.xml and its generation.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(user)) {
            const auto name = e.path().filename().string();
            if (name != "parameters.xml" && name != "parameters0.xml") names.push_back(name);
        }
        return names;
    }
};

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
        ASSERT_TRUE(testing_support::killSaveLoopMidway(SETTINGS_SAVE_LOOP, user.string(), round));

        std::vector<std::string> keys;
        for (auto& [k, v] : fileEntries(file()))
            keys.push_back(k);
        ASSERT_EQ(keys, expectedKeys);
        const auto x = fileValue(file(), "MAIN_WINDOW_X");
        ASSERT_TRUE(x && !x->empty());
    }

    // What a killed save left behind goes at the next start; other files stay.
    writeFile(user / ".parameters.xml.tmp4242-7", "<?xml version=\"1.0\"?>\n<root><param");
    writeFile(user / ".other.xml.tmp4242-8", "x");
    gf_resetSettingsForTests();
    EXPECT_FALSE(gf_readParameters());
    EXPECT_FALSE(fs::exists(user / "parameters0.xml"));
    EXPECT_EQ(DESTINATION.value().rfind("D", 0), 0u);
    EXPECT_EQ(leftovers(), std::vector<std::string>{".other.xml.tmp4242-8"});
}

// Runs the operation in a child process whose files cannot grow beyond `limit` bytes, as on a full disk.
void runOnAFullDisk(rlim_t limit, const std::function<void()>& operation) {
    gf_logFlush();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        try {
            operation();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(CrashSafety, AFullDiskNeverCostsTheFileItWasToReplace) {
    const std::string withRoot =
        parametersFile(entry("PROGRAM_VERSION", "11.0.2") + entry("RANGE", "65") + entry("LOG", "1"));
    const std::string withoutRoot =
        "<?xml version=\"1.0\"?>\n<parameters>\n" + entry("RANGE", "65") + "</parameters>\n";
    const std::string tooOld = parametersFile(entry("PROGRAM_VERSION", "11.0.1") + entry("RANGE", "65"));
    struct Case {
        const char* what;
        std::string content;
        rlim_t limit;
        std::function<void()> operation;
    };
    const std::vector<Case> cases{
        {"single save", withRoot, 64,
         [] {
             RANGE.value = 80;
             RANGE.save();
         }},
        {"repair", withoutRoot, 64,
         [] {
             WEEK.value = true;
             WEEK.save();
         }},
        // Room for the copy of the old file, none for the file of defaults.
        {"too old", tooOld, 1024, [] { gf_startParameters(); }},
        {"full load", withRoot, 64, [] { gf_readParameters(); }},
        {"full save", withRoot, 64, [] { gf_saveParameters(false); }},
        {"removal", withRoot, 64, [] { gf_removeParameter("LOG"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(file(), c.content);
        runOnAFullDisk(c.limit, c.operation);
        EXPECT_EQ(readFile(file()), c.content);
        EXPECT_TRUE(leftovers().empty());
    }
}

} // namespace
