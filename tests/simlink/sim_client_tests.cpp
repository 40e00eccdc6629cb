// The SimClient thread against the simulator stand-in: waiting, set-up, the ways it ends.

#include "simlink_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simtest {
namespace {

// Everything the link registers after an open, in the order the simulator must see it.
const std::vector<std::string> expectedSetup{
    "Open Skyloom",
    "SubscribeToSystemEvent 201 Sim",
    "SubscribeToSystemEvent 202 ObjectAdded",
    "SubscribeToSystemEvent 203 ObjectRemoved",
    "SubscribeToSystemEvent 205 FlightLoaded",
    "SubscribeToSystemEvent 204 Frame",
    "AddToDataDefinition 407 TITLE  6",
    "AddToDataDefinition 408 ATC MODEL  5",
    "AddToDataDefinition 409 SIM ON GROUND Bool 2",
    "AddToDataDefinition 402 Plane Latitude degree 4",
    "AddToDataDefinition 402 Plane Longitude degree 4",
    "AddToDataDefinition 402 Plane Pitch degrees radians 4",
    "AddToDataDefinition 402 Plane Bank degrees radians 4",
    "AddToDataDefinition 402 Plane Heading degrees true radians 4",
    "AddToDataDefinition 402 Plane Altitude feet 4",
    "AddToDataDefinition 402 Vertical Speed feet per second 4",
    "AddToDataDefinition 402 Airspeed True knots 4",
    "AddToDataDefinition 403 Plane Latitude degree 4",
    "AddToDataDefinition 403 Plane Longitude degree 4",
    "AddToDataDefinition 403 Plane Pitch degrees radians 4",
    "AddToDataDefinition 403 Plane Bank degrees radians 4",
    "AddToDataDefinition 403 Plane Heading degrees true radians 4",
    "AddToDataDefinition 403 Plane Altitude feet 4",
    "AddToDataDefinition 403 Plane Alt Above Ground feet 4",
    "AddToDataDefinition 403 Ground Velocity knots 4",
    "AddToDataDefinition 403 ZULU TIME Seconds 2",
    "AddToDataDefinition 403 ZULU DAY OF YEAR Number 2",
    "AddToDataDefinition 403 ZULU YEAR Number 2",
    "AddToDataDefinition 403 LIGHT STATES Mask 2",
    "AddToDataDefinition 405 Static CG to Ground feet 4",
    "AddToDataDefinition 405 Static Pitch radians 4",
    "AddToDataDefinition 406 Light On States Mask 2",
    "AddToDataDefinition 404 Plane Alt Above Ground feet 4",
    "AddToDataDefinition 404 Ground Altitude feet 4",
    "AddToDataDefinition 404 SIM ON GROUND Bool 2",
    "AddToDataDefinition 404 ATC ID  5",
    "AddToDataDefinition 401 SPOILERS HANDLE POSITION percent 4",
    "AddToDataDefinition 401 GENERAL ENG THROTTLE LEVER POSITION:1 percent 4",
    "AddToDataDefinition 401 GENERAL ENG THROTTLE LEVER POSITION:2 percent 4",
    "MapClientEventToSimEvent 219 GEAR_SET",
    "MapClientEventToSimEvent 220 ENGINE_AUTO_START",
    "MapClientEventToSimEvent 221 ENGINE_AUTO_SHUTDOWN",
    "MapClientEventToSimEvent 222 THROTTLE_SET",
    "MapClientEventToSimEvent 217 FLAPS_SET",
    "MapClientEventToSimEvent 218 SPOILERS_SET",
    "MapClientEventToSimEvent 207 NAV_LIGHTS_SET",
    "MapClientEventToSimEvent 206 BEACON_LIGHTS_SET",
    "MapClientEventToSimEvent 210 LANDING_LIGHTS_SET",
    "MapClientEventToSimEvent 208 TAXI_LIGHTS_SET",
    "MapClientEventToSimEvent 209 STROBES_SET",
    "MapClientEventToSimEvent 212 LOGO_LIGHTS_SET",
    "MapClientEventToSimEvent 211 CABIN_LIGHTS_SET",
    "MapClientEventToSimEvent 213 ALL_LIGHTS_TOGGLE",
    "MapClientEventToSimEvent 214 FREEZE_LATITUDE_LONGITUDE_SET",
    "MapClientEventToSimEvent 215 FREEZE_ALTITUDE_SET",
    "MapClientEventToSimEvent 216 FREEZE_ATTITUDE_SET",
    "AddClientEventToNotificationGroup 301 207 1",
    "AddClientEventToNotificationGroup 301 206 1",
    "AddClientEventToNotificationGroup 301 210 1",
    "AddClientEventToNotificationGroup 301 208 1",
    "AddClientEventToNotificationGroup 301 209 1",
    "AddClientEventToNotificationGroup 301 212 1",
    "AddClientEventToNotificationGroup 301 211 1",
    "AddClientEventToNotificationGroup 301 213 1",
    "AddClientEventToNotificationGroup 301 217 1",
    "AddClientEventToNotificationGroup 301 218 1",
    "AddClientEventToNotificationGroup 301 219 1",
    "AddClientEventToNotificationGroup 301 221 1",
    "AddClientEventToNotificationGroup 301 222 1",
    "AddClientEventToNotificationGroup 301 214 1",
    "AddClientEventToNotificationGroup 301 215 1",
    "AddClientEventToNotificationGroup 301 216 1",
    "SetNotificationGroupPriority 301 1",
};

// A port on which nobody listens, held for the test: bound but not listening, it refuses connections,
// and the system gives it to no other socket (another test program's stand-in or outgoing connection)
// while it is held. A stand-in may still listen on it, as both allow the address to be reused.
class HeldPort {
public:
    HeldPort() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
    }
    ~HeldPort() { close(fd_); }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;

    std::uint16_t port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

TEST_F(SimLinkTest, WaitsForTheSimulatorThenRegistersEverythingInOrder) {
    const HeldPort held;
    ASSERT_NE(held.port(), 0);
    gf_setSimAddress(held.address());
    const auto started = std::chrono::steady_clock::now();
    gf_startSimClient();
    ASSERT_TRUE(eventually([] { return gf_simOpenAttempts() >= 3; }));
    // The third attempt comes after two pauses of 100 ms: the open is retried, not polled.
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
    EXPECT_FALSE(simRunning);

    auto& s = startStub({}, held.port());
    ASSERT_TRUE(eventually([] { return simRunning.load(); }));
    ASSERT_TRUE(s.waitUntil([&] { return s.callCount("SetNotificationGroupPriority") == 1; }));

    EXPECT_EQ(s.calls(), expectedSetup);
    const auto shown = messages();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "Waiting for MSFS 2020 ..."), 1);
    EXPECT_TRUE(simLinkStatus.simConnected);
    EXPECT_EQ(simLinkStatus.simulatorText(), "MSFS 2020 (11.0.1.0)");
    EXPECT_NE(logText().find("MSFS 2020 (11.0.1.0) connected"), std::string::npos);
}

TEST_F(SimLinkTest, WaitingNamesTheChosenSimulator) {
    chosen2020_ = false;
    const HeldPort held;
    gf_setSimAddress(held.address());
    gf_startSimClient();
    ASSERT_TRUE(eventually([] { return gf_simOpenAttempts() >= 1; }));
    gf_joinSimClient();
    EXPECT_EQ(messages(), std::vector<std::string>{"Waiting for MSFS 2024 ..."});
}

TEST_F(SimLinkTest, AStopWhileWaitingEndsWithoutClose) {
    const HeldPort held;
    gf_setSimAddress(held.address());
    // Both ways: the thread's own stop, and the run's stop flag.
    gf_startSimClient();
    ASSERT_TRUE(eventually([] { return gf_simOpenAttempts() >= 1; }));
    gf_stopSimClient();
    gf_joinSimClient();

    gf_startSimClient();
    ASSERT_TRUE(eventually([] { return gf_simOpenAttempts() >= 1; }));
    gf_requestStop(StopReason::NewSettings, 3);
    const std::uint32_t attempts = gf_simOpenAttempts();
    gf_joinSimClient();
    EXPECT_LE(gf_simOpenAttempts(), attempts + 1);

    EXPECT_EQ(logCount("SimConnect closed ok"), 0u);
    EXPECT_EQ(logCount("Closing SimConnect failed"), 0u);
    EXPECT_FALSE(simLinkStatus.simConnected);
    EXPECT_EQ(hSimConnect.load(), nullptr);
}

TEST_F(SimLinkTest, ANormalStopClosesTheConnection) {
    auto& s = connect();
    EXPECT_TRUE(simLinkStatus.simConnected);
    const int before = repaints_;
    gf_stopSimClient();
    EXPECT_TRUE(simStopping);
    EXPECT_FALSE(gf_simRunningAndNotStopping());
    gf_joinSimClient();

    EXPECT_EQ(logCount("SimConnect closed ok"), 1u);
    EXPECT_TRUE(s.waitUntil([&] { return s.clientCount() == 0; }));
    EXPECT_FALSE(simLinkStatus.simConnected);
    EXPECT_GT(repaints_, before);
    EXPECT_EQ(hSimConnect.load(), nullptr);
    EXPECT_FALSE(runControl.stop);
}

TEST_F(SimLinkTest, TheOtherSimulatorIsAUserErrorWithoutStop) {
    struct Case {
        bool chosen2020;
        int running;
        const char* error;
    };
    const Case cases[] = {
        {true, 2024,
         "71: MSFS 2024 is running ..., switch Simulator, or select the right sim in the drop down list "
         "above"},
        {false, 2020,
         "71: MSFS 2020 is running ..., switch Simulator, or select the right sim in the drop down list "
         "above"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.running);
        chosen2020_ = c.chosen2020;
        stub::Options options;
        options.simVersion = c.running;
        auto& s = startStub(options);
        gf_setSimAddress(s.address());
        const auto errorsBefore = errors().size();
        gf_startSimClient();
        ASSERT_TRUE(eventually([&] { return errors().size() > errorsBefore; }));
        gf_joinSimClient();
        EXPECT_EQ(errors().back(), c.error);
        EXPECT_FALSE(runControl.stop);
        EXPECT_FALSE(simLinkStatus.simConnected);
        gf_resetSimLinkRunState();
    }
}

// Any other failure inside the thread ends the link and the run.
TEST_F(SimLinkTest, AFailureInADispatchHandlerStopsTheRun) {
    gf_simLinkHooks().nearestStandName = [](const Lalo&) -> std::string {
        throw std::runtime_error("no stands");
    };
    connect();
    gf_requestUserState();
    ASSERT_TRUE(eventually([] { return runControl.stop.load(); }));
    EXPECT_EQ(runControl.stopReason(), StopReason::SimWasClosed);
    gf_joinSimClient();
    EXPECT_EQ(errors(), std::vector<std::string>{"no stands"});
    EXPECT_FALSE(simRunning);
    EXPECT_EQ(logCount("SimConnect closed ok"), 1u);
}

// A simulator that quits, or a connection that breaks, ends the run instead of leaving it paused.
TEST_F(SimLinkTest, AQuitOrALostConnectionStopsTheRun) {
    for (const bool quit : {true, false}) {
        SCOPED_TRACE(quit ? "quit" : "lost connection");
        auto& s = connect();
        if (quit)
            s.quit();
        else
            s.dropConnections();
        ASSERT_TRUE(eventually([] { return runControl.stop.load(); }));
        EXPECT_EQ(runControl.stopReason(), StopReason::SimWasClosed);
        EXPECT_EQ(runControl.restartDelay, 0);
        EXPECT_FALSE(simRunning);
        EXPECT_EQ(logCount("Flight Simulator no longer connected, Skyloom will stop ..."), 1u);
        gf_joinSimClient();
        gf_resetSimLinkRunState();
        runControl.reset();
        gf_resetLogForTests();
        gf_openLogFile();
    }
}

TEST_F(SimLinkTest, PausingTheSimulationFollowsTheSimEvent) {
    auto& s = connect();
    EXPECT_TRUE(simLinkStatus.simRunning);
    s.setPaused(true);
    ASSERT_TRUE(eventually([] { return !simRunning.load(); }));
    EXPECT_FALSE(simLinkStatus.simRunning);
    s.setPaused(false);
    ASSERT_TRUE(eventually([] { return simRunning.load(); }));
    EXPECT_FALSE(runControl.stop);
}

TEST_F(SimLinkTest, ALoadedFlightEndsTheRunAsANewFlight) {
    std::vector<std::string> kept; // the thread is joined before the test ends
    gf_simLinkHooks().nearestStandName = [](const Lalo&) { return std::string("B12"); };
    gf_simLinkHooks().keepUserStand = [&](const std::string& stand) { kept.push_back(stand); };
    auto& s = connect();
    ASSERT_TRUE(gf_requestUserOnGround());
    gf_requestUserState();
    ASSERT_TRUE(eventually([] { return gf_userState().latitude != 0.0; }));
    s.advance(std::chrono::seconds(1));
    ASSERT_TRUE(eventually([] { return userOnGroundKnown.load(); }));
    gf_requestUserState(); // the worker's copy: standing still

    s.flightLoaded();
    ASSERT_TRUE(eventually([] { return runControl.stop.load(); }));
    EXPECT_EQ(runControl.stopReason(), StopReason::NewFlight);
    EXPECT_EQ(runControl.restartDelay, 45);
    EXPECT_EQ(logCount("SimConnect: flight loaded event"), 1u);
    gf_joinSimClient();
    // Once on the flight load, once when the thread leaves.
    EXPECT_EQ(kept, (std::vector<std::string>{"B12", "B12"}));
}

} // namespace
} // namespace simtest
