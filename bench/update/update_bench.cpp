// Downloads and the add-on installer against the loopback test server. Targets: fetching, checking
// and replacing a 20 MiB data file under 1 s; installing a 5,000-entry add-on archive under 1 s
// (download, checksum check, unpacking into the staging folder, one sync, the renames and the list
// of program-made files; the creation and rename of 5,000 files is most of it).

#include "core/program_paths.h"
#include "core/settings.h"
#include "platform/os/folders.h"
#include "refdata/data_files.h"
#include "tests/support/http_test_server.h"
#include "tools/datapack/datapack.h"
#include "update/downloader.h"
#include "update/installers.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <zip.h>

namespace fs = std::filesystem;

namespace {

// A temporary working folder and site, the server, and the downloads pointed at it.
struct Site {
    Site() {
        std::string pattern = (fs::temp_directory_path() / "skyloom-update-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
        root = pattern;
        for (const auto& f :
             {root / "work/input", root / "work/airports", root / "user", root / "site/downloads/11"})
            fs::create_directories(f);
        os::setWorkingFolder(root / "work");
        gf_setUserFolder(root / "user");
        server = std::make_unique<testing_support::HttpTestServer>(root / "site");
        auto& t = gf_downloadTestSettings();
        t.baseUrl = server->baseUrl();
        t.baseUrlSet = true;
        t.caFile = server->caFile();
    }
    ~Site() {
        server.reset();
        gf_resetDownloadsForTests();
        gf_setUserFolder({});
        os::resetWorkingFolder();
        leftovers().push_back(root);
    }
    // The folders of all runs go when the program ends, not between runs: ext4 without a journal skips
    // the inodes freed in the last minute when it makes a file, one by one, so removing 5,000 files
    // right before the next run would have that run measure the file system's bookkeeping.
    static std::vector<fs::path>& leftovers() {
        static struct Leftovers {
            std::vector<fs::path> folders;
            ~Leftovers() {
                std::error_code ec;
                for (const auto& folder : folders)
                    fs::remove_all(folder, ec);
            }
        } all;
        return all.folders;
    }
    fs::path root;
    std::unique_ptr<testing_support::HttpTestServer> server;
};

void BM_DownloadDataFile20MiB(benchmark::State& state) {
    Site site;
    {
        std::string plain(20u << 20, '\0');
        std::mt19937 random(7);
        for (auto& c : plain)
            c = static_cast<char>('A' + random() % 26);
        std::ofstream(site.root / "plain.xml", std::ios::binary) << plain;
        datapack::encryptDataFile(site.root / "plain.xml", site.root / "site/downloads/11/dbase.enc");
    }
    const fs::path target = site.root / "work/input/dbase.enc";
    for (auto _ : state) {
        if (!gf_downloadDataFile("dbase.enc", target)) state.SkipWithError("download failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (20 << 20));
}
BENCHMARK(BM_DownloadDataFile20MiB)->Unit(benchmark::kMillisecond);

// What the file system alone takes to make 5,000 files of the add-on's size beside the add-on folder,
// in milliseconds: the floor under any install. A file system without a journal looks at every inode
// freed in the last minutes before it hands out a new one, so on a machine whose other programs
// create and remove many files this floor alone can reach a second.
double lf_create5000Files(const fs::path& folder) {
    fs::create_directories(folder);
    const std::string content(420, 'p');
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 5000; ++i) {
        const int fd =
            ::open((folder / fmt::format("F{:04}.txt", i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) throw std::runtime_error("create");
        if (::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
            throw std::runtime_error("write");
        ::close(fd);
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
}

void BM_InstallAddon5000Entries(benchmark::State& state) {
    Site site;
    const fs::path zipPath = site.root / "site/downloads/mysimaddon24/my_simaddon2024.zip";
    fs::create_directories(zipPath.parent_path());
    {
        int error = 0;
        zip_t* archive = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        std::vector<std::string> contents;
        contents.reserve(5000);
        for (int i = 0; i < 5000; ++i) {
            contents.push_back(
                fmt::format("<root><airport code=\"X{:04}\"/>{}</root>", i, std::string(400, 'p')));
            zip_source_t* source =
                zip_source_buffer(archive, contents.back().data(), contents.back().size(), 0);
            zip_file_add(archive, fmt::format("X{:04}.xml", i).c_str(), source, ZIP_FL_ENC_UTF_8);
        }
        zip_close(archive);
    }
    // Every run installs into a working folder of its own: a first install, all 5,000 files new.
    int run = 0;
    double createdMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path work = site.root / fmt::format("work-{}", ++run);
        fs::create_directories(work / "input");
        fs::create_directories(work / "airports");
        os::setWorkingFolder(work);
        MYSIMADDON24_VERSION.setValue("");
        state.ResumeTiming();
        if (gf_downloadSimAddon(VersionData{1, 0, 0}) != AddonResult::Updated)
            state.SkipWithError("install failed");
        state.PauseTiming();
        createdMs += lf_create5000Files(work / "airports/floor");
        state.ResumeTiming();
    }
    state.counters["create_5000_files_ms"] =
        benchmark::Counter(createdMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_InstallAddon5000Entries)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
