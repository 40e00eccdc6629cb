#include "refdata/parking_format.h"

#include "core/log.h"
#include "core/strings.h"
#include "core/version.h"
#include "core/xml.h"
#include "refdata/type_lookups.h"

#include <charconv>
#include <cmath>
#include <unordered_set>
#include <utility>

#include <fmt/format.h>

std::vector<ParkPos> parkPositions;

ParkPos::ParkPos(std::string id, std::vector<ParkOpt> opts, double lat, double lon, double heading,
                 double radiusMetres, bool cargo, bool ramp, bool heli)
    : opts(std::move(opts)), id(std::move(id)), lat(lat), lon(lon), heading(heading),
      radius(radiusMetres * nmPerMetre), cargo(cargo), ramp(ramp), heli(heli) {}

void gf_clearParkPositions() {
    parkPositions.clear();
}

namespace {

constexpr std::string_view hoursTag = "gf_hours2bitset";
constexpr std::string_view pieceTag = "operator ()";

// A slot number 0..47 at the start of the trimmed piece (characters after the digits are ignored).
std::optional<std::size_t> lf_slotOf(std::string_view piece) {
    const std::string text = gf_trim(piece);
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end == text.data() || value >= 48) return std::nullopt;
    return value;
}

} // namespace

HalfHourSet gf_hours2bitset(std::string_view text) {
    HalfHourSet set;
    if (text.empty()) return set;
    if (text.find(':') != std::string_view::npos) {
        std::vector<std::size_t> numbers;
        bool invalid = false;
        std::size_t begin = 0;
        while (true) {
            const std::size_t colon = text.find(':', begin);
            const std::string_view piece =
                text.substr(begin, colon == std::string_view::npos ? std::string_view::npos : colon - begin);
            if (numbers.size() >= 2) {
                gf_logError(fmt::format("{} more than one colon char in: {}", hoursTag, text));
                return {};
            }
            if (const auto slot = lf_slotOf(piece)) {
                numbers.push_back(*slot);
            } else {
                gf_logError(fmt::format("{} invalid hour '{}' in {}", pieceTag, piece, text));
                invalid = true;
            }
            if (colon == std::string_view::npos) break;
            begin = colon + 1;
        }
        if (invalid) return {};
        if (numbers.size() == 1) {
            set.set(numbers[0]);
        } else if (numbers.size() == 2) {
            const auto [a, b] = std::pair{numbers[0], numbers[1]};
            if (b < a) {
                gf_logError(
                    fmt::format("{} descending range not allowed ({}:{} in {})", hoursTag, a, b, text));
                return {};
            }
            for (std::size_t n = a; n <= b; ++n)
                set.set(n);
        } else {
            gf_logError(fmt::format("{} invalid range format in {}", hoursTag, text));
            return {};
        }
        return set;
    }
    std::size_t begin = 0;
    while (true) {
        const std::size_t comma = text.find(',', begin);
        const std::string_view piece =
            text.substr(begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin);
        if (const auto slot = lf_slotOf(piece))
            set.set(*slot);
        else
            gf_logError(fmt::format("{} invalid hour '{}' in {}", pieceTag, piece, text));
        if (comma == std::string_view::npos) break;
        begin = comma + 1;
    }
    return set;
}

std::optional<std::string> gf_bitset2hours(const HalfHourSet& set) {
    if (set.none()) return std::nullopt;
    std::size_t low = 0;
    while (!set.test(low))
        ++low;
    std::size_t high = set.size() - 1;
    while (!set.test(high))
        --high;
    if (set.count() == high - low + 1)
        return low == high ? fmt::format("{}", low) : fmt::format("{}:{}", low, high);
    // Not one range: the slots as a list, which the reader also takes.
    std::string text;
    for (std::size_t n = low; n <= high; ++n) {
        if (!set.test(n)) continue;
        if (!text.empty()) text += ',';
        text += fmt::format("{}", n);
    }
    return text;
}

OptIdentity gf_optIdentity(const pugi::xml_node& opt) {
    OptIdentity identity;
    const std::string_view cs = opt.attribute("cs").as_string();
    if (const auto colon = cs.find(':'); colon != std::string_view::npos) {
        identity.cs = cs.substr(0, colon);
        identity.cs2 = cs.substr(colon + 1);
    } else {
        identity.cs = cs;
    }
    const std::string_view reg = opt.attribute("reg").as_string();
    if (!reg.empty()) {
        if (const auto row = gf_findRegRecord(reg)) {
            identity.airl = row->opr.empty() ? row->airl : row->opr;
            identity.type = row->type;
            return identity;
        }
    }
    identity.airl = opt.attribute("airl").as_string();
    identity.type = opt.attribute("type").as_string();
    return identity;
}

std::optional<double> gf_finiteNumber(std::string_view text) {
    // The blanks gf_trim removes, without a copy: files hold thousands of numbers.
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) return std::nullopt;
    const std::string_view trimmed = text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
    double value = 0.0;
    const char* first = trimmed.data();
    if (*first == '+') ++first;
    const auto [end, error] = std::from_chars(first, trimmed.data() + trimmed.size(), value);
    if (error != std::errc{} || end == first || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<double> gf_finiteAttribute(const pugi::xml_node& node, const char* name) {
    const auto attribute = node.attribute(name);
    if (!attribute) return std::nullopt;
    return gf_finiteNumber(attribute.as_string());
}

namespace {

// The attributes of a stand that its reading takes, found in one pass (the first of a name counts, as
// with pugi::xml_node::attribute): a file of thousands of stands would otherwise search each stand's
// attributes once per name.
struct StandAttributes {
    pugi::xml_attribute latitude, longitude, radius, heading, cargo, ramp, heli;
};

StandAttributes lf_standAttributes(const pugi::xml_node& parkpos) {
    using Slot = pugi::xml_attribute StandAttributes::*;
    static constexpr std::pair<std::string_view, Slot> names[] = {
        {"latitude", &StandAttributes::latitude}, {"longitude", &StandAttributes::longitude},
        {"radius", &StandAttributes::radius},     {"heading", &StandAttributes::heading},
        {"cargo", &StandAttributes::cargo},       {"ramp", &StandAttributes::ramp},
        {"heli", &StandAttributes::heli}};
    StandAttributes found;
    for (const pugi::xml_attribute a : parkpos.attributes()) {
        const std::string_view name = a.name();
        for (const auto& [wanted, slot] : names)
            if (name == wanted) {
                if (!(found.*slot)) found.*slot = a;
                break;
            }
    }
    return found;
}

std::optional<double> lf_finite(const pugi::xml_attribute& a) {
    if (!a) return std::nullopt;
    return gf_finiteNumber(a.as_string());
}

std::optional<double> lf_radiusMetres(const pugi::xml_attribute& a) {
    const auto radius = lf_finite(a);
    if (!radius || std::abs(*radius) > maxStandRadiusMetres) return std::nullopt;
    return radius;
}

} // namespace

std::optional<double> gf_standRadiusMetres(const pugi::xml_node& parkpos) {
    return lf_radiusMetres(parkpos.attribute("radius"));
}

void gf_readParkpos(const pugi::xml_node& parkpos, std::string id, std::uint32_t origin) {
    const StandAttributes attributes = lf_standAttributes(parkpos);
    const double lat = lf_finite(attributes.latitude).value_or(0.0);
    const double lon = lf_finite(attributes.longitude).value_or(0.0);
    if (lat == 0.0 && lon == 0.0) return;
    // Files of other people: a position off the earth is no stand.
    if (std::abs(lat) > 90.0 || std::abs(lon) > 180.0) return;
    // A radius beyond any stand's counts as absent, and a heading is taken within one turn: values of
    // that size would not read back as written after the conversions (metres to nautical miles,
    // degrees to radians) and would drift with every save.
    const double radius = lf_radiusMetres(attributes.radius).value_or(0.0);
    double heading = lf_finite(attributes.heading).value_or(0.0);
    if (std::abs(heading) > 360.0) heading = std::fmod(heading, 360.0);
    const bool cargo = attributes.cargo.as_bool(false);
    const bool ramp = attributes.ramp.as_bool(false);
    const bool heli = attributes.heli.as_bool(false);

    std::vector<ParkOpt> opts;
    if (parkpos.child("opt"))
        opts.reserve(static_cast<std::size_t>(
            std::distance(parkpos.children("opt").begin(), parkpos.children("opt").end())));
    for (auto opt : parkpos.children("opt")) {
        OptIdentity identity = gf_optIdentity(opt);
        const std::string_view hh = opt.attribute("hh").as_string();
        const int day = opt.attribute("day").as_int(0);
        if (hh.empty() || day < 1 || day > 7) continue;
        ParkOpt entry;
        entry.airl = std::move(identity.airl);
        entry.type = std::move(identity.type);
        entry.reg = opt.attribute("reg").as_string();
        entry.cs = std::move(identity.cs);
        entry.cs2 = std::move(identity.cs2);
        entry.hh = gf_hours2bitset(hh);
        entry.seq = static_cast<std::uint32_t>(opts.size() + 1);
        entry.day = static_cast<std::uint32_t>(day);
        entry.origin = origin;
        entry.real = opt.attribute("soft").as_bool(false) ? 0 : 1;
        entry.cpl = opt.attribute("cpl").as_bool(false);
        opts.push_back(std::move(entry));
    }
    opts.shrink_to_fit();
    parkPositions.emplace_back(std::move(id), std::move(opts), lat, lon, heading * radiansPerDegree, radius,
                               cargo, ramp, heli);
}

void gf_readParkpositions(const pugi::xml_node& doc) {
    const auto section = gf_rootChild(doc, "parkpositions");
    if (!section) return;
    // Views into the document, which outlives the reading.
    std::unordered_set<std::string_view> seen;
    seen.reserve(static_cast<std::size_t>(
        std::distance(section.children("parkpos").begin(), section.children("parkpos").end())));
    std::size_t count = 0;
    for (auto parkpos : section.children("parkpos")) {
        ++count;
        const auto attribute = parkpos.attribute("id");
        if (!attribute)
            throw orv::UserErrorException(
                93, fmt::format("Parking position #{} has no '{}' attribute.", count, "id"));
        std::string_view id = attribute.as_string();
        const auto first = id.find_first_not_of(" \t\r\n");
        if (first == std::string_view::npos)
            throw orv::UserErrorException(
                93, fmt::format("Parking position #{} has empty '{}' attribute.", count, "id"));
        id = id.substr(first, id.find_last_not_of(" \t\r\n") - first + 1);
        if (!seen.emplace(id).second)
            throw orv::UserErrorException(94,
                                          fmt::format("Parking position '{}' appears more than once.", id));
        gf_readParkpos(parkpos, std::string(id), 1);
    }
}

bool gf_isSameParkOpt(const ParkOpt& a, const ParkOpt& b) {
    return a.day == b.day && a.real == b.real && a.reg == b.reg && a.airl == b.airl && a.type == b.type &&
           (a.hh & b.hh).any();
}
