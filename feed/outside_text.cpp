#include "feed/outside_text.h"

#include <algorithm>

#include <fmt/format.h>

namespace {

bool lf_isContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

} // namespace

std::string gf_outsideText(std::string_view text, std::size_t limit) {
    std::string out;
    out.reserve(std::min(text.size(), limit) + 32);
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            if (out.size() + 2 > limit) break;
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            if (out.size() + 4 > limit) break;
            out += fmt::format("\\x{:02X}", c);
        } else {
            if (out.size() + 1 > limit) break;
            out += static_cast<char>(c);
        }
    }
    if (i == text.size()) return out;
    // Cut inside a UTF-8 character: leave out its first bytes as well.
    if (lf_isContinuationByte(static_cast<unsigned char>(text[i]))) {
        while (!out.empty() && lf_isContinuationByte(static_cast<unsigned char>(out.back())))
            out.pop_back();
        if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.pop_back();
    }
    out += fmt::format(" ... ({} bytes)", text.size());
    return out;
}

bool LogThrottle::admit(std::string_view kind, Clock::time_point now) {
    auto it = std::find_if(kinds_.begin(), kinds_.end(), [&](const Kind& k) { return k.name == kind; });
    if (it == kinds_.end()) {
        kinds_.push_back(Kind{std::string(kind), now, 0, 0});
        it = std::prev(kinds_.end());
    } else if (now - it->start >= period && it->held == 0) {
        // A new minute; one with lines held back starts afresh only after its summary.
        it->start = now;
        it->written = 0;
    }
    if (it->written < linesPerMinute) {
        ++it->written;
        return true;
    }
    ++it->held;
    return false;
}

std::vector<std::string> LogThrottle::summaries(std::string_view source, Clock::time_point now, bool all) {
    std::vector<std::string> lines;
    for (Kind& k : kinds_) {
        if (k.held == 0 || (!all && now - k.start < period)) continue;
        lines.push_back(fmt::format("{}: {} more lines like \"{}\" were not logged in the last minute",
                                    source, k.held, k.name));
        k.start = now;
        k.written = 0;
        k.held = 0;
    }
    return lines;
}
