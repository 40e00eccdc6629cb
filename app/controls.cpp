#include "app/controls.h"

#include "app/main_window.h"
#include "platform/ui/ui.h"

#include <fmt/format.h>

#include <map>
#include <memory>
#include <mutex>

namespace {

using Kind = UiControlSpec::Kind;

// The window's side of one control: remembers its enabled state and forwards everything else.
class UiControl final : public GuiControl {
public:
    UiControl(ControlKey key, bool enabled) : key_(key), enabled_(enabled) {}
    void enable(bool enabled) override {
        enabled_.store(enabled);
        gf_ui().enableControl(key_, enabled);
    }
    bool isEnabled() const override { return enabled_.load(); }
    // The state of a newly created control, without telling the toolkit.
    void resetEnabled(bool enabled) { enabled_.store(enabled); }
    void setChecked(bool checked) override { gf_ui().setCheck(key_, checked); }
    void setText(const std::string& text) override { gf_ui().setControlText(key_, text); }
    void fillChoices(const std::vector<std::string>& entries, std::optional<std::size_t> selected) override {
        gf_ui().fillChoice(key_, entries, selected ? static_cast<int>(*selected) : -1);
    }
    void selectChoice(std::size_t index) override { gf_ui().selectChoice(key_, static_cast<int>(index)); }

private:
    const ControlKey key_;
    std::atomic<bool> enabled_;
};

std::mutex controlsMutex;
std::map<std::uint16_t, std::unique_ptr<UiControl>> controls; // by control id, never shrinks

ControlDef def(Kind kind, ControlPart& part, const Parameter& p, int x, int width = 0) {
    return ControlDef{kind, &part, &p, x, width};
}

bool lf_initiallyEnabled(Kind kind) {
    return kind == Kind::checkBox || kind == Kind::choice;
}

} // namespace

const std::vector<ControlDef>& gf_controlDefs() {
    static const std::vector<ControlDef> defs{
        def(Kind::choice, SIM_CHOICE, SIM_CHOICE, 5, 105),
        def(Kind::edit, ALL_INSTALL_PATH, ALL_INSTALL_PATH, 111, 1200),
        def(Kind::checkBox, SCAN_LIVERIES, SCAN_LIVERIES, 5),
        def(Kind::checkBox, LIG_AUTOMATIC, LIG_AUTOMATIC, 217),
        def(Kind::choice, AI_PACKAGE_SELECTOR, AI_PACKAGE_SELECTOR, 323, 175),
        def(Kind::checkBox, LIG_PRIORITIZE, LIG_PRIORITIZE, 536),
        def(Kind::checkBox, ALWAYS_ON_TOP, ALWAYS_ON_TOP, 748),
        def(Kind::checkBox, SCAN_AIRPORTS, SCAN_AIRPORTS, 5),
        def(Kind::button, TBLO_BUTTON, TBLO_BUTTON, 217, 60),
        def(Kind::checkBox, NAV_LIGHTS_WHILE_PARKED, NAV_LIGHTS_WHILE_PARKED, 748),
        def(Kind::choice, MATCHING_DEPTH, MATCHING_DEPTH, 217, 40),
        def(Kind::checkBox, LIGHT_AIRCRAFT, LIGHT_AIRCRAFT, 323),
        def(Kind::checkBox, HELICOPTERS, HELICOPTERS, 430),
        def(Kind::checkBox, HIGH_PERF_AIRCRAFT, HIGH_PERF_AIRCRAFT, 536),
        def(Kind::checkBox, AEROWINX, AEROWINX, 652),
        def(Kind::checkBox, GUID_CHANGES, GUID_CHANGES, 748),
        def(Kind::choice, RANGE, RANGE, 217, 50),
        def(Kind::checkBox, AUTO_RANGE, AUTO_RANGE, 323),
        def(Kind::choice, AR_ABOVE_HEIGHT, AR_ABOVE_HEIGHT, 455, 70),
        def(Kind::checkBox, AIRBORNE_ONLY, AIRBORNE_ONLY, 572),
        def(Kind::checkBox, COLLISION_USER_GND, COLLISION_USER_GND, 217),
        def(Kind::checkBox, COLLISION_USER_AIR, COLLISION_USER_AIR, 323),
        def(Kind::checkBox, COLLISION_LIVE_PARKED_GND, COLLISION_LIVE_PARKED_GND, 430),
        def(Kind::edit, BLOCK_CALLSIGN, BLOCK_CALLSIGN, 107, 100),
        def(Kind::button, UNBLOCK_BUTTON, UNBLOCK_BUTTON, 223, 60),
        def(Kind::button, CS2OID_BUTTON, CS2OID_BUTTON, 305, 60),
        def(Kind::choice, CALLSIGN_2_OBJECTID, CALLSIGN_2_OBJECTID, 375, 100),
        def(Kind::button, BLOCK_BUTTON, BLOCK_BUTTON, 576, 60),
        def(Kind::button, NOW_BUTTON, NOW_BUTTON, 111, 45),
        def(Kind::choice, MAX_PARK_SEL, MAX_PARK_SEL, 323, 55),
        def(Kind::choice, MAX_LIVE_SEL, MAX_LIVE_SEL, 536, 55),
        def(Kind::edit, DESTINATION, DESTINATION, 217, 50),
        def(Kind::choice, AIRP_RANGE, AIRP_RANGE, 353, 45),
        def(Kind::choice, AIRP_HEIGHT, AIRP_HEIGHT, 566, 70),
        def(Kind::checkBox, STRAIGHT_PBS_ONLY, STRAIGHT_PBS_ONLY, 652),
        def(Kind::checkBox, INITIAL_LOAD_ONLY, INITIAL_LOAD_ONLY, 5),
        def(Kind::checkBox, WEEK, WEEK, 71),
        def(Kind::checkBox, PARK_SOFT, PARK_SOFT, 151),
        def(Kind::choice, parking_percentage, parking_percentage, 323, 50),
        def(Kind::choice, MAX_FIT_FL, MAX_FIT_FL, 566, 60),
        def(Kind::button, REREAD_BUTTON, REREAD_BUTTON, 758, 90),
        def(Kind::button, FLUSH_STATIC_BUTTON, FLUSH_STATIC_BUTTON, 758, 90),
    };
    return defs;
}

std::vector<UiControlSpec> gf_controlSpecs() {
    std::vector<UiControlSpec> specs;
    for (const auto& d : gf_controlDefs()) {
        UiControlSpec s;
        s.kind = d.kind;
        s.key = d.part->controlId;
        s.x = d.x;
        s.enabled = lf_initiallyEnabled(d.kind);
        const int row = d.part->y;
        switch (d.kind) {
        case Kind::button:
            s.y = row;
            s.width = d.width;
            s.height = 20;
            s.caption = d.parameter->name;
            break;
        case Kind::checkBox:
            s.y = row;
            s.width = 20;
            s.height = 20;
            s.checked = static_cast<const CheckBoxParameter*>(d.parameter)->value.load();
            break;
        case Kind::edit:
            s.y = row - 2;
            s.width = d.width;
            s.height = 20;
            break;
        case Kind::choice:
            s.y = row - 4;
            s.width = d.width;
            s.height = 22;
            break;
        }
        specs.push_back(std::move(s));
    }
    return specs;
}

void gf_attachControls() {
    std::lock_guard lock(controlsMutex);
    for (const auto& d : gf_controlDefs()) {
        auto& slot = controls[d.part->controlId];
        if (!slot) slot = std::make_unique<UiControl>(d.part->controlId, lf_initiallyEnabled(d.kind));
        slot->resetEnabled(lf_initiallyEnabled(d.kind));
        d.part->attach(slot.get());
    }
}

bool gf_controlEnabled(std::uint16_t controlId) {
    std::lock_guard lock(controlsMutex);
    const auto it = controls.find(controlId);
    return it != controls.end() && it->second->isEnabled();
}

void gf_enable(const ControlPart& part, bool enabled) {
    part.enable(enabled);
}

std::string gf_hoursText(float hours) {
    return fmt::format("{:.1f}", hours);
}

void gf_fillMaxFitCombo() {
    GuiControl* control = MAX_FIT_FL.control();
    if (!control) return;
    std::vector<std::string> entries;
    for (float h : MAX_FIT_FL.choices)
        entries.push_back(gf_hoursText(h));
    control->fillChoices(entries, MAX_FIT_FL.choiceIndex());
}

void gf_createControls(WxMainFrame& frame) {
    gf_createWxControls(frame, gf_controlSpecs());
    gf_attachControls();
    gf_invalidate(uiControlsBand);
}

void gf_fillChoiceLists() {
    for (auto* p : {&SIM_CHOICE, &AI_PACKAGE_SELECTOR})
        p->fillCombo();
    CALLSIGN_2_OBJECTID.fillCombo();
    for (auto* p : {&MATCHING_DEPTH, &RANGE, &AR_ABOVE_HEIGHT, &MAX_PARK_SEL, &MAX_LIVE_SEL, &AIRP_RANGE,
                    &AIRP_HEIGHT, &parking_percentage})
        p->fillCombo();
    gf_fillMaxFitCombo();
}
