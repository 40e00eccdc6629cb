#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/settings.h"
#include "settings_fixture.h"

using namespace settings_test;

namespace {

struct ChoiceCase {
    const NumericChoiceParameter* setting;
    std::int32_t defaultValue;
    std::size_t count;
    std::int32_t first;
    std::int32_t last;
};

TEST(SettingsModel, NumericChoicesTakeTheirBoundsFromTheirListAndStartAtTheirDefault) {
    const ChoiceCase cases[] = {
        {&MATCHING_DEPTH, 4, 4, 1, 4},
        {&RANGE, 40, 20, 2, 100},
        {&AR_ABOVE_HEIGHT, 48000, 11, 18000, 48000},
        {&MAX_PARK_SEL, 500, 7, 0, 500},
        {&MAX_LIVE_SEL, 500, 7, 0, 500},
        {&AIRP_RANGE, 20, 6, 5, 30},
        {&AIRP_HEIGHT, 18000, 11, 2000, 48000},
        {&parking_percentage, 30, 21, 0, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting->name);
        EXPECT_EQ(c.setting->defaultValue, c.defaultValue);
        EXPECT_EQ(c.setting->value.load(), c.defaultValue);
        EXPECT_EQ(c.setting->choices.size(), c.count);
        EXPECT_EQ(c.setting->min, c.first);
        EXPECT_EQ(c.setting->max, c.last);
        EXPECT_TRUE(std::is_sorted(c.setting->choices.begin(), c.setting->choices.end()));
    }
    EXPECT_EQ(AIRP_HEIGHT.choices[8], 18000);
    EXPECT_EQ(AIRP_HEIGHT.choices[9], 36000);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.min, 0.5f);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.max, 24.0f);
    EXPECT_EQ(MAX_FIT_FL.choices.size(), 20u);
    EXPECT_EQ(rangeMeters.load(), 74080u);
}

TEST(SettingsModel, FreshSettingsHoldTheirDefaultInAllFourValues) {
    EXPECT_TRUE(GUID_CHANGES.defaultValue && GUID_CHANGES.min && GUID_CHANGES.max && GUID_CHANGES.value);
    EXPECT_EQ(PORT_NUMBER.value(), "10747");
    EXPECT_EQ(PORT_NUMBER.min, "10747");
    EXPECT_EQ(PORT_NUMBER.max, "10747");
    EXPECT_EQ(CUSTOM_PARKING_PERCENTAGE.value.load(), -1);
    EXPECT_EQ(CUSTOM_PARKING_PERCENTAGE.min, -1);
    EXPECT_EQ(LAST_EPOCH_TIME.name, "LAST_EPOCH_TIME:");
    EXPECT_EQ(LAST_EPOCH_TIME.max, 2147483647);
}

TEST(SettingsModel, IntegersClampAtBothEnds) {
    EXPECT_EQ(RANGE.clamped(7), 7);
    EXPECT_EQ(RANGE.clamped(500), 100);
    EXPECT_EQ(RANGE.clamped(0), 2);
    EXPECT_EQ(CUSTOM_PARKING_PERCENTAGE.clamped(-5), -1);
    EXPECT_EQ(LAST_EPOCH_TIME.clamped(int64_t{1} << 40), 2147483647);
}

// Every ordering of every non-empty subset: by subset size from four down, subsets in the order of
// their members, the orderings of one subset in alphabetical order.
std::vector<std::string> expectedPackageOrders() {
    const std::vector<std::string> names{"AIG", "FSLTL", "JF", "MTL"};
    std::vector<std::string> list;
    for (int size = 4; size >= 1; --size) {
        std::vector<bool> pick(names.size(), false);
        std::fill(pick.begin(), pick.begin() + size, true);
        do {
            std::vector<std::string> subset;
            for (std::size_t i = 0; i < names.size(); ++i)
                if (pick[i]) subset.push_back(names[i]);
            do {
                std::string text;
                for (const auto& n : subset)
                    text += (text.empty() ? "" : ", ") + n;
                list.push_back(text);
            } while (std::next_permutation(subset.begin(), subset.end()));
        } while (std::prev_permutation(pick.begin(), pick.end()));
    }
    return list;
}

TEST(SettingsModel, PackageSelectorListsEveryOrderingOfEveryPackageSubset) {
    const auto expected = expectedPackageOrders();
    ASSERT_EQ(expected.size(), 64u);
    EXPECT_EQ(AI_PACKAGE_SELECTOR.choices, expected);
    EXPECT_EQ(AI_PACKAGE_SELECTOR.selectedIndex(), 0u);
    EXPECT_EQ(SIM_CHOICE.choices, (std::vector<std::string>{"MSFS 2020", "MSFS 2024"}));
}

TEST(SettingsModel, ControlIdsAreUniqueAndRowsFollowTheGrid) {
    const std::vector<const ControlPart*> controls{&ALWAYS_ON_TOP,      &GUID_CHANGES,
                                                   &AEROWINX,           &NAV_LIGHTS_WHILE_PARKED,
                                                   &SCAN_LIVERIES,      &LIG_AUTOMATIC,
                                                   &LIG_PRIORITIZE,     &SCAN_AIRPORTS,
                                                   &LIGHT_AIRCRAFT,     &HELICOPTERS,
                                                   &HIGH_PERF_AIRCRAFT, &AUTO_RANGE,
                                                   &AIRBORNE_ONLY,      &COLLISION_USER_AIR,
                                                   &COLLISION_USER_GND, &COLLISION_LIVE_PARKED_GND,
                                                   &STRAIGHT_PBS_ONLY,  &INITIAL_LOAD_ONLY,
                                                   &PARK_SOFT,          &WEEK,
                                                   &MATCHING_DEPTH,     &RANGE,
                                                   &AR_ABOVE_HEIGHT,    &MAX_PARK_SEL,
                                                   &MAX_LIVE_SEL,       &AIRP_RANGE,
                                                   &AIRP_HEIGHT,        &parking_percentage,
                                                   &MAX_FIT_FL,         &ALL_INSTALL_PATH,
                                                   &BLOCK_CALLSIGN,     &DESTINATION,
                                                   &SIM_CHOICE,         &AI_PACKAGE_SELECTOR,
                                                   &CALLSIGN_2_OBJECTID};
    const std::vector<const ButtonParameter*> buttons{&TBLO_BUTTON,        &UNBLOCK_BUTTON, &CS2OID_BUTTON,
                                                      &BLOCK_BUTTON,       &NOW_BUTTON,     &REREAD_BUTTON,
                                                      &FLUSH_STATIC_BUTTON};
    std::set<std::uint16_t> ids;
    for (const auto* c : controls) {
        EXPECT_TRUE(ids.insert(c->controlId).second) << c->controlId;
        EXPECT_EQ((c->y - 119) % 28, 0) << c->controlId;
        EXPECT_TRUE(c->controlId >= 0x8003 && c->controlId <= 0x8059);
    }
    for (const auto* b : buttons) {
        EXPECT_TRUE(ids.insert(b->controlId).second) << b->name;
        const int row = b->name == "tblo" ? b->y : b->y + 2;
        EXPECT_EQ((row - 119) % 28, 0) << b->name;
    }
}

class ChoiceControls : public SettingsTest {};

TEST_F(ChoiceControls, StringChoicesMatchExactlyButSelectByCaseInsensitivePrefix) {
    FakeControl combo;
    StringChoiceParameter empty("EMPTY", "x", {}, 0x7000, 119);
    EXPECT_FALSE(empty.selectedIndex());

    SIM_CHOICE.attach(&combo);
    SIM_CHOICE.setValue("msfs 2024");
    EXPECT_FALSE(SIM_CHOICE.selectedIndex());
    SIM_CHOICE.fillCombo();
    EXPECT_EQ(combo.entries, SIM_CHOICE.choices);
    EXPECT_EQ(combo.selected, 1u);

    SIM_CHOICE.setValue("MSFS");
    SIM_CHOICE.fillCombo();
    EXPECT_EQ(combo.selected, 0u);
    SIM_CHOICE.setValue("X-Plane");
    SIM_CHOICE.fillCombo();
    EXPECT_FALSE(combo.selected);
}

TEST_F(ChoiceControls, NumericChoiceBetweenTwoEntriesKeepsItsValueAndSelectsNothing) {
    FakeControl combo;
    RANGE.attach(&combo);
    RANGE.value = 7;
    RANGE.fillCombo();
    EXPECT_EQ(combo.entries.size(), 20u);
    EXPECT_EQ(combo.entries.front(), "2");
    EXPECT_FALSE(combo.selected);
    EXPECT_EQ(RANGE.value.load(), 7);

    RANGE.value = 50;
    RANGE.fillCombo();
    EXPECT_EQ(combo.selected, 16u);
}

TEST_F(ChoiceControls, SharedListIsReadAsItIsWhenTheComboIsFilled) {
    FakeControl combo;
    CALLSIGN_2_OBJECTID.attach(&combo);
    CALLSIGN_2_OBJECTID.fillCombo();
    EXPECT_EQ(combo.entries, std::vector<std::string>{""});
    callsign2ObjectIdChoices->replace({"BAW12 = 123", "DLH4 = 124"});
    CALLSIGN_2_OBJECTID.setValue("dlh");
    CALLSIGN_2_OBJECTID.fillCombo();
    EXPECT_EQ(combo.entries.size(), 2u);
    EXPECT_EQ(combo.selected, 1u);
}

} // namespace
