#pragma once
// Every file the program fetches from the maker's download server goes through Downloader: one URL
// into one file over libcurl's easy interface. The body lands in a temporary file beside the target
// and replaces the target only when the transfer was complete and the file passes the check of its
// kind; a failed transfer leaves the old file byte for byte. Nothing throws: every failure is a log
// line and a false result.
//
// Transfers use https with the system's certificate store (peer and host name verified); plain http
// is accepted only to loopback hosts (tests and the stand-ins). At most 5 redirects are followed,
// each to an allowed URL; a final status outside 2xx fails.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <curl/curl.h>

// A curl easy handle with its clean-up, owned by the caller for one task; it may serve several
// downloads in a row. A handle that could not be created is null.
using DownloadHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
DownloadHandle gf_makeDownloadHandle();

// What is fetched decides the size limit and the check that a complete body must pass before it
// replaces the target.
enum class DownloadKind {
    VersionList,      // versions.json, 64 KiB: parses as a JSON object
    DataFile,         // an encrypted data file, 64 MiB: decrypts completely
    AirportFile,      // an archived airport file, 16 MiB: loads as XML with its meta header
    AddonArchive,     // the companion add-on, 64 MiB: opens as a zip whose checksums hold
    InstallerArchive, // the program installer, 512 MiB: as the add-on archive
    Document,         // the release notes, 64 MiB: no check
};

std::uint64_t gf_downloadSizeLimit(DownloadKind kind);

// The time limits and the abort of one transfer.
struct DownloadLimits {
    std::chrono::milliseconds connectTimeout{15'000};
    // A transfer slower than lowSpeedBytes per second for lowSpeedTime is aborted.
    long lowSpeedBytes = 1024;
    std::chrono::seconds lowSpeedTime{30};
    // The whole transfer, redirects included (0: no limit).
    std::chrono::milliseconds totalTimeout{0};
};

// The limits of a kind: each has a limit for the whole transfer (the version list 30 s, data files and
// documents 5 min, the add-on 10 min, the installer 30 min); airport files are fetched inside the main
// cycle (5 s to connect, 20 s in all).
DownloadLimits gf_downloadLimits(DownloadKind kind);

// The time limit of the whole update check at start-up (10 minutes).
std::chrono::milliseconds gf_updateCheckTimeLimit();

// While it lives, every transfer ends by the end of the update check's time limit, counted from its
// making, whatever its own limits leave.
class UpdateCheckDeadline {
public:
    UpdateCheckDeadline();
    ~UpdateCheckDeadline();
    UpdateCheckDeadline(const UpdateCheckDeadline&) = delete;
    UpdateCheckDeadline& operator=(const UpdateCheckDeadline&) = delete;
};

// Shows "Downloading {name} ..." on the status line while it lives and empties the line at its end, so
// that a slow server is never a silent wait.
class DownloadNotice {
public:
    explicit DownloadNotice(std::string_view name);
    ~DownloadNotice();
    DownloadNotice(const DownloadNotice&) = delete;
    DownloadNotice& operator=(const DownloadNotice&) = delete;
};

// Removes the temporary files that killed or broken-off transfers left in the folders (names as the
// downloader makes them: ".{name}.{process}-{number}.download"), one log line each. Returns how many.
std::size_t gf_removeLeftDownloads(const std::vector<std::filesystem::path>& folders);

// Downloads `url` into `target`. `binary` is kept for the callers' sake (there is no text mode here).
// Log lines: "Could not open output file: {}" (no request is made), "Download error: '{}' for {}",
// "Downloaded file from {} failed its check: {}", "Downloader exception: '{}', {} => {}".
bool Downloader(DownloadHandle& handle, const std::string& url, const std::filesystem::path& target,
                bool binary, DownloadKind kind);

// The maker's download folder: the base URL + "/downloads/" (always ending in "/"), or "" when no
// server is configured. The base URL is SKYLOOM_DOWNLOAD_URL, else the build-time default.
std::string gf_downloadFolderUrl();

// Fetches one data file of the running major version ("{folder}{major}/{name}") into the target.
bool gf_downloadDataFile(const std::string& fileName, const std::filesystem::path& target);

// Fetches a file of the maker's server by its path from "downloads/" on (an archived airport file,
// "downloads/MSFS/archive/stock/EDDF.xml") into the target, checked as an airport file and within the
// airport files' time limits. False without a configured server.
bool gf_downloadArchivedFile(const std::string& serverPath, const std::filesystem::path& target);

// True for a URL this program may fetch: https anywhere, http only to a loopback host.
bool gf_downloadUrlAllowed(std::string_view url);

// ---- tests ----
struct DownloadTestSettings {
    // A base URL used instead of the environment and the build-time default.
    std::string baseUrl;
    bool baseUrlSet = false;
    // A PEM file of extra trusted certificate authorities (the test server's own CA).
    std::filesystem::path caFile;
    // Replaces the limits of every kind when set.
    std::function<DownloadLimits(DownloadKind)> limits;
    // Replaces the size limit of every kind when non-zero.
    std::uint64_t sizeLimit = 0;
    // The abort flag; default: the close flag of the run control.
    const std::atomic<bool>* abort = nullptr;
    // Replaces the time limit of the whole update check when non-zero.
    std::chrono::milliseconds checkTimeLimit{0};
};
DownloadTestSettings& gf_downloadTestSettings();
void gf_resetDownloadsForTests();
