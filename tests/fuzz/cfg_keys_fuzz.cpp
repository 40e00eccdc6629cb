// Fuzz target: the key extractors of aircraft.cfg lines against the regular expressions that state
// what they match (differential: the two must agree on every line).

#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "liveries/cfg_lines.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/liveries/cfg_patterns.h"

using cfg_patterns::KeyPattern;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The library's regular expressions recurse per character: lines of a real file are short.
    if (size > 200) return 0;
    const std::string line(reinterpret_cast<const char*>(data), size);
    for (const KeyPattern& p : cfg_patterns::keyPatterns()) {
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
    } else if (std::regex_match(line, match, cfg_patterns::headerPattern())) {
        fuzz_support::require(number == match[2].str());
    } else {
        const bool malformed =
            line.find("[fltsim.") != std::string::npos || line.find("[FLTSIM.") != std::string::npos;
        fuzz_support::require(number == (malformed ? "10000" : ""));
    }
    return 0;
}
