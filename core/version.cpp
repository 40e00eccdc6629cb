#include "core/version.h"

#include "core/log.h"

#include <array>
#include <charconv>
#include <optional>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

const VersionData gf_programVersion{11, 10, 5};

namespace {

std::uint32_t parseRun(std::string_view digits) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc{} || end != digits.data() + digits.size())
        throw std::runtime_error("parse error in version string");
    return value;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t digitRun(std::string_view s, std::size_t from) {
    std::size_t n = 0;
    while (from + n < s.size() && isDigit(s[from + n]))
        ++n;
    return n;
}

// The whole text as three runs of digits, each two separated by exactly one character other than a line
// end. Like a backtracking pattern match, longer first and second runs are tried first, so "12345"
// splits into 1, 3 and 5.
std::optional<std::array<std::string_view, 3>> splitVersion(std::string_view s) {
    const auto separator = [](char c) { return c != '\n' && c != '\r'; };
    for (std::size_t a = digitRun(s, 0); a >= 1; --a) {
        if (a + 1 >= s.size() || !separator(s[a])) continue;
        const std::size_t bStart = a + 1;
        for (std::size_t b = digitRun(s, bStart); b >= 1; --b) {
            const std::size_t sep = bStart + b;
            if (sep + 1 >= s.size() || !separator(s[sep])) continue;
            const std::size_t cStart = sep + 1;
            if (digitRun(s, cStart) == s.size() - cStart)
                return std::array{s.substr(0, a), s.substr(bStart, b), s.substr(cStart)};
        }
    }
    return std::nullopt;
}

} // namespace

VersionData::VersionData(std::string_view text) {
    if (text.empty()) return;
    try {
        if (const auto runs = splitVersion(text)) {
            major = parseRun((*runs)[0]);
            minor = parseRun((*runs)[1]);
            patch = parseRun((*runs)[2]);
            return;
        }
        const auto json = nlohmann::json::parse(text);
        if (!json.is_object()) return;
        for (auto [key, field] : {std::pair{"major", &major}, {"minor", &minor}, {"patch", &patch}}) {
            const auto it = json.find(key);
            if (it != json.end()) *field = it->get<std::uint32_t>();
        }
    } catch (const std::exception& e) {
        gf_log(fmt::format("{} exception: {}", "VersionData", e.what()));
    }
}

std::string VersionData::toString() const {
    return fmt::format("{}.{}.{}", major, minor, patch);
}

bool VersionData::isNewerThan(const VersionData& other) const {
    const auto s = [](std::uint32_t v) { return static_cast<std::int32_t>(v); };
    if (s(major) != s(other.major)) return s(major) > s(other.major);
    if (s(minor) != s(other.minor)) return s(minor) > s(other.minor);
    return s(patch) > s(other.patch);
}

namespace orv {

UserErrorException::UserErrorException(std::uint32_t code, std::string_view text)
    : message_(code == 99 ? std::string(text) : fmt::format("{}: {}", code, text)) {}

} // namespace orv
