#include "engine/base/callsign_choice.h"

#include "core/settings.h"
#include "core/strings.h"
#include "engine/base/engine_status.h"
#include "engine/base/engine_tables.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

void lf_repaintControls() {
    if (const auto& repaint = gf_engineHooks().repaintControls) repaint();
}

LiveAc* lf_firstActiveWithCallsign(const std::string& cs) {
    for (LiveAc& ac : engineLists.liveAcs)
        if (ac.simState == SimState::active && ac.cs == cs) return &ac;
    return nullptr;
}

} // namespace

bool gf_fillCallsignChoice() {
    std::vector<std::string> callsigns;
    for (const LiveAc& ac : engineLists.liveAcs)
        if (ac.simState == SimState::active && ac.phase != AcPhase::parked) callsigns.push_back(ac.cs);
    std::sort(callsigns.begin(), callsigns.end());
    const bool any = !callsigns.empty();
    CALLSIGN_2_OBJECTID.setValue(any ? callsigns.front() : std::string());
    callsign2ObjectIdChoices->replace(any ? std::move(callsigns) : std::vector<std::string>{std::string()});
    CALLSIGN_2_OBJECTID.fillCombo();
    CALLSIGN_2_OBJECTID.enable(any);
    BLOCK_BUTTON.enable(any);
    UNBLOCK_BUTTON.enable(false);
    return any;
}

void gf_resetCallsignChoice() {
    engineStatus.setCallsignChoiceText({});
    lf_repaintControls();
    callsign2ObjectIdChoices->replace({std::string()});
    CALLSIGN_2_OBJECTID.setValue("");
    CALLSIGN_2_OBJECTID.fillCombo();
    CALLSIGN_2_OBJECTID.enable(false);
    BLOCK_BUTTON.enable(false);
}

void gf_trackChosenCallsign() {
    const std::string chosen = CALLSIGN_2_OBJECTID.value();
    if (const LiveAc* ac = chosen.empty() ? nullptr : lf_firstActiveWithCallsign(chosen)) {
        engineLists.selectedObjectId = ac->oid;
        engineStatus.setCallsignChoiceText("= " + gf_oid2string(ac->oid));
    } else {
        engineStatus.setCallsignChoiceText("has left");
    }
    lf_repaintControls();
}
