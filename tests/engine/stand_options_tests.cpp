// Learning flights at stands and the half-hour window by which an option grows.

#include "engine/base/stands.h"
#include "tests/engine/stand_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace enginetest {
namespace {

using ::testing::HasSubstr;

HalfHourSet hours(std::uint32_t from, std::uint32_t to) {
    HalfHourSet set;
    for (auto h = from; h <= to; ++h)
        set.set(h);
    return set;
}

class StandOptionTest : public StandTest {};

TEST_F(StandOptionTest, AFlightStayingGrowsItsOptionHalfHourByHalfHour) {
    ParkPos& at = stand("A1", 47.45, 8.55);
    AcData ac = aircraft("HB-AAA", "EZS10");
    lf_addRealStandOption(at.sid, ac, 0, WeekSlot{3, 20}); // 10:00
    lf_addRealStandOption(at.sid, ac, 0, WeekSlot{3, 23}); // 11:30
    ASSERT_EQ(at.opts.size(), 1u);
    EXPECT_EQ(at.opts[0].hh, hours(20, 23));
    lf_addRealStandOption(at.sid, ac, 0, WeekSlot{3, 28}); // 14:00
    ASSERT_EQ(at.opts.size(), 1u);
    EXPECT_EQ(at.opts[0].hh, hours(20, 28));
    EXPECT_EQ(at.opts[0].cs, "EZS10");
    EXPECT_EQ(parkAirport.standUpdateCount, 1u); // only the new option counts
}

// The largest gap the window bridges: 6 half hours make a new option for an ordinary aircraft, a
// freighter bridges 11, a heavy one 7.
TEST_F(StandOptionTest, TheWindowBridgesGapsByKind) {
    struct Case {
        const char* reg;
        const char* type;
        bool cargo;
        std::uint32_t gap;
        std::size_t options;
    };
    for (const Case& c : {Case{"HB-AAA", "A320", false, 5, 1}, Case{"HB-AAA", "A320", false, 6, 2},
                          Case{"D-ACGO", "B77W", true, 11, 1}, Case{"D-ACGO", "B77W", true, 12, 2},
                          Case{"HB-JNA", "B77W", false, 7, 1}, Case{"HB-JNA", "B77W", false, 8, 2}}) {
        lf_resetStands();
        ParkPos& at = stand("A1", 47.45, 8.55);
        AcData ac = aircraft(c.reg, "ABC1", c.type, c.cargo);
        ac.sizeCat = gf_sizeCategoryOf(c.type);
        lf_addRealStandOption(at.sid, ac, 0, WeekSlot{2, 10});
        lf_addRealStandOption(at.sid, ac, 0, WeekSlot{2, 10 + c.gap});
        EXPECT_EQ(at.opts.size(), c.options) << c.reg << " gap " << c.gap;
    }
}

TEST_F(StandOptionTest, AFlightStandingOverMidnightEndsInTwoOptions) {
    ParkPos& at = stand("A1", 47.45, 8.55);
    option(at, "EZS", "A320", "HB-AAA", 3, {46}, "EZS10");
    AcData ac = aircraft("HB-AAA", "EZS10");
    OptionWindow window{WeekSlot{3, 46}, 1};
    ASSERT_TRUE(gf_extendOptionWindow(WeekSlot{4, 1}, at, 1, window, ac, "HB-AAA", false)); // 00:30
    ASSERT_EQ(at.opts.size(), 2u);
    EXPECT_EQ(at.opts[0].hh, hours(46, 47));
    EXPECT_EQ(at.opts[1].day, 4u);
    EXPECT_EQ(at.opts[1].hh, hours(0, 1));
    EXPECT_EQ(window.option, at.opts[1].seq);
    EXPECT_EQ(window.last, (WeekSlot{4, 1}));
}

TEST_F(StandOptionTest, SlotsOutOfRangeAreLoggedAndRefused) {
    std::vector<ParkOpt> opts(1);
    opts[0].seq = 1;
    EXPECT_FALSE(updateOptions(opts, {48, 47}, 1));
    EXPECT_FALSE(updateOptions(opts, {5}, 2)); // no such option
    opts.push_back(opts[0]);
    opts[1].seq = 2;
    EXPECT_FALSE(updateOptionsWrapped(opts, {1, 0, 60}, 1, 2));
    EXPECT_THAT(logText(), HasSubstr("updateOptions exception:"));
    EXPECT_THAT(logText(), HasSubstr("updateOptionsWrapped exception:"));
}

TEST_F(StandOptionTest, SettingAnOptionsCallsign) {
    struct Case {
        std::string cs, cs2, text, wantCs, wantCs2;
    };
    for (const Case& c : {Case{"", "", "ABC1_", "ABC1", ""}, Case{"ABC1", "", "ABC2", "ABC1", "ABC2"},
                          Case{"ABC1", "ABC2", "ABC3", "ABC1", "ABC3"},
                          Case{"ABC1", "ABC2", "ABC1", "ABC1", "ABC2"}, Case{"ABC1", "", "", "ABC1", ""}}) {
        std::vector<ParkOpt> opts(1);
        opts[0].seq = 1;
        opts[0].cs = c.cs;
        opts[0].cs2 = c.cs2;
        gf_setOptionCallsign(opts, 1, c.text);
        EXPECT_EQ(opts[0].cs, c.wantCs) << c.text;
        EXPECT_EQ(opts[0].cs2, c.wantCs2) << c.text;
    }
}

TEST_F(StandOptionTest, UnknownRegistrationsAreNeverLearned) {
    ParkPos& at = stand("A1", 47.45, 8.55);
    for (int mode = 0; mode <= 3; ++mode) {
        AcData ac = aircraft("HB-ZZZ", "ABC1");
        lf_addRealStandOption(at.sid, ac, mode, WeekSlot{1, 10});
        AcData none = aircraft("", "ABC1");
        lf_addRealStandOption(at.sid, none, mode, WeekSlot{1, 10});
    }
    EXPECT_TRUE(at.opts.empty());
    EXPECT_EQ(parkAirport.standUpdateCount, 0u);
}

TEST_F(StandOptionTest, LearningTakesTheRecordsAirlineAndTypeOnce) {
    ParkPos& at = stand("A1", 47.45, 8.55);
    AcData ac = aircraft("HB-AAA_", "XYZ9_", "B738");
    lf_addRealStandOption(at.sid, ac, 1, WeekSlot{5, 30});
    lf_addRealStandOption(at.sid, ac, 0, WeekSlot{5, 30});
    ASSERT_EQ(at.opts.size(), 1u);
    EXPECT_EQ(ac.airl, "EZS");
    EXPECT_EQ(ac.type, "A320");
    const ParkOpt& opt = at.opts[0];
    EXPECT_EQ(opt.airl, "EZS");
    EXPECT_EQ(opt.type, "A320");
    EXPECT_EQ(opt.reg, "HB-AAA");
    EXPECT_EQ(opt.cs, "XYZ9");
    EXPECT_EQ(opt.day, 5u);
    EXPECT_EQ(opt.origin, 0u);
    EXPECT_FALSE(opt.cpl);
    EXPECT_EQ(engineStatus.standUpdateCount.load(), 1u);
    // Leaving marks it coupled.
    lf_addRealStandOption(at.sid, ac, 2, WeekSlot{5, 30});
    EXPECT_TRUE(at.opts[0].cpl);
}

TEST_F(StandOptionTest, AnAirportFileFlightAtOtherHalfHoursWins) {
    ParkPos& at = stand("A1", 47.45, 8.55);
    option(at, "EZS", "A320", "HB-AAA", 5, {10, 11}, "EZS10", "", 1);
    AcData ac = aircraft("HB-AAA", "EZS10");
    lf_addRealStandOption(at.sid, ac, 0, WeekSlot{5, 30});
    EXPECT_EQ(at.opts.size(), 1u);
    lf_addRealStandOption(at.sid, ac, 0, WeekSlot{6, 30}); // another day
    EXPECT_EQ(at.opts.size(), 2u);
}

TEST_F(StandOptionTest, TheOptionMatch) {
    ParkOpt opt;
    opt.seq = 1;
    opt.cs = "EZS10";
    opt.airl = "SWR";
    opt.type = "A320";
    FlightIdent ac;
    ac.airl = "EZS";
    ac.type = "A319";
    EXPECT_TRUE(gf_optionMatches("EZS10", ac, opt));
    EXPECT_FALSE(gf_optionMatches("EZS11", ac, opt));
    ac.airl = "SWR";
    ac.type = "A320";
    EXPECT_TRUE(gf_optionMatches("EZS11", ac, opt));
    opt.real = 0;
    EXPECT_FALSE(gf_optionMatches("EZS10", ac, opt));
}

} // namespace
} // namespace enginetest
