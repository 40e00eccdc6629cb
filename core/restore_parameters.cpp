#include "core/restore_parameters.h"

#include <utility>

#include "core/settings.h"

SavedParkingSettings savedParkingSettings;
std::atomic<bool> learnedSettingsInForce{false};

RestoreHooks& gf_restoreHooks() {
    static RestoreHooks hooks;
    return hooks;
}

void gf_resetRestoreHooks() {
    gf_restoreHooks() = RestoreHooks{};
}

void gf_restoreOverriddenParameters() {
    const SavedParkingSettings saved = savedParkingSettings;
    auto& hooks = gf_restoreHooks();

    MAX_LIVE_SEL.setClamped(saved.maxLiveSel);
    MAX_LIVE_SEL.save();

    MAX_FIT.setClamped(saved.maxFit);
    MAX_FIT.save();
    if (hooks.showMaxFit) hooks.showMaxFit();

    RANGE.setClamped(saved.range);
    RANGE.save();
    if (hooks.setRange) hooks.setRange(saved.range);

    parking_percentage.setClamped(saved.parkingPercentage);
    parking_percentage.save();
    parking_percentage.selectValue();

    AUTO_RANGE.value = saved.autoRange;
    AUTO_RANGE.save();
    AUTO_RANGE.showValue();
    RANGE.enable(!saved.autoRange);
    AR_ABOVE_HEIGHT.enable(saved.autoRange);

    for (auto [box, value] : {std::pair{&INITIAL_LOAD_ONLY, saved.initialLoadOnly},
                              std::pair{&PARK_SOFT, saved.parkSoft}, std::pair{&WEEK, saved.week}}) {
        box->value = value;
        box->save();
        box->showValue();
    }
    learnedSettingsInForce = false;
}
