#pragma once
// The 42 controls of the main window: their kinds, places and creation order, and the window's side of
// each setting's control (GuiControl), which hands every change to the window thread through gf_ui().

#include "core/settings.h"
#include "platform/ui/wx_controls.h"

#include <cstdint>
#include <vector>

class WxMainFrame;

struct ControlDef {
    UiControlSpec::Kind kind;
    ControlPart* part; // the setting or button the control belongs to
    const Parameter* parameter;
    int x;
    int width; // 0: the kind's own size
};

// The controls in creation order (also the tab order).
const std::vector<ControlDef>& gf_controlDefs();

// The placed controls as the toolkit layer creates them (rows: check boxes at the row,
// edit fields two above, drop-down lists four above, buttons at their own y), with their first states:
// buttons and edit fields disabled, check boxes and lists enabled, boxes ticked by their values.
std::vector<UiControlSpec> gf_controlSpecs();

// Gives every setting with a control its GuiControl, each in the enabled state of a new control (at
// creation; tests call it again after gf_resetSettingsForTests).
void gf_attachControls();

// Creates the controls on the frame, attaches them to their settings and invalidates the controls band
// (window thread, once). The drop-down lists start empty.
void gf_createControls(WxMainFrame& frame);

// Fills every drop-down list from its setting and selects the value's entry (any thread, once the
// window's Ui is in place).
void gf_fillChoiceLists();

// Whether a control is enabled, as last set through its GuiControl (false for an unknown id).
bool gf_controlEnabled(std::uint16_t controlId);

// Fills the MAX_FIT_FL list with its hours and selects the value's entry.
void gf_fillMaxFitCombo();

// The text of a float choice entry, with one decimal: "0.5", "1.0", "1.5", ...
std::string gf_hoursText(float hours);
