#pragma once
// The simulator link: the SimClient thread that owns the connection to the simulator, the command
// queues through which the other threads send commands to it, the results it reports to the traffic
// engine, and the user aircraft's state.
//
// Locks: simCommandMutex guards the command queues, the position buffers and every simulator call made
// outside the SimClient thread; simResultMutex guards simResults. A thread that holds simResultMutex
// may take simCommandMutex, never the reverse.

#include "core/geodesy.h"
#include "platform/simconnect/simconnect.h"
#include "refdata/size_category.h"
#include "simlink/sim_ids.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---- Data blocks --------------------------------------------------------------------------------------

// The position block of an AI aircraft (definition 402, 64 bytes).
struct AiPosition {
    double latitude = 0;      // degrees
    double longitude = 0;     // degrees
    double pitch = 0;         // radians
    double bank = 0;          // radians
    double heading = 0;       // radians, true
    double altitude = 0;      // feet
    double verticalSpeed = 0; // feet per second
    double trueAirspeed = 0;  // knots
};
static_assert(sizeof(AiPosition) == 64);

struct PositionEntry {
    AiPosition position;
    std::uint32_t objectId = 0;
};

// The user aircraft's state block (definition 403, 96 bytes).
struct UserState {
    double latitude = 0;            // degrees
    double longitude = 0;           // degrees
    double pitch = 0;               // radians
    double bank = 0;                // radians
    double heading = 0;             // radians, true
    double altitude = 0;            // feet
    double altAboveGround = 0;      // feet
    double groundVelocity = 0;      // knots
    std::int64_t zuluTime = 0;      // seconds of the day
    std::int64_t zuluDayOfYear = 0; // 1 = 1 January
    std::int64_t zuluYear = 0;
    std::int64_t lightStates = 0; // bit mask
};
static_assert(sizeof(UserState) == 96);

// A position counts as known when its latitude or longitude is further than 0.0001 degrees from 0.
bool gf_positionKnown(double latitude, double longitude);

// A request to create an AI aircraft.
struct AiCreateRecord {
    SIMCONNECT_DATA_INITPOSITION initPosition{}; // degrees, feet, degrees; on ground; knots
    std::string callsign;    // sent as the tail number; the simulator returns it as "ATC ID"
    std::string_view title;  // the livery title, a view into the livery catalogue's storage
    std::uint32_t hexid = 0; // transponder address; 10000 and below: a static parked aircraft
};

// A command to one AI aircraft.
struct ClientEventCmd {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0; // ClientEventId
    std::uint32_t data = 0;
};

// A creation handed to the simulator and not yet answered.
struct SentCreate {
    std::uint32_t packetId = 0;
    std::uint32_t hexid = 0;
    std::string callsign;
};

enum class SimResultKind : std::uint32_t {
    liveObjectFound = 0,   // value: hexid; b: altitude above ground (ft)
    staticObjectFound = 1, // value: hexid
    objectRemoved = 2,
    groundData = 3,     // value: on ground (0/1); a: ground altitude (ft); b: altitude above ground (ft)
    staticCgData = 4,   // a: "Static CG to Ground" (ft); b: "Static Pitch" (rad)
    blockedRemoval = 5, // never produced by the link
    createFailed = 6,   // value: hexid; object id 0
};

// One report for the traffic engine.
struct SimResult {
    std::uint32_t objectId = 0;
    std::uint32_t value = 0;
    std::int32_t counter = 0; // 0 from the link; the engine counts with it
    SimResultKind kind = SimResultKind::liveObjectFound;
    double a = 0;
    double b = 0;
};

// ---- Connection state -----------------------------------------------------------------------------------

// The connection, nullptr while there is none. Written by the SimClient thread under simCommandMutex;
// other threads use it only while they hold simCommandMutex.
extern std::atomic<HSIMCONNECT> hSimConnect;
// The simulation runs (the "Sim" event), cleared on a quit.
extern std::atomic<bool> simRunning;
// The link is stopping (the SimClient thread was asked to stop or has left).
extern std::atomic<bool> simStopping;
// A request failed: the queues are dropped at each frame and the user-state request is skipped.
extern std::atomic<bool> simLinkSuspended;
// Raised by every on-ground reply (once per simulator second).
extern std::atomic<bool> simTickFlag;
// The simulator's UTC time in Unix seconds (kept while the RealTraffic peer is the professional edition).
extern std::atomic<std::int64_t> simTimeUnix;
// The simulator's frame rate, sampled every 30 frames.
extern std::atomic<float> simFrameRate;

// The simulator runs and the link is not stopping.
bool gf_simRunningAndNotStopping();

// ---- Command queues (guarded by simCommandMutex) --------------------------------------------------------

extern std::mutex simCommandMutex;
// The engine fills the write buffer during its pass and exchanges the two under the mutex; the frame
// flush sends and empties the send buffer.
extern std::vector<PositionEntry> positionWriteBuffer;
extern std::vector<PositionEntry> positionSendBuffer;
extern std::vector<ClientEventCmd> simEventQueue;
extern std::vector<AiCreateRecord> simCreateQueue;
extern std::vector<std::uint32_t> simRemoveQueue;

// SimClient thread only (and the reset between runs).
extern std::vector<SentCreate> sentCreates;
extern std::vector<std::uint32_t> newObjectIds;

// Room for 256 entries in the position buffers, the create and remove queues, sentCreates and
// newObjectIds; clears simLinkSuspended. Called by the main run before it starts SimClient.
void gf_reserveSimQueues();

// Each of these takes simCommandMutex, appends and releases it.
void gf_queueAiCreate(const AiCreateRecord& record);
void gf_queueAiRemove(std::uint32_t objectId);
void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data);
void gf_engineAutoShutdown(std::uint32_t objectId);
void gf_engineAutoStart(std::uint32_t objectId);
// NAV, BEACON, LANDING, TAXI, STROBES, LOGO, CABIN.
void gf_setLights(std::uint32_t objectId, std::uint32_t nav, std::uint32_t beacon, std::uint32_t landing,
                  std::uint32_t taxi, std::uint32_t strobes, std::uint32_t logo, std::uint32_t cabin);
void gf_setNavLights(std::uint32_t objectId, std::uint32_t value);
void gf_setCabinLights(std::uint32_t objectId, std::uint32_t value);

// Exchanges the position buffers and empties the new write buffer. The caller holds simCommandMutex.
void gf_exchangePositionBuffers();
// Empties both position buffers under simCommandMutex.
void gf_clearPositionBuffers();

// Direct requests of the traffic engine. Each takes simCommandMutex for the call (the caller may hold
// simResultMutex, never simCommandMutex) and returns whether the call could be sent; the caller reports
// a failure. Without a connection nothing is sent and the result is true. None waits for the simulator:
// the connection takes the request at once and writes it as far as the socket has room, and the
// SimClient thread writes the rest at its next round (a write that fails there ends the connection,
// which the dispatch reports as a closed simulator).
// Objects in a radius around the user (request 101, definition 404, aircraft only); skipped while the
// link is stopping.
bool gf_requestObjectsInRadius(std::uint32_t radiusMeters);
// "Static CG to Ground" and "Static Pitch" of one object, once (request 102, definition 405).
bool gf_requestStaticCg(std::uint32_t objectId);
// Hands a flight-plan file to the simulator (request 110).
bool gf_sendFlightPlan(std::uint32_t objectId, const std::string& path);
// Sends one client event at once, in group 301.
bool gf_transmitClientEventNow(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data);
// Writes the control block (definition 401): spoilers handle and both throttle levers in percent.
// Objects at or below the user's id are never written (true, nothing sent).
bool gf_setAcControls(std::uint32_t objectId, double spoilersPct, double throttle1Pct, double throttle2Pct);

// After any failed request: shows "SimConnect request error", suspends the link and asks for a stop
// "SIMCONNECT ERROR" with a restart after 9 seconds (an earlier reason wins).
void gf_simConnectRequestError();

// ---- Results for the traffic engine (guarded by simResultMutex) -----------------------------------------

extern std::mutex simResultMutex;
extern std::vector<SimResult> simResults;

// ---- User aircraft --------------------------------------------------------------------------------------

// The user aircraft's object id; 2 until the first state reply. Objects at or below it are never
// treated as AI objects.
extern std::atomic<std::uint32_t> userObjectId;
inline constexpr std::uint32_t userObjectIdAtStart = 2;
extern std::atomic<bool> userOnGround;
extern std::atomic<bool> userOnGroundKnown;

// The last state the SimClient thread received.
UserState gf_userState();
// The copy the worker took with its latest gf_requestUserState.
UserState gf_userStateCopy();
// Unless the link is suspended, asks for the user state once (request 109); a failure is logged and
// reported. Returns (and keeps as the worker's copy) the state as it is at the call.
UserState gf_requestUserState();
// Asks for the user aircraft's title (106) and ATC model (107), once each.
void gf_requestUserAcTitleAndModel();
// Asks for the on-ground state once per simulator second (request 108); false when the request failed
// (logged, and the link's error handling has asked for a stop).
bool gf_requestUserOnGround();

// Title (at most 48 characters), nearest stand, half wing span (nautical miles) and size category.
std::string gf_userAcTitle();
std::string gf_userStandName();
std::optional<double> gf_userHalfSpanNm();
SizeCategory gf_userSizeCategory();

// When the user stands still on the ground: the stand under the user becomes the reserved stand of
// the park airport (through the keepUserStand hook).
void gf_rememberUserStand();

// ---- What the status area shows of the link ----------------------------------------------------------

// One copy of SimLinkStatus, taken at once (SimLinkStatus::value).
struct SimLinkStatusValue {
    bool simConnected = false;
    bool simRunning = false;
    bool wingSpanKnown = false;
    std::string simulatorText;
    std::string userAircraftText;
    std::string userStandText;
};

struct SimLinkStatus {
    std::atomic<bool> simConnected{false}; // the simulator answered the open
    std::atomic<bool> simRunning{false};   // the simulation runs
    std::atomic<bool> wingSpanKnown{false};

    std::string simulatorText() const; // "MSFS 2020 (11.0.1.0)"
    std::string userAircraftText() const;
    std::string userStandText() const;
    void setSimulatorText(std::string text);
    void setUserAircraftText(std::string text);
    void setUserStandText(std::string text);
    void clearTexts();

    // Everything above, copied under the lock.
    SimLinkStatusValue value() const;

private:
    mutable std::mutex mutex_;
    std::string simulatorText_;
    std::string userAircraftText_;
    std::string userStandText_;
};

extern SimLinkStatus simLinkStatus;

// ---- Calls into the modules above the link -------------------------------------------------------------

struct SimLinkHooks {
    // Repaint the status area after a change of simLinkStatus. Default: nothing.
    std::function<void()> repaintStatus;
    // Raised with simTickFlag on every on-ground reply (the main cycle's second tick). Default: nothing.
    std::function<void()> secondTick;
    // The name of the stand nearest to a position ("" when none, or while the user is not on the
    // ground). Default: "".
    std::function<std::string(const Lalo& position)> nearestStandName;
    // The user stands at `stand`: when the first entry of the park-airport list is the current park
    // airport and its stand differs, it takes this one and the list is saved. Default: nothing.
    std::function<void(const std::string& stand)> keepUserStand;
};

SimLinkHooks& gf_simLinkHooks();
void gf_resetSimLinkHooks();

// ---- The SimClient thread ---------------------------------------------------------------------------

// The simulator's address ("host:port"); empty: the client library's default. Set before the start.
void gf_setSimAddress(std::string address);

// Starts a new SimClient thread. A previous one is asked to stop and joined first.
void gf_startSimClient();
// Asks the SimClient thread to stop (the closing down of a run); does not wait.
void gf_stopSimClient();
// Joins the SimClient thread (before a reset or at the end of the process).
void gf_joinSimClient();
// Whether a SimClient thread has been started and not joined.
bool gf_simClientJoinable();
// Progress of the current SimClient thread: open attempts, frames handled, dispatch calls returned.
std::uint32_t gf_simOpenAttempts();
std::uint64_t gf_simFramesHandled();
std::uint64_t gf_simDispatchRounds();
// Ends the SimClient thread's pause between dispatch rounds at once, so that its next round reads what
// has just arrived (a test's simulator stand-in calls it after each write, instead of the link finding
// the message up to a pause later).
void gf_wakeSimClient();
// Returns when `done` holds, asked at once and after every dispatch round; false when it still does not
// hold after `limit`. `done` runs on the calling thread, outside the link's locks.
bool gf_waitSimDispatch(const std::function<bool()>& done, std::chrono::milliseconds limit);

// The simulator is gone: unless a stop is already requested, logs
// "{} Flight Simulator no longer connected, {} will stop ..." and asks for the stop "SIM WAS CLOSED".
void gf_stopOnSimDisconnect();

// The link's part of the reset before a new run: not running, not stopping, no connection, the user
// object id 2, the user state and its copy zeroed, the queues and lists emptied, the user aircraft's
// title and identification cleared, not suspended. The SimClient thread must have been joined.
void gf_resetSimLinkRunState();
// Tests only: the run reset plus the hooks, the address and the status texts.
void gf_resetSimLinkForTests();
