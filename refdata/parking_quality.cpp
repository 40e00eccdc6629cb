#include "refdata/parking_quality.h"

#include "core/log.h"
#include "core/xml.h"
#include "refdata/airport_files.h"
#include "refdata/data_files.h"
#include "refdata/parking_format.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <fmt/format.h>
#include <gsl/narrow>

namespace {

// What a stand's score counts of its entries of one kind (real or soft).
struct KindCount {
    std::int64_t entries = 0;
    std::int64_t slots = 0;
    std::array<bool, 8> days{};

    // The stand's score for the kind; 0 without such an entry.
    double score() const {
        if (entries == 0) return 0.0;
        const auto dayCount = std::count(days.begin(), days.end(), true);
        return static_cast<double>(std::min<std::int64_t>(20 * entries, 4000) + 10000 + 100 * dayCount +
                                   2 * std::min<std::int64_t>(slots, 600));
    }
};

// The stand's real and soft scores, from one pass over its entries (a file holds thousands).
std::array<double, 2> lf_standScores(const ParkPos& stand) {
    std::array<KindCount, 2> kinds; // soft, real
    for (const ParkOpt& entry : stand.opts) {
        if (entry.seq == 0 || entry.real > 1) continue;
        KindCount& kind = kinds[entry.real];
        ++kind.entries;
        kind.slots += static_cast<std::int64_t>(entry.hh.count());
        if (entry.day >= 1 && entry.day <= 7) kind.days[entry.day] = true;
    }
    return {kinds[1].score(), kinds[0].score()};
}

std::int32_t lf_factor(double scoreSum, std::size_t stands) {
    const double rounded = std::round(scoreSum / static_cast<double>(stands) * 0.00625);
    if (!(std::fabs(rounded) < 2147483648.0)) throw gsl::narrowing_error{};
    return std::clamp(gsl::narrow<std::int32_t>(static_cast<std::int64_t>(rounded)), 0, 100);
}

} // namespace

std::array<double, 2> gf_standScores(const ParkPos& stand) {
    return lf_standScores(stand);
}

// The scores are whole numbers far below 2^53: their sum is the same in any order.
QualityFactors gf_qualityFactorsOfSums(double real, double soft, std::size_t stands, bool anyEntry) {
    if (!anyEntry) return {-1, -1};
    return {lf_factor(real, stands), lf_factor(soft, stands)};
}

QualityFactors gf_qualityFactorsOf(const std::vector<ParkPos>& stands) {
    const bool anyEntry =
        std::any_of(stands.begin(), stands.end(), [](const ParkPos& s) { return !s.opts.empty(); });
    if (!anyEntry) return {-1, -1};
    double real = 0.0;
    double soft = 0.0;
    for (const ParkPos& stand : stands) {
        const auto [realScore, softScore] = lf_standScores(stand);
        real += realScore;
        soft += softScore;
    }
    return gf_qualityFactorsOfSums(real, soft, stands.size(), anyEntry);
}

QualityFactors gf_qualityFactors() {
    return gf_qualityFactorsOf(parkPositions);
}

std::string gf_qualityText() {
    return gf_qualityTextOf(parkQualityFactors);
}

std::string gf_qualityTextOf(const QualityFactors& qf) {
    if (qf.Qf_real < 0 && qf.Qf_soft < 0) return "  ";
    if (qf.Qf_real >= 45) return fmt::format("{:2}", qf.Qf_real);
    return fmt::format("{:2}/{:2}", qf.Qf_real, qf.Qf_soft);
}

double gf_readDestApfForClosestStand(const std::string& code, const Lalo& position, std::string& standId) {
    constexpr double none = 100.0;
    const std::filesystem::path copy = "airport.xml";
    bool fetched = false;
    try {
        const std::string reference = gf_apfRefOf(code);
        if (reference.empty()) return none;
        std::filesystem::path file;
        if (reference.starts_with("airports")) {
            std::string local = reference;
            std::replace(local.begin(), local.end(), '\\', '/');
            file = local;
        } else {
            fetched = true;
            if (!gf_downloadArchivedApf(reference, copy).empty()) return none;
            file = copy;
        }
        double best = none;
        pugi::xml_document doc;
        if (doc.load_file(file.c_str())) {
            for (auto parkpos : gf_rootChild(doc, "parkpositions").children("parkpos")) {
                const double lat = gf_finiteAttribute(parkpos, "latitude").value_or(0.0);
                const double lon = gf_finiteAttribute(parkpos, "longitude").value_or(0.0);
                const double distance = gf_distanceNm(position, {lat, lon});
                if (distance < best) {
                    best = distance;
                    standId = parkpos.attribute("id").as_string();
                }
            }
        }
        // The fetched copy is of no further use, loaded or not.
        if (fetched) std::filesystem::remove(copy);
        return best;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "gf_readDestApfForClosestStand", e.what()));
        return none;
    }
}
