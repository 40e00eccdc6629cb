#include "platform/net/socket.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

namespace net {

namespace {

thread_local int tl_lastError = 0;
std::atomic<int> g_startups{0};

int failWithErrno() {
    tl_lastError = winsockCodeOf(errno);
    return -1;
}

int setIntOption(SocketHandle s, int level, int option, int value) {
    if (::setsockopt(s, level, option, &value, sizeof value) != 0) return failWithErrno();
    return 0;
}

int resolveWith(const char* host, const std::string& port, const addrinfo& hints, Address& out) {
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host, port.c_str(), &hints, &list);
    if (rc != 0) {
        const int code = rc == EAI_SYSTEM ? winsockCodeOf(errno) : winsockCodeOfAddrInfoError(rc);
        tl_lastError = code;
        return code;
    }
    out = Address{};
    std::memcpy(&out.storage, list->ai_addr, list->ai_addrlen);
    out.length = list->ai_addrlen;
    out.family = list->ai_family;
    out.type = list->ai_socktype;
    out.protocol = list->ai_protocol;
    ::freeaddrinfo(list);
    return 0;
}

} // namespace

int winsockCodeOf(int e) {
    switch (e) {
    case 0:
        return 0;
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EWOULDBLOCK:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
    case EPIPE:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        return 20000 + e;
    }
}

int winsockCodeOfAddrInfoError(int eai) {
    switch (eai) {
    case 0:
        return 0;
    case EAI_NONAME:
        return wsaHostNotFound;
    case EAI_AGAIN:
        return wsaTryAgain;
    case EAI_FAIL:
        return wsaNoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return wsaNoData;
#endif
    case EAI_SERVICE:
        return wsaTypeNotFound;
    case EAI_FAMILY:
        return 10047;
    case EAI_SOCKTYPE:
        return 10044;
    case EAI_MEMORY:
        return wsaNotEnoughMemory;
    case EAI_BADFLAGS:
        return 10022;
    default:
        return wsaNoRecovery;
    }
}

int lastError() {
    return tl_lastError;
}

int startup() {
    g_startups.fetch_add(1);
    return 0;
}

void cleanup() {
    int n = g_startups.load();
    while (n > 0 && !g_startups.compare_exchange_weak(n, n - 1)) {
    }
}

int startupCount() {
    return g_startups.load();
}

int resolvePassiveTcp(const std::string& port, Address& out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_PASSIVE;
    return resolveWith(nullptr, port, hints, out);
}

int resolve(const std::string& host, const std::string& port, bool stream, Address& out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = stream ? SOCK_STREAM : SOCK_DGRAM;
    hints.ai_protocol = stream ? IPPROTO_TCP : IPPROTO_UDP;
    return resolveWith(host.c_str(), port, hints, out);
}

SocketHandle openSocket(int family, int type, int protocol) {
    const int s = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (s < 0) return failWithErrno();
    return s;
}

SocketHandle openTcpSocket() {
    return openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}
SocketHandle openUdpSocket() {
    return openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}

int closeSocket(SocketHandle s) {
    if (::close(s) != 0) return failWithErrno();
    return 0;
}

int setBlocking(SocketHandle s, bool blocking) {
    const int flags = ::fcntl(s, F_GETFL, 0);
    if (flags < 0) return failWithErrno();
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    if (::fcntl(s, F_SETFL, wanted) != 0) return failWithErrno();
    return 0;
}

int setReuseAddress(SocketHandle s, bool on) {
    return setIntOption(s, SOL_SOCKET, SO_REUSEADDR, on ? 1 : 0);
}
int setNoDelay(SocketHandle s, bool on) {
    return setIntOption(s, IPPROTO_TCP, TCP_NODELAY, on ? 1 : 0);
}

int setReceiveBuffer(SocketHandle s, int bytes) {
    const auto granted = [s]() -> int {
        int value = 0;
        socklen_t size = sizeof value;
        if (::getsockopt(s, SOL_SOCKET, SO_RCVBUF, &value, &size) != 0) return failWithErrno();
#ifdef __linux__
        value /= 2; // Linux reports the room it keeps for its own bookkeeping as well
#endif
        return value;
    };
    if (setIntOption(s, SOL_SOCKET, SO_RCVBUF, bytes) != 0) return -1;
    int result = granted();
#ifdef SO_RCVBUFFORCE
    // Beyond the system's limit only with the right to; without it the first answer stands.
    if (result >= 0 && result < bytes &&
        ::setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0)
        result = granted();
#endif
    return result;
}

int setReceiveTimeout(SocketHandle s, std::chrono::milliseconds timeout) {
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    limit.tv_usec = static_cast<suseconds_t>(timeout.count() % 1000 * 1000);
    if (::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return failWithErrno();
    return 0;
}

bool reportDroppedDatagrams(SocketHandle s) {
#ifdef SO_RXQ_OVFL
    return setIntOption(s, SOL_SOCKET, SO_RXQ_OVFL, 1) == 0;
#else
    (void)s;
    return false;
#endif
}

int bindTo(SocketHandle s, const Address& address) {
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0)
        return failWithErrno();
    return 0;
}

int bindIpv4(SocketHandle s, bool loopbackOnly, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) return failWithErrno();
    return 0;
}

int listenOn(SocketHandle s) {
    if (::listen(s, SOMAXCONN) != 0) return failWithErrno();
    return 0;
}

SocketHandle acceptClient(SocketHandle listening) {
    for (;;) {
        const int c = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0) return c;
        if (errno != EINTR) return failWithErrno();
    }
}

int connectTo(SocketHandle s, const Address& address) {
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0)
        return failWithErrno();
    return 0;
}

int waitReadable(SocketHandle s, std::chrono::milliseconds timeout) {
    pollfd p{};
    p.fd = s;
    p.events = POLLIN;
    const int rc = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (rc < 0) {
        if (errno == EINTR) return 0;
        return failWithErrno();
    }
    if (rc == 0) return 0;
    if (p.revents & POLLNVAL) {
        tl_lastError = winsockCodeOf(EBADF);
        return -1;
    }
    return 1; // readable, or an error/hang-up that the next receive reports
}

long receive(SocketHandle s, char* buffer, std::size_t length) {
    for (;;) {
        const ssize_t n = ::recv(s, buffer, length, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) return failWithErrno();
    }
}

long receiveDatagram(SocketHandle s, char* buffer, std::size_t length, std::uint32_t& dropped) {
    iovec io{buffer, length};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(std::uint32_t))];
    for (;;) {
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        // MSG_TRUNC reports a datagram's full length even when it did not fit the buffer.
        const ssize_t n = ::recvmsg(s, &message, MSG_TRUNC);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failWithErrno();
        }
#ifdef SO_RXQ_OVFL
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL &&
                c->cmsg_len >= CMSG_LEN(sizeof(std::uint32_t)))
                std::memcpy(&dropped, CMSG_DATA(c), sizeof(std::uint32_t));
        }
#endif
        return static_cast<long>(n);
    }
}

long receiveFrom(SocketHandle s, char* buffer, std::size_t length) {
    for (;;) {
        // MSG_TRUNC reports a datagram's full length even when it did not fit the buffer.
        const ssize_t n = ::recvfrom(s, buffer, length, MSG_TRUNC, nullptr, nullptr);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) return failWithErrno();
    }
}

namespace {

long sendWithFlags(SocketHandle s, std::string_view bytes, int flags) {
    for (;;) {
        const ssize_t n = ::send(s, bytes.data(), bytes.size(), flags | MSG_NOSIGNAL);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) return failWithErrno();
    }
}

} // namespace

long sendBytes(SocketHandle s, std::string_view bytes) {
    return sendWithFlags(s, bytes, 0);
}

long sendBytesNow(SocketHandle s, std::string_view bytes) {
    return sendWithFlags(s, bytes, MSG_DONTWAIT);
}

long sendTo(SocketHandle s, std::string_view bytes, const Address& to) {
    for (;;) {
        const ssize_t n = ::sendto(s, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&to.storage), to.length);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) return failWithErrno();
    }
}

std::uint16_t localPort(SocketHandle s) {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        failWithErrno();
        return 0;
    }
    if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&a)->sin_port);
    if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&a)->sin6_port);
    return 0;
}

} // namespace net
