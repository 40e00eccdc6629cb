#include "platform/ui/wx_canvas.h"

#include <wx/brush.h>
#include <wx/dc.h>
#include <wx/font.h>
#include <wx/pen.h>

namespace {
wxColour toWx(Rgb c) {
    return wxColour(c.r, c.g, c.b);
}
} // namespace

const wxFont& statusFont() {
    static const wxFont font(wxFontInfo(9).Family(wxFONTFAMILY_SWISS).FaceName("DejaVu Sans"));
    return font;
}

WxCanvas::WxCanvas(wxDC& dc) : dc_(dc) {
    dc_.SetFont(statusFont());
    dc_.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
}

void WxCanvas::fillRect(const Rect& rect, Rgb colour) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    dc_.SetPen(*wxTRANSPARENT_PEN);
    dc_.SetBrush(wxBrush(toWx(colour)));
    dc_.DrawRectangle(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void WxCanvas::line(Point a, Point b, Rgb colour) {
    dc_.SetPen(wxPen(toWx(colour), 1));
    dc_.DrawLine(a.x, a.y, b.x, b.y);
}

void WxCanvas::textOut(int x, int y, std::string_view utf8, Rgb colour) {
    const wxString text = wxString::FromUTF8(utf8.data(), utf8.size());
    if (text.empty()) return;
    dc_.SetTextForeground(toWx(colour));
    dc_.DrawText(text, x, y);
}
