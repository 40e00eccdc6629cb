#include "tools/simstub/world.h"

#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/wire.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fmt/format.h>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace skyloom::simstub {

using simwire::Call;

// ---- life cycle -------------------------------------------------------------------------------------------

SimStub::SimStub(Options options) : options_(std::move(options)), world_(std::make_unique<World>(options_)) {}

SimStub::~SimStub() {
    stop();
}

void SimStub::start() {
    if (thread_.joinable()) return;
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) throw std::runtime_error(fmt::format("socket failed: {}", std::strerror(errno)));
    const int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    if (inet_pton(AF_INET, options_.bindAddress.c_str(), &addr.sin_addr) != 1) {
        close(listenFd_);
        throw std::runtime_error(fmt::format("bad bind address {}", options_.bindAddress));
    }
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listenFd_, SOMAXCONN) != 0) {
        const std::string why = std::strerror(errno);
        close(listenFd_);
        listenFd_ = -1;
        throw std::runtime_error(fmt::format("Bind failed at port {} with error {}", options_.port, why));
    }
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        close(listenFd_);
        throw std::runtime_error("pipe failed");
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void SimStub::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    for (auto& c : clients_)
        close(c->fd);
    clients_.clear();
    close(listenFd_);
    close(wakeRead_);
    close(wakeWrite_);
    listenFd_ = wakeRead_ = wakeWrite_ = -1;
}

std::string SimStub::address() const {
    return fmt::format("127.0.0.1:{}", port_);
}

void SimStub::wake() const {
    if (wakeWrite_ < 0) return;
    const char b = 1;
    [[maybe_unused]] const auto n = write(wakeWrite_, &b, 1);
}

void SimStub::changed() {
    ++version_;
    changedCv_.notify_all();
}

// ---- server thread ----------------------------------------------------------------------------------------

void SimStub::run() {
    const auto clockNow = [this] {
        return options_.realClock ? options_.realClock() : std::chrono::steady_clock::now();
    };
    auto last = clockNow();
    std::chrono::nanoseconds lastStateWrite{0}; // simulator time
    std::vector<pollfd> fds;
    std::vector<Client*> polled;
    {
        std::lock_guard lock(mutex_);
        serverThread_ = std::this_thread::get_id();
    }
    for (;;) {
        int timeoutMs = -1;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            fds.clear();
            polled.clear();
            fds.push_back({listenFd_, POLLIN, 0});
            fds.push_back({wakeRead_, POLLIN, 0});
            for (auto& c : clients_) {
                fds.push_back({c->fd, static_cast<short>(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
                polled.push_back(c.get());
            }
            if (options_.realTime) {
                const double frameMs =
                    (options_.fps > 0 ? 1000.0 / options_.fps : 100.0) / options_.timeScale;
                timeoutMs = std::clamp(static_cast<int>(frameMs / 2), 1, 100);
            }
        }
        poll(fds.data(), fds.size(), timeoutMs);

        std::unique_lock lock(mutex_);
        if (stopping_) return;
        std::string stateText;
        if (fds[1].revents != 0) {
            char buf[256];
            while (read(wakeRead_, buf, sizeof buf) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) acceptClients();
        for (std::size_t i = 0; i < polled.size(); ++i) {
            Client& c = *polled[i];
            if (c.dead || c.dropRequested) continue;
            if (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) readClient(c);
        }
        if (options_.realTime) {
            const auto now = clockNow();
            advanceLocked(
                std::chrono::duration_cast<std::chrono::nanoseconds>((now - last) * options_.timeScale),
                true);
            last = now;
            if (!options_.stateFile.empty() && simTime_ - lastStateWrite >= std::chrono::seconds(1)) {
                lastStateWrite = simTime_;
                stateText = stateJsonLocked().dump(2) + "\n";
            }
        }
        // Write what is queued, then retire finished connections.
        bool sent = false;
        for (auto& c : clients_) {
            while (!c->dead && !c->out.empty()) {
                const ssize_t n = ::send(c->fd, c->out.data(), c->out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    sent = true;
                    c->out.erase(0, static_cast<std::size_t>(n));
                } else if (n < 0 && errno == EINTR) {
                    continue;
                } else {
                    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                        // The client is gone, but the calls it sent before still count: what is left
                        // to read is handled before the connection is retired (nothing more is sent).
                        c->writeFailed = true;
                        c->out.clear();
                        readClient(*c);
                        c->dead = true;
                    }
                    break;
                }
            }
        }
        for (std::size_t i = 0; i < clients_.size();) {
            Client& c = *clients_[i];
            if (c.dead || c.dropRequested || (c.closeAfterFlush && c.out.empty())) {
                closeClient(c); // erases clients_[i]
            } else {
                ++i;
            }
        }
        const bool notify = sent && options_.onSent;
        if (notify || !stateText.empty()) lock.unlock(); // neither the reader nor the disk holds up clients
        if (notify) options_.onSent();
        if (!stateText.empty()) {
            try {
                writeAtomically(options_.stateFile, stateText);
            } catch (const std::exception& e) {
                fmt::print(stderr, "skyloom-simstub: {}\n", e.what());
            }
        }
    }
}

void SimStub::acceptClients() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Client>();
        c->fd = fd;
        c->id = nextClientId_++;
        clients_.push_back(std::move(c));
        changed();
    }
}

void SimStub::readClient(Client& c) {
    char buf[64 * 1024];
    bool ended = false; // end of stream or a reset: the connection closes once the frames read are handled
    for (;;) {
        const ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            c.in.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) ended = true;
        break;
    }
    handleFrames(c);
    if (ended) c.dead = true;
    changed();
}

std::string SimStub::handleStreamForTests(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    Client c;
    c.id = nextClientId_++;
    c.in.assign(bytes);
    handleFrames(c);
    changed();
    return std::move(c.out);
}

void SimStub::handleFrames(Client& c) {
    std::size_t pos = 0;
    try {
        while (!c.dead && c.in.size() - pos >= simwire::kHeadSize) {
            const auto head = simwire::readHead(c.in.data() + pos);
            if (c.in.size() - pos - simwire::kHeadSize < head.bodyLength) break;
            handleFrame(c, head.kind, head.packetId, c.in.data() + pos + simwire::kHeadSize, head.bodyLength);
            pos += simwire::kHeadSize + head.bodyLength;
        }
    } catch (const simwire::WireError& e) {
        fmt::print(stderr, "skyloom-simstub: client {}: {}\n", c.id, e.what());
        c.dead = true;
    }
    c.in.erase(0, pos);
}

void SimStub::closeClient(Client& c) {
    close(c.fd);
    c.dead = true;
    const int owner = c.id;
    // AI objects go with the client that created them.
    std::vector<std::uint32_t> owned;
    for (const auto& [id, o] : world_->objects)
        if (o.owner == owner) owned.push_back(id);
    for (auto id : owned)
        finishRemovalLocked(id, RemovalCause::Disconnect);
    std::erase_if(clients_, [&](const std::unique_ptr<Client>& p) { return p.get() == &c; });
    changed();
}

// ---- sending ----------------------------------------------------------------------------------------------

void SimStub::sendTo(Client& c, const SIMCONNECT_RECV& message) {
    if (c.dead || c.dropRequested || c.closeAfterFlush || c.writeFailed) return;
    simwire::encodeMessage(c.out, message);
    if (std::this_thread::get_id() != serverThread_) wake();
}

void SimStub::sendException(Client& c, std::uint32_t code, std::uint32_t packetId, std::uint32_t index) {
    SIMCONNECT_RECV_EXCEPTION m{};
    m.id = SIMCONNECT_RECV_ID_EXCEPTION;
    m.exception = code;
    m.sendId = packetId;
    m.index = index;
    sendTo(c, m);
}

void SimStub::sendSystemEvent(const std::string& name, std::uint32_t data) {
    for (auto& c : clients_) {
        const auto it = c->systemEvents.find(name);
        if (it == c->systemEvents.end()) continue;
        SIMCONNECT_RECV_EVENT m{};
        m.id = SIMCONNECT_RECV_ID_EVENT;
        m.eventId = it->second;
        m.data = data;
        sendTo(*c, m);
    }
}

void SimStub::sendAddRemove(const std::string& name, std::uint32_t objectId) {
    for (auto& c : clients_) {
        const auto it = c->systemEvents.find(name);
        if (it == c->systemEvents.end()) continue;
        SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE m{};
        m.id = SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE;
        m.eventId = it->second;
        m.data = objectId;
        m.objectId = objectId;
        m.objectType = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
        sendTo(*c, m);
    }
}

// ---- calls ------------------------------------------------------------------------------------------------

const std::map<std::uint32_t, SimStub::Handler>& SimStub::handlers() {
    static const std::map<std::uint32_t, Handler> table{
        {static_cast<std::uint32_t>(Call::Open), &SimStub::onOpen},
        {static_cast<std::uint32_t>(Call::Close), &SimStub::onClose},
        {static_cast<std::uint32_t>(Call::SubscribeToSystemEvent), &SimStub::onSubscribeToSystemEvent},
        {static_cast<std::uint32_t>(Call::AddToDataDefinition), &SimStub::onAddToDataDefinition},
        {static_cast<std::uint32_t>(Call::MapClientEventToSimEvent), &SimStub::onMapClientEventToSimEvent},
        {static_cast<std::uint32_t>(Call::AddClientEventToNotificationGroup),
         &SimStub::onAddClientEventToNotificationGroup},
        {static_cast<std::uint32_t>(Call::SetNotificationGroupPriority),
         &SimStub::onSetNotificationGroupPriority},
        {static_cast<std::uint32_t>(Call::RequestDataOnSimObject), &SimStub::onRequestDataOnSimObject},
        {static_cast<std::uint32_t>(Call::RequestDataOnSimObjectType),
         &SimStub::onRequestDataOnSimObjectType},
        {static_cast<std::uint32_t>(Call::SetDataOnSimObject), &SimStub::onSetDataOnSimObject},
        {static_cast<std::uint32_t>(Call::TransmitClientEvent), &SimStub::onTransmitClientEvent},
        {static_cast<std::uint32_t>(Call::AICreateNonATCAircraft), &SimStub::onAICreateNonATCAircraft},
        {static_cast<std::uint32_t>(Call::AIRemoveObject), &SimStub::onAIRemoveObject},
        {static_cast<std::uint32_t>(Call::AIReleaseControl), &SimStub::onAIReleaseControl},
        {static_cast<std::uint32_t>(Call::AISetAircraftFlightPlan), &SimStub::onAISetAircraftFlightPlan},
    };
    return table;
}

void SimStub::logCall(std::string line) {
    calls_.push_back(std::move(line));
    if (calls_.size() > protocol::kCallLogLimit) calls_.pop_front();
}

void SimStub::handleFrame(Client& c, std::uint32_t kind, std::uint32_t packetId, const char* body,
                          std::size_t size) {
    const std::string name(simwire::callName(kind));
    if (name.empty()) {
        sendException(c, SIMCONNECT_EXCEPTION_ERROR, packetId, 0);
        return;
    }
    ++callCounts_[name];
    const auto fault = faults_.find(name);
    if (fault != faults_.end() && kind != static_cast<std::uint32_t>(Call::Open) &&
        kind != static_cast<std::uint32_t>(Call::Close)) {
        logCall(name + " (refused)");
        sendException(c, fault->second.first, packetId, 0);
        if (--fault->second.second == 0) faults_.erase(fault);
        return;
    }
    const auto handler = handlers().find(kind);
    if (handler == handlers().end()) { // a call the protocol names but the stand-in does not carry out
        sendException(c, SIMCONNECT_EXCEPTION_ERROR, packetId, 0);
        return;
    }
    try {
        simwire::Reader r(body, size);
        (this->*handler->second)(c, r, packetId);
    } catch (const simwire::WireError&) {
        sendException(c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, packetId, 0);
    }
}

} // namespace skyloom::simstub
