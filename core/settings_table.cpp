// The table of every setting: keys, defaults, bounds, choice lists and controls, and the registries.
// Within this file the choice lists are built first, then the settings that copy them, then the
// registries; keep that order.

#include "core/settings.h"
#include "core/units.h"

#include <initializer_list>

namespace {

std::vector<std::int32_t> lf_steps(std::int32_t first, std::int32_t last, std::int32_t step) {
    std::vector<std::int32_t> list;
    for (std::int32_t v = first; v <= last; v += step)
        list.push_back(v);
    return list;
}

std::vector<std::int32_t> lf_airportHeights() {
    auto list = lf_steps(2000, 18000, 2000);
    list.push_back(36000);
    list.push_back(48000);
    return list;
}

} // namespace

// ---- Choice lists ---------------------------------------------------------------------------------

const std::vector<std::string> simChoices{"MSFS 2020", "MSFS 2024"};

// Every ordering of every non-empty subset of the four AI traffic packages: the subsets by size
// (four, three, two, one), each subset's orderings in alphabetical order of the name sequence.
const std::vector<std::string> aiPackageOrders{
    "AIG, FSLTL, JF, MTL",
    "AIG, FSLTL, MTL, JF",
    "AIG, JF, FSLTL, MTL",
    "AIG, JF, MTL, FSLTL",
    "AIG, MTL, FSLTL, JF",
    "AIG, MTL, JF, FSLTL",
    "FSLTL, AIG, JF, MTL",
    "FSLTL, AIG, MTL, JF",
    "FSLTL, JF, AIG, MTL",
    "FSLTL, JF, MTL, AIG",
    "FSLTL, MTL, AIG, JF",
    "FSLTL, MTL, JF, AIG",
    "JF, AIG, FSLTL, MTL",
    "JF, AIG, MTL, FSLTL",
    "JF, FSLTL, AIG, MTL",
    "JF, FSLTL, MTL, AIG",
    "JF, MTL, AIG, FSLTL",
    "JF, MTL, FSLTL, AIG",
    "MTL, AIG, FSLTL, JF",
    "MTL, AIG, JF, FSLTL",
    "MTL, FSLTL, AIG, JF",
    "MTL, FSLTL, JF, AIG",
    "MTL, JF, AIG, FSLTL",
    "MTL, JF, FSLTL, AIG",
    "AIG, FSLTL, JF",
    "AIG, JF, FSLTL",
    "FSLTL, AIG, JF",
    "FSLTL, JF, AIG",
    "JF, AIG, FSLTL",
    "JF, FSLTL, AIG",
    "AIG, FSLTL, MTL",
    "AIG, MTL, FSLTL",
    "FSLTL, AIG, MTL",
    "FSLTL, MTL, AIG",
    "MTL, AIG, FSLTL",
    "MTL, FSLTL, AIG",
    "AIG, JF, MTL",
    "AIG, MTL, JF",
    "JF, AIG, MTL",
    "JF, MTL, AIG",
    "MTL, AIG, JF",
    "MTL, JF, AIG",
    "FSLTL, JF, MTL",
    "FSLTL, MTL, JF",
    "JF, FSLTL, MTL",
    "JF, MTL, FSLTL",
    "MTL, FSLTL, JF",
    "MTL, JF, FSLTL",
    "AIG, FSLTL",
    "FSLTL, AIG",
    "AIG, JF",
    "JF, AIG",
    "AIG, MTL",
    "MTL, AIG",
    "FSLTL, JF",
    "JF, FSLTL",
    "FSLTL, MTL",
    "MTL, FSLTL",
    "JF, MTL",
    "MTL, JF",
    "AIG",
    "FSLTL",
    "JF",
    "MTL",
};

const std::shared_ptr<SharedChoiceList> callsign2ObjectIdChoices =
    std::make_shared<SharedChoiceList>(std::vector<std::string>{""});

namespace {

const std::vector<std::int32_t> matchingDepthChoices{1, 2, 3, 4};
const std::vector<std::int32_t> rangeChoices{2,  3,  4,  5,  6,  8,  10, 12, 14, 16,
                                             18, 20, 25, 30, 35, 40, 50, 65, 80, 100};
const std::vector<std::int32_t> arAboveHeightChoices = lf_steps(18000, 48000, 3000);
const std::vector<std::int32_t> maxSelChoices{0, 10, 25, 50, 75, 100, 500};
const std::vector<std::int32_t> airpRangeChoices{5, 10, 15, 20, 25, 30};
const std::vector<std::int32_t> airpHeightChoices = lf_airportHeights();
const std::vector<std::int32_t> parkingPercentageChoices = lf_steps(0, 100, 5);
const std::vector<float> maxFitHoursChoices{0.5f, 1.0f, 1.5f, 2.0f, 2.5f,  3.0f,  3.5f,  4.0f,  4.5f,  5.0f,
                                            6.0f, 7.0f, 8.0f, 9.0f, 10.0f, 12.0f, 15.0f, 18.0f, 21.0f, 24.0f};

} // namespace

// ---- Check boxes ----------------------------------------------------------------------------------

CheckBoxParameter ALWAYS_ON_TOP("ALWAYS_ON_TOP", false, 0x8003, 147);
CheckBoxParameter GUID_CHANGES("GUID_CHANGES", true, 0x8005, 203);
CheckBoxParameter AEROWINX("AEROWINX", false, 0x8006, 203);
CheckBoxParameter NAV_LIGHTS_WHILE_PARKED("NAV_LIGHTS_WHILE_PARKED", true, 0x8008, 175);
CheckBoxParameter SCAN_LIVERIES("SCAN_LIVERIES", true, 0x801e, 147);
CheckBoxParameter LIG_AUTOMATIC("LIG_AUTOMATIC", true, 0x801f, 147);
CheckBoxParameter LIG_PRIORITIZE("LIG_PRIORITIZE", true, 0x8020, 147);
CheckBoxParameter SCAN_AIRPORTS("SCAN_AIRPORTS", true, 0x8022, 175);
CheckBoxParameter LIGHT_AIRCRAFT("LIGHT_AIRCRAFT", true, 0x8029, 203);
CheckBoxParameter HELICOPTERS("HELICOPTERS", true, 0x802a, 203);
CheckBoxParameter HIGH_PERF_AIRCRAFT("HIGH_PERF_AIRCRAFT", true, 0x802b, 203);
CheckBoxParameter AUTO_RANGE("AUTO_RANGE", true, 0x8033, 231);
CheckBoxParameter AIRBORNE_ONLY("AIRBORNE_ONLY", false, 0x8035, 231);
CheckBoxParameter COLLISION_USER_AIR("COLLISION_USER_AIR", true, 0x8041, 287);
CheckBoxParameter COLLISION_USER_GND("COLLISION_USER_GND", true, 0x8042, 287);
CheckBoxParameter COLLISION_LIVE_PARKED_GND("COLLISION_LIVE_PARKED_GND", false, 0x8043, 287);
CheckBoxParameter STRAIGHT_PBS_ONLY("STRAIGHT_PBS_ONLY", false, 0x8057, 315);
CheckBoxParameter INITIAL_LOAD_ONLY("INITIAL_LOAD_ONLY", false, 0x8053, 371);
CheckBoxParameter PARK_SOFT("PARK_SOFT", false, 0x8054, 371);
CheckBoxParameter WEEK("WEEK", false, 0x8055, 371);

// ---- Yes/no without a control ---------------------------------------------------------------------

BoolParameter RANDOM("RANDOM", true);

// ---- Whole numbers without a control --------------------------------------------------------------

IntParameter CUSTOM_PARKING_PERCENTAGE("CUSTOM_PARKING_PERCENTAGE", -1, -1, 100);
IntParameter MAIN_WINDOW_X("MAIN_WINDOW_X", 400, -30000, 30000);
IntParameter MAIN_WINDOW_Y("MAIN_WINDOW_Y", 20, -30000, 30000);
IntParameter LAST_EPOCH_TIME("LAST_EPOCH_TIME:", 0, 0, 2147483647);
IntParameter HOLDING_THRESHOLD_METERS("HOLDING_THRESHOLD_METERS", 250, 10, 4000);
IntParameter MAX_HOLDING_MINUTES("MAX_HOLDING_MINUTES", 20, 1, 60);
IntParameter MAX_FIT("MAX_FIT", 47, 0, 47);

// ---- Numbers chosen from a list -------------------------------------------------------------------

NumericChoiceParameter MATCHING_DEPTH("MATCHING_DEPTH", 4, matchingDepthChoices, 0x8028, 203);
NumericChoiceParameter RANGE("RANGE", 40, rangeChoices, 0x8032, 231);
NumericChoiceParameter AR_ABOVE_HEIGHT("AR_ABOVE_HEIGHT", 48000, arAboveHeightChoices, 0x8034, 231);
NumericChoiceParameter MAX_PARK_SEL("MAX_PARK_SEL", 500, maxSelChoices, 0x8050, 315);
NumericChoiceParameter MAX_LIVE_SEL("MAX_LIVE_SEL", 500, maxSelChoices, 0x8051, 315);
NumericChoiceParameter AIRP_RANGE("AIRP_RANGE", 20, airpRangeChoices, 0x8048, 343);
NumericChoiceParameter AIRP_HEIGHT("AIRP_HEIGHT", 18000, airpHeightChoices, 0x8049, 343);
NumericChoiceParameter parking_percentage("parking_percentage", 30, parkingPercentageChoices, 0x8052, 371);
FloatChoiceParameter MAX_FIT_FL("MAX_FIT_FL", 24.0f, maxFitHoursChoices, 0x8056, 371);

std::atomic<std::uint32_t> rangeMeters{40u * wholeMetresPerNm};

// ---- Texts without a control ----------------------------------------------------------------------

StringParameter PROGRAM_VERSION("PROGRAM_VERSION", "");
StringParameter MSFS_INSTALL_PATH("MSFS_INSTALL_PATH", "");
StringParameter PORT_NUMBER("PORT_NUMBER", "10747");
StringParameter lfolder0("lfolder0", "");
StringParameter lfolder1("lfolder1", "");
StringParameter lfolder2("lfolder2", "");
StringParameter lfolder3("lfolder3", "");
StringParameter lfolder4("lfolder4", "");
StringParameter lfolder5("lfolder5", "");
StringParameter lfolder6("lfolder6", "");
StringParameter lfolder7("lfolder7", "");
StringParameter lfolder8("lfolder8", "");
StringParameter lfolder9("lfolder9", "");
StringParameter AIG_VERSION("AIG_VERSION", "");
StringParameter DBASE_VERSION("DBASE_VERSION", "");
StringParameter AIRPORTS_VERSION("AIRPORTS_VERSION", "");
StringParameter LIV_SCAN_VERSION("LIV_SCAN_VERSION", "");
StringParameter ADDONS_SCAN_VERSION("ADDONS_SCAN_VERSION", "");
StringParameter MYSIMADDON24_VERSION("MYSIMADDON24_VERSION", "");
StringParameter MSFS_2024_INSTALL_PATH("MSFS_2024_INSTALL_PATH", "");

// ---- Texts with an edit box -----------------------------------------------------------------------

EditStringParameter ALL_INSTALL_PATH("ALL_INSTALL_PATH", "", 0x8014, 119);
EditStringParameter BLOCK_CALLSIGN("BLOCK_CALLSIGN", "", 0x803c, 259);
EditStringParameter DESTINATION("DESTINATION", "", 0x8047, 343);

// ---- Texts chosen from a list ---------------------------------------------------------------------

StringChoiceParameter SIM_CHOICE("SIM_CHOICE", "MSFS 2020", simChoices, 0x8015, 119);
StringChoiceParameter AI_PACKAGE_SELECTOR("AI_PACKAGE_SELECTOR", "AIG, FSLTL, JF, MTL", aiPackageOrders,
                                          0x8016, 147);
SharedStringChoiceParameter CALLSIGN_2_OBJECTID("CALLSIGN_2_OBJECTID", "", callsign2ObjectIdChoices, 0x803f,
                                                259);

// ---- Push buttons ---------------------------------------------------------------------------------

ButtonParameter TBLO_BUTTON("tblo", 0x8024, 175);
ButtonParameter UNBLOCK_BUTTON("Unblock", 0x803d, 257);
ButtonParameter CS2OID_BUTTON("cs->oid:", 0x803e, 257);
ButtonParameter BLOCK_BUTTON("Block", 0x8040, 257);
ButtonParameter NOW_BUTTON("Now", 0x804f, 313);
ButtonParameter REREAD_BUTTON("Re-read", 0x8046, 341);
ButtonParameter FLUSH_STATIC_BUTTON("Flush static", 0x8059, 369);

const std::vector<StringParameter*> lfolderParameters{&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
                                                      &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9};

// ---- Registries -----------------------------------------------------------------------------------

const std::vector<BoolParameter*> boolParameters{&RANDOM};

const std::vector<CheckBoxParameter*> checkBoxParameters{&AEROWINX,
                                                         &LIG_AUTOMATIC,
                                                         &COLLISION_USER_AIR,
                                                         &COLLISION_USER_GND,
                                                         &COLLISION_LIVE_PARKED_GND,
                                                         &ALWAYS_ON_TOP,
                                                         &SCAN_LIVERIES,
                                                         &LIG_PRIORITIZE,
                                                         &AIRBORNE_ONLY,
                                                         &SCAN_AIRPORTS,
                                                         &LIGHT_AIRCRAFT,
                                                         &HELICOPTERS,
                                                         &HIGH_PERF_AIRCRAFT,
                                                         &NAV_LIGHTS_WHILE_PARKED,
                                                         &AUTO_RANGE,
                                                         &STRAIGHT_PBS_ONLY,
                                                         &PARK_SOFT,
                                                         &WEEK,
                                                         &INITIAL_LOAD_ONLY,
                                                         &GUID_CHANGES};

// AIRP_HEIGHT stands here and again among the numeric choices: a full save writes it twice.
const std::vector<IntParameter*> intParameters{
    &CUSTOM_PARKING_PERCENTAGE, &MAIN_WINDOW_X,       &MAIN_WINDOW_Y, &AIRP_HEIGHT, &LAST_EPOCH_TIME,
    &HOLDING_THRESHOLD_METERS,  &MAX_HOLDING_MINUTES, &MAX_FIT};

const std::vector<NumericChoiceParameter*> numericChoiceParameters{
    &MATCHING_DEPTH, &RANGE, &AR_ABOVE_HEIGHT, &MAX_PARK_SEL, &MAX_LIVE_SEL, &AIRP_RANGE, &AIRP_HEIGHT};

const std::vector<StringParameter*> stringParameters{&PROGRAM_VERSION,
                                                     &MSFS_INSTALL_PATH,
                                                     &PORT_NUMBER,
                                                     &lfolder0,
                                                     &lfolder1,
                                                     &lfolder2,
                                                     &lfolder3,
                                                     &lfolder4,
                                                     &lfolder5,
                                                     &lfolder6,
                                                     &lfolder7,
                                                     &lfolder8,
                                                     &lfolder9,
                                                     &AIG_VERSION,
                                                     &DBASE_VERSION,
                                                     &AIRPORTS_VERSION,
                                                     &LIV_SCAN_VERSION,
                                                     &ADDONS_SCAN_VERSION,
                                                     &MYSIMADDON24_VERSION,
                                                     &MSFS_2024_INSTALL_PATH,
                                                     &AI_PACKAGE_SELECTOR,
                                                     &DESTINATION};

const std::vector<EditStringParameter*> controlStringParameters{&BLOCK_CALLSIGN, &SIM_CHOICE};

// ---- Test reset -----------------------------------------------------------------------------------

void gf_resetSettingsForTests() {
    const auto resetValue = [](auto* p) { p->value = p->defaultValue; };
    for (auto* p : boolParameters)
        resetValue(p);
    for (auto* p : checkBoxParameters)
        resetValue(p);
    for (auto* p : intParameters)
        resetValue(p);
    for (auto* p : numericChoiceParameters)
        resetValue(p);
    resetValue(&parking_percentage);
    resetValue(&MAX_FIT_FL);

    PROGRAM_VERSION.setDefault("");
    for (auto* p : stringParameters)
        p->setValue(p->defaultValue());
    for (auto* p : controlStringParameters)
        p->setValue(p->defaultValue());
    for (StringParameter* p :
         std::initializer_list<StringParameter*>{&ALL_INSTALL_PATH, &CALLSIGN_2_OBJECTID})
        p->setValue(p->defaultValue());

    rangeMeters = static_cast<std::uint32_t>(RANGE.defaultValue) * wholeMetresPerNm;
    callsign2ObjectIdChoices->replace({""});

    for (auto* c : checkBoxParameters)
        c->detach();
    for (auto* c : numericChoiceParameters)
        c->detach();
    for (auto* c : controlStringParameters)
        c->detach();
    for (ControlPart* c : std::initializer_list<ControlPart*>{
             &parking_percentage, &MAX_FIT_FL, &ALL_INSTALL_PATH, &DESTINATION, &AI_PACKAGE_SELECTOR,
             &CALLSIGN_2_OBJECTID, &TBLO_BUTTON, &UNBLOCK_BUTTON, &CS2OID_BUTTON, &BLOCK_BUTTON, &NOW_BUTTON,
             &REREAD_BUTTON, &FLUSH_STATIC_BUTTON})
        c->detach();
}
