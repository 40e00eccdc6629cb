// The indexed airport look-ups against the plain scans they replace, over random tables, positions and paths.
#include "core/units.h"
#include "refdata_fixture.h"

#include "refdata/airports.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <random>
#include <string>
#include <vector>

namespace {

// ---- the plain scans
// ----------------------------------------------------------------------------------------

struct Closest {
    const Airport* best = nullptr;
    const Airport* neighbour = nullptr;
};

Closest linearClosest(const Lalo& position) {
    Closest c;
    double best = 100.0;
    for (const Airport& airport : airportTable.records) {
        const double distance = gf_distanceNm(position, Lalo{airport.lat, airport.lon});
        if (distance <= 5.0 && distance < best) {
            best = distance;
            if (c.best != nullptr) c.neighbour = c.best;
            c.best = &airport;
        }
    }
    return c;
}

std::string linearCodeInPath(const std::string& path) {
    std::string text = path;
    std::transform(text.begin(), text.end(), text.begin(), gf_foldAsciiLetter);
    for (const Airport& airport : airportTable.records) {
        if (airport.code.empty()) continue;
        std::string pattern = "-";
        for (const char c : airport.code)
            pattern += gf_foldAsciiLetter(c);
        pattern += '-';
        if (text.find(pattern) != std::string::npos) return airport.code;
    }
    return {};
}

// ---- random tables
// -----------------------------------------------------------------------------------------

class AirportIndexTest : public RefdataTest {
protected:
    std::mt19937 rng{20261210};

    double uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(rng); }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    std::string randomCode() {
        static const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdez0123456789";
        std::string code;
        const int length = 1 + pick(5);
        for (int i = 0; i < length; ++i)
            code += letters[static_cast<std::size_t>(pick(static_cast<int>(letters.size())))];
        if (pick(40) == 0) code.insert(static_cast<std::size_t>(pick(static_cast<int>(code.size()))), "-");
        return code;
    }

    // Airports in clusters (so that several lie within 5 NM of one point), around the poles and the date
    // line, with duplicate codes, codes that differ only in case, codes with hyphens, no code, and a few
    // positions no grid holds.
    void fillTable(int count) {
        std::vector<Lalo> centres;
        for (int i = 0; i < 40; ++i)
            centres.push_back(Lalo{uniform(-70, 70), uniform(-180, 180)});
        centres.push_back(Lalo{89.98, 10});
        centres.push_back(Lalo{-89.95, -100});
        centres.push_back(Lalo{12, 179.99});
        centres.push_back(Lalo{-30, -179.99});
        for (int i = 0; i < count; ++i) {
            Airport a;
            const int kind = pick(100);
            if (kind < 3 && !airportTable.records.empty()) {
                a.code = airportTable.records[static_cast<std::size_t>(pick(i))].code; // duplicate
            } else if (kind < 6 && !airportTable.records.empty()) {
                a.code = airportTable.records[static_cast<std::size_t>(pick(i))].code;
                for (char& c : a.code)
                    c = static_cast<char>(std::islower(static_cast<unsigned char>(c)) ? std::toupper(c)
                                                                                      : std::tolower(c));
            } else if (kind < 7) {
                a.code = "";
            } else {
                a.code = randomCode();
            }
            if (kind == 99) {
                a.lat = pick(2) == 0 ? 95.0 : std::nan("");
                a.lon = uniform(-180, 180);
            } else if (kind < 80) {
                const Lalo& c = centres[static_cast<std::size_t>(pick(static_cast<int>(centres.size())))];
                a.lat = std::clamp(c.lat + uniform(-0.3, 0.3), -90.0, 90.0);
                a.lon = c.lon + uniform(-0.3, 0.3) + (pick(20) == 0 ? 360.0 : 0.0);
            } else {
                a.lat = uniform(-90, 90);
                a.lon = uniform(-180, 180);
            }
            airportTable.records.push_back(a);
            airportTable.codes.insert(a.code);
        }
        std::sort(airportTable.records.begin(), airportTable.records.end(),
                  [](const Airport& x, const Airport& y) { return x.code < y.code; });
        gf_indexAirports();
    }

    // A point near an airport, often just inside the 5 NM limit, or anywhere.
    Lalo randomPosition() {
        const int kind = pick(10);
        if (kind < 7) {
            const Airport& a =
                airportTable
                    .records[static_cast<std::size_t>(pick(static_cast<int>(airportTable.records.size())))];
            if (!std::isfinite(a.lat) || std::abs(a.lat) > 90) return Lalo{a.lat, a.lon};
            const double distanceFeet = (kind < 3 ? uniform(4.97, 5.0) : uniform(0, 6)) * feetPerNm;
            return gf_destinationPoint(Lalo{a.lat, a.lon}, uniform(0, 6.283185307179586), distanceFeet);
        }
        if (kind == 7) return Lalo{uniform(89.9, 90), uniform(-180, 180)};
        return Lalo{uniform(-90, 90), uniform(-200, 200)};
    }

    std::string randomPath() {
        static const std::vector<std::string> words{"community", "scenery", "airport",
                                                    "pub",       "global",  "x.bgl"};
        static const std::vector<std::string> separators{"-", "-", "-", "/", "_", "--", " "};
        std::string path;
        const int parts = 1 + pick(8);
        for (int i = 0; i < parts; ++i) {
            if (pick(2) == 0) {
                std::string code = airportTable
                                       .records[static_cast<std::size_t>(
                                           pick(static_cast<int>(airportTable.records.size())))]
                                       .code;
                for (char& c : code)
                    if (pick(2) == 0) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                path += code;
            } else {
                path += words[static_cast<std::size_t>(pick(static_cast<int>(words.size())))];
            }
            path += separators[static_cast<std::size_t>(pick(static_cast<int>(separators.size())))];
        }
        return path;
    }
};

TEST_F(AirportIndexTest, ClosestAirportMatchesThePlainScan) {
    fillTable(2000);
    // The stand query decides between best and neighbour by code, so that both outcomes occur.
    std::vector<std::string> asked;
    gf_setClosestStandQuery([&](const std::string& code, const Lalo&, std::string& id) {
        asked.push_back(code);
        id = "S1";
        return static_cast<double>(Fnv1aHash{}(code) % 100) / 100.0;
    });
    int found = 0, withNeighbour = 0;
    for (int i = 0; i < 8000; ++i) {
        const Lalo position = randomPosition();
        const Closest expected = linearClosest(position);
        asked.clear();
        const Airport* got = gf_closestAirport(position);
        if (expected.best == nullptr) {
            ASSERT_EQ(got, nullptr) << position.lat << "," << position.lon;
            continue;
        }
        ++found;
        if (expected.neighbour == nullptr) {
            ASSERT_EQ(got, expected.best) << position.lat << "," << position.lon;
            ASSERT_TRUE(asked.empty());
            continue;
        }
        ++withNeighbour;
        ASSERT_EQ(asked, (std::vector<std::string>{expected.best->code, expected.neighbour->code}))
            << position.lat << "," << position.lon;
        const double bestNm = static_cast<double>(Fnv1aHash{}(expected.best->code) % 100) / 100.0;
        const double neighbourNm = static_cast<double>(Fnv1aHash{}(expected.neighbour->code) % 100) / 100.0;
        ASSERT_EQ(got, neighbourNm >= bestNm ? expected.best : expected.neighbour);
    }
    // The table makes every case common enough to count.
    EXPECT_GT(found, 2000) << found;
    EXPECT_GT(withNeighbour, 500) << withNeighbour;
}

TEST_F(AirportIndexTest, CodeInPathMatchesThePlainScan) {
    fillTable(2000);
    int found = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string path = randomPath();
        const std::string expected = linearCodeInPath(path);
        ASSERT_EQ(gf_airportCodeInPath(path), expected) << path;
        found += expected.empty() ? 0 : 1;
    }
    EXPECT_GT(found, 5000);
}

TEST_F(AirportIndexTest, LookUpsFollowTheTableWhenItChanges) {
    airportTable.records.push_back(Airport{"LSZH", "ZRH", 47.4647, 8.5492, 1416, 0});
    gf_indexAirports();
    EXPECT_EQ(gf_airportCodeInPath("a-lszh-b"), "LSZH");
    EXPECT_EQ(gf_closestAirport(Lalo{47.46, 8.55})->code, "LSZH");
    // A table filled further by hand is indexed anew before the next look-up.
    airportTable.records.push_back(Airport{"LSZB", "BRN", 46.9141, 7.4971, 1674, 0});
    EXPECT_EQ(gf_airportCodeInPath("a-lszb-b"), "LSZB");
    EXPECT_EQ(gf_closestAirport(Lalo{46.91, 7.50})->code, "LSZB");
    EXPECT_EQ(gf_closestAirport(Lalo{std::nan(""), 7.50}), nullptr);
}

} // namespace
