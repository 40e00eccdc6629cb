#include "core/strings.h"

#include "core/hooks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>
#include <gsl/narrow>

namespace {

bool randomOn() {
    const auto& hook = gf_coreHooks().randomEnabled;
    return hook ? hook() : true;
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The code point of the UTF-8 sequence at text[i] and its length; nothing when the bytes there are
// not a valid sequence.
std::optional<std::pair<char32_t, std::size_t>> lf_decodeUtf8(std::string_view text, std::size_t i) {
    const std::size_t n = text.size();
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) return std::pair<char32_t, std::size_t>{b0, 1};
    std::size_t len = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (n - i < len) return std::nullopt;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if (!isContinuation(b)) return std::nullopt;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return std::pair<char32_t, std::size_t>{cp, len};
}

// The UTF-8 forms of the non-ASCII blanks that gf_trim removes.
constexpr std::array<std::string_view, 20> unicodeBlanks{
    "\xC2\xA0",     "\xC2\x85",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
    "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
    "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
    "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80", "\xEF\xBB\xBF",
};

// The length of the blank that starts (or, with `atEnd`, ends) the text; 0 for none.
std::size_t lf_blankLength(std::string_view text, bool atEnd) {
    if (text.empty()) return 0;
    const char edge = atEnd ? text.back() : text.front();
    if (gf_blankSet.find(edge) != std::string_view::npos) return 1;
    if (static_cast<unsigned char>(edge) < 0x80) return 0;
    for (const std::string_view blank : unicodeBlanks)
        if (atEnd ? text.ends_with(blank) : text.starts_with(blank)) return blank.size();
    return 0;
}

} // namespace

bool gf_isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto decoded = lf_decodeUtf8(text, i);
        if (!decoded) return false;
        i += decoded->second;
    }
    return true;
}

std::u16string utf8_to_wide(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const auto decoded = lf_decodeUtf8(text, i);
        if (!decoded) throw std::runtime_error("utf8_to_wide: invalid UTF-8");
        char32_t cp = decoded->first;
        const std::size_t len = decoded->second;
        if (cp < 0x80) {
            out.push_back(static_cast<char16_t>(cp));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string wide_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3 / 2);
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= n || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                throw std::runtime_error("wide_to_utf8: invalid UTF-16");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            throw std::runtime_error("wide_to_utf8: invalid UTF-16");
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::size_t gf_utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0U) != 0x80U) ++n;
    return n;
}

std::string path_to_utf8(const std::filesystem::path& path) {
    return path.string();
}

std::string gf_trim(std::string_view text) {
    while (const std::size_t n = lf_blankLength(text, false))
        text.remove_prefix(n);
    while (const std::size_t n = lf_blankLength(text, true))
        text.remove_suffix(n);
    return std::string(text);
}

std::vector<std::string> gf_splitAndTrim(std::string_view text, char delimiter) {
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    pieces.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), delimiter)) + 1);
    std::size_t start = 0;
    while (true) {
        const auto pos = text.find(delimiter, start);
        if (pos == std::string_view::npos) {
            pieces.push_back(gf_trim(text.substr(start)));
            break;
        }
        pieces.push_back(gf_trim(text.substr(start, pos - start)));
        start = pos + 1;
    }
    return pieces;
}

std::vector<std::string> gf_splitAtComma(std::string_view text) {
    return gf_splitAndTrim(text, ',');
}

std::list<std::string> gf_splitAtCommaToList(std::string_view text) {
    auto pieces = gf_splitAtComma(text);
    return {std::make_move_iterator(pieces.begin()), std::make_move_iterator(pieces.end())};
}

void gf_normalizeCommaList(std::string& text) {
    const bool nonAscii =
        std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (text.empty() || (!nonAscii && text.find_first_of(gf_blankSet) == std::string::npos)) return;
    text = fmt::format("{}", fmt::join(gf_splitAtComma(text), ","));
}

char gf_toUpperChar(char c) {
    // ASCII only, independent of the process locale.
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool gf_equalsAsUpper(std::string_view upper, std::string_view text) {
    if (upper.size() != text.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (gf_toUpperChar(text[i]) != upper[i]) return false;
    return true;
}

bool gf_equalsWithStar(std::string_view a, std::string_view b) {
    return b.size() == a.size() + 1 && b.back() == '*' && b.substr(0, a.size()) == a;
}

bool gf_isNonAircraftType(std::string_view icaoType) {
    static constexpr std::array<std::string_view, 9> codes{"BALL", "EMER", "GLID", "GRND", "GND",
                                                           "PARA", "SERV", "SHIP", "VENT"};
    if (icaoType.size() > 4) return true;
    return std::find(codes.begin(), codes.end(), icaoType) != codes.end();
}

std::string gf_oid2string(std::uint32_t objectId) {
    const auto& hook = gf_coreHooks().simulatorIs2020;
    const bool is2020 = hook ? hook() : true;
    return is2020 ? fmt::format("{}", objectId) : fmt::format("{:x}", objectId);
}

std::string gf_float2string(float value) {
    if (std::trunc(value) != value) return fmt::format("{:.1f}", value);
    return fmt::format("{:.0f}", value);
}

std::int32_t gf_percentage(std::int64_t part, std::int64_t whole) {
    if (whole < 1) return 0;
    const double rounded = std::round(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    // Beyond the 64-bit range the conversion itself would be undefined.
    if (!(std::fabs(rounded) < 9.0e18)) throw gsl::narrowing_error{};
    return gsl::narrow<std::int32_t>(static_cast<std::int64_t>(rounded));
}

std::string_view gf_plural(std::int64_t count) {
    return count == 1 || count < 0 ? "" : "s";
}
std::string_view gf_plural(std::int32_t count) {
    return count == 1 || count < 0 ? "" : "s";
}
std::string_view gf_plural(std::uint64_t count) {
    return count == 1 ? "" : "s";
}

std::string gf_starBanner(int widthA, int widthB, bool leadingLineEnd, bool trailingLineEnd,
                          std::string_view text) {
    std::string out = leadingLineEnd ? "\n" : "";
    int width = std::max(0, widthA + widthB);
    if (width % 2 != 0) ++width;
    const auto w = static_cast<std::size_t>(width);
    if (text.empty()) {
        out.append(w, '*');
    } else if (w > text.size() + 2) {
        const std::size_t stars = w / 2 - 1;
        out.append(stars, '*');
        out += ' ';
        out += text;
        out += ' ';
        out.append(stars, '*');
    } else {
        out += text;
    }
    if (trailingLineEnd) out += '\n';
    return out;
}

std::mt19937& gf_randomEngine() {
    thread_local std::mt19937 engine{std::random_device{}()};
    return engine;
}

std::int64_t gf_randomIndex(std::int64_t n) {
    if (n < 2 || !randomOn()) return 0;
    return static_cast<std::int64_t>(gf_randomEngine()() % static_cast<std::uint64_t>(n));
}

void gf_shuffle(std::vector<std::string>& items) {
    if (items.size() > 1 && randomOn()) std::shuffle(items.begin(), items.end(), gf_randomEngine());
}

double gf_varyByPercent(double x, double p) {
    const bool minus = (gf_randomEngine()() & 1u) != 0;
    if (p <= 0.0) return x;
    const double delta = x * p / 100.0;
    return minus ? x - delta : x + delta;
}
