// The user aircraft: the one-second tick, state replies, teleports, simulator time, title and the
// identification of its type.

#include "simlink_fixture.h"

#include "refdata/type_lookups.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;

void lf_state(double latitude, double longitude, double altitude = 1400.0, std::uint32_t objectId = 1,
              std::int64_t year = 2025, std::int64_t day = 120, std::int64_t seconds = 3600) {
    UserState s;
    s.latitude = latitude;
    s.longitude = longitude;
    s.altitude = altitude;
    s.zuluYear = year;
    s.zuluDayOfYear = day;
    s.zuluTime = seconds;
    DataReply(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, reqUserState, objectId, &s, sizeof s).dispatch();
}

void lf_onGround(std::int64_t value) {
    DataReply(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, reqUserOnGround, 1, &value, sizeof value).dispatch();
}

using UserAircraftTest = SimLinkTest;

TEST_F(UserAircraftTest, AFailedOnGroundRequestIsLoggedThenRestartsTheRun) {
    connect();
    SimConnect_InjectFailure(hSimConnect, "RequestDataOnSimObject", 1);
    EXPECT_FALSE(gf_requestUserOnGround());
    const std::string log = logText();
    const auto logged = log.find("==> SimConnect request ac gnd/air fails");
    ASSERT_NE(logged, std::string::npos) << log;
    const auto shown = messages();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "SimConnect request error"), shown.end());
    EXPECT_TRUE(simLinkSuspended);
    EXPECT_EQ(runControl.stopReason(), StopReason::SimConnectError);
    EXPECT_EQ(runControl.restartDelay, 9);
}

TEST_F(UserAircraftTest, AgainstTheStandInTicksFollowSimulatorSecondsAndStatesArrive) {
    auto& s = connect();
    ASSERT_TRUE(gf_requestUserOnGround());
    ASSERT_TRUE(eventually([&] { return ticks_ == 1; })) << "the first reply comes with the request";
    EXPECT_TRUE(simTickFlag.exchange(false));
    s.advance(3s);
    ASSERT_TRUE(eventually([&] { return ticks_ == 4; }));
    EXPECT_EQ(s.callCount("RequestDataOnSimObject"), 1u) << "one request per run";

    EXPECT_EQ(gf_requestUserState().latitude, 0.0) << "the reply comes later";
    ASSERT_TRUE(eventually([] { return gf_userState().latitude == 47.45; }));
    roundEnded(); // the reply's handler takes the user's object id last
    EXPECT_EQ(userObjectId, 1u);
    EXPECT_EQ(gf_requestUserState().longitude, 8.56);
    EXPECT_EQ(gf_userStateCopy().longitude, 8.56);
    s.advance(1s);
    ASSERT_TRUE(eventually([] { return userOnGroundKnown.load(); }));
    EXPECT_TRUE(userOnGround);

    // 9.9 nautical miles north is a move, 10.5 further a teleport.
    s.teleportUser(47.45 + 9.9 / 60.0, 8.56, 1400);
    gf_requestUserState();
    ASSERT_TRUE(eventually([] { return gf_userState().latitude > 47.6; }));
    EXPECT_FALSE(runControl.stop);
    s.teleportUser(47.45 + 20.4 / 60.0, 8.56, 1400);
    gf_requestUserState();
    ASSERT_TRUE(eventually([] { return runControl.stop.load(); }));
    EXPECT_EQ(runControl.stopReason(), StopReason::NewFlight);
    EXPECT_EQ(runControl.restartDelay, 45);
    EXPECT_EQ(logCount("Teleport"), 1u);
}

TEST_F(UserAircraftTest, TeleportNeedsTwoKnownPositionsMoreThanTenMilesApart) {
    struct Case {
        double fromLat;
        double toLat;
        bool teleport;
    };
    const Case cases[] = {
        {47.0, 47.0 + 10.5 / 60.0, true},
        {47.0, 47.0 + 9.9 / 60.0, false},
        {0.0, 47.0, false}, // the first reply of a run
        {47.0, 0.0, false}, // a position that is not known
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.toLat);
        gf_resetSimLinkRunState();
        runControl.reset();
        lf_state(c.fromLat, 0.0);
        lf_state(c.toLat, 0.0);
        EXPECT_EQ(runControl.stop.load(), c.teleport);
    }
}

TEST_F(UserAircraftTest, StateRepliesKeepPositionAltitudeStandAndTime) {
    std::string stand = "A12";
    gf_simLinkHooks().nearestStandName = [&](const Lalo& p) { return p.lat > 40 ? stand : std::string(); };
    bool professional = false;
    gf_coreHooks().professionalPeer = [&] { return professional; };

    lf_state(47.45, 8.56, -12.0, 7);
    EXPECT_EQ(gf_userState().altitude, 0.0) << "a negative altitude is kept as 0";
    EXPECT_EQ(userObjectId, 7u);
    EXPECT_EQ(gf_userStandName(), "A12");
    EXPECT_EQ(simLinkStatus.userStandText(), "A12");
    EXPECT_EQ(simTimeUnix, 0) << "only for the professional peer";
    const int afterFirst = repaints_;
    lf_state(47.45, 8.56);
    EXPECT_EQ(repaints_, afterFirst) << "the same stand repaints nothing";

    stand.clear();
    professional = true;
    lf_state(47.45, 8.56, 1400.0, 1, 2025, 1, 0);
    EXPECT_EQ(simLinkStatus.userStandText(), "");
    EXPECT_EQ(simTimeUnix, 1735689600) << "1 January 2025, 00:00 UTC";
    lf_state(47.45, 8.56, 1400.0, 1, 2024, 366, 86399);
    EXPECT_EQ(simTimeUnix, 1735689599) << "the last second of the leap year 2024";
}

TEST_F(UserAircraftTest, OnGroundRepliesTickAlwaysAndCountOnlyWithAKnownPosition) {
    lf_onGround(1);
    EXPECT_EQ(ticks_, 1);
    EXPECT_TRUE(simTickFlag);
    EXPECT_FALSE(userOnGroundKnown);
    lf_state(47.45, 8.56);
    lf_onGround(1);
    EXPECT_EQ(ticks_, 2);
    EXPECT_TRUE(userOnGroundKnown);
    EXPECT_TRUE(userOnGround);
    lf_onGround(0);
    EXPECT_FALSE(userOnGround);
}

TEST_F(UserAircraftTest, TheTitleIsCutTo48AndLoggedWhenItChanges) {
    const std::string title(60, 'T');
    DataReply::text(reqUserTitle, title, 0).dispatch();
    EXPECT_EQ(gf_userAcTitle(), std::string(48, 'T'));
    EXPECT_EQ(simLinkStatus.userAircraftText(), std::string(48, 'T'));
    DataReply::text(reqUserTitle, title, 0).dispatch();
    EXPECT_EQ(logCount("SimConnect: User aircraft title: " + std::string(48, 'T') + "\n"), 1u);
    DataReply::text(reqUserTitle, "", 1).dispatch();
    EXPECT_EQ(logCount("! Title of your aircraft is empty?"), 1u);
    EXPECT_EQ(gf_userAcTitle(), std::string(48, 'T'));

    // A character across the cut goes as a whole: what is left stays valid UTF-8.
    const std::pair<std::string, std::string> cuts[] = {
        {std::string(47, 'D') + "\xC3\xBCsseldorf", std::string(47, 'D')},              // ü at 47..48
        {std::string(46, 'D') + "\xC3\xBC" + "ABC", std::string(46, 'D') + "\xC3\xBC"}, // ü at 46..47
        {std::string(45, 'D') + "\xF0\x9F\x9B\xA9" + "ABC", std::string(45, 'D')},      // 4 bytes at 45..48
    };
    for (const auto& [sent, kept] : cuts) {
        DataReply::text(reqUserTitle, sent, 0).dispatch();
        EXPECT_EQ(gf_userAcTitle(), kept);
        EXPECT_EQ(simLinkStatus.userAircraftText(), kept);
    }
}

class ModelTest : public UserAircraftTest {
protected:
    void SetUp() override {
        UserAircraftTest::SetUp();
        dbase.large = {"B738", "B737", "A20N", "A320", "E190"};
        dbase.heavy = {"A359"};
        dbase.buzjet = {"CRJ7"};
        dbase.wingspans = {{"B738", 0.0097}, {"B737", 0.0092}, {"A20N", 0.0097}, {"A320", 0.0096},
                           {"E190", 0.0078}, {"CRJ7", 0.0063}, {"A359", 0.0175}};
        dbase.largestHalfSpan = 0.0432;
    }

    void identify(const std::string& title, const std::string& model) {
        if (!title.empty()) DataReply::text(reqUserTitle, title, 0).dispatch();
        DataReply::text(reqUserAtcModel, model, 32).dispatch();
    }
};

TEST_F(ModelTest, ModelsAreMendedIntoTypesWithTheirSpanAndCategory) {
    struct Case {
        const char* title;
        const char* model;
        const char* line; // the log line
        double span;
        SizeCategory category;
        bool known;
    };
    const Case cases[] = {
        {"Stub 1", "xyzB738.0.text",
         "SimConnect: User aircraft model: B738, half wing span: 18.0 meter, category: Large", 0.0097,
         SizeCategory::Large, true},
        {"Stub 2", "$$:A20N",
         "SimConnect: User aircraft model: A20N, half wing span: 18.0 meter, category: Large", 0.0097,
         SizeCategory::Large, true},
        {"Stub 3", "A350-900",
         "SimConnect: User aircraft model: A359, half wing span: 32.4 meter, category: Heavy", 0.0175,
         SizeCategory::Heavy, true},
        {"DG 737-700 Private", "737",
         "SimConnect: User aircraft model: B737, half wing span: 17.0 meter, category: Large", 0.0092,
         SizeCategory::Large, true},
        {"Stub 4 737", "737", "SimConnect: User aircraft model: 737,", gf_wingspanOf("737"),
         SizeCategory::Light, true},
        {"Aerosoft A320 Stub", "AEROSOFT_A320_LONG",
         "SimConnect: User aircraft model deduced from title: A320, half wing span: 17.8 meter, category: "
         "Large",
         0.0096, SizeCategory::Large, true},
        {"Stub 5", "SOMETHING_LONG", "SimConnect: User aircraft model: SOMETHING_LONG, category: Light",
         0.0432, SizeCategory::Light, false},
        {"Stub 6", "camerapod 2", "SimConnect: User aircraft model: camerapod 2\n", 0.0078,
         SizeCategory::Light, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        identify(c.title, c.model);
        EXPECT_EQ(logCount(c.line), 1u) << logText();
        ASSERT_TRUE(gf_userHalfSpanNm());
        EXPECT_DOUBLE_EQ(*gf_userHalfSpanNm(), c.span);
        EXPECT_EQ(gf_userSizeCategory(), c.category);
        EXPECT_EQ(simLinkStatus.wingSpanKnown.load(), c.known);
    }
    const auto shown = messages();
    EXPECT_EQ(std::count(shown.begin(), shown.end(),
                         "User aircraft wing span unknown, max is taken instead, please report in my Forum!"),
              1);
    EXPECT_FALSE(runControl.stop);
}

TEST_F(ModelTest, ATypeDeducedFromTheTitleWithoutASpanStaysUnknown) {
    dbase.large.insert("A319");
    dbase.wingspans["A319"] = 0.0; // listed without a span
    identify("Aerosoft A319 Stub", "AEROSOFT_A319_LONG");
    EXPECT_EQ(logCount("SimConnect: User aircraft model deduced from title: A319, category: Large"), 1u);
    EXPECT_DOUBLE_EQ(*gf_userHalfSpanNm(), 0.0432);
    EXPECT_FALSE(simLinkStatus.wingSpanKnown);
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages().back(),
              "User aircraft wing span unknown, max is taken instead, please report in my Forum!");
}

TEST_F(ModelTest, AnEmptyModelTakesTheCrj7SpanAndKeepsTheCategory) {
    identify("Stub", "A350-900");
    identify("", "");
    EXPECT_DOUBLE_EQ(*gf_userHalfSpanNm(), 0.0063);
    EXPECT_EQ(gf_userSizeCategory(), SizeCategory::Heavy);
    EXPECT_EQ(simLinkStatus.userAircraftText(), "Unknown (encrypted?) aircraft");
    const auto shown = messages();
    EXPECT_EQ(shown.back(),
              "171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead");
}

} // namespace
} // namespace simtest
