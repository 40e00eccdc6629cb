#include "core/log.h"

#include "test_support.h"

#include <algorithm>
#include <csignal>
#include <thread>

#include <sys/resource.h>

#include <fmt/format.h>

using namespace testing_support;

namespace {

constexpr std::int64_t wednesdayMorning = 1796813799; // Wed Dec 09 10:56:39 2026 UTC
constexpr std::string_view header =
    "Wed Dec 09 10:56:39 2026 (utc) Skyloom version 11.10.5 for MSFS 2020/2024";

class LogTest : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        gf_coreHooks().clock = [] { return wednesdayMorning; };
    }
};

TEST_F(LogTest, WritersBeforeOpeningAreSilentAndTheHeaderIsTheFirstLine) {
    gf_log("too early");
    gf_logError("too early");
    gf_logFlush();
    EXPECT_FALSE(gf_logIsOpen());
    EXPECT_FALSE(fs::exists(folder / "Log.txt"));

    openLog();
    EXPECT_EQ(logText(), fmt::format("{}\n", header));
}

// Lines logged under a capture are kept, not written, on the capturing thread only; written later they
// come out as their writers would have written them, in their order. An inner capture keeps its own.
TEST_F(LogTest, ACaptureKeepsItsThreadsLinesForLater) {
    openLog();
    std::vector<LogLine> kept, inner;
    {
        LogCapture capture;
        gf_log("plain");
        {
            LogCapture nested;
            gf_logError("inner");
            inner = nested.take();
        }
        gf_logContinuation("under it");
        std::thread([] { gf_log("other thread"); }).join();
        gf_logAndFlush("phase done");
        gf_logFlush();
        kept = capture.take();
        EXPECT_TRUE(capture.take().empty());
    }
    gf_logFlush();
    EXPECT_EQ(inner, (std::vector<LogLine>{{LogLine::Kind::error, "inner"}}));
    EXPECT_EQ(logText(), fmt::format("{}\nother thread\n", header));
    gf_writeLogLines(kept);
    gf_log("after");
    gf_logFlush();
    EXPECT_EQ(logText(),
              fmt::format("{}\nother thread\nplain\n          under it\nphase done\nafter\n", header));
}

TEST_F(LogTest, EachWriterWritesItsPrefixAndOneLineEnd) {
    openLog();
    gf_log("");
    gf_logError("");
    gf_logContinuation("");
    gf_log("plain");
    gf_logError("bad thing");
    gf_logContinuation("under it");
    gf_logAndFlush("phase done");
    gf_log("two\nlines");
    gf_logFlush();

    // Flushing writers put their line on disk without a further flush. A line break inside a line is
    // shown, not written (see the next test).
    const std::string expected =
        fmt::format("{}\n\n==> \n          \nplain\n==> bad thing\n          under it\n"
                    "phase done\ntwo\\nlines\n",
                    header);
    EXPECT_EQ(readFile(folder / "Log.txt"), expected);
}

// Outside text inside the program's lines cannot forge lines: every control byte is written escaped, for
// every writer. The program's own blank lines (breaks at the start or the end of a text) stay.
TEST_F(LogTest, OutsideTextCannotBreakOrForgeALine) {
    openLog();
    const std::string longHeader = "[fltsim." + std::string(70000, '0') + "]\n==> Exiting";
    const struct {
        const char* what;
        std::string text;
        std::string written; // the lines it becomes
    } cases[] = {
        {"callsign", fmt::format("          {} respawns", "X\n==> Ex"), "          X\\n==> Ex respawns\n"},
        {"registration", fmt::format("{} {}", "SWR1", "HB\n==>Exit"), "SWR1 HB\\n==>Exit\n"},
        {"stand id of a learned file", fmt::format("{:8}: {:8} parked", "\n==> Exit", "SWR1"),
         "\\n==> Exit: SWR1     parked\n"},
        {"stand id under a blank line", fmt::format("{:8}: {:8} parked", "\n          X", "SWR1"),
         "\\n          X: SWR1     parked\n"},
        {"publisher of an airport file", fmt::format("LSZH.xml by {}", "Acme\r\n==> Error 7"),
         "LSZH.xml by Acme\\x0D\\n==> Error 7\n"},
        {"aircraft.cfg header of any length", fmt::format("bad header {} in aircraft.cfg", longHeader),
         "bad header [fltsim." + std::string(70000, '0') + "]\\n==> Exiting in aircraft.cfg\n"},
        {"refused zip entry", fmt::format("refused entry {}", "../x\n          forged.txt"),
         "refused entry ../x\\n          forged.txt\n"},
        {"Community folder", fmt::format("{}: no layout.json", "My\x1b[2K\t\x7f\n==> Exit"),
         "My\\x1B[2K\\x09\\x7F\\n==> Exit: no layout.json\n"},
        {"UTF-8 and the dash byte pass", "Z\xc3\xbcrich \x97 static", "Z\xc3\xbcrich \x97 static\n"},
        {"the program's blank lines", "\nThe park airport is LSZH\n", "\nThe park airport is LSZH\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = logText().size();
        gf_log(c.text);
        gf_logFlush();
        EXPECT_EQ(logText().substr(before), c.written);
    }
    const std::size_t before = logText().size();
    gf_logError("bad datagram X\n==> Ex");
    gf_logContinuation("under it\r\n==> Ex");
    gf_logAndFlush(std::string("done") + '\0' + "\n==> Ex");
    EXPECT_EQ(logText().substr(before),
              "==> bad datagram X\\n==> Ex\n          under it\\x0D\\n==> Ex\ndone\\x00\\n==> Ex\n");
}

TEST_F(LogTest, FlushingWritersReachTheDiskAtOnce) {
    openLog();
    gf_logError("error line");
    EXPECT_EQ(readFile(folder / "Log.txt"), fmt::format("{}\n==> error line\n", header));
    gf_logAndFlush("end of phase");
    EXPECT_TRUE(readFile(folder / "Log.txt").ends_with("end of phase\n"));
}

TEST_F(LogTest, OpeningKeepsThreeGenerations) {
    writeFile(folder / "Log.txt", "run 3\n");
    writeFile(folder / "Log0.txt", "run 2\n");
    writeFile(folder / "Log00.txt", "run 1\n");

    openLog();
    EXPECT_EQ(readFile(folder / "Log000.txt"), "run 1\n");
    EXPECT_EQ(readFile(folder / "Log00.txt"), "run 2\n");
    EXPECT_EQ(readFile(folder / "Log0.txt"), "run 3\n");
    EXPECT_EQ(logText(), fmt::format("{}\n", header));
}

TEST_F(LogTest, QuietWhileStoppingButOtherWritersStillWrite) {
    openLog();
    gf_logUnlessStopping("running");
    runControl.stop = true;
    gf_logUnlessStopping("hidden by stop");
    runControl.stop = false;
    runControl.close = true;
    gf_logUnlessStopping("hidden by close");
    gf_log("closing down");
    gf_logError("closing error");
    gf_logContinuation("detail");

    EXPECT_EQ(logText(),
              fmt::format("{}\nrunning\nclosing down\n==> closing error\n          detail\n", header));
}

TEST_F(LogTest, AFileThatCannotBeOpenedThrowsAndTheWritersStaySilent) {
    fs::create_directory(folder / "Log.txt"); // a folder where the file should be
    try {
        gf_openLogFile();
        FAIL() << "expected an exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to write file Log.txt");
    }
    EXPECT_FALSE(gf_logIsOpen());
    gf_logError("lost");
    EXPECT_TRUE(fs::is_directory(folder / "Log.txt"));
}

// A write that fails (here: the file-size limit, as a full disk would) costs no more than the lines
// written while it lasts: once there is room again the log goes on.
TEST_F(LogTest, TheLogGoesOnAfterAFailedWrite) {
    openLog();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = fs::file_size(folder / "Log.txt") + 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    gf_logError(std::string(200, 'x'));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);

    gf_logError("room again");
    gf_log("and later");
    EXPECT_TRUE(logText().ends_with("==> room again\nand later\n"));
}

TEST_F(LogTest, LinesOfConcurrentThreadsStayWhole) {
    openLog();
    constexpr int threads = 8;
    constexpr int linesPerThread = 10000;
    const std::string padding(40, 'x');
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([t, &padding] {
            for (int i = 0; i < linesPerThread; ++i) {
                const auto line = fmt::format("thread {} line {} {}", t, i, padding);
                if (i % 1000 == 0)
                    gf_logError(line);
                else if (i % 3 == 0)
                    gf_logContinuation(line);
                else
                    gf_log(line);
            }
        });
    }
    for (auto& th : pool)
        th.join();

    const auto lines = splitLines(logText());
    ASSERT_EQ(lines.size(), 1u + threads * linesPerThread);
    std::vector<int> next(threads, 0);
    for (std::size_t n = 1; n < lines.size(); ++n) {
        std::string_view line = lines[n];
        if (line.starts_with("==> "))
            line.remove_prefix(4);
        else if (line.starts_with("          "))
            line.remove_prefix(10);
        int t = -1;
        int i = -1;
        char tail[64] = {};
        ASSERT_EQ(std::sscanf(std::string(line).c_str(), "thread %d line %d %63s", &t, &i, tail), 3) << line;
        ASSERT_TRUE(t >= 0 && t < threads) << line;
        // Each thread's lines arrive whole and in its own order.
        ASSERT_EQ(i, next[t]) << line;
        ASSERT_EQ(line, fmt::format("thread {} line {} {}", t, i, padding));
        ++next[t];
    }
    EXPECT_TRUE(std::all_of(next.begin(), next.end(), [](int n) { return n == linesPerThread; }));
}

} // namespace
