#pragma once
// Small string and number helpers shared by the whole program.

#include <cstdint>
#include <filesystem>
#include <list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// The ASCII characters that gf_trim removes: blank, tab, line feed, carriage return.
inline constexpr std::string_view gf_blankSet = " \t\n\r";

// UTF-8 <-> UTF-16 (char16_t; wchar_t is 32-bit here). Both reject invalid input with
// std::runtime_error ("utf8_to_wide: invalid UTF-8", "wide_to_utf8: invalid UTF-16").
std::u16string utf8_to_wide(std::string_view text);
std::string wide_to_utf8(std::u16string_view text);
// The number of characters (code points) of a UTF-8 text: every byte that does not continue a
// character counts.
std::size_t gf_utf8Length(std::string_view text);
// The path's text as UTF-8 (paths are byte strings here and are taken as they are).
std::string path_to_utf8(const std::filesystem::path& path);

// True when the text is valid UTF-8 (shortest forms, no surrogates, nothing above U+10FFFF).
bool gf_isValidUtf8(std::string_view text);

// The text without blanks at either end: the blank set, and the Unicode blanks that values read from
// outside files end in (no-break space U+00A0, next line U+0085, U+1680, U+2000..U+200A, U+2028,
// U+2029, U+202F, U+205F, the ideographic space U+3000, and a stray byte-order mark U+FEFF), in UTF-8.
std::string gf_trim(std::string_view text);
// Pieces between delimiters, each trimmed, empty pieces kept; an empty text gives no pieces.
std::vector<std::string> gf_splitAndTrim(std::string_view text, char delimiter);
std::vector<std::string> gf_splitAtComma(std::string_view text);
std::list<std::string> gf_splitAtCommaToList(std::string_view text);
// When the text holds a blank-set character or any non-ASCII byte (it may hold a Unicode blank): its
// trimmed comma pieces joined with ",".
void gf_normalizeCommaList(std::string& text);

// ASCII upper-case of one byte (the C locale's toupper).
char gf_toUpperChar(char c);
// True when `text`, upper-cased byte by byte, equals `upper` (already upper-case).
bool gf_equalsAsUpper(std::string_view upper, std::string_view text);
// True when b equals a followed by "*".
bool gf_equalsWithStar(std::string_view a, std::string_view b);
// True for codes longer than four characters and for BALL, EMER, GLID, GRND, GND, PARA, SERV, SHIP, VENT.
bool gf_isNonAircraftType(std::string_view icaoType);

// Object id as text: decimal for MSFS 2020, lower-case hex otherwise (simulator choice hook).
std::string gf_oid2string(std::uint32_t objectId);
// "{:.1f}" with a fractional part, else "{:.0f}".
std::string gf_float2string(float value);
// part * 100 / whole rounded half away from zero; 0 when whole < 1; gsl::narrowing_error when the
// result does not fit 32 bits.
std::int32_t gf_percentage(std::int64_t part, std::int64_t whole);
inline std::int32_t gf_roundedPercent(std::int64_t part, std::int64_t whole) {
    return gf_percentage(part, whole);
}

// "" for 1 (and, signed, for negative counts), else "s".
std::string_view gf_plural(std::int64_t count);
std::string_view gf_plural(std::int32_t count);
std::string_view gf_plural(std::uint64_t count);

// The banner line of log listings.
std::string gf_starBanner(int widthA, int widthB, bool leadingLineEnd, bool trailingLineEnd,
                          std::string_view text);

// The calling thread's random engine (MT19937, seeded once from std::random_device).
std::mt19937& gf_randomEngine();
// 0 when RANDOM is off or n < 2, else the next engine output modulo n.
std::int64_t gf_randomIndex(std::int64_t n);
// std::shuffle with the thread's engine when RANDOM is on and there is more than one element.
void gf_shuffle(std::vector<std::string>& items);
// x plus or minus x * p / 100, the sign from one random bit; x when p <= 0. Ignores RANDOM.
double gf_varyByPercent(double x, double p);
