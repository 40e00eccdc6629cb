#pragma once
// The AI flight-plan files of live aircraft, written and deleted off the engine pass. A plan file costs a
// wait on the disk (milliseconds on a busy one), more than a 10 ms pass can spare, so the pass only asks:
// one worker thread writes and deletes the files in the order they were asked, and the pass takes the
// outcomes. An object id comes back after its object has gone, so a write, a delete and a write of the same
// "{oid}.pln" reach the disk in that order.
//
// A plan is handed to the simulator (MSFS 2020) and marks its aircraft (`hasFlightPlan`) when the pass
// takes the outcome of its write: a pass or a few after the object was bound, not during the binding.

#include "engine/base/ac_records.h"
#include "refdata/size_category.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

// One file job: a write of the plan, or (`remove`) a delete of the file.
struct FlightPlanJob {
    std::uint32_t oid = 0;
    std::uint64_t ticket = 0; // a write's number, matched when its outcome is taken
    bool remove = false;
    std::filesystem::path path;
    std::string orig;
    std::string dest;
    SizeCategory sizeCat = SizeCategory::Large;
};

// What became of a job: a write that failed is not `ok`; a delete that failed has the system's text.
struct FlightPlanOutcome {
    std::uint32_t oid = 0;
    std::uint64_t ticket = 0;
    bool remove = false;
    bool ok = false;
    std::string error;
    std::filesystem::path path;
};

// The thread that does the file jobs, one at a time, first asked first done. Started with the first job
// after a stop; `stop` (and the destructor) joins it. Its queues are guarded by its own mutex, which is
// taken with no other lock held. post, takeOutcomes and stop: the engine's thread (tests: the test's).
class FlightPlanWorker {
public:
    FlightPlanWorker() = default;
    FlightPlanWorker(const FlightPlanWorker&) = delete;
    FlightPlanWorker& operator=(const FlightPlanWorker&) = delete;
    ~FlightPlanWorker();

    // Queues the jobs (the vector is emptied). Without a thread to be had they are done in place: a stall
    // is better than aircraft without plans.
    void post(std::vector<FlightPlanJob>& jobs);
    // Appends the outcomes so far, in the order of their jobs.
    void takeOutcomes(std::vector<FlightPlanOutcome>& into);
    // The jobs not begun and the outcomes not taken are dropped; a job under way is finished; the thread
    // is joined.
    void stop();
    // Waits until every posted job is done.
    void waitIdle();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<FlightPlanJob> jobs_;
    std::vector<FlightPlanOutcome> outcomes_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

// The engine's side of the plan files, engine thread only: the jobs asked in this pass, and for each
// object id the write whose outcome is awaited.
struct FlightPlanFiles {
    std::vector<FlightPlanJob> asked;
    std::unordered_map<std::uint32_t, std::uint64_t> awaitedWrite; // oid -> ticket
    std::uint64_t lastTicket = 0;
    std::vector<FlightPlanOutcome> taken;
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
