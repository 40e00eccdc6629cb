#pragma once
// The two UDP readers: "Traffic Reader" (traffic datagrams, port 49005) and "QNH Reader" (QNH
// datagrams, port 49004). Each runs its own detached thread, receives into a buffer of its own and hands
// every datagram to its handler. The worker stops them through their stop flags, which the receive loop
// tests at least once a second.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/geodesy.h"
#include "feed/outside_text.h"
#include "platform/net/socket.h"

inline constexpr std::uint16_t trafficPort = 49005;
inline constexpr std::uint16_t qnhPort = 49004;

class UdpReader {
public:
    // Largest datagram handed on is maxDatagram - 1 bytes; a datagram of maxDatagram bytes or more is
    // an overrun.
    static constexpr std::size_t maxDatagram = 16384;
    // The receive buffer asked for: a few seconds of a heavy feed, so that a short stall of the
    // reader loses nothing.
    static constexpr int wantedReceiveBuffer = 4 * 1024 * 1024;
    // The system's count of dropped datagrams is logged at most this often while it grows.
    static constexpr std::chrono::seconds dropLogPeriod{60};
    // The longest a receive waits before the stop flag is looked at again.
    static constexpr std::chrono::milliseconds stopCheckPeriod{1000};

    explicit UdpReader(std::string name) : name(std::move(name)) {}
    virtual ~UdpReader();
    UdpReader(const UdpReader&) = delete;
    UdpReader& operator=(const UdpReader&) = delete;

    // Handle the datagram in the data view.
    virtual void onDatagram() = 0;
    // The receive loop has ended normally.
    virtual void onStopped() = 0;

    // Socket set-up; each throws std::runtime_error with the texts of the readers.
    void startWinsock();
    // Also asks for the receive buffer (receiveBufferBytes; the size granted is logged once when it is
    // less) and, where the system counts them, for the count of datagrams it drops.
    void createSocket();
    // 127.0.0.1 when RealTraffic is local, else any address. Port 0 lets the system choose (tests).
    void bindPort(std::uint16_t port);
    // Receives until the stop flag is set; then closes the socket and calls onStopped. Throws
    // "receive error: {}" when a receive fails.
    void receiveLoop();
    // Closes the socket when it is open and ends the socket use of startWinsock.
    void closeSocket();

    // Hands one datagram to onDatagram as the receive loop does for a new one (tests, benchmarks).
    // The view must stay valid during the call.
    void handle(std::string_view datagram) {
        data_ = datagram;
        onDatagram();
    }

    // "Traffic Reader" or "QNH Reader".
    const std::string name;
    std::atomic<bool> stopFlag{false};
    // Datagrams received with 1 to maxDatagram - 1 bytes (suppressed repeats included).
    std::atomic<std::int32_t> datagramCount{0};
    // The counter at the previous watchdog call (worker thread).
    std::atomic<std::int32_t> counterSeen{0};
    // The port the socket is bound to (0 while none).
    std::atomic<std::uint16_t> boundPort{0};
    // True from the start of the reader's thread until its last step.
    std::atomic<bool> running{false};
    // Datagrams the system has dropped on the reader's socket for want of room, as it last reported.
    std::atomic<std::uint32_t> systemDrops{0};

    // The receive buffer that createSocket asks for (tests ask for a tiny one).
    int receiveBufferBytes = wantedReceiveBuffer;
    // The clock of the log throttle and the drop report (tests set a fake one before the reader runs).
    std::function<LogThrottle::Clock::time_point()> logClock = [] { return LogThrottle::Clock::now(); };

    // Logs a line that holds outside text (made safe with gf_outsideText), at most
    // LogThrottle::linesPerMinute lines of one kind a minute; the rest are counted and summed up.
    void logLimited(std::string_view kind, std::string_view line, bool asError = false);
    // Logs the summaries whose minute is over (all of them when `all`).
    void logSummaries(bool all = false);
    // Datagrams counted since the socket was created (the reader's own count, beside systemDrops).
    std::uint64_t receivedOnSocket() const { return received_; }
    // Tests only: the log throttle, the drop report, the clock and the buffer size back at their start.
    void resetLogStateForTests();

protected:
    std::string_view data_;

private:
    void noteDrops(std::uint32_t dropped);
    // One received datagram of the length: an overrun is logged, an empty one ignored, any other counted
    // and handed on (a repeat only when keepAll).
    void takeDatagram(std::size_t length, bool keepAll);

    std::array<char, maxDatagram + 1> buffer_{};
    std::string previous_;
    net::SocketHandle socket_ = net::invalidSocket;
    bool winsockStarted_ = false;
    bool bufferSizeLogged_ = false;
    LogThrottle throttle_;
    std::uint64_t received_ = 0;
    std::uint32_t dropsLogged_ = 0;
    std::optional<LogThrottle::Clock::time_point> dropsLoggedAt_;
};

// Where the traffic filter stands: the user's position, the park airport and its elevation.
struct TrafficFilterContext {
    Lalo reference;                             // centre of the range filter
    std::optional<double> parkAirportElevation; // feet, from the park airport's airport file
    bool parkAirportChosen = false;             // a park airport is chosen (its code is not empty)
    Lalo parkAirportPosition;
    double parkAirportElevationFt = 0.0; // the park airport's elevation in the airports table
};

class TrafficReader : public UdpReader {
public:
    TrafficReader();

    void onDatagram() override;
    void onStopped() override;

    // Reads the datagram (gf_readTrafficDatagram) with a snapshot of the filter and appends at most one
    // record to the adding stack. Never throws: errors are logged as "exception in processLineSub: {}".
    void processLineSub();

    // The time of the latest traffic datagram (Unix seconds; 0 until one arrives or after a reset).
    std::atomic<double> feedTimestamp{0.0};

    // The range filter's centre (the main cycle sets it every 5 seconds).
    void setReferencePosition(const Lalo& position);
    Lalo referencePosition() const;
    // The park airport's elevation from its airport file; empty when none is loaded.
    void setParkAirportElevation(std::optional<double> elevationFt);
    std::optional<double> parkAirportElevation() const;
    // The park airport as the traffic engine has chosen it (code, position, elevation from the airports
    // table); an empty code means none is chosen.
    void setParkAirport(const std::string& code, const Lalo& position, double elevationFt);
    void clearParkAirport();
    std::string parkAirportCode() const;
    // One consistent copy of everything above.
    TrafficFilterContext filterContext() const;

    // Callsigns of the flights seen while collecting (static parking): the engine starts a collection
    // and later takes over what was gathered, which ends it.
    void startCollectingCallsigns();
    std::unordered_set<std::string> takeCollectedCallsigns();
    void clearCallsigns();
    bool collectingCallsigns() const { return collectCallsigns_.load(); }

private:
    mutable std::mutex contextMutex_;
    TrafficFilterContext context_;
    std::string parkAirportCode_;

    std::mutex callsignMutex_;
    std::unordered_set<std::string> callsignSet_;
    std::atomic<bool> collectCallsigns_{false};
};

class QnhReader : public UdpReader {
public:
    QnhReader() : UdpReader("QNH Reader") {}

    void onDatagram() override;
    void onStopped() override;

    // The QNH last published (hPa); 0 at program start, 1013 after a feed reset.
    std::atomic<std::int32_t> lastQnh{0};
};

extern TrafficReader trafficReader;
extern QnhReader qnhReader;

// The raised/lowered flags that keep the watchdog from repainting on every call.
extern std::atomic<bool> trafficFlowLatch;
extern std::atomic<bool> qnhFlowLatch;

// Thread bodies. Port 0 binds an ephemeral port (tests read it from the reader's boundPort).
void gf_trafficReaderThread(std::uint16_t port);
void gf_qnhReaderThread(std::uint16_t port);
// Start a reader's thread detached.
void gf_startTrafficReader(std::uint16_t port = trafficPort);
void gf_startQnhReader(std::uint16_t port = qnhPort);
// Sets both readers' stop flags.
void gf_stopReaders();
// Waits until both reader threads have ended, at most the timeout. True when they have.
bool gf_waitForReadersToEnd(std::chrono::milliseconds timeout);

// The no-data watchdog (worker thread): turns the readers' datagram counters into their statuses.
void gf_checkReaderActivity();
