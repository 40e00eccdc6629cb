// The three programs together for a little under two minutes of a cut of the Zurich scenario: the
// simulator stand-in, the program and the RealTraffic stand-in. The stand-in's world is looked at every
// few seconds (SIGUSR1 writes its state file) and compared with the cut's reports as the program's feed
// reads them. Every bound comes from the data (report spacing, reported speeds) and the program's rules
// (30 s behind, dead reckoning); times only bound the waits.
//
// All three run on one clock `timeScale` times as fast as real time (the program's passes and waits, the
// stand-in's seconds and frames, the feed's replay), so the scenario's two minutes take a third of that.
// Every time below is scenario time (real time times the scale) unless it says otherwise.
//
// The cut: the scenario's first minutes (a descent and a climb through 10,000 ft, a landing on runway 10)
// with two flights that end minutes later played in their last seconds from the start (their earlier
// reports left out, the rest moved earlier by as much): an overflight that leaves the range and a
// departure whose reports stop in the air, so that the run sees both taken out.

#include <gtest/gtest.h>

#include "core/geodesy.h"
#include "engine/live/movement.h"
#include "feed/traffic_datagram.h"
#include "tests/support/temp_folder.h"
#include "tools/rtfeed/rtfeed.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

constexpr Lalo lszh{47.4647, 8.5492};
constexpr double lszhElevationFt = 1416;
constexpr double timeScale = 3;      // scenario seconds per second of real time
constexpr double behindSeconds = 30; // the program shows a flight this long after its report
constexpr int runSeconds = 116;      // how long the program runs (its own limit closes it)
// The program's range in this run. Below the 38.5 nm out to which the scenario's flights report, so an
// overflight really leaves it: its reports go on beyond the range, and the program takes it out there.
constexpr int rangeNm = 35;
// The feed's radius: RANGE's default, 40 nm, until the range is first set while the program runs, which
// a run with a fixed range does not do. Out to it the program takes reports beyond its range.
constexpr double feedRadiusNm = 40;
constexpr double lagSlackSeconds = 10; // how far a loaded machine may shift the shown time
constexpr double setupSeconds = 2;     // a new object's set-up before it moves (200 passes)

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

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

// Whether a UDP socket is bound to the port on this machine (read from the kernel's table, so that the
// look itself never holds the port).
bool udpPortBound(int port) {
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line); // the header
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local;
            fields >> slot >> local; // "0100007F:BF68": address and port in hex
            const auto colon = local.find(':');
            if (colon != std::string::npos && std::stoi(local.substr(colon + 1), nullptr, 16) == port)
                return true;
        }
    }
    return false;
}

int waitExit(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? static_cast<signed char>(WEXITSTATUS(status)) : -1000;
}

// A user-aitraffic package made from the demo catalogue (one model folder per type); returns the titles.
std::set<std::string> writeCommunityPackage(const fs::path& community) {
    pugi::xml_document doc;
    EXPECT_TRUE(
        doc.load_file((fs::path(SKYLOOM_SOURCE_DIR) / "tests/data/liveries/LiveriesScanned.xml").c_str()));
    const fs::path base = community / "user-aitraffic" / "SimObjects" / "Airplanes";
    std::map<std::string, std::string> configs;
    std::map<std::string, int> counts;
    std::set<std::string> titles;
    for (const auto& liv : doc.select_nodes("//liv")) {
        const pugi::xml_node n = liv.node();
        const std::string type = n.attribute("type").value();
        std::string& cfg = configs[type];
        if (cfg.empty())
            cfg = "[VERSION]\r\nmajor = 1\r\n\r\n[GENERAL]\r\nicao_type_designator = \"" + type + "\"\r\n";
        cfg += "\r\n[FLTSIM." + std::to_string(counts[type]++) + "]\r\ntitle = \"" +
               n.attribute("title").value() + "\"\r\nicao_airline = " + n.attribute("airl").value() + "\r\n";
        if (!std::string(n.attribute("atcid").value()).empty())
            cfg += std::string("atc_id = ") + n.attribute("atcid").value() + "\r\n";
        cfg += std::string("atc_parking_types = ") + (n.attribute("cargo").as_bool() ? "CARGO" : "GATE") +
               "\r\n";
        titles.insert(n.attribute("title").value());
    }
    for (const auto& [type, cfg] : configs) {
        fs::create_directories(base / ("Demo_" + type));
        std::ofstream(base / ("Demo_" + type) / "aircraft.cfg", std::ios::binary) << cfg;
    }
    std::ofstream(community / "user-aitraffic" / "manifest.json") << R"({"title": "user AI traffic"})";
    return titles;
}

// One report of the scenario as the program's feed reads it.
struct Report {
    double at = 0; // seconds since the start of the scenario
    TrafficRecord record;
};

struct Flight {
    std::vector<Report> reports;
    std::set<std::string> names; // callsigns and registrations: an object's tail is one of them
    double maxGs = 0;
    bool anyAirborne = false;
    double firstOnGround = 1e18; // scenario seconds of its first report on the ground
    double lastReportAt = 0;     // and of its last report, in the air or on the ground
    bool lastAirborne = false;   // whether that one is in the air
    double lastReportNm = 0;     // and how far it is from LSZH
};

std::vector<std::string> fieldsOf(const std::string& payload) {
    std::vector<std::string> fields;
    std::istringstream split(payload);
    for (std::string field; std::getline(split, field, ',');)
        fields.push_back(field);
    return fields;
}

std::map<std::uint32_t, Flight> readScenario(const std::vector<rtfeed::ReplayLine>& lines) {
    TrafficFilter filter;
    filter.reference = lszh;
    filter.radiusNm = feedRadiusNm;
    std::map<std::uint32_t, Flight> flights;
    for (const auto& line : lines) {
        if (line.kind != 'T') continue;
        // The ground flag as sent, whatever the reader makes of the report.
        const std::vector<std::string> fields = fieldsOf(line.payload);
        if (fields.size() > 6) {
            Flight& f = flights[static_cast<std::uint32_t>(std::stoul(fields[1]))];
            if (fields[6] == "1") f.firstOnGround = std::min(f.firstOnGround, line.at);
            f.lastReportAt = line.at;
            f.lastAirborne = fields[6] != "1";
            f.lastReportNm = gf_distanceNm(lszh, Lalo{std::stod(fields[2]), std::stod(fields[3])});
        }
        TrafficDatagramResult r = gf_readTrafficDatagram(line.payload, filter);
        if (r.drop != TrafficDrop::none) continue;
        Flight& f = flights[r.record.hexid];
        f.names.insert(r.record.cs);
        f.names.insert(r.record.reg);
        f.maxGs = std::max(f.maxGs, r.record.pos.gs);
        f.anyAirborne |= r.record.pos.airborne;
        f.reports.push_back(Report{line.at, std::move(r.record)});
    }
    return flights;
}

// The cut the run plays (see the top of the file): the scenario's first `seconds`, the flights named in
// `endings` from `endingSeconds` before their last report. Feed times move with their lines.
std::vector<rtfeed::ReplayLine> cutOf(const std::vector<rtfeed::ReplayLine>& scenario, double seconds,
                                      const std::set<std::string>& endings, double endingSeconds) {
    std::map<std::string, double> later; // callsign -> the scenario time it is played from
    for (const auto& [hexid, f] : readScenario(scenario))
        for (const std::string& cs : endings)
            if (f.names.contains(cs)) later[cs] = f.lastReportAt - endingSeconds;
    // By transponder address: a flight keeps its start when its callsign changes.
    std::map<std::string, double> fromByHexid;
    for (const auto& line : scenario) {
        const std::vector<std::string> f = fieldsOf(line.payload);
        if (line.kind == 'T' && f.size() > 9 && later.contains(f[9]))
            fromByHexid.emplace(f[1], later.at(f[9]));
    }
    std::vector<rtfeed::ReplayLine> cut;
    for (const auto& line : scenario) {
        std::vector<std::string> f = line.kind == 'T' ? fieldsOf(line.payload) : std::vector<std::string>{};
        const auto from = f.size() > 14 ? fromByHexid.find(f[1]) : fromByHexid.end();
        const double shift = from == fromByHexid.end() ? 0.0 : from->second;
        const double at = std::round((line.at - shift) * 10) / 10;
        if (at < 0 || at > seconds) continue;
        rtfeed::ReplayLine moved = line;
        moved.at = at;
        if (shift != 0) {
            f[14] = fmt::format("{:.2f}", std::stod(f[14]) - shift);
            moved.payload = fmt::format("{}", fmt::join(f, ","));
        }
        cut.push_back(std::move(moved));
    }
    std::stable_sort(cut.begin(), cut.end(), [](const auto& a, const auto& b) { return a.at < b.at; });
    return cut;
}

void writeReplay(const std::vector<rtfeed::ReplayLine>& lines, const fs::path& file) {
    std::ofstream out(file, std::ios::binary);
    out << "# A cut of the Zurich scenario for the traffic run.\n";
    for (const auto& line : lines)
        out << fmt::format("{:.1f}\t{}\t{}\n", line.at, line.kind, line.payload);
}

// The flight whose callsign or registration the tail is, when only one has it.
std::optional<std::uint32_t> flightOf(const std::map<std::uint32_t, Flight>& flights,
                                      const std::string& tail) {
    std::optional<std::uint32_t> found;
    for (const auto& [hexid, f] : flights)
        if (!tail.empty() && f.names.contains(tail)) {
            if (found) return std::nullopt;
            found = hexid;
        }
    return found;
}

Lalo at(const TrafficRecord& r) {
    return Lalo{r.pos.lat, r.pos.lon};
}

// How far `p` is from the flight's reported path between scenario times `from` and `to` (reports joined by
// straight legs), and the widest distance between consecutive airborne reports there. Empty when no
// airborne leg lies in the window.
struct Closeness {
    double nm = 1e9;
    double spacingNm = 0;
};
std::optional<Closeness> closeness(const Flight& f, const Lalo& p, double from, double to) {
    std::optional<Closeness> c;
    for (std::size_t i = 1; i < f.reports.size(); ++i) {
        const Report& a = f.reports[i - 1];
        const Report& b = f.reports[i];
        if (b.at < from || a.at > to || !a.record.pos.airborne || !b.record.pos.airborne) continue;
        if (!c) c = Closeness{};
        c->spacingNm = std::max(c->spacingNm, gf_distanceNm(at(a.record), at(b.record)));
        for (int k = 0; k <= 20; ++k) {
            const double u = k / 20.0;
            const Lalo q{a.record.pos.lat + u * (b.record.pos.lat - a.record.pos.lat),
                         a.record.pos.lon + u * (b.record.pos.lon - a.record.pos.lon)};
            const double t = a.at + u * (b.at - a.at);
            if (t >= from && t <= to) c->nm = std::min(c->nm, gf_distanceNm(p, q));
        }
    }
    return c;
}

// The landing-light values an object got (1 below 10,000 ft, 0 at or above), repeats folded.
std::vector<int> cruiseLightSwitches(const json& object) {
    std::vector<int> values;
    for (const json& e : object.value("events", json::array()))
        if (e.value("name", "") == "LANDING_LIGHTS_SET") {
            const int v = e.value("value", 0) != 0 ? 1 : 0;
            if (values.empty() || values.back() != v) values.push_back(v);
        }
    return values;
}

// The same for the flight's reports: which side of 10,000 ft each airborne report is on, repeats folded.
std::vector<int> reportedSides(const Flight& f) {
    std::vector<int> sides;
    for (const Report& r : f.reports)
        if (r.record.pos.airborne) {
            const int v = r.record.pos.alt < 10000 ? 1 : 0;
            if (sides.empty() || sides.back() != v) sides.push_back(v);
        }
    return sides;
}

bool isRunWithin(const std::vector<int>& part, const std::vector<int>& whole) {
    return std::search(whole.begin(), whole.end(), part.begin(), part.end()) != whole.end();
}

struct Snapshot {
    double at = 0; // scenario seconds
    json state;
};

TEST(TrafficRun, TheScenarioIsShownThirtySecondsBehindAndCleanedUp) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    const fs::path bin = SKYLOOM_BINARY_DIR;
    const testing_support::TempFolder temp("skyloom-traffic-run");
    const fs::path root = temp.path();
    const fs::path work = root / "work";
    for (const char* sub : {"work/docs", "work/input", "work/output", "config", "local", "runtime"})
        fs::create_directories(root / sub);
    const fs::path scenario = root / "scenario.txt";
    writeReplay(cutOf(rtfeed::loadReplay(fs::path(SKYLOOM_SOURCE_DIR) / "tools/rtfeed/replays/demo.txt"),
                      runSeconds, {"UAE15", "OAW8262"}, 6),
                scenario);
    const auto flights = readScenario(rtfeed::loadReplay(scenario));
    ASSERT_GT(flights.size(), 5u);

    // A fixed range instead of the automatic one: a user on the ground gets 10 nm, which would hide the
    // scenario's climbs and descents through 10,000 ft. The engine's component tests cover the 10 nm.
    fs::create_directories(root / "config" / "Skyloom");
    std::ofstream(root / "config" / "Skyloom" / "parameters.xml")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n"
           "    <parameter name=\"AUTO_RANGE\" value=\"false\" />\n"
        << fmt::format("    <parameter name=\"RANGE\" value=\"{}\" />\n", rangeNm)
        << "  </parameters>\n</root>\n";
    const fs::path packages = root / "config" / "Microsoft Flight Simulator" / "Packages";
    fs::create_directories(packages / "Official");
    const std::set<std::string> titles = writeCommunityPackage(packages / "Community");
    for (const char* name : {"airports.enc", "dbase.enc", "AIG-regcodes.enc"})
        fs::copy_file(bin / "run" / "input" / name, work / "input" / name);
    // The demo airport file makes LSZH the park airport, as in ./run.sh: its stands take the flights
    // seen standing, and its elevation is the ground the scenario's early arrival lands on.
    fs::copy(bin / "run" / "airports", work / "airports", fs::copy_options::recursive);

    const std::string simPort = std::to_string(freePort(SOCK_STREAM));
    const std::string trafficPort = std::to_string(freePort(SOCK_DGRAM));
    const std::string qnhPort = std::to_string(freePort(SOCK_DGRAM));
    const fs::path stateFile = root / "sim-state.json";
    const std::string lszhText = fmt::format("{},{}", lszh.lat, lszh.lon);
    const pid_t sim = spawn({(bin / "tools/simstub/skyloom-simstub").string(), "--port", simPort,
                             "--community", (packages / "Community").string(), "--ground-area",
                             fmt::format("{},8,{}", lszhText, lszhElevationFt), "--user",
                             fmt::format("{},{},140,1", lszhText, lszhElevationFt), "--state-file",
                             stateFile.string(), "--time-scale", fmt::format("{}", timeScale)},
                            {}, root, root / "simstub.out");
    const pid_t program = spawn(
        {(bin / "app/skyloom").string()},
        {"XDG_CONFIG_HOME=" + (root / "config").string(), "XDG_DATA_HOME=" + (root / "local").string(),
         "XDG_RUNTIME_DIR=" + (root / "runtime").string(), "SKYLOOM_QUIT_AFTER=" + std::to_string(runSeconds),
         "SKYLOOM_SIM_ADDRESS=127.0.0.1:" + simPort, "SKYLOOM_TRAFFIC_PORT=" + trafficPort,
         "SKYLOOM_QNH_PORT=" + qnhPort, "SKYLOOM_TIME_SCALE=" + fmt::format("{}", timeScale)},
        work, root / "skyloom.out");
    // The scenario starts once the program's traffic reader listens: how long the program takes to start
    // (the process, its window and data files) is a matter of the machine, and every report the feed
    // sends before then would be lost (real time: a bound on the machine, not on the program).
    const Clock::time_point readerLimit = Clock::now() + std::chrono::seconds(60);
    while (!udpPortBound(std::stoi(trafficPort)) && Clock::now() < readerLimit &&
           ::waitpid(program, nullptr, WNOHANG) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!udpPortBound(std::stoi(trafficPort))) {
        ::kill(program, SIGTERM);
        ::kill(sim, SIGTERM);
        waitExit(program);
        waitExit(sim);
        FAIL() << "the traffic reader never listened\n" << readFile(root / "skyloom.out");
    }
    const Clock::time_point feedStart = Clock::now();
    const pid_t feed = spawn({(bin / "tools/rtfeed/skyloom-rtfeed").string(), "play", scenario.string(),
                              "--now", "--host", "127.0.0.1", "--traffic-port", trafficPort, "--qnh-port",
                              qnhPort, "--speed", fmt::format("{}", timeScale)},
                             {}, root, root / "rtfeed.out");
    const auto scenarioNow = [&] {
        return timeScale * std::chrono::duration<double>(Clock::now() - feedStart).count();
    };
    const auto sleepScenario = [](double seconds) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds / timeScale));
    };

    // A look at the stand-in's world every two seconds until the program closes (or, in real time, far
    // too long).
    std::vector<Snapshot> snapshots;
    int programExit = -1000;
    const Clock::time_point giveUp =
        Clock::now() + std::chrono::seconds(static_cast<int>(runSeconds / timeScale) + 120);
    for (;;) {
        int status = 0;
        if (::waitpid(program, &status, WNOHANG) == program) {
            programExit = WIFEXITED(status) ? static_cast<signed char>(WEXITSTATUS(status)) : -1000;
            break;
        }
        if (Clock::now() > giveUp) {
            ::kill(program, SIGTERM);
            programExit = waitExit(program);
            ADD_FAILURE() << "the program did not close by itself";
            break;
        }
        const auto before = fs::exists(stateFile) ? fs::last_write_time(stateFile) : fs::file_time_type{};
        const double asked = scenarioNow();
        ::kill(sim, SIGUSR1);
        for (int i = 0; i < 100; ++i) {
            if (fs::exists(stateFile) && fs::last_write_time(stateFile) != before) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const double answered = scenarioNow();
        try {
            snapshots.push_back(Snapshot{(asked + answered) / 2, json::parse(readFile(stateFile))});
        } catch (const std::exception&) {
            // Not written yet: the next look will do.
        }
        sleepScenario(2);
    }
    const double endAt = scenarioNow();
    ::kill(feed, SIGTERM);
    ::kill(sim, SIGTERM);
    waitExit(feed);
    EXPECT_EQ(waitExit(sim), 0);
    EXPECT_EQ(programExit, 0) << readFile(root / "skyloom.out");
    const json final = json::parse(readFile(stateFile));
    const std::string log = readFile(work / "Log.txt");
    ASSERT_GT(snapshots.size(), 20u);

    // Only installed liveries: nothing refused, every title one of the catalogue's.
    const json& counts = final["counts"];
    EXPECT_EQ(counts.value("refusals", -1), 0);
    EXPECT_EQ(counts.value("refusedBlocks", -1), 0) << "a position block that is not finite";
    EXPECT_GE(counts.value("creations", 0), 5) << log;
    for (const json& list : {final["objects"], final["removed"]})
        for (const json& o : list)
            EXPECT_TRUE(titles.contains(o.value("title", ""))) << o.value("title", "");

    // Each airborne object follows its flight's reports 30 s behind, within one report spacing.
    int compared = 0;
    for (const Snapshot& s : snapshots)
        for (const json& o : s.state["objects"]) {
            // Every airborne object, moving or not: one still waiting for its first position block stands
            // where it was created, and falls behind its flight when that wait lasts.
            if (o.value("onGround", true)) continue;
            const auto hexid = flightOf(flights, o.value("tail", ""));
            if (!hexid) continue;
            const Flight& f = flights.at(*hexid);
            const double shown = s.at - behindSeconds;
            // After its last report the program carries the flight on by dead reckoning until it takes it
            // out (checked below): no report shows where it then is.
            if (shown > f.lastReportAt) continue;
            const auto c = closeness(f, Lalo{o.value("latitude", 0.0), o.value("longitude", 0.0)},
                                     shown - lagSlackSeconds, shown + lagSlackSeconds);
            if (!c) continue;
            ++compared;
            EXPECT_LE(c->nm, c->spacingNm + 0.05) << o.value("tail", "") << " at " << s.at << " s: " << c->nm
                                                  << " nm from its reports of " << shown << " s";
        }
    EXPECT_GT(compared, 50);

    // The stand-in measures each object's largest implied speed between its position blocks over its own
    // clock, across at least two seconds so that blocks bunched by either side's scheduling do not count;
    // for an airborne flight it stays under twice the highest ground speed the flight reported. Every
    // created airborne object got its first position block once its set-up was over.
    std::map<std::uint64_t, json> lastSeen;
    std::map<std::uint64_t, double> lastSeenAt; // scenario seconds
    for (const Snapshot& s : snapshots)
        for (const json& o : s.state["objects"]) {
            lastSeen[o.value("id", 0u)] = o;
            lastSeenAt[o.value("id", 0u)] = s.at;
        }
    int speedChecked = 0;
    for (const json& list : {final["objects"], final["removed"]})
        for (const json& o : list) {
            const auto hexid = flightOf(flights, o.value("tail", ""));
            if (!hexid || !flights.at(*hexid).anyAirborne) continue;
            const json& motion = o["motion"];
            const double created = o.value("created", 0.0);
            const double until =
                o.contains("removed") ? o.value("removed", 0.0) : final.value("simSeconds", 0.0);
            if (until - created > setupSeconds + lagSlackSeconds) {
                if (motion["firstBlock"].is_null()) {
                    ADD_FAILURE() << o.value("tail", "") << " created at " << created
                                  << " s never got a position block";
                    continue;
                }
                EXPECT_LE(motion.value("firstBlock", 0.0) - created, setupSeconds + lagSlackSeconds)
                    << o.value("tail", "") << " waited for its first position block";
            }
            if (motion.value("positionBlocks", 0) < 2) continue;
            ++speedChecked;
            EXPECT_LT(motion.value("largestSteadySpeedKt", 0.0), 2 * flights.at(*hexid).maxGs)
                << o.value("tail", "") << " (largest " << flights.at(*hexid).maxGs << " kt reported)";
        }
    EXPECT_GE(speedChecked, 5);
    for (const json& o : final["objects"]) {
        lastSeen[o.value("id", 0u)] = o;
        lastSeenAt[o.value("id", 0u)] = endAt;
    }
    // Cruise lights follow the 10,000 ft crossings in order: what an object got is a run of its flight's
    // sides of 10,000 ft, and each switch comes 30 s after the first report on the new side. A crossing
    // shown while the object was there has its switch.
    std::vector<double> offsets; // scenario seconds less the stand-in's seconds
    for (const Snapshot& s : snapshots)
        offsets.push_back(s.at - s.state.value("simSeconds", 0.0));
    std::nth_element(offsets.begin(), offsets.begin() + offsets.size() / 2, offsets.end());
    const double offset = offsets[offsets.size() / 2];
    int lightsChecked = 0;
    int crossingsShown = 0;
    std::set<int> sidesCrossedTo; // of the crossings shown: 1 below, 0 above
    for (const auto& [id, o] : lastSeen) {
        const auto hexid = flightOf(flights, o.value("tail", ""));
        if (!hexid) continue;
        const Flight& flight = flights.at(*hexid);
        // The rule is one of the air: on the ground the lights follow the ground phases (parked, taxi,
        // take-off roll), so a flight reported on the ground before the run's end is left out here.
        if (flight.firstOnGround + behindSeconds <= endAt) continue;
        const std::vector<int> shown = cruiseLightSwitches(o);
        const std::vector<int> reported = reportedSides(flight);
        EXPECT_TRUE(isRunWithin(shown, reported))
            << o.value("tail", "") << ": " << json(shown).dump() << " against " << json(reported).dump();
        if (!shown.empty()) ++lightsChecked;

        // The switches after the first (the set-up's), in scenario seconds, and the crossings.
        std::vector<std::pair<int, double>> switches;
        int side = -1;
        for (const json& e : o.value("events", json::array())) {
            if (e.value("name", "") != "LANDING_LIGHTS_SET") continue;
            const int v = e.value("value", 0) != 0 ? 1 : 0;
            if (side >= 0 && v != side) switches.emplace_back(v, e.value("time", 0.0) + offset);
            side = v;
        }
        std::vector<std::pair<int, double>> crossings;
        side = -1;
        for (const Report& r : flight.reports) {
            if (!r.record.pos.airborne) continue;
            const int v = r.record.pos.alt < 10000 ? 1 : 0;
            if (side >= 0 && v != side) crossings.emplace_back(v, r.at + behindSeconds);
            side = v;
        }
        const double from = o.value("created", 0.0) + offset + setupSeconds + lagSlackSeconds;
        const double until = lastSeenAt[id] - lagSlackSeconds;
        for (const auto& [v, at] : switches)
            EXPECT_TRUE(std::any_of(
                crossings.begin(), crossings.end(),
                [&](const auto& c) { return c.first == v && std::fabs(c.second - at) <= lagSlackSeconds; }))
                << o.value("tail", "") << ": lights " << v << " at " << at << " s, no crossing shown then";
        for (const auto& [v, at] : crossings) {
            if (at < from || at > until) continue;
            ++crossingsShown;
            sidesCrossedTo.insert(v);
            EXPECT_TRUE(std::any_of(
                switches.begin(), switches.end(),
                [&](const auto& w) { return w.first == v && std::fabs(w.second - at) <= lagSlackSeconds; }))
                << o.value("tail", "") << ": crossing to " << (v ? "below" : "above")
                << " 10,000 ft shown at " << at << " s without its lights";
        }
    }
    EXPECT_GE(crossingsShown, 1) << "the scenario climbs and descends through 10,000 ft early on";
    EXPECT_EQ(sidesCrossedTo.size(), 2u) << "a climb and a descent through 10,000 ft shown";
    EXPECT_GE(lightsChecked, 3);

    // The cut shows a landing: an object seen in the air and in a later look on the ground.
    std::set<std::uint64_t> seenInTheAir;
    bool landingShown = false;
    for (const Snapshot& s : snapshots)
        for (const json& o : s.state["objects"]) {
            if (!o.value("onGround", true))
                seenInTheAir.insert(o.value("id", 0u));
            else
                landingShown |= seenInTheAir.contains(o.value("id", 0u));
        }
    EXPECT_TRUE(landingShown) << "the arrival on runway 10 is shown landing";

    // Flights that left the range or stopped reporting in time were removed during the run, at the
    // program's asking (a flight's last report counts once the program has had 40 s beyond the 30 s; one
    // last reported in the air inside the range is first carried on by its dead-reckoned legs, 8 of 8 s,
    // so it counts once the program has had those and the lag slack beyond the 30 s). Every object the
    // stand-in had counts, also one created and removed between two looks; among them at least one
    // reported beyond the range and one whose reports stopped in the air well inside it.
    std::set<std::string> removedByClient;
    for (const json& r : final["removed"]) {
        if (r.value("cause", "") == "client") removedByClient.insert(r.value("tail", ""));
        lastSeen.emplace(r.value("id", 0u), r);
    }
    int leftTheRange = 0;
    int stoppedReporting = 0;
    for (const auto& [id, o] : lastSeen) {
        const auto hexid = flightOf(flights, o.value("tail", ""));
        if (!hexid) continue;
        const Flight& flight = flights.at(*hexid);
        const double lastReport = flight.lastReportAt;
        const bool deadReckoned = flight.lastAirborne && flight.lastReportNm < rangeNm - 0.5;
        const double allowed =
            deadReckoned ? airDeadReckoningLegs * static_cast<double>(airLegPasses) / 100 + lagSlackSeconds
                         : 40;
        if (lastReport + behindSeconds + allowed > endAt) continue;
        EXPECT_TRUE(removedByClient.contains(o.value("tail", "")))
            << o.value("tail", "") << " reported last at " << lastReport << " s";
        // The log says why each went.
        const auto logSays = [&](const std::string& why) {
            std::istringstream lines(log);
            for (std::string line; std::getline(lines, line);)
                for (const std::string& name : flight.names)
                    if (!name.empty() && line.find(" " + name + " ") != std::string::npos &&
                        line.find("removed: " + why) != std::string::npos)
                        return true;
            return false;
        };
        if (flight.lastAirborne && !deadReckoned) {
            ++leftTheRange;
            EXPECT_TRUE(logSays("left the range")) << o.value("tail", "");
        }
        if (deadReckoned && flight.lastReportNm < rangeNm - 5) {
            ++stoppedReporting;
            EXPECT_TRUE(logSays("no new position after dead reckoning")) << o.value("tail", "");
        }
    }
    EXPECT_GE(leftTheRange, 1) << "no flight that leaves the range was checked";
    EXPECT_GE(stoppedReporting, 1) << "no flight whose reports stop in the air was checked";
    EXPECT_EQ(log.find("==> "), std::string::npos) << log;
}

} // namespace
