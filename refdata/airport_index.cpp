#include "refdata/airport_index.h"

#include "core/units.h"
#include "refdata/airports.h"

#include <algorithm>
#include <cmath>

namespace {

// Grid cells of a quarter degree: a 5 NM circle touches one to four of them away from the poles.
constexpr double cellDeg = 0.25;
constexpr int rows = 720;     // 180 / cellDeg
constexpr int columns = 1440; // 360 / cellDeg
constexpr double nmPerDegree = 60.0;
// The search window is widened a little beyond the exact bound, so that rounding never drops an
// airport that the exact distance takes.
constexpr double widening = 1.01;

// Longitude in [-180, 180).
double lf_normalLon(double lon) {
    double l = std::fmod(lon + 180.0, 360.0);
    if (l < 0.0) l += 360.0;
    return l - 180.0;
}

int lf_row(double lat) {
    return std::clamp(static_cast<int>(std::floor((lat + 90.0) / cellDeg)), 0, rows - 1);
}

int lf_column(double normalLon) {
    return std::clamp(static_cast<int>(std::floor((normalLon + 180.0) / cellDeg)), 0, columns - 1);
}

bool lf_onGrid(const Airport& a) {
    return std::isfinite(a.lat) && std::isfinite(a.lon) && std::abs(a.lat) <= 90.0;
}

} // namespace

bool AirportIndex::builtFor(const std::vector<Airport>& records) const {
    return built_ && records_ == records.data() && count_ == records.size();
}

void AirportIndex::build(const std::vector<Airport>& records) {
    cells_.clear();
    offGrid_.clear();
    codes_.clear();
    hyphenCodes_.clear();
    foldedHyphenCodes_.clear();
    cells_.reserve(records.size());
    codes_.reserve(records.size());
    for (std::uint32_t i = 0; i < records.size(); ++i) {
        const Airport& a = records[i];
        if (lf_onGrid(a)) {
            const auto key =
                static_cast<std::uint32_t>(lf_row(a.lat) * columns + lf_column(lf_normalLon(a.lon)));
            cells_.push_back(Cell{key, i});
        } else {
            offGrid_.push_back(i);
        }
        if (a.code.empty()) continue; // "--" names no airport
        std::string folded = a.code;
        std::transform(folded.begin(), folded.end(), folded.begin(), gf_foldAsciiLetter);
        if (folded.find('-') != std::string::npos) {
            hyphenCodes_.push_back(i);
            foldedHyphenCodes_.push_back(std::move(folded));
        } else {
            codes_.try_emplace(std::move(folded), i); // the first in table order keeps the code
        }
    }
    std::sort(cells_.begin(), cells_.end(), [](const Cell& x, const Cell& y) {
        return x.key != y.key ? x.key < y.key : x.index < y.index;
    });
    records_ = records.data();
    count_ = records.size();
    built_ = true;
}

void AirportIndex::candidatesNear(const Lalo& position, double radiusNm,
                                  std::vector<std::uint32_t>& out) const {
    out.clear();
    // No distance to a position that is not a number is ever within reach.
    if (!std::isfinite(position.lat) || !std::isfinite(position.lon)) return;
    if (std::abs(position.lat) > 90.0 || radiusNm > kMaxRadiusNm) {
        for (std::uint32_t i = 0; i < count_; ++i)
            out.push_back(i);
        return;
    }
    const double deltaDeg = radiusNm / nmPerDegree * widening;
    // One cell more on every side: a point on a cell's edge may round into its neighbour.
    const int rowLow = std::max(0, lf_row(position.lat - deltaDeg) - 1);
    const int rowHigh = std::min(rows - 1, lf_row(position.lat + deltaDeg) + 1);

    // Within the distance, sin(dLon/2) <= sin(delta/2) / sqrt(cos(lat1) * cos(lat2)), and lat2 is at most
    // delta further from the equator than lat1.
    const double farLat = std::min(90.0, std::abs(position.lat) + deltaDeg);
    const double cosProduct = std::cos(position.lat * radiansPerDegree) * std::cos(farLat * radiansPerDegree);
    const double s = std::sin(deltaDeg * radiansPerDegree / 2.0);
    double halfLonDeg = 180.0;
    if (cosProduct > 0.0 && s * s < cosProduct)
        halfLonDeg = 2.0 * std::asin(s / std::sqrt(cosProduct)) / radiansPerDegree * widening;
    const double lon = lf_normalLon(position.lon);
    int colLow = static_cast<int>(std::floor((lon - halfLonDeg + 180.0) / cellDeg)) - 1;
    int colHigh = static_cast<int>(std::floor((lon + halfLonDeg + 180.0) / cellDeg)) + 1;
    if (halfLonDeg >= 180.0 || colHigh - colLow + 1 >= columns) {
        colLow = 0;
        colHigh = columns - 1;
    }

    auto collect = [&](int row, int from, int to) {
        const auto first = static_cast<std::uint32_t>(row * columns + from);
        const auto last = static_cast<std::uint32_t>(row * columns + to);
        auto it = std::lower_bound(cells_.begin(), cells_.end(), first,
                                   [](const Cell& c, std::uint32_t key) { return c.key < key; });
        for (; it != cells_.end() && it->key <= last; ++it)
            out.push_back(it->index);
    };
    for (int row = rowLow; row <= rowHigh; ++row) {
        // The window may run over the date line on either side.
        if (colLow < 0) {
            collect(row, colLow + columns, columns - 1);
            collect(row, 0, colHigh);
        } else if (colHigh >= columns) {
            collect(row, colLow, columns - 1);
            collect(row, 0, colHigh - columns);
        } else {
            collect(row, colLow, colHigh);
        }
    }
    out.insert(out.end(), offGrid_.begin(), offGrid_.end());
    std::sort(out.begin(), out.end());
}

std::uint32_t AirportIndex::codeInPath(std::string_view foldedPath) const {
    std::uint32_t best = kNone;
    // A code without hyphen stands between two hyphens only as the whole text between two neighbouring ones.
    std::string token;
    std::size_t at = foldedPath.find('-');
    while (at != std::string_view::npos) {
        const std::size_t next = foldedPath.find('-', at + 1);
        if (next == std::string_view::npos) break;
        if (next > at + 1) {
            token.assign(foldedPath.substr(at + 1, next - at - 1));
            const auto found = codes_.find(token);
            if (found != codes_.end()) best = std::min(best, found->second);
        }
        at = next;
    }
    for (std::size_t k = 0; k < hyphenCodes_.size() && hyphenCodes_[k] < best; ++k) {
        const std::string pattern = "-" + foldedHyphenCodes_[k] + "-";
        if (foldedPath.find(pattern) != std::string_view::npos) return hyphenCodes_[k];
    }
    return best;
}
