#include <chrono>
#include <cmath>
#include <fstream>
#include <future>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "feed/traffic_datagram.h"
#include "platform/net/socket.h"
#include "tools/rtfeed/rtfeed.h"

namespace {

using namespace std::chrono_literals;

TEST(Replay, LinesAndTheirErrors) {
    std::istringstream good("# comment\n"
                            "0.0\tT\tRTTFC,1,2\r\n"
                            "\n"
                            "1.5\tQ\t{\"QNH\":1013}\n"
                            "1.5\tT\ta\tb\n");
    const auto lines = rtfeed::parseReplay(good);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].kind, 'T');
    EXPECT_EQ(lines[0].payload, "RTTFC,1,2");
    EXPECT_EQ(lines[1].kind, 'Q');
    EXPECT_DOUBLE_EQ(lines[1].at, 1.5);
    EXPECT_EQ(lines[2].payload, "a\tb"); // the payload runs to the end of the line

    const struct {
        const char* text;
        const char* error;
    } bad[] = {
        {"1.0 T x\n", "line 1: no tab after the time"},
        {"1.0\tT\n", "line 1: no tab after the kind"},
        {"x\tT\tp\n", "line 1: bad time"},
        {"1\tX\tp\n", "line 1: kind is neither T nor Q"},
        {"1\tT\t\n", "line 1: empty payload"},
        {"2\tT\tp\n#\n1\tT\tp\n", "line 3: time goes backwards"},
    };
    for (const auto& b : bad) {
        std::istringstream in(b.text);
        try {
            rtfeed::parseReplay(in);
            ADD_FAILURE() << b.text;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), b.error);
        }
    }
}

TEST(Replay, FeedTimeShift) {
    const std::string payload = "RTTFC,1,2,3,4,5,6,7,8,9,10,11,12,13,1765364400.25,15,16";
    EXPECT_EQ(rtfeed::trafficTimestamp(payload), 1765364400.25);
    EXPECT_EQ(rtfeed::shiftTimestamp(payload, 100.5),
              "RTTFC,1,2,3,4,5,6,7,8,9,10,11,12,13,1765364500.75,15,16");
    EXPECT_EQ(rtfeed::shiftTimestamp("a,b", 5.0), "a,b");
    EXPECT_FALSE(rtfeed::trafficTimestamp("a,b"));
}

class UdpPort {
public:
    UdpPort() : socket_(net::openUdpSocket()) {
        net::bindIpv4(socket_, true, 0);
        port = net::localPort(socket_);
    }
    ~UdpPort() { net::closeSocket(socket_); }
    int setReceiveBuffer(int bytes) { return net::setReceiveBuffer(socket_, bytes); }
    std::string next(std::chrono::milliseconds wait = 10s) {
        if (net::waitReadable(socket_, wait) != 1) return "(nothing)";
        char buffer[2048];
        const long n = net::receiveFrom(socket_, buffer, sizeof buffer);
        return std::string(buffer, static_cast<std::size_t>(n));
    }
    std::uint16_t port = 0;

private:
    net::SocketHandle socket_;
};

TEST(Player, SendsTrafficAndQnhToTheirPortsAndMovesFeedTimesToNow) {
    UdpPort traffic;
    UdpPort qnh;
    std::vector<rtfeed::ReplayLine> lines{
        {0.0, 'T', "RTTFC,1,2,3,4,5,6,7,8,9,10,11,12,13,1000.5,15"},
        {0.01, 'Q', R"({"QNH":1018})"},
        {0.02, 'T', "RTTFC,1,2,3,4,5,6,7,8,9,10,11,12,13,1004.5,15"},
    };
    rtfeed::PlayOptions options;
    options.speed = 10.0;
    options.trafficPort = traffic.port;
    options.qnhPort = qnh.port;
    options.now = true;
    rtfeed::Player player(lines, options);
    const std::atomic<bool> stop{false};
    const double before =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    player.run(stop);
    EXPECT_EQ(player.sent(), 3u);

    const auto first = rtfeed::trafficTimestamp(traffic.next());
    const auto second = rtfeed::trafficTimestamp(traffic.next());
    ASSERT_TRUE(first && second);
    EXPECT_GE(*first, before - 1.0);
    EXPECT_NEAR(*second - *first, 4.0, 1e-6);
    EXPECT_EQ(qnh.next(), R"({"QNH":1018})");
}

TEST(Player, StopFlagEndsALoop) {
    UdpPort traffic;
    rtfeed::PlayOptions options;
    options.trafficPort = traffic.port;
    options.qnhPort = traffic.port;
    options.loop = true;
    options.speed = 100.0;
    rtfeed::Player player({{0.0, 'T', "x"}, {0.5, 'T', "y"}}, options);
    std::atomic<bool> stop{false};
    auto playing = std::async(std::launch::async, [&] { player.run(stop); });
    // The first pass is sent; the stop then ends the pause before the next one.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (player.sent() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_GE(player.sent(), 2u);
    stop.store(true);
    EXPECT_EQ(playing.wait_for(10s), std::future_status::ready);
}

// A looped replay starts again after its last line's time at the speed, never sooner than a second.
TEST(Player, LoopPeriod) {
    const struct {
        std::vector<rtfeed::ReplayLine> lines;
        double speed;
        double seconds;
    } cases[] = {
        {{{0.0, 'T', "x"}, {0.0, 'T', "y"}}, 1.0, 1.0},    {{}, 1.0, 1.0},
        {{{0.0, 'T', "x"}, {0.5, 'T', "y"}}, 100.0, 1.0},  {{{0.0, 'T', "x"}, {180.0, 'Q', "y"}}, 1.0, 180.0},
        {{{0.0, 'T', "x"}, {180.0, 'Q', "y"}}, 4.0, 45.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(std::chrono::duration<double>(rtfeed::loopPeriod(c.lines, c.speed)).count(),
                         c.seconds)
            << c.lines.size() << " lines at speed " << c.speed;
}

// A flood on a virtual clock: every datagram leaves at its due time n / rate, never before, and a
// stall of the sender is caught up at once, so that a run sends exactly rate x seconds in its time.
TEST(Flood, PacesEveryDatagramToItsDueTimeAndCatchesUpAfterAStall) {
    using Clock = std::chrono::steady_clock;
    const struct {
        double rate;
        double seconds;
        double stallAt; // the one sleep that ends late, by stallSeconds (no stall when negative)
        double stallSeconds;
        std::uint64_t total;
    } cases[] = {
        {20000.0, 0.5, -1.0, 0.0, 10000},
        {20000.0, 0.5, 0.1, 0.2, 10000},
        {3.0, 2.0, -1.0, 0.0, 6},
        {1000.0, 1.0, 0.0, 5.0, 1000}, // the stall outlasts the run: everything goes at once
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("rate {} for {} s, stall {} s at {} s", c.rate, c.seconds, c.stallSeconds,
                                 c.stallAt));
        const Clock::time_point origin{};
        Clock::time_point now = origin;
        bool stalled = c.stallAt < 0.0;
        rtfeed::Flooder::Clock clock;
        clock.now = [&] { return now; };
        int spins = 0;
        clock.sleepUntil = [&](Clock::time_point until) {
            if (until <= now) {
                ++spins; // a sleep that does not wait: the sender spins without sending
                until = now + Clock::duration(1);
            }
            now = until;
            if (!stalled && std::chrono::duration<double>(now - origin).count() >= c.stallAt) {
                stalled = true;
                now += std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(c.stallSeconds));
            }
        };
        clock.unixNow = [] { return 1765364400.0; };

        std::vector<double> sentAt;
        std::set<std::string> distinct;
        std::vector<std::string> order;
        rtfeed::FloodOptions options;
        options.rate = c.rate;
        options.seconds = c.seconds;
        options.flights = 7;
        rtfeed::Flooder flooder(options);
        const std::atomic<bool> stop{false};
        flooder.run(stop, clock, [&](std::string_view datagram) {
            sentAt.push_back(std::chrono::duration<double>(now - origin).count());
            distinct.emplace(datagram);
            order.emplace_back(datagram);
            return true;
        });

        EXPECT_EQ(spins, 0);
        ASSERT_EQ(flooder.total(), c.total);
        EXPECT_EQ(flooder.sent(), c.total);
        EXPECT_EQ(flooder.failed(), 0u);
        EXPECT_EQ(distinct.size(), c.total);
        ASSERT_EQ(sentAt.size(), c.total);
        double late = 0.0;
        for (std::size_t n = 0; n < sentAt.size(); ++n) {
            const double due = static_cast<double>(n) / c.rate;
            ASSERT_GE(sentAt[n], due - 1e-9) << "datagram " << n << " left early";
            late = std::max(late, sentAt[n] - due);
            // Sent in order, each carrying its number and the feed time it was due at.
            ASSERT_NE(order[n].find(fmt::format(",S{},", n)), std::string::npos) << order[n];
            ASSERT_NEAR(rtfeed::trafficTimestamp(order[n]).value_or(0.0), 1765364400.0 + due, 0.0006);
        }
        // Late only by the stall; the clock's sleeps never overshoot here.
        EXPECT_LE(late, std::max(c.stallSeconds, 0.0) + 1e-6);
        // The run ends with its last datagram.
        const double lastDue = (static_cast<double>(c.total) - 1.0) / c.rate;
        EXPECT_GE(std::chrono::duration<double>(flooder.elapsed()).count(), lastDue);
        EXPECT_LE(std::chrono::duration<double>(flooder.elapsed()).count(), lastDue + c.stallSeconds + 1e-3);
    }
}

// Every flood datagram is a flight the traffic reader takes, within range of the centre, one of the
// flights asked for.
TEST(Flood, DatagramsAreTrafficTheReaderAccepts) {
    for (const auto& [lat, lon] :
         std::vector<std::pair<double, double>>{{47.4647, 8.5492}, {-33.9461, 151.1772}, {64.1, -21.9}}) {
        rtfeed::FloodOptions options;
        options.flights = 40;
        options.centreLat = lat;
        options.centreLon = lon;
        TrafficFilter filter;
        filter.reference = Lalo{lat, lon};
        filter.radiusNm = 28.0;
        std::set<std::string> callsigns;
        for (std::uint64_t n = 0; n < 200; ++n) {
            const std::string datagram = rtfeed::floodDatagram(n, options, 1765364400.0 + n * 0.05);
            const TrafficDatagramResult r = gf_readTrafficDatagram(datagram, filter);
            ASSERT_EQ(r.drop, TrafficDrop::none) << datagram << " " << r.error;
            EXPECT_GE(r.record.pos.alt, 10000.0) << datagram;
            EXPECT_NEAR(r.feedTime.value_or(0.0), 1765364400.0 + static_cast<double>(n) * 0.05, 0.0006);
            callsigns.insert(r.record.cs);
        }
        EXPECT_EQ(callsigns.size(), 40u);
    }
}

// A real flood over loopback: the receiver gets every datagram the flooder counts, each once.
TEST(Flood, SendsTheCountedDatagramsToThePort) {
    UdpPort traffic;
    ASSERT_GE(traffic.setReceiveBuffer(4 * 1024 * 1024), 1024 * 1024);
    rtfeed::FloodOptions options;
    options.rate = 4000.0;
    options.seconds = 0.25;
    options.trafficPort = traffic.port;
    rtfeed::Flooder flooder(options);
    const std::atomic<bool> stop{false};
    flooder.run(stop);
    EXPECT_EQ(flooder.sent(), 1000u);
    std::set<std::string> received;
    for (std::string d = traffic.next(100ms); d != "(nothing)"; d = traffic.next(100ms))
        received.insert(d);
    EXPECT_EQ(received.size(), 1000u);
}

// The program's side of the link, for the peer to connect to.
class Server {
public:
    Server() {
        net::Address address;
        net::resolvePassiveTcp("0", address);
        listening_ = net::openSocket(address.family, address.type, address.protocol);
        net::bindTo(listening_, address);
        net::listenOn(listening_);
        port = net::localPort(listening_);
    }
    ~Server() {
        if (client_ != net::invalidSocket) net::closeSocket(client_);
        net::closeSocket(listening_);
    }
    void accept() {
        ASSERT_EQ(net::waitReadable(listening_, 10s), 1);
        if (client_ != net::invalidSocket) net::closeSocket(client_);
        client_ = net::acceptClient(listening_);
    }
    void send(std::string_view text) { net::sendBytes(client_, text); }
    std::string receive() {
        if (net::waitReadable(client_, 10s) != 1) return "(nothing)";
        char buffer[512];
        const long n = net::receive(client_, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    void dropClient() {
        net::closeSocket(client_);
        client_ = net::invalidSocket;
    }
    std::uint16_t port = 0;

private:
    net::SocketHandle listening_ = net::invalidSocket;
    net::SocketHandle client_ = net::invalidSocket;
};

TEST(TcpPeer, AnswersTheVersionRequestLogsLinesAndReconnects) {
    const auto log =
        std::filesystem::temp_directory_path() / ("rtfeed-tcp-" + std::to_string(::getpid()) + ".log");
    std::filesystem::remove(log);
    Server server;
    rtfeed::TcpPeer::Options options;
    options.port = server.port;
    options.level = 2;
    options.version = "9.0 \"beta\"";
    options.logFile = log;
    options.reconnectDelay = 20ms;
    rtfeed::TcpPeer peer(options);
    peer.start();

    server.accept();
    server.send("Qs999=version\r\n");
    EXPECT_EQ(server.receive(), R"({"level":2,"version":"9.0 \"beta\""})");
    server.send("Qs121=1;2;3;4;5;6;7\r\nQs1");
    server.send("23=1000\r\n");
    ASSERT_TRUE(peer.waitFor([](const auto& lines) { return lines.size() == 3; }, 10s));
    EXPECT_EQ(peer.lines(), (std::vector<std::string>{"Qs999=version", "Qs121=1;2;3;4;5;6;7", "Qs123=1000"}));

    server.dropClient();
    server.accept(); // it connects again
    server.send("exit\r\n");
    ASSERT_TRUE(peer.waitFor([](const auto& lines) { return lines.size() == 4; }, 10s));
    EXPECT_EQ(peer.connections(), 2);
    peer.stop();

    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "Qs999=version\nQs121=1;2;3;4;5;6;7\nQs123=1000\nexit\n");
    std::filesystem::remove(log);
}

TEST(CommandLine, WrongUseEndsWithCode2) {
    const std::atomic<bool> stop{false};
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"record", "x"},
             {"play"},
             {"play", "f", "--speed", "0"},
             {"play", "f", "--traffic-port", "70000"},
             {"play", "f", "--tcp", "10747"},
             {"play", "f", "--level", "2"},
             {"play", "f", "--tcp", "127.0.0.1:10747", "--level", "3"},
             {"play", "f", "--bogus"},
             {"flood", "--rate", "0"},
             {"flood", "--seconds", "-1"},
             {"flood", "--flights", "10000"},
             {"flood", "--centre", "47.5"},
             {"flood", "--centre", "95,8"},
             {"flood", "--rate", "1", "--seconds", "0.5"},
             {"flood", "--traffic-port"},
             {"flood", "--tcp", "127.0.0.1:10747"},
         }) {
        EXPECT_EQ(rtfeed::runCommandLine(args, stop), 2) << (args.empty() ? "" : args.back());
    }
    EXPECT_EQ(rtfeed::runCommandLine({"play", "/no/such/replay.txt"}, stop), 1);
}

} // namespace
