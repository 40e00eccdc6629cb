#include <charconv>
#include <cmath>
#include <fstream>
#include <istream>
#include <stdexcept>

#include <fmt/format.h>

#include "tools/rtfeed/rtfeed.h"

namespace rtfeed {

namespace {

constexpr std::size_t timestampField = 14;

// The start and length of field n of a comma-separated payload; npos when it has fewer fields.
std::pair<std::size_t, std::size_t> fieldSpan(std::string_view payload, std::size_t n) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t comma = payload.find(',', start);
        if (comma == std::string_view::npos) return {std::string_view::npos, 0};
        start = comma + 1;
    }
    const std::size_t end = payload.find(',', start);
    return {start, (end == std::string_view::npos ? payload.size() : end) - start};
}

bool readDouble(std::string_view text, double& out) {
    if (text.empty()) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(out);
}

} // namespace

std::vector<ReplayLine> parseReplay(std::istream& in) {
    std::vector<ReplayLine> lines;
    std::string text;
    std::size_t number = 0;
    double previous = 0.0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty() || text.front() == '#') continue;
        const auto fail = [number](std::string_view what) {
            throw std::runtime_error(fmt::format("line {}: {}", number, what));
        };
        const std::size_t tab1 = text.find('\t');
        if (tab1 == std::string::npos) fail("no tab after the time");
        const std::size_t tab2 = text.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) fail("no tab after the kind");
        ReplayLine line;
        if (!readDouble(std::string_view(text).substr(0, tab1), line.at) || line.at < 0.0) fail("bad time");
        if (line.at < previous) fail("time goes backwards");
        const std::string_view kind = std::string_view(text).substr(tab1 + 1, tab2 - tab1 - 1);
        if (kind != "T" && kind != "Q") fail("kind is neither T nor Q");
        line.kind = kind.front();
        line.payload = text.substr(tab2 + 1);
        if (line.payload.empty()) fail("empty payload");
        previous = line.at;
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<ReplayLine> loadReplay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot open {}", file.string()));
    return parseReplay(in);
}

std::optional<double> trafficTimestamp(std::string_view payload) {
    const auto [start, length] = fieldSpan(payload, timestampField);
    double value = 0.0;
    if (start == std::string_view::npos || !readDouble(payload.substr(start, length), value))
        return std::nullopt;
    return value;
}

std::string shiftTimestamp(std::string_view payload, double offset) {
    const auto [start, length] = fieldSpan(payload, timestampField);
    double value = 0.0;
    if (start == std::string_view::npos) return std::string(payload);
    const std::string_view field = payload.substr(start, length);
    if (!readDouble(field, value)) return std::string(payload);
    const std::size_t dot = field.find('.');
    const int decimals = dot == std::string_view::npos ? 0 : static_cast<int>(field.size() - dot - 1);
    std::string out(payload.substr(0, start));
    out += fmt::format("{:.{}f}", value + offset, decimals);
    out += payload.substr(start + length);
    return out;
}

} // namespace rtfeed
