// The livery scan over a generated Community folder of 5,000 aircraft.cfg files with 50,000 sections.
// Target: the whole lf_scanLiveryFolders (LiveriesScanned.xml and the reports written) takes at most
// 1.5 times as long as a plain walk of the same package that reads every file whole on as many threads
// as the scan runs tasks (8), both warm. Run the two interleaved, e.g.
// --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true. The counter cpu_ms is the
// processor time of all the process's threads per iteration (on a busy machine the scan, which spends
// more of it, loses more time to other processes than the reference).

#include "liveries/livery_data.h"
#include "liveries/livery_scan.h"

#include "core/scan_tasks.h"

#include "platform/os/folders.h"

#include "refdata/data_files.h"
#include "refdata/dbase.h"

#include "bench/scan/plain_walk_read.h"
#include "tests/liveries/community_tree.h"
#include "tools/datapack/datapack.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>
#include <list>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr int fileCount = 5000;
constexpr int sectionsPerFile = 10;
constexpr std::int32_t taskLimit = 8;

struct Tree {
    fs::path root;
    fs::path package;
    Tree() {
        std::string pattern = (fs::temp_directory_path() / "skyloom-scan-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root = pattern;
        fs::create_directories(root / "work" / "output");
        fs::create_directories(root / "input");
        os::setWorkingFolder(root / "work");
        refdataInputFolder() = root / "input";
        datapack::encryptDataFile(fs::path(SKYLOOM_SOURCE_DIR) / "data" / "dbase.xml",
                                  root / "input" / "dbase.enc");
        if (!gf_readDbase()) std::abort();
        community_tree::writeGeneratedCommunity(root / "Community", fileCount, sectionsPerFile);
        package = root / "Community" / "user-aitraffic";
        gf_setScanTaskLimit(taskLimit);
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Tree& tree() {
    static Tree t;
    return t;
}

// The process's processor time (all threads, user and system) in milliseconds.
double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Shows the processor time of all the process's threads per iteration as the counter "cpu_ms".
class ProcessCpu {
public:
    explicit ProcessCpu(benchmark::State& state) : state_(state), start_(processCpuMs()) {}
    ~ProcessCpu() {
        state_.counters["cpu_ms"] = (processCpuMs() - start_) / static_cast<double>(state_.iterations());
    }
    ProcessCpu(const ProcessCpu&) = delete;
    ProcessCpu& operator=(const ProcessCpu&) = delete;

private:
    benchmark::State& state_;
    double start_;
};

void BM_ScanLiveryFolders(benchmark::State& state) {
    Tree& t = tree();
    (void)lf_scanLiveryFolders({t.package}); // warm
    const ProcessCpu cpu(state);
    for (auto _ : state) {
        if (lf_scanLiveryFolders({t.package}) != LiveryScanOutcome::complete)
            state.SkipWithError("scan failed");
    }
    state.counters["liveries"] = static_cast<double>(fileCount * sectionsPerFile);
}
BENCHMARK(BM_ScanLiveryFolders)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The plain reference: a recursive walk of the package that reads every file whole, on as many threads
// as the scan runs tasks.
void BM_PlainWalkAndRead(benchmark::State& state) {
    Tree& t = tree();
    const auto threads = static_cast<unsigned>(state.range(0));
    (void)plain_walk::walkAndRead(t.package.string(), threads); // warm
    const ProcessCpu cpu(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(plain_walk::walkAndRead(t.package.string(), threads));
}
BENCHMARK(BM_PlainWalkAndRead)->Arg(taskLimit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// For comparison only (no bound): the plain reference followed by a plain durable write of as many
// bytes as the scan's LiveriesScanned.xml (write, fsync, rename, fsync of the folder), which the scan
// must do and the reference does not.
void BM_PlainWalkReadAndSyncedWrite(benchmark::State& state) {
    Tree& t = tree();
    (void)lf_scanLiveryFolders({t.package});
    std::error_code ec;
    const std::string bytes(static_cast<std::size_t>(fs::file_size(gf_liveriesScannedPath(), ec)), 'x');
    const fs::path folder = t.root / "plain-write";
    fs::create_directories(folder);
    const std::string file = (folder / "out.xml").string();
    const std::string temporary = file + ".tmp";
    const ProcessCpu cpu(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(plain_walk::walkAndRead(t.package.string(), taskLimit));
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            ::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temporary.c_str(), file.c_str()) != 0)
            state.SkipWithError("plain write failed");
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_PlainWalkReadAndSyncedWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// For comparison only (no bound): the scan's listing of the package on as many threads as tasks, with
// the names tested as the scan tests them, reading no file.
void BM_ListingOnly(benchmark::State& state) {
    Tree& t = tree();
    const ProcessCpu cpu(state);
    for (auto _ : state) {
        std::size_t files = 0;
        gf_listFolderTreeStarting(
            t.package, taskLimit,
            [](const ListedName& entry) {
                ListStep step;
                step.take = entry.name == "aircraft.cfg";
                return step;
            },
            [](std::string_view) { return std::unique_ptr<StartedTask>(); },
            [&files](std::string_view, std::unique_ptr<StartedTask>) {
                ++files;
                return true;
            });
        benchmark::DoNotOptimize(files);
    }
}
BENCHMARK(BM_ListingOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// For comparison only (no bound): the scan with a file body that does nothing (run where the scan
// reads and decodes each file, on the listing thread that found it), which finds no livery and writes
// nothing: the listing and the handing of each file's result to the walk.
void BM_EmptyTasks(benchmark::State& state) {
    Tree& t = tree();
    liveryTaskBody = [](const ScanContext&, std::int32_t, const fs::path&) { return FileScan{}; };
    const ProcessCpu cpu(state);
    for (auto _ : state)
        (void)lf_scanLiveryFolders({t.package});
    liveryTaskBody = nullptr;
}
BENCHMARK(BM_EmptyTasks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
