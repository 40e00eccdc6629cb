#include "engine/live/flight_plan_files.h"

#include "core/hooks.h"
#include "core/log.h"
#include "engine/base/engine_tables.h"
#include "simlink/flight_plans.h"
#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <exception>
#include <system_error>
#include <utility>

FlightPlanFiles flightPlanFiles;

namespace {

FlightPlanOutcome lf_perform(const FlightPlanJob& job) {
    FlightPlanOutcome outcome;
    outcome.oid = job.oid;
    outcome.ticket = job.ticket;
    outcome.remove = job.remove;
    outcome.path = job.path;
    try {
        if (job.remove) {
            outcome.error = gf_removeFlightPlan(job.path);
            outcome.ok = outcome.error.empty();
        } else {
            outcome.ok = gf_writeFlightPlan(job.path, job.orig, job.dest, job.sizeCat);
        }
    } catch (const std::exception& e) {
        outcome.ok = false;
        if (job.remove) outcome.error = e.what();
    }
    return outcome;
}

void lf_takeWrite(const FlightPlanOutcome& outcome) {
    const auto awaited = flightPlanFiles.awaitedWrite.find(outcome.oid);
    // A write whose object went (or was bound anew) meanwhile: its delete is queued behind it.
    if (awaited == flightPlanFiles.awaitedWrite.end() || awaited->second != outcome.ticket) return;
    flightPlanFiles.awaitedWrite.erase(awaited);
    LiveAc* ac = gf_findLiveByOid(outcome.oid);
    if (!ac) return;
    bool ok = outcome.ok;
    if (ok && gf_coreHooks().simulatorIs2020()) ok = gf_sendFlightPlan(ac->oid, outcome.path.string());
    ac->hasFlightPlan = ok;
    if (!ok) gf_logError(fmt::format("{} creating a flight plan failed", gf_acLogTextWithReg(*ac)));
}

} // namespace

// ---- FlightPlanWorker ----------------------------------------------------------------------------------

FlightPlanWorker::~FlightPlanWorker() {
    stop();
}

void FlightPlanWorker::post(std::vector<FlightPlanJob>& jobs) {
    if (jobs.empty()) return;
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            std::lock_guard lock(mutex_);
            for (const FlightPlanJob& job : jobs)
                outcomes_.push_back(lf_perform(job));
            jobs.clear();
            return;
        }
    }
    {
        std::lock_guard lock(mutex_);
        for (FlightPlanJob& job : jobs)
            jobs_.push_back(std::move(job));
    }
    jobs.clear();
    wake_.notify_one();
}

void FlightPlanWorker::takeOutcomes(std::vector<FlightPlanOutcome>& into) {
    std::lock_guard lock(mutex_);
    for (FlightPlanOutcome& outcome : outcomes_)
        into.push_back(std::move(outcome));
    outcomes_.clear();
}

void FlightPlanWorker::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    outcomes_.clear();
    stopping_ = false;
    idle_.notify_all();
}

void FlightPlanWorker::waitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void FlightPlanWorker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_) break;
        FlightPlanJob job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        FlightPlanOutcome outcome = lf_perform(job);
        lock.lock();
        outcomes_.push_back(std::move(outcome));
        busy_ = false;
        if (jobs_.empty()) idle_.notify_all();
    }
    busy_ = false;
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
    job.path = gf_flightPlanPath(ac.oid);
    job.orig = ac.orig;
    job.dest = ac.dest;
    job.sizeCat = ac.sizeCat;
    flightPlanFiles.awaitedWrite[ac.oid] = job.ticket;
    flightPlanFiles.asked.push_back(std::move(job));
}

void gf_dropFlightPlan(LiveAc& ac) {
    const bool awaited = flightPlanFiles.awaitedWrite.erase(ac.oid) > 0;
    if ((ac.hasFlightPlan || awaited) && !gf_flightPlanFolder().empty()) {
        FlightPlanJob job;
        job.oid = ac.oid;
        job.remove = true;
        job.path = gf_flightPlanPath(ac.oid);
        flightPlanFiles.asked.push_back(std::move(job));
    }
    ac.hasFlightPlan = false;
}

void gf_takeFlightPlanOutcomes() {
    FlightPlanFiles& files = flightPlanFiles;
    files.worker.post(files.asked);
    files.worker.takeOutcomes(files.taken);
    for (const FlightPlanOutcome& outcome : files.taken) {
        if (!outcome.remove)
            lf_takeWrite(outcome);
        else if (!outcome.error.empty())
            gf_log(fmt::format("gf_removeFlightPlan: {}", outcome.error));
    }
    files.taken.clear();
}

void gf_stopFlightPlanFiles() {
    flightPlanFiles.reset();
}

void gf_flightPlanWorkerIdleForTests() {
    flightPlanFiles.worker.post(flightPlanFiles.asked);
    flightPlanFiles.worker.waitIdle();
}
