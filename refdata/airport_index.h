#pragma once
// Look-up indexes over the airports table, built once after the table is read: airport codes by the
// tokens of a scenery path, and airport positions in a latitude/longitude grid.

#include "core/geodesy.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct Airport;

class AirportIndex {
public:
    // Indexes `records` as they stand; records that change afterwards need a new build.
    void build(const std::vector<Airport>& records);
    // Whether the index was built for these very records.
    // (Out of line: Airport is incomplete here, which clang refuses for the vector's size.)
    bool builtFor(const std::vector<Airport>& records) const;

    // Table positions, ascending, of every airport that may lie within `radiusNm` of the position
    // (a superset of those that do); radiusNm must not exceed kMaxRadiusNm.
    void candidatesNear(const Lalo& position, double radiusNm, std::vector<std::uint32_t>& out) const;

    // The table position of the first airport whose code stands between two hyphens in `foldedPath`
    // (A-Z already folded to a-z), or kNone.
    std::uint32_t codeInPath(std::string_view foldedPath) const;

    static constexpr std::uint32_t kNone = 0xffffffffu;
    static constexpr double kMaxRadiusNm = 60.0;

private:
    struct Cell {
        std::uint32_t key;   // row * kColumns + column
        std::uint32_t index; // table position
    };

    bool built_ = false;
    const Airport* records_ = nullptr;
    std::size_t count_ = 0;
    std::vector<Cell> cells_;            // sorted by key, then table position
    std::vector<std::uint32_t> offGrid_; // positions the grid cannot place: always candidates
    std::unordered_map<std::string, std::uint32_t> codes_; // folded code -> first table position
    std::vector<std::uint32_t> hyphenCodes_;               // codes holding a hyphen: searched in full
    std::vector<std::string> foldedHyphenCodes_;
};

// A-Z to a-z; every other byte unchanged.
inline char gf_foldAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
