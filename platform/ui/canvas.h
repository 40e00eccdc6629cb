#pragma once
// The drawing surface of the status area. The main window paints through this small interface so that
// the same paint runs against the screen (WxCanvas) and against a recorder in tests.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Left, top inclusive; right, bottom exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

class Canvas {
public:
    virtual ~Canvas() = default;
    // Fills the rectangle with a solid colour, no border.
    virtual void fillRect(const Rect& rect, Rgb colour) = 0;
    // A one-pixel solid line from a towards b (the end point itself is not drawn).
    virtual void line(Point a, Point b, Rgb colour) = 0;
    // One line of UTF-8 text with its top-left corner at (x, y), transparent background.
    virtual void textOut(int x, int y, std::string_view utf8, Rgb colour) = 0;
};

// A canvas that keeps every call, for tests of what a paint draws.
class RecordingCanvas final : public Canvas {
public:
    enum class Kind { fill, line, text };
    struct Op {
        Kind kind;
        Rect rect;        // fill
        Point a, b;       // line
        Point at;         // text
        std::string text; // text
        Rgb colour;
    };

    void fillRect(const Rect& rect, Rgb colour) override;
    void line(Point a, Point b, Rgb colour) override;
    void textOut(int x, int y, std::string_view utf8, Rgb colour) override;

    const std::vector<Op>& ops() const { return ops_; }
    void clear() { ops_.clear(); }

    // The last text op with exactly this text, or null.
    const Op* findText(std::string_view text) const;
    // The last text op drawn at (x, y), or null.
    const Op* textAt(int x, int y) const;
    // The last fill of exactly this rectangle, or null.
    const Op* fillOf(const Rect& rect) const;
    // Every text in drawing order.
    std::vector<std::string> texts() const;
    bool hasText(std::string_view text) const { return findText(text) != nullptr; }

private:
    std::vector<Op> ops_;
};
