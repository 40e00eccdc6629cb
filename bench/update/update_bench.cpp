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

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

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
        std::error_code ec;
        fs::remove_all(root, ec);
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
    for (auto _ : state) {
        MYSIMADDON24_VERSION.setValue("");
        if (gf_downloadSimAddon(VersionData{1, 0, 0}) != AddonResult::Updated)
            state.SkipWithError("install failed");
    }
}
BENCHMARK(BM_InstallAddon5000Entries)->Unit(benchmark::kMillisecond);

} // namespace
