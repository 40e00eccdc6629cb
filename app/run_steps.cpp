#include "app/run_steps.h"

#include "core/run_control.h"

#include <thread>

namespace {

RunSteps steps;

void lf_defaultClock(RunSteps& s) {
    s.sleep = [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); };
    s.now = [] { return std::chrono::steady_clock::now(); };
}

template <class Ended> bool lf_sleepUntilEnded(std::chrono::milliseconds duration, Ended ended) {
    using namespace std::chrono_literals;
    auto left = duration;
    while (left > 0ms) {
        if (ended()) return false;
        const auto slice = std::min(left, std::chrono::milliseconds(100));
        gf_sleep(slice);
        left -= slice;
    }
    return !ended();
}

} // namespace

RunSteps& gf_runSteps() {
    if (!steps.sleep) lf_defaultClock(steps);
    return steps;
}

void gf_resetRunSteps() {
    steps = RunSteps{};
    lf_defaultClock(steps);
}

void gf_scaleRunClock(double scale) {
    gf_scaleRunClock(
        scale, [] { return std::chrono::steady_clock::now(); },
        [](std::chrono::nanoseconds d) { std::this_thread::sleep_for(d); });
}

void gf_scaleRunClock(double scale, std::function<std::chrono::steady_clock::time_point()> baseNow,
                      std::function<void(std::chrono::nanoseconds)> baseSleep) {
    if (scale == 1.0) return;
    using Duration = std::chrono::steady_clock::duration;
    const auto anchor = baseNow();
    steps.now = [scale, anchor, baseNow] {
        return anchor + std::chrono::duration_cast<Duration>((baseNow() - anchor) * scale);
    };
    steps.sleep = [scale, baseSleep](std::chrono::milliseconds d) {
        baseSleep(std::chrono::ceil<std::chrono::nanoseconds>(d / scale));
    };
}

void gf_sleep(std::chrono::milliseconds duration) {
    gf_runSteps().sleep(duration);
}

bool gf_sleepUnlessStopping(std::chrono::milliseconds duration) {
    return lf_sleepUntilEnded(duration, [] { return runControl.stopping(); });
}

bool gf_sleepUnlessClosing(std::chrono::milliseconds duration) {
    return lf_sleepUntilEnded(duration, [] { return runControl.close.load(); });
}
