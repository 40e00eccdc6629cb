#include <algorithm>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "feed/outside_text.h"
#include "feed_test_support.h"

namespace {

using namespace std::chrono_literals;

TEST(OutsideText, EscapesControlBytesAndCutsWithAMark) {
    const std::string nul(1, '\0');
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"RTTFC,1,2", "RTTFC,1,2"},
        {"a\nb", "a\\nb"},
        {"a" + nul + nul + "b", "a\\x00\\x00b"},
        {"\r\t\x1b[2J\x7f", "\\x0D\\x09\\x1B[2J\\x7F"},
        {"Z\xc3\xbcrich", "Z\xc3\xbcrich"}, // UTF-8 passes unchanged
        {std::string(200, 'a'), std::string(200, 'a')},
        {std::string(201, 'a'), std::string(200, 'a') + " ... (201 bytes)"},
        // No escape and no UTF-8 character is cut in two.
        {std::string(198, 'a') + "\n\n", std::string(198, 'a') + "\\n ... (200 bytes)"},
        {std::string(197, 'a') + nul + "b", std::string(197, 'a') + " ... (199 bytes)"},
        {std::string(199, 'a') + "\xc3\xbc", std::string(199, 'a') + " ... (201 bytes)"},
        {std::string(198, 'a') + "\xe2\x82\xac", std::string(198, 'a') + " ... (201 bytes)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(gf_outsideText(c.text), c.expected);
    }
    EXPECT_EQ(gf_outsideText("abcdef", 3), "abc ... (6 bytes)");
}

TEST(LogThrottle, HoldsBackBeyondTenAMinuteAndSumsUpOnce) {
    LogThrottle throttle;
    const LogThrottle::Clock::time_point t0{};
    int admitted = 0;
    for (int i = 0; i < 25; ++i)
        admitted += throttle.admit("bad", t0 + std::chrono::seconds(i)) ? 1 : 0;
    EXPECT_EQ(admitted, 10);
    EXPECT_TRUE(throttle.admit("other kind", t0 + 30s));
    EXPECT_TRUE(throttle.summaries("R", t0 + 59s).empty()); // the minute is not over yet
    // Held back lines are not let through before their summary.
    EXPECT_FALSE(throttle.admit("bad", t0 + 61s));
    EXPECT_EQ(throttle.summaries("R", t0 + 61s),
              std::vector<std::string>{"R: 16 more lines like \"bad\" were not logged in the last minute"});
    EXPECT_TRUE(throttle.summaries("R", t0 + 200s).empty());
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(throttle.admit("bad", t0 + 62s)) << i;
    EXPECT_FALSE(throttle.admit("bad", t0 + 62s));
    EXPECT_EQ(throttle.summaries("R", t0 + 63s, true).size(), 1u); // the end of a run flushes all
    // A quiet kind starts a new minute with its next line.
    EXPECT_TRUE(throttle.admit("other kind", t0 + 300s));
}

// Bad datagrams reach the log as single escaped lines, and a flood of them stays small.
class OutsideTextLogTest : public FeedTest {
protected:
    struct Case {
        const char* what;
        UdpReader& reader;
        std::string kind;
    };

    // Sends datagrams to the running reader and waits until it has counted them all; none may be lost.
    // The sender keeps at most `window` datagrams ahead of the reader's count: far less than the
    // receive buffer holds, so that a reader that keeps up loses none even when the machine is so busy
    // that it is not scheduled for a while (a sender that never waits would fill any buffer then).
    void sendAll(UdpReader& reader, const std::vector<std::string>& datagrams) {
        constexpr int window = 64;
        const auto socket = net::openUdpSocket();
        net::Address to;
        ASSERT_EQ(net::resolve("127.0.0.1", std::to_string(reader.boundPort.load()), false, to), 0);
        const int before = reader.datagramCount.load();
        int sent = 0;
        for (const auto& d : datagrams) {
            ASSERT_TRUE(eventually([&] { return sent - (reader.datagramCount.load() - before) < window; }))
                << "the reader stopped counting at " << reader.datagramCount.load() - before << " of " << sent
                << ", " << reader.systemDrops.load() << " dropped by the system";
            ASSERT_EQ(net::sendTo(socket, d, to), static_cast<long>(d.size()));
            ++sent;
        }
        net::closeSocket(socket);
        ASSERT_TRUE(eventually([&] {
            return reader.datagramCount.load() - before == static_cast<int>(datagrams.size());
        })) << reader.systemDrops.load()
            << " dropped by the system";
        EXPECT_EQ(reader.systemDrops.load(), 0u);
    }

    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            out.push_back(text.substr(start, end - start));
        return out;
    }
};

TEST_F(OutsideTextLogTest, BadDatagramIsOneShortEscapedLineAndFloodsAreSummedUp) {
    realTrafficLocal.store(true); // every datagram is handed on
    trafficReader.setReferencePosition({47.4581, 8.5481});
    gf_setAddingStackOpen(true);
    const LogThrottle::Clock::time_point fixed{};
    trafficReader.logClock = [fixed] { return fixed; };
    qnhReader.logClock = [fixed] { return fixed; };
    gf_startTrafficReader(0);
    gf_startQnhReader(0);
    ASSERT_TRUE(
        eventually([] { return trafficReader.boundPort.load() != 0 && qnhReader.boundPort.load() != 0; }));
    // Each reader logs that it is connected just after binding: wait for both lines, so that the lines
    // counted below are the datagrams' own.
    ASSERT_TRUE(eventually([this] {
        const std::string text = logText();
        return text.find("Traffic Reader connected") != std::string::npos &&
               text.find("QNH Reader connected") != std::string::npos;
    }));

    const std::string forged = "\n==> Exiting: forged\n";
    const std::string nuls(3, '\0');
    const std::string traffic =
        "RTTFC,4921362,47.5,8.6,high" + forged + nuls + std::string(16000, 'x') +
        ",-800,0,275.4,250,SWR123,A320,HB-JLT,ZRH,LHR,1765370000.5,adsb,LX123,adsb_icao,"
        "12100,240,280,0.5,0,2.5,270,272.5,-768,none,A3";
    const std::string qnh = "{\"QNH\":" + forged + nuls + std::string(16000, '9');
    const Case cases[] = {{"traffic", trafficReader, "exception in processLineSub"},
                          {"QNH", qnhReader, "Exception"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t start = logText().size();
        sendAll(c.reader, {&c.reader == &trafficReader ? traffic : qnh});
        // Counted first, handled next: wait for its line.
        ASSERT_TRUE(eventually([&] { return logText().find('\n', start) != std::string::npos; }));
        const std::string added = logText().substr(start);
        const auto added_lines = lines(added);
        ASSERT_EQ(added_lines.size(), 1u) << added;
        EXPECT_EQ(added_lines[0].rfind(c.kind, 0), 0u) << added;
        EXPECT_LE(added_lines[0].size(), 300u);
        EXPECT_NE(added.find("\\n==> Exiting: forged\\n\\x00\\x00\\x00"), std::string::npos) << added;
        EXPECT_EQ(added.find('\0'), std::string::npos);
    }

    // 4,000 different bad datagrams to each reader within one minute: ten lines of each kind, the rest
    // summed up when the readers stop.
    const std::size_t start = logText().size();
    std::vector<std::string> badTraffic;
    std::vector<std::string> badQnh;
    for (int i = 0; i < 4000; ++i) {
        badTraffic.push_back(fmt::format("{}{}", i, traffic));
        badQnh.push_back(fmt::format("{}{}", qnh, i));
    }
    sendAll(trafficReader, badTraffic);
    sendAll(qnhReader, badQnh);
    gf_stopReaders();
    ASSERT_TRUE(gf_waitForReadersToEnd(5s));
    const std::string added = logText().substr(start);
    EXPECT_LT(added.size(), 64u * 1024u);
    EXPECT_NE(
        added.find("Traffic Reader: 3991 more lines like \"exception in processLineSub\" were not logged "
                   "in the last minute\n"),
        std::string::npos)
        << added;
    EXPECT_NE(
        added.find("QNH Reader: 3991 more lines like \"Exception\" were not logged in the last minute\n"),
        std::string::npos)
        << added;
}

} // namespace
