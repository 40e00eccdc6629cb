#pragma once
// The main window's frame over wxWidgets. The client area is one panel (the surface): the controls are
// its children and the status area is painted on it. Controls are known by the program's control keys;
// the frame hands out the toolkit ids for them (kept below 32767 as the toolkit needs).

#include "platform/ui/window_host.h"

#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/timer.h>

#include <map>
#include <optional>

class WxMainFrame : public wxFrame {
public:
    WxMainFrame(const WindowOptions& options, WindowHandlers& handlers);

    // The parent of every control and the painted area.
    wxWindow* surface() { return surface_; }

    // The toolkit id for a control key (the same id for the same key, allocated on first use). Create
    // the control with it, then register the control.
    int wxIdFor(ControlKey key);
    void registerControl(ControlKey key, wxWindow* control);
    wxWindow* findControl(ControlKey key) const;
    std::optional<ControlKey> keyOf(int wxId) const;

    WindowPosition outerPosition() const;

    // Carries out one of the program's messages (window thread).
    void onMessage(UiMessage message);

    static constexpr int firstControlId = 10000;

private:
    void onPaint(wxPaintEvent& event);
    void onClose(wxCloseEvent& event);
    void onCommand(wxCommandEvent& event);
    void onCloseTimer(wxTimerEvent& event);

    WindowHandlers& handlers_;
    wxPanel* surface_ = nullptr;
    wxTimer closeTimer_;
    std::map<ControlKey, int> idOfKey_;
    std::map<int, ControlKey> keyOfId_;
    std::map<ControlKey, wxWindow*> controls_;
    bool quitting_ = false;
};
