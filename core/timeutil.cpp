#include "core/timeutil.h"

#include "core/hooks.h"

#include <array>
#include <chrono>
#include <cmath>
#include <optional>

#include <fmt/format.h>

namespace {

// 10000-01-01 00:00:00 UTC: time texts have four-digit years.
constexpr std::int64_t endOfYear9999 = 253402300800;

struct UtcFields {
    int year, month, day, weekday; // month 1..12, weekday 1..7 from Monday
    int hour, minute, second;
};

std::optional<UtcFields> breakDown(std::int64_t t) {
    if (t < 0 || t >= endOfYear9999) return std::nullopt;
    using namespace std::chrono;
    const sys_seconds tp{seconds{t}};
    const auto day = floor<days>(tp);
    const year_month_day ymd{day};
    const hh_mm_ss hms{tp - day};
    return UtcFields{static_cast<int>(ymd.year()),
                     static_cast<int>(static_cast<unsigned>(ymd.month())),
                     static_cast<int>(static_cast<unsigned>(ymd.day())),
                     static_cast<int>(weekday{day}.iso_encoding()),
                     static_cast<int>(hms.hours().count()),
                     static_cast<int>(hms.minutes().count()),
                     static_cast<int>(hms.seconds().count())};
}

} // namespace

std::int32_t gf_weekSlotDifference(WeekSlot a, WeekSlot b) {
    std::int32_t d = (static_cast<std::int32_t>(b.day) - static_cast<std::int32_t>(a.day)) * 48 +
                     (static_cast<std::int32_t>(b.halfHour) - static_cast<std::int32_t>(a.halfHour));
    if (d < 0) d += 336;
    return d;
}

WeekSlot gf_weekSlotOf(std::int64_t unixSeconds) {
    const auto f = breakDown(unixSeconds);
    if (!f) return {WeekSlot::invalidField, WeekSlot::invalidField};
    std::uint32_t half = static_cast<std::uint32_t>(f->hour) * 2;
    if (f->minute > 29 || (f->minute == 29 && f->second >= 30)) ++half;
    return {static_cast<std::uint32_t>(f->weekday), half};
}

std::string_view gf_weekdayName(int index) {
    static constexpr std::array<std::string_view, 7> names{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    return index >= 1 && index <= 7 ? names[static_cast<std::size_t>(index - 1)] : "???";
}

std::string_view gf_monthName(int index) {
    static constexpr std::array<std::string_view, 12> names{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Okt", "Nov", "Dec"};
    return index >= 1 && index <= 12 ? names[static_cast<std::size_t>(index - 1)] : "???";
}

std::string gf_utcTimeText(std::int64_t unixSeconds) {
    const auto f = breakDown(unixSeconds);
    if (!f) return "Invalid time";
    return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", gf_weekdayName(f->weekday),
                       gf_monthName(f->month), f->day, f->hour, f->minute, f->second, f->year);
}

std::string gf_clockText(std::int64_t unixSeconds) {
    const auto f = breakDown(unixSeconds);
    if (!f) return "??:??:??";
    return fmt::format("{:02}:{:02}:{:02}", f->hour, f->minute, f->second);
}

std::int64_t gf_utcNow() {
    const auto& hook = gf_coreHooks().clock;
    if (hook) return hook();
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t gf_trafficNow() {
    const auto& hooks = gf_coreHooks();
    if (hooks.professionalPeer && hooks.feedTime && hooks.professionalPeer()) {
        // The feed time comes from the network: take it only when it is a plausible time.
        const double feed = std::trunc(hooks.feedTime());
        if (std::isfinite(feed) && feed > 0.0 && feed < static_cast<double>(endOfYear9999))
            return static_cast<std::int64_t>(feed);
    }
    return gf_utcNow();
}

std::string gf_utcClockNow() {
    return gf_clockText(gf_utcNow());
}

std::string gf_trafficClockNow() {
    return gf_clockText(gf_trafficNow());
}

std::string gf_utcDateNow() {
    const auto f = breakDown(gf_utcNow());
    if (!f) return "??? ??, ????";
    return fmt::format("{} {:02}, {:4}", gf_monthName(f->month), f->day, f->year);
}

WeekSlot gf_trafficDayAndHalfHour() {
    return gf_weekSlotOf(gf_trafficNow());
}

std::atomic<std::uint64_t> currentWeekSlot{0};

void gf_refreshWeekSlot() {
    currentWeekSlot = gf_trafficDayAndHalfHour().packed();
}

float gf_maxFitHours(std::int32_t slots) {
    if (slots >= 44) return 24.0f;
    if (slots >= 38) return 21.0f;
    if (slots >= 32) return 18.0f;
    if (slots >= 26) return 15.0f;
    if (slots >= 22) return 12.0f;
    if (slots >= 20) return 11.0f;
    if (slots >= 18) return 10.0f;
    if (slots >= 16) return 9.0f;
    if (slots >= 14) return 8.0f;
    if (slots >= 12) return 7.0f;
    if (slots >= 10) return 6.0f;
    switch (slots) {
    case 9:
        return 5.0f;
    case 8:
        return 4.5f;
    case 7:
        return 4.0f;
    case 6:
        return 3.5f;
    case 5:
        return 3.0f;
    case 4:
        return 2.5f;
    case 3:
        return 2.0f;
    case 2:
        return 1.5f;
    case 1:
        return 1.0f;
    default:
        return 0.5f;
    }
}
