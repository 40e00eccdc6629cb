#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>

#include "core/units.h"
#include "platform/net/socket.h"
#include "tools/rtfeed/rtfeed.h"

namespace rtfeed {

namespace {

using namespace std::chrono_literals;

double unixNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

std::string floodDatagram(std::uint64_t number, const FloodOptions& options, double feedTime) {
    const std::uint64_t flights = std::max<std::uint64_t>(options.flights, 1);
    const std::uint64_t flight = number % flights;
    const std::uint64_t pass = number / flights;
    // The flights stand on rings from 3 to 27 nm around the centre and circle it slowly, each on its
    // own bearing, at FL100 to FL349.
    const double ringNm = 3.0 + static_cast<double>(flight % 9) * 3.0;
    const double bearing =
        std::fmod(static_cast<double>(flight) * 137.508 + static_cast<double>(pass) * 0.01, 360.0);
    const double northNm = ringNm * std::cos(bearing / degreesPerRadian);
    const double eastNm = ringNm * std::sin(bearing / degreesPerRadian);
    const double lat = options.centreLat + northNm / 60.0;
    const double lon = options.centreLon + eastNm / (60.0 * std::cos(options.centreLat / degreesPerRadian));
    const int altitude = 10000 + static_cast<int>(flight * 250 % 25000);
    const double track = std::fmod(bearing + 90.0, 360.0);
    // The sequence number rides in the flight number field, which the program does not read: no two
    // datagrams of a run are alike.
    return fmt::format(
        "RTTFC,{},{:.6f},{:.6f},{},0,0,{:.1f},280.0,FLD{},A320,HB-F{:04},LSGG,LSZH,{:.3f},adsb,"
        "S{},adsb_icao,{},290,300,0.460,0.00,0.0,{:.1f},{:.1f},0,none,A3",
        0x4B0000 + flight, lat, lon, altitude, track, flight, flight, feedTime, number, altitude + 150, track,
        track);
}

std::chrono::steady_clock::duration floodDueAt(std::uint64_t number, double rate) {
    // Rounded up to the clock's tick: a wake at that time finds the datagram due.
    return std::chrono::ceil<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(static_cast<double>(number) / rate));
}

std::uint64_t floodDueBy(std::chrono::steady_clock::duration elapsed, double rate, std::uint64_t total) {
    if (elapsed < std::chrono::steady_clock::duration::zero() || total == 0) return 0;
    // Those due by now are 0 .. floor(elapsed * rate); the product may round either way, so the count
    // is settled against the due times themselves.
    const double estimate = std::floor(std::chrono::duration<double>(elapsed).count() * rate) + 1.0;
    std::uint64_t due = estimate >= static_cast<double>(total) ? total : static_cast<std::uint64_t>(estimate);
    while (due < total && floodDueAt(due, rate) <= elapsed)
        ++due;
    while (due > 0 && floodDueAt(due - 1, rate) > elapsed)
        --due;
    return due;
}

Flooder::Flooder(FloodOptions options) : options_(std::move(options)) {
    if (!(options_.rate > 0.0)) throw std::runtime_error("the rate must be above 0");
    if (!(options_.seconds > 0.0)) throw std::runtime_error("the duration must be above 0");
}

std::uint64_t Flooder::total() const {
    return static_cast<std::uint64_t>(std::llround(options_.rate * options_.seconds));
}

void Flooder::run(const std::atomic<bool>& stop) {
    net::Address to;
    if (const int rc = net::resolve(options_.host, std::to_string(options_.trafficPort), false, to); rc != 0)
        throw std::runtime_error(
            fmt::format("cannot resolve {}:{} (error {})", options_.host, options_.trafficPort, rc));
    net::startup();
    const net::SocketHandle s = net::openUdpSocket();
    if (s == net::invalidSocket) {
        net::cleanup();
        throw std::runtime_error(fmt::format("cannot open a UDP socket (error {})", net::lastError()));
    }
    Clock clock;
    clock.now = [] { return std::chrono::steady_clock::now(); };
    clock.sleepUntil = [](std::chrono::steady_clock::time_point until) {
        std::this_thread::sleep_until(until);
    };
    clock.unixNow = unixNow;
    run(stop, clock, [&](std::string_view datagram) { return net::sendTo(s, datagram, to) >= 0; });
    net::closeSocket(s);
    net::cleanup();
}

void Flooder::run(const std::atomic<bool>& stop, const Clock& clock,
                  const std::function<bool(std::string_view)>& send) {
    const std::uint64_t all = total();
    const auto start = clock.now();
    const double startUnix = clock.unixNow();
    std::uint64_t next = 0;
    while (next < all && !stop.load()) {
        const std::uint64_t due = floodDueBy(clock.now() - start, options_.rate, all);
        // Everything that is due goes out now: after a stall the run catches up, so that the number
        // sent in the run's time stays the rate times its length.
        for (; next < due; ++next) {
            // Each datagram carries the feed time it was due at.
            const double feedTime = startUnix + static_cast<double>(next) / options_.rate;
            if (send(floodDatagram(next, options_, feedTime))) {
                sent_.fetch_add(1);
            } else {
                failed_.fetch_add(1);
            }
        }
        if (next >= all) break;
        const auto nextDue = start + floodDueAt(next, options_.rate);
        // Short sleeps keep the bursts small (at 20,000 a second one wake sends a few datagrams).
        clock.sleepUntil(std::min(nextDue, clock.now() + 50ms));
    }
    elapsed_ = clock.now() - start;
}

} // namespace rtfeed
