#pragma once
// The traffic feed's shared state: the adding stack between the traffic reader and the traffic engine,
// the values the traffic filter reads, what the status area shows of the feed, and the calls the feed
// makes into the modules above it (hooks that the program wires at start-up).

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "feed/traffic_record.h"

// ---- The adding stack -------------------------------------------------------------------------------

// Guards addingStack and addingStackOpen. Hold it only for an append or a take.
extern std::mutex addingStackMutex;
// Accepted live flights, oldest first; the traffic engine takes them from the front.
extern TrafficRecordQueue addingStack;
// Whether the traffic reader may append (guarded by addingStackMutex).
extern bool addingStackOpen;
// Sets addingStackOpen under the mutex.
void gf_setAddingStackOpen(bool open);

// The traffic engine's pass counter (10 ms passes). Only the engine raises it; the feed stamps each
// queued record with it plus feedDelayPasses.
extern std::atomic<std::int64_t> enginePassCount;
inline constexpr std::int64_t feedDelayPasses = 3000;

// ---- Values read by the traffic filter and the engine ----------------------------------------------

// The radius around the user within which live traffic is accepted (nautical miles). The traffic filter
// reads only this value: the range setter and the automatic range store every new radius here (window
// thread or worker). Starts at RANGE's default.
extern std::atomic<double> trafficRadiusNm;
// The QNH in whole hectopascals for the traffic engine; 1013 until a value arrives.
extern std::atomic<std::int32_t> currentQnh;
// RealTraffic runs on this computer: the readers listen on 127.0.0.1 only and hand on every datagram,
// and the TCP link is used.
extern std::atomic<bool> realTrafficLocal;

// RealTraffic counts as local when "RealTraffic.jar" lies in "InsideSystems" under the roaming
// application-data folder. Sets realTrafficLocal and returns it.
bool gf_detectLocalRealTraffic();

// ---- What the status area shows of the feed ---------------------------------------------------------

enum ReaderStatus : std::int32_t {
    readerFlowing = 1, // connected and data flowing
    readerNoData = 2,  // no new datagram since the previous watchdog call
    readerStopped = 3, // stopped or not started
};

// One copy of FeedStatus, taken at once (FeedStatus::value).
struct FeedStatusValue {
    bool realTrafficConnected = false;
    bool waitingForRealTraffic = true;
    ReaderStatus trafficStatus = readerStopped;
    ReaderStatus qnhStatus = readerStopped;
    std::int32_t qnh = 0;
    std::string realTrafficText;
};

struct FeedStatus {
    // The "RT" indicator: RealTraffic is connected (or the link is not used).
    std::atomic<bool> realTrafficConnected{false};
    // The run still waits for RealTraffic (the window reads it).
    std::atomic<bool> waitingForRealTraffic{true};
    std::atomic<std::int32_t> trafficStatus{readerStopped};
    std::atomic<std::int32_t> qnhStatus{readerStopped};
    // The QNH shown (hPa); 0 while none has arrived.
    std::atomic<std::int32_t> qnh{0};

    // "RT {} edition: {}" once RealTraffic has told its version; empty otherwise.
    std::string realTrafficText() const;
    void setRealTrafficText(std::string text);

    // Everything above, copied under the lock.
    FeedStatusValue value() const;

private:
    mutable std::mutex mutex_;
    std::string realTrafficText_;
};

extern FeedStatus feedStatus;

// ---- Calls into the modules above the feed ---------------------------------------------------------

// The user aircraft's state as the TCP link reports it to RealTraffic.
struct RtUserState {
    double lat = 0.0;              // degrees
    double lon = 0.0;              // degrees
    double pitch = 0.0;            // radians
    double bank = 0.0;             // radians
    double heading = 0.0;          // radians
    double altitudeFt = 0.0;       // feet
    double groundVelocityKn = 0.0; // knots
};

struct FeedHooks {
    // Repaint the counts band of the status area. Default: nothing.
    std::function<void()> repaintCounts;
    // RealTraffic was lost: take the live traffic out of the simulator (the engine). Default: nothing.
    std::function<void()> removeLiveTraffic;
    // The worker's copy of the user aircraft's state. Default: all zero (nothing is sent).
    std::function<RtUserState()> userState;
    // A reader thread failed. Default: shows and logs "The {} has stopped with error: {}" and requests
    // the stop "READER ERROR" with a restart after 15 seconds.
    std::function<void(std::string_view threadName, std::string_view error)> reportThreadError;
};

// The hooks in use. Write them only at start-up (or in a test before the code under test runs).
FeedHooks& gf_feedHooks();
void gf_resetFeedHooks();

// Makes core's traffic clock use the feed: the time of the latest traffic datagram and whether the
// RealTraffic peer is the professional edition. Called once at start-up.
void gf_installFeedCoreHooks();

// ---- Resets -----------------------------------------------------------------------------------------

// The feed reset when RealTraffic connects or is lost: the traffic reader's feed time 0 and its
// callsign set emptied, both readers' stop flags cleared, both flow latches raised, the QNH reader's
// last QNH 1013 and its counters 0.
void gf_feedReset();
// The feed's part of the reset before a restart: the feed reset, the QNH back to 1013 (the shown one
// to none), both reader statuses stopped, the professional-peer flag cleared, the "RT" indicator off
// and its waiting flag on.
void gf_resetFeedRunState();
// Tests only: every global of the feed back to its program-start value, the hooks to their defaults,
// the adding stack emptied, the sockets of the TCP link closed.
void gf_resetFeedForTests();
