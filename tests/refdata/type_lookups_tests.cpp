#include "refdata/airl_type_key.h"
#include "refdata_fixture.h"

#include "refdata/type_lookups.h"

#include <gmock/gmock.h>

#include <set>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

namespace {

class TypeLookupsTest : public RefdataTest {
protected:
    void SetUp() override {
        RefdataTest::SetUp();
        dbase.aircrafts = {"A319", "A320", "A321", "B738", "B772", "B77W",
                           "C172", "C56X", "EC35", "F16",  "MIX"};
        dbase.large = {"A319", "A320", "A321", "B738", "MIX"};
        dbase.heavy = {"B772", "B77W", "MIX"};
        dbase.buzjet = {"C56X"};
        dbase.rotorcraft = {"EC35"};
        dbase.high_performance = {"F16"};
        dbase.ICAO_airlines = {"SWR"};
    }

    // Installed types and the airline -> types of the livery catalogue.
    void installLiveries(std::set<std::string> installed,
                         std::map<std::string, std::set<std::string>> airlines) {
        installedTypes = std::move(installed);
        airlineTypes = std::move(airlines);
        LiveryCatalogueHooks& hooks = gf_liveryCatalogueHooks();
        hooks.isInstalledType = [this](std::string_view type) {
            return installedTypes.contains(std::string(type));
        };
        hooks.liveryAirlines = [this] {
            std::vector<std::string> codes;
            for (const auto& entry : airlineTypes)
                codes.push_back(entry.first);
            return codes;
        };
        hooks.airlineHasModel = [this](std::string_view airline, std::string_view type) {
            const auto found = airlineTypes.find(std::string(airline));
            return found != airlineTypes.end() && found->second.contains(std::string(type));
        };
    }

    std::set<std::string> installedTypes;
    std::map<std::string, std::set<std::string>> airlineTypes;
};

TEST_F(TypeLookupsTest, SizeCategoryAndKnownCodes) {
    const std::pair<const char*, SizeCategory> cases[] = {
        {"A320", SizeCategory::Large},   {"MIX", SizeCategory::Large},       {"B77W", SizeCategory::Heavy},
        {"C56X", SizeCategory::Buzjets}, {"EC35", SizeCategory::Rotorcraft}, {"F16", SizeCategory::HighPerf},
        {"C172", SizeCategory::Light},   {"ZZZZ", SizeCategory::Light},      {"", SizeCategory::Light},
    };
    for (const auto& [type, category] : cases)
        EXPECT_EQ(gf_sizeCategoryOf(type), category) << type;
    EXPECT_TRUE(gf_isKnownAcType("A320"));
    EXPECT_FALSE(gf_isKnownAcType("a320"));
    EXPECT_FALSE(gf_isKnownAcType(""));
    EXPECT_TRUE(gf_isIcaoAirline("SWR"));
    EXPECT_FALSE(gf_isIcaoAirline(""));
}

TEST_F(TypeLookupsTest, SimilarTypeMapsFromInstalledLiveries) {
    dbase.similarLists = {{"A319", "A320", "A321"}, {"A320", "B738"}, {"B772", "B77W"}};
    installLiveries({"A320", "A321", "B738"}, {{"SWR", {"A320"}}, {"EZY", {"B772"}}});
    gf_buildSimilarTypeMaps();

    EXPECT_THAT(gf_similarTypesOf("A319"), UnorderedElementsAre("A320", "A321"));
    // A320 is in two lists: the one whose text sorts first ("A320,A321" before "A320,B738") wins.
    EXPECT_THAT(gf_similarTypesOf("A320"), ElementsAre("A321"));
    EXPECT_THAT(gf_similarTypesOf("B738"), ElementsAre("A320"));
    // B77W is not installed, so B772 gets no entry; as a Heavy type it gets no fallback either.
    EXPECT_TRUE(gf_similarTypesOf("B772").empty());
    EXPECT_THAT(logText(), HasSubstr("4 similar model definitions\n"));

    EXPECT_THAT(gf_airlineSimilarTypesOf("SWR", "A319"), ElementsAre("A320"));
    EXPECT_THAT(gf_airlineSimilarTypesOf("SWR", "B738"), ElementsAre("A320"));
    EXPECT_TRUE(gf_airlineSimilarTypesOf("SWR", "A320").empty()); // the airline has that type itself
    EXPECT_TRUE(gf_airlineSimilarTypesOf("EZY", "B772").empty());
    EXPECT_TRUE(gf_airlineSimilarTypesOf("XXX", "A319").empty());
}

TEST_F(TypeLookupsTest, RebuildingTheMapsForgetsModelsNoLongerInstalled) {
    dbase.similarLists = {{"A319", "A320", "A321"}};
    installLiveries({"A320", "A321"}, {{"SWR", {"A320"}}});
    gf_buildSimilarTypeMaps();
    installLiveries({"A321"}, {{"EZY", {"A321"}}});
    gf_buildSimilarTypeMaps();
    EXPECT_THAT(gf_similarTypesOf("A319"), ElementsAre("A321"));
    EXPECT_TRUE(gf_similarTypesOf("A321").empty());
    EXPECT_TRUE(gf_airlineSimilarTypesOf("SWR", "A319").empty());
    EXPECT_THAT(gf_airlineSimilarTypesOf("EZY", "A319"), ElementsAre("A321"));
}

TEST_F(TypeLookupsTest, SimilarTypeFallsBackToARandomModelOfTheCategory) {
    installLiveries({}, {});
    LiveryCatalogueHooks& hooks = gf_liveryCatalogueHooks();
    hooks.randomLightModel = [] { return std::string("C172"); };
    hooks.randomBuzjetModel = [] { return std::string(); };
    hooks.randomRotorcraftModel = [] { return std::string("EC35"); };
    gf_buildSimilarTypeMaps();

    EXPECT_THAT(gf_similarTypesOf("ZZZZ"), ElementsAre("C172"));
    EXPECT_THAT(gf_similarTypesOf("EC35"), ElementsAre("EC35"));
    EXPECT_TRUE(gf_similarTypesOf("C56X").empty());
    EXPECT_TRUE(gf_similarTypesOf("F16").empty());
    EXPECT_TRUE(gf_similarTypesOf("A320").empty());
}

TEST_F(TypeLookupsTest, WingspanOrCategoryAverage) {
    dbase.wingspans = {{"A320", 0.01}};
    dbase.categoryHalfSpans[static_cast<std::size_t>(SizeCategory::Heavy)] = 0.02;
    EXPECT_DOUBLE_EQ(gf_wingspanOf("A320"), 0.01);
    EXPECT_DOUBLE_EQ(gf_wingspanOf("B77W"), 0.02);
    // A category without any entry still has a usable size.
    gf_resetDbase();
    for (std::size_t i = 0; i < sizeCategoryCount; ++i)
        EXPECT_GT(dbase.categoryHalfSpans[i], 0.0);
}

TEST_F(TypeLookupsTest, RegistrationSpellingsAndRecords) {
    const std::pair<const char*, std::vector<std::string>> spellings[] = {
        {"DAIZA", {"DA-IZA", "D-AIZA", "DAIZA"}},
        {"HBJNAB", {"HB-JNAB", "H-BJNAB", "HBJNAB"}},
        {"N12345", {"N12345"}},
        {"HB-JNA", {"HB-JNA"}},
        {"OELB", {"OELB"}},
    };
    for (const auto& [reg, expected] : spellings)
        EXPECT_EQ(gf_regSpellings(reg), expected) << reg;

    dbase.registrations = {{"D-AIZA", {"DLH", "A320", "Lufthansa", false}},
                           {"DA-IZA", {"XXX", "A320", "Other", false}},
                           {"HB-JNA", {"SWR", "B77W", "Swiss", false}}};
    EXPECT_EQ(gf_findRegRecord("DAIZA")->airl, "XXX");
    dbase.registrations.erase("DA-IZA");
    EXPECT_EQ(gf_findRegRecord("DAIZA")->airl, "DLH");
    EXPECT_EQ(gf_airlineOfReg("HBJNA"), "SWR");
    EXPECT_EQ(gf_operatorOfReg("HB-JNA"), "Swiss");
    EXPECT_EQ(gf_airlineOfReg(""), "");
    EXPECT_EQ(gf_operatorOfReg("ZZZZZZ"), "");
    EXPECT_FALSE(gf_findRegRecord("").has_value());
}

TEST_F(TypeLookupsTest, ShortRegistrationKeys) {
    // An empty key would occur in every registration; it is skipped.
    dbase.registrations = {{"", {}}, {"4XABC", {}}, {"HB-JNA", {}}};
    EXPECT_EQ(gf_findShortRegKeyIn("4XABCD"), "4XABC");
    EXPECT_FALSE(gf_findShortRegKeyIn("HB-JNA").has_value()); // six characters is not short
    EXPECT_FALSE(gf_findShortRegKeyIn("4XAB").has_value());
    EXPECT_FALSE(gf_findShortRegKeyIn("ZZZZZZ").has_value());
}

TEST_F(TypeLookupsTest, PublisherOfPath) {
    // An empty spelling would match every path; it is skipped.
    dbase.publisherLists = {{"Aerosoft", ""}, {"Orbx", "orbxsystems"}, {"FlyTampa"}};
    EXPECT_EQ(gf_publisherOfPath("Community/orbx-airport-lszh"), "Orbx");
    EXPECT_EQ(gf_publisherOfPath("Community/FLYTAMPA-lowi"), "FlyTampa");
    EXPECT_EQ(gf_publisherOfPath("Community/aerosoft-loww"), "Aerosoft");
    EXPECT_FALSE(gf_publisherOfPath("Community/unknown-lsgg").has_value());

    EXPECT_TRUE(gf_pathContainsNoCase("any", ""));
    EXPECT_TRUE(gf_pathContainsNoCase("Community/Orbx", "ORBX"));
    EXPECT_FALSE(gf_pathContainsNoCase("Community/Orb", "ORBX"));
}

TEST_F(TypeLookupsTest, NumberAfterPrefix) {
    struct Case {
        const char* entry;
        bool match;
        std::uint32_t number;
        bool logged;
    };
    const Case cases[] = {
        {"EDDF12", true, 12, false},         {"EDDF", true, 99, true},
        {"EDDFx", true, 99, true},           {"EDDM12", false, 99, false},
        {"EDDF99999999999", true, 99, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        std::uint32_t number = 99;
        const std::size_t logBefore = logText().size();
        EXPECT_EQ(gf_numberAfterPrefix("tag", "EDDF", number, c.entry), c.match);
        EXPECT_EQ(number, c.number);
        const std::string logged = logText().substr(logBefore);
        EXPECT_EQ(logged, c.logged ? "==> tag EDDF " + std::string(c.entry) + " invalid number\n" : "");
    }
}

} // namespace

TEST(AirlTypeKey, PadsAirlineToThreeAndTypeToFourColumns) {
    struct Rec {
        std::string airl, type;
    };
    EXPECT_EQ(gf_airlTypeKey("DLH", "A320"), "DLH A320");
    EXPECT_EQ(gf_airlTypeKey("EZ", "B38"), "EZ  B38 ");
    EXPECT_EQ(gf_airlTypeKey("", ""), "        ");
    EXPECT_EQ(gf_airlTypeKey(Rec{"SWR", "BCS3"}), "SWR BCS3");
}
