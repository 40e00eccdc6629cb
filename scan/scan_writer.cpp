#include "scan/scan_writer.h"

#include "core/file_io.h"
#include "core/strings.h"
#include "scan/airport_files.h"
#include "scan/path_keys.h"
#include "scan/scan_folders.h"
#include "scan/scan_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class Writer {
public:
    Writer() : thread([this] { run(); }) {}
    ~Writer() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        thread.join();
    }
    void submit(std::function<void()> job) {
        {
            std::lock_guard lock(mutex);
            jobs.push_back(std::move(job));
        }
        wake.notify_all();
    }

private:
    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty()) return; // stopping, and everything written
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            try {
                job();
            } catch (const std::exception& e) {
                gf_addToScanLog(fmt::format("{}writing a file failed: {}", "===> ", e.what()));
            } catch (...) {
                gf_addToScanLog(fmt::format("{}writing a file failed", "===> "));
            }
            lock.lock();
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;
    std::thread thread; // last: starts once the members above exist
};

std::mutex writersMutex;
std::vector<std::unique_ptr<Writer>> writers;

// Files written without waiting for the disk, with the hash of their content, not yet synced.
std::atomic<bool> batching{false};
std::mutex unsyncedMutex;
std::vector<std::pair<fs::path, std::string>> unsynced;
// Listed files whose new content waits in a temporary file beside them, with its hash: renamed over
// them once synced, so that a listed name never holds an empty or partial file.
struct Replacement {
    fs::path temp;
    std::string hash;
};
std::map<fs::path, Replacement> replacements;

std::mutex notesMutex;
std::set<std::string> notes;
// The files this scan wrote, or found as it would have written them.
std::set<std::string> produced;

std::string lf_noteKey(const fs::path& file) {
    return gf_normalAbsoluteKey(file);
}

} // namespace

void gf_startScanWriters(int count) {
    std::lock_guard lock(writersMutex);
    writers.clear();
    // Each writer's thread starts with its first job: a rescan that finds its files as they would be
    // written starts none.
    writers.resize(static_cast<std::size_t>(std::max(1, count)));
    batching = true;
}

void gf_finishScanWrites() {
    std::vector<std::unique_ptr<Writer>> finishing;
    {
        std::lock_guard lock(writersMutex);
        finishing.swap(writers);
    }
    finishing.clear(); // each writer finishes its queue, then its thread is joined
    gf_syncScanWrites();
    batching = false;
}

namespace {

// The new content of a listed file waits beside it until gf_syncScanWrites; a later write of the same
// file in this scan takes the place of the waiting one.
bool lf_replaceLater(const fs::path& file, std::string_view content) {
    const std::optional<fs::path> temp = gf_writeTemporaryBeside(file, content);
    if (!temp) return false;
    Replacement replacement{*temp, gf_contentHash(content)};
    std::lock_guard lock(unsyncedMutex);
    auto [it, added] = replacements.try_emplace(file, replacement);
    if (!added) {
        ::unlink(it->second.temp.c_str());
        it->second = std::move(replacement);
    }
    return true;
}

bool lf_waitsForReplacement(const fs::path& file) {
    std::lock_guard lock(unsyncedMutex);
    return replacements.contains(file);
}

enum class OnDisk { absent, same, different };

// Whether `file` holds exactly `content`, read in pieces into a buffer of the thread's: no copy of the
// file is made. With `hash`, the whole file is read and the hash of its content (as gf_contentHash
// gives it) put there; it stays empty when the file could not be read.
OnDisk lf_compareWithDisk(const fs::path& file, std::string_view content, std::string* hash = nullptr) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return OnDisk::absent;
    crypto_generichash_state state;
    if (hash) {
        hash->clear();
        if (sodium_init() < 0) hash = nullptr;
    }
    if (hash) crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES);
    // A buffer of the thread's, one byte longer than the content: a file that holds it comes with one
    // read (and one more that finds its end). A rare large one is read in pieces.
    struct Buffer {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
    };
    thread_local Buffer buffer;
    const std::size_t wanted = std::clamp<std::size_t>(content.size() + 1, 16 * 1024, 4 * 1024 * 1024);
    if (buffer.size < wanted) {
        buffer.bytes = std::make_unique_for_overwrite<char[]>(wanted);
        buffer.size = wanted;
    }
    OnDisk result = OnDisk::same;
    bool failed = false;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.bytes.get(), buffer.size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = OnDisk::different;
            failed = true;
            break;
        }
        if (n == 0) {
            if (!content.empty()) result = OnDisk::different;
            break;
        }
        const auto got = static_cast<std::size_t>(n);
        if (hash)
            crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(buffer.bytes.get()),
                                      static_cast<unsigned long long>(got));
        if (result == OnDisk::same &&
            (got > content.size() || std::memcmp(buffer.bytes.get(), content.data(), got) != 0)) {
            result = OnDisk::different;
            if (!hash) break;
        }
        if (result == OnDisk::same) content.remove_prefix(got);
    }
    ::close(fd);
    if (hash && !failed) {
        std::array<unsigned char, crypto_generichash_BYTES> out;
        crypto_generichash_final(&state, out.data(), out.size());
        static constexpr char digits[] = "0123456789abcdef";
        hash->reserve(out.size() * 2);
        for (const unsigned char byte : out) {
            *hash += digits[byte >> 4];
            *hash += digits[byte & 0x0F];
        }
    }
    return result;
}

void lf_noteProduced(const fs::path& file) {
    std::lock_guard lock(notesMutex);
    produced.insert(lf_noteKey(file));
}

} // namespace

bool gf_scanFileHolds(const fs::path& file, std::string_view content, std::string* hash) {
    return lf_compareWithDisk(file, content, hash) == OnDisk::same;
}

bool gf_keepScanFileAsFound(const fs::path& file, const std::string& contentHash) {
    if (!batching) return false;
    lf_noteProduced(file);
    // The list names the file with this content already, or it becomes the program's with it.
    if (gf_listedHashAtScanStart(file) == contentHash) return true;
    std::lock_guard lock(unsyncedMutex);
    unsynced.emplace_back(file, contentHash);
    return true;
}

bool gf_writeScanFile(const fs::path& file, std::string_view content) {
    if (!batching) return gf_scanMadeFiles().writeAndRecord(file, content);
    const std::optional<std::string> listed = gf_listedHashAtScanStart(file);
    const bool producedBefore = gf_producedByThisScan(file);
    if (producedBefore && lf_waitsForReplacement(file)) return lf_replaceLater(file, content);
    // A listed file of the last scan is read whole with the comparison: the hash of what it holds tells
    // whether nobody changed it since.
    const bool lastScans = listed && !producedBefore;
    std::string onDiskHash;
    const OnDisk onDisk = lf_compareWithDisk(file, content, lastScans ? &onDiskHash : nullptr);
    if (onDisk == OnDisk::same) {
        // Already there: nothing to write. A file that the scan found as the list names it now holds
        // the listed content (a user who changed it since made it the user's; it stays as it is).
        lf_noteProduced(file);
        if (lastScans && gf_stateAtScanStart(file) == MadeFiles::State::unchanged) return true;
        std::string hash = onDiskHash.empty() ? gf_contentHash(content) : std::move(onDiskHash);
        if (listed == hash) return true;
        std::lock_guard lock(unsyncedMutex);
        unsynced.emplace_back(file, std::move(hash));
        return true;
    }
    // Only a file of the last scan that nobody changed since, or one of this scan, is replaced (a file
    // that could not be read has no hash and counts as changed).
    if (onDisk == OnDisk::different && !producedBefore && (!listed || onDiskHash != *listed)) {
        gf_addToScanLog(fmt::format("{}{} is your own file: not replaced", "===> ", path_to_utf8(file)));
        return false;
    }
    // A file the list names gets its new content synced before it replaces the old one: after a crash
    // the name holds the old content or the whole new one, never an empty or partial file.
    if (listed) {
        if (!lf_replaceLater(file, content)) return false;
        lf_noteProduced(file);
        return true;
    }
    if (!gf_writeFileAtomicallyUnsynced(file, content)) return false;
    lf_noteProduced(file);
    std::string hash = gf_contentHash(content);
    std::lock_guard lock(unsyncedMutex);
    unsynced.emplace_back(file, std::move(hash));
    return true;
}

void gf_syncScanWrites() {
    std::vector<std::pair<fs::path, std::string>> written;
    std::map<fs::path, Replacement> waiting;
    {
        std::lock_guard lock(unsyncedMutex);
        written.swap(unsynced);
        waiting.swap(replacements);
    }
    if (written.empty() && waiting.empty()) return;
    std::vector<fs::path> files;
    files.reserve(written.size() + waiting.size());
    for (const auto& entry : written)
        files.push_back(entry.first);
    for (const auto& [file, replacement] : waiting)
        files.push_back(replacement.temp);
    const std::vector<fs::path> failedList = gf_syncFiles(files);
    const std::set<fs::path> failed(failedList.begin(), failedList.end());
    MadeFiles& made = gf_scanMadeFiles();
    const auto report = [](const fs::path& file) {
        gf_addToScanLog(fmt::format("{}Writing {} did not succeed", "===> ", path_to_utf8(file)));
    };
    for (const auto& [file, hash] : written) {
        if (!failed.contains(file)) {
            made.recordHash(file, hash);
            continue;
        }
        std::error_code ec;
        fs::remove(file, ec);
        report(file);
    }
    // The synced new contents replace the listed files; the list names them once the renames are on
    // the disk too.
    std::vector<fs::path> renamed;
    for (auto& [file, replacement] : waiting) {
        if (!failed.contains(replacement.temp) && ::rename(replacement.temp.c_str(), file.c_str()) == 0) {
            renamed.push_back(file);
            continue;
        }
        ::unlink(replacement.temp.c_str());
        report(file);
    }
    if (renamed.empty()) return;
    std::set<fs::path> folders;
    for (const fs::path& file : renamed)
        folders.insert(file.parent_path());
    std::set<fs::path> foldersSynced;
    for (const fs::path& folder : folders)
        if (gf_syncFolder(folder)) foldersSynced.insert(folder);
    for (const fs::path& file : renamed) {
        if (foldersSynced.contains(file.parent_path()))
            made.recordHash(file, waiting.at(file).hash);
        else
            report(file);
    }
}

void gf_submitScanWrite(const std::string& key, std::function<void()> job) {
    {
        std::lock_guard lock(writersMutex);
        if (!writers.empty()) {
            std::unique_ptr<Writer>& writer = writers[std::hash<std::string>{}(key) % writers.size()];
            if (!writer) writer = std::make_unique<Writer>();
            writer->submit(std::move(job));
            return;
        }
    }
    job();
}

bool gf_writtenByThisScan(const fs::path& file) {
    std::lock_guard lock(notesMutex);
    return notes.contains(lf_noteKey(file));
}

void gf_noteScanWrite(const fs::path& file) {
    std::lock_guard lock(notesMutex);
    notes.insert(lf_noteKey(file));
}

bool gf_producedByThisScan(const fs::path& file) {
    std::lock_guard lock(notesMutex);
    return produced.contains(lf_noteKey(file));
}

void gf_clearScanWriteNotes() {
    std::lock_guard lock(notesMutex);
    notes.clear();
    produced.clear();
}
