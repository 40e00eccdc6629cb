#pragma once
// What the updates need of the window; app wires them. Tests set them and
// call gf_resetUpdateHooks afterwards.

#include <functional>
#include <string_view>

class CheckBoxParameter;

struct UpdateHooks {
    // Stores, saves and ticks a check box. Default: value and save only.
    std::function<void(CheckBoxParameter& box, bool value)> setCheckBox;
    // Repaints the window after a ticked box. Default: nothing.
    std::function<void()> repaint;
    // A warning message box (text, caption). Default: an error line in the log.
    std::function<void(std::string_view text, std::string_view caption)> warningBox;
};

UpdateHooks& gf_updateHooks();
void gf_resetUpdateHooks();
