// The processing of the scanned liveries at start-up, the rebuild request, the reference data's hooks
// and the matching summary.

#include "livery_test_support.h"

#include <gtest/gtest.h>

namespace livery_testing {
namespace {

class LiveryCatalogueTest : public LiveryTest {
protected:
    void SetUp() override {
        LiveryTest::SetUp();
        dbase.large = {"A320", "A321"};
        dbase.similarLists = {{"A320", "A321"}};
        gf_liveryHooks().showLiveryCount = [this](std::uint64_t count) { shownCounts.push_back(count); };
    }
    std::vector<std::uint64_t> shownCounts;
};

TEST_F(LiveryCatalogueTest, ProcessingBuildsTheTablesOncePerProcess) {
    writeScannedFile({livery("BAW", "A320", "BA 1", "G-EUUA"), livery("DLH", "A321", "LH 1"),
                      livery("ZZZ", "A320", "house", "", true)});
    gf_processScannedLiveries();
    EXPECT_TRUE(liveriesProcessed.load());
    EXPECT_TRUE(liveryTablesReady.load());
    EXPECT_TRUE(scannedLiveries.empty());
    EXPECT_EQ(shownCounts, (std::vector<std::uint64_t>{3, 3}));
    EXPECT_TRUE(gf_airlineHasModel("DLH", "A321"));
    EXPECT_EQ(regcodeTitles.size(), 1u);
    EXPECT_TRUE(logHas("1 registration codes"));
    EXPECT_TRUE(logHas("3 airlines, 2 pax aircraft models and 1 cargo aircraft models"));
    EXPECT_TRUE(logHas("1 model have a generic livery"));
    // The reference data's similar types see the installed liveries through the hooks.
    EXPECT_EQ(gf_airlineSimilarTypesOf("BAW", "A321"), std::vector<std::string>{"A320"});

    // A restart of the run in the same process keeps the tables.
    writeScannedFile({livery("KLM", "B738", "KLM 1")});
    scannedLiveries = {livery("KLM", "B738", "KLM 1")};
    gf_processScannedLiveries();
    EXPECT_TRUE(logHas("Processing scanned liveries skipped; already done in previous start-up"));
    EXPECT_TRUE(scannedLiveries.empty());
    EXPECT_TRUE(gf_airlineHasModel("DLH", "A321"));
    EXPECT_FALSE(gf_airlineHasModel("KLM", "B738"));
}

TEST_F(LiveryCatalogueTest, RebuildRequestIsCarriedOutByTheNextStartUp) {
    writeScannedFile({livery("BAW", "A320", "BA 1")});
    gf_processScannedLiveries();
    const TitleView held = lf_findTitleView("BA 1"); // an aircraft of the running run holds this view

    // The window thread only asks; the tables stay as they are until the worker's next start-up.
    gf_requestLiveryTablesRebuild();
    EXPECT_FALSE(liveriesProcessed.load());
    EXPECT_FALSE(liveryTablesReady.load());
    EXPECT_EQ(lf_findTitleView("BA 1").data(), held.data());
    EXPECT_EQ(held, "BA 1");

    writeScannedFile({livery("KLM", "B738", "KLM 1")});
    gf_processScannedLiveries();
    EXPECT_TRUE(liveriesProcessed.load());
    EXPECT_FALSE(gf_airlineHasModel("BAW", "A320"));
    EXPECT_TRUE(gf_airlineHasModel("KLM", "B738"));
    EXPECT_TRUE(lf_findTitleView("BA 1").empty());
}

TEST_F(LiveryCatalogueTest, MissingFileEndsTheStartUpAndIsTriedAgainNextTime) {
    try {
        gf_processScannedLiveries();
        FAIL() << "no exception";
    } catch (const orv::UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()),
                  fmt::format("51: File {} not found", gf_liveriesScannedPath().string()));
    }
    EXPECT_FALSE(liveriesProcessed.load());
    writeScannedFile({livery("BAW", "A320", "BA 1")});
    gf_processScannedLiveries();
    EXPECT_TRUE(liveriesProcessed.load());
}

TEST_F(LiveryCatalogueTest, HooksAnswerFromTheTables) {
    writeScannedFile({livery("ABCD", "C172", "c1"), livery("ZZZ", "R44", "r1")});
    dbase.rotorcraft = {"R44"};
    gf_processScannedLiveries();
    const LiveryCatalogueHooks& hooks = gf_liveryCatalogueHooks();
    std::vector<std::string> airlines = hooks.liveryAirlines();
    std::sort(airlines.begin(), airlines.end());
    EXPECT_EQ(airlines, (std::vector<std::string>{"ABC", "ZZZ"}));
    EXPECT_TRUE(hooks.airlineHasModel("ABCD", "C172"));
    EXPECT_EQ(hooks.randomLightModel(), "C172");
    EXPECT_EQ(hooks.randomBuzjetModel(), "");
    EXPECT_EQ(hooks.randomRotorcraftModel(), "R44");
    EXPECT_TRUE(hooks.isInstalledType("R44"));
}

TEST_F(LiveryCatalogueTest, SummaryListsEveryStepAndTheRefusedModels) {
    gf_liveryNotCreated("CS1", "BAW", "A320", "t1");
    const std::size_t before = logLines().size();
    gf_logLiveryMatchSummary(); // no livery given yet: nothing, even with refusals
    EXPECT_EQ(logLines().size(), before);

    matchStepCounts = {3, 0, 7, 0, 1, 0, 2};
    gf_logLiveryMatchSummary();
    const std::vector<std::string> lines = logLines();
    const std::vector<std::string> tail(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end());
    const std::string stars31(31, '*');
    const std::vector<std::string> expected{
        "",
        stars31 + " live traffic livery matching summary " + stars31,
        "Matches at step: ",
        "  0: 3",
        "  1: 0",
        "  2: 7",
        "  3: 0",
        "  4: 1",
        "  5: 0",
        "  6: 2",
        "",
        "Could not be created by MSFS:",
        "  A320 BAW",
        std::string(100, '*'),
        "",
    };
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(expected[1].size(), 100u);
    EXPECT_EQ(matchStepCounts[2], 7u); // not reset
}

} // namespace
} // namespace livery_testing
