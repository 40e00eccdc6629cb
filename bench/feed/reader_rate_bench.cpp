// The traffic reader under the heaviest feed, side by side with a bare reader: 100,000 datagrams a
// second for 30 seconds (SKYLOOM_READER_SECONDS to change it) over loopback into a socket with a 4 MiB
// receive buffer, first into a plain poll + recvfrom loop, then into the traffic reader's own receive
// loop (reading, filtering and queueing every datagram while a stand-in of the engine takes the records
// every 10 ms as the engine's pass does). Each repetition runs both, so that both see the same load.
//
// Targets: the traffic reader loses no datagram ("lost" 0: sent but never counted), and its CPU time per
// datagram ("cpu_ns") is at most 1.2 times the bare reader's ("ratio" <= 1.2).
//
// Run: feed_bench --benchmark_filter=ReaderRate --benchmark_repetitions=5

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "bench/feed/bench_datagrams.h"
#include "engine/engine_pass.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "platform/net/socket.h"

namespace {

using namespace std::chrono_literals;

constexpr Lalo lszh = benchLszh;
constexpr int rate = 100'000;        // datagrams a second
constexpr int ticksPerSecond = 1000; // the sender sends rate / ticksPerSecond every millisecond
constexpr int bufferBytes = 4 * 1024 * 1024;

int lf_seconds() {
    const char* text = std::getenv("SKYLOOM_READER_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 30;
    return seconds > 0 ? seconds : 30;
}

double lf_threadCpuSeconds(pthread_t thread) {
    clockid_t clock{};
    if (pthread_getcpuclockid(thread, &clock) != 0) return 0.0;
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Sends `rate` datagrams a second for the given time, in steps of one millisecond. Returns how many.
std::int64_t lf_send(std::uint16_t port, const std::vector<std::string>& payloads, int seconds) {
    net::Address to;
    net::resolve("127.0.0.1", std::to_string(port), false, to);
    const net::SocketHandle sender = net::openUdpSocket();
    constexpr int perTick = rate / ticksPerSecond;
    std::int64_t sent = 0;
    std::size_t next = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t tick = 0; tick < static_cast<std::int64_t>(seconds) * ticksPerSecond; ++tick) {
        std::this_thread::sleep_until(start + tick * 1ms);
        for (int i = 0; i < perTick; ++i) {
            if (net::sendTo(sender, payloads[next], to) > 0) ++sent;
            next = next + 1 == payloads.size() ? 0 : next + 1;
        }
    }
    net::closeSocket(sender);
    return sent;
}

struct ReaderFigures {
    std::int64_t sent = 0;
    std::int64_t received = 0;
    double cpuSeconds = 0.0;
};

// The reference: a socket with the same buffer, read as plainly as it gets.
ReaderFigures lf_runBareReader(const std::vector<std::string>& payloads, int seconds) {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    net::bindIpv4(s, true, 0);
    const std::uint16_t port = net::localPort(s);
    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> received{0};
    std::thread reader([&] {
        std::vector<char> buffer(UdpReader::maxDatagram + 1);
        while (!stop.load()) {
            pollfd p{s, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) continue;
            const ssize_t n = ::recvfrom(s, buffer.data(), UdpReader::maxDatagram, 0, nullptr, nullptr);
            if (n > 0) received.fetch_add(1, std::memory_order_relaxed);
        }
    });
    const double cpuBefore = lf_threadCpuSeconds(reader.native_handle());
    ReaderFigures f;
    f.sent = lf_send(port, payloads, seconds);
    // What is still in the socket's buffer is read before the count is taken.
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (received.load() < f.sent && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    f.cpuSeconds = lf_threadCpuSeconds(reader.native_handle()) - cpuBefore;
    f.received = received.load();
    stop.store(true);
    reader.join();
    ::close(s);
    return f;
}

// The traffic reader's own loop, with the engine's intake taking the records every 10 ms.
ReaderFigures lf_runTrafficReader(const std::vector<std::string>& payloads, int seconds) {
    realTrafficLocal.store(true); // every datagram is handled, as with RealTraffic on this computer
    gf_setAddingStackOpen(true);
    TrafficReader reader;
    reader.setReferencePosition(lszh);
    reader.receiveBufferBytes = bufferBytes;
    reader.startWinsock();
    reader.createSocket();
    reader.bindPort(0);
    std::thread thread([&] { reader.receiveLoop(); });

    std::atomic<bool> stopEngine{false};
    std::thread engine([&] {
        std::vector<TrafficRecord> taken;
        taken.reserve(4096);
        while (!stopEngine.load()) {
            std::this_thread::sleep_for(10ms);
            {
                std::lock_guard lock(addingStackMutex);
                for (std::size_t n = gf_recordsToTake(addingStack.size()); n > 0 && !addingStack.empty();
                     --n) {
                    taken.push_back(std::move(addingStack.front()));
                    addingStack.pop_front();
                }
            }
            benchmark::DoNotOptimize(taken.data());
            taken.clear();
        }
    });

    const double cpuBefore = lf_threadCpuSeconds(thread.native_handle());
    ReaderFigures f;
    f.sent = lf_send(reader.boundPort.load(), payloads, seconds);
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (reader.datagramCount.load() < f.sent && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    f.cpuSeconds = lf_threadCpuSeconds(thread.native_handle()) - cpuBefore;
    f.received = reader.datagramCount.load();
    reader.stopFlag.store(true);
    thread.join();
    stopEngine.store(true);
    engine.join();
    reader.closeSocket();
    {
        std::lock_guard lock(addingStackMutex);
        addingStack.clear();
    }
    return f;
}

void BM_ReaderRateAgainstBareReader(benchmark::State& state) {
    const auto payloads = gf_benchDatagrams(4000, 1000); // 1,000 flights
    const int seconds = lf_seconds();
    ReaderFigures bare;
    ReaderFigures ours;
    static int round = 0;
    for (auto _ : state) {
        // Which of the two goes first changes from one repetition to the next.
        if (round++ % 2 == 0) {
            bare = lf_runBareReader(payloads, seconds);
            ours = lf_runTrafficReader(payloads, seconds);
        } else {
            ours = lf_runTrafficReader(payloads, seconds);
            bare = lf_runBareReader(payloads, seconds);
        }
    }
    const auto perDatagramNs = [](const ReaderFigures& f) {
        return f.received > 0 ? f.cpuSeconds * 1e9 / static_cast<double>(f.received) : 0.0;
    };
    state.counters["bare_lost"] = static_cast<double>(bare.sent - bare.received);
    state.counters["bare_cpu_ns"] = perDatagramNs(bare);
    state.counters["lost"] = static_cast<double>(ours.sent - ours.received);
    state.counters["cpu_ns"] = perDatagramNs(ours);
    state.counters["ratio"] = perDatagramNs(bare) > 0 ? perDatagramNs(ours) / perDatagramNs(bare) : 0.0;
    state.counters["sent"] = static_cast<double>(ours.sent);
}

BENCHMARK(BM_ReaderRateAgainstBareReader)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
