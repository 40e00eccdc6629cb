#include "refdata/apf_writer.h"

#include "core/file_io.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/timeutil.h"
#include "core/version.h"
#include "core/xml.h"
#include "refdata/airl_type_key.h"
#include "refdata/park_airport.h"
#include "refdata/type_lookups.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string_view>
#include <system_error>

#include <fmt/format.h>
#include <gsl/narrow>

namespace {

// The digits of a double in fixed notation with `decimals` digits after the point, exactly rounded
// (a tie goes to the even digit), into `buffer` (at least 64 chars). Returns the end, or nullptr for
// what this path does not take: NaN, infinities, 2^64 and above, more than 17 decimals.
//
// A finite double is m * 2^e with an integer m below 2^53; m * 10^decimals then stays below 2^110, so
// the scaled value and its remainder are exact in 128 bits.
char* lf_fixedDigits(char* buffer, double value, int decimals) {
    if (decimals < 0 || decimals > 17) return nullptr;
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const auto biased = static_cast<int>((bits >> 52) & 0x7ff);
    if (biased == 0x7ff || biased > 1023 + 63) return nullptr;
    __extension__ using u128 = unsigned __int128;
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t mantissa = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int exponent = (biased == 0 ? 1 : biased) - 1075;
    static constexpr std::array<std::uint64_t, 18> powers{1,
                                                          10,
                                                          100,
                                                          1000,
                                                          10000,
                                                          100000,
                                                          1000000,
                                                          10000000,
                                                          100000000,
                                                          1000000000,
                                                          10000000000,
                                                          100000000000,
                                                          1000000000000,
                                                          10000000000000,
                                                          100000000000000,
                                                          1000000000000000,
                                                          10000000000000000,
                                                          100000000000000000};
    u128 scaled = u128{mantissa} * powers[static_cast<std::size_t>(decimals)];
    if (exponent >= 0) {
        scaled <<= exponent; // below 2^64 * 10^17 < 2^128
    } else if (exponent <= -111) {
        scaled = 0; // below half a unit of the last digit
    } else {
        const int shift = -exponent;
        const u128 remainder = scaled & ((u128{1} << shift) - 1);
        const u128 half = u128{1} << (shift - 1);
        scaled >>= shift;
        if (remainder > half || (remainder == half && (scaled & 1) != 0)) ++scaled;
    }
    // The digits from the last one leftwards, two at a time once the rest fits 64 bits; then zeros up
    // to one digit before the point.
    static constexpr char pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    std::array<char, 48> digits;
    char* const last = digits.data() + digits.size();
    char* first = last;
    while (scaled > std::numeric_limits<std::uint64_t>::max()) {
        *--first = static_cast<char>('0' + static_cast<int>(scaled % 10));
        scaled /= 10;
    }
    auto rest = static_cast<std::uint64_t>(scaled);
    while (rest >= 100) {
        first -= 2;
        std::memcpy(first, pairs + 2 * (rest % 100), 2);
        rest /= 100;
    }
    if (rest >= 10) {
        first -= 2;
        std::memcpy(first, pairs + 2 * rest, 2);
    } else {
        *--first = static_cast<char>('0' + rest);
    }
    while (last - first < decimals + 1)
        *--first = '0';
    char* at = buffer;
    if ((bits >> 63) != 0) *at++ = '-';
    const std::ptrdiff_t whole = (last - first) - decimals;
    std::memcpy(at, first, static_cast<std::size_t>(whole));
    at += whole;
    if (decimals > 0) {
        *at++ = '.';
        std::memcpy(at, first + whole, static_cast<std::size_t>(decimals));
        at += decimals;
    }
    return at;
}

} // namespace

void gf_appendFixed(std::string& out, double value, int decimals) {
    // The digits go to a buffer on the stack, then onto the text: growing the text by a margin first
    // would fill the margin with zeros for every number.
    std::array<char, 64> buffer; // a sign, 20 digits before the point, 17 after
    if (const char* end = lf_fixedDigits(buffer.data(), value, decimals)) {
        out.append(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
        return;
    }
    std::array<char, 400> digits; // the longest double in fixed notation with a few decimals
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                      std::chars_format::fixed, decimals);
    if (result.ec == std::errc{})
        out.append(digits.data(), result.ptr);
    else
        fmt::format_to(std::back_inserter(out), "{:.{}f}", value, decimals);
}

namespace {

// Builds an XML document as text, element by element, in the layout pugixml saves with two blanks of
// indent: an element without children ends in " />", one with children gets a closing tag of its own.
// A scan writes thousands of stands: building the text directly is several times faster than a DOM.
class XmlText {
public:
    // Writes into `out`, which it empties first; its room is kept.
    XmlText(std::string& out, std::size_t expectedSize) : out(out) {
        out.clear();
        out.reserve(expectedSize);
    }

    void open(std::string_view name) {
        if (!names.empty() && !hasChildren.back()) {
            out += ">\n";
            hasChildren.back() = true;
        }
        indent();
        out += '<';
        out += name;
        names.push_back(name);
        hasChildren.push_back(false);
    }
    void close() {
        const std::string_view name = names.back();
        const bool children = hasChildren.back();
        names.pop_back();
        hasChildren.pop_back();
        if (!children) {
            out += " />\n";
            return;
        }
        indent();
        out += "</";
        out += name;
        out += ">\n";
    }
    // A value as pugixml escapes it in double quotes; it ends at a NUL, as a C string would.
    void attribute(std::string_view name, std::string_view value) {
        startAttribute(name);
        // Most values need no escape and go in whole.
        const bool plain = std::all_of(value.begin(), value.end(), [](char c) {
            return static_cast<unsigned char>(c) >= 32 && c != '&' && c != '<' && c != '"';
        });
        if (plain)
            out += value;
        else
            gf_appendAttributeText(out, value);
        out += '"';
    }
    void boolAttribute(std::string_view name, bool value) { attribute(name, value ? "true" : "false"); }
    void intAttribute(std::string_view name, std::int64_t value) {
        startAttribute(name);
        fmt::format_to(std::back_inserter(out), "{}", value);
        out += '"';
    }
    // A number with `decimals` digits after the point (fixed notation), as gf_appendFixed writes it.
    void attribute(std::string_view name, double value, int decimals) {
        startAttribute(name);
        gf_appendFixed(out, value, decimals);
        out += '"';
    }
    void parameter(std::string_view key, std::string_view value) {
        open("parameter");
        attribute("name", key);
        attribute("value", value);
        close();
    }
    void intParameter(std::string_view key, std::int64_t value) {
        open("parameter");
        attribute("name", key);
        intAttribute("value", value);
        close();
    }
    void boolParameter(std::string_view key, bool value) { parameter(key, value ? "true" : "false"); }

    std::string& out;

private:
    void indent() { out.append(2 * names.size(), ' '); }
    void startAttribute(std::string_view name) {
        out += ' ';
        out += name;
        out += "=\"";
    }

    std::vector<std::string_view> names;
    std::vector<bool> hasChildren;
};

void lf_appendMeta(XmlText& xml, std::int32_t simKind) {
    MetaData meta;
    meta.setSim(simKind);
    const auto info = [&xml](std::string_view name, std::string_view value) {
        xml.open("info");
        xml.attribute("name", name);
        xml.attribute("value", value);
        xml.close();
    };
    xml.open("meta");
    info("author", gf_productName);
    info("version", gf_programVersion.toString());
    info("date", gf_utcDateNow());
    info("copyright", gf_copyrightText);
    info("sim", fmt::format("{}", meta.sim));
    if (meta.sim <= 0) {
        if (meta.p3d.empty())
            info("MSFS", meta.msfs);
        else
            info("P3D", "v56");
    }
    xml.close();
}

void lf_appendHeader(XmlText& xml, const ApfData& data, int mode) {
    xml.open("parameters");
    xml.parameter("airport_name", data.airport_name);
    xml.parameter("publisher", data.publisher);
    if (handmadeApf) xml.parameter("handmade", "true");
    if (handmadeApf || mode == apfAirportMode) xml.intParameter("altitude", std::int64_t{data.altitude});
    if (mode == apfAirportMode)
        xml.intParameter("num_parkpos", static_cast<std::int64_t>(data.stands.size()));
    if (handmadeApf) {
        xml.intParameter("Qf_real", std::int64_t{data.Qf_real});
        xml.intParameter("Qf_soft", std::int64_t{data.Qf_soft});
    }
    if (data.publisher.empty()) {
        xml.parameter("BGLpath", data.BGLpath);
        xml.parameter("manufacturer", data.manufacturer);
        xml.parameter("creator", data.creator);
    }
    if (mode == apfLearnedMode) {
        // MAX_FIT counts half hours: 24.0 hours are 47.
        const double doubled = std::round(2.0 * static_cast<double>(MAX_FIT_FL.value.load()));
        if (!(std::fabs(doubled) < 2147483648.0)) throw gsl::narrowing_error{};
        const std::int32_t maxFit = gsl::narrow<std::int32_t>(static_cast<std::int64_t>(doubled)) - 1;
        xml.intParameter("RANGE", std::int64_t{RANGE.value.load()});
        xml.boolParameter("AUTO_RANGE", AUTO_RANGE.value.load());
        xml.boolParameter("WEEK", WEEK.value.load());
        xml.boolParameter("PARK_SOFT", PARK_SOFT.value.load());
        xml.intParameter("parking_percentage", std::int64_t{parking_percentage.value.load()});
        xml.boolParameter("INITIAL_LOAD_ONLY", INITIAL_LOAD_ONLY.value.load());
        xml.intParameter("MAX_FIT", std::int64_t{maxFit});
        xml.intParameter("MAX_LIVE_SEL", std::int64_t{MAX_LIVE_SEL.value.load()});
    }
    xml.close();
}

void lf_appendPosition(XmlText& xml, const ParkPos& stand) {
    xml.attribute("latitude", stand.lat, 6);
    xml.attribute("longitude", stand.lon, 6);
    xml.attribute("heading", stand.heading * degreesPerRadian, 1);
    xml.attribute("radius", stand.radius * metresPerNm, 1);
    if (stand.heli)
        xml.attribute("heli", "true");
    else
        xml.boolAttribute("cargo", stand.cargo);
    xml.boolAttribute("ramp", stand.ramp);
    if (stand.manual) xml.attribute("manual", "true");
}

void lf_appendFlights(XmlText& xml, const ParkPos& stand) {
    for (const ParkOpt& entry : stand.opts) {
        if (entry.seq == 0) continue;
        const auto hh = gf_bitset2hours(entry.hh);
        if (!hh) {
            gf_logError(fmt::format("bit set problem: {} {} {}", entry.reg, entry.cs, gf_airlTypeKey(entry)));
            continue;
        }
        xml.open("opt");
        xml.attribute("reg", entry.reg);
        if (!gf_findRegRecord(entry.reg)) {
            xml.attribute("airl", entry.airl);
            xml.attribute("type", entry.type);
        }
        if (entry.real == 0) xml.attribute("soft", "true");
        xml.intAttribute("day", std::int64_t{entry.day});
        xml.attribute("hh", *hh);
        if (!entry.cs.empty()) xml.attribute("cs", entry.cs2.empty() ? entry.cs : entry.cs + ":" + entry.cs2);
        if (entry.cpl) xml.attribute("cpl", "true");
        xml.close();
    }
}

void lf_appendStand(XmlText& xml, const ParkPos& stand, int mode) {
    xml.open("parkpos");
    xml.attribute("id", stand.id);
    if (mode == apfAirportMode) {
        lf_appendPosition(xml, stand);
        xml.close();
        return;
    }
    const bool changed = stand.radius_change || stand.cargo_change;
    if (!changed || stand.manual) {
        if (stand.manual || handmadeApf) lf_appendPosition(xml, stand);
    } else if (handmadeApf) {
        // A handmade file is read back like an airport file: every stand needs its position, which
        // holds the changed radius and cargo use.
        lf_appendPosition(xml, stand);
        if (stand.radius_change) xml.attribute("radius_change", "true");
        if (stand.cargo_change) xml.attribute("cargo_change", "true");
    } else {
        if (stand.radius_change) {
            xml.attribute("radius_change", "true");
            xml.attribute("radius", stand.radius * metresPerNm, 1);
        }
        if (stand.cargo_change) {
            xml.attribute("cargo_change", "true");
            xml.boolAttribute("cargo", stand.cargo);
        }
    }
    lf_appendFlights(xml, stand);
    xml.close();
}

} // namespace

void gf_apfTextInto(std::string& out, const ApfData& data, int mode, std::int32_t simKind) {
    // One allocation for the whole text at most: a stand's line with its position takes about 130
    // characters besides its id, a flight's about 100.
    std::size_t expected = 1024;
    for (const ParkPos& stand : data.stands)
        expected += 136 + stand.id.size() + 112 * stand.opts.size();
    XmlText xml(out, expected);
    xml.out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml.open("root");
    lf_appendMeta(xml, simKind);
    lf_appendHeader(xml, data, mode);
    xml.open("parkpositions");
    for (const ParkPos& stand : data.stands)
        lf_appendStand(xml, stand, mode);
    xml.close();
    xml.close();
}

std::string gf_apfText(const ApfData& data, int mode, std::int32_t simKind) {
    std::string text;
    gf_apfTextInto(text, data, mode, simKind);
    return text;
}

bool gf_writeApf(const ApfData& data, const std::filesystem::path& path, int mode, std::int32_t simKind) {
    const std::string text = gf_apfText(data, mode, simKind);
    if (!path.empty() && path.has_parent_path()) {
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
    }
    return gf_writeFileAtomically(path, text);
}
