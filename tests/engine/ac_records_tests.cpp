// The aircraft records: type data per category, callsign rules, names and log texts.

#include "core/units.h"
#include "engine_fixture.h"

#include <gmock/gmock.h>

#include <cmath>
#include <numbers>
#include <set>
#include <stdexcept>

namespace enginetest {
namespace {

constexpr double rad = pi / 180.0;

using AcRecordsTest = EngineTest;

TEST_F(AcRecordsTest, TypeDataFollowsTheCategoryOfTheType) {
    struct Case {
        const char* type;
        SizeCategory cat;
        std::uint32_t slotsA, onGround, rotation, slotsD;
        double rateADeg, factorA, factorB;
    } const cases[] = {
        {"C172", SizeCategory::Light, 250, 250, 100, 200, 0.15, 0.5, 5.0},
        {"C56X", SizeCategory::Buzjets, 300, 300, 200, 250, 0.1, 0.75, 4.5},
        {"A320", SizeCategory::Large, 400, 350, 200, 300, 0.07, 0.6, 4.0},
        {"B77W", SizeCategory::Heavy, 450, 450, 250, 400, 0.05, 0.5, 3.0},
        {"F16", SizeCategory::HighPerf, 150, 150, 100, 200, 0.1, 1.0, 4.5},
        {"EC35", SizeCategory::Rotorcraft, 100, 100, 100, 100, 0.2, 0.75, 5.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        FlightIdent ident;
        ident.type = c.type;
        ident.cs = "ABC123";
        const AcData data(ident);
        EXPECT_EQ(data.cs, "ABC123");
        EXPECT_EQ(data.sizeCat, c.cat);
        EXPECT_EQ(data.slotsA, c.slotsA);
        EXPECT_EQ(data.onGroundSlots, c.onGround);
        EXPECT_EQ(data.rotationSlots, c.rotation);
        EXPECT_EQ(data.slotsD, c.slotsD);
        EXPECT_NEAR(data.rateA, c.rateADeg * rad, 1e-15);
        EXPECT_DOUBLE_EQ(gf_factorAOf(c.cat), c.factorA);
        EXPECT_DOUBLE_EQ(gf_factorBOf(c.cat), c.factorB);
        EXPECT_EQ(data.cgHeight, 0.0);
        EXPECT_EQ(data.staticPitch, 0.0);
    }
}

TEST_F(AcRecordsTest, TakeOffPitchOfARotorcraftIsVariedByExactlyTwoAndAHalfPercent) {
    FlightIdent ident;
    ident.type = "EC35";
    std::set<double> pitches, climbs;
    for (int i = 0; i < 200; ++i) {
        const AcData data(ident);
        pitches.insert(std::round(data.takeoffPitch / rad * 1e9) / 1e9);
        climbs.insert(std::round(data.pitchB / rad * 1e9) / 1e9);
    }
    EXPECT_EQ(pitches, (std::set<double>{-20.5, -19.5}));
    EXPECT_EQ(climbs, (std::set<double>{-31.5, -28.5}));
}

TEST_F(AcRecordsTest, NewRecordsStartWithTheirDocumentedState) {
    LiveAc& ac = liveAc(0x4B0001, "SWR12");
    EXPECT_EQ(ac.simState, SimState::buffer);
    EXPECT_EQ(ac.phase, AcPhase::birth);
    EXPECT_EQ(ac.throttleIdx, 5u);
    EXPECT_EQ(ac.flapsIdx, 4u);
    EXPECT_EQ(ac.samples.size(), 1u);
    EXPECT_EQ(ac.move.rotationCountdown, 1);
    EXPECT_EQ(ac.move.lagBound, 1000);
    EXPECT_EQ(ac.move.leadBound, 1000);
    EXPECT_TRUE(std::isnan(ac.move.curve[3].lat));
    EXPECT_EQ(ac.move.heightAboveGround, 2500.0);
    ac.setPhase(AcPhase::taxi);
    ac.setPhase(AcPhase::taxi);
    EXPECT_EQ(ac.prevPhase, AcPhase::birth) << "a repeated phase keeps the previous one";
}

TEST_F(AcRecordsTest, CallsignRules) {
    struct Case {
        const char* cs;
        bool valid;
        std::optional<std::string> airline;
    } const cases[] = {
        {"SWR1234", true, "SWR"},           {"swr1234", true, "SWR"},
        {"EZY12AB", true, "EZY"},           {"HBJXA", true, std::nullopt},
        {"SWRA123", true, std::nullopt},    {"SW1", true, std::nullopt},
        {"", false, std::nullopt},          {"@@@@@@@@", false, std::nullopt},
        {"ABCD12345", false, std::nullopt}, {"12345678", true, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cs);
        FlightIdent f;
        f.cs = c.cs;
        EXPECT_EQ(gf_isValidCallsign(f), c.valid);
        EXPECT_EQ(gf_airlineFromCallsign(c.cs), c.airline);
    }
}

TEST_F(AcRecordsTest, NameTablesAndTheirUnknownValue) {
    EXPECT_EQ(gf_simStateName(SimState::buffer), "buffer");
    EXPECT_EQ(gf_simStateName(SimState::liveryrespawn), "liveryrespawn");
    EXPECT_EQ(gf_simStateName(SimState::removingfromsim), "removingfromsim");
    EXPECT_EQ(gf_acPhaseName(AcPhase::pushing_back), "pushing_back");
    EXPECT_EQ(gf_acPhaseName(AcPhase::take_off), "take_off");
    EXPECT_EQ(gf_acPhaseName(AcPhase::birth), "birth");
    EXPECT_THROW(gf_simStateName(static_cast<SimState>(5)), std::out_of_range);
    EXPECT_THROW(gf_acPhaseName(static_cast<AcPhase>(8)), std::out_of_range);
    EXPECT_EQ(gf_sizeCategoryName(SizeCategory::Rotorcraft), "Rotorcraft");
}

TEST_F(AcRecordsTest, LogTextsKeepTheirColumns) {
    FlightIdent f;
    f.airl = "SWR";
    f.type = "A320";
    f.cs = "SWR12";
    f.reg = "HB-JLT";
    EXPECT_EQ(gf_routeText(f), "        ") << "a flight without a route keeps eight blanks";
    EXPECT_EQ(gf_acLogText(f), "         SWR12    HB-JLT SWR A320");
    f.orig = "LSZH";
    f.dest = "EGLL";
    EXPECT_EQ(gf_routeText(f), "LSZH->EGLL");
    f.orig = "ZH";
    f.dest = "";
    EXPECT_EQ(gf_routeText(f), "ZH ->   ");
    EXPECT_EQ(gf_acLogTextWithReg(f), "SWR12    HB-JLT SWR A320");
    f.airl = "EZ";
    f.type = "B38M";
    EXPECT_EQ(gf_matchKey(f), "EZ  B38M HB-JLT");
    EXPECT_TRUE(gf_isSameAirlType("EZ", "B38M", f));
    EXPECT_FALSE(gf_isSameAirlType("EZ", "B38", f));
}

} // namespace
} // namespace enginetest
