#pragma once
// The main window's frame and message loop, without the toolkit's types in sight: the program hands in
// what happens on its messages (close, start a run, store the position and quit), its controls and its
// paint, and gets the window's Ui through gf_ui() while the window exists.

#include "platform/ui/ui.h"

#include <functional>
#include <string>

class wxDC;
class WxMainFrame;

// What a control reports to the program when the user works it.
struct UiCommand {
    enum class Kind { button, checkBox, choice, textEnter };
    ControlKey key = 0;
    Kind kind = Kind::button;
    bool checked = false; // check box: the new state (the toolkit has toggled it already)
    int selection = -1;   // choice list: the selected entry
    std::string text;     // choice list: the selected entry's text; edit field: its text (UTF-8)
};

struct WindowPosition {
    int x = 0;
    int y = 0;
    friend bool operator==(const WindowPosition&, const WindowPosition&) = default;
};

struct WindowOptions {
    std::string title = "Skyloom";
    WindowPosition position{400, 20};
    int clientWidth = uiClientWidth;
    int clientHeight = uiClientHeight;
    // More than 0: after this many seconds the window closes itself as if the user pressed the close
    // button (headless runs of a bounded length).
    int closeAfterSeconds = 0;
};

// Every handler runs on the window thread; each may be empty.
struct WindowHandlers {
    // Once, before the window is shown: create the controls on the frame.
    std::function<void(WxMainFrame&)> createControls;
    // The client area needs painting (the device context covers the whole client area).
    std::function<void(wxDC&)> paint;
    // A control was worked; false lets the toolkit handle the event as usual.
    std::function<bool(const UiCommand&)> command;
    // The close button: the window stays open (the program decides when to end).
    std::function<void()> close;
    // UiMessage::startRun.
    std::function<void()> startRun;
    // UiMessage::storeAndQuit, with the window's current outer position; returns the process exit
    // code. The window is then destroyed and the message loop ends.
    std::function<int(WindowPosition)> storeAndQuit;
    // Once, after the window is shown and before the message loop runs.
    std::function<void()> shown;
};

struct WindowRunResult {
    bool started = false; // false: the toolkit or the window could not be set up (no loop ran)
    int exitCode = 0;
};

// Starts the toolkit, creates and shows the window, makes its Ui the process's gf_ui(), runs the
// message loop until UiMessage::storeAndQuit, then takes the Ui away again (later calls do nothing).
// One call per process.
WindowRunResult gf_runWindow(int argc, char** argv, const WindowOptions& options, WindowHandlers handlers);
