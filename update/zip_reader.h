#pragma once
// Reading the archives the program downloads (the installer and the companion add-on) over libzip's
// C API. Entry names are not trusted: "\" reads as "/", and an entry that is absolute, climbs with
// "..", is a symbolic link, holds a control character, has no usable file name or declares a size
// above the cap is refused. Only the last name component of an entry is ever used by the callers.
// Contents are streamed in pieces, never read whole, and capped per entry and in total; a checksum
// error fails the entry.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct zip;

struct ZipLimits {
    std::uint64_t maxEntrySize = 16ull << 20;
    std::uint64_t maxTotalSize = 64ull << 20;
    std::uint64_t maxEntries = 10'000;
};

struct ZipEntryInfo {
    std::uint64_t index = 0;
    std::string name;     // the stored name with "\" turned into "/"
    std::string fileName; // the last name component
    std::string stem;     // the file name without its extension
    std::uint64_t size = 0;
    bool folder = false; // a folder entry (name ends in "/"): skipped by the callers
    std::string refusal; // why the entry must not be used; empty when it may
};

// The checks of one name (after "\" became "/"): empty when the name is acceptable, else the reason.
// Exposed for tests; the reader applies it to every entry.
std::string gf_zipNameRefusal(std::string_view name, bool symlink);

class ZipReader {
public:
    // Opens the archive read-only with a consistency check. False (with `error`) when it cannot be
    // opened, is damaged, or holds more entries than the limit.
    bool open(const std::filesystem::path& path, const ZipLimits& limits, std::string* error);
    void close();
    ~ZipReader() { close(); }

    const std::vector<ZipEntryInfo>& entries() const { return entries_; }
    bool anyRefused() const;

    // Streams the entry's content to `sink` in pieces (false from the sink stops with an error).
    // False with `error` on a refused entry, a size above the caps, a checksum or read error.
    bool read(const ZipEntryInfo& entry, const std::function<bool(const char*, std::size_t)>& sink,
              std::string* error);
    // The entry's content into a file (created or truncated; removed again on failure).
    bool extract(const ZipEntryInfo& entry, const std::filesystem::path& target, std::string* error);
    // The entry's content as text.
    bool readText(const ZipEntryInfo& entry, std::string& text, std::string* error);

private:
    zip* archive_ = nullptr;
    ZipLimits limits_;
    std::uint64_t totalRead_ = 0;
    std::vector<ZipEntryInfo> entries_;
};

// Every usable entry read through (checksums verified); refused entries are skipped. False with
// `error` when the archive cannot be opened or an entry does not read back.
bool gf_zipVerify(const std::filesystem::path& path, const ZipLimits& limits, std::string* error);

// The caps of the two archives.
ZipLimits gf_addonZipLimits();
ZipLimits gf_installerZipLimits();
