#include "app/control_setters.h"

#include "app/main_window.h"
#include "app/status_line.h"
#include "core/log.h"
#include "core/strings.h"
#include "core/units.h"
#include "engine/static/static_parking_state.h"
#include "feed/feed_state.h"

#include <fmt/format.h>
#include <gsl/narrow>

#include <algorithm>
#include <cmath>
#include <mutex>

std::atomic<bool> parkingControlsReady{false};

namespace {

std::mutex keptRangeMutex;
std::optional<std::int32_t> keptRange; // empty until a start-up took it from the loaded RANGE

RangeHooks& lf_rangeHooks() {
    static RangeHooks hooks;
    return hooks;
}

std::int32_t lf_keptRangeOrLoaded() {
    std::lock_guard lock(keptRangeMutex);
    if (!keptRange) keptRange = RANGE.value.load();
    return *keptRange;
}

void lf_logMissingControl(std::uint16_t id) {
    gf_log(fmt::format("GetDlgItem failed for ID {}", id));
}

} // namespace

RangeHooks& gf_rangeHooks() {
    return lf_rangeHooks();
}

double gf_trafficRadiusNm() {
    return trafficRadiusNm.load();
}

void gf_showIntParameter(const NumericChoiceParameter& parameter) {
    if (!parameter.control()) {
        lf_logMissingControl(parameter.controlId);
        return;
    }
    parameter.showValue();
    gf_invalidate(uiControlsBand);
}

void gf_showStringParameter(const EditStringParameter& parameter) {
    GuiControl* control = parameter.control();
    if (!control) {
        lf_logMissingControl(parameter.controlId);
        return;
    }
    const std::string value = parameter.value();
    try {
        (void)utf8_to_wide(value);
    } catch (const std::exception& e) {
        gf_log(fmt::format("utf8_to_wide failed for '{}': {}", value, e.what()));
        return;
    }
    control->setText(value);
    gf_invalidate(uiControlsBand);
}

void gf_setCheckBox(CheckBoxParameter& parameter, bool value) {
    parameter.value.store(value);
    parameter.save();
    if (GuiControl* control = parameter.control()) control->setChecked(value);
}

void gf_disableParkingControls() {
    for (const ControlPart* p :
         std::initializer_list<const ControlPart*>{&parking_percentage, &WEEK, &PARK_SOFT, &MAX_FIT_FL,
                                                   &MAX_PARK_SEL, &MAX_LIVE_SEL, &FLUSH_STATIC_BUTTON})
        p->enable(false);
    if (!INITIAL_LOAD_ONLY.value.load()) NOW_BUTTON.enable(false);
    parkingControlsReady = true;
    REREAD_BUTTON.enable(false);
    gf_invalidate(uiControlsBand);
}

void gf_enableParkingControls() {
    gf_invalidate(uiControlsBand);
    for (const ControlPart* p : std::initializer_list<const ControlPart*>{
             &MAX_PARK_SEL, &MAX_LIVE_SEL, &parking_percentage, &WEEK, &PARK_SOFT, &MAX_FIT_FL})
        p->enable(true);
    if (!INITIAL_LOAD_ONLY.value.load()) NOW_BUTTON.enable(true);
    parkingControlsReady = true;
    FLUSH_STATIC_BUTTON.enable(true);
    REREAD_BUTTON.enable(true);
    gf_invalidate(uiControlsBand);
}

std::uint32_t gf_setRange(std::int32_t nm) {
    const std::int32_t clamped = RANGE.clamped(nm);
    RANGE.value.store(clamped);
    RANGE.selectValue();
    // Both radii follow the clamped value: a value outside 2..100 (a negative one would wrap around in
    // the unsigned metres) never reaches the traffic filter or the engine.
    const auto metres = static_cast<std::uint32_t>(clamped) * wholeMetresPerNm;
    trafficRadiusNm.store(static_cast<double>(clamped));
    rangeMeters.store(metres);
    return metres;
}

void gf_keepLoadedRange() {
    std::lock_guard lock(keptRangeMutex);
    keptRange = RANGE.value.load();
}

std::int32_t gf_keptRange() {
    return lf_keptRangeOrLoaded();
}

void gf_applyAutoRange() {
    if (AUTO_RANGE.value.load()) {
        {
            std::lock_guard lock(keptRangeMutex);
            keptRange = RANGE.value.load();
        }
        gf_autoRange();
    } else {
        gf_setRange(lf_keptRangeOrLoaded());
        gf_clearMessage();
    }
    RANGE.enable(!AUTO_RANGE.value.load());
}

std::int32_t gf_autoRangeForDistance(double d) {
    if (d <= 7.0) return 10;
    if (d >= 37.0) return 40;
    const std::int32_t n = gsl::narrow<std::int32_t>(std::round(d));
    if (n >= 33) return 35;
    if (n >= 28) return 30;
    if (n >= 23) return 25;
    if (n >= 19) return 20;
    if (n >= 17) return 18;
    if (n >= 15) return 16;
    if (n >= 13) return 14;
    if (n >= 11) return 12;
    if (n >= 9) return 10;
    return 8;
}

void gf_autoRange() {
    const auto& hooks = lf_rangeHooks();
    const std::optional<bool> onGround = hooks.userOnGround ? hooks.userOnGround() : std::nullopt;
    if (!onGround) return;
    (void)lf_keptRangeOrLoaded(); // the manual range is kept before the first automatic change
    std::int32_t nm = 0;
    const double height = hooks.userHeightFt ? hooks.userHeightFt() : 0.0;
    if (*onGround) {
        nm = 10;
    } else if (height > AR_ABOVE_HEIGHT.value.load()) {
        nm = 100;
    } else if (height > AIRP_HEIGHT.value.load()) {
        nm = 40;
    } else {
        double d = 10000.0;
        const auto user = hooks.userPosition ? hooks.userPosition() : std::nullopt;
        const auto airport = hooks.firstParkAirport ? hooks.firstParkAirport() : std::nullopt;
        if (user && airport) d = gf_distanceNm(*user, *airport);
        nm = gf_autoRangeForDistance(d);
    }
    gf_setRange(nm);
}

void gf_showMaxFit() {
    MAX_FIT_FL.value.store(gf_maxFitHours(MAX_FIT.value.load()));
    if (const auto index = MAX_FIT_FL.choiceIndex())
        if (GuiControl* control = MAX_FIT_FL.control()) control->selectChoice(*index);
}

void gf_resetControlSettersForTests() {
    staticParkingState.busy = false;
    parkingControlsReady = false;
    trafficRadiusNm = static_cast<double>(RANGE.defaultValue);
    {
        std::lock_guard lock(keptRangeMutex);
        keptRange.reset();
    }
    lf_rangeHooks() = RangeHooks{};
}
