#include "update/zip_reader.h"

#include <array>
#include <cstdio>
#include <sys/stat.h>

#include <fmt/format.h>
#include <zip.h>

namespace {

std::string lf_zipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

void lf_setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

bool lf_isDriveLetter(std::string_view name) {
    return name.size() >= 2 && name[1] == ':' &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

} // namespace

std::string gf_zipNameRefusal(std::string_view name, bool symlink) {
    if (name.empty()) return "empty name";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) return "control character in the name";
    }
    if (name.front() == '/') return "absolute path";
    if (lf_isDriveLetter(name)) return "absolute path";
    if (symlink) return "symbolic link";
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        if (name.substr(start, end - start) == "..") return "\"..\" in the path";
        start = end + 1;
    }
    if (name.back() == '/') return {}; // a folder entry
    const std::string_view fileName = name.substr(name.rfind('/') + 1);
    const std::size_t dot = fileName.rfind('.');
    const std::string_view stem = dot == std::string_view::npos ? fileName : fileName.substr(0, dot);
    if (stem.empty() || stem == "." || stem == "..") return "no usable file name";
    return {};
}

bool ZipReader::open(const std::filesystem::path& path, const ZipLimits& limits, std::string* error) {
    close();
    limits_ = limits;
    totalRead_ = 0;
    int code = 0;
    archive_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!archive_) {
        lf_setError(error, lf_zipErrorText(code));
        return false;
    }
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits_.maxEntries) {
        lf_setError(error, fmt::format("{} entries, more than {}", count, limits_.maxEntries));
        close();
        return false;
    }
    entries_.reserve(static_cast<std::size_t>(count));
    std::uint64_t declaredTotal = 0;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        ZipEntryInfo entry;
        entry.index = i;
        zip_stat_t st;
        zip_stat_init(&st);
        const bool statOk =
            zip_stat_index(archive_, i, ZIP_FL_ENC_GUESS, &st) == 0 && (st.valid & ZIP_STAT_NAME);
        if (statOk) entry.name = st.name;
        for (char& c : entry.name)
            if (c == '\\') c = '/';
        entry.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
        zip_uint8_t opsys = 0;
        zip_uint32_t attributes = 0;
        bool symlink = false;
        if (zip_file_get_external_attributes(archive_, i, 0, &opsys, &attributes) == 0 &&
            opsys == ZIP_OPSYS_UNIX)
            symlink = S_ISLNK(static_cast<mode_t>(attributes >> 16));
        entry.refusal = statOk ? gf_zipNameRefusal(entry.name, symlink) : "unreadable entry";
        entry.folder = entry.refusal.empty() && entry.name.back() == '/';
        if (entry.refusal.empty() && !entry.folder) {
            entry.fileName = entry.name.substr(entry.name.rfind('/') + 1);
            const std::size_t dot = entry.fileName.rfind('.');
            entry.stem = dot == std::string::npos ? entry.fileName : entry.fileName.substr(0, dot);
            if (entry.size > limits_.maxEntrySize) {
                entry.refusal =
                    fmt::format("size {} above the limit of {}", entry.size, limits_.maxEntrySize);
            } else {
                declaredTotal += entry.size;
                if (declaredTotal > limits_.maxTotalSize)
                    entry.refusal =
                        fmt::format("the archive unpacks to more than {} bytes", limits_.maxTotalSize);
            }
        }
        entries_.push_back(std::move(entry));
    }
    return true;
}

void ZipReader::close() {
    if (archive_) zip_discard(archive_);
    archive_ = nullptr;
    entries_.clear();
}

bool ZipReader::anyRefused() const {
    for (const auto& entry : entries_)
        if (!entry.refusal.empty()) return true;
    return false;
}

bool ZipReader::read(const ZipEntryInfo& entry, const std::function<bool(const char*, std::size_t)>& sink,
                     std::string* error) {
    if (!archive_) {
        lf_setError(error, "archive not open");
        return false;
    }
    if (!entry.refusal.empty()) {
        lf_setError(error, entry.refusal);
        return false;
    }
    zip_file_t* file = zip_fopen_index(archive_, entry.index, 0);
    if (!file) {
        lf_setError(error, zip_strerror(archive_));
        return false;
    }
    std::array<char, 64 * 1024> buffer;
    std::uint64_t entryRead = 0;
    bool ok = true;
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
        if (n < 0) {
            lf_setError(error, zip_error_strerror(zip_file_get_error(file)));
            ok = false;
            break;
        }
        if (n == 0) break;
        entryRead += static_cast<std::uint64_t>(n);
        totalRead_ += static_cast<std::uint64_t>(n);
        if (entryRead > limits_.maxEntrySize || entryRead > entry.size) {
            lf_setError(error, fmt::format("unpacks to more than {} bytes",
                                           std::min(limits_.maxEntrySize, entry.size)));
            ok = false;
            break;
        }
        if (totalRead_ > limits_.maxTotalSize) {
            lf_setError(error,
                        fmt::format("the archive unpacks to more than {} bytes", limits_.maxTotalSize));
            ok = false;
            break;
        }
        if (!sink(buffer.data(), static_cast<std::size_t>(n))) {
            lf_setError(error, "could not store the content");
            ok = false;
            break;
        }
    }
    zip_fclose(file);
    return ok;
}

bool ZipReader::extract(const ZipEntryInfo& entry, const std::filesystem::path& target, std::string* error) {
    std::FILE* out = std::fopen(target.c_str(), "wb");
    if (!out) {
        lf_setError(error, fmt::format("could not create {}", target.string()));
        return false;
    }
    bool ok = read(
        entry, [out](const char* data, std::size_t size) { return std::fwrite(data, 1, size, out) == size; },
        error);
    if (std::fclose(out) != 0 && ok) {
        lf_setError(error, fmt::format("could not write {}", target.string()));
        ok = false;
    }
    if (!ok) {
        std::error_code ec;
        std::filesystem::remove(target, ec);
    }
    return ok;
}

bool ZipReader::readText(const ZipEntryInfo& entry, std::string& text, std::string* error) {
    text.clear();
    text.reserve(static_cast<std::size_t>(std::min(entry.size, limits_.maxEntrySize)));
    return read(
        entry,
        [&text](const char* data, std::size_t size) {
            text.append(data, size);
            return true;
        },
        error);
}

bool gf_zipVerify(const std::filesystem::path& path, const ZipLimits& limits, std::string* error) {
    ZipReader reader;
    if (!reader.open(path, limits, error)) return false;
    for (const auto& entry : reader.entries()) {
        if (!entry.refusal.empty() || entry.folder) continue;
        std::string why;
        if (!reader.read(
                entry, [](const char*, std::size_t) { return true; }, &why)) {
            lf_setError(error, fmt::format("entry '{}': {}", entry.name, why));
            return false;
        }
    }
    return true;
}

ZipLimits gf_addonZipLimits() {
    return {16ull << 20, 256ull << 20, 10'000};
}

ZipLimits gf_installerZipLimits() {
    return {512ull << 20, 512ull << 20, 10'000};
}
