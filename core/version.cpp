#include "core/version.h"

#include "core/log.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
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
// splits into 1, 3 and 5. One pass over the text, so that a long text (from a file or a download)
// costs no more than its length.
std::optional<std::array<std::string_view, 3>> splitVersion(std::string_view s) {
    const auto separator = [](char c) { return c != '\n' && c != '\r'; };
    const std::size_t n = s.size();
    const std::size_t lead = digitRun(s, 0);
    std::size_t tail = 0;
    while (tail < n && isDigit(s[n - 1 - tail]))
        ++tail;
    if (lead == 0 || tail == 0 || n < 5) return std::nullopt;
    // The third run is a non-empty part of the trailing digits, so the second separator lies in
    // [n - tail - 1, n - 2].
    const std::size_t lastSeparatorLow = tail < n ? n - tail - 1 : 0;
    for (std::size_t a = std::min(lead, n - 1); a >= 1; --a) {
        if (!separator(s[a])) continue;
        const std::size_t bStart = a + 1;
        // Inside the leading run the second run ends where the leading one does.
        const std::size_t bLength = bStart < lead ? lead - bStart : digitRun(s, bStart);
        if (bLength == 0) continue;
        const std::size_t high = std::min(bStart + bLength, n - 2);
        const std::size_t low = std::max(bStart + 1, lastSeparatorLow);
        for (std::size_t sep = high; sep >= low && sep <= high; --sep) {
            if (separator(s[sep]))
                return std::array{s.substr(0, a), s.substr(bStart, sep - bStart), s.substr(sep + 1)};
        }
    }
    return std::nullopt;
}

// A version number in JSON form: a whole number that fits 32 bits unsigned, as in the text form. The
// JSON library itself would turn true into 1 and wrap -1 or 2^32 silently.
std::uint32_t jsonNumber(const nlohmann::json& value) {
    if (!value.is_number())
        throw nlohmann::json::type_error::create(
            302, fmt::format("type must be number, but is {}", value.type_name()), &value);
    const double number = value.get<double>();
    if (value.is_number_unsigned() ? value.get<std::uint64_t>() > UINT32_MAX
                                   : !(number >= 0.0 && number <= UINT32_MAX && std::trunc(number) == number))
        throw std::runtime_error("parse error in version string");
    return value.get<std::uint32_t>();
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
            if (it != json.end()) *field = jsonNumber(*it);
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
