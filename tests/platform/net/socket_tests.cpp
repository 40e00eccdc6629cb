#include <cerrno>
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "platform/net/socket.h"

using namespace std::chrono_literals;

namespace {

TEST(SocketErrors, ErrnoValuesMapToTheirWinsockCodes) {
    const struct {
        int errnoValue;
        int code;
    } cases[] = {
        {0, 0},
        {EINTR, 10004},
        {EBADF, 10009},
        {EACCES, 10013},
        {EINVAL, 10022},
        {EWOULDBLOCK, 10035},
        {EINPROGRESS, 10036},
        {ENOTSOCK, 10038},
        {EMSGSIZE, 10040},
        {EADDRINUSE, 10048},
        {EADDRNOTAVAIL, 10049},
        {ENETUNREACH, 10051},
        {ECONNABORTED, 10053},
        {ECONNRESET, 10054},
        {EPIPE, 10054},
        {ENOTCONN, 10057},
        {ETIMEDOUT, 10060},
        {ECONNREFUSED, 10061},
        {EHOSTUNREACH, 10065},
        // Linux's EDEADLK is 35: it must not pass for Winsock's 10035.
        {EDEADLK, 20000 + EDEADLK},
    };
    for (const auto& c : cases)
        EXPECT_EQ(net::winsockCodeOf(c.errnoValue), c.code) << c.errnoValue;
}

TEST(SocketErrors, PortInUseReportsAddressAlreadyInUse) {
    const auto first = net::openUdpSocket();
    ASSERT_NE(first, net::invalidSocket);
    ASSERT_EQ(net::bindIpv4(first, true, 0), 0);
    const auto port = net::localPort(first);
    ASSERT_NE(port, 0);

    const auto second = net::openUdpSocket();
    EXPECT_EQ(net::bindIpv4(second, true, port), -1);
    EXPECT_EQ(net::lastError(), 10048);
    net::closeSocket(second);
    net::closeSocket(first);
}

TEST(SocketErrors, ServiceNameThatIsNoPortIsTypeNotFound) {
    net::Address address;
    EXPECT_EQ(net::resolvePassiveTcp("no-such-service-here", address), net::wsaTypeNotFound);
}

// A send to a peer that has gone fails with a code instead of killing the process with SIGPIPE.
TEST(TcpSockets, SendToClosedPeerFailsWithoutSignal) {
    net::Address address;
    ASSERT_EQ(net::resolvePassiveTcp("0", address), 0);
    const auto listening = net::openSocket(address.family, address.type, address.protocol);
    ASSERT_EQ(net::bindTo(listening, address), 0);
    ASSERT_EQ(net::listenOn(listening), 0);

    net::Address target;
    ASSERT_EQ(net::resolve("127.0.0.1", std::to_string(net::localPort(listening)), true, target), 0);
    const auto client = net::openTcpSocket();
    ASSERT_EQ(net::connectTo(client, target), 0);
    const auto accepted = net::acceptClient(listening);
    ASSERT_NE(accepted, net::invalidSocket);
    net::closeSocket(client);

    long result = 0;
    for (int i = 0; i < 50 && result >= 0; ++i)
        result = net::sendBytes(accepted, "Qs121=0;0;0;0;0;0;0\r\n");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(net::lastError(), 10054);
    net::closeSocket(accepted);
    net::closeSocket(listening);
}

TEST(UdpSockets, WaitTimesOutThenReportsDatagramWithItsFullLength) {
    const auto receiver = net::openUdpSocket();
    ASSERT_EQ(net::bindIpv4(receiver, true, 0), 0);
    EXPECT_EQ(net::waitReadable(receiver, 10ms), 0);

    net::Address target;
    ASSERT_EQ(net::resolve("127.0.0.1", std::to_string(net::localPort(receiver)), false, target), 0);
    const auto sender = net::openUdpSocket();
    const std::string big(20000, 'x');
    ASSERT_EQ(net::sendTo(sender, big, target), 20000);

    ASSERT_EQ(net::waitReadable(receiver, 5000ms), 1);
    char buffer[100];
    // A datagram larger than the buffer still reports its length, so that the caller sees the overrun.
    EXPECT_EQ(net::receiveFrom(receiver, buffer, sizeof buffer), 20000);
    net::closeSocket(sender);
    net::closeSocket(receiver);
}

} // namespace
