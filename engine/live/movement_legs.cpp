#include "engine/live/movement_legs.h"

#include "core/geodesy.h"
#include "core/units.h"
#include "feed/feed_state.h"

#include <gsl/narrow>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

Lalo lf_at(const PosSample& s) {
    return Lalo{s.lat, s.lon};
}

} // namespace

double gf_normalizedHeading(double radians) {
    double h = std::fmod(radians, 2.0 * pi);
    if (h < 0) h += 2.0 * pi;
    if (h >= 2.0 * pi) h = 0;
    return h;
}

double gf_pitchForVerticalSpeed(double feetPerMinute) {
    double rate = feetPerMinute;
    if (rate > 2400) rate = 2400;
    if (rate < 0) rate = std::max(rate, -3000.0) / 2.0;
    return (-3.0 - rate / 600.0 * 2.2) * radiansPerDegree;
}

std::int64_t gf_clampedDuePass(const LiveAc& ac, std::int64_t passes) {
    const std::int64_t now = enginePassCount.load();
    const PosSample& to = ac.samples[1];
    std::int64_t due = now + std::max(passes, shortestLegPasses);
    if (ac.move.extrapolationCount < 1)
        due = std::clamp(due, to.duePass - ac.move.lagBound, to.duePass + ac.move.leadBound);
    return std::max(due, now);
}

std::int64_t gf_travelPasses(const LiveAc& ac) {
    const PosSample& from = ac.samples[0];
    const PosSample& to = ac.samples[1];
    const double distance = gf_distanceNm(lf_at(from), lf_at(to));
    double speed = 0;
    if (ac.move.approach && !to.airborne)
        speed = from.gs == 0 ? 100.0 : from.gs;
    else if (from.gs == 0 && to.gs == 0)
        speed = std::max(
            distance * 360000.0 /
                static_cast<double>(std::max<std::int64_t>(to.duePass - from.duePass, shortestLegPasses)),
            1.0);
    else
        speed = (from.gs + to.gs) / 2.0;
    const double travel = std::round(distance * 360000.0 / speed);
    if (!(std::fabs(travel) <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
        throw gsl::narrowing_error{};
    return static_cast<std::int32_t>(travel);
}

void gf_retimeByTravel(LiveAc& ac) {
    ac.samples[1].duePass = gf_clampedDuePass(ac, gf_travelPasses(ac));
}
