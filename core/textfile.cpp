#include "core/textfile.h"

#include "core/file_io.h"
#include "core/hooks.h"

#include <array>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>

namespace {

constexpr std::size_t detectionWindow = 4096;
constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";

// Windows-1252 0x80..0x9F; the five unassigned bytes map to the C1 control of the same value.
constexpr std::array<char16_t, 32> cp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The UTF-8 check of the detection window. `cutByWindow` tells that the file goes on after the window,
// so a sequence cut by the window's end is not judged.
bool validUtf8Window(std::string_view bytes, bool cutByWindow) {
    if (gf_isAscii(bytes)) return true;
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        std::size_t len = 1;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (b0 <= 0x7F) {
            ++i;
            continue;
        }
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            len = 3;
            if (b0 == 0xE0) low = 0xA0;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4;
            if (b0 == 0xF0) low = 0x90;
            if (b0 == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        // A sequence that runs past the window is left unjudged; one cut by the file's end is invalid.
        if (len > n - i) return cutByWindow;
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + k]);
            const unsigned char lo = k == 1 ? low : 0x80;
            const unsigned char hi = k == 1 ? high : 0xBF;
            if (b < lo || b > hi) return false;
        }
        i += len;
    }
    return true;
}

// Opens a file for binary reading. A folder counts as a file that cannot be opened: the stream would
// open it here, and its reported size is meaningless.
bool openForReading(std::ifstream& in, const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    in.open(path, std::ios::binary);
    return in.is_open();
}

bool readWhole(std::istream& in, std::string& buffer) {
    buffer.clear();
    if (in.fail()) return false;
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    if (end <= 0) {
        in.clear();
        in.seekg(0, std::ios::beg);
        return true;
    }
    buffer.resize(static_cast<std::size_t>(end));
    in.seekg(0, std::ios::beg);
    in.read(buffer.data(), end);
    buffer.resize(static_cast<std::size_t>(in.gcount()));
    return true;
}

std::string joinLines(const auto& lines) {
    std::size_t size = 0;
    for (const auto& l : lines)
        size += l.size() + 1;
    std::string content;
    content.reserve(size);
    for (const auto& l : lines) {
        content += l;
        content += '\n';
    }
    return content;
}

} // namespace

std::string_view gf_charsetName(Charset charset) {
    static constexpr std::array<std::string_view, 6> names{
        "ANSI", "Unicode", "Unicode_big_endian", "UTF8_with_BOM", "UTF8_without_BOM", "none_found"};
    const auto code = static_cast<std::int32_t>(charset);
    if (code < 0 || code >= static_cast<std::int32_t>(names.size()))
        throw std::out_of_range("invalid map<K, T> key");
    return names[static_cast<std::size_t>(code)];
}

Charset gf_detectCharset(const std::filesystem::path& path) {
    std::ifstream in;
    if (!openForReading(in, path)) return Charset::none_found;
    std::string window(detectionWindow + 1, '\0');
    in.read(window.data(), static_cast<std::streamsize>(window.size()));
    window.resize(static_cast<std::size_t>(in.gcount()));
    return gf_detectCharsetOf(window);
}

Charset gf_detectCharsetOf(std::string_view bytes) {
    std::string_view window = bytes.substr(0, detectionWindow + 1);
    const std::size_t got = window.size();
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(window[i]); };
    const std::size_t n = std::min<std::size_t>(got, 4);

    if (n >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) return Charset::UTF8_with_BOM;
    if (n >= 2) {
        if (b(0) == 0xFF && b(1) == 0xFE) return Charset::Unicode;
        if (b(0) == 0xFE && b(1) == 0xFF) return Charset::Unicode_big_endian;
        if (b(1) == 0 && (n < 4 || b(3) == 0)) return Charset::Unicode;
        if (b(0) == 0 && (n < 4 || b(2) == 0)) return Charset::Unicode_big_endian;
    }
    const bool longer = got > detectionWindow;
    if (longer) window = window.substr(0, detectionWindow);
    return validUtf8Window(window, longer) ? Charset::UTF8_without_BOM : Charset::ANSI;
}

namespace {

template <class Line> void lf_splitInto(std::string_view buffer, std::vector<Line>& lines) {
    if (buffer.starts_with(utf8Mark)) buffer.remove_prefix(utf8Mark.size());
    std::size_t start = 0;
    while (start < buffer.size()) {
        auto end = buffer.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? buffer.size() : end + 1;
        if (end == std::string_view::npos) end = buffer.size();
        std::string_view line = buffer.substr(start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.emplace_back(line);
        start = next;
    }
}

} // namespace

void gf_splitLines(std::string_view buffer, std::vector<std::string>& lines) {
    lf_splitInto(buffer, lines);
}

void gf_splitLineViews(std::string_view buffer, std::vector<std::string_view>& lines) {
    lf_splitInto(buffer, lines);
}

void gf_readStreamLines(std::istream& in, std::vector<std::string>& lines) {
    std::string buffer;
    if (readWhole(in, buffer) && !buffer.empty()) gf_splitLines(buffer, lines);
}

void gf_readUtf16StreamLines(std::istream& in, std::vector<std::string>& lines, Charset charset) {
    std::string buffer;
    if (!readWhole(in, buffer) || buffer.size() < 2) return;
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(buffer[i]); };
    bool bigEndian = charset == Charset::Unicode_big_endian;
    std::size_t start = 0;
    if (b(0) == 0xFF && b(1) == 0xFE) {
        bigEndian = false;
        start = 2;
    } else if (b(0) == 0xFE && b(1) == 0xFF) {
        bigEndian = true;
        start = 2;
    }
    const std::size_t bytes = buffer.size() - start;
    if (bytes % 2 != 0) return;
    std::u16string wide;
    wide.reserve(bytes / 2);
    for (std::size_t i = start; i < buffer.size(); i += 2) {
        const auto hi = bigEndian ? b(i) : b(i + 1);
        const auto lo = bigEndian ? b(i + 1) : b(i);
        wide.push_back(static_cast<char16_t>((hi << 8) | lo));
    }
    gf_splitLines(wide_to_utf8(wide), lines);
}

bool gf_isAscii(std::string_view bytes) {
    // Eight bytes at a time.
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, 8);
        if ((word & 0x8080808080808080ull) != 0) return false;
    }
    for (; i < bytes.size(); ++i)
        if ((static_cast<unsigned char>(bytes[i]) & 0x80u) != 0) return false;
    return true;
}

std::string ansi_to_utf8(std::string_view text) {
    if (text.empty()) return {};
    std::u16string wide;
    wide.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        wide.push_back(u >= 0x80 && u <= 0x9F ? cp1252High[u - 0x80] : static_cast<char16_t>(u));
    }
    return wide_to_utf8(wide);
}

bool gf_readLinesByCharset(Charset charset, const std::filesystem::path& path,
                           std::vector<std::string>& lines) {
    lines.clear();
    try {
        switch (charset) {
        case Charset::Unicode:
        case Charset::Unicode_big_endian: {
            std::ifstream in;
            if (!openForReading(in, path)) return false;
            gf_readUtf16StreamLines(in, lines, charset);
            return true;
        }
        case Charset::UTF8_without_BOM:
        case Charset::UTF8_with_BOM: {
            std::ifstream in;
            if (!openForReading(in, path)) return false;
            gf_readStreamLines(in, lines);
            if (charset == Charset::UTF8_with_BOM && !lines.empty() && lines.front().starts_with(utf8Mark))
                lines.front().erase(0, utf8Mark.size());
            // The charset was judged on the first 4096 bytes only: a line further on that is not UTF-8
            // (a Windows-1252 text after a long ASCII head) is read as Windows-1252, so that no invalid
            // byte reaches the program's own files.
            for (std::string& line : lines)
                if (!gf_isValidUtf8(line)) line = ansi_to_utf8(line);
            return true;
        }
        case Charset::ANSI: {
            std::ifstream in;
            if (!openForReading(in, path)) return false;
            std::vector<std::string> raw;
            gf_readStreamLines(in, raw);
            lines.reserve(raw.size());
            for (const auto& line : raw)
                lines.push_back(ansi_to_utf8(line));
            return true;
        }
        default:
            throw std::runtime_error(
                fmt::format("file {} has unknown charset: {}", path_to_utf8(path), gf_charsetName(charset)));
        }
    } catch (const std::exception& e) {
        lines.clear();
        gf_showMessage(fmt::format("Read failed for '{}': {}", path_to_utf8(path), e.what()), true);
        return false;
    }
}

TextFile::Result TextFile::readLines(std::size_t expectedLines) {
    lines.clear();
    lines.reserve(expectedLines);
    std::ifstream in;
    if (!openForReading(in, path)) return Error{"open_failed"};
    gf_readStreamLines(in, lines);
    return std::span<const std::string>(lines);
}

bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool finalLineEnd) {
    if (!finalLineEnd) return gf_writeFileAtomically(path, text);
    std::string content;
    content.reserve(text.size() + 1);
    content += text;
    content += '\n';
    return gf_writeFileAtomically(path, content);
}

bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path) {
    return gf_writeFileAtomically(path, joinLines(lines));
}

bool gf_writeLines(const std::list<std::string>& lines, const std::filesystem::path& path) {
    return gf_writeFileAtomically(path, joinLines(lines));
}
