#include "engine/live/flight_plan_files.h"

#include "core/hooks.h"
#include "core/log.h"
#include "engine/base/engine_tables.h"
#include "simlink/flight_plans.h"
#include "simlink/sim_link.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

FlightPlanFiles flightPlanFiles;

namespace {

// The worker's stack: a few system calls deep, far below the default's megabytes.
constexpr std::size_t workerStackBytes = 128 * 1024;

// Runs on the worker: system calls only, no allocation, no exception.
void lf_perform(FlightPlanJob& job) noexcept {
    job.ok = false;
    job.error = 0;
    if (job.remove) {
        // A file, or a folder only when empty; a missing file is no error.
        if (std::remove(job.path.c_str()) == 0 || errno == ENOENT)
            job.ok = true;
        else
            job.error = errno;
        return;
    }
    const int fd = ::open(job.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        job.error = errno;
        return;
    }
    const char* at = job.text.data();
    std::size_t left = job.text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, at, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            job.error = errno;
            break;
        }
        at += written;
        left -= static_cast<std::size_t>(written);
    }
    job.ok = left == 0;
    ::close(fd);
}

void lf_takeWrite(const FlightPlanJob& outcome) {
    const auto awaited = flightPlanFiles.awaitedWrite.find(outcome.oid);
    // A write whose object went (or was bound anew) meanwhile: its delete is queued behind it.
    if (awaited == flightPlanFiles.awaitedWrite.end() || awaited->second != outcome.ticket) return;
    flightPlanFiles.awaitedWrite.erase(awaited);
    LiveAc* ac = gf_findLiveByOid(outcome.oid);
    if (!ac) return;
    bool ok = outcome.ok;
    if (ok && gf_coreHooks().simulatorIs2020()) ok = gf_sendFlightPlan(ac->oid, outcome.path);
    ac->hasFlightPlan = ok;
    if (!ok) gf_logError(fmt::format("{} creating a flight plan failed", gf_acLogTextWithReg(*ac)));
}

} // namespace

// ---- FlightPlanWorker ----------------------------------------------------------------------------------

FlightPlanWorker::FlightPlanWorker() = default;

FlightPlanWorker::~FlightPlanWorker() {
    stop();
}

void FlightPlanWorker::post(std::vector<FlightPlanJob>& jobs) {
    if (jobs.empty()) return;
    if (!running_) {
        pthread_attr_t attr;
        bool started = pthread_attr_init(&attr) == 0;
        if (started) {
            pthread_attr_setstacksize(&attr, workerStackBytes);
            started = pthread_create(&thread_, &attr, &FlightPlanWorker::threadMain, this) == 0;
            pthread_attr_destroy(&attr);
        }
        if (!started) {
            std::lock_guard lock(mutex_);
            for (FlightPlanJob& job : jobs) {
                lf_perform(job);
                finished_.push_back(std::move(job));
            }
            jobs.clear();
            return;
        }
        running_ = true;
        // Named from here, so that the worker makes no call of its own for it.
        pthread_setname_np(thread_, flightPlanWorkerName);
    }
    {
        std::lock_guard lock(mutex_);
        if (incoming_.empty()) {
            incoming_.swap(jobs);
        } else {
            for (FlightPlanJob& job : jobs)
                incoming_.push_back(std::move(job));
        }
        roomForAll();
    }
    jobs.clear();
    wake_.notify_one();
}

void FlightPlanWorker::takeOutcomes(std::vector<FlightPlanJob>& into) {
    into.clear();
    std::lock_guard lock(mutex_);
    if (finished_.empty()) return;
    into.swap(finished_);
    roomForAll();
}

void FlightPlanWorker::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (running_) {
        pthread_join(thread_, nullptr);
        running_ = false;
    }
    // The jobs are freed here, on the thread that made them.
    std::lock_guard lock(mutex_);
    incoming_.clear();
    batch_.clear();
    finished_.clear();
    stopping_ = false;
    idle_.notify_all();
}

void FlightPlanWorker::roomForAll() {
    finished_.reserve(finished_.size() + batch_.size() + incoming_.size());
}

void FlightPlanWorker::waitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return (incoming_.empty() && batch_.empty()) || !running_; });
}

void* FlightPlanWorker::threadMain(void* self) {
    static_cast<FlightPlanWorker*>(self)->run();
    return nullptr;
}

void FlightPlanWorker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !incoming_.empty(); });
        if (stopping_) break;
        // Only the storage is exchanged: nothing is allocated or freed here.
        batch_.swap(incoming_);
        lock.unlock();
        for (FlightPlanJob& job : batch_) {
            if (stopping_) break;
            lf_perform(job);
        }
        lock.lock();
        if (stopping_) break;
        // Within the room the engine's side keeps (roomForAll); the jobs left behind are empty shells,
        // whose strings own no storage once moved from.
        for (FlightPlanJob& job : batch_)
            finished_.push_back(std::move(job));
        batch_.clear();
        if (incoming_.empty()) idle_.notify_all();
    }
    idle_.notify_all();
}

// ---- The engine's side ---------------------------------------------------------------------------------

void FlightPlanFiles::reset() {
    worker.stop();
    asked.clear();
    awaitedWrite.clear();
    taken.clear();
}

void gf_askFlightPlan(LiveAc& ac) {
    // An outcome still awaited for this id belongs to an object that has gone.
    flightPlanFiles.awaitedWrite.erase(ac.oid);
    if (ac.orig.empty() || ac.dest.empty()) return;
    ac.hasFlightPlan = false;
    if (gf_flightPlanFolder().empty()) {
        gf_logError(fmt::format("{} creating a flight plan failed", gf_acLogTextWithReg(ac)));
        return;
    }
    FlightPlanJob job;
    job.oid = ac.oid;
    job.ticket = ++flightPlanFiles.lastTicket;
    job.path = gf_flightPlanPath(ac.oid).string();
    job.text = gf_flightPlanText(ac.orig, ac.dest, ac.sizeCat);
    flightPlanFiles.awaitedWrite[ac.oid] = job.ticket;
    flightPlanFiles.asked.push_back(std::move(job));
}

void gf_dropFlightPlan(LiveAc& ac) {
    const bool awaited = flightPlanFiles.awaitedWrite.erase(ac.oid) > 0;
    if ((ac.hasFlightPlan || awaited) && !gf_flightPlanFolder().empty()) {
        FlightPlanJob job;
        job.oid = ac.oid;
        job.remove = true;
        job.path = gf_flightPlanPath(ac.oid).string();
        flightPlanFiles.asked.push_back(std::move(job));
    }
    ac.hasFlightPlan = false;
}

void gf_takeFlightPlanOutcomes() {
    FlightPlanFiles& files = flightPlanFiles;
    files.worker.post(files.asked);
    files.worker.takeOutcomes(files.taken);
    for (const FlightPlanJob& outcome : files.taken) {
        if (!outcome.remove)
            lf_takeWrite(outcome);
        else if (!outcome.ok)
            gf_log(fmt::format("gf_removeFlightPlan: {}", std::generic_category().message(outcome.error)));
    }
    // The jobs' paths and texts are freed on this thread, where they were made.
    files.taken.clear();
}

void gf_stopFlightPlanFiles() {
    flightPlanFiles.reset();
}

void gf_flightPlanWorkerIdleForTests() {
    flightPlanFiles.worker.post(flightPlanFiles.asked);
    flightPlanFiles.worker.waitIdle();
}
