// skyloom-simstub: the simulator stand-in as a program of its own.
//
//   skyloom-simstub --port N [--sim 2020|2024] [--titles FILE | --community DIR]
//                   [--user LAT,LON,ALT_FT,HEADING_DEG,ONGROUND] [--ground-area LAT,LON,RADIUS_NM,ELEV_FT]...
//                   [--fps N] [--time-scale X] [--state-file PATH]
//
// Without --titles or --community every title counts as installed. The ground is flat at 0 ft, except in the
// ground areas: each --ground-area puts the ground within RADIUS_NM of its centre at ELEV_FT (where areas
// overlap, the one given first holds), and a user placed on the ground stands at an airport whose ground
// (within 5 nm) lies at the user's altitude, where no --ground-area says otherwise.
// It prints "skyloom-simstub listening on 127.0.0.1:PORT" once it accepts clients and runs until SIGINT or
// SIGTERM, or until the process that started it ends; then it writes the state file a last time and exits 0.
// SIGUSR1 writes the state file at once and goes on (a test's look at the world during a run).
// --time-scale X (1 to 10, default 1) runs the stand-in's clock X times as fast as real time: simulator
// seconds, frames (still N a simulator second), removal delays and the times of the state file.
#include "tools/simstub/simstub.h"

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fmt/format.h>
#include <pthread.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using skyloom::simstub::Options;

[[noreturn]] void usage(const std::string& problem) {
    fmt::print(
        stderr,
        "skyloom-simstub: {}\n"
        "usage: skyloom-simstub --port N [--sim 2020|2024] [--titles FILE | --community DIR]\n"
        "                       [--user LAT,LON,ALT_FT,HEADING_DEG,ONGROUND]\n"
        "                       [--ground-area LAT,LON,RADIUS_NM,ELEV_FT]... [--fps N] [--time-scale X]\n"
        "                       [--state-file PATH]\n",
        problem);
    std::exit(2);
}

double number(const std::string& text, const std::string& what) {
    try {
        std::size_t used = 0;
        const double v = std::stod(text, &used);
        if (used != text.size()) throw std::invalid_argument(text);
        return v;
    } catch (const std::exception&) {
        usage(fmt::format("{} is not a number: '{}'", what, text));
    }
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto at = text.find(sep, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

Options parse(int argc, char** argv) {
    Options o;
    o.realTime = true;
    bool havePort = false;
    bool userArea = false;
    std::string titles, community;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(fmt::format("{} needs a value", arg));
            return argv[++i];
        };
        if (arg == "--port") {
            const double p = number(value(), "--port");
            if (p < 0 || p > 65535 || p != static_cast<int>(p)) usage("--port must be 0..65535");
            o.port = static_cast<std::uint16_t>(p);
            havePort = true;
        } else if (arg == "--sim") {
            const std::string v = value();
            if (v != "2020" && v != "2024") usage("--sim must be 2020 or 2024");
            o.simVersion = v == "2024" ? 2024 : 2020;
        } else if (arg == "--titles") {
            titles = value();
        } else if (arg == "--community") {
            community = value();
        } else if (arg == "--user") {
            const auto parts = split(value(), ',');
            if (parts.size() != 5) usage("--user needs LAT,LON,ALT_FT,HEADING_DEG,ONGROUND");
            o.user.latitude = number(parts[0], "latitude");
            o.user.longitude = number(parts[1], "longitude");
            o.user.altitudeFt = number(parts[2], "altitude");
            o.user.headingDeg = number(parts[3], "heading");
            o.user.onGround = number(parts[4], "on-ground flag") != 0;
            if (o.user.latitude < -90 || o.user.latitude > 90 || o.user.longitude < -180 ||
                o.user.longitude > 180)
                usage("--user position out of range");
            userArea = o.user.onGround;
        } else if (arg == "--ground-area") {
            const auto parts = split(value(), ',');
            if (parts.size() != 4) usage("--ground-area needs LAT,LON,RADIUS_NM,ELEV_FT");
            const skyloom::simstub::GroundArea area{number(parts[0], "latitude"),
                                                    number(parts[1], "longitude"), number(parts[2], "radius"),
                                                    number(parts[3], "elevation")};
            if (!(area.latitude >= -90 && area.latitude <= 90 && area.longitude >= -180 &&
                  area.longitude <= 180))
                usage("--ground-area position out of range");
            if (!(area.radiusNm > 0 && area.radiusNm <= 1000))
                usage("--ground-area radius must be above 0 and at most 1000 nm");
            if (!(std::abs(area.elevationFt) <= 30000))
                usage("--ground-area elevation must be within -30000..30000 ft");
            o.groundAreas.push_back(area);
        } else if (arg == "--fps") {
            o.fps = number(value(), "--fps");
            if (o.fps <= 0 || o.fps > 1000) usage("--fps must be above 0 and at most 1000");
        } else if (arg == "--time-scale") {
            o.timeScale = number(value(), "--time-scale");
            if (!(o.timeScale >= 1 && o.timeScale <= 10)) usage("--time-scale must be from 1 to 10");
        } else if (arg == "--state-file") {
            o.stateFile = value();
        } else if (arg == "--help" || arg == "-h") {
            usage("help");
        } else {
            usage(fmt::format("unknown argument '{}'", arg));
        }
    }
    if (!havePort) usage("--port is required");
    // A user on the ground stands at an airport: the ground within 5 nm lies at the user's altitude.
    if (userArea) o.groundAreas.push_back({o.user.latitude, o.user.longitude, 5.0, o.user.altitudeFt});
    if (!titles.empty() && !community.empty()) usage("--titles and --community exclude each other");
    try {
        if (!titles.empty()) o.installedTitles = skyloom::simstub::readTitlesFile(titles);
        if (!community.empty()) o.installedTitles = skyloom::simstub::scanCommunityTitles(community);
    } catch (const std::exception& e) {
        fmt::print(stderr, "skyloom-simstub: {}\n", e.what());
        std::exit(1);
    }
    return o;
}

} // namespace

int main(int argc, char** argv) {
    const pid_t parent = getppid(); // before anything else, so that the starter cannot be gone already
    Options options = parse(argc, argv);
    // Block the stop signals in every thread; the main thread takes them with sigtimedwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const std::size_t titleCount = options.installedTitles ? options.installedTitles->size() : 0;
    const bool anyTitle = !options.installedTitles;
    const std::filesystem::path stateFile = options.stateFile;
    skyloom::simstub::SimStub stub(std::move(options));
    try {
        stub.start();
    } catch (const std::exception& e) {
        fmt::print(stderr, "skyloom-simstub: {}\n", e.what());
        return 1;
    }
    fmt::print("skyloom-simstub listening on {} ({})\n", stub.address(),
               anyTitle ? std::string("every title installed")
                        : fmt::format("{} titles installed", titleCount));
    std::fflush(stdout);

    // A stand-in left behind by a test run that crashed or was killed would hold its port for ever: it
    // also ends when the process that started it is gone (it then has another parent).
    const timespec tick{0, 200'000'000};
    const auto writeState = [&] {
        if (stateFile.empty()) return;
        try {
            stub.writeStateFile(stateFile);
        } catch (const std::exception& e) {
            fmt::print(stderr, "skyloom-simstub: {}\n", e.what());
        }
    };
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGUSR1) {
            writeState();
            continue;
        }
        if (signal >= 0 || getppid() != parent) break;
    }
    stub.stop();
    writeState();
    fmt::print("skyloom-simstub stopped\n");
    return 0;
}
