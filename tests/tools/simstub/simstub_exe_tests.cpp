// skyloom-simstub as a program: it runs on its own, accepts a client, writes its state file and ends
// cleanly on SIGTERM.
#include "tests/tools/simstub/client_harness.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace skyloom::testing;
namespace fs = std::filesystem;

namespace {

// A child process that is killed when the test leaves early.
struct Child {
    pid_t pid = -1;
    int out = -1;
    Child() = default;
    Child(pid_t p, int o) : pid(p), out(o) {}
    Child(Child&& other) noexcept : pid(std::exchange(other.pid, -1)), out(std::exchange(other.out, -1)) {}
    Child& operator=(Child&&) = delete;
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0) close(out);
    }
};

Child launch(const std::vector<std::string>& args, const std::string& errorFile = "/dev/null") {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        // Not the runner's stderr: the test runner waits for every holder of its output.
        const int err = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

constexpr auto kLimit = std::chrono::seconds(10); // no stand-in may hold up the test run longer

// Reads the child's first output line; what came until the time limit when there is no full line.
std::string firstLine(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    std::string line;
    char ch;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) return line;
        if (read(fd, &ch, 1) != 1 || ch == '\n') return line;
        line += ch;
    }
}

// The child's exit code, -1000 - signal when a signal ended it; a child still running at the time limit is
// killed and counts as -1.
int waitExit(pid_t pid) {
    if (pid <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(pid, &status, WNOHANG)) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (ended != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000 - WTERMSIG(status);
}

} // namespace

TEST(SimStubProgram, RunsStandaloneAndItsStateFileShowsTheCreatedObjects) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("simstub_exe_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "titles.txt") << "Airbus A320 Neo FlyByWire\n";
    const fs::path state = dir / "state.json";
    Child child =
        launch({SIMSTUB_EXE, "--port", "0", "--sim", "2024", "--titles", (dir / "titles.txt").string(),
                "--user", "47.4647,8.5492,1416,160,1", "--ground-area", "46.2381,6.1089,4,1411",
                "--ground-area", "47.5,8.5492,0.5,1300", "--fps", "20", "--state-file", state.string()},
               (dir / "stderr.txt").string());
    ASSERT_GT(child.pid, 0);
    const std::string banner = firstLine(child.out);
    const auto at = banner.find("127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << banner;
    const std::string address = banner.substr(at, banner.find(' ', at) - at);

    TestClient client;
    ASSERT_EQ(client.open(address), SIMCONNECT_OK);
    registerEverything(client.h);
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_OPEN));
    EXPECT_STREQ(client.all(SIMCONNECT_RECV_ID_OPEN)[0]->as<SIMCONNECT_RECV_OPEN>().applicationName,
                 "SunRise");
    // Frames run by themselves.
    ASSERT_TRUE(client.waitFor(SIMCONNECT_RECV_ID_EVENT_FRAME, 3));
    SIMCONNECT_DATA_INITPOSITION pos{47.46, 8.55, 0, 0, 0, 160, 1, 0};
    ASSERT_EQ(
        SimConnect_AICreateNonATCAircraft(client.h, "Airbus A320 Neo FlyByWire", "SWR123", pos, kReqAiCreate),
        0);
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(client.h, "Not Installed", "SWR124", pos, kReqAiCreate), 0);
    // Another airport's ground, given on the command line.
    SIMCONNECT_DATA_INITPOSITION geneva{46.24, 6.11, 0, 0, 0, 50, 1, 0};
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(client.h, "Airbus A320 Neo FlyByWire", "EZS1", geneva,
                                                kReqAiCreate),
              0);

    // The state file is rewritten once per second; wait for the one that shows the creation.
    nlohmann::json json;
    const bool seen = client.pumpUntil(
        [&] {
            std::ifstream in(state);
            if (!in) return false;
            json = nlohmann::json::parse(in, nullptr, false);
            return !json.is_discarded() && json["objects"].size() == 2 && json["counts"]["refusals"] == 1;
        },
        std::chrono::seconds(20));
    ASSERT_TRUE(seen) << json.dump();
    EXPECT_EQ(json["objects"][0]["tail"], "SWR123");
    EXPECT_EQ(json["objects"][0]["id"], 3);
    // Created on the ground next to the user, who stands at an airport of 1416 ft: the user's area comes
    // after those of the command line, and the one of 0.5 nm two miles north of it does not reach this far.
    EXPECT_DOUBLE_EQ(json["objects"][0]["altitude"].get<double>(), 1416.0 + 8.0);
    EXPECT_EQ(json["objects"][1]["tail"], "EZS1");
    EXPECT_DOUBLE_EQ(json["objects"][1]["altitude"].get<double>(), 1411.0 + 8.0);
    ASSERT_EQ(json["groundAreas"].size(), 3u);
    EXPECT_EQ(json["groundAreas"][0]["elevation"], 1411.0);
    EXPECT_EQ(json["groundAreas"][2]["radiusNm"], 5.0);
    EXPECT_EQ(json["counts"]["mostAtOnce"], 2);
    EXPECT_EQ(json["user"]["latitude"], 47.4647);
    EXPECT_EQ(json["sim"], "SunRise");

    kill(child.pid, SIGTERM);
    EXPECT_EQ(waitExit(std::exchange(child.pid, -1)), 0);
    std::ifstream err(dir / "stderr.txt");
    const std::string errors((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_EQ(errors, "");
    fs::remove_all(dir);
}

TEST(SimStubProgram, RefusesBadArguments) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{SIMSTUB_EXE}, std::vector<std::string>{SIMSTUB_EXE, "--port", "x"},
          std::vector<std::string>{SIMSTUB_EXE, "--port", "0", "--sim", "2022"},
          std::vector<std::string>{SIMSTUB_EXE, "--port", "0", "--user", "1,2,3"},
          std::vector<std::string>{SIMSTUB_EXE, "--port", "0", "--ground-area", "1,2,3"},
          std::vector<std::string>{SIMSTUB_EXE, "--port", "0", "--ground-area", "95,2,3,4"},
          std::vector<std::string>{SIMSTUB_EXE, "--port", "0", "--ground-area", "1,2,0,4"},
          std::vector<std::string>{SIMSTUB_EXE, "--port", "0", "--ground-area", "1,2,3,nan"},
          std::vector<std::string>{SIMSTUB_EXE, "--port", "0", "--titles", "/nonexistent/titles.txt"}}) {
        Child child = launch(args);
        ASSERT_GT(child.pid, 0);
        EXPECT_NE(waitExit(std::exchange(child.pid, -1)), 0) << args.back();
    }
}

TEST(SimStubProgram, TakesATimeScaleFromOneToTen) {
    struct Case {
        const char* scale;
        bool taken;
    };
    for (const Case c : {Case{"1", true}, Case{"2.5", true}, Case{"10", true}, Case{"0", false},
                         Case{"0.5", false}, Case{"10.5", false}, Case{"fast", false}, Case{"nan", false}}) {
        Child child = launch({SIMSTUB_EXE, "--port", "0", "--time-scale", c.scale});
        ASSERT_GT(child.pid, 0);
        if (c.taken) {
            EXPECT_NE(firstLine(child.out).find("listening"), std::string::npos) << c.scale;
            kill(child.pid, SIGTERM);
            EXPECT_EQ(waitExit(std::exchange(child.pid, -1)), 0) << c.scale;
        } else {
            EXPECT_EQ(waitExit(std::exchange(child.pid, -1)), 2) << c.scale << " is refused with the usage";
        }
    }
}

TEST(SimStubProgram, EndsWhenTheProcessThatStartedItEnds) {
    // A starter process runs the stand-in and dies; this process adopts the orphan so it can wait for it.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int pidPipe[2];
    ASSERT_EQ(pipe(pidPipe), 0);
    const pid_t starter = fork();
    if (starter == 0) {
        close(pidPipe[0]);
        Child stub = launch({SIMSTUB_EXE, "--port", "0", "--fps", "50"});
        const bool listening = firstLine(stub.out).find("listening") != std::string::npos;
        const pid_t pid = listening ? stub.pid : -1;
        [[maybe_unused]] const auto n = write(pidPipe[1], &pid, sizeof pid);
        _exit(listening ? 0 : 1); // without ending the stand-in
    }
    close(pidPipe[1]);
    pid_t pid = -1;
    [[maybe_unused]] const auto n = read(pidPipe[0], &pid, sizeof pid);
    close(pidPipe[0]);
    Child orphan(pid, -1); // killed should the test leave early
    EXPECT_EQ(waitExit(starter), 0);
    ASSERT_GT(orphan.pid, 0);
    EXPECT_EQ(waitExit(std::exchange(orphan.pid, -1)), 0);
}
