#include "refdata/airports.h"

#include "core/units.h"

#include "core/log.h"
#include "core/strings.h"
#include "core/version.h"
#include "refdata/data_files.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <exception>
#include <stdexcept>

AirportTable airportTable;

namespace {

constexpr std::size_t reservedAirports = 15000;
constexpr double closestAirportLimitNm = 5.0;
constexpr double noStandNm = 100.0;

ClosestStandQuery& lf_closestStandQuery() {
    static ClosestStandQuery query;
    return query;
}

double lf_closestStand(const std::string& code, const Lalo& position, std::string& standId) {
    const ClosestStandQuery& query = lf_closestStandQuery();
    return query ? query(code, position, standId) : noStandNm;
}

void lf_readAirportElement(const pugi::xml_node& element) {
    const std::string code = element.attribute("code").as_string();
    const pugi::xml_attribute lat = element.attribute("lat");
    const pugi::xml_attribute lon = element.attribute("lon");
    const pugi::xml_attribute alt = element.attribute("alt");
    const pugi::xml_attribute stands = element.attribute("stands");
    const pugi::xml_attribute iata = element.attribute("iata");
    if (!lat || !lon) {
        gf_logError(fmt::format("Missing latLons for airport '{}'", code));
        return;
    }
    if (!alt) {
        gf_logError(fmt::format("Missing alt for airport '{}'", code));
        return;
    }
    if (!stands) gf_logError(fmt::format("Missing stands for airport '{}'", code));
    if (!iata) {
        gf_logError(fmt::format("Missing IATA for airport '{}'", code));
        return;
    }
    try {
        Airport airport;
        airport.code = code;
        airport.iata = iata.as_string();
        airport.stands = stands.as_int(0);
        airport.alt = alt.as_double(0.0);
        airport.lat = lat.as_double(0.0);
        airport.lon = lon.as_double(0.0);
        airportTable.records.push_back(std::move(airport));
        airportTable.codes.insert(code);
    } catch (const std::exception& e) {
        gf_log(fmt::format("Error parsing coordinates for airport '{}': {}", code, e.what()));
    }
}

void lf_loadAirports(const std::filesystem::path& xmlPath) {
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_file(xmlPath.c_str());
    if (!result) {
        gf_removeIfExists(xmlPath);
        throw std::runtime_error(xmlPath.string() + " not loaded: " + result.description());
    }
    const pugi::xml_node root = doc.child("root");
    const pugi::xml_node airports = (root ? root : doc).child("airports");
    if (!airports) {
        gf_removeIfExists(xmlPath);
        throw std::runtime_error("Missing <airports> root in: " + xmlPath.string());
    }
    for (const pugi::xml_node& element : airports.children("airport"))
        lf_readAirportElement(element);

    auto& records = airportTable.records;
    std::sort(records.begin(), records.end(),
              [](const Airport& a, const Airport& b) { return a.code < b.code; });
    gf_log(fmt::format("{} airports read", records.size()));
    gf_removeIfExists(xmlPath);
    records.shrink_to_fit();
    gf_indexAirports();
}

const AirportIndex& lf_index() {
    if (!airportTable.index.builtFor(airportTable.records)) gf_indexAirports();
    return airportTable.index;
}

} // namespace

std::size_t Fnv1aHash::operator()(std::string_view text) const noexcept {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}

bool gf_readAirports() {
    if (airportTable.loaded) return !airportTable.records.empty();

    const std::filesystem::path encPath = refdataInputFolder() / "airports.enc";
    const std::filesystem::path xmlPath = refdataInputFolder() / "airports.xml";
    try {
        gf_streamDecrypt(encPath, xmlPath);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception : {}", "gf_readAirports", e.what()));
        throw;
    }
    if (airportTable.records.capacity() < reservedAirports) airportTable.records.reserve(reservedAirports);
    try {
        lf_loadAirports(xmlPath);
    } catch (const std::exception& e) {
        gf_removeIfExists(xmlPath);
        throw orv::UserErrorException(88, e.what());
    }
    airportTable.loaded = true;
    return !airportTable.records.empty();
}

std::string gf_airportDisplayName(const Airport& airport) {
    std::string text = airport.code.empty() ? std::string("?") : airport.code;
    if (!airport.iata.empty()) text += fmt::format(" ({})", airport.iata);
    return text;
}

void gf_indexAirports() {
    airportTable.index.build(airportTable.records);
}

const Airport* gf_closestAirport(const Lalo& position) {
    double best = noStandNm;
    const Airport* bestAirport = nullptr;
    const Airport* neighbour = nullptr;
    // Only airports the grid puts near the position can lie within the limit; they are visited in table
    // order, as the choice of the neighbour depends on it.
    thread_local std::vector<std::uint32_t> candidates;
    lf_index().candidatesNear(position, closestAirportLimitNm, candidates);
    for (const std::uint32_t i : candidates) {
        const Airport& airport = airportTable.records[i];
        const double distance = gf_distanceNm(position, Lalo{airport.lat, airport.lon});
        if (distance <= closestAirportLimitNm && distance < best) {
            best = distance;
            if (bestAirport != nullptr) neighbour = bestAirport;
            bestAirport = &airport;
        }
    }
    if (bestAirport == nullptr || neighbour == nullptr) return bestAirport;

    gf_log(fmt::format("Airport {} is closest, neighbour is {}", bestAirport->code, neighbour->code));
    std::string bestStand;
    std::string neighbourStand;
    const double bestStandNm = lf_closestStand(bestAirport->code, position, bestStand);
    const double neighbourStandNm = lf_closestStand(neighbour->code, position, neighbourStand);
    if (neighbourStandNm >= bestStandNm) return bestAirport;
    gf_log(fmt::format(
        "Airport {} is closest, but stand {} at neighbouring airport {} is closer at {:.0F} meters ...",
        bestAirport->code, neighbourStand, neighbour->code, neighbourStandNm * metresPerNm));
    return neighbour;
}

const Airport* gf_findAirport(std::string_view code) {
    for (const Airport& airport : airportTable.records)
        if (airport.code == code) return &airport;
    return nullptr;
}

bool gf_airportExists(const std::string& code) {
    return airportTable.codes.contains(code);
}

std::string gf_airportCodeAtStartOf(std::string_view name) {
    std::string start(name.substr(0, 4));
    for (char& c : start)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // An airport without code would begin every name (and, sorting first, hide all others).
    for (const Airport& airport : airportTable.records)
        if (!airport.code.empty() && start.starts_with(airport.code)) return airport.code;
    return {};
}

std::string gf_airportCodeInPath(const std::filesystem::path& path) {
    std::string text = path_to_utf8(path);
    std::transform(text.begin(), text.end(), text.begin(), gf_foldAsciiLetter);
    const std::uint32_t found = lf_index().codeInPath(text);
    return found == AirportIndex::kNone ? std::string() : airportTable.records[found].code;
}

void gf_setClosestStandQuery(ClosestStandQuery query) {
    lf_closestStandQuery() = std::move(query);
}

void gf_resetAirportTable() {
    airportTable = AirportTable{};
    lf_closestStandQuery() = nullptr;
}
