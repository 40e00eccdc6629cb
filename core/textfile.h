#pragma once
// Reading text files of any common encoding as UTF-8 lines, and writing the program's own text files
// (UTF-8 without byte-order mark, lines ending in "\n").

#include "core/strings.h" // utf8_to_wide, wide_to_utf8, path_to_utf8

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <list>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

enum class Charset : std::int32_t {
    ANSI = 0,               // not valid UTF-8 and no mark: Windows-1252
    Unicode = 1,            // UTF-16 little endian
    Unicode_big_endian = 2, // UTF-16 big endian
    UTF8_with_BOM = 3,
    UTF8_without_BOM = 4, // also an empty file
    none_found = 5,       // the file could not be opened
};

// The name of a charset ("ANSI", "Unicode", ...); std::out_of_range "invalid map<K, T> key" for a
// code outside 0..5.
std::string_view gf_charsetName(Charset charset);

// Byte-order marks, zero-byte pattern, UTF-8 check of the first 4096 bytes, else ANSI. Never throws.
Charset gf_detectCharset(const std::filesystem::path& path);
// The same detection on a file's bytes already read (at least its first 4097 bytes, or all of it).
Charset gf_detectCharsetOf(std::string_view bytes);

// Clears `lines` (keeping its capacity) and reads the file as UTF-8 lines according to the charset. In a
// file read as UTF-8, a line that is not valid UTF-8 is taken as Windows-1252: every line is UTF-8.
// False when the file cannot be opened or cannot be converted (the latter is shown on the status line
// and logged as "Read failed for '{}': {}"). Never throws.
bool gf_readLinesByCharset(Charset charset, const std::filesystem::path& path,
                           std::vector<std::string>& lines);

// Splits a byte buffer into lines (a leading UTF-8 mark skipped, one trailing "\r" per line removed,
// no empty line after a final "\n") and appends them.
void gf_splitLines(std::string_view buffer, std::vector<std::string>& lines);
// The same lines as views into `buffer`.
void gf_splitLineViews(std::string_view buffer, std::vector<std::string_view>& lines);
// Reads the whole of an open stream and appends its lines.
void gf_readStreamLines(std::istream& in, std::vector<std::string>& lines);
// Reads the whole of an open stream holding UTF-16 (order from its mark, else from the charset) and
// appends its lines as UTF-8. Throws std::runtime_error for an unpaired surrogate.
void gf_readUtf16StreamLines(std::istream& in, std::vector<std::string>& lines, Charset charset);

// True when no byte has its high bit set (the text is ASCII, and so UTF-8 and Windows-1252 alike).
bool gf_isAscii(std::string_view bytes);

// Windows-1252 to UTF-8.
std::string ansi_to_utf8(std::string_view text);

// A text file read as UTF-8 lines.
class TextFile {
public:
    struct Error {
        std::string text; // "open_failed"
    };
    using Result = std::variant<std::span<const std::string>, Error>;

    explicit TextFile(std::filesystem::path p) : path(std::move(p)) {}

    // Clears `lines`, reserves room for `expectedLines` and reads the file (a UTF-8 mark skipped).
    Result readLines(std::size_t expectedLines = 0);

    std::filesystem::path path;
    std::vector<std::string> lines;
};

// Writers. Each replaces the file as a whole (temporary file beside it, renamed over the old one) and
// returns false when the file could not be written completely.
bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool finalLineEnd);
bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);
bool gf_writeLines(const std::list<std::string>& lines, const std::filesystem::path& path);
