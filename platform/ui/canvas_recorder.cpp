#include "platform/ui/canvas.h"

void RecordingCanvas::fillRect(const Rect& rect, Rgb colour) {
    ops_.push_back(Op{Kind::fill, rect, {}, {}, {}, {}, colour});
}

void RecordingCanvas::line(Point a, Point b, Rgb colour) {
    ops_.push_back(Op{Kind::line, {}, a, b, {}, {}, colour});
}

void RecordingCanvas::textOut(int x, int y, std::string_view utf8, Rgb colour) {
    ops_.push_back(Op{Kind::text, {}, {}, {}, Point{x, y}, std::string(utf8), colour});
}

const RecordingCanvas::Op* RecordingCanvas::findText(std::string_view text) const {
    for (auto it = ops_.rbegin(); it != ops_.rend(); ++it)
        if (it->kind == Kind::text && it->text == text) return &*it;
    return nullptr;
}

const RecordingCanvas::Op* RecordingCanvas::textAt(int x, int y) const {
    for (auto it = ops_.rbegin(); it != ops_.rend(); ++it)
        if (it->kind == Kind::text && it->at == Point{x, y}) return &*it;
    return nullptr;
}

const RecordingCanvas::Op* RecordingCanvas::fillOf(const Rect& rect) const {
    for (auto it = ops_.rbegin(); it != ops_.rend(); ++it)
        if (it->kind == Kind::fill && it->rect == rect) return &*it;
    return nullptr;
}

std::vector<std::string> RecordingCanvas::texts() const {
    std::vector<std::string> out;
    for (const auto& op : ops_)
        if (op.kind == Kind::text) out.push_back(op.text);
    return out;
}
