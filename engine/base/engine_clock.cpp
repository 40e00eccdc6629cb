#include "engine/base/engine_clock.h"

#include <atomic>

namespace {

std::atomic<bool> held{false};
std::atomic<EngineClock::rep> heldTicks{0};
std::atomic<double> scale{1.0};
std::atomic<EngineClock::rep> scaleAnchorTicks{0};

} // namespace

EngineClock::time_point gf_engineNow() {
    if (held.load()) return EngineClock::time_point(EngineClock::duration(heldTicks.load()));
    const double factor = scale.load();
    if (factor == 1.0) return EngineClock::now();
    const EngineClock::time_point anchor{EngineClock::duration(scaleAnchorTicks.load())};
    return anchor + std::chrono::duration_cast<EngineClock::duration>((EngineClock::now() - anchor) * factor);
}

void gf_scaleEngineClock(double factor) {
    scaleAnchorTicks = EngineClock::now().time_since_epoch().count();
    scale = factor;
}

std::int64_t gf_engineTicks() {
    return static_cast<std::int64_t>(gf_engineNow().time_since_epoch().count());
}

EngineClock::time_point gf_engineTimeOf(std::int64_t ticks) {
    return EngineClock::time_point(EngineClock::duration(ticks));
}

void gf_holdEngineClockForTests(EngineClock::time_point start) {
    heldTicks = start.time_since_epoch().count();
    held = true;
}

void gf_advanceEngineClockForTests(EngineClock::duration step) {
    heldTicks += step.count();
}

void gf_resetEngineClockForTests() {
    held = false;
    heldTicks = 0;
    scale = 1.0;
}
