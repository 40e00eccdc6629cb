#include "update/downloader.h"

#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/version.h"
#include "core/xml.h"
#include "refdata/data_files.h"
#include "update/data_file_check.h"
#include "update/zip_reader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <unistd.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#ifndef SKYLOOM_DEFAULT_DOWNLOAD_URL
#define SKYLOOM_DEFAULT_DOWNLOAD_URL ""
#endif

namespace fs = std::filesystem;

namespace {

constexpr long maxRedirects = 5;

DownloadTestSettings& lf_testSettings() {
    static DownloadTestSettings settings;
    return settings;
}

std::atomic<std::uint64_t> tempCounter{0};

// The end of the update check's time, in steady-clock ticks (0: none): every transfer ends by then.
std::atomic<std::chrono::steady_clock::rep> checkDeadline{0};

constexpr std::string_view temporarySuffix = ".download";

// What one request of a transfer writes and why it stopped.
struct Transfer {
    CURL* curl = nullptr;
    std::FILE* file = nullptr;
    std::uint64_t limit = 0;
    std::uint64_t written = 0;
    bool tooLarge = false;
    bool writeFailed = false;
    const std::atomic<bool>* abort = nullptr;
};

std::size_t lf_write(char* data, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    long status = 0;
    curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) return bytes; // the body of a redirect is not content
    if (t.written + bytes > t.limit) {
        t.tooLarge = true;
        return 0;
    }
    if (std::fwrite(data, 1, bytes, t.file) != bytes) {
        t.writeFailed = true;
        return 0;
    }
    t.written += bytes;
    return bytes;
}

int lf_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& t = *static_cast<Transfer*>(user);
    return t.abort && t.abort->load() ? 1 : 0;
}

bool lf_isLoopbackHost(std::string_view host) {
    if (host == "localhost" || host == "[::1]" || host == "::1") return true;
    // 127.0.0.0/8 in dotted form.
    if (!host.starts_with("127.")) return false;
    int dots = 0;
    for (const char c : host) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots == 3;
}

struct UrlParts {
    std::string scheme;
    std::string host;
};

std::optional<UrlParts> lf_parseUrl(std::string_view url) {
    CURLU* handle = curl_url();
    if (!handle) return std::nullopt;
    std::optional<UrlParts> parts;
    const std::string text(url);
    if (curl_url_set(handle, CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        if (curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            parts = UrlParts{scheme, host};
            for (char& c : parts->scheme)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            for (char& c : parts->host)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        curl_free(scheme);
        curl_free(host);
    }
    curl_url_cleanup(handle);
    return parts;
}

// A unique temporary name beside the target.
fs::path lf_temporaryPath(const fs::path& target) {
    return target.parent_path() / fmt::format(".{}.{}-{}{}", target.filename().string(), ::getpid(),
                                              tempCounter.fetch_add(1), temporarySuffix);
}

void lf_removeQuietly(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

// Empty when the complete body passes the check of its kind (a data file: the file of the target's
// name), else why not.
std::string lf_checkBody(DownloadKind kind, const fs::path& body, const fs::path& target) {
    switch (kind) {
    case DownloadKind::VersionList: {
        std::ifstream in(body, std::ios::binary);
        const auto json = nlohmann::json::parse(in, nullptr, false);
        if (json.is_discarded()) return "not valid JSON";
        if (!json.is_object()) return "not a JSON object";
        return {};
    }
    case DownloadKind::DataFile: {
        const fs::path plain = fs::path(body).concat(".plain");
        std::string why = gf_streamDecrypt(body, plain)
                              ? gf_checkPlainDataFile(target.filename().string(), plain)
                              : std::string("does not decrypt");
        lf_removeQuietly(plain);
        return why;
    }
    case DownloadKind::AirportFile: {
        pugi::xml_document doc;
        if (!doc.load_file(body.c_str())) return "not valid XML";
        if (!gf_readMetaData(doc, true)) return "no meta header";
        return {};
    }
    case DownloadKind::AddonArchive:
    case DownloadKind::InstallerArchive: {
        std::string error;
        const ZipLimits limits =
            kind == DownloadKind::AddonArchive ? gf_addonZipLimits() : gf_installerZipLimits();
        if (!gf_zipVerify(body, limits, &error)) return fmt::format("not a sound zip archive ({})", error);
        return {};
    }
    case DownloadKind::Document:
        return {};
    }
    return {};
}

// Sets the options of one request. Returns the first failing code.
CURLcode lf_prepare(CURL* curl, const std::string& url, const DownloadLimits& limits, std::uint64_t sizeLimit,
                    Transfer& transfer, bool loopback) {
    CURLcode rc = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK) rc = curl_easy_setopt(curl, option, value);
    };
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_USERAGENT, gf_productName.data());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 0L);
    set(CURLOPT_FAILONERROR, 1L);
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    const auto& test = lf_testSettings();
    if (!test.caFile.empty()) set(CURLOPT_CAINFO, test.caFile.c_str());
    // A loopback host is never reached through a proxy.
    set(CURLOPT_NOPROXY, loopback ? "*" : nullptr);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
    set(CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytes);
    set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.lowSpeedTime.count()));
    set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sizeLimit));
    set(CURLOPT_WRITEFUNCTION, lf_write);
    set(CURLOPT_WRITEDATA, &transfer);
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, lf_progress);
    set(CURLOPT_XFERINFODATA, &transfer);
    return rc;
}

// The transfer itself: follows redirects one by one, each checked. Returns the failure text, or
// empty after a complete 2xx body.
std::string lf_transfer(CURL* curl, const std::string& url, DownloadKind kind, Transfer& transfer) {
    const auto& test = lf_testSettings();
    const DownloadLimits limits = test.limits ? test.limits(kind) : gf_downloadLimits(kind);
    const auto started = std::chrono::steady_clock::now();
    std::string current = url;
    for (long redirects = 0;; ++redirects) {
        if (!gf_downloadUrlAllowed(current)) return curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL);
        const auto parts = lf_parseUrl(current);
        CURLcode rc = lf_prepare(curl, current, limits, transfer.limit, transfer,
                                 parts && lf_isLoopbackHost(parts->host));
        // The time left: of this transfer's own limit, and of the update check it belongs to.
        const auto now = std::chrono::steady_clock::now();
        std::optional<std::chrono::milliseconds> left;
        if (limits.totalTimeout.count() > 0)
            left = limits.totalTimeout - std::chrono::duration_cast<std::chrono::milliseconds>(now - started);
        if (const auto deadline = checkDeadline.load(); deadline != 0) {
            const auto checkLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(deadline)) - now);
            left = left ? std::min(*left, checkLeft) : checkLeft;
        }
        if (rc == CURLE_OK && left) {
            if (left->count() <= 0) return curl_easy_strerror(CURLE_OPERATION_TIMEDOUT);
            rc = curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(left->count()));
        }
        if (rc == CURLE_OK) rc = curl_easy_perform(curl);
        if (rc != CURLE_OK) {
            if (transfer.tooLarge) return curl_easy_strerror(CURLE_FILESIZE_EXCEEDED);
            return curl_easy_strerror(rc);
        }
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200 && status <= 299) return {};
        char* location = nullptr;
        if (status < 300 || status > 399 ||
            curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location) != CURLE_OK || !location)
            return curl_easy_strerror(CURLE_HTTP_RETURNED_ERROR);
        if (redirects + 1 > maxRedirects) return curl_easy_strerror(CURLE_TOO_MANY_REDIRECTS);
        current = location;
    }
}

} // namespace

DownloadHandle gf_makeDownloadHandle() {
    return DownloadHandle(curl_easy_init(), &curl_easy_cleanup);
}

std::uint64_t gf_downloadSizeLimit(DownloadKind kind) {
    if (const auto limit = lf_testSettings().sizeLimit) return limit;
    switch (kind) {
    case DownloadKind::VersionList:
        return 64ull << 10;
    case DownloadKind::DataFile:
        return 64ull << 20;
    case DownloadKind::AirportFile:
        return 16ull << 20;
    case DownloadKind::AddonArchive:
        return 64ull << 20;
    case DownloadKind::InstallerArchive:
        return 512ull << 20;
    case DownloadKind::Document:
        return 64ull << 20;
    }
    return 0;
}

DownloadLimits gf_downloadLimits(DownloadKind kind) {
    using std::chrono::minutes;
    using std::chrono::seconds;
    DownloadLimits limits;
    switch (kind) {
    case DownloadKind::VersionList:
        limits.totalTimeout = seconds(30);
        break;
    case DownloadKind::DataFile:
    case DownloadKind::Document:
        limits.totalTimeout = minutes(5);
        break;
    case DownloadKind::AirportFile:
        limits.connectTimeout = seconds(5);
        limits.totalTimeout = seconds(20);
        break;
    case DownloadKind::AddonArchive:
        limits.totalTimeout = minutes(10);
        break;
    case DownloadKind::InstallerArchive:
        limits.totalTimeout = minutes(30);
        break;
    }
    return limits;
}

std::chrono::milliseconds gf_updateCheckTimeLimit() {
    const auto test = lf_testSettings().checkTimeLimit;
    return test.count() > 0 ? test : std::chrono::minutes(10);
}

UpdateCheckDeadline::UpdateCheckDeadline() {
    const auto end = std::chrono::steady_clock::now() + gf_updateCheckTimeLimit();
    checkDeadline.store(end.time_since_epoch().count());
}

UpdateCheckDeadline::~UpdateCheckDeadline() {
    checkDeadline.store(0);
}

DownloadNotice::DownloadNotice(std::string_view name) {
    gf_showMessage(fmt::format("Downloading {} ...", name), false);
}

DownloadNotice::~DownloadNotice() {
    gf_showMessage("", false);
}

std::size_t gf_removeLeftDownloads(const std::vector<fs::path>& folders) {
    // ".{name}.{process}-{counter}.download", as lf_temporaryPath makes them.
    const auto isLeft = [](const std::string& name) {
        if (name.size() <= temporarySuffix.size() + 1 || name.front() != '.' ||
            !name.ends_with(temporarySuffix))
            return false;
        const std::string_view stem = std::string_view(name).substr(0, name.size() - temporarySuffix.size());
        const auto dot = stem.rfind('.');
        if (dot == std::string_view::npos || dot == 0) return false;
        const std::string_view numbers = stem.substr(dot + 1);
        const auto dash = numbers.find('-');
        if (dash == std::string_view::npos || dash == 0 || dash + 1 == numbers.size()) return false;
        return std::all_of(numbers.begin(), numbers.end(),
                           [](char c) { return c == '-' || (c >= '0' && c <= '9'); }) &&
               numbers.find('-', dash + 1) == std::string_view::npos;
    };
    std::size_t removed = 0;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (!it->is_regular_file(typeError) || !isLeft(it->path().filename().string())) continue;
            std::error_code removeError;
            if (fs::remove(it->path(), removeError)) {
                ++removed;
                gf_log(fmt::format("Removed the part of a broken-off download: {}", it->path().string()));
            }
        }
    }
    return removed;
}

bool gf_downloadUrlAllowed(std::string_view url) {
    const auto parts = lf_parseUrl(url);
    if (!parts || parts->host.empty()) return false;
    if (parts->scheme == "https") return true;
    return parts->scheme == "http" && lf_isLoopbackHost(parts->host);
}

bool Downloader(DownloadHandle& handle, const std::string& url, const fs::path& target, bool /*binary*/,
                DownloadKind kind) {
    if (!handle) return false;
    fs::path temporary;
    try {
        temporary = lf_temporaryPath(target);
        std::FILE* file = std::fopen(temporary.c_str(), "wbx");
        if (!file) {
            gf_log(fmt::format("Could not open output file: {}", target.string()));
            return false;
        }
        Transfer transfer;
        transfer.curl = handle.get();
        transfer.file = file;
        transfer.limit = gf_downloadSizeLimit(kind);
        transfer.abort = lf_testSettings().abort ? lf_testSettings().abort : &runControl.close;
        curl_easy_reset(handle.get());
        std::string failure = lf_transfer(handle.get(), url, kind, transfer);
        curl_easy_reset(handle.get());
        // The add-on archive is unpacked and removed at once: what must last are the files unpacked from
        // it, and those are synced before they replace the installed ones.
        const bool durable = kind != DownloadKind::AddonArchive;
        bool flushed = std::fflush(file) == 0 && (!durable || ::fsync(::fileno(file)) == 0);
        flushed = std::fclose(file) == 0 && flushed;
        if (failure.empty() && (!flushed || transfer.writeFailed))
            failure = curl_easy_strerror(CURLE_WRITE_ERROR);
        if (!failure.empty()) {
            gf_log(fmt::format("Download error: '{}' for {}", failure, url));
            lf_removeQuietly(temporary);
            return false;
        }
        if (const std::string why = lf_checkBody(kind, temporary, target); !why.empty()) {
            gf_log(fmt::format("Downloaded file from {} failed its check: {}", url, why));
            lf_removeQuietly(temporary);
            return false;
        }
        std::error_code ec;
        fs::rename(temporary, target, ec);
        if (ec) {
            gf_log(fmt::format("Could not replace {}: {}", target.string(), ec.message()));
            lf_removeQuietly(temporary);
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        gf_log(fmt::format("Downloader exception: '{}', {} => {}", e.what(), url, target.string()));
        if (!temporary.empty()) lf_removeQuietly(temporary);
        return false;
    }
}

std::string gf_downloadFolderUrl() {
    const auto& test = lf_testSettings();
    std::string base;
    if (test.baseUrlSet)
        base = test.baseUrl;
    else if (const char* env = std::getenv("SKYLOOM_DOWNLOAD_URL"))
        base = env;
    else
        base = SKYLOOM_DEFAULT_DOWNLOAD_URL;
    if (base.empty()) return {};
    if (base.back() != '/') base += '/';
    return base + "downloads/";
}

bool gf_downloadDataFile(const std::string& fileName, const fs::path& target) {
    DownloadHandle handle = gf_makeDownloadHandle();
    const std::string folder = gf_downloadFolderUrl();
    if (folder.empty()) return false;
    const std::string url = fmt::format("{}{}/{}", folder, gf_programVersion.major, fileName);
    const bool ok = Downloader(handle, url, target, true, DownloadKind::DataFile);
    if (ok)
        gf_log(fmt::format("Downloaded '{}' to '{}'", url, target.string()));
    else
        gf_logError(fmt::format("Downloading '{}' failed !", url));
    return ok;
}

bool gf_downloadArchivedFile(const std::string& serverPath, const fs::path& target) {
    std::string folder = gf_downloadFolderUrl();
    if (folder.empty() || !serverPath.starts_with("downloads/")) return false;
    folder.resize(folder.size() - std::string_view("downloads/").size());
    DownloadHandle handle = gf_makeDownloadHandle();
    return Downloader(handle, folder + serverPath, target, true, DownloadKind::AirportFile);
}

DownloadTestSettings& gf_downloadTestSettings() {
    return lf_testSettings();
}

void gf_resetDownloadsForTests() {
    lf_testSettings() = DownloadTestSettings{};
}
