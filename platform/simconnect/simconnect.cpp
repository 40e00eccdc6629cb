#include "platform/simconnect/simconnect.h"

#include "platform/simconnect/wire.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

using skyloom::simwire::Call;
using skyloom::simwire::Writer;

struct SimConnectConnection {
    int fd = -1;
    std::atomic<bool> connected{false};

    // Send side, shared by every thread. Requests are encoded into `out` under sendMutex; one thread at
    // a time (the writer) moves them to `writing` and writes them to the socket without the mutex, so
    // that a thread that sends while another one waits for the peer only encodes and goes on.
    std::mutex sendMutex;
    std::condition_variable writerDone;
    std::string out;     // encoded requests not yet handed to the writer
    std::string writing; // the writer's bytes; those before `written` are on their way
    std::size_t written = 0;
    bool writerActive = false;
    std::uint32_t nextPacketId = 1;
    std::unordered_map<std::thread::id, std::uint32_t> lastSent;
    std::unordered_map<std::thread::id, int> batchDepth;
    std::unordered_map<std::string, std::uint32_t> injected;

    // Receive side, the dispatching thread only.
    std::string in;
    std::size_t inPos = 0;
    bool peerGone = false;
    bool quitDelivered = false;
    std::vector<std::uint64_t> storage;
};

namespace {

constexpr std::size_t kBatchLimit = 256 * 1024; // a batch is written early when it grows beyond this
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kMaxReadPerDispatch = 4 * 1024 * 1024;
constexpr int kConnectTimeoutMs = 3000;
constexpr int kSendTimeoutSeconds = 5;

// Splits "host:port"; a missing or bad port gives the default port.
void splitAddress(std::string_view address, std::string& host, std::uint16_t& port) {
    host = "127.0.0.1";
    port = kSimConnectDefaultPort;
    if (address.empty()) return;
    const auto colon = address.rfind(':');
    if (colon == std::string_view::npos) {
        host = std::string(address);
        return;
    }
    if (colon > 0) host = std::string(address.substr(0, colon));
    const auto portText = address.substr(colon + 1);
    unsigned value = 0;
    const auto [ptr, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
    if (ec == std::errc() && ptr == portText.data() + portText.size() && value > 0 && value <= 65535)
        port = static_cast<std::uint16_t>(value);
}

int connectTo(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) return -1;
    int fd = -1;
    for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (fd < 0) continue;
        int rc = connect(fd, ai->ai_addr, ai->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            rc = -1;
            if (poll(&p, 1, kConnectTimeoutMs) == 1) {
                int error = 0;
                socklen_t len = sizeof error;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0) rc = 0;
            }
        }
        if (rc == 0) break;
        close(fd);
        fd = -1;
    }
    freeaddrinfo(list);
    if (fd < 0) return -1;
    const int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK); // sends block; receives ask for MSG_DONTWAIT
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A peer that stops reading for this long counts as lost, so that no sender blocks for ever.
    timeval sendLimit{kSendTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    return fd;
}

// Ends the connection after a failed write: gone or stuck, either way it is over, and the dispatch will
// say so. Caller holds sendMutex.
HRESULT writeFailedLocked(SimConnectConnection& c) {
    c.connected = false;
    c.out.clear();
    c.writing.clear();
    c.written = 0;
    shutdown(c.fd, SHUT_RDWR);
    return SIMCONNECT_E_NOT_CONNECTED;
}

// Writes what has been encoded. With `wait` the bytes are all written before the return (waiting for a
// writer that is busy, and for room in the socket up to its send limit); without it nothing waits: the
// bytes are written as far as the socket takes them at once, and while another thread writes, that
// thread takes them along. What is left goes with the next waiting flush (the dispatch's, every round).
// Caller does not hold sendMutex.
HRESULT flushOut(SimConnectConnection& c, bool wait) {
    std::unique_lock lock(c.sendMutex);
    if (c.writerActive) {
        if (!wait) return SIMCONNECT_OK; // the active writer looks at `out` again before it ends
        c.writerDone.wait(lock, [&] { return !c.writerActive; });
    }
    HRESULT result = SIMCONNECT_OK;
    c.writerActive = true;
    while (c.connected && (c.written < c.writing.size() || !c.out.empty())) {
        if (c.written == c.writing.size()) {
            c.writing.clear();
            c.written = 0;
            std::swap(c.writing, c.out);
        } else if (!c.out.empty()) {
            c.writing.append(c.out);
            c.out.clear();
        }
        const int fd = c.fd;
        const char* data = c.writing.data() + c.written;
        const std::size_t size = c.writing.size() - c.written;
        lock.unlock();
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | (wait ? 0 : MSG_DONTWAIT));
        const int error = errno;
        lock.lock();
        if (n >= 0) {
            c.written += static_cast<std::size_t>(n);
            continue;
        }
        if (error == EINTR) continue;
        if (!wait && (error == EAGAIN || error == EWOULDBLOCK)) break; // no room now
        result = writeFailedLocked(c);
    }
    if (!c.connected) { // what could not be written is dropped with the connection
        c.out.clear();
        c.writing.clear();
        c.written = 0;
        result = SIMCONNECT_E_NOT_CONNECTED;
    }
    c.writerActive = false;
    c.writerDone.notify_all();
    return result;
}

template <typename Fill> HRESULT sendRequest(HSIMCONNECT h, Call kind, Fill&& fill) {
    if (h == nullptr) return SIMCONNECT_E_INVALIDARG;
    std::unique_lock lock(h->sendMutex);
    if (!h->injected.empty()) {
        const auto it =
            h->injected.find(std::string(skyloom::simwire::callName(static_cast<std::uint32_t>(kind))));
        if (it != h->injected.end()) {
            if (--it->second == 0) h->injected.erase(it);
            return SIMCONNECT_E_INJECTED;
        }
    }
    if (!h->connected) return SIMCONNECT_E_NOT_CONNECTED;
    const std::uint32_t packetId = h->nextPacketId++;
    Writer w(h->out);
    w.begin(static_cast<std::uint32_t>(kind), packetId);
    fill(w);
    w.finish();
    const auto self = std::this_thread::get_id();
    h->lastSent[self] = packetId;
    const auto batch = h->batchDepth.find(self);
    if (batch != h->batchDepth.end()) {
        if (h->out.size() < kBatchLimit) return SIMCONNECT_OK;
        // A large batch goes on its way early, as far as the socket takes it at once: the batching
        // thread may hold its caller's locks here.
        lock.unlock();
        flushOut(*h, false);
        return SIMCONNECT_OK;
    }
    lock.unlock();
    return flushOut(*h, false);
}

// A text argument: present, and short enough that its request stays far below the frame limit (the peer
// would drop a connection that sends a longer frame).
constexpr std::size_t kMaxText = 64 * 1024;

bool validText(const char* s) {
    return s != nullptr && strnlen(s, kMaxText + 1) <= kMaxText;
}

// The same for texts that may be left out.
bool validOptionalText(const char* s) {
    return s == nullptr || validText(s);
}

// Reads what the socket has; marks the peer gone on end of stream or error.
void readAvailable(SimConnectConnection& c) {
    if (c.peerGone) return;
    if (c.inPos > 0 && c.inPos == c.in.size()) {
        c.in.clear();
        c.inPos = 0;
    } else if (c.inPos > kReadChunk) {
        c.in.erase(0, c.inPos);
        c.inPos = 0;
    }
    std::size_t total = 0;
    while (total < kMaxReadPerDispatch) {
        const std::size_t old = c.in.size();
        c.in.resize(old + kReadChunk);
        const ssize_t n = ::recv(c.fd, c.in.data() + old, kReadChunk, MSG_DONTWAIT);
        if (n > 0) {
            c.in.resize(old + static_cast<std::size_t>(n));
            total += static_cast<std::size_t>(n);
            continue;
        }
        c.in.resize(old);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        c.peerGone = true; // end of stream or a socket error
        break;
    }
}

class BatchScope {
public:
    explicit BatchScope(HSIMCONNECT h) : h_(h) { SimConnect_BeginBatch(h_); }
    ~BatchScope() { SimConnect_EndBatch(h_); }
    BatchScope(const BatchScope&) = delete;
    BatchScope& operator=(const BatchScope&) = delete;

private:
    HSIMCONNECT h_;
};

} // namespace

std::uint32_t SimConnect_DatumSize(std::uint32_t dataType) {
    switch (dataType) {
    case SIMCONNECT_DATATYPE_INT32:
    case SIMCONNECT_DATATYPE_FLOAT32:
        return 4;
    case SIMCONNECT_DATATYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64:
        return 8;
    case SIMCONNECT_DATATYPE_STRING32:
        return 32;
    default:
        return 0;
    }
}

HRESULT SimConnect_Open(HSIMCONNECT* handle, const char* name, const char* address) {
    if (handle == nullptr || !validText(name)) return SIMCONNECT_E_INVALIDARG;
    *handle = nullptr;
    std::string_view where;
    if (address != nullptr && *address != '\0')
        where = address;
    else if (const char* env = std::getenv(kSimConnectAddressEnv); env != nullptr)
        where = env;
    std::string host;
    std::uint16_t port = 0;
    splitAddress(where, host, port);
    const int fd = connectTo(host, port);
    if (fd < 0) return SIMCONNECT_E_FAIL;
    auto* c = new SimConnectConnection;
    c->fd = fd;
    c->connected = true;
    const HRESULT hr = sendRequest(c, Call::Open, [&](Writer& w) {
        w.text(name);
        w.u32(skyloom::simwire::kProtocolVersion);
    });
    if (SimConnect_Failed(hr)) {
        close(fd);
        delete c;
        return SIMCONNECT_E_FAIL;
    }
    *handle = c;
    return SIMCONNECT_OK;
}

HRESULT SimConnect_Close(HSIMCONNECT handle) {
    if (handle == nullptr) return SIMCONNECT_E_INVALIDARG;
    {
        std::lock_guard lock(handle->sendMutex);
        handle->batchDepth.clear();
        handle->injected.clear();
    }
    if (handle->connected) {
        sendRequest(handle, Call::Close, [](Writer&) {});
        flushOut(*handle, true);
    }
    shutdown(handle->fd, SHUT_RDWR);
    close(handle->fd);
    delete handle;
    return SIMCONNECT_OK;
}

HRESULT SimConnect_CallDispatch(HSIMCONNECT handle, DispatchProc proc, void* context) {
    if (handle == nullptr || proc == nullptr) return SIMCONNECT_E_INVALIDARG;
    auto& c = *handle;
    if (c.quitDelivered) return SIMCONNECT_E_NOT_CONNECTED;
    BatchScope batch(handle);
    readAvailable(c);
    while (c.in.size() - c.inPos >= skyloom::simwire::kHeadSize) {
        skyloom::simwire::FrameHead head{};
        SIMCONNECT_RECV* message = nullptr;
        try {
            head = skyloom::simwire::readHead(c.in.data() + c.inPos);
            if (c.in.size() - c.inPos - skyloom::simwire::kHeadSize < head.bodyLength) break;
            message = skyloom::simwire::decodeMessage(
                head.kind, c.in.data() + c.inPos + skyloom::simwire::kHeadSize, head.bodyLength, c.storage);
        } catch (const skyloom::simwire::WireError&) {
            c.peerGone = true; // a peer that breaks the protocol is treated as gone
            c.in.clear();
            c.inPos = 0;
            break;
        }
        c.inPos += skyloom::simwire::kHeadSize + head.bodyLength;
        if (message->id == SIMCONNECT_RECV_ID_QUIT) {
            // The simulator said goodbye: nothing follows, and the closing socket is not announced again.
            c.connected = false;
            c.quitDelivered = true;
            c.in.clear();
            c.inPos = 0;
            proc(message, message->size, context);
            return SIMCONNECT_OK;
        }
        proc(message, message->size, context);
    }
    if (c.peerGone) { // every complete message has been delivered; a partial one is dropped
        c.connected = false;
        c.quitDelivered = true;
        c.in.clear();
        c.inPos = 0;
        SIMCONNECT_RECV_QUIT quit{};
        quit.size = sizeof quit;
        quit.id = SIMCONNECT_RECV_ID_QUIT;
        proc(&quit, quit.size, context);
    }
    return SIMCONNECT_OK;
}

HRESULT SimConnect_SubscribeToSystemEvent(HSIMCONNECT handle, std::uint32_t eventId, const char* eventName) {
    if (!validText(eventName)) return SIMCONNECT_E_INVALIDARG;
    return sendRequest(handle, Call::SubscribeToSystemEvent, [&](Writer& w) {
        w.u32(eventId);
        w.text(eventName);
    });
}

HRESULT SimConnect_AddToDataDefinition(HSIMCONNECT handle, std::uint32_t defineId, const char* datumName,
                                       const char* unitsName, std::uint32_t dataType, float epsilon,
                                       std::uint32_t datumId) {
    if (!validText(datumName) || !validOptionalText(unitsName)) return SIMCONNECT_E_INVALIDARG;
    return sendRequest(handle, Call::AddToDataDefinition, [&](Writer& w) {
        w.u32(defineId);
        w.text(datumName);
        w.text(unitsName != nullptr ? unitsName : "");
        w.u32(dataType);
        w.f32(epsilon);
        w.u32(datumId);
    });
}

HRESULT SimConnect_MapClientEventToSimEvent(HSIMCONNECT handle, std::uint32_t eventId,
                                            const char* eventName) {
    if (!validOptionalText(eventName)) return SIMCONNECT_E_INVALIDARG;
    return sendRequest(handle, Call::MapClientEventToSimEvent, [&](Writer& w) {
        w.u32(eventId);
        w.text(eventName != nullptr ? eventName : "");
    });
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HSIMCONNECT handle, std::uint32_t groupId,
                                                     std::uint32_t eventId, bool maskable) {
    return sendRequest(handle, Call::AddClientEventToNotificationGroup, [&](Writer& w) {
        w.u32(groupId);
        w.u32(eventId);
        w.u32(maskable ? 1 : 0);
    });
}

HRESULT SimConnect_SetNotificationGroupPriority(HSIMCONNECT handle, std::uint32_t groupId,
                                                std::uint32_t priority) {
    return sendRequest(handle, Call::SetNotificationGroupPriority, [&](Writer& w) {
        w.u32(groupId);
        w.u32(priority);
    });
}

HRESULT SimConnect_RequestDataOnSimObject(HSIMCONNECT handle, std::uint32_t requestId, std::uint32_t defineId,
                                          std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                          std::uint32_t origin, std::uint32_t interval, std::uint32_t limit) {
    return sendRequest(handle, Call::RequestDataOnSimObject, [&](Writer& w) {
        for (std::uint32_t v : {requestId, defineId, objectId, period, flags, origin, interval, limit})
            w.u32(v);
    });
}

HRESULT SimConnect_RequestDataOnSimObjectType(HSIMCONNECT handle, std::uint32_t requestId,
                                              std::uint32_t defineId, std::uint32_t radiusMeters,
                                              std::uint32_t objectType) {
    return sendRequest(handle, Call::RequestDataOnSimObjectType, [&](Writer& w) {
        for (std::uint32_t v : {requestId, defineId, radiusMeters, objectType})
            w.u32(v);
    });
}

HRESULT SimConnect_SetDataOnSimObject(HSIMCONNECT handle, std::uint32_t defineId, std::uint32_t objectId,
                                      std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                      const void* data) {
    if (data == nullptr && unitSize > 0) return SIMCONNECT_E_INVALIDARG;
    const std::size_t bytes = static_cast<std::size_t>(unitSize) * (arrayCount > 1 ? arrayCount : 1);
    if (bytes > skyloom::simwire::kMaxBody / 2) return SIMCONNECT_E_INVALIDARG;
    return sendRequest(handle, Call::SetDataOnSimObject, [&](Writer& w) {
        w.u32(defineId);
        w.u32(objectId);
        w.u32(flags);
        w.u32(arrayCount);
        w.block(data, bytes);
    });
}

HRESULT SimConnect_TransmitClientEvent(HSIMCONNECT handle, std::uint32_t objectId, std::uint32_t eventId,
                                       std::uint32_t data, std::uint32_t groupId, std::uint32_t flags) {
    return sendRequest(handle, Call::TransmitClientEvent, [&](Writer& w) {
        for (std::uint32_t v : {objectId, eventId, data, groupId, flags})
            w.u32(v);
    });
}

HRESULT SimConnect_AICreateNonATCAircraft(HSIMCONNECT handle, const char* containerTitle,
                                          const char* tailNumber, const SIMCONNECT_DATA_INITPOSITION& initPos,
                                          std::uint32_t requestId) {
    if (!validText(containerTitle) || !validText(tailNumber)) return SIMCONNECT_E_INVALIDARG;
    return sendRequest(handle, Call::AICreateNonATCAircraft, [&](Writer& w) {
        w.text(containerTitle);
        w.text(tailNumber);
        for (double v : {initPos.latitude, initPos.longitude, initPos.altitude, initPos.pitch, initPos.bank,
                         initPos.heading})
            w.f64(v);
        w.u32(initPos.onGround);
        w.u32(initPos.airspeed);
        w.u32(requestId);
    });
}

HRESULT SimConnect_AIRemoveObject(HSIMCONNECT handle, std::uint32_t objectId, std::uint32_t requestId) {
    return sendRequest(handle, Call::AIRemoveObject, [&](Writer& w) {
        w.u32(objectId);
        w.u32(requestId);
    });
}

HRESULT SimConnect_AIReleaseControl(HSIMCONNECT handle, std::uint32_t objectId, std::uint32_t requestId) {
    return sendRequest(handle, Call::AIReleaseControl, [&](Writer& w) {
        w.u32(objectId);
        w.u32(requestId);
    });
}

HRESULT SimConnect_AISetAircraftFlightPlan(HSIMCONNECT handle, std::uint32_t objectId,
                                           const char* flightPlanPath, std::uint32_t requestId) {
    if (!validText(flightPlanPath)) return SIMCONNECT_E_INVALIDARG;
    return sendRequest(handle, Call::AISetAircraftFlightPlan, [&](Writer& w) {
        w.u32(objectId);
        w.text(flightPlanPath);
        w.u32(requestId);
    });
}

HRESULT SimConnect_GetLastSentPacketID(HSIMCONNECT handle, std::uint32_t* packetId) {
    if (handle == nullptr || packetId == nullptr) return SIMCONNECT_E_INVALIDARG;
    std::lock_guard lock(handle->sendMutex);
    const auto it = handle->lastSent.find(std::this_thread::get_id());
    *packetId = it == handle->lastSent.end() ? 0 : it->second;
    return SIMCONNECT_OK;
}

HRESULT SimConnect_InjectFailure(HSIMCONNECT handle, const char* callName, std::uint32_t count) {
    if (handle == nullptr || callName == nullptr) return SIMCONNECT_E_INVALIDARG;
    std::lock_guard lock(handle->sendMutex);
    const std::string name(skyloom::simwire::withoutPrefix(callName));
    if (count == 0)
        handle->injected.erase(name);
    else
        handle->injected[name] = count;
    return SIMCONNECT_OK;
}

HRESULT SimConnect_BeginBatch(HSIMCONNECT handle) {
    if (handle == nullptr) return SIMCONNECT_E_INVALIDARG;
    std::lock_guard lock(handle->sendMutex);
    ++handle->batchDepth[std::this_thread::get_id()];
    return SIMCONNECT_OK;
}

HRESULT SimConnect_EndBatch(HSIMCONNECT handle) {
    if (handle == nullptr) return SIMCONNECT_E_INVALIDARG;
    {
        std::lock_guard lock(handle->sendMutex);
        const auto it = handle->batchDepth.find(std::this_thread::get_id());
        if (it == handle->batchDepth.end()) return SIMCONNECT_E_INVALIDARG;
        if (--it->second > 0) return SIMCONNECT_OK;
        handle->batchDepth.erase(it);
        if (handle->out.empty() && handle->written == handle->writing.size()) return SIMCONNECT_OK;
        if (!handle->connected) {
            handle->out.clear();
            return SIMCONNECT_E_NOT_CONNECTED;
        }
    }
    // Everything encoded so far, the batch and what other threads could not write at once, is written
    // before the batch ends.
    return flushOut(*handle, true);
}
