#pragma once
// UTC time texts, the traffic clock and week slots.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// A time of the week: day 1..7 (Monday 1), half hour of the day 0..47. A field that could not be
// computed holds all bits set.
struct WeekSlot {
    std::uint32_t day = 0;
    std::uint32_t halfHour = 0;

    static constexpr std::uint32_t invalidField = 0xFFFFFFFFu;
    bool valid() const { return day >= 1 && day <= 7 && halfHour <= 47; }
    // Day in the low half, half hour in the high half.
    std::uint64_t packed() const { return std::uint64_t{day} | (std::uint64_t{halfHour} << 32); }
    static WeekSlot fromPacked(std::uint64_t v) {
        return {static_cast<std::uint32_t>(v), static_cast<std::uint32_t>(v >> 32)};
    }
    // (day - 1) * 48 + half hour.
    std::uint32_t weekIndex() const { return (day - 1) * 48 + halfHour; }
    friend bool operator==(const WeekSlot&, const WeekSlot&) = default;
};

// Half hours from a to b, 0..335.
std::int32_t gf_weekSlotDifference(WeekSlot a, WeekSlot b);
// The week slot of a Unix time (both fields invalid when the time cannot be broken down).
WeekSlot gf_weekSlotOf(std::int64_t unixSeconds);

// "Mon".."Sun" for 1..7, "Jan".."Dec" for 1..12 (October is "Okt"); "???" outside.
std::string_view gf_weekdayName(int index);
std::string_view gf_monthName(int index);

// "Wed Dec 09 10:56:39 2026", or "Invalid time" for a time before 1970 or after 9999.
std::string gf_utcTimeText(std::int64_t unixSeconds);
// HH:MM:SS of a Unix time; "??:??:??" when it cannot be shown.
std::string gf_clockText(std::int64_t unixSeconds);

// The computer's clock (Unix seconds, UTC); the clock hook in tests.
std::int64_t gf_utcNow();
// Traffic now: the feed time when the peer is the professional edition and the feed time is a
// plausible time (finite, after 1970, before the year 10000), else the computer's clock.
std::int64_t gf_trafficNow();

// HH:MM:SS of the computer's clock.
std::string gf_utcClockNow();
// HH:MM:SS of traffic now.
std::string gf_trafficClockNow();
// Today's UTC date, "Dec 09, 2026".
std::string gf_utcDateNow();
// The week slot of traffic now.
WeekSlot gf_trafficDayAndHalfHour();

// The week slot of traffic now (WeekSlot::packed), refreshed by the start-up and every second; the
// engine reads "now" from it.
extern std::atomic<std::uint64_t> currentWeekSlot;
void gf_refreshWeekSlot();

// A number of half-hour slots (MAX_FIT, a fit offset) as the hours of the MAX_FIT_FL list.
float gf_maxFitHours(std::int32_t slots);
