#include "core/timeutil.h"

#include "test_support.h"

#include <cmath>
#include <limits>

using namespace testing_support;

namespace {

constexpr std::int64_t mondayMidnight = 1796601600; // Mon Dec 07 00:00:00 2026 UTC

std::int64_t at(int day, int hour, int minute, int second) {
    return mondayMidnight + (day - 1) * 86400 + hour * 3600 + minute * 60 + second;
}

class TimeTest : public WorkingFolderTest {
protected:
    void setClock(std::int64_t t) {
        gf_coreHooks().clock = [t] { return t; };
    }
    void setFeed(double feed, bool professional) {
        gf_coreHooks().feedTime = [feed] { return feed; };
        gf_coreHooks().professionalPeer = [professional] { return professional; };
    }
};

TEST_F(TimeTest, TimeTexts) {
    struct Case {
        std::int64_t t;
        std::string text;
    };
    for (const auto& c : std::vector<Case>{
             {0, "Thu Jan 01 00:00:00 1970"},
             {1796813799, "Wed Dec 09 10:56:39 2026"},
             {1791187200, "Mon Okt 05 08:00:00 2026"},
             {951782400, "Tue Feb 29 00:00:00 2000"},
             {253402300799, "Fri Dec 31 23:59:59 9999"},
             {-1, "Invalid time"},
             {253402300800, "Invalid time"},
             {std::numeric_limits<std::int64_t>::max(), "Invalid time"},
             {std::numeric_limits<std::int64_t>::min(), "Invalid time"},
         }) {
        EXPECT_EQ(gf_utcTimeText(c.t), c.text) << c.t;
    }
    EXPECT_EQ(gf_weekdayName(0), "???");
    EXPECT_EQ(gf_monthName(13), "???");
}

TEST_F(TimeTest, ClockAndDateTextsOfTheComputerClock) {
    setClock(1796813799);
    EXPECT_EQ(gf_utcClockNow(), "10:56:39");
    EXPECT_EQ(gf_utcDateNow(), "Dec 09, 2026");
    // A clock that cannot be shown gives placeholders, never an exception.
    setClock(-5);
    EXPECT_EQ(gf_utcClockNow(), "??:??:??");
    EXPECT_EQ(gf_utcDateNow(), "??? ??, ????");
    EXPECT_EQ(gf_trafficDayAndHalfHour(), (WeekSlot{WeekSlot::invalidField, WeekSlot::invalidField}));
    EXPECT_FALSE(gf_trafficDayAndHalfHour().valid());
}

TEST_F(TimeTest, HalfHoursTurnAtTwentyNineThirtyAndOnTheHour) {
    struct Case {
        std::int64_t t;
        WeekSlot slot;
    };
    for (const auto& c : std::vector<Case>{
             {at(1, 10, 29, 29), {1, 20}},
             {at(1, 10, 29, 30), {1, 21}},
             {at(1, 10, 59, 59), {1, 21}},
             {at(1, 11, 0, 0), {1, 22}},
             {at(1, 23, 59, 59), {1, 47}},
             {at(1, 12, 29, 30), {1, 25}},
             {at(7, 0, 0, 0), {7, 0}},
             {at(3, 0, 30, 0), {3, 1}},
         }) {
        EXPECT_EQ(gf_weekSlotOf(c.t), c.slot) << gf_utcTimeText(c.t);
    }
}

TEST_F(TimeTest, WeekSlotDifferencesWrapAroundTheWeek) {
    struct Case {
        WeekSlot a, b;
        std::int32_t halfHours;
    };
    for (const auto& c : std::vector<Case>{
             {{7, 47}, {1, 0}, 1},
             {{1, 0}, {7, 47}, 335},
             {{4, 20}, {4, 20}, 0},
             {{2, 10}, {2, 11}, 1},
             {{2, 11}, {2, 10}, 335},
             {{1, 0}, {2, 0}, 48},
         }) {
        EXPECT_EQ(gf_weekSlotDifference(c.a, c.b), c.halfHours);
    }
    const WeekSlot slot{6, 33};
    EXPECT_EQ(WeekSlot::fromPacked(slot.packed()), slot);
    EXPECT_EQ(slot.packed() & 0xFFFFFFFFu, 6u); // day in the low half
    EXPECT_EQ(slot.weekIndex(), 5u * 48 + 33);
}

// The feed time is untrusted input: only a plausible time from a professional peer replaces the clock.
TEST_F(TimeTest, TrafficClockTakesOnlyAPlausibleFeedTime) {
    const std::int64_t computer = at(2, 8, 0, 0);
    setClock(computer);
    EXPECT_EQ(gf_trafficNow(), computer); // no source wired

    setFeed(1700000000.9, true);
    EXPECT_EQ(gf_trafficNow(), 1700000000);
    EXPECT_EQ(gf_trafficClockNow(), "22:13:20");

    setFeed(1700000000.9, false);
    EXPECT_EQ(gf_trafficNow(), computer);

    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {0.0, 0.5, -1.0, -1e300, std::nan(""), inf, -inf, 253402300800.0, 1e300}) {
        setFeed(bad, true);
        EXPECT_EQ(gf_trafficNow(), computer) << bad;
        EXPECT_EQ(gf_trafficClockNow(), "08:00:00") << bad;
    }

    setFeed(static_cast<double>(at(7, 23, 59, 59)), true);
    EXPECT_EQ(gf_trafficDayAndHalfHour(), (WeekSlot{7, 47}));
}

} // namespace
