// The traffic reader's cost per datagram through its socket: the wait, the receive with the system's
// drop count, the reading and the queue, as the reader thread runs them. A batch of datagrams is sent
// over loopback and the clock stops when the reader has counted them all (or the system has dropped
// the rest). Target: well above 20,000 datagrams a second, the heaviest feed.

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "bench/feed/bench_datagrams.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "platform/net/socket.h"

namespace {

constexpr Lalo lszh = benchLszh;
constexpr int batch = 256;

void BM_TrafficReaderThroughSocket(benchmark::State& state) {
    realTrafficLocal.store(true); // every datagram is handled, repeats too
    gf_setAddingStackOpen(true);
    TrafficReader reader;
    reader.setReferencePosition(lszh);
    reader.startWinsock();
    reader.createSocket();
    reader.bindPort(0);
    std::thread thread([&] { reader.receiveLoop(); });

    net::Address to;
    net::resolve("127.0.0.1", std::to_string(reader.boundPort.load()), false, to);
    const net::SocketHandle sender = net::openUdpSocket();
    const auto payloads = gf_benchDatagrams(batch * 16, 300);
    std::size_t next = 0;
    std::int64_t handled = 0;
    for (auto _ : state) {
        const std::int64_t before = reader.datagramCount.load() + reader.systemDrops.load();
        for (int i = 0; i < batch; ++i)
            net::sendTo(sender, payloads[next++ % payloads.size()], to);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (reader.datagramCount.load() + reader.systemDrops.load() < before + batch &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        handled += batch;
        state.PauseTiming();
        {
            // The engine takes the records away.
            std::lock_guard lock(addingStackMutex);
            addingStack.clear();
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(handled);
    state.counters["dropped_by_system"] = static_cast<double>(reader.systemDrops.load());
    state.counters["counted"] = static_cast<double>(reader.datagramCount.load());

    reader.stopFlag.store(true);
    thread.join();
    net::closeSocket(sender);
    reader.closeSocket();
}

BENCHMARK(BM_TrafficReaderThroughSocket)->UseRealTime();

} // namespace
