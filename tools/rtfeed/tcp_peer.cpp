#include <array>
#include <fstream>

#include <nlohmann/json.hpp>

#include "platform/net/socket.h"
#include "tools/rtfeed/rtfeed.h"

namespace rtfeed {

namespace {
using namespace std::chrono_literals;
constexpr auto pollStep = 100ms;
} // namespace

TcpPeer::TcpPeer(Options options) : options_(std::move(options)) {}

TcpPeer::~TcpPeer() {
    stop();
}

void TcpPeer::start() {
    if (thread_.joinable()) return;
    stop_.store(false);
    thread_ = std::thread([this] { run(); });
}

void TcpPeer::stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
}

std::vector<std::string> TcpPeer::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string TcpPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool TcpPeer::waitFor(const std::function<bool(const std::vector<std::string>&)>& predicate,
                      std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (predicate(lines())) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
}

bool TcpPeer::pause(std::chrono::milliseconds duration) const {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!stop_.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, pollStep));
    }
    return false;
}

void TcpPeer::run() {
    net::startup();
    while (!stop_.load()) {
        net::Address address;
        net::SocketHandle s = net::invalidSocket;
        if (net::resolve(options_.host, std::to_string(options_.port), true, address) == 0)
            s = net::openSocket(address.family, address.type, address.protocol);
        if (s != net::invalidSocket && net::connectTo(s, address) == 0) {
            net::setNoDelay(s, true);
            connections_.fetch_add(1);
            connected_.store(true);
            serve(s);
            connected_.store(false);
        }
        if (s != net::invalidSocket) net::closeSocket(s);
        if (!pause(options_.reconnectDelay)) break;
    }
    net::cleanup();
}

void TcpPeer::serve(int s) {
    std::string pending;
    std::array<char, 4096> buffer{};
    while (!stop_.load()) {
        if (dropRequested_.exchange(false)) return;
        const int ready = net::waitReadable(s, pollStep);
        if (ready < 0) return;
        if (ready == 0) continue;
        const long n = net::receive(s, buffer.data(), buffer.size());
        if (n <= 0) return; // the program closed the link
        const std::string_view chunk(buffer.data(), static_cast<std::size_t>(n));
        {
            std::lock_guard lock(mutex_);
            received_ += chunk;
        }
        pending += chunk;
        for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            onLine(s, line);
        }
    }
}

void TcpPeer::onLine(int s, const std::string& line) {
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
        if (!options_.logFile.empty()) {
            std::ofstream log(options_.logFile, std::ios::binary | std::ios::app);
            log << line << '\n';
        }
    }
    if (line == "Qs999=version") {
        // One write, as RealTraffic answers.
        const std::string reply =
            nlohmann::json{{"level", options_.level}, {"version", options_.version}}.dump();
        net::sendBytes(s, reply);
    }
}

} // namespace rtfeed
