#include <algorithm>
#include <stdexcept>

#include <fmt/format.h>

#include "platform/net/socket.h"
#include "tools/rtfeed/rtfeed.h"

namespace rtfeed {

namespace {

using namespace std::chrono_literals;

net::Address resolveUdp(const std::string& host, std::uint16_t port) {
    net::Address address;
    if (const int rc = net::resolve(host, std::to_string(port), false, address); rc != 0)
        throw std::runtime_error(fmt::format("cannot resolve {}:{} (error {})", host, port, rc));
    return address;
}

double unixNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Sleeps until the time point; false when the stop flag was set meanwhile.
bool sleepUntil(std::chrono::steady_clock::time_point until, const std::atomic<bool>& stop) {
    while (!stop.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, 50ms));
    }
    return false;
}

} // namespace

std::chrono::steady_clock::duration loopPeriod(const std::vector<ReplayLine>& lines, double speed) {
    const double last = lines.empty() ? 0.0 : lines.back().at / speed;
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::max(last, 1.0)));
}

Player::Player(std::vector<ReplayLine> lines, PlayOptions options)
    : lines_(std::move(lines)), options_(std::move(options)) {
    if (!(options_.speed > 0.0)) throw std::runtime_error("the speed must be above 0");
}

void Player::run(const std::atomic<bool>& stop) {
    const net::Address traffic = resolveUdp(options_.host, options_.trafficPort);
    const net::Address qnh = resolveUdp(options_.host, options_.qnhPort);
    net::startup();
    const net::SocketHandle s = net::openUdpSocket();
    if (s == net::invalidSocket) {
        net::cleanup();
        throw std::runtime_error(fmt::format("cannot open a UDP socket (error {})", net::lastError()));
    }

    if (lines_.empty()) {
        net::closeSocket(s);
        net::cleanup();
        return;
    }

    std::optional<double> firstTimestamp;
    for (const auto& line : lines_) {
        if (line.kind == 'T') firstTimestamp = trafficTimestamp(line.payload);
        if (firstTimestamp) break;
    }

    const auto period = loopPeriod(lines_, options_.speed);
    auto start = std::chrono::steady_clock::now();
    for (bool first = true; first || (options_.loop && !stop.load()); first = false) {
        if (!first) {
            // A pass that took longer than the period starts the next one at once, with its own times.
            start = std::max(start + period, std::chrono::steady_clock::now());
            if (!sleepUntil(start, stop)) break;
        }
        const double offset = options_.now && firstTimestamp ? unixNow() - *firstTimestamp : 0.0;
        for (const auto& line : lines_) {
            const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                         std::chrono::duration<double>(line.at / options_.speed));
            if (!sleepUntil(due, stop)) break;
            const bool isTraffic = line.kind == 'T';
            const std::string payload =
                isTraffic && offset != 0.0 ? shiftTimestamp(line.payload, offset) : line.payload;
            if (net::sendTo(s, payload, isTraffic ? traffic : qnh) >= 0) sent_.fetch_add(1);
        }
    }

    net::closeSocket(s);
    net::cleanup();
}

} // namespace rtfeed
