#include "liveries/cfg_lines.h"

#include <cstddef>

namespace {

constexpr bool lf_isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr char lf_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t lf_skipBlanks(std::string_view text, std::size_t at) {
    while (at < text.size() && lf_isBlank(text[at]))
        ++at;
    return at;
}

// `lowerWord` (lower case) at `at`, letters in any case.
bool lf_wordAt(std::string_view text, std::size_t at, std::string_view lowerWord) {
    if (text.size() - at < lowerWord.size()) return false;
    for (std::size_t i = 0; i < lowerWord.size(); ++i)
        if (lf_lower(text[at + i]) != lowerWord[i]) return false;
    return true;
}

} // namespace

std::string gf_upperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

std::optional<std::string_view> gf_cfgRawValue(std::string_view line, std::string_view key) {
    std::size_t at = lf_skipBlanks(line, 0);
    if (!lf_wordAt(line, at, key)) return std::nullopt;
    at = lf_skipBlanks(line, at + key.size());
    if (at >= line.size() || line[at] != '=') return std::nullopt;
    at = lf_skipBlanks(line, at + 1);
    std::size_t end = line.size();
    while (end > at && lf_isBlank(line[end - 1]))
        --end;
    if (end == at) return std::nullopt; // no non-blank character after "="
    const std::string_view value = line.substr(at, end - at);
    // Inside the value only line terminators are refused (they end a line for the pattern).
    if (value.find_first_of("\n\r") != std::string_view::npos) return std::nullopt;
    return value;
}

std::string gf_cfgUnquote(std::string_view value) {
    const std::size_t first = value.find('"');
    if (first == std::string_view::npos) return std::string(value);
    const std::size_t second = value.find('"', first + 1);
    if (second == std::string_view::npos) return {};
    return std::string(value.substr(first + 1, second - first - 1));
}

std::optional<std::string> gf_cfgKeyValue(std::string_view line, std::string_view key) {
    const auto raw = gf_cfgRawValue(line, key);
    if (!raw) return std::nullopt;
    return gf_cfgUnquote(*raw);
}

namespace {

bool lf_nonEmptyValue(std::string_view line, std::string_view key, std::string& out,
                      std::size_t minLength = 1) {
    auto value = gf_cfgKeyValue(line, key);
    if (!value || value->size() < minLength) return false;
    out = std::move(*value);
    return true;
}

} // namespace

bool lf_getTitle(std::string_view line, std::string& out) {
    return lf_nonEmptyValue(line, "title", out);
}

bool lf_getTexture(std::string_view line, std::string& out) {
    return lf_nonEmptyValue(line, "texture", out);
}

bool lf_getAtcParkingTypes(std::string_view line, std::string& out) {
    return lf_nonEmptyValue(line, "atc_parking_types", out);
}

bool lf_getAtcId(std::string_view line, std::string& out) {
    return lf_nonEmptyValue(line, "atc_id", out, 5);
}

bool lf_getIcaoAirline(std::string_view line, std::string& out) {
    auto value = gf_cfgKeyValue(line, "icao_airline");
    if (!value) return false;
    if (value->empty() || *value == "ZZZZ")
        out = "ZZZ";
    else
        out = gf_upperAscii(*value);
    return true;
}

std::string lf_icaoTypeDesignatorOf(std::string_view line) {
    const auto value = gf_cfgKeyValue(line, "icao_type_designator");
    if (!value) return {};
    return gf_upperAscii(std::string_view(*value).substr(0, 4));
}

std::optional<std::string> lf_baseContainerValueOf(std::string_view line) {
    return gf_cfgKeyValue(line, "base_container");
}

bool lf_hasAtcIdKey(std::string_view line) {
    return line.find("atc_id=") != std::string_view::npos;
}

bool lf_hasAtcParkingTypesKey(std::string_view line) {
    return line.find("atc_parking_types") != std::string_view::npos;
}

std::string lf_fltsimNumberOf(std::string_view line) {
    if (line.size() >= 2 && line.starts_with("//")) return {};
    if (line.find('[') == std::string_view::npos) return {}; // most lines: no header of any form
    std::size_t at = lf_skipBlanks(line, 0);
    if (lf_wordAt(line, at, "[fltsim.")) {
        at += 8;
        const std::size_t digits = at;
        while (at < line.size() && line[at] >= '0' && line[at] <= '9')
            ++at;
        if (at > digits && at < line.size() && line[at] == ']' && lf_skipBlanks(line, at + 1) == line.size())
            return std::string(line.substr(digits, at - digits));
    }
    if (line.find("[fltsim.") != std::string_view::npos || line.find("[FLTSIM.") != std::string_view::npos)
        return "10000";
    return {};
}
