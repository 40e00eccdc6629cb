#pragma once
// The status-area canvas over a wx device context. All status texts use one font, statusFont().

#include "platform/ui/canvas.h"

class wxDC;
class wxFont;

// The one font of the painted status area (a 9-point sans-serif face).
const wxFont& statusFont();

class WxCanvas final : public Canvas {
public:
    explicit WxCanvas(wxDC& dc);
    void fillRect(const Rect& rect, Rgb colour) override;
    void line(Point a, Point b, Rgb colour) override;
    void textOut(int x, int y, std::string_view utf8, Rgb colour) override;

private:
    wxDC& dc_;
};
