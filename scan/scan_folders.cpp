#include "scan/scan_folders.h"

#include "core/log.h"
#include "core/strings.h"
#include "scan/airport_files.h"
#include "scan/path_keys.h"
#include "scan/scan_writer.h"

#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <future>
#include <map>
#include <mutex>
#include <set>

#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The files of the folders are listed on a thread of their own while the walk goes on. The state of a
// listed file is read when it is first asked for, or noted by whoever reads the file anyway (the
// decoding tasks compare the airport files with the disk): only the files the scan meets are read.
struct Present {
    bool readable = false;      // the folders could be listed
    std::set<std::string> keys; // absolute keys of the regular files in them
};

struct Stock {
    fs::path base;                                  // the list's folder
    std::vector<fs::path> folders;                  // as given, in their order
    std::map<std::string, std::string> listed;      // the list: relative path -> hash
    std::shared_future<Present> present;            // the files found in the folders
    std::map<std::string, MadeFiles::State> states; // absolute key -> state, of listed files as read
};

std::mutex stockMutex;
Stock stock;

fs::path lf_normalAbsolute(const fs::path& p) {
    std::error_code ec;
    fs::path absolute = fs::absolute(p, ec);
    return (ec ? p : absolute).lexically_normal();
}

// The key of a file in the list: its path relative to the list's folder, "/" separators.
std::string lf_listKey(const fs::path& base, const fs::path& file) {
    return gf_relativeKey(base, file);
}

std::vector<fs::path> lf_regularFilesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) files.push_back(it->path());
    }
    return files;
}

// The hash of a file's content (as gf_contentHash gives it), read in pieces; nothing when it cannot be
// read, `missing` set when it is not there.
std::optional<std::string> lf_hashOnDisk(const fs::path& file, bool& missing) {
    missing = false;
    if (sodium_init() < 0) return std::nullopt;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        return std::nullopt;
    }
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES);
    std::array<unsigned char, 16 * 1024> buffer;
    bool failed = false;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed = n < 0;
            break;
        }
        crypto_generichash_update(&state, buffer.data(), static_cast<unsigned long long>(n));
    }
    ::close(fd);
    if (failed) return std::nullopt;
    std::array<unsigned char, crypto_generichash_BYTES> out;
    crypto_generichash_final(&state, out.data(), out.size());
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(out.size() * 2);
    for (const unsigned char byte : out) {
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0F];
    }
    return hex;
}

Present lf_presentIn(const std::vector<fs::path>& folders) {
    Present present;
    try {
        for (const fs::path& folder : folders)
            for (const fs::path& file : lf_regularFilesIn(folder))
                present.keys.insert(gf_normalAbsoluteKey(file));
        present.readable = !present.keys.empty();
    } catch (const std::exception&) {
        present = Present{};
    }
    return present;
}

MadeFiles::State lf_stateOf(const std::string& hash, const std::string& listed) {
    return hash == listed ? MadeFiles::State::unchanged : MadeFiles::State::changed;
}

} // namespace

void gf_takeStockOfScanFolders(const std::vector<fs::path>& folders) {
    MadeFiles& made = gf_scanMadeFiles();
    Stock next;
    next.base = made.base();
    next.folders = folders;
    next.listed = made.entries();
    next.present = std::async(std::launch::async, [folders] { return lf_presentIn(folders); }).share();
    std::lock_guard lock(stockMutex);
    stock = std::move(next);
}

void gf_forgetScanFoldersStock() {
    std::shared_future<Present> present;
    {
        std::lock_guard lock(stockMutex);
        present = stock.present;
        stock = Stock{};
    }
    if (present.valid()) present.wait();
}

std::optional<MadeFiles::State> gf_stateAtScanStart(const fs::path& file) {
    std::shared_future<Present> present;
    {
        std::lock_guard lock(stockMutex);
        present = stock.present;
    }
    // Not waited for: until the folders are listed, the caller reads the file itself.
    if (!present.valid() || present.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return std::nullopt;
    const Present& found = present.get();
    if (!found.readable) return std::nullopt; // nothing there, or could not be read: not known
    const std::string key = gf_normalAbsoluteKey(file);
    std::optional<std::string> listed;
    {
        std::lock_guard lock(stockMutex);
        if (found.keys.contains(key)) {
            const auto it = stock.listed.find(lf_listKey(stock.base, file));
            if (it == stock.listed.end()) return MadeFiles::State::notListed;
            if (const auto known = stock.states.find(key); known != stock.states.end()) return known->second;
            listed = it->second;
        } else {
            const fs::path folder = lf_normalAbsolute(file).parent_path();
            for (const fs::path& taken : stock.folders)
                if (lf_normalAbsolute(taken) == folder) return MadeFiles::State::missing;
            return std::nullopt;
        }
    }
    // A file this scan has asked to write may not hold what it held at the start any more.
    if (gf_writtenByThisScan(file)) return std::nullopt;
    bool missing = false;
    const std::optional<std::string> hash = lf_hashOnDisk(file, missing);
    // A file that cannot be read counts as not there.
    const MadeFiles::State state = hash ? lf_stateOf(*hash, *listed) : MadeFiles::State::missing;
    std::lock_guard lock(stockMutex);
    return stock.states.try_emplace(key, state).first->second;
}

void gf_noteHashAtScanStart(const fs::path& file, const std::string& hash) {
    std::lock_guard lock(stockMutex);
    if (stock.base.empty()) return;
    const auto it = stock.listed.find(lf_listKey(stock.base, file));
    if (it == stock.listed.end()) return;
    stock.states.try_emplace(gf_normalAbsoluteKey(file), lf_stateOf(hash, it->second));
}

std::optional<std::string> gf_listedHashAtScanStart(const fs::path& file) {
    std::lock_guard lock(stockMutex);
    if (stock.base.empty()) return std::nullopt;
    const auto it = stock.listed.find(lf_listKey(stock.base, file));
    if (it == stock.listed.end()) return std::nullopt;
    return it->second;
}

FoldersSwept gf_sweepScanFolders() {
    Stock taken;
    {
        std::lock_guard lock(stockMutex);
        taken = std::move(stock);
        stock = Stock{};
    }
    FoldersSwept result;
    if (taken.present.valid()) taken.present.wait();
    if (taken.folders.empty()) return result;
    MadeFiles& made = gf_scanMadeFiles();
    // The folders as they are now: what this scan did not write is the last scan's or the user's.
    std::vector<fs::path> files;
    for (const fs::path& folder : taken.folders)
        for (fs::path& file : lf_regularFilesIn(folder))
            if (!gf_producedByThisScan(file)) files.push_back(std::move(file));
    const std::vector<MadeFiles::State> states = made.states(files);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path& file = files[i];
        if (states[i] != MadeFiles::State::unchanged) {
            if (states[i] == MadeFiles::State::missing) continue; // gone meanwhile: forgotten below
            gf_log(fmt::format("{} is your own file: kept", path_to_utf8(file)));
            result.kept.push_back(file);
            continue;
        }
        std::error_code ec;
        if (fs::remove(file, ec) && !ec) {
            made.forget(file);
            result.removed.push_back(file);
        } else {
            gf_logError(fmt::format("Cannot remove {}", path_to_utf8(file)));
            result.failed.push_back(file);
        }
    }
    // Listed files of these folders that are gone.
    std::set<std::string> folderKeys;
    for (const fs::path& folder : taken.folders)
        folderKeys.insert(lf_listKey(taken.base, folder));
    for (const auto& [key, hash] : made.entries()) {
        const fs::path listed(key);
        if (!folderKeys.contains(listed.parent_path().generic_string())) continue;
        const fs::path file = taken.base / listed;
        if (gf_producedByThisScan(file)) continue;
        std::error_code ec;
        if (!fs::exists(file, ec) && !ec) made.forget(file);
    }
    return result;
}
