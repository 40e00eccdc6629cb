// Fuzz target: the key extractors of aircraft.cfg lines against the regular expressions that state
// what they match (differential: the two must agree on every line).

#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "liveries/cfg_lines.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct KeyPattern {
    std::string key;
    std::regex pattern;
};

const std::vector<KeyPattern>& lf_keyPatterns() {
    static const std::vector<KeyPattern> patterns = [] {
        std::vector<KeyPattern> list;
        for (const char* key : {"title", "texture", "atc_id", "atc_parking_types", "icao_airline",
                                "icao_type_designator", "base_container"})
            list.push_back({key, std::regex(std::string(R"(\s*()") + key + R"()\s*=\s*(.*\S)\s*)",
                                            std::regex::ECMAScript | std::regex::icase)});
        return list;
    }();
    return patterns;
}

const std::regex headerPattern(R"(\s*(\[fltsim\.)(\d+)\]\s*)", std::regex::ECMAScript | std::regex::icase);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The library's regular expressions recurse per character: lines of a real file are short.
    if (size > 200) return 0;
    const std::string line(reinterpret_cast<const char*>(data), size);
    for (const KeyPattern& p : lf_keyPatterns()) {
        std::smatch match;
        const bool matched = std::regex_match(line, match, p.pattern);
        const auto value = gf_cfgRawValue(line, p.key);
        fuzz_support::require(value.has_value() == matched);
        if (matched) fuzz_support::require(std::string(*value) == match[2].str());
    }
    std::smatch match;
    const std::string number = lf_fltsimNumberOf(line);
    if (line.size() >= 2 && line.starts_with("//")) {
        fuzz_support::require(number.empty());
    } else if (std::regex_match(line, match, headerPattern)) {
        fuzz_support::require(number == match[2].str());
    } else {
        const bool malformed =
            line.find("[fltsim.") != std::string::npos || line.find("[FLTSIM.") != std::string::npos;
        fuzz_support::require(number == (malformed ? "10000" : ""));
    }
    return 0;
}
