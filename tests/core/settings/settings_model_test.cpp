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
    std::vector<std::int32_t> choices;
    std::uint16_t controlId;
    std::int32_t y;
};

TEST(SettingsModel, NumericChoicesTakeTheirBoundsFromTheirListAndStartAtTheirDefault) {
    const std::vector<std::int32_t> selections{0, 10, 25, 50, 75, 100, 500};
    const ChoiceCase cases[] = {
        {&MATCHING_DEPTH, 4, {1, 2, 3, 4}, 0x8028, 203},
        {&RANGE,
         40,
         {2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 50, 65, 80, 100},
         0x8032,
         231},
        {&AR_ABOVE_HEIGHT,
         48000,
         {18000, 21000, 24000, 27000, 30000, 33000, 36000, 39000, 42000, 45000, 48000},
         0x8034,
         231},
        {&MAX_PARK_SEL, 500, selections, 0x8050, 315},
        {&MAX_LIVE_SEL, 500, selections, 0x8051, 315},
        {&AIRP_RANGE, 20, {5, 10, 15, 20, 25, 30}, 0x8048, 343},
        {&AIRP_HEIGHT,
         18000,
         {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000},
         0x8049,
         343},
        {&parking_percentage,
         30,
         {0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100},
         0x8052,
         371},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting->name);
        EXPECT_EQ(c.setting->defaultValue, c.defaultValue);
        EXPECT_EQ(c.setting->value.load(), c.defaultValue);
        EXPECT_EQ(c.setting->choices, c.choices);
        EXPECT_EQ(c.setting->min, c.choices.front());
        EXPECT_EQ(c.setting->max, c.choices.back());
        EXPECT_EQ(c.setting->controlId, c.controlId);
        EXPECT_EQ(c.setting->y, c.y);
    }
    EXPECT_EQ(MAX_FIT_FL.choices,
              (std::vector<float>{0.5f, 1.0f, 1.5f, 2.0f, 2.5f,  3.0f,  3.5f,  4.0f,  4.5f,  5.0f,
                                  6.0f, 7.0f, 8.0f, 9.0f, 10.0f, 12.0f, 15.0f, 18.0f, 21.0f, 24.0f}));
    EXPECT_FLOAT_EQ(MAX_FIT_FL.defaultValue, 24.0f);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.min, 0.5f);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.max, 24.0f);
    EXPECT_EQ(MAX_FIT_FL.controlId, 0x8056);
    EXPECT_EQ(MAX_FIT_FL.y, 371);
    EXPECT_EQ(rangeMeters.load(), 74080u);
}

// The window places and addresses every control by these ids and rows, and every key and default
// is what users' files hold; a slip in one of them shows nowhere else.
TEST(SettingsModel, EverySettingHasItsKeyDefaultBoundsAndControl) {
    struct Box {
        const CheckBoxParameter* setting;
        const char* key;
        bool defaultValue;
        std::uint16_t controlId;
        std::int32_t y;
    };
    const Box boxes[] = {
        {&ALWAYS_ON_TOP, "ALWAYS_ON_TOP", false, 0x8003, 147},
        {&GUID_CHANGES, "GUID_CHANGES", true, 0x8005, 203},
        {&AEROWINX, "AEROWINX", false, 0x8006, 203},
        {&NAV_LIGHTS_WHILE_PARKED, "NAV_LIGHTS_WHILE_PARKED", true, 0x8008, 175},
        {&SCAN_LIVERIES, "SCAN_LIVERIES", true, 0x801e, 147},
        {&LIG_AUTOMATIC, "LIG_AUTOMATIC", true, 0x801f, 147},
        {&LIG_PRIORITIZE, "LIG_PRIORITIZE", true, 0x8020, 147},
        {&SCAN_AIRPORTS, "SCAN_AIRPORTS", true, 0x8022, 175},
        {&LIGHT_AIRCRAFT, "LIGHT_AIRCRAFT", true, 0x8029, 203},
        {&HELICOPTERS, "HELICOPTERS", true, 0x802a, 203},
        {&HIGH_PERF_AIRCRAFT, "HIGH_PERF_AIRCRAFT", true, 0x802b, 203},
        {&AUTO_RANGE, "AUTO_RANGE", true, 0x8033, 231},
        {&AIRBORNE_ONLY, "AIRBORNE_ONLY", false, 0x8035, 231},
        {&COLLISION_USER_AIR, "COLLISION_USER_AIR", true, 0x8041, 287},
        {&COLLISION_USER_GND, "COLLISION_USER_GND", true, 0x8042, 287},
        {&COLLISION_LIVE_PARKED_GND, "COLLISION_LIVE_PARKED_GND", false, 0x8043, 287},
        {&STRAIGHT_PBS_ONLY, "STRAIGHT_PBS_ONLY", false, 0x8057, 315},
        {&INITIAL_LOAD_ONLY, "INITIAL_LOAD_ONLY", false, 0x8053, 371},
        {&PARK_SOFT, "PARK_SOFT", false, 0x8054, 371},
        {&WEEK, "WEEK", false, 0x8055, 371},
    };
    for (const auto& b : boxes) {
        SCOPED_TRACE(b.key);
        EXPECT_EQ(b.setting->name, b.key);
        EXPECT_EQ(b.setting->defaultValue, b.defaultValue);
        EXPECT_EQ(b.setting->controlId, b.controlId);
        EXPECT_EQ(b.setting->y, b.y);
    }
    EXPECT_EQ(RANDOM.name, "RANDOM");
    EXPECT_TRUE(RANDOM.defaultValue);

    struct Whole {
        const IntParameter* setting;
        const char* key;
        std::int32_t defaultValue, min, max;
    };
    const Whole wholes[] = {
        {&CUSTOM_PARKING_PERCENTAGE, "CUSTOM_PARKING_PERCENTAGE", -1, -1, 100},
        {&MAIN_WINDOW_X, "MAIN_WINDOW_X", 400, -30000, 30000},
        {&MAIN_WINDOW_Y, "MAIN_WINDOW_Y", 20, -30000, 30000},
        {&LAST_EPOCH_TIME, "LAST_EPOCH_TIME:", 0, 0, 2147483647},
        {&HOLDING_THRESHOLD_METERS, "HOLDING_THRESHOLD_METERS", 250, 10, 4000},
        {&MAX_HOLDING_MINUTES, "MAX_HOLDING_MINUTES", 20, 1, 60},
        {&MAX_FIT, "MAX_FIT", 47, 0, 47},
    };
    for (const auto& w : wholes) {
        SCOPED_TRACE(w.key);
        EXPECT_EQ(w.setting->name, w.key);
        EXPECT_EQ(w.setting->defaultValue, w.defaultValue);
        EXPECT_EQ(w.setting->min, w.min);
        EXPECT_EQ(w.setting->max, w.max);
    }

    struct Text {
        const StringParameter* setting;
        const char* key;
        const char* defaultValue;
        const ControlPart* control;
        std::uint16_t controlId;
        std::int32_t y;
    };
    const Text texts[] = {
        {&PORT_NUMBER, "PORT_NUMBER", "10747", nullptr, 0, 0},
        {&MSFS_2024_INSTALL_PATH, "MSFS_2024_INSTALL_PATH", "", nullptr, 0, 0},
        {&ALL_INSTALL_PATH, "ALL_INSTALL_PATH", "", &ALL_INSTALL_PATH, 0x8014, 119},
        {&BLOCK_CALLSIGN, "BLOCK_CALLSIGN", "", &BLOCK_CALLSIGN, 0x803c, 259},
        {&DESTINATION, "DESTINATION", "", &DESTINATION, 0x8047, 343},
        {&SIM_CHOICE, "SIM_CHOICE", "MSFS 2020", &SIM_CHOICE, 0x8015, 119},
        {&AI_PACKAGE_SELECTOR, "AI_PACKAGE_SELECTOR", "AIG, FSLTL, JF, MTL", &AI_PACKAGE_SELECTOR, 0x8016,
         147},
        {&CALLSIGN_2_OBJECTID, "CALLSIGN_2_OBJECTID", "", &CALLSIGN_2_OBJECTID, 0x803f, 259},
    };
    for (const auto& t : texts) {
        SCOPED_TRACE(t.key);
        EXPECT_EQ(t.setting->name, t.key);
        EXPECT_EQ(t.setting->defaultValue(), t.defaultValue);
        if (t.control != nullptr) {
            EXPECT_EQ(t.control->controlId, t.controlId);
            EXPECT_EQ(t.control->y, t.y);
        }
    }

    struct Button {
        const ButtonParameter* button;
        const char* caption;
        std::uint16_t controlId;
        std::int32_t y;
    };
    const Button buttons[] = {
        {&TBLO_BUTTON, "tblo", 0x8024, 175},
        {&UNBLOCK_BUTTON, "Unblock", 0x803d, 257},
        {&CS2OID_BUTTON, "cs->oid:", 0x803e, 257},
        {&BLOCK_BUTTON, "Block", 0x8040, 257},
        {&NOW_BUTTON, "Now", 0x804f, 313},
        {&REREAD_BUTTON, "Re-read", 0x8046, 341},
        {&FLUSH_STATIC_BUTTON, "Flush static", 0x8059, 369},
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.caption);
        EXPECT_EQ(b.button->name, b.caption);
        EXPECT_EQ(b.button->controlId, b.controlId);
        EXPECT_EQ(b.button->y, b.y);
    }
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
