// skyloom-rtfeed as a program against the feed: UDP traffic and QNH into the readers, and the TCP link.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "tests/support/eventually.h"

#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/timeutil.h"
#include "feed/feed_state.h"
#include "feed/rt_link.h"
#include "feed/udp_readers.h"
#include "platform/os/folders.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& condition) {
    return testing_support::eventually(condition, 20s);
}

// The exit code of the child, or -1 when it did not end within the limit (it is then killed).
int waitForExit(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(20ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RtFeedProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() / fmt::format("skyloom-rtfeed-e2e-{}", ::getpid());
        std::filesystem::create_directories(folder_);
        os::setWorkingFolder(folder_);
        gf_openLogFile();
        gf_resetFeedForTests();
        runControl.reset();
    }
    void TearDown() override {
        gf_stopReaders();
        gf_waitForReadersToEnd(5s);
        gf_resetFeedForTests();
        runControl.reset();
        gf_resetCoreHooks();
        gf_resetLogForTests();
        os::resetWorkingFolder();
        std::filesystem::remove_all(folder_);
    }
    std::filesystem::path folder_;
};

TEST_F(RtFeedProgramTest, PlaysIntoTheReadersAndTalksTheLineProtocol) {
    // Three seconds of one flight near Zurich and one QNH.
    const auto replay = folder_ / "replay.txt";
    {
        std::ofstream out(replay);
        out << "0.0\tQ\t{\"ICAO\":\"LSZH\",\"QNH\":1018}\n";
        for (int i = 0; i <= 12; ++i)
            out << fmt::format(
                "{:.2f}\tT\tRTTFC,4918658,{:.6f},8.4500,5000,-700,0,137.6,160.0,SWR15,A333,HB-JHK,JFK,"
                "ZRH,{:.2f},adsb,LX15,adsb_icao,5150,150,170,0.260,0.00,0.0,136.0,139.0,-700,none,A5\n",
                i * 0.25, 47.55 - i * 0.0005, 1765364400.0 + i * 0.25);
    }
    const auto tcpLog = folder_ / "tcp.log";

    realTrafficLocal.store(true);
    realTrafficLink.startServer("0");
    gf_startQnhReader(0);
    gf_startTrafficReader(0);
    ASSERT_TRUE(
        eventually([] { return trafficReader.boundPort.load() != 0 && qnhReader.boundPort.load() != 0; }));
    const Lalo lszh{47.4581, 8.5481};
    trafficReader.setReferencePosition(lszh);
    gf_setAddingStackOpen(true);
    gf_feedHooks().userState = [] { return RtUserState{47.4581, 8.5481, 0.0, 0.0, 2.4, 1416.0, 0.0}; };

    const std::vector<std::string> args{SKYLOOM_RTFEED_EXE,
                                        "play",
                                        replay.string(),
                                        "--speed",
                                        "1",
                                        "--traffic-port",
                                        std::to_string(trafficReader.boundPort.load()),
                                        "--qnh-port",
                                        std::to_string(qnhReader.boundPort.load()),
                                        "--now",
                                        "--tcp",
                                        fmt::format("127.0.0.1:{}", realTrafficLink.serverPort()),
                                        "--level",
                                        "2",
                                        "--version",
                                        "9.0",
                                        "--tcp-log",
                                        tcpLog.string()};
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);

    gf_awaitRTConnection();
    EXPECT_TRUE(realTrafficLink.rtProfessional.load());
    EXPECT_EQ(feedStatus.realTrafficText(), "RT prof edition: 9.0");
    const std::int64_t now = gf_utcNow();
    gf_sendSimTime(now);
    gf_sendUserState();

    ASSERT_TRUE(eventually([] { return currentQnh.load() == 1018; }));
    ASSERT_TRUE(eventually([] {
        std::lock_guard lock(addingStackMutex);
        return addingStack.size() >= 5;
    }));
    {
        std::lock_guard lock(addingStackMutex);
        const TrafficRecord& r = addingStack.front();
        EXPECT_EQ(r.cs, "SWR15");
        EXPECT_NEAR(r.feedTime, static_cast<double>(now), 30.0); // moved to the present by --now
    }

    gf_closeRealTrafficLink();
    EXPECT_EQ(waitForExit(pid), 0);

    std::ifstream in(tcpLog);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              fmt::format(
                  "Qs999=version\nQs123={}000\nQs121=0;0;2.400000;1416000;0;0.828300;0.149192\nexit\n", now));
}

// A flood into the running traffic reader: each datagram it sends is either counted by the reader or
// counted as dropped by the system; the two counts account for all of them, and the flights are taken.
TEST_F(RtFeedProgramTest, FloodIsCountedByTheReaderOrByTheSystem) {
    realTrafficLocal.store(true);
    gf_startTrafficReader(0);
    ASSERT_TRUE(eventually([] { return trafficReader.boundPort.load() != 0; }));
    trafficReader.setReferencePosition(Lalo{47.4647, 8.5492});
    gf_setAddingStackOpen(true);

    const std::vector<std::string> args{SKYLOOM_RTFEED_EXE, "flood",
                                        "--rate",           "5000",
                                        "--seconds",        "1",
                                        "--flights",        "50",
                                        "--traffic-port",   std::to_string(trafficReader.boundPort.load())};
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    EXPECT_EQ(waitForExit(pid), 0); // 0: all 5,000 were sent

    ASSERT_TRUE(eventually([] {
        return trafficReader.datagramCount.load() +
                   static_cast<std::int64_t>(trafficReader.systemDrops.load()) >=
               5000;
    }));
    gf_stopReaders();
    ASSERT_TRUE(gf_waitForReadersToEnd(5s));
    EXPECT_EQ(trafficReader.receivedOnSocket() + trafficReader.systemDrops.load(), 5000u);
    std::lock_guard lock(addingStackMutex);
    EXPECT_FALSE(addingStack.empty());
}

} // namespace
