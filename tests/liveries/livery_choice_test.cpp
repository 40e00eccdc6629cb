// The live livery choice over its steps and depths, and the refused liveries.

#include "livery_test_support.h"

#include <gtest/gtest.h>

namespace livery_testing {
namespace {

class LiveryChoiceTest : public LiveryTest {
protected:
    void SetUp() override {
        LiveryTest::SetUp();
        dbase.large = {"A319", "A320", "A321", "B738"};
        dbase.heavy = {"B744", "B77W"};
        dbase.buzjet = {"C25A", "C56X"};
        dbase.similarLists = {{"A319", "A320", "A321"}, {"C172", "C182"}, {"B738", "B744"}};
        dbase.registrations["G-EUPA"] = RegRecord{"BAW", "A319", "British Airways", false};
        dbase.registrations["N12345"] = RegRecord{"", "C182", "", false};
        buildTables({
            livery("BAW", "A320", "BA A320 a", "G-EUUA"),
            livery("BAW", "A320", "BA A320 b"),
            livery("BAW", "A321", "BA A321"),
            livery("BAW", "B744", "BA 747"),
            livery("DLH", "A320", "LH 1 retro"),
            livery("DLH", "A320", "LH 2"),
            livery("DHL", "B738", "DHL 737 cargo", "", true),
            livery("RYR", "B738", "Ryanair 737"),
            livery("ZZZ", "A320", "Airbus house"),
            livery("ZZZ", "B77W", "Boeing house 777"),
            livery("ZZZ", "C172", "Cessna white"),
            livery("NJE", "C25A", "NetJets CJ4"),
            livery("ABC", "C182", "Club Skylane"),
        });
        lf_mergeRegcodeList({RegcodeLivery{"LH 1 retro", {"D-AIZA"}, true},
                             RegcodeLivery{"BA A320 b", {"G-EUUB", "G-EUUC"}, false}});
        gf_reserveLiveryTables();
    }

    LiveryAircraft aircraft(std::string_view airl, std::string_view type, std::string_view reg = {},
                            bool cargo = false) {
        return LiveryAircraft{airl, type, reg, gf_sizeCategoryOf(type), cargo, "TEST"};
    }
};

TEST_F(LiveryChoiceTest, StepsAndDepths) {
    struct Case {
        const char* name;
        int depth;
        std::string_view airl, type, reg;
        bool cargo;
        std::string_view title; // "" = no livery
        int step;               // -1 = none
    };
    const std::vector<Case> cases{
        {"unique registration", 1, "XXX", "B744", "D-AIZA", false, "LH 1 retro", 0},
        {"registration of another airline and type", 1, "RYR", "B738", "G-EUUC", false, "BA A320 b", 1},
        {"in-line registration", 4, "BAW", "A320", "G-EUUA", false, "BA A320 a", 1},
        {"depth 1 without registration", 1, "BAW", "A320", "G-XXXX", false, "", -1},
        {"airline and type, the special title passed over", 2, "DLH", "A320", "", false, "LH 2", 2},
        {"cargo aircraft with passenger liveries only", 2, "RYR", "B738", "", true, "Ryanair 737", 2},
        {"passenger aircraft never gets a cargo livery", 4, "DHL", "B738", "", false, "", -1},
        {"cargo livery first for a cargo aircraft", 2, "DHL", "B738", "", true, "DHL 737 cargo", 2},
        {"airline of the registration", 2, "XYZ", "A319", "G-EUPA", false, "", -1},
        {"airline of the registration, own type", 2, "XYZ", "A320", "G-EUPA", false, "BA A320 a", 2},
        {"private flight gets the generic livery", 2, "PVT", "A320", "", false, "Airbus house", 4},
        {"private flight without generic livery", 4, "PVT", "B738", "", false, "", -1},
        {"similar type needs depth 3", 2, "BAW", "A319", "", false, "", -1},
        {"similar type of the same class", 3, "BAW", "A319", "", false, "BA A320 a", 3},
        {"similar type for the registration's airline", 3, "XYZ", "A319", "G-EUPA", false, "BA A320 a", 3},
        {"similar type of another size class", 4, "BAW", "B738", "", false, "", -1},
        {"heavy without airline livery at depth 3", 3, "UAE", "B77W", "", false, "", -1},
        {"heavy without airline livery at depth 4", 4, "UAE", "B77W", "", false, "Boeing house 777", 4},
        {"large aircraft never takes another airline's livery", 4, "EZY", "B738", "", false, "", -1},
        {"light aircraft generic at depth 3", 3, "XYZ", "C172", "", false, "Cessna white", 4},
        {"business jet of any airline", 3, "XJT", "C25A", "", false, "NetJets CJ4", 5},
        {"light aircraft without airline", 3, "", "C182", "N99", false, "Club Skylane", 5},
        {"light aircraft: an installed model of its class", 3, "XYZ", "C177", "", false, "Cessna white", 6},
    };
    std::array<std::uint32_t, 7> expectedCounts{};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MATCHING_DEPTH.value = c.depth;
        LiveryAircraft ac = aircraft(c.airl, c.type, c.reg, c.cargo);
        gf_matchLiveAcLivery(ac);
        EXPECT_EQ(ac.liveryTitle, c.title);
        if (c.step >= 0) {
            ++expectedCounts[static_cast<std::size_t>(c.step)];
            EXPECT_TRUE(logHas(fmt::format("          TEST ={}= {}", c.step, c.title)));
        }
        EXPECT_EQ(matchStepCounts, expectedCounts);
    }
}

TEST_F(LiveryChoiceTest, SimilarTypesAndAnyAirlineLiveriesForSmallAircraft) {
    MATCHING_DEPTH.value = 3;
    // C182 has no generic livery; the similar C172 has only a generic one, so any airline's C182
    // livery (step 5) comes first.
    LiveryAircraft skylane = aircraft("XYZ", "C182");
    gf_matchLiveAcLivery(skylane);
    EXPECT_EQ(skylane.liveryTitle, "Club Skylane");
    EXPECT_EQ(matchStepCounts[5], 1u);

    // A business jet type without liveries takes one of an installed model of its class (step 6).
    LiveryAircraft citation = aircraft("XYZ", "C56X");
    gf_matchLiveAcLivery(citation);
    EXPECT_EQ(citation.liveryTitle, "NetJets CJ4");
    EXPECT_EQ(matchStepCounts[6], 1u);
}

TEST_F(LiveryChoiceTest, ReverseFlagFollowsFsltlTitles) {
    gf_resetLiveriesForTests();
    buildTables({livery("BAW", "A320", "FSLTL_A320_BAW"), livery("DLH", "A320", "LH A320")});
    MATCHING_DEPTH.value = 4;
    LiveryAircraft ba = aircraft("BAW", "A320");
    gf_matchLiveAcLivery(ba);
    EXPECT_TRUE(ba.reverseFlag);
    LiveryAircraft lh = aircraft("DLH", "A320");
    lh.reverseFlag = true;
    gf_matchLiveAcLivery(lh);
    EXPECT_FALSE(lh.reverseFlag);
}

TEST_F(LiveryChoiceTest, EmptyTitleIsNoLivery) {
    // LiveriesScanned.xml accepts an empty title; the simulator cannot create an aircraft with it.
    gf_resetLiveriesForTests();
    buildTables({livery("BAW", "A320", ""), livery("BAW", "A320", "BA A320"), livery("DLH", "A320", ""),
                 livery("ZZZ", "A320", "Airbus house")});
    MATCHING_DEPTH.value = 4;
    LiveryAircraft ba = aircraft("BAW", "A320");
    gf_matchLiveAcLivery(ba);
    EXPECT_EQ(ba.liveryTitle, "BA A320");
    LiveryAircraft lh = aircraft("DLH", "A320");
    gf_matchLiveAcLivery(lh);
    EXPECT_EQ(lh.liveryTitle, "Airbus house");
    EXPECT_EQ(matchStepCounts, (std::array<std::uint32_t, 7>{0, 0, 1, 0, 1, 0, 0}));
    LiveryAircraft none = aircraft("DLH", "A320");
    EXPECT_FALSE(lf_pickTitle(none, TitleViews{TitleView()}));
}

TEST_F(LiveryChoiceTest, SpecialTitlesAreTakenOnlyWhenTheListHoldsNothingElse) {
    LiveryAircraft ac = aircraft("DLH", "A320");
    const TitleViews onlySpecial{lf_findTitleView("LH 1 retro")};
    EXPECT_TRUE(lf_pickTitle(ac, onlySpecial));
    EXPECT_EQ(ac.liveryTitle, "LH 1 retro");

    // With RANDOM on the draws may land on the special title, but the pick never keeps it.
    gf_coreHooks().randomEnabled = [] { return true; };
    const TitleViews mixed{lf_findTitleView("LH 1 retro"), lf_findTitleView("LH 2")};
    for (int i = 0; i < 200; ++i) {
        LiveryAircraft other = aircraft("DLH", "A320");
        ASSERT_TRUE(lf_pickTitle(other, mixed));
        ASSERT_EQ(other.liveryTitle, "LH 2");
    }
}

TEST_F(LiveryChoiceTest, RefusedTitleIsNeverChosenAgain) {
    MATCHING_DEPTH.value = 4;
    // With RANDOM off the first title of the list is the pick; once refused, the next one is.
    LiveryAircraft first = aircraft("BAW", "A320");
    gf_matchLiveAcLivery(first);
    ASSERT_EQ(first.liveryTitle, "BA A320 a");
    gf_liveryNotCreated("BAW1", "BAW", "A320", first.liveryTitle);

    LiveryAircraft second = aircraft("BAW", "A320");
    gf_matchLiveAcLivery(second);
    EXPECT_EQ(second.liveryTitle, "BA A320 b");

    // A refused registration livery falls through to the next rule.
    LiveryAircraft byReg = aircraft("BAW", "A320", "G-EUUA");
    gf_matchLiveAcLivery(byReg);
    EXPECT_EQ(byReg.liveryTitle, "BA A320 b");
    EXPECT_EQ(matchStepCounts[1], 0u);

    // With every title of the airline refused, the choice goes on to the generic livery.
    gf_liveryNotCreated("BAW2", "BAW", "A320", "BA A320 b");
    LiveryAircraft third = aircraft("BAW", "A320");
    gf_matchLiveAcLivery(third);
    EXPECT_EQ(third.liveryTitle, "Airbus house");
    EXPECT_EQ(matchStepCounts[4], 1u);

    // And nothing is left at all for a type whose every livery was refused.
    gf_liveryNotCreated("RYR1", "RYR", "B738", "Ryanair 737");
    LiveryAircraft ryanair = aircraft("RYR", "B738");
    gf_matchLiveAcLivery(ryanair);
    EXPECT_TRUE(ryanair.liveryTitle.empty());
}

TEST_F(LiveryChoiceTest, RandomPicksNeverLandOnARefusedTitle) {
    gf_coreHooks().randomEnabled = [] { return true; };
    gf_liveryNotCreated("DLH1", "DLH", "A320", "LH 2");
    const TitleViews withOrdinary{lf_findTitleView("LH 2"), lf_findTitleView("LH 1 retro"),
                                  lf_findTitleView("BA A320 a")};
    const TitleViews onlySpecialLeft{lf_findTitleView("LH 2"), lf_findTitleView("LH 1 retro")};
    for (int i = 0; i < 200; ++i) {
        LiveryAircraft ac = aircraft("DLH", "A320");
        ASSERT_TRUE(lf_pickTitle(ac, withOrdinary));
        ASSERT_EQ(ac.liveryTitle, "BA A320 a");
        LiveryAircraft other = aircraft("DLH", "A320");
        ASSERT_TRUE(lf_pickTitle(other, onlySpecialLeft));
        ASSERT_EQ(other.liveryTitle, "LH 1 retro");
    }
    LiveryAircraft none = aircraft("DLH", "A320");
    EXPECT_FALSE(lf_pickTitle(none, TitleViews{lf_findTitleView("LH 2")}));
    EXPECT_TRUE(none.liveryTitle.empty());
}

TEST_F(LiveryChoiceTest, RefusedTitlesOutliveTheTables) {
    {
        std::string title = "BA A320 a";
        gf_liveryNotCreated("BAW1", "BAW", "A320", lf_findTitleView(title));
    }
    gf_clearLiveryTables();
    // New tables: new title storage, different texts.
    buildTables({livery("XXX", "A320", "some other title long enough to be on the heap"),
                 livery("BAW", "A320", "BA A320 a")});
    EXPECT_TRUE(gf_isRefusedTitle("BA A320 a"));
    EXPECT_FALSE(gf_isRefusedTitle("some other title long enough to be on the heap"));
    EXPECT_EQ(*refusedTitles.begin(), "BA A320 a");
    MATCHING_DEPTH.value = 4;
    LiveryAircraft ac = aircraft("BAW", "A320");
    gf_matchLiveAcLivery(ac);
    EXPECT_TRUE(ac.liveryTitle.empty());
}

TEST_F(LiveryChoiceTest, TwentiethDistinctRefusalEndsTheRun) {
    std::vector<std::string> shown;
    gf_coreHooks().showMessage = [&](std::string_view text, bool log) {
        EXPECT_TRUE(log);
        shown.emplace_back(text);
    };
    gf_liveryNotCreated("CS0", "AAL", "A321", "title 0");
    gf_liveryNotCreated("CS0", "AAL", "A321", "title 0"); // the same title counts once
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "CS0 'title 0' could not be created by your Sim!");

    runControl.stop = true; // stopping: no message, still recorded
    gf_liveryNotCreated("CS1", "AAL", "A321", "title 1");
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_TRUE(gf_isRefusedTitle("title 1"));
    runControl.reset();

    for (int i = 2; i < 19; ++i)
        gf_liveryNotCreated("CS", "BAW", "A320", fmt::format("title {}", i));
    EXPECT_EQ(refusedTitles.size(), 19u);
    try {
        gf_liveryNotCreated("CS19", "DLH", "A320", "title 19");
        FAIL() << "no exception at the 20th title";
    } catch (const orv::UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()),
                  "81: There are too many liveries that could not be created by MSFS!, see Log.txt");
    }
    EXPECT_EQ(shown.back(), "CS19 'title 19' could not be created by your Sim!");
    const std::string log = logText();
    EXPECT_NE(log.find("\n===> Error 81, There are too many liveries that could not be created by MSFS!\n\n"),
              std::string::npos);
    EXPECT_EQ(refusedModels, (TextSet{"A321 AAL", "A320 BAW", "A320 DLH"}));
}

TEST_F(LiveryChoiceTest, StaticChoice) {
    struct Case {
        const char* name;
        int depth;
        std::string_view airl, type, reg;
        bool ownCargo, standCargo;
        std::string_view title; // "" = no livery
        std::string_view step;  // the log line's step
    };
    const std::vector<Case> cases{
        {"a cargo stand makes the aircraft cargo", 2, "DHL", "B738", "", false, true, "DHL 737 cargo", "2"},
        {"a passenger stand makes it a passenger aircraft", 4, "DHL", "B738", "", true, false, "", ""},
        {"registration livery at depth 1", 1, "XXX", "B744", "D-AIZA", false, false, "LH 1 retro", "0"},
        {"depth 1 without registration livery", 1, "BAW", "A320", "G-XXXX", false, false, "", ""},
        {"similar type of another size class", 4, "BAW", "B738", "", false, false, "BA 747", "3"},
        {"similar type needs depth 3", 2, "BAW", "A319", "", false, false, "", ""},
        {"private flight gets the generic livery", 2, "PVT", "A320", "", false, false, "Airbus house", "4"},
        {"light aircraft without airline", 3, "", "C182", "N99", false, false, "Club Skylane", "5"},
        {"generic livery at depth 4", 4, "UAE", "B77W", "", false, false, "Boeing house 777", "4"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        MATCHING_DEPTH.value = c.depth;
        LiveryAircraft ac = aircraft(c.airl, c.type, c.reg, c.ownCargo);
        ac.logTextWithReg = "TEST REG";
        const std::string stand = fmt::format("S{}", i);
        EXPECT_EQ(gf_matchStaticAcLivery(ac, stand, c.standCargo), !c.title.empty());
        EXPECT_EQ(ac.liveryTitle, c.title);
        EXPECT_EQ(ac.cargo, c.standCargo);
        if (c.title.empty())
            EXPECT_TRUE(logHas(fmt::format("{:8}: TEST REG no livery match ...", stand)));
        else
            EXPECT_TRUE(logHas(fmt::format("          TEST ={}= {}", c.step, c.title)));
    }
    // Static choices are not counted.
    EXPECT_EQ(matchStepCounts, (std::array<std::uint32_t, 7>{}));

    // The live choice never takes a similar type of another size class.
    LiveryAircraft live = aircraft("BAW", "B738");
    gf_matchLiveAcLivery(live);
    EXPECT_TRUE(live.liveryTitle.empty());
}

TEST_F(LiveryChoiceTest, StaticChoiceSuppliedAndRefusedTitles) {
    MATCHING_DEPTH.value = 3;
    gf_liveryNotCreated("BAW1", "BAW", "B744", "BA 747");
    // A supplied title is used as it stands, even a refused one.
    LiveryAircraft supplied = aircraft("BAW", "B744");
    supplied.liveryTitle = lf_findTitleView("BA 747");
    EXPECT_TRUE(gf_matchStaticAcLivery(supplied, "A1", true));
    EXPECT_EQ(supplied.liveryTitle, "BA 747");
    EXPECT_TRUE(logHas("          TEST =s= BA 747"));

    // A refused similar type moves on to the next one; a refused registration livery to the next rule.
    gf_liveryNotCreated("BAW2", "BAW", "A320", "BA A320 a");
    gf_liveryNotCreated("BAW3", "BAW", "A320", "BA A320 b");
    LiveryAircraft similar = aircraft("BAW", "A319");
    EXPECT_TRUE(gf_matchStaticAcLivery(similar, "A2", false));
    EXPECT_EQ(similar.liveryTitle, "BA A321");
    gf_liveryNotCreated("DLH1", "DLH", "A320", "LH 1 retro");
    LiveryAircraft byReg = aircraft("DLH", "A320", "D-AIZA");
    EXPECT_TRUE(gf_matchStaticAcLivery(byReg, "A3", false));
    EXPECT_EQ(byReg.liveryTitle, "LH 2");
    EXPECT_TRUE(logHas("          TEST =2= LH 2"));
}

} // namespace
} // namespace livery_testing
