#include "scan/scan_writer.h"

#include "core/file_io.h"
#include "core/strings.h"
#include "scan/airport_files.h"
#include "scan/scan_state.h"

#include <fmt/format.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

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

std::mutex notesMutex;
std::set<std::string> notes;

std::string lf_noteKey(const fs::path& file) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec);
    return (ec ? file : absolute).lexically_normal().generic_string();
}

} // namespace

void gf_startScanWriters(int count) {
    std::lock_guard lock(writersMutex);
    writers.clear();
    for (int i = 0; i < std::max(1, count); ++i)
        writers.push_back(std::make_unique<Writer>());
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

bool gf_writeScanFile(const fs::path& file, std::string_view content) {
    if (!batching) return gf_scanMadeFiles().writeAndRecord(file, content);
    if (!gf_writeFileAtomicallyUnsynced(file, content)) return false;
    std::string hash = gf_contentHash(content);
    std::lock_guard lock(unsyncedMutex);
    unsynced.emplace_back(file, std::move(hash));
    return true;
}

void gf_syncScanWrites() {
    std::vector<std::pair<fs::path, std::string>> written;
    {
        std::lock_guard lock(unsyncedMutex);
        written.swap(unsynced);
    }
    if (written.empty()) return;
    std::vector<fs::path> files;
    files.reserve(written.size());
    for (const auto& entry : written)
        files.push_back(entry.first);
    const std::vector<fs::path> failedList = gf_syncFiles(files);
    const std::set<fs::path> failed(failedList.begin(), failedList.end());
    MadeFiles& made = gf_scanMadeFiles();
    for (const auto& [file, hash] : written) {
        if (!failed.contains(file)) {
            made.recordHash(file, hash);
            continue;
        }
        std::error_code ec;
        fs::remove(file, ec);
        gf_addToScanLog(fmt::format("{}Writing {} did not succeed", "===> ", path_to_utf8(file)));
    }
}

void gf_submitScanWrite(const std::string& key, std::function<void()> job) {
    {
        std::lock_guard lock(writersMutex);
        if (!writers.empty()) {
            writers[std::hash<std::string>{}(key) % writers.size()]->submit(std::move(job));
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

void gf_clearScanWriteNotes() {
    std::lock_guard lock(notesMutex);
    notes.clear();
}
