#include "core/version.h"

#include "core/log.h"

#include <charconv>
#include <regex>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

const VersionData gf_programVersion{11, 10, 5};

namespace {

std::uint32_t parseRun(const std::string& digits) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc{} || end != digits.data() + digits.size())
        throw std::runtime_error("parse error in version string");
    return value;
}

} // namespace

VersionData::VersionData(std::string_view text) {
    if (text.empty()) return;
    try {
        static const std::regex pattern("(\\d+).(\\d+).(\\d+)", std::regex::ECMAScript);
        const std::string s(text);
        std::smatch m;
        if (std::regex_match(s, m, pattern)) {
            major = parseRun(m[1].str());
            minor = parseRun(m[2].str());
            patch = parseRun(m[3].str());
            return;
        }
        const auto json = nlohmann::json::parse(s);
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
