#pragma once
// The RealTraffic stand-in: plays a recorded replay of traffic and QNH datagrams over UDP and, like
// RealTraffic on the same computer, connects to the program's TCP server, answers its version request
// and records every line the program sends.
//
// Replay file: one datagram a line: the seconds since the start of the replay, a tab, "T" (a traffic
// datagram, sent to the traffic port) or "Q" (a QNH datagram, sent to the QNH port), a tab, and the
// payload exactly as it is sent. Empty lines and lines starting with "#" are skipped.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace rtfeed {

struct ReplayLine {
    double at = 0.0; // seconds since the start of the replay
    char kind = 'T'; // 'T' traffic, 'Q' QNH
    std::string payload;
};

// Throws std::runtime_error "line {n}: {what}" for a line that is not a replay line; the times must
// not go backwards.
std::vector<ReplayLine> parseReplay(std::istream& in);
std::vector<ReplayLine> loadReplay(const std::filesystem::path& file);

// The time from the start of one pass of a looped replay to the start of the next: the last line's
// time at the given speed, never less than one second (a replay whose lines all stand at 0 s must
// not be resent without a pause).
std::chrono::steady_clock::duration loopPeriod(const std::vector<ReplayLine>& lines, double speed);

// The feed time (field 14) of a traffic payload; empty when it has none.
std::optional<double> trafficTimestamp(std::string_view payload);
// The payload with its feed time moved by the offset (seconds); unchanged when it has none.
std::string shiftTimestamp(std::string_view payload, double offset);

// RealTraffic's side of the TCP line link. It connects to the program's server, answers
// "Qs999=version" with {"level":..,"version":..} in one write, records every line it receives (and
// writes it to the log file when one is given) and connects again whenever the connection ends.
class TcpPeer {
public:
    struct Options {
        std::string host = "127.0.0.1";
        std::uint16_t port = 10747;
        int level = 1;
        std::string version = "1.0";
        std::filesystem::path logFile; // empty: no file
        std::chrono::milliseconds reconnectDelay{1000};
    };

    explicit TcpPeer(Options options);
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    void start();
    void stop();

    // Lines received so far, without their line ends.
    std::vector<std::string> lines() const;
    // The bytes received so far, exactly as they came.
    std::string received() const;
    // Connections made so far.
    int connections() const { return connections_.load(); }
    bool connected() const { return connected_.load(); }
    // Ends the current connection as if RealTraffic had gone; the peer connects again after its delay.
    void drop() { dropRequested_.store(true); }
    // Waits until the predicate over the lines holds, at most the timeout.
    bool waitFor(const std::function<bool(const std::vector<std::string>&)>& predicate,
                 std::chrono::milliseconds timeout) const;

private:
    void run();
    void serve(int socket);
    void onLine(int socket, const std::string& line);
    bool pause(std::chrono::milliseconds duration) const;

    Options options_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropRequested_{false};
    std::atomic<bool> connected_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::string received_;
};

struct PlayOptions {
    double speed = 1.0;
    std::string host = "127.0.0.1";
    std::uint16_t trafficPort = 49005;
    std::uint16_t qnhPort = 49004;
    bool now = false;  // move every feed time so that the first of each pass is the current time
    bool loop = false; // play again and again
};

// Sends the replay's datagrams at their times (divided by the speed).
class Player {
public:
    Player(std::vector<ReplayLine> lines, PlayOptions options);
    // Plays until the replay is done (never with loop) or the stop flag is set. Throws
    // std::runtime_error when the host cannot be resolved or no socket can be opened.
    void run(const std::atomic<bool>& stop);
    // Datagrams sent so far.
    std::size_t sent() const { return sent_.load(); }

private:
    std::vector<ReplayLine> lines_;
    PlayOptions options_;
    std::atomic<std::size_t> sent_{0};
};

struct FloodOptions {
    double rate = 20000.0; // datagrams a second
    double seconds = 60.0;
    std::string host = "127.0.0.1";
    std::uint16_t trafficPort = 49005;
    int flights = 500;          // distinct flights the datagrams cycle through (1 to 9999)
    double centreLat = 47.4647; // the flights circle this point (Zurich), within 27 nm
    double centreLon = 8.5492;
};

// Datagram number `number` (from 0) of a flood: a valid airborne traffic datagram of flight
// number % flights with the feed time given. No two numbers give the same datagram.
std::string floodDatagram(std::uint64_t number, const FloodOptions& options, double feedTime);
// The time after the start of a flood at which datagram `number` is due: number / rate seconds, rounded
// up to the clock's tick.
std::chrono::steady_clock::duration floodDueAt(std::uint64_t number, double rate);
// How many datagrams of a flood are due once the time has passed since its start: datagram n is due at
// n / rate seconds; never more than the total.
std::uint64_t floodDueBy(std::chrono::steady_clock::duration elapsed, double rate, std::uint64_t total);

// Sends traffic datagrams at a steady rate for a set time, each one distinct, and counts them.
class Flooder {
public:
    // The time source of a run (tests drive a virtual one).
    struct Clock {
        std::function<std::chrono::steady_clock::time_point()> now;
        std::function<void(std::chrono::steady_clock::time_point)> sleepUntil;
        std::function<double()> unixNow;
    };

    // Throws std::runtime_error for a rate or duration that is not above 0.
    explicit Flooder(FloodOptions options);
    // Sends rate x seconds datagrams to the traffic port, or fewer when the stop flag is set. Throws
    // std::runtime_error when the host cannot be resolved or no socket can be opened.
    void run(const std::atomic<bool>& stop);
    // The same on a given clock through a given send (true when the datagram went out).
    void run(const std::atomic<bool>& stop, const Clock& clock,
             const std::function<bool(std::string_view)>& send);

    // The datagrams a whole run sends.
    std::uint64_t total() const;
    std::uint64_t sent() const { return sent_.load(); }
    // Sends the system refused (its send buffer full, no route, ...).
    std::uint64_t failed() const { return failed_.load(); }
    // From the first send to the end of the last run.
    std::chrono::steady_clock::duration elapsed() const { return elapsed_; }

private:
    FloodOptions options_;
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> failed_{0};
    std::chrono::steady_clock::duration elapsed_{};
};

// The program: skyloom-rtfeed play FILE [--speed X] [--host H] [--traffic-port P] [--qnh-port P]
// [--now] [--loop] [--tcp HOST:PORT --level 1|2 --version TEXT --tcp-log FILE], or skyloom-rtfeed flood
// [--rate N] [--seconds S] [--host H] [--traffic-port P] [--flights N] [--centre LAT,LON]. Returns the exit
// code (0 when the replay was played, 2 for a wrong command line, 1 for other failures). The stop flag ends
// a run early (tests).
int runCommandLine(const std::vector<std::string>& args, const std::atomic<bool>& stop);

} // namespace rtfeed
