// The program with the simulator stand-in and the RealTraffic stand-in, in temporary folders, for a
// bounded time (the headless limit closes the window as the user would).

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A port that was free a moment ago (TCP or UDP).
int freePort(int type) {
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
            const fs::path& cwd, const fs::path& output) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0) _exit(127);
        for (const auto& e : extraEnv)
            ::putenv(const_cast<char*>(e.c_str()));
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int waitExit(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? static_cast<signed char>(WEXITSTATUS(status)) : -1000;
}

TEST(EndToEnd, TrafficRunWithBothStandInsClosesCleanly) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    const fs::path bin = SKYLOOM_BINARY_DIR;
    const testing_support::TempFolder temp("skyloom-e2e");
    const fs::path root = temp.path();
    const fs::path work = root / "work";
    for (const char* sub : {"work/docs", "work/input", "work/output", "config", "local", "runtime"})
        fs::create_directories(root / sub);
    const fs::path packages = root / "config" / "Microsoft Flight Simulator" / "Packages";
    fs::create_directories(packages / "Community");
    fs::create_directories(packages / "Official");
    for (const char* name : {"airports.enc", "dbase.enc", "AIG-regcodes.enc"})
        fs::copy_file(bin / "run" / "input" / name, work / "input" / name);
    // A fresh start scans the Community folder for liveries.
    const fs::path model = packages / "Community" / "user-aitraffic" / "SimObjects" / "Airplanes" / "Demo_A320";
    fs::create_directories(model);
    std::ofstream(model / "aircraft.cfg", std::ios::binary)
        << "[GENERAL]\r\nicao_type_designator = A320\r\n[FLTSIM.0]\r\ntitle = \"Airbus A320 Edelweiss\"\r\n"
           "icao_airline = EDW\r\n[FLTSIM.1]\r\ntitle = \"Airbus A320 Swiss\"\r\nicao_airline = SWR\r\n";

    const std::string simPort = std::to_string(freePort(SOCK_STREAM));
    const std::string trafficPort = std::to_string(freePort(SOCK_DGRAM));
    const std::string qnhPort = std::to_string(freePort(SOCK_DGRAM));

    const pid_t sim = spawn({(bin / "tools/simstub/skyloom-simstub").string(), "--port", simPort, "--user",
                             "47.4582,8.5555,1400,140,1"},
                            {}, root, root / "simstub.out");
    const pid_t feed =
        spawn({(bin / "tools/rtfeed/skyloom-rtfeed").string(), "play",
               (fs::path(SKYLOOM_SOURCE_DIR) / "tools/rtfeed/replays/demo.txt").string(), "--now", "--host",
               "127.0.0.1", "--traffic-port", trafficPort, "--qnh-port", qnhPort},
              {}, root, root / "rtfeed.out");
    const pid_t program =
        spawn({(bin / "app/skyloom").string()},
              {"XDG_CONFIG_HOME=" + (root / "config").string(), "XDG_DATA_HOME=" + (root / "local").string(),
               "XDG_RUNTIME_DIR=" + (root / "runtime").string(), "SKYLOOM_QUIT_AFTER=8",
               "SKYLOOM_SIM_ADDRESS=127.0.0.1:" + simPort, "SKYLOOM_TRAFFIC_PORT=" + trafficPort,
               "SKYLOOM_QNH_PORT=" + qnhPort},
              work, root / "skyloom.out");

    EXPECT_EQ(waitExit(program), 0);
    ::kill(feed, SIGTERM);
    ::kill(sim, SIGTERM);
    waitExit(feed);
    waitExit(sim);

    const std::string log = readFile(work / "Log.txt");
    for (const char* line :
         {"MSFS 2020 (", "2 liveries in ", "2 liveries read from ", "QNH Reader connected", "Traffic Reader connected", "Exiting: USER CLOSED SIM",
          "Traffic Reader has stopped", "QNH Reader has stopped"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("No traffic in this region?"), std::string::npos) << log;
    EXPECT_EQ(log.find("==> "), std::string::npos) << log; // a wiring check error included
    EXPECT_EQ(log.find("not fully wired"), std::string::npos) << log;
}

} // namespace
