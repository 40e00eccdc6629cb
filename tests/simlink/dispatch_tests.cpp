// The dispatch, fed with messages directly (no connection): which objects-by-type replies give
// results, the notes about objects the program did not create, exceptions and the frame rate.

#include "simlink_fixture.h"

namespace simtest {
namespace {

struct ByTypeBlock {
    double altAboveGround;
    double groundAltitude;
    std::int64_t onGround;
    char atcId[32];
};

void lf_byType(std::uint32_t objectId, double altAboveGround, const std::string& atcId,
               std::int64_t onGround = 0) {
    ByTypeBlock block{altAboveGround, 1400.0, onGround, {}};
    std::snprintf(block.atcId, sizeof block.atcId, "%s", atcId.c_str());
    DataReply(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, reqObjectsByType, objectId, &block, sizeof block)
        .dispatch();
}

void lf_objectAdded(std::uint32_t objectId) {
    SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE m{};
    m.size = sizeof m;
    m.id = SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE;
    m.eventId = evObjectAdded;
    m.objectId = objectId;
    m.objectType = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
    lf_simDispatch(&m, sizeof m, nullptr);
}

void lf_objectRemoved(std::uint32_t objectId) {
    SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE m{};
    m.size = sizeof m;
    m.id = SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE;
    m.eventId = evObjectRemoved;
    m.objectId = objectId;
    m.objectType = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
    lf_simDispatch(&m, sizeof m, nullptr);
}

void lf_exception(std::uint32_t code, std::uint32_t sendId = 0, std::uint32_t index = 0) {
    SIMCONNECT_RECV_EXCEPTION m{};
    m.size = sizeof m;
    m.id = SIMCONNECT_RECV_ID_EXCEPTION;
    m.exception = code;
    m.sendId = sendId;
    m.index = index;
    lf_simDispatch(&m, sizeof m, nullptr);
}

using DispatchTest = SimLinkTest;

TEST_F(DispatchTest, KnownObjectsGetGroundDataOnlyLowAndNamedAndNotParked) {
    struct Case {
        std::uint32_t id;
        double altAboveGround;
        const char* atcId;
        bool result;
    };
    const Case cases[] = {
        {10, 2500.0, "SWR12", true}, {11, 2500.1, "SWR12", false}, {12, 0.0, "", false},
        {13, 0.0, "SWR9*", false},   {2, 0.0, "SWR12", false},     {14, 12.0, "EZY1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        lf_byType(c.id, c.altAboveGround, c.atcId, 1);
        const auto results = takeResults();
        ASSERT_EQ(results.size(), c.result ? 1u : 0u);
        if (!c.result) continue;
        EXPECT_EQ(results[0].kind, SimResultKind::groundData);
        EXPECT_EQ(results[0].objectId, c.id);
        EXPECT_EQ(results[0].value, 1u);
        EXPECT_EQ(results[0].a, 1400.0);
        EXPECT_EQ(results[0].b, c.altAboveGround);
    }
}

TEST_F(DispatchTest, NewObjectsNotCreatedHereAreOnlyLogged) {
    lf_objectAdded(2); // at the user's id: never an AI object
    lf_byType(2, 0, "HB-ABC");
    lf_objectAdded(20);
    lf_objectAdded(21);
    lf_objectAdded(22);
    lf_byType(20, 0, "AS-GEN");
    lf_byType(21, 0, "AS-GEN");
    lf_byType(22, 3.0, "N123AB");
    EXPECT_TRUE(takeResults().empty());
    EXPECT_EQ(logCount("Spawned by Asobo, oid: 20, callsign AS-GEN"), 1u);
    EXPECT_EQ(logCount("Spawned by Asobo"), 1u);
    EXPECT_EQ(
        logCount(
            "just spawned, but not by Skyloom, oid: 22, callsign 'N123AB', altaboveGnd:3 ft, onground:0, "
            "gnd_alt:1400 ft"),
        1u);
    EXPECT_EQ(logCount("HB-ABC"), 0u);
    EXPECT_TRUE(newObjectIds.empty());

    // Once seen, an object is a known one.
    lf_byType(22, 3.0, "N123AB");
    EXPECT_EQ(takeResults().size(), 1u);
}

// A static aircraft's number comes round to 0 once in 10000 placements; it is bound all the same.
TEST_F(DispatchTest, NewObjectsAreBoundByTheirCallsignWhateverTheirNumber) {
    struct Case {
        std::uint32_t id;
        std::uint32_t hexid;
        const char* callsign;
        SimResultKind kind;
        double b;
    };
    const Case cases[] = {
        {30, 0, "SWR1*", SimResultKind::staticObjectFound, 0.0},
        {31, 10000, "SWR2*", SimResultKind::staticObjectFound, 0.0},
        {32, 10001, "SWR3", SimResultKind::liveObjectFound, 250.0},
    };
    for (const Case& c : cases)
        sentCreates.push_back({c.id, c.hexid, c.callsign});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.callsign);
        lf_objectAdded(c.id);
        lf_byType(c.id, 250.0, c.callsign);
        const auto results = takeResults();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].kind, c.kind);
        EXPECT_EQ(results[0].objectId, c.id);
        EXPECT_EQ(results[0].value, c.hexid);
        EXPECT_EQ(results[0].b, c.b);
        ASSERT_GE(simEventQueue.size(), 3u);
        EXPECT_EQ(simEventQueue.back().objectId, c.id) << "frozen with the next frame";
    }
    EXPECT_TRUE(sentCreates.empty());
    EXPECT_EQ(logCount("just spawned"), 0u);
}

TEST_F(DispatchTest, AnObjectRemovedBeforeItWasSeenIsNoLongerNew) {
    sentCreates.push_back({1, 0x4B0001, "SWR12"});
    lf_objectAdded(40);
    lf_objectRemoved(40);
    EXPECT_TRUE(newObjectIds.empty());
    const auto results = takeResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, SimResultKind::objectRemoved);
    EXPECT_EQ(results[0].objectId, 40u);
}

TEST_F(DispatchTest, ExceptionsAreReportedByTheirCode) {
    sentCreates.push_back({41, 0x4B0001, "SWR12"});
    sentCreates.push_back({42, 0x4B0002, "SWR13"});
    lf_exception(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 99); // never recorded: dropped
    EXPECT_TRUE(takeResults().empty());
    lf_exception(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 41);
    const auto results = takeResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, SimResultKind::createFailed);
    EXPECT_EQ(results[0].value, 0x4B0001u);
    ASSERT_EQ(sentCreates.size(), 1u);
    EXPECT_EQ(sentCreates[0].callsign, "SWR13");
    // A refused static aircraft numbered 0 is reported like any other.
    sentCreates.push_back({43, 0, "SWR1*"});
    lf_exception(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 43);
    const auto refused = takeResults();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].kind, SimResultKind::createFailed);
    EXPECT_EQ(refused[0].value, 0u);
    EXPECT_EQ(sentCreates.size(), 1u);

    lf_exception(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(logCount("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"), 0u) << "the user position is not known yet";
    UserState known;
    known.latitude = 47.45;
    DataReply(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, reqUserState, 1, &known, sizeof known).dispatch();
    lf_exception(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(logCount("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"), 1u);
    gf_requestStop(StopReason::NewSettings, 3);
    lf_exception(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(logCount("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"), 1u) << "not while the run stops";
    runControl.reset();
    lf_exception(SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS);
    lf_exception(SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED);
    lf_exception(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED);
    EXPECT_EQ(messages(), std::vector<std::string>{"SimConnect: too many objects (max 1000)"});
    EXPECT_EQ(logCount("==> SimConnect exception: load flight plan failed"), 1u);
    EXPECT_EQ(logCount("==> SIMCONNECT_EXCEPTION #7"), 1u);

    try {
        lf_exception(SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 0, 3);
        ADD_FAILURE() << "a version mismatch ends the link";
    } catch (const orv::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "95: SimConnect Version Mismatch, dwIndex: 3");
    }

    SIMCONNECT_RECV unknown{sizeof(SIMCONNECT_RECV), 99};
    lf_simDispatch(&unknown, sizeof unknown, nullptr);
    lf_simDispatch(nullptr, 0, nullptr);
    EXPECT_EQ(logCount("! Unknown Dispatch dwID 99"), 1u);
}

TEST_F(DispatchTest, TheOpenReplyNamesTheSimulatorAfterCleaningItsName) {
    struct Case {
        const char* name;
        bool chosen2020;
        const char* outcome; // the log line, or the error's message
        bool connected;
    };
    const Case cases[] = {
        {"KittyHawk", true, "MSFS 2020 (11.0.2.3) connected", true},
        {"Sun-Rise\x01", false, "MSFS 2024 (11.0.2.3) connected", true},
        {"Prepar3D v5!", true, "77: 'Prepar3D v5' not being MSFS 2020 or MSFS 2024 connects ... ?", true},
        {"", true, "! Simulator name empty?", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gf_resetSimLinkRunState();
        chosen2020_ = c.chosen2020;
        SIMCONNECT_RECV_OPEN m{};
        m.size = sizeof m;
        m.id = SIMCONNECT_RECV_ID_OPEN;
        std::snprintf(m.applicationName, sizeof m.applicationName, "%s", c.name);
        m.applicationVersionMajor = 11;
        m.applicationBuildMajor = 2;
        m.applicationBuildMinor = 3;
        try {
            lf_simDispatch(&m, sizeof m, nullptr);
            EXPECT_EQ(logCount(c.outcome), 1u);
        } catch (const orv::UserErrorException& e) {
            EXPECT_STREQ(e.what(), c.outcome);
        }
        EXPECT_EQ(simLinkStatus.simConnected.load(), c.connected);
    }
}

TEST_F(DispatchTest, TheFrameRateIsSampledEveryThirtyFrames) {
    SIMCONNECT_RECV_EVENT_FRAME frame{};
    frame.size = sizeof frame;
    frame.id = SIMCONNECT_RECV_ID_EVENT_FRAME;
    frame.eventId = evFrame;
    for (int i = 1; i <= 29; ++i) {
        frame.frameRate = static_cast<float>(i);
        lf_simDispatch(&frame, sizeof frame, nullptr);
    }
    EXPECT_EQ(simFrameRate.load(), 0.0f);
    frame.frameRate = 30.0f;
    lf_simDispatch(&frame, sizeof frame, nullptr);
    EXPECT_EQ(simFrameRate.load(), 30.0f);
    frame.frameRate = 31.0f;
    lf_simDispatch(&frame, sizeof frame, nullptr);
    EXPECT_EQ(simFrameRate.load(), 30.0f);
}

TEST_F(DispatchTest, AShortDataReplyIsIgnored) {
    ByTypeBlock block{0, 0, 1, "SWR12"};
    // The header says more data than the message holds.
    std::vector<std::uint64_t> storage((sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) + sizeof block + 7) / 8);
    auto* m = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(storage.data());
    m->id = SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE;
    m->requestId = reqObjectsByType;
    m->objectId = 10;
    m->dataSize = 4096;
    std::memcpy(m + 1, &block, sizeof block);
    lf_simDispatch(m, static_cast<std::uint32_t>(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) + sizeof block),
                   nullptr);
    EXPECT_TRUE(takeResults().empty());
}

} // namespace
} // namespace simtest
