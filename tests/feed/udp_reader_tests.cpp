#include <cstdlib>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "feed_test_support.h"

namespace {

using namespace std::chrono_literals;

class RecordingReader : public UdpReader {
public:
    RecordingReader() : UdpReader("Test Reader") {}
    void onDatagram() override {
        std::lock_guard lock(mutex_);
        handed_.emplace_back(data_);
    }
    void onStopped() override { stopped.store(true); }
    std::vector<std::string> handed() {
        std::lock_guard lock(mutex_);
        return handed_;
    }
    std::atomic<bool> stopped{false};

private:
    std::mutex mutex_;
    std::vector<std::string> handed_;
};

// Runs a reader's receive loop on its own thread on an ephemeral port.
class LoopThread {
public:
    explicit LoopThread(UdpReader& reader, bool startNow = true) : reader_(reader) {
        reader_.startWinsock();
        reader_.createSocket();
        reader_.bindPort(0);
        if (startNow) start();
    }
    void start() {
        done_ = std::async(std::launch::async, [this] { reader_.receiveLoop(); });
    }
    ~LoopThread() { stop(); }
    // True when the loop ended within the limit.
    bool stop() {
        reader_.stopFlag.store(true);
        if (!done_.valid()) return true;
        const bool ended = done_.wait_for(5s) == std::future_status::ready;
        if (ended) done_.get();
        reader_.closeSocket();
        return ended;
    }

private:
    UdpReader& reader_;
    std::future<void> done_;
};

class UdpSender {
public:
    explicit UdpSender(std::uint16_t port) : socket_(net::openUdpSocket()) {
        EXPECT_EQ(net::resolve("127.0.0.1", std::to_string(port), false, to_), 0);
    }
    ~UdpSender() { net::closeSocket(socket_); }
    void send(const std::string& datagram) {
        EXPECT_EQ(net::sendTo(socket_, datagram, to_), static_cast<long>(datagram.size()));
    }

private:
    net::SocketHandle socket_;
    net::Address to_;
};

class UdpReaderTest : public FeedTest {};

TEST_F(UdpReaderTest, RepeatsAreHandedOnOnlyWhenRealTrafficIsLocal) {
    for (const bool local : {false, true}) {
        SCOPED_TRACE(local ? "local" : "remote");
        realTrafficLocal.store(local);
        RecordingReader reader;
        LoopThread loop(reader);
        UdpSender sender(reader.boundPort.load());
        for (const char* d : {"A", "A", "B", "A"})
            sender.send(d);
        ASSERT_TRUE(eventually([&] { return reader.datagramCount.load() == 4; }));
        ASSERT_TRUE(loop.stop());
        EXPECT_TRUE(reader.stopped.load());
        const std::vector<std::string> expected =
            local ? std::vector<std::string>{"A", "A", "B", "A"} : std::vector<std::string>{"A", "B", "A"};
        EXPECT_EQ(reader.handed(), expected);
    }
}

TEST_F(UdpReaderTest, OversizedDatagramIsLoggedAndSkipped) {
    RecordingReader reader;
    LoopThread loop(reader);
    UdpSender sender(reader.boundPort.load());
    const std::string largest(UdpReader::maxDatagram - 1, 'a');
    sender.send(std::string(UdpReader::maxDatagram, 'x'));
    sender.send(largest);
    ASSERT_TRUE(eventually([&] { return reader.datagramCount.load() == 1; }));
    ASSERT_TRUE(loop.stop());
    EXPECT_EQ(reader.handed(), std::vector<std::string>{largest});
    EXPECT_NE(logText().find("buffer overrun: 16384 bytes\n"), std::string::npos);
}

// With a tiny receive buffer and the reader not yet reading, the system drops datagrams: the next
// datagram queued afterwards brings the count, the reader logs it, and its own count and the system's
// add up to all that was sent.
TEST_F(UdpReaderTest, DatagramsTheSystemDropsAreLogged) {
    RecordingReader reader;
    reader.receiveBufferBytes = 1; // the system's smallest
    LoopThread loop(reader, /*start=*/false);
    UdpSender sender(reader.boundPort.load());
    constexpr int burst = 200;
    for (int i = 0; i < burst; ++i)
        sender.send(std::string(1000, static_cast<char>('a' + i % 26)));
    loop.start();
    ASSERT_TRUE(eventually([&] { return reader.datagramCount.load() > 0; }));
    sender.send("after the burst");
    ASSERT_TRUE(eventually([&] {
        const auto handed = reader.handed();
        return !handed.empty() && handed.back() == "after the burst";
    }));
    ASSERT_TRUE(loop.stop());
    const std::uint32_t drops = reader.systemDrops.load();
    EXPECT_GT(drops, 0u);
    EXPECT_EQ(reader.datagramCount.load() + static_cast<int>(drops), burst + 1);
    EXPECT_NE(
        logText().find(fmt::format(
            "Test Reader: {} datagrams dropped by the system so far, its receive buffer was full\n", drops)),
        std::string::npos)
        << logText();
}

TEST_F(UdpReaderTest, PortInUseStopsTheRunWithReaderError) {
    const auto blocker = net::openUdpSocket();
    ASSERT_EQ(net::bindIpv4(blocker, false, 0), 0);
    const auto port = net::localPort(blocker);

    gf_trafficReaderThread(port); // returns at once: the thread has ended
    net::closeSocket(blocker);

    EXPECT_EQ(runControl.stopReason(), StopReason::ReaderError);
    EXPECT_EQ(runControl.restartDelay.load(), 15);
    EXPECT_EQ(messages(),
              std::vector<std::string>{"The Traffic Reader has stopped with error: bind to stream "
                                       "socket failed, error: 10048 Address already in use"});
    EXPECT_NE(logText().find("          Traffic Reader disconnected\n"), std::string::npos);
    EXPECT_FALSE(trafficReader.running.load());
    EXPECT_EQ(feedStatus.trafficStatus.load(), readerStopped);
}

TEST_F(UdpReaderTest, TrafficThreadQueuesFlightsAndEndsOnItsStopFlag) {
    trafficReader.setReferencePosition({47.4581, 8.5481});
    gf_setAddingStackOpen(true);
    gf_startTrafficReader(0);
    ASSERT_TRUE(eventually([] { return trafficReader.boundPort.load() != 0; }));
    EXPECT_EQ(feedStatus.trafficStatus.load(), readerFlowing);
    EXPECT_EQ(feedStatus.qnhStatus.load(), readerFlowing); // shown even before the QNH reader binds

    UdpSender sender(trafficReader.boundPort.load());
    sender.send("RTTFC,4921362,47.5,8.6,12000,-800,0,275.4,250,SWR123,A320,HB-JLT,ZRH,LHR,1765370000.5,adsb,"
                "LX123,adsb_icao,12100,240,280,0.5,0,2.5,270,272.5,-768,none,A3");
    ASSERT_TRUE(eventually([] {
        std::lock_guard lock(addingStackMutex);
        return addingStack.size() == 1;
    }));

    gf_stopReaders();
    ASSERT_TRUE(gf_waitForReadersToEnd(5s));
    EXPECT_EQ(feedStatus.trafficStatus.load(), readerStopped);
    const std::string log = logText();
    EXPECT_NE(log.find("          Traffic Reader connected\n"), std::string::npos);
    EXPECT_NE(log.find("Traffic Reader has stopped\n"), std::string::npos);
    EXPECT_NE(log.find("          Traffic Reader disconnected\n"), std::string::npos);
    EXPECT_EQ(runControl.stopReason(), StopReason::NotYetSet);
}

TEST_F(UdpReaderTest, QnhThreadPublishesAndEnds) {
    gf_startQnhReader(0);
    ASSERT_TRUE(eventually([] { return qnhReader.boundPort.load() != 0; }));
    EXPECT_EQ(feedStatus.qnhStatus.load(), readerFlowing);
    UdpSender sender(qnhReader.boundPort.load());
    sender.send(R"({"QNH":1021})");
    ASSERT_TRUE(eventually([] { return currentQnh.load() == 1021; }));
    gf_stopReaders();
    ASSERT_TRUE(gf_waitForReadersToEnd(5s));
    EXPECT_NE(logText().find("QNH Reader has stopped\n"), std::string::npos);
}

TEST_F(UdpReaderTest, WatchdogTurnsCountersIntoStatuses) {
    feedStatus.trafficStatus.store(readerFlowing);
    feedStatus.qnhStatus.store(readerFlowing);
    gf_checkReaderActivity(); // RealTraffic not connected: nothing changes
    EXPECT_EQ(feedStatus.trafficStatus.load(), readerFlowing);
    EXPECT_EQ(repaints(), 0);

    feedStatus.realTrafficConnected.store(true);
    trafficReader.datagramCount.store(5);
    gf_checkReaderActivity();
    EXPECT_EQ(feedStatus.qnhStatus.load(), readerNoData);
    EXPECT_EQ(feedStatus.trafficStatus.load(), readerFlowing);
    gf_checkReaderActivity();
    EXPECT_EQ(feedStatus.trafficStatus.load(), readerNoData);

    // A datagram alone does not change the status; the next watchdog call does, and only once.
    trafficReader.datagramCount.fetch_add(1);
    EXPECT_EQ(feedStatus.trafficStatus.load(), readerNoData);
    gf_checkReaderActivity();
    EXPECT_EQ(feedStatus.trafficStatus.load(), readerFlowing);
    const int repaintsAfter = repaints();
    trafficReader.datagramCount.fetch_add(1);
    qnhReader.datagramCount.fetch_add(1);
    gf_checkReaderActivity();
    gf_checkReaderActivity(); // now both have no new data again
    EXPECT_EQ(feedStatus.qnhStatus.load(), readerNoData);
    EXPECT_EQ(repaints(), repaintsAfter + 1 + 2);
}

TEST_F(UdpReaderTest, LocalRealTrafficIsFoundByItsJarInTheRoamingFolder) {
    const char* previous = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
    const auto roaming = folder_ / "config";
    ::setenv("XDG_CONFIG_HOME", roaming.c_str(), 1);
    EXPECT_FALSE(gf_detectLocalRealTraffic());
    std::filesystem::create_directories(roaming / "InsideSystems");
    std::ofstream(roaming / "InsideSystems" / "RealTraffic.jar") << "jar";
    EXPECT_TRUE(gf_detectLocalRealTraffic());
    EXPECT_TRUE(realTrafficLocal.load());
    if (saved) {
        ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

} // namespace
