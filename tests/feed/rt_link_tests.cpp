#include <algorithm>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "feed/rt_link.h"
#include "feed_test_support.h"
#include "tools/rtfeed/rtfeed.h"

namespace {

using namespace std::chrono_literals;

// 52 degrees north, 4 degrees east, flight level 350 at 450 knots.
constexpr RtUserState cruising{52.0, 4.0, 0.05, 0.0, 1.5, 35000.0, 450.0};

class RtLinkTest : public FeedTest {
protected:
    void SetUp() override {
        FeedTest::SetUp();
        realTrafficLocal.store(true);
        gf_feedHooks().userState = [this] {
            std::lock_guard lock(stateMutex_);
            return state_;
        };
        gf_feedHooks().removeLiveTraffic = [this] { removals_.fetch_add(1); };
    }

    void TearDown() override {
        peer_.reset();
        FeedTest::TearDown();
    }

    void setUserState(const RtUserState& s) {
        std::lock_guard lock(stateMutex_);
        state_ = s;
    }

    // Listens on an ephemeral port and starts RealTraffic's side against it.
    rtfeed::TcpPeer& startPeer(int level, const std::string& version) {
        realTrafficLink.startServer("0");
        return connectPeer(level, version);
    }

    // Starts RealTraffic's side against the listening link.
    rtfeed::TcpPeer& connectPeer(int level, const std::string& version) {
        rtfeed::TcpPeer::Options options;
        options.port = realTrafficLink.serverPort();
        options.level = level;
        options.version = version;
        options.reconnectDelay = 50ms;
        peer_ = std::make_unique<rtfeed::TcpPeer>(options);
        peer_->start();
        return *peer_;
    }

    static bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::atomic<int> removals_{0};
    std::unique_ptr<rtfeed::TcpPeer> peer_;

private:
    std::mutex stateMutex_;
    RtUserState state_{cruising};
};

TEST_F(RtLinkTest, UserStateLine) {
    EXPECT_EQ(gf_userStateLine(cruising), "Qs121=5000;0;1.500000;35000000;450000;0.907571;0.069813");
    // Pitch, bank and altitude keep every digit; the ground velocity is written in its shortest form.
    EXPECT_EQ(gf_userStateLine({-33.9, 151.2, -0.0349, 0.1, 6.2, 1234.5, 100.0}),
              "Qs121=-3490;10000;6.200000;1234500;1e+05;-0.591667;2.638938");
    EXPECT_EQ(gf_userStateLine({47.0, 8.0, 0.0, 0.0, 0.0, 0.0, 0.0123}),
              "Qs121=0;0;0.000000;0;12.3;0.820305;0.139626");
}

TEST_F(RtLinkTest, HandshakeWithProfessionalEdition) {
    auto& peer = startPeer(2, "9.0");
    gf_awaitRTConnection();

    EXPECT_EQ(peer.received(), "Qs999=version\r\n");
    EXPECT_TRUE(realTrafficLink.rtClientConnected.load());
    EXPECT_TRUE(realTrafficLink.rtProfessional.load());
    EXPECT_EQ(feedStatus.realTrafficText(), "RT prof edition: 9.0");
    EXPECT_TRUE(feedStatus.realTrafficConnected.load());
    EXPECT_FALSE(feedStatus.waitingForRealTraffic.load());
    EXPECT_EQ(messages(),
              (std::vector<std::string>{"Waiting for RealTraffic to connect to Skyloom ...", ""}));
    EXPECT_NE(logText().find("RealTraffic connected\n"), std::string::npos);

    gf_sendSimTime(0); // no time yet: nothing
    gf_sendSimTime(1765370000);
    gf_sendUserState();
    ASSERT_TRUE(peer.waitFor([](const auto& lines) { return lines.size() == 3; }, 10s));
    EXPECT_EQ(peer.received(), "Qs999=version\r\nQs123=1765370000000\r\n"
                               "Qs121=5000;0;1.500000;35000000;450000;0.907571;0.069813\r\n");

    gf_closeRealTrafficLink();
    EXPECT_TRUE(peer.waitFor([](const auto& lines) { return hasLine(lines, "exit"); }, 10s));
    EXPECT_FALSE(realTrafficLink.rtClientConnected.load());
    EXPECT_EQ(realTrafficLink.serverPort(), 0);
}

TEST_F(RtLinkTest, VersionReplies) {
    const struct {
        std::string reply; // empty: the peer closes without a reply
        bool professional;
        std::string text;
        std::string logged;
        std::string rest; // sent a moment later, as a second TCP segment
    } cases[] = {
        {R"({"level":2,"version":"9.0"})", true, "RT prof edition: 9.0", ""},
        {R"({"level":2,)", true, "RT prof edition: 9.1", "", R"("version":"9.1"})"},
        {"{\"level\":2,\"ver", true, "RT prof edition: 9.2", "", "sion\":\"9.2\"}\r\n"},
        {R"({"level":1,"version":"8.0"})"
         "\r\n",
         false, "RT stnd edition: 8.0", ""},
        {R"({"version":"8.1.3"})", false, "RT stnd edition: 8.1.3", ""},
        {R"({"level":1})", false, "RT stnd edition: ", ""},
        {R"({"level":2.0,"version":"9.3"})", true, "RT prof edition: 9.3", ""},
        // A level beyond any integer is just not the professional one.
        {R"({"level":1e300,"version":"9.4"})", false, "RT stnd edition: 9.4", ""},
        {R"({"level":-1e300})", false, "RT stnd edition: ", ""},
        {R"([2,"9.0"])", false, "", ""},
        {"RealTraffic 9", false, "", "lf_processRTVersion: JSON parse failed: [json.exception.parse_error"},
        {R"({"level":"2"})", false, "", "lf_processRTVersion: JSON parse failed: [json.exception.type_error"},
        {R"({"level":2,"version":9})", false, "",
         "lf_processRTVersion: JSON parse failed: [json.exception.type_error"},
        {"", false, "", ""},
        // Beyond 16 KiB the reply is refused, however it comes.
        {std::string(12000, ' '), false, "", "receive: buffer overrun: 16384", std::string(12000, ' ')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.substr(0, 40));
        gf_resetFeedForTests();
        realTrafficLocal.store(true);
        realTrafficLink.rtProfessional.store(!c.professional);
        realTrafficLink.startServer("0");
        // A bare peer that answers the version request with the reply of the case.
        auto peer = std::async(std::launch::async, [&c, port = realTrafficLink.serverPort()] {
            net::Address address;
            net::resolve("127.0.0.1", std::to_string(port), true, address);
            const auto s = net::openTcpSocket();
            net::connectTo(s, address);
            char buffer[64];
            net::waitReadable(s, 10s);
            net::receive(s, buffer, sizeof buffer);
            const int on = 1;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            if (!c.reply.empty()) net::sendBytes(s, c.reply);
            std::this_thread::sleep_for(50ms);
            if (!c.rest.empty()) {
                net::sendBytes(s, c.rest);
                std::this_thread::sleep_for(50ms);
            }
            net::closeSocket(s);
        });
        const std::string before = logText();
        const std::size_t shownBefore = messages().size();
        gf_awaitRTConnection();
        peer.get();
        EXPECT_EQ(realTrafficLink.rtProfessional.load(), c.professional);
        EXPECT_EQ(feedStatus.realTrafficText(), c.text);
        const std::string logged = logText().substr(before.size());
        if (c.logged.empty()) {
            EXPECT_EQ(logged.find("JSON parse failed"), std::string::npos) << logged;
        } else {
            EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
        }
        const auto shown = messages();
        EXPECT_EQ(std::count(shown.begin() + static_cast<std::ptrdiff_t>(shownBefore), shown.end(),
                             "No RealTraffic version received?"),
                  c.reply.empty() || c.reply.size() + c.rest.size() >= 16384 ? 1 : 0);
    }
}

TEST_F(RtLinkTest, DroppedPeerRemovesLiveTrafficAndIsWaitedForWithoutNewHandshake) {
    auto& peer = startPeer(2, "9.0");
    gf_awaitRTConnection();
    trafficReader.feedTimestamp.store(1765370000.0);
    qnhReader.lastQnh.store(1020);

    peer.drop();
    // The first sends after the drop may still be accepted by the system; one of the next fails.
    for (int i = 0; i < 100 && removals_.load() == 0; ++i) {
        gf_sendUserState();
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(removals_.load(), 1);
    EXPECT_FALSE(feedStatus.realTrafficConnected.load());
    EXPECT_FALSE(realTrafficLink.rtClientConnected.load());
    EXPECT_EQ(trafficReader.feedTimestamp.load(), 0.0); // the feed reset
    EXPECT_EQ(qnhReader.lastQnh.load(), 1013);
    const auto shown = messages();
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back().find(" RealTraffic gone? Wait for RealTraffic to re-connect ..."),
              std::string::npos);

    // Each call takes RealTraffic's new connection once it is there, and never waits for it.
    ASSERT_TRUE(eventually([] {
        gf_sendUserState();
        return realTrafficLink.rtClientConnected.load();
    }));
    EXPECT_TRUE(feedStatus.realTrafficConnected.load());
    EXPECT_TRUE(realTrafficLink.rtClientConnected.load());
    const auto afterReconnect = messages();
    ASSERT_GE(afterReconnect.size(), 2u);
    EXPECT_NE(afterReconnect[afterReconnect.size() - 2].find(" RealTraffic re-connected"), std::string::npos);
    EXPECT_EQ(afterReconnect.back(), ""); // the status line is cleared at once

    gf_sendUserState();
    ASSERT_TRUE(peer.waitFor(
        [](const auto& lines) { return lines.size() >= 2 && lines.back().rfind("Qs121=", 0) == 0; }, 10s));
    const auto lines = peer.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Qs999=version"), 1);
    EXPECT_EQ(peer.connections(), 2);
    EXPECT_EQ(removals_.load(), 1);
}

// The engine's pass calls the user line while RealTraffic is away: it returns at once, and takes the
// connection when RealTraffic comes back.
TEST_F(RtLinkTest, UserLineNeverWaitsForRealTraffic) {
    realTrafficLink.startServer("0");
    auto call = std::async(std::launch::async, [] {
        for (int i = 0; i < 100; ++i)
            gf_sendUserState();
    });
    ASSERT_EQ(call.wait_for(10s), std::future_status::ready) << "the user line waits for RealTraffic";
    EXPECT_FALSE(realTrafficLink.rtClientConnected.load());
    EXPECT_TRUE(messages().empty());

    net::Address address;
    ASSERT_EQ(net::resolve("127.0.0.1", std::to_string(realTrafficLink.serverPort()), true, address), 0);
    const auto back = net::openTcpSocket();
    ASSERT_EQ(net::connectTo(back, address), 0);
    ASSERT_TRUE(eventually([] {
        gf_sendUserState();
        return realTrafficLink.rtClientConnected.load();
    }));
    EXPECT_TRUE(feedStatus.realTrafficConnected.load());
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NE(shown[0].find(" RealTraffic re-connected"), std::string::npos);
    gf_sendUserState(); // connected now: the user line goes out
    char line[128] = {};
    ASSERT_EQ(net::waitReadable(back, 10s), 1);
    EXPECT_GT(net::receive(back, line, sizeof line - 1), 0);
    EXPECT_EQ(std::string(line).rfind("Qs121=", 0), 0u) << line;
    net::closeSocket(back);
}

// The simulator time may be the line that finds out that RealTraffic has gone.
TEST_F(RtLinkTest, DropFoundBySimTimeRemovesLiveTrafficToo) {
    auto& peer = startPeer(2, "9.0");
    gf_awaitRTConnection();
    peer.drop();
    for (int i = 0; i < 100 && realTrafficLink.rtClientConnected.load(); ++i) {
        gf_sendSimTime(1765370000 + i);
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_FALSE(realTrafficLink.rtClientConnected.load());
    EXPECT_EQ(removals_.load(), 1);
    EXPECT_FALSE(feedStatus.realTrafficConnected.load());
    const auto shown = messages();
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back().find(" RealTraffic gone? Wait for RealTraffic to re-connect ..."),
              std::string::npos);
}

TEST_F(RtLinkTest, PeerGoneBeforeTheVersionRequestIsWaitedForAgain) {
    realTrafficLink.startServer("0");
    // A connection that is reset while it waits to be accepted: the version request cannot be sent.
    net::Address address;
    ASSERT_EQ(net::resolve("127.0.0.1", std::to_string(realTrafficLink.serverPort()), true, address), 0);
    const auto gone = net::openTcpSocket();
    ASSERT_EQ(net::connectTo(gone, address), 0);
    const linger resetOnClose{1, 0};
    ASSERT_EQ(::setsockopt(gone, SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose), 0);
    net::closeSocket(gone);

    auto& peer = connectPeer(2, "9.0");
    gf_awaitRTConnection();

    EXPECT_TRUE(realTrafficLink.rtClientConnected.load());
    EXPECT_TRUE(realTrafficLink.rtProfessional.load());
    EXPECT_EQ(feedStatus.realTrafficText(), "RT prof edition: 9.0");
    EXPECT_TRUE(feedStatus.realTrafficConnected.load());
    EXPECT_EQ(peer.received(), "Qs999=version\r\n");
    const auto shown = messages();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "No RealTraffic version received?"), 0);
    EXPECT_NE(logText().find("sendDataPacket to RealTraffic failed: 10054 Connection reset by peer"),
              std::string::npos);
}

// A RealTraffic that hangs with the link open never blocks the worker: once the link's buffers are
// full, the next line fails and the peer counts as gone.
TEST_F(RtLinkTest, PeerThatStopsReadingCountsAsGone) {
    realTrafficLink.startServer("0");
    net::Address address;
    ASSERT_EQ(net::resolve("127.0.0.1", std::to_string(realTrafficLink.serverPort()), true, address), 0);
    const auto hung = net::openTcpSocket();
    ASSERT_EQ(net::connectTo(hung, address), 0);
    ASSERT_TRUE(realTrafficLink.waitForClient());

    auto sending = std::async(std::launch::async, [] {
        const std::string lines(65536, 'x');
        for (int i = 0; i < 10000; ++i)
            if (!realTrafficLink.sendDataPacket(lines)) return true;
        return false;
    });
    const bool inTime = sending.wait_for(10s) == std::future_status::ready;
    net::closeSocket(hung); // also ends a send that still waits for room
    EXPECT_TRUE(inTime);
    EXPECT_TRUE(sending.get());
    EXPECT_FALSE(realTrafficLink.rtClientConnected.load());
    EXPECT_NE(logText().find("sendDataPacket to RealTraffic failed: 10035 Operation would block"),
              std::string::npos);
}

TEST_F(RtLinkTest, StopEndsTheWaitForRealTraffic) {
    realTrafficLink.startServer("0");
    auto waiting = std::async(std::launch::async, [] { gf_awaitRTConnection(); });
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    gf_requestStop(StopReason::UserClosedSim, 0);
    ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(realTrafficLink.rtClientConnected.load());
    EXPECT_FALSE(feedStatus.realTrafficConnected.load());

    // With a stop requested, a lost peer is not waited for.
    gf_sendUserState();
    EXPECT_FALSE(realTrafficLink.rtClientConnected.load());
}

TEST_F(RtLinkTest, NothingHappensWithoutLocalRealTrafficOrPosition) {
    auto& peer = startPeer(1, "8.0");
    realTrafficLocal.store(false);
    gf_awaitRTConnection(); // returns at once: no waiting, no handshake
    gf_sendUserState();
    EXPECT_FALSE(realTrafficLink.rtClientConnected.load());
    EXPECT_TRUE(messages().empty());

    realTrafficLocal.store(true);
    gf_awaitRTConnection();
    ASSERT_TRUE(realTrafficLink.rtClientConnected.load());
    EXPECT_FALSE(realTrafficLink.rtProfessional.load());
    EXPECT_EQ(feedStatus.realTrafficText(), "RT stnd edition: 8.0");

    setUserState({0.0, 0.0, 0.1, 0.1, 1.0, 1000.0, 100.0}); // no position yet
    gf_sendUserState();
    gf_closeRealTrafficLink();
    ASSERT_TRUE(peer.waitFor([](const auto& lines) { return hasLine(lines, "exit"); }, 10s));
    EXPECT_EQ(peer.lines(), (std::vector<std::string>{"Qs999=version", "exit"}));

    gf_sendUserState(); // at 0,0 it does not wait for a connection either
}

TEST_F(RtLinkTest, BindFailureNamesThePortAndTheError) {
    RealTrafficLink first;
    first.startServer("0");
    const std::string port = std::to_string(first.serverPort());
    const int startups = net::startupCount();
    try {
        realTrafficLink.startServer(port);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Bind failed at port " + port + " with error 10048 Address already in use");
    }
    EXPECT_EQ(realTrafficLink.rtListenSocket, net::invalidSocket);
    EXPECT_EQ(net::startupCount(), startups);
    first.close();

    EXPECT_THROW(realTrafficLink.startServer("not-a-port"), std::runtime_error);
}

} // namespace
