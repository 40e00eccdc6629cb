#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/parameters.h"
#include "core/restore_parameters.h"
#include "core/settings.h"
#include "settings_fixture.h"

using namespace settings_test;

namespace {

class RestoreParameters : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        gf_saveParameters(false);
        for (auto* c : std::vector<ControlPart*>{&MAX_LIVE_SEL, &RANGE, &AR_ABOVE_HEIGHT, &parking_percentage,
                                                 &AUTO_RANGE, &INITIAL_LOAD_ONLY, &PARK_SOFT, &WEEK})
            c->attach(&controls.emplace_back());
        auto& hooks = gf_restoreHooks();
        hooks.showMaxFit = [this] { ++showMaxFitCalls; };
        hooks.setRange = [this](std::int32_t nm) { rangeCalls.push_back(nm); };
    }
    FakeControl& control(ControlPart& c) { return *static_cast<FakeControl*>(c.control()); }

    std::deque<FakeControl> controls;
    int showMaxFitCalls = 0;
    std::vector<std::int32_t> rangeCalls;
};

TEST_F(RestoreParameters, PutsBackClampedValuesSavesThemAndRefreshesControls) {
    savedParkingSettings = {.maxLiveSel = 75,
                            .maxFit = 99,
                            .range = 7,
                            .parkingPercentage = 33,
                            .autoRange = true,
                            .initialLoadOnly = true,
                            .parkSoft = false,
                            .week = true};

    gf_restoreOverriddenParameters();

    EXPECT_EQ(MAX_LIVE_SEL.value.load(), 75);
    EXPECT_EQ(MAX_FIT.value.load(), 47);
    EXPECT_EQ(RANGE.value.load(), 7);
    EXPECT_EQ(parking_percentage.value.load(), 33);
    EXPECT_TRUE(AUTO_RANGE.value && INITIAL_LOAD_ONLY.value && !PARK_SOFT.value && WEEK.value);

    EXPECT_EQ(fileValue(file(), "MAX_LIVE_SEL"), "75");
    EXPECT_EQ(fileValue(file(), "MAX_FIT"), "47");
    EXPECT_EQ(fileValue(file(), "RANGE"), "7");
    EXPECT_EQ(fileValue(file(), "parking_percentage"), "33");
    EXPECT_EQ(fileValue(file(), "WEEK"), "true");

    EXPECT_EQ(showMaxFitCalls, 1);
    EXPECT_EQ(rangeCalls, std::vector<std::int32_t>{7});
    EXPECT_EQ(control(parking_percentage).selectCalls, 0); // 33 is no entry of its list
    EXPECT_EQ(control(MAX_LIVE_SEL).selectCalls, 0);
    EXPECT_FALSE(control(MAX_LIVE_SEL).text);
    EXPECT_EQ(control(AUTO_RANGE).checked, true);
    EXPECT_EQ(control(WEEK).checked, true);
    EXPECT_EQ(control(PARK_SOFT).checked, false);
    EXPECT_FALSE(control(RANGE).enabled);
    EXPECT_TRUE(control(AR_ABOVE_HEIGHT).enabled);
}

TEST_F(RestoreParameters, AutoRangeOffEnablesTheRangeListAndAChoiceIsSelected) {
    savedParkingSettings = {
        .maxLiveSel = 500, .maxFit = 20, .range = 40, .parkingPercentage = 35, .autoRange = false};
    gf_restoreOverriddenParameters();
    EXPECT_EQ(control(parking_percentage).selected, 7u);
    EXPECT_TRUE(control(RANGE).enabled);
    EXPECT_FALSE(control(AR_ABOVE_HEIGHT).enabled);
    EXPECT_EQ(control(AUTO_RANGE).checked, false);
}

} // namespace
