#include "feed/udp_readers.h"

#include <condition_variable>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>

#include "core/log.h"
#include "core/run_control.h"
#include "feed/feed_state.h"
#include "feed/winsock_errors.h"

TrafficReader trafficReader;
QnhReader qnhReader;
std::atomic<bool> trafficFlowLatch{true};
std::atomic<bool> qnhFlowLatch{true};

namespace {

using namespace std::chrono_literals;

std::mutex g_runningMutex;
std::condition_variable g_runningChanged;

void lf_setRunning(UdpReader& reader, bool running) {
    // Notified under the lock: a waiter that sees the end may let the process exit at once.
    std::lock_guard lock(g_runningMutex);
    reader.running.store(running);
    g_runningChanged.notify_all();
}

void lf_repaintCounts() {
    gf_feedHooks().repaintCounts();
}

void lf_logReaderConnected(std::string_view name) {
    gf_logContinuation(fmt::format("{} connected", name));
}
void lf_logReaderDisconnected(std::string_view name) {
    gf_logContinuation(fmt::format("{} disconnected", name));
}

// The common body of both reader threads; onBound shows the statuses once the socket is bound.
template <typename OnBound> void lf_readerThread(UdpReader& reader, std::uint16_t port, OnBound onBound) {
    lf_setRunning(reader, true);
    try {
        reader.startWinsock();
        reader.createSocket();
        reader.bindPort(port);
        onBound();
        lf_logReaderConnected(reader.name);
        reader.receiveLoop();
        reader.closeSocket();
        gf_logContinuation(fmt::format("{}: {} datagrams received, {} dropped by the system", reader.name,
                                       reader.receivedOnSocket(), reader.systemDrops.load()));
    } catch (const std::exception& e) {
        reader.closeSocket();
        gf_feedHooks().reportThreadError(reader.name, e.what());
    } catch (...) {
        reader.closeSocket();
        gf_feedHooks().reportThreadError(reader.name, "Unknown exception");
    }
    lf_logReaderDisconnected(reader.name);
    lf_setRunning(reader, false);
}

// One reader's part of the watchdog.
void lf_checkOne(UdpReader& reader, std::atomic<std::int32_t>& status, std::atomic<bool>& latch) {
    const std::int32_t count = reader.datagramCount.load();
    const std::int32_t seen = reader.counterSeen.exchange(count);
    if (count == seen) {
        status.store(readerNoData);
        lf_repaintCounts();
        latch.store(false);
    } else if (!latch.load()) {
        latch.store(true);
        status.store(readerFlowing);
        lf_repaintCounts();
    }
}

} // namespace

UdpReader::~UdpReader() {
    if (socket_ != net::invalidSocket) net::closeSocket(socket_);
}

void UdpReader::startWinsock() {
    if (const int rc = net::startup(); rc != 0)
        throw std::runtime_error(fmt::format("WSA startup error: {}", rc));
    winsockStarted_ = true;
}

void UdpReader::createSocket() {
    socket_ = net::openUdpSocket();
    if (socket_ == net::invalidSocket)
        throw std::runtime_error(
            fmt::format("failed to create the socket, error: {}", gf_winsockErrorText(net::lastError())));
    const int granted = net::setReceiveBuffer(socket_, receiveBufferBytes);
    if (granted < receiveBufferBytes && !bufferSizeLogged_) {
        bufferSizeLogged_ = true;
        if (granted < 0) {
            gf_log(fmt::format("{}: the receive buffer could not be set: {}", name,
                               gf_winsockErrorText(net::lastError())));
        } else {
            gf_log(fmt::format("{}: receive buffer of {} KiB granted, {} KiB asked for", name, granted / 1024,
                               receiveBufferBytes / 1024));
        }
    }
    net::setReceiveTimeout(socket_, stopCheckPeriod);
    // The system counts the drops of each socket from 0.
    net::reportDroppedDatagrams(socket_);
    systemDrops.store(0);
    dropsLogged_ = 0;
    dropsLoggedAt_.reset();
    received_ = 0;
}

void UdpReader::bindPort(std::uint16_t port) {
    if (net::bindIpv4(socket_, realTrafficLocal.load(), port) != 0)
        throw std::runtime_error(
            fmt::format("bind to stream socket failed, error: {}", gf_winsockErrorText(net::lastError())));
    boundPort.store(net::localPort(socket_));
}

void UdpReader::closeSocket() {
    if (socket_ != net::invalidSocket) net::closeSocket(socket_);
    socket_ = net::invalidSocket;
    boundPort.store(0);
    if (winsockStarted_) net::cleanup();
    winsockStarted_ = false;
}

void UdpReader::receiveLoop() {
    if (!stopFlag.load()) {
        const bool keepAll = realTrafficLocal.load();
        // One system call per datagram: the receive itself waits, at most a second (createSocket sets
        // the limit), so that the stop flag is still looked at while nothing comes.
        do {
            std::uint32_t dropped = systemDrops.load();
            const long n = net::receiveDatagram(socket_, buffer_.data(), maxDatagram, dropped);
            if (n >= 0) {
                noteDrops(dropped);
                takeDatagram(static_cast<std::size_t>(n), keepAll);
            } else if (net::lastError() != net::wsaWouldBlock) {
                throw std::runtime_error(
                    fmt::format("receive error: {}", gf_winsockErrorText(net::lastError())));
            }
            logSummaries();
            // A count held back within its minute is logged once the minute is over.
            if (systemDrops.load() != dropsLogged_) noteDrops(systemDrops.load());
        } while (!stopFlag.load());
    }
    logSummaries(true);
    if (systemDrops.load() != dropsLogged_) {
        dropsLoggedAt_.reset();
        noteDrops(systemDrops.load());
    }
    if (socket_ != net::invalidSocket) net::closeSocket(socket_);
    socket_ = net::invalidSocket;
    boundPort.store(0);
    onStopped();
}

void UdpReader::takeDatagram(std::size_t length, bool keepAll) {
    if (length >= maxDatagram) {
        if (!runControl.stopping())
            logLimited("buffer overrun", fmt::format("buffer overrun: {} bytes", length));
        return;
    }
    if (length == 0) return;
    buffer_[length] = '\0';
    data_ = std::string_view(buffer_.data(), length);
    datagramCount.fetch_add(1);
    ++received_;
    if (keepAll) {
        onDatagram();
    } else if (data_ != previous_) {
        previous_.assign(data_);
        onDatagram();
    }
}

void UdpReader::noteDrops(std::uint32_t dropped) {
    systemDrops.store(dropped);
    if (dropped == dropsLogged_) return;
    const auto now = logClock();
    if (dropsLoggedAt_ && now - *dropsLoggedAt_ < dropLogPeriod) return;
    dropsLoggedAt_ = now;
    dropsLogged_ = dropped;
    gf_log(fmt::format("{}: {} datagrams dropped by the system so far, its receive buffer was full", name,
                       dropped));
}

void UdpReader::logLimited(std::string_view kind, std::string_view line, bool asError) {
    const auto now = logClock();
    for (const std::string& summary : throttle_.summaries(name, now))
        gf_log(summary);
    if (!throttle_.admit(kind, now)) return;
    if (asError) {
        gf_logError(line);
    } else {
        gf_log(line);
    }
}

void UdpReader::resetLogStateForTests() {
    throttle_.clear();
    logClock = [] { return LogThrottle::Clock::now(); };
    receiveBufferBytes = wantedReceiveBuffer;
    bufferSizeLogged_ = false;
    systemDrops.store(0);
    dropsLogged_ = 0;
    dropsLoggedAt_.reset();
}

void UdpReader::logSummaries(bool all) {
    for (const std::string& summary : throttle_.summaries(name, logClock(), all))
        gf_log(summary);
}

void TrafficReader::onStopped() {
    feedStatus.trafficStatus.store(readerStopped);
    lf_repaintCounts();
    gf_log("Traffic Reader has stopped");
}

void QnhReader::onStopped() {
    gf_log("QNH Reader has stopped");
}

void gf_trafficReaderThread(std::uint16_t port) {
    lf_readerThread(trafficReader, port, [] {
        feedStatus.trafficStatus.store(readerFlowing);
        lf_repaintCounts();
        feedStatus.qnhStatus.store(readerFlowing);
        lf_repaintCounts();
    });
}

void gf_qnhReaderThread(std::uint16_t port) {
    lf_readerThread(qnhReader, port, [] {
        feedStatus.qnhStatus.store(readerFlowing);
        lf_repaintCounts();
    });
}

void gf_startTrafficReader(std::uint16_t port) {
    lf_setRunning(trafficReader, true);
    std::thread(gf_trafficReaderThread, port).detach();
}

void gf_startQnhReader(std::uint16_t port) {
    lf_setRunning(qnhReader, true);
    std::thread(gf_qnhReaderThread, port).detach();
}

void gf_stopReaders() {
    qnhReader.stopFlag.store(true);
    trafficReader.stopFlag.store(true);
}

bool gf_waitForReadersToEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(g_runningMutex);
    return g_runningChanged.wait_for(
        lock, timeout, [] { return !trafficReader.running.load() && !qnhReader.running.load(); });
}

void gf_checkReaderActivity() {
    if (!feedStatus.realTrafficConnected.load()) return;
    lf_checkOne(qnhReader, feedStatus.qnhStatus, qnhFlowLatch);
    lf_checkOne(trafficReader, feedStatus.trafficStatus, trafficFlowLatch);
}
