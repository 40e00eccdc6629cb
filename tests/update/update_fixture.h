#pragma once
// A temporary working folder with the log open and its own settings, and the test server serving a
// folder laid out like the maker's download folder. Every download goes to 127.0.0.1 only.

#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "platform/os/folders.h"
#include "platform/os/shell.h"
#include "refdata/data_files.h"
#include "tests/support/http_test_server.h"
#include "tools/datapack/datapack.h"
#include "update/downloader.h"
#include "update/update_hooks.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <zip.h>

namespace update_test {

namespace fs = std::filesystem;
using testing_support::HttpTestServer;
using testing_support::ServedFault;

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const fs::path& path, std::string_view content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

// Every file under the folder, as relative paths with their content.
inline std::map<std::string, std::string> tree(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string relative = fs::relative(entry.path(), folder).string();
        files[relative] = entry.is_regular_file() ? readFile(entry.path()) : std::string("<dir>");
    }
    return files;
}

struct ZipEntrySpec {
    std::string name;
    std::string content;
    bool symlink = false;
    bool stored = false; // no compression (so that the test can damage the bytes)
};

// Writes a zip archive with libzip; names are stored exactly as given.
inline void makeZip(const fs::path& path, const std::vector<ZipEntrySpec>& entries) {
    fs::create_directories(path.parent_path());
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) throw std::runtime_error("zip_open");
    // The contents must live until zip_close.
    std::vector<std::unique_ptr<std::string>> keep;
    for (const auto& e : entries) {
        keep.push_back(std::make_unique<std::string>(e.content));
        zip_source_t* source = zip_source_buffer(archive, keep.back()->data(), keep.back()->size(), 0);
        const zip_int64_t index =
            e.name.ends_with('/')
                ? zip_dir_add(archive, e.name.substr(0, e.name.size() - 1).c_str(), ZIP_FL_ENC_RAW)
                : zip_file_add(archive, e.name.c_str(), source, ZIP_FL_ENC_RAW | ZIP_FL_OVERWRITE);
        if (e.name.ends_with('/')) zip_source_free(source);
        if (index < 0) throw std::runtime_error(std::string("zip_file_add ") + zip_strerror(archive));
        if (e.stored) zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        if (e.symlink)
            zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                             static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
    }
    if (zip_close(archive) != 0) throw std::runtime_error("zip_close");
}

// Replaces the first occurrence of `from` in the file by `to` (same length).
inline void patchFile(const fs::path& path, std::string_view from, std::string_view to) {
    std::string bytes = readFile(path);
    const auto at = bytes.find(from);
    if (at == std::string::npos || from.size() != to.size()) throw std::runtime_error("patchFile");
    bytes.replace(at, from.size(), to);
    writeFile(path, bytes);
}

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "skyloom-update-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        temp = pattern;
        work = temp / "work";
        user = temp / "user";
        site = temp / "site";
        for (const auto& f : {work / "input", work / "output", work / "airports", user, site / "downloads"})
            fs::create_directories(f);
        os::setWorkingFolder(work);
        gf_resetLogForTests();
        gf_openLogFile();
        gf_setUserFolder(user);
        gf_resetSettingsForTests();
        gf_resetCoreHooks();
        gf_resetUpdateHooks();
        gf_resetDownloadsForTests();
        runControl.reset();
        refdataInputFolder() = work / "input";
        startServer({});
    }

    void TearDown() override {
        server.reset();
        gf_resetLogForTests();
        gf_setUserFolder({});
        gf_resetSettingsForTests();
        gf_resetCoreHooks();
        gf_resetUpdateHooks();
        gf_resetDownloadsForTests();
        os::setShellOpenProgram({});
        runControl.reset();
        refdataInputFolder() = "input";
        os::resetWorkingFolder();
        std::error_code ec;
        fs::remove_all(temp, ec);
    }

    // (Re)starts the server and points the downloads at it with short limits.
    void startServer(HttpTestServer::Options options) {
        server.reset();
        server = std::make_unique<HttpTestServer>(site, options);
        auto& t = gf_downloadTestSettings();
        t.baseUrl = server->baseUrl();
        t.baseUrlSet = true;
        t.caFile = server->caFile();
        t.limits = [](DownloadKind) {
            DownloadLimits limits;
            limits.connectTimeout = std::chrono::milliseconds(5'000);
            limits.lowSpeedTime = std::chrono::seconds(1);
            return limits;
        };
        t.abort = &abort;
    }

    std::string url(const std::string& path) const { return server->baseUrl() + path; }

    std::string logText() {
        gf_logFlush();
        return readFile(work / "Log.txt");
    }

    // An encrypted data file on the site, made from the plain text.
    void siteDataFile(const std::string& name, const std::string& plain) {
        const fs::path source = temp / (name + ".plain");
        writeFile(source, plain);
        fs::create_directories(site / "downloads/11");
        datapack::encryptDataFile(source, site / "downloads/11" / name);
        fs::remove(source);
    }

    fs::path temp, work, user, site;
    std::unique_ptr<HttpTestServer> server;
    std::atomic<bool> abort{false};
};

} // namespace update_test
