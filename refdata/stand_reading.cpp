#include "refdata/stand_reading.h"

#include "core/geodesy.h"
#include "core/units.h"
#include "refdata/type_lookups.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>

#include <fmt/format.h>

namespace {

bool lf_isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether the name is the wanted one (compared here, not through a library call per name).
bool lf_is(const char* name, const char* wanted) {
    while (*wanted != '\0' && *name == *wanted) {
        ++name;
        ++wanted;
    }
    return *name == *wanted;
}

// Sets `slot` to the attribute unless an earlier one of the name took it.
void lf_take(pugi::xml_attribute& slot, const pugi::xml_attribute& attribute) {
    if (!slot) slot = attribute;
}

} // namespace

StandAttributes gf_standAttributes(const pugi::xml_node& parkpos) {
    StandAttributes found;
    // The end of the list is an empty handle, whose name is "": only then is the handle itself asked.
    for (pugi::xml_attribute a = parkpos.first_attribute();; a = a.next_attribute()) {
        const char* name = a.name();
        if (*name == '\0') {
            if (!a) break;
            continue;
        }
        switch (name[0]) {
        case 'i':
            if (lf_is(name, "id")) lf_take(found.id, a);
            break;
        case 'l':
            if (lf_is(name, "latitude"))
                lf_take(found.latitude, a);
            else if (lf_is(name, "longitude"))
                lf_take(found.longitude, a);
            break;
        case 'h':
            if (lf_is(name, "heading"))
                lf_take(found.heading, a);
            else if (lf_is(name, "heli"))
                lf_take(found.heli, a);
            break;
        case 'r':
            if (lf_is(name, "radius"))
                lf_take(found.radius, a);
            else if (lf_is(name, "ramp"))
                lf_take(found.ramp, a);
            break;
        case 'c':
            if (lf_is(name, "cargo")) lf_take(found.cargo, a);
            break;
        default:
            break;
        }
    }
    return found;
}

OptAttributes gf_optAttributes(const pugi::xml_node& opt) {
    OptAttributes found;
    for (pugi::xml_attribute a = opt.first_attribute();; a = a.next_attribute()) {
        const char* name = a.name();
        if (*name == '\0') {
            if (!a) break;
            continue;
        }
        switch (name[0]) {
        case 'r':
            if (lf_is(name, "reg")) lf_take(found.reg, a);
            break;
        case 'a':
            if (lf_is(name, "airl")) lf_take(found.airl, a);
            break;
        case 't':
            if (lf_is(name, "type")) lf_take(found.type, a);
            break;
        case 's':
            if (lf_is(name, "soft")) lf_take(found.soft, a);
            break;
        case 'd':
            if (lf_is(name, "day")) lf_take(found.day, a);
            break;
        case 'h':
            if (lf_is(name, "hh")) lf_take(found.hh, a);
            break;
        case 'c':
            if (lf_is(name, "cs"))
                lf_take(found.cs, a);
            else if (lf_is(name, "cpl"))
                lf_take(found.cpl, a);
            break;
        default:
            break;
        }
    }
    return found;
}

namespace {

// The number of a value text as gf_finiteNumber reads it; false for none. The usual form (an optional
// minus, at least one digit, optionally a point and at least one digit, at most 15 digits in all, no
// exponent) is read here: its digits make an integer that a double holds exactly, and one division by
// an exact power of ten rounds as from_chars rounds the text. Any other form goes the general way.
bool lf_readNumber(const char* text, double& value) {
    static constexpr double powersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = text;
    const bool negative = *p == '-';
    if (negative) ++p;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    while (lf_isDigit(*p)) {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p++ - '0');
        ++digits;
    }
    bool usual = digits > 0;
    if (usual && *p == '.') {
        ++p;
        while (lf_isDigit(*p)) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p++ - '0');
            ++decimals;
        }
        usual = decimals > 0;
    }
    if (usual && digits + decimals <= 15 && *p != 'e' && *p != 'E') {
        const double magnitude = static_cast<double>(mantissa) / powersOfTen[decimals];
        value = negative ? -magnitude : magnitude;
        return true;
    }
    const auto general = gf_finiteNumber(text);
    if (general) value = *general;
    return general.has_value();
}

// The attribute's number, or `otherwise` (an absent attribute's value() is "", which is no number).
double lf_numberOr(const pugi::xml_attribute& attribute, double otherwise) {
    double value = otherwise;
    return lf_readNumber(attribute.value(), value) ? value : otherwise;
}

} // namespace

std::optional<double> gf_finiteNumberOf(const pugi::xml_attribute& attribute) {
    double value = 0.0;
    if (!lf_readNumber(attribute.value(), value)) return std::nullopt;
    return value;
}

namespace {

// The one radius rule: a finite number within any stand's radius.
bool lf_readRadius(const pugi::xml_attribute& radius, double& metres) {
    return lf_readNumber(radius.value(), metres) && std::abs(metres) <= maxStandRadiusMetres;
}

} // namespace

std::optional<double> gf_standRadiusOf(const pugi::xml_attribute& radius) {
    double metres = 0.0;
    if (!lf_readRadius(radius, metres)) return std::nullopt;
    return metres;
}

HalfHourSet gf_halfHoursOf(const char* text) {
    // "n" or "a:b" in digits only, with slots below 48 and a <= b.
    const auto number = [](const char*& p) {
        unsigned value = 0;
        int digits = 0;
        while (lf_isDigit(*p) && digits < 3) {
            value = value * 10 + static_cast<unsigned>(*p++ - '0');
            ++digits;
        }
        return digits > 0 ? static_cast<int>(value) : -1;
    };
    const char* p = text;
    const int first = number(p);
    int last = first;
    if (first >= 0 && *p == ':') {
        ++p;
        last = number(p);
    }
    if (*p == '\0' && first >= 0 && first <= last && last < 48) {
        const std::uint64_t upTo = (std::uint64_t{1} << (last + 1)) - 1;
        const std::uint64_t below = (std::uint64_t{1} << first) - 1;
        return HalfHourSet(upTo & ~below);
    }
    return gf_hours2bitset(text);
}

OptIdentity gf_optIdentityOf(const OptAttributes& attributes) {
    OptIdentity identity;
    const std::string_view cs = attributes.cs.as_string();
    if (const auto colon = cs.find(':'); colon != std::string_view::npos) {
        identity.cs = cs.substr(0, colon);
        identity.cs2 = cs.substr(colon + 1);
    } else {
        identity.cs = cs;
    }
    const std::string_view reg = attributes.reg.as_string();
    if (!reg.empty()) {
        if (const auto row = gf_findRegRecord(reg)) {
            identity.airl = row->opr.empty() ? row->airl : row->opr;
            identity.type = row->type;
            return identity;
        }
    }
    identity.airl = attributes.airl.as_string();
    identity.type = attributes.type.as_string();
    return identity;
}

namespace {

std::vector<ParkOpt> lf_readOpts(const pugi::xml_node& parkpos, std::uint32_t origin) {
    std::vector<ParkOpt> opts;
    const pugi::xml_node first = parkpos.child("opt");
    if (!first) return opts;
    std::size_t count = 0;
    for (pugi::xml_node opt = first; opt; opt = opt.next_sibling("opt"))
        ++count;
    opts.reserve(count);
    for (pugi::xml_node opt = first; opt; opt = opt.next_sibling("opt")) {
        const OptAttributes attributes = gf_optAttributes(opt);
        const char* hh = attributes.hh.as_string();
        const int day = attributes.day.as_int(0);
        if (*hh == '\0' || day < 1 || day > 7) continue;
        OptIdentity identity = gf_optIdentityOf(attributes);
        ParkOpt& entry = opts.emplace_back();
        entry.airl = std::move(identity.airl);
        entry.type = std::move(identity.type);
        entry.reg = attributes.reg.as_string();
        entry.cs = std::move(identity.cs);
        entry.cs2 = std::move(identity.cs2);
        entry.hh = gf_halfHoursOf(hh);
        entry.seq = static_cast<std::uint32_t>(opts.size());
        entry.day = static_cast<std::uint32_t>(day);
        entry.origin = origin;
        entry.real = attributes.soft.as_bool(false) ? 0 : 1;
        entry.cpl = attributes.cpl.as_bool(false);
    }
    opts.shrink_to_fit();
    return opts;
}

} // namespace

void gf_appendStand(std::vector<ParkPos>& stands, const pugi::xml_node& parkpos,
                    const StandAttributes& attributes, std::string id, std::uint32_t origin) {
    const double lat = lf_numberOr(attributes.latitude, 0.0);
    const double lon = lf_numberOr(attributes.longitude, 0.0);
    if (lat == 0.0 && lon == 0.0) return;
    // Files of other people: a position off the earth is no stand.
    if (std::abs(lat) > 90.0 || std::abs(lon) > 180.0) return;
    // A radius beyond any stand's counts as absent, and a heading is taken within one turn: values of
    // that size would not read back as written after the conversions (metres to nautical miles,
    // degrees to radians) and would drift with every save.
    double radius = 0.0;
    if (!lf_readRadius(attributes.radius, radius)) radius = 0.0;
    double heading = lf_numberOr(attributes.heading, 0.0);
    if (std::abs(heading) > 360.0) heading = std::fmod(heading, 360.0);
    stands.emplace_back(std::move(id), lf_readOpts(parkpos, origin), lat, lon, heading * radiansPerDegree,
                        radius, attributes.cargo.as_bool(false), attributes.ramp.as_bool(false),
                        attributes.heli.as_bool(false));
}

// ---- Stand ids -------------------------------------------------------------------------------------

namespace {

// FNV-1a: ids are short, and a table of this size is not worth a stronger hash.
std::uint64_t lf_hash(std::string_view text) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : text)
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    return h;
}

} // namespace

StandIdSet::StandIdSet(std::size_t expected) {
    std::size_t capacity = 16;
    while (capacity < 2 * expected)
        capacity *= 2;
    slots_.resize(capacity);
    ids_.reserve(expected);
}

std::uint64_t StandIdSet::prepare(std::string_view id) const {
    const std::uint64_t h = lf_hash(id);
    __builtin_prefetch(&slots_[static_cast<std::size_t>(h) & (slots_.size() - 1)]);
    return h;
}

bool StandIdSet::insert(std::string_view id, std::uint64_t h) {
    if (2 * (ids_.size() + 1) > slots_.size()) grow();
    const std::uint64_t fingerprint = h & 0xffffffff00000000ULL;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
        std::uint64_t& slot = slots_[i];
        if (slot == 0) {
            ids_.push_back(id);
            slot = fingerprint | ids_.size();
            return true;
        }
        if ((slot & 0xffffffff00000000ULL) == fingerprint && ids_[(slot & 0xffffffffULL) - 1] == id)
            return false;
    }
}

void StandIdSet::grow() {
    slots_.assign(slots_.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t k = 0; k < ids_.size(); ++k) {
        const std::uint64_t h = lf_hash(ids_[k]);
        std::size_t i = static_cast<std::size_t>(h) & mask;
        while (slots_[i] != 0)
            i = (i + 1) & mask;
        slots_[i] = (h & 0xffffffff00000000ULL) | (k + 1);
    }
}

// ---- Neighbours ------------------------------------------------------------------------------------

namespace {

// Stands larger than this are compared with every other stand; the others only with the stands of the
// grid cells around them. No real stand comes near it: it keeps a file's oversized stand from making the
// cells as large as the airport.
constexpr double largeStandRadiusNm = 0.1;

bool lf_isNeighbour(const ParkPos& a, const ParkPos& b) {
    return a.sid != b.sid && a.radius + b.radius > 1.1 * gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon});
}

// std::remainder(degrees, 360.0), without the library call for the differences of two longitudes of the
// earth: one turn off, subtracted or added, is exact there.
double lf_eastOf(double degrees) {
    if (std::abs(degrees) <= 180.0) return degrees;
    if (degrees > 180.0 && degrees < 540.0) return degrees - 360.0;
    if (degrees < -180.0 && degrees > -540.0) return degrees + 360.0;
    return std::remainder(degrees, 360.0);
}

struct Cell {
    std::int64_t row = 0;
    std::int64_t col = 0;
    bool operator==(const Cell&) const = default;
};

} // namespace

// Two ordinary stands can only be neighbours within twice the largest ordinary radius / 1.1, so they are
// looked for in a grid of cells of that size: each stand is compared with the stands of its own and the
// eight cells around it, and the distance is computed only for a pair that a flat-earth measure (never
// longer than the distance, with a margin) does not already set too far apart. The stands are put in
// their cells by counting, in stand order, without sorting: as one block of cells row by row when the
// block is not much larger than the number of stands, else through a table of buckets (a cell's hash)
// whose stands are compared with their cell before use.
void gf_setNeighbours(std::vector<ParkPos>& stands) {
    const std::size_t n = stands.size();
    std::vector<std::uint32_t> large; // indices
    double maxRadius = 0.0;
    double maxAbsLat = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const ParkPos& s = stands[i];
        if (s.radius > largeStandRadiusNm)
            large.push_back(i);
        else
            maxRadius = std::max(maxRadius, s.radius);
        maxAbsLat = std::max(maxAbsLat, std::abs(s.lat));
    }
    // Cells a little larger than the reach, never so small that their numbers overflow.
    const double cellNm = std::max(2.0 * maxRadius / 1.1 * 1.05, 1e-4);
    const double nmPerDegree = gf_distanceNm({0.0, 0.0}, {1.0, 0.0});
    // East-west distances shrink towards the poles: the narrowest meridian spacing of the stands' band.
    const double cosLat = std::max(std::cos(std::min(maxAbsLat + 0.5, 90.0) * radiansPerDegree), 1e-3);
    const double lon0 = n == 0 ? 0.0 : stands.front().lon;
    // Flat positions in nautical miles: north, and east measured from the first stand (an airport on the
    // date line stays in one piece).
    // Kept apart from the stands, so that the comparisons read only these few bytes of each stand.
    struct Flat {
        double north;
        double east;
        double radius;
        Cell cell;
    };
    std::vector<Flat> flat(n);
    Cell low{INT64_MAX, INT64_MAX};
    Cell high{INT64_MIN, INT64_MIN};
    for (std::size_t i = 0; i < n; ++i) {
        const ParkPos& s = stands[i];
        Flat& f = flat[i];
        f = {s.lat * nmPerDegree, lf_eastOf(s.lon - lon0) * nmPerDegree * cosLat, s.radius, {}};
        f.cell = {static_cast<std::int64_t>(std::floor(f.north / cellNm)),
                  static_cast<std::int64_t>(std::floor(f.east / cellNm))};
        if (s.radius <= largeStandRadiusNm) {
            low = {std::min(low.row, f.cell.row), std::min(low.col, f.cell.col)};
            high = {std::max(high.row, f.cell.row), std::max(high.col, f.cell.col)};
        }
    }
    // The block: one cell more on every side, so that the cells around a stand are always in it.
    const std::uint64_t limit = 4 * static_cast<std::uint64_t>(n) + 1024;
    const std::uint64_t rows = low.row > high.row ? 0 : static_cast<std::uint64_t>(high.row - low.row) + 3;
    const std::uint64_t cols = low.col > high.col ? 0 : static_cast<std::uint64_t>(high.col - low.col) + 3;
    const bool block = rows <= limit && cols <= limit && rows * cols <= limit;
    std::size_t slotCount = 16;
    if (block)
        slotCount = static_cast<std::size_t>(rows * cols);
    else
        while (slotCount < 2 * n)
            slotCount *= 2;
    const auto slotOf = [&](const Cell& c) -> std::size_t {
        if (block)
            return static_cast<std::size_t>((c.row - low.row + 1) * static_cast<std::int64_t>(cols) +
                                            (c.col - low.col + 1));
        const auto h = static_cast<std::uint64_t>(c.row) * 0x9E3779B97F4A7C15ULL ^
                       static_cast<std::uint64_t>(c.col) * 0xC2B2AE3D27D4EB4FULL;
        return static_cast<std::size_t>((h ^ (h >> 29)) & (slotCount - 1));
    };
    // The ordinary stands by slot, each slot's in stand order: slot k holds members[start[k] .. start[k +
    // 1]).
    // Counted one place ahead, so that placing the stands moves each slot's start to its end, which is
    // the next slot's start.
    std::vector<std::uint32_t> start(slotCount + 2, 0);
    std::uint32_t ordinary = 0;
    for (std::uint32_t i = 0; i < n; ++i)
        if (flat[i].radius <= largeStandRadiusNm) {
            ++start[slotOf(flat[i].cell) + 2];
            ++ordinary;
        }
    for (std::size_t k = 2; k < slotCount + 2; ++k)
        start[k] += start[k - 1];
    std::vector<std::uint32_t> members(ordinary);
    for (std::uint32_t i = 0; i < n; ++i)
        if (flat[i].radius <= largeStandRadiusNm) members[start[slotOf(flat[i].cell) + 1]++] = i;

    std::vector<std::uint32_t> found;
    for (std::uint32_t i = 0; i < n; ++i) {
        ParkPos& a = stands[i];
        found.clear();
        if (a.radius > largeStandRadiusNm) {
            for (const ParkPos& b : stands)
                if (lf_isNeighbour(a, b)) found.push_back(b.sid);
            a.adjacent.assign(found.begin(), found.end());
            continue;
        }
        const auto consider = [&](std::uint32_t j) {
            const double reach = (flat[i].radius + flat[j].radius) / 1.1 * 1.01;
            const double dy = flat[j].north - flat[i].north;
            const double dx = flat[j].east - flat[i].east;
            if (reach <= 0.0 || dx * dx + dy * dy >= reach * reach) return;
            if (lf_isNeighbour(a, stands[j])) found.push_back(stands[j].sid);
        };
        const Cell& home = flat[i].cell;
        for (std::int64_t r = home.row - 1; r <= home.row + 1; ++r) {
            if (block) {
                // The three cells of the row are neighbouring slots.
                const std::size_t first = slotOf({r, home.col - 1});
                for (std::uint32_t k = start[first]; k < start[first + 3]; ++k)
                    consider(members[k]);
                continue;
            }
            for (std::int64_t c = home.col - 1; c <= home.col + 1; ++c) {
                const Cell cell{r, c};
                const std::size_t k0 = slotOf(cell);
                for (std::uint32_t k = start[k0]; k < start[k0 + 1]; ++k)
                    if (flat[members[k]].cell == cell) consider(members[k]);
            }
        }
        for (const std::uint32_t j : large)
            if (lf_isNeighbour(a, stands[j])) found.push_back(stands[j].sid);
        std::sort(found.begin(), found.end());
        a.adjacent.assign(found.begin(), found.end());
    }
}

// ---- Stands of a file ------------------------------------------------------------------------------

ParkingFileStands gf_readStandsOf(const pugi::xml_node& section, std::size_t expected, std::size_t) {
    ParkingFileStands read;
    read.stands.reserve(expected);
    // Views into the document, which outlives the reading.
    StandIdSet seen(expected);
    const auto refuse = [&read](std::int32_t number, std::string text) {
        read.errorNumber = number;
        read.refusal = std::move(text);
        return read;
    };
    std::size_t count = 0;
    for (pugi::xml_node parkpos = section.child("parkpos"); parkpos;
         parkpos = parkpos.next_sibling("parkpos")) {
        ++count;
        const StandAttributes attributes = gf_standAttributes(parkpos);
        if (!attributes.id)
            return refuse(93, fmt::format("Parking position #{} has no '{}' attribute.", count, "id"));
        std::string_view id = attributes.id.as_string();
        const auto begin = id.find_first_not_of(" \t\r\n");
        if (begin == std::string_view::npos)
            return refuse(93, fmt::format("Parking position #{} has empty '{}' attribute.", count, "id"));
        id = id.substr(begin, id.find_last_not_of(" \t\r\n") - begin + 1);
        // The id's place in the table is fetched while the stand is read; a repeated id's stand is taken
        // back before the refusal.
        const std::uint64_t hash = seen.prepare(id);
        const std::size_t before = read.stands.size();
        gf_appendStand(read.stands, parkpos, attributes, std::string(id), 1);
        if (!seen.insert(id, hash)) {
            read.stands.erase(read.stands.begin() + static_cast<std::ptrdiff_t>(before), read.stands.end());
            return refuse(94, fmt::format("Parking position '{}' appears more than once.", id));
        }
    }
    return read;
}
