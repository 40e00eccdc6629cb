#include <charconv>
#include <cmath>
#include <iostream>

#include <fmt/format.h>

#include "tools/rtfeed/rtfeed.h"

namespace rtfeed {

namespace {

constexpr std::string_view usage =
    "usage: skyloom-rtfeed play FILE [--speed X] [--host H] [--traffic-port 49005] [--qnh-port 49004] "
    "[--now]\n"
    "                           [--loop] [--tcp HOST:PORT --level 1|2 --version TEXT --tcp-log FILE]\n"
    "       skyloom-rtfeed flood [--rate 20000] [--seconds 60] [--host H] [--traffic-port 49005] [--flights "
    "500]\n"
    "                            [--centre LAT,LON]\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::uint16_t parsePort(std::string_view text) {
    unsigned value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || value == 0 || value > 65535)
        throw UsageError(fmt::format("bad port: {}", text));
    return static_cast<std::uint16_t>(value);
}

double parseSpeed(std::string_view text) {
    double value = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !(value > 0.0) || !(value < 1e6))
        throw UsageError(fmt::format("bad speed: {}", text));
    return value;
}

double parsePositive(std::string_view option, std::string_view text, double below) {
    double value = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !(value > 0.0) || !(value < below))
        throw UsageError(fmt::format("bad {}: {}", option, text));
    return value;
}

int runFlood(const std::vector<std::string>& args, const std::atomic<bool>& stop) {
    FloodOptions flood;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(fmt::format("{} needs a value", a));
            return args[++i];
        };
        if (a == "--rate") {
            flood.rate = parsePositive("rate", value(), 1e7);
        } else if (a == "--seconds") {
            flood.seconds = parsePositive("duration", value(), 1e6);
        } else if (a == "--host") {
            flood.host = value();
        } else if (a == "--traffic-port") {
            flood.trafficPort = parsePort(value());
        } else if (a == "--flights") {
            const std::string& text = value();
            int n = 0;
            const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
            if (r.ec != std::errc() || r.ptr != text.data() + text.size() || n < 1 || n > 9999)
                throw UsageError(fmt::format("bad number of flights (1 to 9999): {}", text));
            flood.flights = n;
        } else if (a == "--centre") {
            const std::string& text = value();
            const std::size_t comma = text.find(',');
            double lat = 0.0;
            double lon = 0.0;
            const auto rLat = std::from_chars(text.data(), text.data() + comma, lat);
            const auto rLon = comma == std::string::npos
                                  ? std::from_chars_result{nullptr, std::errc::invalid_argument}
                                  : std::from_chars(text.data() + comma + 1, text.data() + text.size(), lon);
            if (comma == std::string::npos || rLat.ec != std::errc() || rLat.ptr != text.data() + comma ||
                rLon.ec != std::errc() || rLon.ptr != text.data() + text.size() || !(std::abs(lat) <= 85.0) ||
                !(std::abs(lon) <= 180.0))
                throw UsageError(fmt::format("bad centre (LAT,LON): {}", text));
            flood.centreLat = lat;
            flood.centreLon = lon;
        } else {
            throw UsageError(fmt::format("unknown option {}", a));
        }
    }
    if (flood.rate * flood.seconds < 1.0)
        throw UsageError("the rate times the duration is below one datagram");

    Flooder flooder(flood);
    flooder.run(stop);
    const double seconds = std::chrono::duration<double>(flooder.elapsed()).count();
    std::cout << fmt::format(
        "skyloom-rtfeed: {} datagrams sent in {:.3f} s ({:.0f} a second), {} refused by the "
        "system\n",
        flooder.sent(), seconds, seconds > 0.0 ? flooder.sent() / seconds : 0.0, flooder.failed());
    return flooder.sent() == flooder.total() ? 0 : 1;
}

} // namespace

int runCommandLine(const std::vector<std::string>& args, const std::atomic<bool>& stop) {
    try {
        if (!args.empty() && args[0] == "flood") return runFlood(args, stop);
        if (args.size() < 2 || args[0] != "play") throw UsageError("expected: play FILE or flood");
        const std::filesystem::path file = args[1];
        PlayOptions play;
        std::optional<TcpPeer::Options> tcp;
        TcpPeer::Options tcpOptions;
        bool levelOrVersionGiven = false;
        for (std::size_t i = 2; i < args.size(); ++i) {
            const std::string& a = args[i];
            const auto value = [&]() -> const std::string& {
                if (i + 1 >= args.size()) throw UsageError(fmt::format("{} needs a value", a));
                return args[++i];
            };
            if (a == "--speed") {
                play.speed = parseSpeed(value());
            } else if (a == "--host") {
                play.host = value();
            } else if (a == "--traffic-port") {
                play.trafficPort = parsePort(value());
            } else if (a == "--qnh-port") {
                play.qnhPort = parsePort(value());
            } else if (a == "--now") {
                play.now = true;
            } else if (a == "--loop") {
                play.loop = true;
            } else if (a == "--tcp") {
                const std::string& hostPort = value();
                const std::size_t colon = hostPort.rfind(':');
                if (colon == std::string::npos || colon == 0) throw UsageError("--tcp needs HOST:PORT");
                tcpOptions.host = hostPort.substr(0, colon);
                tcpOptions.port = parsePort(std::string_view(hostPort).substr(colon + 1));
                tcp = tcpOptions;
            } else if (a == "--level") {
                const std::string& level = value();
                if (level != "1" && level != "2") throw UsageError("--level is 1 or 2");
                tcpOptions.level = level == "2" ? 2 : 1;
                levelOrVersionGiven = true;
            } else if (a == "--version") {
                tcpOptions.version = value();
                levelOrVersionGiven = true;
            } else if (a == "--tcp-log") {
                tcpOptions.logFile = value();
                levelOrVersionGiven = true;
            } else {
                throw UsageError(fmt::format("unknown option {}", a));
            }
        }
        if (tcp) {
            // --level, --version and --tcp-log may come before or after --tcp.
            tcpOptions.host = tcp->host;
            tcpOptions.port = tcp->port;
            tcp = tcpOptions;
        } else if (levelOrVersionGiven) {
            throw UsageError("--level, --version and --tcp-log need --tcp");
        }

        Player player(loadReplay(file), play);
        std::optional<TcpPeer> peer;
        if (tcp) {
            peer.emplace(*tcp);
            peer->start();
        }
        player.run(stop);
        if (peer) peer->stop();
        std::cout << fmt::format("skyloom-rtfeed: {} datagrams sent\n", player.sent());
        return 0;
    } catch (const UsageError& e) {
        std::cerr << "skyloom-rtfeed: " << e.what() << "\n" << usage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "skyloom-rtfeed: " << e.what() << "\n";
        return 1;
    }
}

} // namespace rtfeed
