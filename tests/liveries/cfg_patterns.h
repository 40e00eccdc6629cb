#pragma once
// The ECMAScript patterns that state what the aircraft.cfg line matchers match: the oracle of the
// matcher tests and of the differential fuzz target.

#include <regex>
#include <string>
#include <vector>

namespace cfg_patterns {

struct KeyPattern {
    std::string key;
    std::regex pattern;
};

// One pattern per key the scan reads: the key in any case, blanks around "=", the value up to its last
// non-blank character.
inline const std::vector<KeyPattern>& keyPatterns() {
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

// A "[FLTSIM.N]" section header.
inline const std::regex& headerPattern() {
    static const std::regex pattern(R"(\s*(\[fltsim\.)(\d+)\]\s*)",
                                    std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

} // namespace cfg_patterns
