// The livery tables: by airline and type, by type, the model lists of the size classes, the
// categories that switch themselves off, generic liveries and the title look-up.

#include "livery_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace livery_testing {
namespace {

class LiveryTablesTest : public LiveryTest {
protected:
    void SetUp() override {
        LiveryTest::SetUp();
        dbase.heavy = {"B77F", "B77W"};
        dbase.large = {"A320", "B738"};
        dbase.buzjet = {"C25A"};
        dbase.rotorcraft = {"EC35"};
        for (CheckBoxParameter* box : {&LIGHT_AIRCRAFT, &HIGH_PERF_AIRCRAFT, &HELICOPTERS})
            box->attach(&controls[box]);
    }
    std::map<CheckBoxParameter*, FakeControl> controls;
};

std::vector<std::string> titlesOf(const TitleViews& views) {
    return {views.begin(), views.end()};
}

TEST_F(LiveryTablesTest, CargoOnlyTypeIsFoundOnlyInTheCargoTables) {
    buildTables({livery("FDX", "B77F", "FedEx 777F", "", true),
                 livery("FDX", "B77F", "FedEx 777F 2", "", true), livery("BAW", "B77W", "BA 777")});
    EXPECT_EQ(titlesOf(airlineTypeTitles[1].at("FDX").at("B77F")),
              (std::vector<std::string>{"FedEx 777F", "FedEx 777F 2"}));
    EXPECT_FALSE(airlineTypeTitles[0].contains("FDX"));
    EXPECT_EQ(typeTitles[1].at("B77F").size(), 2u);
    EXPECT_FALSE(typeTitles[0].contains("B77F"));
    EXPECT_TRUE(installedCargoTypes.contains("B77F"));
    EXPECT_FALSE(installedPaxTypes.contains("B77F"));
    EXPECT_TRUE(gf_isInstalledType("B77F"));
    EXPECT_TRUE(gf_isInstalledType("B77W"));
    EXPECT_FALSE(gf_isInstalledType("A320"));
    EXPECT_TRUE(logHas("Category Heavy: 1 pax liverie and 2 cargo liveries"));

    // A passenger aircraft of that type finds nothing.
    LiveryAircraft ac{"FDX", "B77F", "", SizeCategory::Heavy, false};
    MATCHING_DEPTH.value = 4;
    gf_matchLiveAcLivery(ac);
    EXPECT_TRUE(ac.liveryTitle.empty());
}

TEST_F(LiveryTablesTest, TitlesOfOneAirlineDoNotLeakIntoTheNextAirlineOfTheSameType) {
    buildTables({livery("AAL", "B738", "American 1"), livery("AAL", "B738", "American 2"),
                 livery("BAW", "B738", "British 1"), livery("DLH", "A320", "Lufthansa 1"),
                 livery("DLH", "B738", "Lufthansa 2")});
    ASSERT_EQ(airlineLiveries.size(), 3u);
    const auto titles = [](std::string_view airline, std::string_view type) {
        std::vector<std::string> out;
        for (const LiveryEntry& e : airlineLiveries.find(airline)->second.find(type)->second)
            out.push_back(e.title);
        return out;
    };
    EXPECT_EQ(titles("AAL", "B738"), (std::vector<std::string>{"American 1", "American 2"}));
    EXPECT_EQ(titles("BAW", "B738"), (std::vector<std::string>{"British 1"}));
    EXPECT_EQ(titles("DLH", "A320"), (std::vector<std::string>{"Lufthansa 1"}));
    EXPECT_EQ(titles("DLH", "B738"), (std::vector<std::string>{"Lufthansa 2"}));
    EXPECT_EQ(titlesOf(airlineTypeTitles[0].at("BAW").at("B738")), (std::vector<std::string>{"British 1"}));
    EXPECT_EQ(typeTitles[0].at("B738").size(), 4u);
    EXPECT_TRUE(gf_airlineHasModel("DLH", "A320"));
    EXPECT_FALSE(gf_airlineHasModel("BAW", "A320"));
    EXPECT_FALSE(gf_airlineHasModel("XXX", "B738"));
}

TEST_F(LiveryTablesTest, EmptyInputSwitchesTheOptionalCategoriesOff) {
    LIGHT_AIRCRAFT.value = true;
    HIGH_PERF_AIRCRAFT.value = false;
    HELICOPTERS.value = true;
    buildTables({});
    EXPECT_TRUE(airlineLiveries.empty());
    EXPECT_TRUE(typeTitles[0].empty() && typeTitles[1].empty());
    for (const char* name : {"Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"})
        EXPECT_TRUE(logHas(fmt::format("Category {}: No livery found", name))) << name;
    EXPECT_TRUE(
        logHas("LIGHT_AIRCRAFT temporarily switched off because you do not have light aircraft installed"));
    EXPECT_TRUE(logHas("HELICOPTERS temporarily switched off because you do not have Helicopters installed"));
    // Already off: no switch-off line, but its box is disabled too.
    EXPECT_FALSE(logHas(
        "HIGH_PERF_AIRCRAFT temporarily switched off because you do not have High Perf aircraft installed"));
    EXPECT_TRUE(logHas("No generic liveries"));
    for (auto& [box, control] : controls) {
        EXPECT_FALSE(box->value.load()) << box->name;
        EXPECT_FALSE(control.enabled) << box->name;
    }
    EXPECT_FALSE(controls[&LIGHT_AIRCRAFT].checked);
    // The switch-off is kept in parameters.xml.
    const std::string saved = readFile(folder / "user" / "parameters.xml");
    EXPECT_NE(saved.find("name=\"LIGHT_AIRCRAFT\" value=\"false\""), std::string::npos);
    EXPECT_NE(saved.find("name=\"HELICOPTERS\" value=\"false\""), std::string::npos);
    EXPECT_EQ(gf_randomLightModel(), "");
    EXPECT_EQ(gf_randomRotorcraftModel(), "");
}

TEST_F(LiveryTablesTest, InstalledCategoriesFillTheModelListsAndEnableTheirBoxes) {
    for (auto& [box, control] : controls)
        control.enabled = false;
    LIGHT_AIRCRAFT.value = true;
    std::list<LiveryData> liveries;
    for (int i = 0; i < 21; ++i)
        liveries.push_back(livery("ZZZ", fmt::format("L{:02}", 20 - i), "light " + std::to_string(i)));
    liveries.push_back(livery("ZZZ", "EC35", "heli"));
    liveries.push_back(livery("NJE", "C25A", "netjets"));
    scannedLiveries = liveries;
    gf_sortLiveries(scannedLiveries);
    lf_buildAirlineTable();
    lf_buildTypeTables();
    for (const SizeCategory category :
         {SizeCategory::Light, SizeCategory::Buzjets, SizeCategory::Rotorcraft, SizeCategory::HighPerf})
        lf_buildCategory(category);
    lf_logGenericLiveries();

    std::vector<std::string> light;
    for (int i = 0; i <= 20; ++i)
        light.push_back(fmt::format("L{:02}", i));
    EXPECT_EQ(lightModels, light);
    EXPECT_EQ(buzjetModels, std::vector<std::string>{"C25A"});
    EXPECT_EQ(rotorcraftModels, std::vector<std::string>{"EC35"});
    EXPECT_EQ(gf_randomLightModel(), "L00"); // RANDOM off: the first
    EXPECT_TRUE(controls[&LIGHT_AIRCRAFT].enabled);
    EXPECT_TRUE(controls[&HELICOPTERS].enabled);
    EXPECT_FALSE(controls[&HIGH_PERF_AIRCRAFT].enabled);
    EXPECT_TRUE(LIGHT_AIRCRAFT.value.load());
    EXPECT_TRUE(logHas("Category Light: 21 pax liveries"));
    EXPECT_TRUE(logHas("Category Rotorcraft: 1 pax liverie"));

    // Twenty types to a line, then the rest.
    std::string first = "  L00";
    for (int i = 1; i < 20; ++i)
        first += fmt::format(", L{:02}", i);
    const std::vector<std::string> lines = logLines();
    const auto at = std::find(lines.begin(), lines.end(), first);
    ASSERT_NE(at, lines.end());
    ASSERT_NE(at + 1, lines.end());
    EXPECT_EQ(*(at + 1), "  L20");

    EXPECT_TRUE(logHas("22 models have a generic livery"));
    std::vector<std::string> cut = gf_liveryAirlines();
    std::sort(cut.begin(), cut.end());
    EXPECT_EQ(cut, (std::vector<std::string>{"NJE", "ZZZ"}));
}

TEST_F(LiveryTablesTest, AirlinesAreCutToThreeCharacters) {
    buildTables({livery("ABCDE", "A320", "t1"), livery("XY", "A320", "t2")});
    std::vector<std::string> airlines = gf_liveryAirlines();
    std::sort(airlines.begin(), airlines.end());
    EXPECT_EQ(airlines, (std::vector<std::string>{"ABC", "XY"}));
}

TEST_F(LiveryTablesTest, TitleLookUpGivesTheFirstStoredTitleInTableOrder) {
    buildTables(
        {livery("AAL", "A320", "shared"), livery("BAW", "A321", "shared"), livery("BAW", "A320", "own")});
    const char* first = nullptr;
    for (const auto& [airline, types] : airlineLiveries)
        for (const auto& [type, entries] : types)
            for (const LiveryEntry& entry : entries)
                if (entry.title == "shared" && first == nullptr) first = entry.title.data();
    const TitleView view = lf_findTitleView("shared");
    EXPECT_EQ(view, "shared");
    EXPECT_EQ(view.data(), first);
    EXPECT_EQ(lf_findTitleView("own"), "own");
    EXPECT_TRUE(lf_findTitleView("missing").empty());
    EXPECT_TRUE(lf_findTitleView("").empty());
}

TEST_F(LiveryTablesTest, ClearEmptiesEveryTableAndReserveRunsOnce) {
    buildTables({livery("ZZZ", "C172", "c"), livery("BAW", "A320", "b", "G-EUUA")});
    ASSERT_FALSE(regcodeTitles.empty());
    gf_clearLiveryTables();
    EXPECT_TRUE(airlineLiveries.empty() && airlineTypeTitles[0].empty() && typeTitles[0].empty());
    EXPECT_TRUE(lightModels.empty() && regcodeTitles.empty() && installedPaxTypes.empty());
    EXPECT_TRUE(lf_findTitleView("b").empty());

    gf_reserveLiveryTables();
    EXPECT_GE(specialTitles.capacity(), 4096u);
    EXPECT_GE(lightModels.capacity(), 64u);
    lightModels.shrink_to_fit();
    gf_reserveLiveryTables();
    EXPECT_EQ(lightModels.capacity(), 0u);
}

} // namespace
} // namespace livery_testing
