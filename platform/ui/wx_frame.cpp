#include "platform/ui/wx_frame.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/ctrlsub.h>
#include <wx/dcclient.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>
#include <wx/textentry.h>

#include <clocale>
#include <mutex>
#include <utility>

namespace {

wxString fromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

// The window's Ui. Calls from any thread are queued to the frame and run on the window thread; once the
// frame is gone the object stays and every call does nothing.
class WxUi final : public Ui {
public:
    void attach(WxMainFrame* frame) {
        std::lock_guard lock(mutex_);
        frame_ = frame;
    }
    void detach() {
        std::lock_guard lock(mutex_);
        frame_ = nullptr;
    }

    void invalidate(const UiRect& r) override {
        later([r](WxMainFrame& f) {
            f.surface()->RefreshRect(wxRect(r.left, r.top, r.right - r.left, r.bottom - r.top), false);
        });
    }
    void enableControl(ControlKey key, bool enabled) override {
        later([key, enabled](WxMainFrame& f) {
            if (auto* c = f.findControl(key)) c->Enable(enabled);
        });
    }
    void setControlText(ControlKey key, std::string text) override {
        later([key, text = std::move(text)](WxMainFrame& f) {
            auto* c = f.findControl(key);
            if (!c) return;
            if (auto* entry = dynamic_cast<wxTextEntry*>(c))
                entry->ChangeValue(fromUtf8(text)); // no text event: only the user's typing makes one
            else
                c->SetLabel(fromUtf8(text));
        });
    }
    void setCheck(ControlKey key, bool checked) override {
        later([key, checked](WxMainFrame& f) {
            if (auto* box = dynamic_cast<wxCheckBox*>(f.findControl(key))) box->SetValue(checked);
        });
    }
    void fillChoice(ControlKey key, std::vector<std::string> entries, int selected) override {
        later([key, entries = std::move(entries), selected](WxMainFrame& f) {
            auto* list = dynamic_cast<wxItemContainer*>(f.findControl(key));
            if (!list) return;
            list->Clear();
            for (const auto& e : entries)
                list->Append(fromUtf8(e));
            if (selected >= 0 && selected < static_cast<int>(entries.size())) select(*list, selected);
        });
    }
    void selectChoice(ControlKey key, int index) override {
        later([key, index](WxMainFrame& f) {
            auto* list = dynamic_cast<wxItemContainer*>(f.findControl(key));
            if (list && index >= -1 && index < static_cast<int>(list->GetCount())) select(*list, index);
        });
    }
    void post(UiMessage message) override;
    void setAlwaysOnTop(bool onTop) override {
        later([onTop](WxMainFrame& f) {
            const long style = f.GetWindowStyleFlag();
            f.SetWindowStyleFlag(onTop ? style | wxSTAY_ON_TOP : style & ~wxSTAY_ON_TOP);
        });
    }
    void messageBox(std::string text, std::string caption) override {
        later([text = std::move(text), caption = std::move(caption)](WxMainFrame& f) {
            wxMessageBox(fromUtf8(text), fromUtf8(caption), wxOK | wxICON_EXCLAMATION, &f);
        });
    }

    std::function<void(WxMainFrame&)> quit;

private:
    static void select(wxItemContainer& list, int index) {
        if (auto* sel = dynamic_cast<wxItemContainerImmutable*>(&list))
            sel->SetSelection(index < 0 ? wxNOT_FOUND : index);
    }

    // Queues fn for the window thread. The frame drops its queued calls when it is destroyed, and it
    // is detached (under the same mutex) before that, so fn never meets a dead frame.
    template <class Fn> void later(Fn fn) {
        std::lock_guard lock(mutex_);
        if (!frame_) return;
        WxMainFrame* frame = frame_;
        frame->CallAfter([frame, fn = std::move(fn)]() mutable { fn(*frame); });
    }

    std::mutex mutex_;
    WxMainFrame* frame_ = nullptr;
};

// Lives until the process ends: other threads may still hold it after the window is gone.
WxUi& wxUi() {
    static auto* ui = new WxUi;
    return *ui;
}

void WxUi::post(UiMessage message) {
    later([message](WxMainFrame& f) { f.onMessage(message); });
}

// The exit code given by the quit message (the frame is gone when the loop returns).
int windowExitCode = 0;

class SkyloomWxApp final : public wxApp {
public:
    bool OnInit() override {
        // GTK has set the locale from the environment; the program's number formatting and
        // byte-wise text handling need the "C" rules.
        std::setlocale(LC_NUMERIC, "C");
        std::setlocale(LC_CTYPE, "C");
        return true;
    }
};

} // namespace

WxMainFrame::WxMainFrame(const WindowOptions& options, WindowHandlers& handlers)
    : wxFrame(nullptr, wxID_ANY, fromUtf8(options.title), wxPoint(options.position.x, options.position.y),
              wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      handlers_(handlers), closeTimer_(this) {
    surface_ =
        new wxPanel(this, wxID_ANY, wxDefaultPosition, wxSize(options.clientWidth, options.clientHeight),
                    wxTAB_TRAVERSAL | wxFULL_REPAINT_ON_RESIZE);
    surface_->SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetClientSize(options.clientWidth, options.clientHeight);
    surface_->Bind(wxEVT_PAINT, &WxMainFrame::onPaint, this);
    for (auto type : {wxEVT_BUTTON, wxEVT_CHECKBOX, wxEVT_CHOICE, wxEVT_COMBOBOX, wxEVT_TEXT_ENTER})
        surface_->Bind(type, &WxMainFrame::onCommand, this);
    Bind(wxEVT_CLOSE_WINDOW, &WxMainFrame::onClose, this);
    Bind(wxEVT_TIMER, &WxMainFrame::onCloseTimer, this, closeTimer_.GetId());
    if (options.closeAfterSeconds > 0) closeTimer_.StartOnce(options.closeAfterSeconds * 1000);
}

int WxMainFrame::wxIdFor(ControlKey key) {
    if (auto it = idOfKey_.find(key); it != idOfKey_.end()) return it->second;
    const int id = firstControlId + static_cast<int>(idOfKey_.size());
    idOfKey_.emplace(key, id);
    keyOfId_.emplace(id, key);
    return id;
}

void WxMainFrame::registerControl(ControlKey key, wxWindow* control) {
    wxIdFor(key);
    controls_[key] = control;
}

wxWindow* WxMainFrame::findControl(ControlKey key) const {
    auto it = controls_.find(key);
    return it == controls_.end() ? nullptr : it->second;
}

std::optional<ControlKey> WxMainFrame::keyOf(int wxId) const {
    auto it = keyOfId_.find(wxId);
    if (it == keyOfId_.end()) return std::nullopt;
    return it->second;
}

WindowPosition WxMainFrame::outerPosition() const {
    const wxPoint p = GetPosition();
    return {p.x, p.y};
}

void WxMainFrame::onPaint(wxPaintEvent&) {
    wxPaintDC dc(surface_);
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    if (handlers_.paint) handlers_.paint(dc);
}

void WxMainFrame::onClose(wxCloseEvent& event) {
    if (handlers_.close) handlers_.close();
    if (event.CanVeto()) {
        event.Veto(); // the program ends the process when its run has closed down
        return;
    }
    wxUi().detach();
    Destroy();
}

void WxMainFrame::onCommand(wxCommandEvent& event) {
    const auto key = keyOf(event.GetId());
    if (!key || !handlers_.command) {
        event.Skip();
        return;
    }
    UiCommand command;
    command.key = *key;
    const auto type = event.GetEventType();
    if (type == wxEVT_BUTTON) {
        command.kind = UiCommand::Kind::button;
    } else if (type == wxEVT_CHECKBOX) {
        command.kind = UiCommand::Kind::checkBox;
        command.checked = event.IsChecked();
    } else if (type == wxEVT_TEXT_ENTER) {
        command.kind = UiCommand::Kind::textEnter;
        command.text = event.GetString().ToStdString(wxConvUTF8);
    } else {
        command.kind = UiCommand::Kind::choice;
        command.selection = event.GetSelection();
        command.text = event.GetString().ToStdString(wxConvUTF8);
    }
    if (!handlers_.command(command)) event.Skip();
}

void WxMainFrame::onCloseTimer(wxTimerEvent&) {
    Close(false);
}

void WxMainFrame::onMessage(UiMessage message) {
    switch (message) {
    case UiMessage::startRun:
        if (handlers_.startRun) handlers_.startRun();
        break;
    case UiMessage::storeAndQuit:
        if (quitting_) break;
        quitting_ = true;
        windowExitCode = handlers_.storeAndQuit ? handlers_.storeAndQuit(outerPosition()) : 0;
        wxUi().detach();
        Destroy();
        if (wxTheApp) wxTheApp->ExitMainLoop();
        break;
    case UiMessage::close:
        Close(false);
        break;
    }
}

WindowRunResult gf_runWindow(int argc, char** argv, const WindowOptions& options, WindowHandlers handlers) {
    WindowRunResult result;
    wxApp::SetInstance(new SkyloomWxApp);
    int wxArgc = argc;
    if (!wxEntryStart(wxArgc, argv)) return result;
    wxLog::SetActiveTarget(new wxLogStderr);
    if (!wxTheApp->CallOnInit()) {
        wxEntryCleanup();
        return result;
    }
    windowExitCode = 0;
    auto* frame = new WxMainFrame(options, handlers);
    if (handlers.createControls) handlers.createControls(*frame);
    wxUi().attach(frame);
    gf_setUi(&wxUi());
    frame->Show(true);
    frame->Update();
    if (handlers.shown) handlers.shown();
    result.started = true;
    wxTheApp->OnRun();
    wxUi().detach();
    gf_setUi(nullptr);
    result.exitCode = windowExitCode;
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
