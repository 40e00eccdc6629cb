// The livery scan over a generated Community folder of 5,000 aircraft.cfg files with 50,000 sections.
// Target: the whole lf_scanLiveryFolders (LiveriesScanned.xml and the reports written) takes at most
// twice as long as the same walk with the same task limit in which each task only reads its file whole,
// both warm, and under 5 s with 8 tasks at once.

#include "liveries/livery_data.h"
#include "liveries/livery_scan.h"

#include "core/scan_tasks.h"

#include "platform/os/folders.h"

#include "refdata/data_files.h"
#include "refdata/dbase.h"

#include "tests/liveries/community_tree.h"
#include "tools/datapack/datapack.h"

#include <benchmark/benchmark.h>

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

void BM_ScanLiveryFolders(benchmark::State& state) {
    Tree& t = tree();
    (void)lf_scanLiveryFolders({t.package}); // warm
    for (auto _ : state) {
        if (lf_scanLiveryFolders({t.package}) != LiveryScanOutcome::complete)
            state.SkipWithError("scan failed");
    }
    state.counters["liveries"] = static_cast<double>(fileCount * sectionsPerFile);
}
BENCHMARK(BM_ScanLiveryFolders)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same walk, throttle and collection; each task only reads its file whole.
void BM_WalkAndReadOnly(benchmark::State& state) {
    Tree& t = tree();
    liveryTaskBody = [](const ScanContext&, std::int32_t, const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        benchmark::DoNotOptimize(text.data());
        return FileScan{};
    };
    (void)lf_scanLiveryFolders({t.package}); // warm
    for (auto _ : state)
        (void)lf_scanLiveryFolders({t.package});
    liveryTaskBody = nullptr;
}
BENCHMARK(BM_WalkAndReadOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
