#include "refdata/parking_format.h"

#include "core/log.h"
#include "core/strings.h"
#include "core/version.h"
#include "core/xml.h"
#include "refdata/stand_reading.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
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
    return gf_optIdentityOf(gf_optAttributes(opt));
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

std::optional<double> gf_standRadiusMetres(const pugi::xml_node& parkpos) {
    return gf_standRadiusOf(parkpos.attribute("radius"));
}

void gf_readParkpos(const pugi::xml_node& parkpos, std::string id, std::uint32_t origin) {
    gf_appendStand(parkPositions, parkpos, gf_standAttributes(parkpos), std::move(id), origin);
}

ParkingFileStands gf_parseParkpositions(const pugi::xml_node& doc) {
    const auto section = gf_rootChild(doc, "parkpositions");
    if (!section) return {};
    // The count the file's header gives, as a first size only (the file may give any number, or none).
    const auto stated = gf_readIntParameter(doc, "num_parkpos").value_or(0);
    return gf_readStandsOf(section, static_cast<std::size_t>(std::clamp(stated, 0, 20000)),
                           allReadingThreads);
}

void gf_readParkpositions(const pugi::xml_node& doc) {
    ParkingFileStands read = gf_parseParkpositions(doc);
    if (parkPositions.empty())
        parkPositions.swap(read.stands);
    else
        parkPositions.insert(parkPositions.end(), std::make_move_iterator(read.stands.begin()),
                             std::make_move_iterator(read.stands.end()));
    if (read.refused()) throw orv::UserErrorException(read.errorNumber, read.refusal);
}

bool gf_isSameParkOpt(const ParkOpt& a, const ParkOpt& b) {
    return a.day == b.day && a.real == b.real && a.reg == b.reg && a.airl == b.airl && a.type == b.type &&
           (a.hh & b.hh).any();
}
