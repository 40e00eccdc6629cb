// The simulator stand-in: a small simulated world behind the simulator client protocol.
//
// It accepts any number of clients on a TCP port and answers the calls of platform/simconnect. Its world:
// the user aircraft (object id 1, a scripted state), AI aircraft created by the clients (ids from 3
// upwards, never reused), flat ground with per-area overrides, system events (Sim, ObjectAdded,
// ObjectRemoved, Frame, FlightLoaded), data requests per definition, fault injection and a JSON view of
// everything.
//
// Data definitions are understood by their datum names and units (case does not matter): positions and
// attitude ("Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
// "Plane Heading degrees true", "Plane Altitude", "Plane Alt Above Ground", "Ground Altitude",
// "Vertical Speed", "Airspeed True", "Ground Velocity", "SIM ON GROUND"), identity ("TITLE", "ATC MODEL",
// "ATC ID"), time ("ZULU TIME", "ZULU DAY OF YEAR", "ZULU YEAR"), lights ("LIGHT STATES",
// "Light On States"), "Static CG to Ground", "Static Pitch", "SPOILERS HANDLE POSITION" and
// "GENERAL ENG THROTTLE LEVER POSITION:1" / ":2". Angles follow their unit ("radians" or "degree(s)");
// the other units are taken as they come ("feet", "knots", "feet per second", "percent", "Bool", "Mask",
// "Number", "Seconds", none).
//
// Client events act on AI aircraft by their simulator event names: the *_LIGHTS_SET events and
// ALL_LIGHTS_TOGGLE, GEAR_SET, FLAPS_SET, SPOILERS_SET, THROTTLE_SET, ENGINE_AUTO_START,
// ENGINE_AUTO_SHUTDOWN and the three FREEZE_*_SET events.
//
// A datum, unit, system event or simulator event name the stand-in does not know is refused with a
// SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED exception, as a misspelt name would be by a simulator.
//
// The stand-in keeps, besides the world itself, what a test or a run wants to check afterwards: counts of
// creations, refusals and removals (by cause), the most objects at once, per object its position blocks
// (how many, the first, the largest jump, implied speed and heading change between consecutive blocks,
// and the largest speed over at least kSteadySpeedSeconds of simulator time) and its last client events, and
// the objects removed so far. A data block holding a value that is not a finite number is refused with
// SIMCONNECT_EXCEPTION_DATA_ERROR and counted.
//
// Sources: server.cpp (connections, the server thread, the table of call handlers); calls_session.cpp,
// calls_data.cpp and calls_ai.cpp (one handler per call); protocol.cpp (names, units, the table of datum
// names and data blocks); world.cpp (user, objects, ground, what is kept of removed objects); simstub.cpp
// (clock, control from outside, inspection); state.cpp (the JSON view and the state file).
//
// Time: with `realTime` the stand-in runs its own clock (frames at `fps`, simulator seconds, removal
// delays, the state file once per second), `timeScale` times as fast as real time. Without it, nothing
// happens by itself: tests move the clock with advance() and sendFrame().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct SIMCONNECT_RECV;

namespace skyloom::simwire {
class Reader;
}

namespace skyloom::simstub {

// Bits of "LIGHT STATES" / "Light On States" as the stand-in keeps them.
enum LightBit : std::uint32_t {
    kLightNav = 0x01,
    kLightBeacon = 0x02,
    kLightLanding = 0x04,
    kLightTaxi = 0x08,
    kLightStrobe = 0x10,
    kLightLogo = 0x20,
    kLightCabin = 0x40,
    kLightAll = 0x7f,
};

struct UserAircraft {
    double latitude = 0;
    double longitude = 0;
    double altitudeFt = 0;
    double headingDeg = 0;
    double pitchDeg = 0;
    double bankDeg = 0;
    double groundSpeedKt = 0;
    bool onGround = true;
    std::string title = "Skyloom Stub Airliner";
    std::string atcModel = "B738";
    std::string atcId = "SKY001";
    std::int64_t zuluTime = 12 * 3600; // seconds of the day
    std::int64_t dayOfYear = 1;
    std::int64_t year = 2025;
    std::uint32_t lightStates = 0;
};

struct GroundArea {
    double latitude = 0;
    double longitude = 0;
    double radiusNm = 0;
    double elevationFt = 0;
};

// Static centre-of-gravity data of a model, as the "Static CG to Ground" and "Static Pitch" replies give it.
struct ModelCg {
    double cgHeightFt = 8.0;
    double staticPitchRad = 0.0;
};

struct Options {
    std::string bindAddress = "127.0.0.1";
    std::uint16_t port = 0; // 0: an ephemeral port, see SimStub::port()
    int simVersion = 2020;  // 2020 opens as "KittyHawk", 2024 as "SunRise"
    // Installed titles; without a value every title counts as installed.
    std::optional<std::set<std::string>> installedTitles;
    UserAircraft user;
    double fps = 30.0;
    bool realTime = false;
    // With realTime: simulator seconds per second of real time (frames stay `fps` a simulator second).
    double timeScale = 1.0;
    // The real time that realTime follows: the steady clock when empty (tests move their own).
    std::function<std::chrono::steady_clock::time_point()> realClock;
    double groundElevationFt = 0;
    std::vector<GroundArea> groundAreas;
    ModelCg defaultCg;
    std::map<std::string, ModelCg> modelCg; // by title
    std::chrono::milliseconds removalDelay{500};
    std::size_t maxObjects = 1000;
    std::filesystem::path stateFile; // written once per second in real time, when set
    // Called on the server thread, outside the stand-in's lock, each time it has written messages to a
    // client: a test in the same process wakes the client's reader with it instead of the reader
    // finding them at its next poll.
    std::function<void()> onSent;
};

// A client event as an AI object received it.
struct ClientEventEntry {
    std::string name; // the simulator event name, e.g. "GEAR_SET"
    std::uint32_t value = 0;
    double simSeconds = 0;
};

// How an object moved between its position blocks (blocks that set its latitude, longitude or altitude).
struct Motion {
    std::uint64_t positionBlocks = 0;
    std::optional<double> firstBlockAt; // simulator seconds
    double largestJumpNm = 0;           // horizontal distance between consecutive blocks
    // Distance over simulator time, from the last block at an earlier simulator time (blocks that arrive
    // at one and the same instant count as one).
    double largestSpeedKt = 0;
    double largestHeadingChangeDeg = 0; // 0..180 between consecutive blocks
    // Distance over simulator time from the latest block at least kSteadySpeedSeconds earlier. Either
    // side's scheduling may bunch blocks within a frame or two (a client catching up on late passes);
    // over that span such bunching no longer reads as speed, while a real jump of the object still does.
    double largestSteadySpeedKt = 0;
    // Where the last block left the object, and the last block before the last block's instant.
    double lastAt = 0, lastLatitude = 0, lastLongitude = 0, lastHeadingDeg = 0;
    std::optional<double> referenceAt;
    double referenceLatitude = 0, referenceLongitude = 0;
    // The blocks of the last kSteadySpeedSeconds and the latest one before them: simulator time,
    // latitude, longitude.
    struct Fix {
        double at, latitude, longitude;
    };
    std::vector<Fix> recent;
};

struct AiObject {
    std::uint32_t id = 0;
    std::string title;
    std::string tail;
    double latitude = 0;
    double longitude = 0;
    double altitudeFt = 0;
    double pitchRad = 0;
    double bankRad = 0;
    double headingRad = 0;
    double verticalSpeedFps = 0;
    double trueAirspeedKt = 0;
    bool onGround = false;
    std::uint32_t lights = 0; // LightBit mask
    bool enginesRunning = false;
    std::uint32_t flaps = 0;    // last FLAPS_SET value
    std::uint32_t gear = 0;     // last GEAR_SET value
    std::uint32_t spoilers = 0; // last SPOILERS_SET value
    std::uint32_t throttle = 0; // last THROTTLE_SET value
    double spoilersHandlePct = 0;
    double throttleLever1Pct = 0;
    double throttleLever2Pct = 0;
    bool freezeLatLon = false;
    bool freezeAltitude = false;
    bool freezeAttitude = false;
    std::uint32_t releaseCount = 0;    // AIReleaseControl calls
    std::uint32_t positionUpdates = 0; // data blocks set on it, of any definition
    std::string flightPlan;
    double createdAt = 0;                 // simulator seconds since the start
    std::optional<double> removalAskedAt; // simulator seconds
    int owner = 0;                        // the client that created it
    Motion motion;
    std::deque<ClientEventEntry> events; // the last kEventHistoryLimit, oldest first
    std::uint64_t eventsDropped = 0;     // older events no longer in `events`
};

// Why an object left the world.
enum class RemovalCause { Client, Disconnect, Simulator };

// An object no longer in the world, as it was last seen.
struct RemovedObject {
    std::uint32_t id = 0;
    std::string tail;
    std::string title;
    double createdAt = 0;
    double removedAt = 0;
    double latitude = 0;
    double longitude = 0;
    double altitudeFt = 0;
    RemovalCause cause = RemovalCause::Client;
    Motion motion; // its figures only: the blocks of its last seconds went with it
};

constexpr std::size_t kEventHistoryLimit = 200;    // client events kept per object
constexpr double kSteadySpeedSeconds = 2.0;        // the shortest span of the steady speed
constexpr std::size_t kRemovedObjectsLimit = 2000; // removed objects kept

struct Counts {
    std::uint64_t creations = 0;
    std::uint64_t refusals = 0;
    std::uint64_t removals = 0;          // every object that left the world
    std::uint64_t removalsAsked = 0;     // of them, removals a client asked for
    std::uint64_t droppedWithClient = 0; // of them, objects that went with their client's connection
    std::uint64_t mostAtOnce = 0;        // the most AI objects in the world at one time
    std::uint64_t refusedBlocks = 0;     // data blocks refused for a value that is not a finite number
};

// Reads installed titles: one per line, blank lines and lines starting with '#' skipped.
std::set<std::string> readTitlesFile(const std::filesystem::path& file);
// Collects the `title=` entries of every aircraft.cfg below a folder.
std::set<std::string> scanCommunityTitles(const std::filesystem::path& folder);

class SimStub {
public:
    explicit SimStub(Options options);
    ~SimStub();
    SimStub(const SimStub&) = delete;
    SimStub& operator=(const SimStub&) = delete;

    // Binds, listens and starts the server thread; throws std::runtime_error when the port is not free.
    void start();
    void stop();
    std::uint16_t port() const { return port_; }
    // "127.0.0.1:port", for SimConnect_Open.
    std::string address() const;

    // ---- the world ----
    void setUser(const UserAircraft& user);
    UserAircraft user() const;
    void teleportUser(double latitude, double longitude, double altitudeFt);
    void setPaused(bool paused); // "Sim" 0 / 1 to the subscribers; the zulu clock stands while paused
    bool paused() const;
    void flightLoaded();                         // "FlightLoaded" as a plain event
    void newFlightFile(const std::string& path); // "FlightLoaded" with a file name
    void quit();                         // a quit message to every client, then their connections close
    void dropConnections();              // every connection closes without a word
    void removeObject(std::uint32_t id); // a removal the simulator starts itself
    void addGroundArea(const GroundArea& area);
    void setModelCg(const std::string& title, const ModelCg& cg);
    void setInstalledTitles(std::optional<std::set<std::string>> titles);
    double groundElevationAt(double latitude, double longitude) const;

    // The next `count` calls named `call` (e.g. "AICreateNonATCAircraft") are refused with an exception of
    // `code` instead of being carried out; count 0 clears it.
    void failCall(const std::string& call, std::uint32_t code = 1, std::uint32_t count = 1);

    // ---- the clock (without realTime) ----
    void advance(std::chrono::milliseconds dt);
    void sendFrame();
    double simSeconds() const;

    // ---- inspection ----
    std::vector<AiObject> objects() const;
    std::optional<AiObject> object(std::uint32_t id) const;
    std::optional<AiObject> objectByTail(const std::string& tail) const;
    Counts counts() const;
    // Objects removed so far, oldest first (the last kRemovedObjectsLimit).
    std::vector<RemovedObject> removedObjects() const;
    std::vector<GroundArea> groundAreas() const;
    std::size_t clientCount() const;
    // The calls received, oldest first (the last 20000): the call's name and its main arguments.
    std::vector<std::string> calls() const;
    std::uint64_t callCount(const std::string& call) const;
    nlohmann::json stateJson() const;
    // Writes stateJson() to a temporary file beside `file`, then renames it.
    void writeStateFile(const std::filesystem::path& file) const;

    // Calls `done` after every change of the world until it answers true or the time is up.
    bool waitUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Tests and fuzzing: the bytes as one connection's stream, its frames handled as the server thread
    // handles them (a stream that breaks the framing ends the connection). Returns what the
    // connection would have been sent. For a stand-in that is not started.
    std::string handleStreamForTests(std::string_view bytes);

private:
    struct Client;
    struct Target;
    class World;
    using Handler = void (SimStub::*)(Client&, simwire::Reader&, std::uint32_t packetId);

    // server.cpp: connections and the server thread
    void run();
    void wake() const;
    void acceptClients();
    void readClient(Client& c);
    // Handles the whole frames at the start of the client's input and removes them.
    void handleFrames(Client& c);
    void handleFrame(Client& c, std::uint32_t kind, std::uint32_t packetId, const char* body,
                     std::size_t size);
    void closeClient(Client& c);
    void sendTo(Client& c, const ::SIMCONNECT_RECV& message);
    void sendException(Client& c, std::uint32_t code, std::uint32_t packetId, std::uint32_t index);
    void sendSystemEvent(const std::string& name, std::uint32_t data);
    void sendAddRemove(const std::string& name, std::uint32_t objectId);
    void logCall(std::string line);
    void changed();
    static const std::map<std::uint32_t, Handler>& handlers();

    // calls_session.cpp: the connection, definitions and event set-up
    void onOpen(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onClose(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onSubscribeToSystemEvent(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onAddToDataDefinition(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onMapClientEventToSimEvent(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onAddClientEventToNotificationGroup(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onSetNotificationGroupPriority(Client& c, simwire::Reader& r, std::uint32_t packetId);
    // calls_data.cpp: data requests and data blocks
    void onRequestDataOnSimObject(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onRequestDataOnSimObjectType(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onSetDataOnSimObject(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void sendData(Client& c, std::uint32_t requestId, std::uint32_t defineId, const Target& target,
                  std::uint32_t recvId, std::uint32_t entry, std::uint32_t outOf);
    std::optional<Target> resolve(std::uint32_t objectId);
    // calls_ai.cpp: AI objects and the client events sent to them
    void onTransmitClientEvent(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onAICreateNonATCAircraft(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onAIRemoveObject(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onAIReleaseControl(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void onAISetAircraftFlightPlan(Client& c, simwire::Reader& r, std::uint32_t packetId);
    void removeOrRelease(Client& c, std::uint32_t objectId, std::uint32_t packetId, bool remove);

    // simstub.cpp: the clock
    void advanceLocked(std::chrono::nanoseconds dt, bool capFrames);
    void frameLocked();
    void secondLocked();
    void finishRemovalLocked(std::uint32_t id, RemovalCause cause);

    // state.cpp
    nlohmann::json stateJsonLocked() const;
    static void writeAtomically(const std::filesystem::path& file, const std::string& text);

    Options options_; // the settings; the world itself lives in world_
    std::unique_ptr<World> world_;
    std::uint16_t port_ = 0;
    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
    std::thread::id serverThread_; // under mutex_
    bool stopping_ = false;

    mutable std::mutex mutex_;
    mutable std::condition_variable changedCv_;
    std::uint64_t version_ = 0;
    std::vector<std::unique_ptr<Client>> clients_;
    int nextClientId_ = 1;
    bool paused_ = false;
    std::chrono::nanoseconds simTime_{0};
    double frameCredit_ = 0;
    std::chrono::nanoseconds secondCredit_{0};
    std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> faults_; // call -> {code, count}
    std::deque<std::string> calls_;
    std::map<std::string, std::uint64_t> callCounts_;
};

} // namespace skyloom::simstub
