#include "feed/rt_link.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/timeutil.h"
#include "core/units.h"
#include "core/version.h"
#include "feed/outside_text.h"
#include "feed/udp_readers.h"
#include "feed/winsock_errors.h"

RealTrafficLink realTrafficLink;

namespace {

using namespace std::chrono_literals;

constexpr std::size_t replyBufferSize = 16384;
// How long the version reply may take.
constexpr int replyWaitSeconds = 10;

void lf_repaintCounts() {
    gf_feedHooks().repaintCounts();
}

// The shortest text that reads back as the same double, as "{}" writes it in the standard library's
// formatting (450000 for 450000, 1e+05 for 100000).
std::string lf_shortest(double value) {
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

void lf_processRTVersion(std::string_view reply) {
    auto& link = realTrafficLink;
    if (reply.empty()) {
        gf_showMessage("No RealTraffic version received?", true);
        link.rtProfessional.store(false);
        return;
    }
    try {
        const auto doc = nlohmann::json::parse(reply.begin(), reply.end());
        if (doc.is_object()) {
            // Compared as a number of any kind: a huge or fractional level must not be forced into an int.
            bool professional = false;
            if (const auto level = doc.find("level"); level != doc.end()) {
                if (!level->is_number())
                    throw nlohmann::json::type_error::create(
                        302, fmt::format("type must be number, but is {}", level->type_name()), &*level);
                professional = level->get<double>() == 2.0;
            }
            const std::string version = doc.value("version", std::string());
            link.rtProfessional.store(professional);
            feedStatus.setRealTrafficText(
                fmt::format("RT {} edition: {}", professional ? "prof" : "stnd", gf_outsideText(version)));
        } else {
            link.rtProfessional.store(false);
            feedStatus.setRealTrafficText({});
        }
        lf_repaintCounts();
    } catch (const std::exception& e) {
        link.rtProfessional.store(false);
        feedStatus.setRealTrafficText({});
        lf_repaintCounts();
        gf_log(fmt::format("{}: JSON parse failed: {}", "lf_processRTVersion", gf_outsideText(e.what())));
    }
}

// A send failed and closed the client socket: RealTraffic has gone. Whichever line found it out, the
// live traffic leaves the simulator and the feed starts afresh; the next user line waits for
// RealTraffic to connect again.
void lf_realTrafficLost() {
    feedStatus.realTrafficConnected.store(false);
    lf_repaintCounts();
    if (!runControl.close.load()) gf_feedHooks().removeLiveTraffic();
    gf_feedReset();
    gf_showMessage(
        fmt::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", gf_utcClockNow()), true);
}

} // namespace

void gf_readVersionReply(std::string_view reply) {
    lf_processRTVersion(reply);
}

void RealTrafficLink::startServer(const std::string& port) {
    close();
    if (const int rc = net::startup(); rc != 0)
        throw std::runtime_error(fmt::format("WSAStartup failed with error {}", rc));
    winsockStarted_ = true;
    const auto fail = [this](std::string text) {
        if (rtListenSocket != net::invalidSocket) net::closeSocket(rtListenSocket);
        rtListenSocket = net::invalidSocket;
        net::cleanup();
        winsockStarted_ = false;
        throw std::runtime_error(text);
    };

    net::Address address;
    if (const int rc = net::resolvePassiveTcp(port, address); rc != 0)
        fail(fmt::format("getaddrinfo failed with error {}", rc));
    rtListenSocket = net::openSocket(address.family, address.type, address.protocol);
    if (rtListenSocket == net::invalidSocket)
        fail("socket failed with error " + gf_winsockErrorText(net::lastError()));
    if (net::setBlocking(rtListenSocket, true) != 0)
        fail("ioctlsocket failed with error " + gf_winsockErrorText(net::lastError()));
    if (net::setReuseAddress(rtListenSocket, true) != 0) fail("setsockopt(SO_REUSEADDR) failed");
    if (net::bindTo(rtListenSocket, address) != 0)
        fail("Bind failed at port " + port + " with error " + gf_winsockErrorText(net::lastError()));
    if (net::listenOn(rtListenSocket) != 0)
        fail("listen failed with error " + gf_winsockErrorText(net::lastError()));
}

bool RealTrafficLink::waitForClient() {
    if (rtClientConnected.load()) return false;
    if (rtListenSocket == net::invalidSocket) return false;
    // Wait in steps of a second so that a stop or a close is noticed while RealTraffic stays away.
    for (;;) {
        if (runControl.stopping()) return false;
        const int ready = net::waitReadable(rtListenSocket, 1000ms);
        if (ready < 0) return false;
        if (ready > 0) break;
    }
    if (runControl.stopping()) return false;
    return acceptClient();
}

bool RealTrafficLink::takeWaitingClient() {
    if (rtClientConnected.load()) return false;
    if (rtListenSocket == net::invalidSocket) return false;
    if (net::waitReadable(rtListenSocket, 0ms) <= 0) return false;
    return acceptClient();
}

bool RealTrafficLink::acceptClient() {
    const net::SocketHandle client = net::acceptClient(rtListenSocket);
    if (client == net::invalidSocket) return false;
    if (net::setNoDelay(client, true) != 0) {
        const std::string reason = fmt::format("{} setsockopt failed with error {}", gf_utcClockNow(),
                                               gf_winsockErrorText(net::lastError()));
        gf_logUnlessStopping(fmt::format("waitForClient interrupted: {}", reason));
        net::closeSocket(client);
        return false;
    }
    rtClientSocket = client;
    rtClientConnected.store(true);
    return true;
}

std::string RealTrafficLink::receive() {
    if (rtClientSocket == net::invalidSocket) return {};
    // The reply may come in pieces: read until its line ends, it is a whole JSON document or the peer
    // closes, within the wait and the size limit.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(replyWaitSeconds);
    std::string reply;
    std::array<char, 4096> buffer{};
    for (;;) {
        if (runControl.stopping()) return {};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= 0ms) break;
        const int rc = net::waitReadable(rtClientSocket, std::min<std::chrono::milliseconds>(left, 1000ms));
        if (rc == 0) continue; // a failure is reported by the receive below
        const long n = net::receive(rtClientSocket, buffer.data(),
                                    std::min(buffer.size(), replyBufferSize - reply.size()));
        if (n < 0) {
            gf_logUnlessStopping(fmt::format("receive: {}", gf_winsockErrorText(net::lastError())));
            return {};
        }
        if (n == 0) break; // the peer has closed the link
        reply.append(buffer.data(), static_cast<std::size_t>(n));
        if (reply.size() >= replyBufferSize) {
            gf_logUnlessStopping(fmt::format("receive: buffer overrun: {}", reply.size()));
            return {};
        }
        if (reply.find('\n') != std::string::npos || nlohmann::json::accept(reply)) break;
    }
    return reply;
}

bool RealTrafficLink::sendDataPacket(std::string_view text) {
    // The worker never waits for RealTraffic: a peer that has stopped reading until the link's buffers
    // are full is as gone as one that has closed the link.
    const long sent = net::sendBytesNow(rtClientSocket, text);
    if (sent == static_cast<long>(text.size())) return true;
    const int code = sent < 0 ? net::lastError() : net::winsockCodeOf(EWOULDBLOCK);
    gf_logUnlessStopping(fmt::format("sendDataPacket to RealTraffic failed: {}", gf_winsockErrorText(code)));
    closeClient();
    gf_logUnlessStopping("RealTraffic client socket closed");
    return false;
}

void RealTrafficLink::closeClient() {
    rtClientConnected.store(false);
    if (rtClientSocket != net::invalidSocket) net::closeSocket(rtClientSocket);
    rtClientSocket = net::invalidSocket;
}

void RealTrafficLink::close() {
    if (rtClientConnected.load() && rtClientSocket != net::invalidSocket) sendDataPacket("exit\r\n");
    closeClient();
    if (rtListenSocket != net::invalidSocket) net::closeSocket(rtListenSocket);
    rtListenSocket = net::invalidSocket;
    if (winsockStarted_) net::cleanup();
    winsockStarted_ = false;
}

std::uint16_t RealTrafficLink::serverPort() const {
    return rtListenSocket == net::invalidSocket ? 0 : net::localPort(rtListenSocket);
}

void gf_awaitRTConnection() {
    if (!realTrafficLocal.load()) return;
    gf_showMessage(fmt::format("Waiting for RealTraffic to connect to {} ...", gf_productName), true);
    if (gf_logIsOpen()) gf_logFlush();
    gf_feedReset();
    auto& link = realTrafficLink;
    while (link.waitForClient()) {
        // A peer that is gone before it could be asked for its version is not connected: wait anew.
        if (!link.sendDataPacket("Qs999=version\r\n")) continue;
        lf_processRTVersion(link.receive());
        feedStatus.realTrafficConnected.store(true);
        lf_repaintCounts();
        feedStatus.waitingForRealTraffic.store(false);
        gf_log("RealTraffic connected");
        break;
    }
    gf_showMessage("", false);
}

void gf_sendSimTime(std::int64_t unixSeconds) {
    if (!realTrafficLink.rtClientConnected.load() || unixSeconds < 1) return;
    if (unixSeconds > std::numeric_limits<std::int64_t>::max() / 1000) return;
    if (!realTrafficLink.sendDataPacket(fmt::format("Qs123={}\r\n", unixSeconds * 1000)))
        lf_realTrafficLost();
}

std::string gf_userStateLine(const RtUserState& s) {
    return fmt::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{};{:.6f};{:.6f}", s.pitch * 100000.0,
                       s.bank * 100000.0, s.heading, s.altitudeFt * 1000.0,
                       lf_shortest(s.groundVelocityKn * 1000.0), s.lat * radiansPerDegree,
                       s.lon * radiansPerDegree);
}

void gf_sendUserState() {
    if (!realTrafficLocal.load()) return;
    const RtUserState state = gf_feedHooks().userState();
    if (std::fabs(state.lat) <= 0.0001 && std::fabs(state.lon) <= 0.0001) return; // no position yet
    auto& link = realTrafficLink;
    if (link.rtClientConnected.load()) {
        if (!link.sendDataPacket(gf_userStateLine(state) + "\r\n")) lf_realTrafficLost();
        return;
    }
    // The engine's pass goes on while RealTraffic is away: a waiting connection is taken when it comes.
    if (runControl.stopReason() != StopReason::NotYetSet || runControl.stopping()) return;
    if (link.takeWaitingClient()) {
        feedStatus.realTrafficConnected.store(true);
        lf_repaintCounts();
        gf_showMessage(fmt::format("{} RealTraffic re-connected", gf_utcClockNow()), true);
        gf_showMessage("", false);
    }
}

void gf_closeRealTrafficLink() {
    realTrafficLink.close();
}
