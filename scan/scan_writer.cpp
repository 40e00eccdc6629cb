#include "scan/scan_writer.h"

#include "scan/scan_state.h"

#include <fmt/format.h>

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
}

void gf_finishScanWrites() {
    std::vector<std::unique_ptr<Writer>> finishing;
    {
        std::lock_guard lock(writersMutex);
        finishing.swap(writers);
    }
    finishing.clear(); // each writer finishes its queue, then its thread is joined
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
