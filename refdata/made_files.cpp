#include "refdata/made_files.h"

#include "core/file_io.h"
#include "core/parallel.h"

#include <sodium.h>

#include <array>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t hashBytes = crypto_generichash_BYTES; // 32

void lf_initSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready) throw std::runtime_error("libsodium could not be initialised");
}

std::string lf_hex(const unsigned char* bytes, std::size_t count) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

bool lf_isHash(std::string_view text) {
    if (text.size() != hashBytes * 2) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

fs::path lf_normalAbsolute(const fs::path& p) {
    std::error_code ec;
    fs::path absolute = fs::absolute(p, ec);
    if (ec) absolute = p;
    return absolute.lexically_normal();
}

} // namespace

std::string gf_contentHash(std::string_view content) {
    lf_initSodium();
    std::array<unsigned char, hashBytes> out{};
    crypto_generichash(out.data(), out.size(), reinterpret_cast<const unsigned char*>(content.data()),
                       content.size(), nullptr, 0);
    return lf_hex(out.data(), out.size());
}

std::string gf_fileHash(const fs::path& path) {
    lf_initSodium();
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, hashBytes);
    std::array<char, 65536> buffer{};
    while (in) {
        in.read(buffer.data(), buffer.size());
        const auto got = in.gcount();
        if (got > 0)
            crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(buffer.data()),
                                      static_cast<unsigned long long>(got));
    }
    if (in.bad()) return {};
    std::array<unsigned char, hashBytes> out{};
    crypto_generichash_final(&state, out.data(), out.size());
    return lf_hex(out.data(), out.size());
}

MadeFiles::MadeFiles(fs::path base) : baseFolder(std::move(base)) {}

std::string MadeFiles::keyOf(const fs::path& file) const {
    const fs::path relative = lf_normalAbsolute(file).lexically_relative(lf_normalAbsolute(baseFolder));
    if (relative.empty()) return lf_normalAbsolute(file).generic_string();
    return relative.generic_string();
}

bool MadeFiles::load(std::error_code* error) {
    std::lock_guard lock(mutex);
    hashes.clear();
    const fs::path list = listPath();
    std::error_code ec;
    if (!fs::exists(list, ec)) {
        if (ec && error) *error = ec;
        return !ec;
    }
    std::ifstream in(list, std::ios::binary);
    if (!in) {
        if (error) *error = std::make_error_code(std::errc::permission_denied);
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto blank = line.find(' ');
        if (blank == std::string::npos) continue;
        const std::string_view hash = std::string_view(line).substr(0, blank);
        const std::string path = line.substr(blank + 1);
        if (!lf_isHash(hash) || path.empty()) continue;
        hashes[path] = std::string(hash);
    }
    return true;
}

bool MadeFiles::save(std::error_code* error) const {
    std::string content;
    {
        std::lock_guard lock(mutex);
        for (const auto& [path, hash] : hashes) {
            content += hash;
            content += ' ';
            content += path;
            content += '\n';
        }
    }
    std::error_code ec;
    fs::create_directories(baseFolder, ec);
    return gf_writeFileAtomically(listPath(), content, error);
}

void MadeFiles::record(const fs::path& file, std::string_view content) {
    const std::string hash = gf_contentHash(content);
    const std::string key = keyOf(file);
    std::lock_guard lock(mutex);
    hashes[key] = hash;
}

void MadeFiles::recordHash(const fs::path& file, std::string hash) {
    const std::string key = keyOf(file);
    std::lock_guard lock(mutex);
    hashes[key] = std::move(hash);
}

bool MadeFiles::recordFromDisk(const fs::path& file) {
    const std::string hash = gf_fileHash(file);
    if (hash.empty()) return false;
    const std::string key = keyOf(file);
    std::lock_guard lock(mutex);
    hashes[key] = hash;
    return true;
}

bool MadeFiles::writeAndRecord(const fs::path& file, std::string_view content, std::error_code* error) {
    if (!gf_writeFileAtomically(file, content, error)) return false;
    record(file, content);
    return true;
}

void MadeFiles::forget(const fs::path& file) {
    const std::string key = keyOf(file);
    std::lock_guard lock(mutex);
    hashes.erase(key);
}

MadeFiles::State MadeFiles::state(const fs::path& file) const {
    std::string listed;
    {
        const std::string key = keyOf(file);
        std::lock_guard lock(mutex);
        const auto it = hashes.find(key);
        if (it == hashes.end()) return State::notListed;
        listed = it->second;
    }
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return State::missing;
    return gf_fileHash(file) == listed ? State::unchanged : State::changed;
}

bool MadeFiles::isUsersFile(const fs::path& file) const {
    std::error_code ec;
    if (!fs::exists(file, ec)) return false;
    const State s = state(file);
    return s == State::notListed || s == State::changed;
}

std::vector<MadeFiles::State> MadeFiles::states(const std::vector<fs::path>& files) const {
    // Each state reads its file whole for the hash: a few threads share the files.
    std::vector<State> result(files.size(), State::notListed);
    gf_forEachOnThreads(files.size(), gf_hardwareThreads(), 16,
                        [&](std::size_t i) { result[i] = state(files[i]); });
    return result;
}

MadeFiles::Cleared MadeFiles::removeMadeFilesIn(const fs::path& folder) {
    Cleared result;
    std::error_code ec;
    const fs::path folderKey = fs::path(keyOf(folder));
    if (fs::is_directory(folder, ec)) {
        std::vector<fs::path> files;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_regular_file(typeError)) files.push_back(it->path());
        }
        // Each file's state and removal on a few threads; the outcome in the order of the listing.
        enum class Outcome { kept, removed, failed };
        std::vector<Outcome> outcomes(files.size(), Outcome::kept);
        gf_forEachOnThreads(files.size(), gf_hardwareThreads(), 16, [&](std::size_t i) {
            if (state(files[i]) != State::unchanged) return;
            std::error_code removeError;
            if (fs::remove(files[i], removeError) && !removeError) {
                forget(files[i]);
                outcomes[i] = Outcome::removed;
            } else {
                outcomes[i] = Outcome::failed;
            }
        });
        for (std::size_t i = 0; i < files.size(); ++i) {
            auto& list = outcomes[i] == Outcome::kept      ? result.kept
                         : outcomes[i] == Outcome::removed ? result.removed
                                                           : result.failed;
            list.push_back(files[i]);
        }
    }
    // Listed files of this folder that are no longer there are forgotten.
    std::lock_guard lock(mutex);
    for (auto it = hashes.begin(); it != hashes.end();) {
        const fs::path listed(it->first);
        std::error_code existsError;
        if (listed.parent_path() == folderKey && !fs::exists(baseFolder / listed, existsError) &&
            !existsError)
            it = hashes.erase(it);
        else
            ++it;
    }
    return result;
}

bool MadeFiles::removeIfMade(const fs::path& file) {
    if (state(file) != State::unchanged) return false;
    std::error_code ec;
    if (!fs::remove(file, ec) || ec) return false;
    forget(file);
    return true;
}

std::map<std::string, std::string> MadeFiles::entries() const {
    std::lock_guard lock(mutex);
    return hashes;
}
