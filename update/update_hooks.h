#pragma once
// What the updates need of the window and of the scenery scan; app wires them. Tests set them and
// call gf_resetUpdateHooks afterwards.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CheckBoxParameter;

struct UpdateHooks {
    // Stores, saves and ticks a check box. Default: value and save only.
    std::function<void(CheckBoxParameter& box, bool value)> setCheckBox;
    // Repaints the window after a ticked box. Default: nothing.
    std::function<void()> repaint;
    // A warning message box (text, caption). Default: an error line in the log.
    std::function<void(std::string_view text, std::string_view caption)> warningBox;
    // The files (names in airports/my_simaddon) the previous add-on installed, and the record of the
    // files of a new add-on (path and content). Defaults: none known, nothing recorded.
    std::function<std::vector<std::string>()> previousAddonFiles;
    std::function<void(const std::vector<std::filesystem::path>& files)> addonFilesInstalled;
};

UpdateHooks& gf_updateHooks();
void gf_resetUpdateHooks();
