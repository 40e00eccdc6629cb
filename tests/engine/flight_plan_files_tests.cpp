// The AI flight-plan files written and deleted off the pass: the jobs reach the disk in the order they
// were asked even when an object id comes back, a plan is sent and marks its aircraft only when the
// aircraft still holds the object, and a failed write is logged and leaves the aircraft without a plan.
// The simulator's results are posted by the test; the link is connected to a stand-in so that what is
// sent to the simulator can be counted.

#include "engine/base/engine_tables.h"
#include "engine/live/flight_plan_files.h"
#include "engine/sim_results.h"
#include "engine_fixture.h"
#include "simlink/flight_plans.h"

#include "tests/support/temp_folder.h"

#include <gmock/gmock.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>

// The test program's allocations, watched for the ones made or freed on the flight-plan worker: a thread
// that touches the heap gets an allocator arena of its own, resident for the rest of the process.
namespace {

std::atomic<bool> heapWatched{false};
std::atomic<int> workerHeapCalls{0};

void lf_noteHeapCall() {
    if (!heapWatched.load(std::memory_order_relaxed)) return;
    char name[16] = {};
    if (pthread_getname_np(pthread_self(), name, sizeof name) == 0 &&
        std::strcmp(name, flightPlanWorkerName) == 0)
        workerHeapCalls.fetch_add(1);
}

} // namespace

void* operator new(std::size_t size) {
    lf_noteHeapCall();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    if (p != nullptr) lf_noteHeapCall();
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    ::operator delete(p);
}

namespace enginetest {
namespace {

constexpr std::uint32_t oid = 40;
constexpr std::uint32_t hexidA = 0x4B0001; // LSZH to EGLL
constexpr std::uint32_t hexidB = 0x4B0002; // EDDF to LOWW

class FlightPlanFilesTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(gf_createFlightPlanFolder());
        connect();
    }

    static void post(SimResult r) {
        std::lock_guard lock(simResultMutex);
        simResults.push_back(r);
    }

    // A live aircraft whose creation was sent, with its route.
    static LiveAc& sent(std::uint32_t hexid, const std::string& cs, const std::string& orig,
                        const std::string& dest) {
        LiveAc& ac = liveAc(hexid, cs);
        ac.simState = SimState::adding2sim;
        ac.orig = orig;
        ac.dest = dest;
        return ac;
    }

    // The simulator's results of a pass, and the worker done with everything asked so far; its outcomes
    // are not taken yet.
    static void drainWithWorkerDone() {
        gf_drainSimResults();
        gf_flightPlanWorkerIdleForTests();
    }

    // A pass after the worker has done everything asked so far.
    static void passWithWorkerDone() {
        gf_drainSimResults();
        gf_flightPlanWorkerIdleForTests();
        gf_takeFlightPlanOutcomes();
    }

    static std::optional<std::string> planText() {
        std::ifstream in(gf_flightPlanPath(oid), std::ios::binary);
        if (!in) return std::nullopt;
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::uint64_t plansSent() {
        sync();
        return stub_->callCount("AISetAircraftFlightPlan");
    }
};

// Each step a test takes, in its order.
enum class Step { bindA, bindB, remove, written, settledPass };

struct OrderCase {
    const char* name;
    std::vector<Step> steps;
    const char* departure; // of the plan file left at the end; nullptr: no file
    std::uint64_t sent;    // plans handed to the simulator
};

TEST_F(FlightPlanFilesTest, WritesAndDeletesOfOneObjectIdReachTheDiskInTheirOrder) {
    using enum Step;
    const std::vector<OrderCase> cases = {
        {"written", {bindA, settledPass}, "LSZH", 1},
        {"removed before its write was handed over", {bindA, remove, settledPass}, nullptr, 0},
        {"removed once written, before the outcome was taken",
         {bindA, written, remove, settledPass},
         nullptr,
         0},
        {"removed after its plan was sent", {bindA, settledPass, remove, settledPass}, nullptr, 1},
        {"write, delete, write in one pass", {bindA, remove, bindB, settledPass}, "EDDF", 1},
        {"write, delete, write over passes",
         {bindA, written, remove, written, bindB, settledPass},
         "EDDF",
         1},
        {"write, delete, write, delete", {bindA, remove, bindB, remove, settledPass}, nullptr, 0},
        {"written twice, both sent", {bindA, settledPass, remove, bindB, settledPass}, "EDDF", 2},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(gf_flightPlanPath(oid));
        const std::uint64_t sentBefore = plansSent();
        for (const Step step : c.steps) {
            switch (step) {
            case bindA:
                sent(hexidA, "SWR1", "LSZH", "EGLL");
                post(SimResult{oid, hexidA, 0, SimResultKind::liveObjectFound, 0, 3});
                break;
            case bindB:
                sent(hexidB, "DLH2", "EDDF", "LOWW");
                post(SimResult{oid, hexidB, 0, SimResultKind::liveObjectFound, 0, 3});
                break;
            case remove:
                post(SimResult{oid, 0, 0, SimResultKind::objectRemoved, 0, 0});
                break;
            case written:
                drainWithWorkerDone();
                break;
            case settledPass:
                passWithWorkerDone();
                break;
            }
        }
        const auto text = planText();
        if (c.departure == nullptr) {
            EXPECT_FALSE(text.has_value()) << "no plan file is left";
            EXPECT_EQ(gf_findLiveByOid(oid), nullptr);
        } else {
            ASSERT_TRUE(text.has_value());
            EXPECT_THAT(*text, testing::HasSubstr(fmt::format("<DepartureID>{}</DepartureID>", c.departure)));
            const LiveAc* holder = gf_findLiveByOid(oid);
            ASSERT_NE(holder, nullptr);
            EXPECT_TRUE(holder->hasFlightPlan);
        }
        EXPECT_EQ(plansSent() - sentBefore, c.sent);
        EXPECT_EQ(logCount("creating a flight plan failed"), 0u);
        // The next case starts with no aircraft and nothing awaited.
        if (gf_findLiveByOid(oid) != nullptr) {
            post(SimResult{oid, 0, 0, SimResultKind::objectRemoved, 0, 0});
            passWithWorkerDone();
        }
        gf_clearTrafficTables();
    }
}

TEST_F(FlightPlanFilesTest, APlanNotWrittenIsLoggedAndLeavesTheAircraftWithoutOne) {
    // A folder where the file should be: the write cannot open it.
    std::filesystem::create_directories(gf_flightPlanPath(oid));
    LiveAc& ac = sent(hexidA, "SWR1", "LSZH", "EGLL");
    post(SimResult{oid, hexidA, 0, SimResultKind::liveObjectFound, 0, 3});
    passWithWorkerDone();
    EXPECT_FALSE(ac.hasFlightPlan);
    EXPECT_EQ(logCount("creating a flight plan failed"), 1u);
    EXPECT_EQ(plansSent(), 0u) << "a plan not written is not sent";

    // Its removal deletes nothing (the folder stays) and logs nothing more.
    post(SimResult{oid, 0, 0, SimResultKind::objectRemoved, 0, 0});
    passWithWorkerDone();
    EXPECT_TRUE(std::filesystem::is_directory(gf_flightPlanPath(oid)));
    EXPECT_EQ(logCount("gf_removeFlightPlan"), 0u);

    // Without a flight-plan folder the plan fails at once, in the pass that binds the object.
    gf_resetFlightPlansForTests();
    LiveAc& other = sent(hexidB, "DLH2", "EDDF", "LOWW");
    post(SimResult{oid, hexidB, 0, SimResultKind::liveObjectFound, 0, 3});
    gf_drainSimResults();
    EXPECT_FALSE(other.hasFlightPlan);
    EXPECT_EQ(logCount("creating a flight plan failed"), 2u);
}

TEST_F(FlightPlanFilesTest, AFailedDeleteIsLoggedWithTheSystemsText) {
    LiveAc& ac = sent(hexidA, "SWR1", "LSZH", "EGLL");
    post(SimResult{oid, hexidA, 0, SimResultKind::liveObjectFound, 0, 3});
    passWithWorkerDone();
    ASSERT_TRUE(ac.hasFlightPlan);
    // The file has become a folder with something in it: it cannot be removed.
    std::filesystem::remove(gf_flightPlanPath(oid));
    std::filesystem::create_directories(gf_flightPlanPath(oid) / "inside");
    post(SimResult{oid, 0, 0, SimResultKind::objectRemoved, 0, 0});
    passWithWorkerDone();
    EXPECT_EQ(logCount("gf_removeFlightPlan: "), 1u);
    EXPECT_EQ(gf_findLiveByOid(oid), nullptr);
}

TEST(FlightPlanWorkerTest, TheWorkerDoesItsJobsInOrderWithoutTouchingTheHeap) {
    const testing_support::TempFolder dir("skyloom-plans");
    const std::string text = "<?xml version=\"1.0\"?>\n" + std::string(300, 'x') + "\n";
    std::filesystem::create_directories(dir / "full" / "inside");
    const auto job = [&](bool remove, const std::string& name) {
        FlightPlanJob j;
        j.remove = remove;
        j.path = (dir / name).string();
        if (!remove) j.text = text;
        return j;
    };
    struct Expected {
        bool ok;
        int error;
    };
    // Two rounds, the second posted before the first's outcomes are taken.
    std::vector<std::vector<FlightPlanJob>> rounds(2);
    rounds[0].push_back(job(false, "1.pln"));
    rounds[0].push_back(job(false, "missing/2.pln")); // no such folder
    rounds[0].push_back(job(true, "3.pln"));          // no such file: no error
    rounds[1].push_back(job(true, "1.pln"));
    rounds[1].push_back(job(true, "full")); // a folder with something in it
    rounds[1].push_back(job(false, "1.pln"));
    const std::vector<Expected> expected = {{true, 0}, {false, ENOENT},    {true, 0},
                                            {true, 0}, {false, ENOTEMPTY}, {true, 0}};

    std::vector<FlightPlanJob> outcomes;
    workerHeapCalls = 0;
    heapWatched = true;
    {
        FlightPlanWorker worker;
        for (auto& round : rounds) {
            worker.post(round);
            EXPECT_TRUE(round.empty());
            worker.waitIdle();
        }
        worker.takeOutcomes(outcomes);
        worker.stop();
    }
    heapWatched = false;
    EXPECT_EQ(workerHeapCalls.load(), 0) << "allocations or frees on the worker";

    ASSERT_EQ(outcomes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(outcomes[i].path);
        EXPECT_EQ(outcomes[i].ok, expected[i].ok);
        EXPECT_EQ(outcomes[i].error, expected[i].error);
    }
    std::ifstream in(dir / "1.pln", std::ios::binary);
    std::ostringstream written;
    written << in.rdbuf();
    EXPECT_EQ(written.str(), text) << "written last, after its delete";
}

} // namespace
} // namespace enginetest
