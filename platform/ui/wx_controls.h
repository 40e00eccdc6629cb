#pragma once
// Creation of the main window's child controls over wxWidgets. The program describes each control
// (kind, key, place, size, caption, first state); this layer creates it on the frame's surface with
// compact sizes, so that the controls fit the window's 28-pixel rows, and registers it under its key.

#include "platform/ui/ui.h"

#include <string>
#include <vector>

class WxMainFrame;

struct UiControlSpec {
    enum class Kind { button, checkBox, edit, choice };
    Kind kind = Kind::button;
    ControlKey key = 0;
    // Top-left corner and size of the control in client pixels.
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::string caption; // buttons only (UTF-8)
    bool enabled = true;
    bool checked = false; // check boxes only
};

// Creates the controls in the given order (the tab order) and registers each under its key.
void gf_createWxControls(WxMainFrame& frame, const std::vector<UiControlSpec>& specs);

// The font of the controls.
class wxFont;
const wxFont& controlFont();
