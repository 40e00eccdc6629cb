// Control setters: traffic range, automatic range, max-fit hours, the parking controls.

#include "core/units.h"
#include "engine/base/engine_status.h"
#include "engine/static/static_parking_state.h"
#include "window_fixture.h"

#include <vector>

namespace {

class SetterTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        auto& hooks = gf_rangeHooks();
        hooks.userOnGround = [this] { return onGround; };
        hooks.userHeightFt = [this] { return heightFt; };
        hooks.userPosition = [this] { return user; };
        hooks.firstParkAirport = [this] { return airport; };
    }
    std::optional<bool> onGround = false;
    double heightFt = 1000.0;
    std::optional<Lalo> user = Lalo{52.0, 4.0};
    std::optional<Lalo> airport;
    // A park airport straight north of the user at this distance.
    void airportAt(double nm) { airport = Lalo{52.0 + nm / 60.0, 4.0}; }
};

TEST_F(SetterTest, SetRangeSelectsListEntriesAndSetsBothRadii) {
    EXPECT_EQ(gf_setRange(50), 92600u);
    EXPECT_EQ(RANGE.value.load(), 50);
    EXPECT_EQ(ui.selection(RANGE.controlId), 16);
    EXPECT_EQ(gf_trafficRadiusNm(), 50.0);
    EXPECT_EQ(rangeMeters.load(), 92600u);

    EXPECT_EQ(gf_setRange(7), 12964u); // no list entry: the selection stays
    EXPECT_EQ(ui.selection(RANGE.controlId), 16);
    EXPECT_EQ(gf_trafficRadiusNm(), 7.0);
}

TEST_F(SetterTest, SetRangeClampsBothRadii) {
    // A negative radius would wrap around in the unsigned metres; a huge one would flood the engine.
    for (const auto& [nm, clamped] : std::vector<std::pair<int, int>>{{-5, 2}, {0, 2}, {500, 100}}) {
        EXPECT_EQ(gf_setRange(nm), static_cast<std::uint32_t>(clamped) * wholeMetresPerNm) << nm;
        EXPECT_EQ(RANGE.value.load(), clamped);
        EXPECT_EQ(gf_trafficRadiusNm(), static_cast<double>(clamped));
        EXPECT_EQ(rangeMeters.load(), static_cast<std::uint32_t>(clamped) * wholeMetresPerNm);
    }
}

TEST_F(SetterTest, AutoRangeByHeight) {
    AR_ABOVE_HEIGHT.value = 48000;
    AIRP_HEIGHT.value = 18000;
    onGround = true;
    airportAt(30.0);
    gf_autoRange();
    EXPECT_EQ(RANGE.value.load(), 10);
    onGround = false;
    heightFt = 20000.0;
    gf_autoRange();
    EXPECT_EQ(RANGE.value.load(), 40);
    heightFt = 50000.0;
    gf_autoRange();
    EXPECT_EQ(RANGE.value.load(), 100);
    heightFt = 5000.0;
    airport.reset(); // no park airport: as if very far away
    gf_autoRange();
    EXPECT_EQ(RANGE.value.load(), 40);
}

TEST_F(SetterTest, AutoRangeByDistanceToTheParkAirport) {
    const std::vector<std::pair<double, int>> cases{
        {3.0, 10},  {7.0, 10},  {7.4, 8},   {9.0, 10},  {11.2, 12}, {16.6, 18},  {19.0, 20},
        {24.0, 25}, {29.0, 30}, {32.4, 30}, {36.6, 35}, {37.0, 40}, {120.0, 40},
    };
    for (const auto& [d, nm] : cases)
        EXPECT_EQ(gf_autoRangeForDistance(d), nm) << d;
    airportAt(7.4);
    gf_autoRange();
    EXPECT_EQ(RANGE.value.load(), 8);
}

TEST_F(SetterTest, UntickingAutoRangeGivesBackTheLoadedRange) {
    // parameters.xml held RANGE 80 with AUTO_RANGE on; the start-up then set the automatic radius.
    RANGE.value = 80;
    AUTO_RANGE.value = true;
    onGround = true;
    gf_autoRange();
    EXPECT_EQ(RANGE.value.load(), 10);
    gf_handleCommand(tick(AUTO_RANGE, false));
    EXPECT_EQ(RANGE.value.load(), 80);
    EXPECT_EQ(gf_trafficRadiusNm(), 80.0);
    EXPECT_EQ(ui.enabled(RANGE.controlId), true);
    EXPECT_EQ(ui.enabled(AR_ABOVE_HEIGHT.controlId), false);
}

TEST_F(SetterTest, EachStartUpTakesTheKeptRangeFromTheLoadedValue) {
    RANGE.value = 80;
    gf_keepLoadedRange();
    RANGE.value = 65; // the next run loaded another stored range
    gf_keepLoadedRange();
    onGround = true;
    gf_autoRange();
    AUTO_RANGE.value = false;
    gf_applyAutoRange();
    EXPECT_EQ(RANGE.value.load(), 65);
}

TEST_F(SetterTest, TickingAutoRangeKeepsTheManualRange) {
    AUTO_RANGE.value = false;
    RANGE.value = 25;
    onGround = true;
    gf_handleCommand(tick(AUTO_RANGE, true));
    EXPECT_EQ(RANGE.value.load(), 10);
    EXPECT_EQ(ui.enabled(RANGE.controlId), false);
    EXPECT_EQ(ui.enabled(AR_ABOVE_HEIGHT.controlId), true);
    EXPECT_EQ(gf_keptRange(), 25);
}

TEST_F(SetterTest, MaxFitHours) {
    const std::vector<std::pair<int, float>> cases{
        {47, 24.0f}, {44, 24.0f}, {43, 21.0f}, {23, 12.0f}, {20, 11.0f}, {21, 11.0f},
        {19, 10.0f}, {9, 5.0f},   {8, 4.5f},   {1, 1.0f},   {0, 0.5f},   {-3, 0.5f},
    };
    for (const auto& [slots, hours] : cases)
        EXPECT_EQ(gf_maxFitHours(slots), hours) << slots;
    // Every list entry written as 2 x hours - 1 slots maps back to itself.
    for (float h : MAX_FIT_FL.choices)
        EXPECT_EQ(gf_maxFitHours(static_cast<int>(2 * h) - 1), h);
}

TEST_F(SetterTest, MaxFitListShowsHoursWithOneDecimal) {
    gf_fillMaxFitCombo();
    const auto entries = ui.entries(MAX_FIT_FL.controlId).value_or(std::vector<std::string>{});
    ASSERT_EQ(entries.size(), MAX_FIT_FL.choices.size());
    EXPECT_EQ(entries.front(), "0.5");
    EXPECT_EQ(entries[1], "1.0");
    EXPECT_EQ(entries.back(), "24.0");
    EXPECT_EQ(ui.selection(MAX_FIT_FL.controlId), static_cast<int>(entries.size()) - 1) << "the default 24";
}

TEST_F(SetterTest, ShowMaxFitSelectsOnlyListEntries) {
    MAX_FIT.value = 47;
    gf_showMaxFit();
    EXPECT_EQ(MAX_FIT_FL.value.load(), 24.0f);
    EXPECT_EQ(ui.selection(MAX_FIT_FL.controlId), static_cast<int>(MAX_FIT_FL.choices.size()) - 1);
    MAX_FIT.value = 0;
    gf_showMaxFit();
    EXPECT_EQ(ui.selection(MAX_FIT_FL.controlId), 0);
    ui.clear();
    MAX_FIT.value = 20; // 11 hours: not in the list
    gf_showMaxFit();
    EXPECT_EQ(MAX_FIT_FL.value.load(), 11.0f);
    EXPECT_EQ(ui.selection(MAX_FIT_FL.controlId), std::nullopt);
    EXPECT_EQ(parametersFile(), ""); // not saved
}

TEST_F(SetterTest, ParkingControlsSwitchAsABlock) {
    const std::vector<const ControlPart*> block{&parking_percentage,  &WEEK,         &PARK_SOFT,
                                                &MAX_FIT_FL,          &MAX_PARK_SEL, &MAX_LIVE_SEL,
                                                &FLUSH_STATIC_BUTTON, &NOW_BUTTON,   &REREAD_BUTTON};
    // The engine switches the block (its busy mark and countdown) and the window's controls follow.
    gf_engineHooks().disableParkingControls = [] { gf_disableParkingControls(); };
    gf_engineHooks().enableParkingControls = [] { gf_enableParkingControls(); };
    gf_disableParkingControlsFromEngine();
    EXPECT_TRUE(staticParkingState.busy.load());
    EXPECT_TRUE(parkingControlsReady.load());
    for (const auto* p : block)
        EXPECT_EQ(ui.enabled(p->controlId), false) << p->controlId;
    gf_enableParkingControlsFromEngine();
    EXPECT_FALSE(staticParkingState.busy.load());
    EXPECT_EQ(gf_statusView().engine.renewalMinutes, 19);
    for (const auto* p : block)
        EXPECT_EQ(ui.enabled(p->controlId), true) << p->controlId;

    // With Initial Load Only the "Now" button is left as it is.
    INITIAL_LOAD_ONLY.value = true;
    ui.clear();
    gf_disableParkingControls();
    EXPECT_EQ(ui.enabled(NOW_BUTTON.controlId), std::nullopt);
    gf_resetEngineHooks();
}

TEST_F(SetterTest, ShowAndSetControls) {
    BLOCK_CALLSIGN.setValue("KLM1");
    gf_showStringParameter(BLOCK_CALLSIGN);
    EXPECT_EQ(ui.text(BLOCK_CALLSIGN.controlId), "KLM1");
    BLOCK_CALLSIGN.setValue("bad\xff");
    gf_showStringParameter(BLOCK_CALLSIGN);
    EXPECT_EQ(ui.text(BLOCK_CALLSIGN.controlId), "KLM1"); // invalid text is not shown
    gf_setCheckBox(SCAN_LIVERIES, false);
    EXPECT_EQ(ui.checked(SCAN_LIVERIES.controlId), false);
    EXPECT_TRUE(saved("SCAN_LIVERIES", "false"));
}

} // namespace
