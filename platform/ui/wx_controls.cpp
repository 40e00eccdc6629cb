#include "platform/ui/wx_controls.h"

#include "platform/ui/wx_frame.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/odcombo.h>
#include <wx/textctrl.h>

const wxFont& controlFont() {
    static const wxFont font(wxFontInfo(8).Family(wxFONTFAMILY_SWISS).FaceName("DejaVu Sans"));
    return font;
}

namespace {

void lf_place(wxWindow* w, const UiControlSpec& def) {
    w->SetWindowVariant(wxWINDOW_VARIANT_SMALL);
    w->SetFont(controlFont());
    w->SetMinSize(wxSize(def.width, def.height));
    w->SetSize(def.x, def.y, def.width, def.height);
    w->Enable(def.enabled);
}

} // namespace

void gf_createWxControls(WxMainFrame& frame, const std::vector<UiControlSpec>& specs) {
    wxWindow* parent = frame.surface();
    for (const auto& def : specs) {
        const int id = frame.wxIdFor(def.key);
        const wxPoint pos(def.x, def.y);
        const wxSize size(def.width, def.height);
        wxWindow* control = nullptr;
        switch (def.kind) {
        case UiControlSpec::Kind::button:
            control = new wxButton(parent, id, wxString::FromUTF8(def.caption), pos, size, wxBU_EXACTFIT);
            break;
        case UiControlSpec::Kind::checkBox: {
            auto* box = new wxCheckBox(parent, id, wxString(), pos, size);
            box->SetValue(def.checked);
            control = box;
            break;
        }
        case UiControlSpec::Kind::edit:
            control = new wxTextCtrl(parent, id, wxString(), pos, size, wxTE_PROCESS_ENTER | wxBORDER_SIMPLE);
            break;
        case UiControlSpec::Kind::choice:
            // Drawn by wx itself: unlike the native GTK combo box it keeps any height, so it fits a row.
            {
                auto* combo =
                    new wxOwnerDrawnComboBox(parent, id, wxString(), pos, size, 0, nullptr, wxCB_READONLY);
                // Its selection event carries only the index: add the entry's text before the event
                // travels on to the frame.
                combo->Bind(wxEVT_COMBOBOX, [combo](wxCommandEvent& event) {
                    const int index = event.GetInt();
                    if (event.GetString().empty() && index >= 0 &&
                        index < static_cast<int>(combo->GetCount()))
                        event.SetString(combo->GetString(static_cast<unsigned>(index)));
                    event.Skip();
                });
                control = combo;
            }
            break;
        }
        lf_place(control, def);
        frame.registerControl(def.key, control);
    }
}
