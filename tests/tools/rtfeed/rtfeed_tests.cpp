#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

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
    std::string next() {
        if (net::waitReadable(socket_, 10s) != 1) return "(nothing)";
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
         }) {
        EXPECT_EQ(rtfeed::runCommandLine(args, stop), 2) << (args.empty() ? "" : args.back());
    }
    EXPECT_EQ(rtfeed::runCommandLine({"play", "/no/such/replay.txt"}, stop), 1);
}

} // namespace
