#pragma once
// Sockets over POSIX, shaped like the Winsock calls the program was written against. Every call that
// fails returns -1 (or invalidSocket) and leaves a Winsock error code for lastError(): errno values are
// mapped to their Winsock counterparts (EADDRINUSE -> 10048, ...), so that log lines and error texts read
// the same on every platform. Sends never raise SIGPIPE.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <sys/socket.h>

namespace net {

using SocketHandle = int;
inline constexpr SocketHandle invalidSocket = -1;

// Winsock's codes for the errors this layer reports beyond the errno mapping.
inline constexpr int wsaNotEnoughMemory = 8;
inline constexpr int wsaWouldBlock = 10035;
inline constexpr int wsaHostNotFound = 11001;
inline constexpr int wsaTryAgain = 11002;
inline constexpr int wsaNoRecovery = 11003;
inline constexpr int wsaNoData = 11004;
inline constexpr int wsaTypeNotFound = 10109;

// The Winsock code of an errno value. 0 stays 0; a value without a Winsock counterpart becomes
// 20000 + errno, a number outside Winsock's ranges that still tells which errno it was.
int winsockCodeOf(int errnoValue);
// The Winsock code of a getaddrinfo result (EAI_NONAME -> 11001, EAI_SERVICE -> 10109, ...).
int winsockCodeOfAddrInfoError(int eaiValue);

// The Winsock code of the calling thread's last failed call in this layer (0 when none failed yet).
int lastError();

// Start and end of socket use on a thread, as WSAStartup and WSACleanup: nothing to set up here, but
// the calls are counted so that a missing cleanup shows. startup returns 0.
int startup();
void cleanup();
// Startups not yet cleaned up, over all threads.
int startupCount();

// One resolved address with the socket parameters that go with it.
struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = 0;
    int type = 0;
    int protocol = 0;
};

// getaddrinfo for a passive IPv4 TCP address (any interface) on the port text. 0 or a Winsock code.
int resolvePassiveTcp(const std::string& port, Address& out);
// getaddrinfo for an IPv4 address of host (name or dotted quad) and port, stream (TCP) or datagram
// (UDP). 0 or a Winsock code.
int resolve(const std::string& host, const std::string& port, bool stream, Address& out);

SocketHandle openSocket(int family, int type, int protocol);
SocketHandle openTcpSocket();
SocketHandle openUdpSocket();
int closeSocket(SocketHandle s);

int setBlocking(SocketHandle s, bool blocking);
int setReuseAddress(SocketHandle s, bool on);
int setNoDelay(SocketHandle s, bool on);
// Asks for a receive buffer of the size (beyond the system's usual limit where the process may). The
// size the system granted in bytes, or -1.
int setReceiveBuffer(SocketHandle s, int bytes);
// A receive on the socket waits at most the timeout and then fails with wsaWouldBlock (0: for ever).
int setReceiveTimeout(SocketHandle s, std::chrono::milliseconds timeout);
// Asks the system to report with each datagram how many datagrams it has dropped on the socket so far
// for want of room (Linux: SO_RXQ_OVFL). False where the system does not count them.
bool reportDroppedDatagrams(SocketHandle s);

int bindTo(SocketHandle s, const Address& address);
// IPv4: 127.0.0.1 when loopbackOnly, else any address. Port 0 lets the system choose (see localPort).
int bindIpv4(SocketHandle s, bool loopbackOnly, std::uint16_t port);
// Listen with the system's largest backlog.
int listenOn(SocketHandle s);
SocketHandle acceptClient(SocketHandle listening);
int connectTo(SocketHandle s, const Address& address);

// Waits until the socket can be read (or a listening socket has a connection waiting).
// 1 readable, 0 timed out, -1 failure.
int waitReadable(SocketHandle s, std::chrono::milliseconds timeout);

// One recv / recvfrom (the sender is not taken). Bytes received, 0 at the peer's orderly close, -1.
long receive(SocketHandle s, char* buffer, std::size_t length);
long receiveFrom(SocketHandle s, char* buffer, std::size_t length);
// receiveFrom that also takes the system's count of datagrams dropped on the socket so far, when the
// socket reports it (reportDroppedDatagrams) and the count is not 0; dropped is left alone otherwise.
long receiveDatagram(SocketHandle s, char* buffer, std::size_t length, std::uint32_t& dropped);
// One send of the bytes; bytes sent or -1. The peer's close gives -1 (10054), never a signal.
long sendBytes(SocketHandle s, std::string_view bytes);
// One send that does not wait for room in the socket's buffer: bytes sent (fewer than given when the
// buffer filled up), or -1 (10035 when there was no room at all).
long sendBytesNow(SocketHandle s, std::string_view bytes);
long sendTo(SocketHandle s, std::string_view bytes, const Address& to);

// The port the socket is bound to (0 when it cannot be found).
std::uint16_t localPort(SocketHandle s);

} // namespace net
