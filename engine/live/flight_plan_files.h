#pragma once
// The AI flight-plan files of live aircraft, written and deleted off the engine pass. A plan file costs a
// wait on the disk (milliseconds on a busy one), more than a 10 ms pass can spare, so the pass only asks:
// one worker thread writes and deletes the files in the order they were asked, and the pass takes the
// outcomes. An object id comes back after its object has gone, so a write, a delete and a write of the same
// "{oid}.pln" reach the disk in that order.
//
// A plan is handed to the simulator (MSFS 2020) and marks its aircraft (`hasFlightPlan`) when the pass
// takes the outcome of its write: a pass or a few after the object was bound, not during the binding.
//
// The worker never touches the heap. A thread that allocates or frees even once gets an allocator arena
// of its own whose pages stay resident for the life of the process; so the engine's thread makes every
// job whole (the file's path and full text) and every queue's storage, the worker only opens, writes,
// closes and removes files with plain system calls and leaves its outcome in the job, and the jobs are
// destroyed on the engine's thread again. No logging on the worker either: the pass logs the outcomes.

#include "engine/base/ac_records.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// The worker thread's name, as the system shows it.
inline constexpr const char* flightPlanWorkerName = "flight-plans";

// One file job, made on the engine's thread: a write of `text`, or (`remove`) a delete of the file. The
// worker fills in the outcome: `ok`, and on a failure the system's error number.
struct FlightPlanJob {
    std::uint32_t oid = 0;
    std::uint64_t ticket = 0; // a write's number, matched when its outcome is taken
    bool remove = false;
    std::string path;
    std::string text;
    bool ok = false;
    int error = 0;
};

// The thread that does the file jobs, one at a time, first asked first done. Started with the first job
// after a stop; `stop` (and the destructor) joins it. Its queues are guarded by its own mutex, which is
// taken with no other lock held. post, takeOutcomes, stop and waitIdle: the engine's thread (tests: the
// test's).
//
// The jobs travel in three vectors whose storage only the posting thread grows or frees: `incoming_` (the
// posted jobs), `batch_` (taken by the worker as a whole by swapping, and done in place) and `finished_`
// (the done jobs moved on, until taken). The posting thread keeps room in `finished_` for every job
// outstanding, so the worker's appends never allocate.
class FlightPlanWorker {
public:
    FlightPlanWorker();
    FlightPlanWorker(const FlightPlanWorker&) = delete;
    FlightPlanWorker& operator=(const FlightPlanWorker&) = delete;
    ~FlightPlanWorker();

    // Queues the jobs (the vector is emptied). Without a thread to be had they are done in place: a stall
    // is better than aircraft without plans.
    void post(std::vector<FlightPlanJob>& jobs);
    // Moves the outcomes so far into `into` (emptied first), in the order of their jobs.
    void takeOutcomes(std::vector<FlightPlanJob>& into);
    // The jobs not begun and the outcomes not taken are dropped; a job under way is finished; the thread
    // is joined.
    void stop();
    // Waits until every posted job is done.
    void waitIdle();

private:
    static void* threadMain(void* self);
    void run();
    // Under the mutex, on the posting thread: room in `finished_` for every job not yet taken.
    void roomForAll();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::vector<FlightPlanJob> incoming_;
    std::vector<FlightPlanJob> batch_;
    std::vector<FlightPlanJob> finished_;
    std::atomic<bool> stopping_{false};
    bool running_ = false; // a thread was started and not yet joined
    pthread_t thread_{};
};

// The engine's side of the plan files, engine thread only: the jobs asked in this pass, and for each
// object id the write whose outcome is awaited.
struct FlightPlanFiles {
    std::vector<FlightPlanJob> asked;
    std::unordered_map<std::uint32_t, std::uint64_t> awaitedWrite; // oid -> ticket
    std::uint64_t lastTicket = 0;
    std::vector<FlightPlanJob> taken;
    FlightPlanWorker worker;

    // The worker stopped, everything asked or awaited forgotten.
    void reset();
};
extern FlightPlanFiles flightPlanFiles;

// A new object was bound to `ac`: with both origin and destination known its plan is asked for. Without a
// flight-plan folder this fails at once ("{} creating a flight plan failed").
void gf_askFlightPlan(LiveAc& ac);
// The object of `ac` was removed by the simulator: its plan file, written or still awaited, is deleted
// (the delete follows the write), and `ac` has no plan.
void gf_dropFlightPlan(LiveAc& ac);
// The pass's step: the jobs asked go to the worker and its outcomes are taken. A written plan whose
// aircraft still holds the object is sent on MSFS 2020 and marks the aircraft; a failed write or send is
// logged "{} creating a flight plan failed"; a failed delete "gf_removeFlightPlan: {}".
void gf_takeFlightPlanOutcomes();
// The reset and the closing down: the worker stopped and joined, nothing asked or awaited kept.
void gf_stopFlightPlanFiles();

// Tests only: hands the asked jobs to the worker and waits until it has done them (the outcomes are taken
// by the next gf_takeFlightPlanOutcomes).
void gf_flightPlanWorkerIdleForTests();
