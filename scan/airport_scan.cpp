#include "scan/airport_scan.h"

#include "core/file_io.h"
#include "core/generations.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/scan_tasks.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/textfile.h"
#include "platform/os/folders.h"
#include "refdata/airports.h"
#include "scan/airport_files.h"
#include "scan/publishers.h"
#include "scan/scan_folders.h"
#include "scan/scan_state.h"
#include "scan/scan_writer.h"
#include "scan/tblo.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <unordered_set>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::atomic<bool> cutShort{false};

// A file opened for reading; closed with the handle.
class FileHandle {
public:
    // Not blocking: a pipe among the files does not hold the scan.
    explicit FileHandle(const char* path) : fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    explicit FileHandle(const fs::path& path) : FileHandle(path.c_str()) {}
    ~FileHandle() {
        if (fd >= 0) ::close(fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    explicit operator bool() const { return fd >= 0; }

    // The size of a regular file; nothing for anything else.
    std::optional<std::uint64_t> size() const {
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
        return static_cast<std::uint64_t>(info.st_size);
    }
    // Reads up to `count` bytes from `offset`; returns how many it got (fewer at the file's end or on
    // an error).
    std::size_t readAt(std::uint64_t offset, std::uint8_t* into, std::size_t count) const {
        std::size_t got = 0;
        while (got < count) {
            const ssize_t n = ::pread(fd, into + got, count - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

private:
    int fd;
};

bool lf_is2020() {
    const auto& hook = gf_coreHooks().simulatorIs2020;
    return hook ? hook() : true;
}

// The codes of the airports table for the tasks on the scan threads, copied when the first such task
// of a scan starts: a task that outlives its wait still reads its own copy. The decoding on the
// listing threads, which ends with the walk, reads the table itself.
using CodeSet = std::unordered_set<std::string>;

class TaskCodes {
public:
    std::shared_ptr<const CodeSet> get() {
        std::call_once(once, [this] {
            codes = std::make_shared<const CodeSet>(airportTable.codes.begin(), airportTable.codes.end());
        });
        return codes;
    }

private:
    std::once_flag once;
    std::shared_ptr<const CodeSet> codes;
};

// A decoded file with what its task prepared for the scan's thread.
struct DecodedFile {
    BglDecodeResult decoded;
    PreparedFile prepared;
};

struct PendingTask {
    fs::path path;
    std::future<DecodedFile> result;
};

BglDecodeResult lf_decodeBytes(std::span<const std::uint8_t> bytes, const fs::path& path,
                               const std::function<bool(const std::string&)>& knownAirport);

// The work of one task: decodes the file (from `bytes` when given, else read from the disk) and
// prepares the result for the scan's thread. An exception is logged and passed on.
template <typename Codes>
DecodedFile lf_decodeAndPrepare(const fs::path& path, const Codes& codes,
                                const std::vector<std::uint8_t>* bytes) {
    try {
        BglDecodeResult result;
        const auto known = [&codes](const std::string& code) { return codes.contains(code); };
        if (const auto& decode = gf_scanHooks().decodeFile)
            result = decode(path);
        else if (bytes)
            result = lf_decodeBytes(*bytes, path, known);
        else
            result = gf_decodeBglFile(path, known);
        PreparedFile prepared = gf_prepareDecodedFile(path, result);
        return DecodedFile{std::move(result), std::move(prepared)};
    } catch (const std::exception& e) {
        gf_logError(fmt::format("Exception in lf_processBGLfile (std::ex): {} \xE2\x80\x94 {}",
                                path_to_utf8(path), e.what()));
        throw;
    } catch (...) {
        gf_logError(fmt::format("Exception in lf_processBGLfile: {}", path_to_utf8(path)));
        throw;
    }
}

// Starts the decoding of one file on a scan thread; the task takes itself off the running count
// however it ends. The caller has taken the task's slot.
std::future<DecodedFile> lf_startTask(const fs::path& path, std::shared_ptr<const CodeSet> codes) {
    auto task = std::make_shared<std::packaged_task<DecodedFile()>>([path, codes] {
        struct Done {
            ~Done() { gf_endScanTask(); }
        } done;
        return lf_decodeAndPrepare(path, *codes, nullptr);
    });
    std::future<DecodedFile> future = task->get_future();
    try {
        gf_postScanTask([task] { (*task)(); });
    } catch (...) {
        gf_endScanTask();
        throw;
    }
    return future;
}

// Decodes a file whose bytes are in memory on the calling thread: the work cannot wait on a file
// system, only the comparison of its airport files with the working folder's reads from the disk.
std::future<DecodedFile> lf_decodeHere(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::packaged_task<DecodedFile()> task(
        [&] { return lf_decodeAndPrepare(path, std::as_const(airportTable).codes, &bytes); });
    std::future<DecodedFile> future = task.get_future();
    task();
    return future;
}

// The list of program-made files is saved every few seconds during a scan (and at its end), so that
// the files of a scan that is cut off are still known as the program's. The files written so far are
// synced first: the list never names a file whose content may not have reached the disk.
std::chrono::steady_clock::time_point lastMadeFilesSave{};

void lf_saveMadeFilesNowAndThen() {
    auto& lastSave = lastMadeFilesSave;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastSave < std::chrono::seconds(2)) return;
    lastSave = now;
    gf_syncScanWrites();
    gf_saveScanMadeFilesIfChanged();
}

// Waits for the oldest task and acts on its result; an error is returned as text.
std::optional<std::string> lf_collect(PendingTask& pending) {
    try {
        if (pending.result.wait_for(std::chrono::milliseconds(scanTaskWaitMs.load())) !=
            std::future_status::ready)
            return std::string("Future wait timed out after 10 seconds");
        DecodedFile file = pending.result.get();
        gf_applyDecodedFile(pending.path, std::move(file.decoded), file.prepared);
        lf_saveMadeFilesNowAndThen();
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string(e.what());
    } catch (...) {
        return std::string("unknown exception");
    }
}

std::size_t lf_utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) == 0x80) continue; // continuation byte
        units += c >= 0xF0 ? 2 : 1;
    }
    return units;
}

bool lf_isSkippedText(std::string_view utf8);

// The walk's tests of one entry by its name: the skip test, then for a BGL file the name tests. True
// when the file goes on to the quick check of its header.
bool lf_wantsCheck(const ListedName& entry, ListStep& step) {
    if (lf_isSkippedText(entry.path)) {
        step.descend = false;
        return false;
    }
    // The extension as a path gives it: a name that is only a dot and "bgl" has none.
    const std::size_t dot = entry.name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || entry.name.size() - dot != 4) return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(entry.name[dot + 1 + i])) != "bgl"[i]) return false;
    if (entry.type == ListedName::Type::folder) return false;
    if (entry.type != ListedName::Type::file) {
        // A link counts by what it leads to.
        std::error_code typeError;
        if (!fs::is_regular_file(fs::path(entry.path), typeError)) return false;
    }
    return entry.path.find("statics") == std::string_view::npos &&
           entry.path.find("afcad updates") == std::string_view::npos &&
           entry.path.find("_heliports") == std::string_view::npos;
}

// The quick check of one file, which for a file with an airport section also reads the file whole
// with the same open, into `bytes`, when `readWhole` says so. Whole is false when the file was not read
// whole (not asked for, too large to be decoded, or no regular file): its task reads it and reports
// what it finds.
struct CheckedFile {
    bool airport = false;
    bool whole = false;
};

template <typename ReadWhole>
CheckedFile lf_checkAndRead(const char* path, std::vector<std::uint8_t>& bytes, ReadWhole&& readWhole) {
    CheckedFile checked;
    const FileHandle file(path);
    if (!file) return checked;
    std::array<std::uint8_t, 4096> buffer;
    const std::size_t got = file.readAt(0, buffer.data(), buffer.size());
    const std::span<const std::uint8_t> head(buffer.data(), got);
    std::optional<std::uint64_t> size;
    if (got < buffer.size()) {
        size = got;
    } else {
        // A table that ends within the first read needs no look at the file's size: the file is at
        // least as long as the read, and the table's checks come out the same with that length.
        std::uint32_t count = 0;
        std::memcpy(&count, head.data() + 20, 4);
        if (count < 1) return checked;
        if (56 + 20 * std::uint64_t{count} <= got) {
            checked.airport = gf_bglHasAirportSection(head, got);
            if (!checked.airport) return checked;
        }
        size = file.size();
    }
    if (!size) return checked;
    if (!checked.airport) {
        const std::uint64_t end = gf_bglSectionTableEnd(head, *size);
        if (end <= got) {
            checked.airport = gf_bglHasAirportSection(head, *size);
        } else {
            std::vector<std::uint8_t> table(static_cast<std::size_t>(end));
            table.resize(file.readAt(0, table.data(), table.size()));
            checked.airport = gf_bglHasAirportSection(table, *size);
        }
        if (!checked.airport) return checked;
    }
    if (*size > maxBglFileBytes || !readWhole()) return checked;
    // The file was read whole when it ended within the first read; a longer one is read on from there.
    bytes.resize(static_cast<std::size_t>(*size));
    const std::size_t first = std::min(got, bytes.size());
    std::copy_n(buffer.begin(), first, bytes.begin());
    if (bytes.size() > first)
        bytes.resize(first + file.readAt(first, bytes.data() + first, bytes.size() - first));
    checked.whole = true;
    return checked;
}

// A started decoding task, as the listing hands it to the walk.
// The files decoded on the listing threads and not taken by the walk yet. Past a bound, a file whose
// header lists an airport section is only noted, and the walk starts its task when it takes it: a
// listing far ahead of the walk does not hold the results of the whole tree at once.
class DecodedAhead {
public:
    explicit DecodedAhead(std::size_t bound) : bound(bound) {}
    bool tryAdd() {
        std::size_t n = count.load();
        while (n < bound)
            if (count.compare_exchange_weak(n, n + 1)) return true;
        return false;
    }
    void taken() { count.fetch_sub(1); }

private:
    const std::size_t bound;
    std::atomic<std::size_t> count{0};
};

// A started decoding task (or a file noted for the walk to start its task), as the listing hands it to
// the walk.
struct StartedDecode final : StartedTask {
    StartedDecode() = default;
    StartedDecode(std::future<DecodedFile> result, DecodedAhead* ahead)
        : result(std::move(result)), ahead(ahead) {}
    ~StartedDecode() override {
        if (ahead) ahead->taken();
    }
    StartedDecode(const StartedDecode&) = delete;
    StartedDecode& operator=(const StartedDecode&) = delete;
    std::future<DecodedFile> result; // not valid for a noted file
    DecodedAhead* ahead = nullptr;   // counts a file decoded ahead until the walk has taken it
};

void lf_scanFolder(const fs::path& root, TaskCodes& codes) {
    const std::string rootText = path_to_utf8(root);
    gf_addToScanLog(fmt::format("Scanning for {} airports in {}", "addon ", rootText));
    std::deque<PendingTask> pending;
    const auto limit = static_cast<std::size_t>(std::max(1, gf_scanTaskLimit()));
    DecodedAhead ahead(4 * limit);
    const auto aborted = [&rootText](const std::exception& e) {
        gf_addToScanLog(
            fmt::format("{} airports search in folder {} aborted, cause: {}", "===> ", rootText, e.what()));
    };
    // The folders are listed and the files' headers checked ahead on as many threads as tasks may run;
    // a file with an airport gets its task as soon as its folder is listed, and the results are taken
    // in the order of the walk.
    gf_listFolderTreeStarting(
        root, limit,
        [&aborted](const ListedName& entry) {
            ListStep step;
            try {
                step.take = lf_wantsCheck(entry, step);
            } catch (const std::exception& e) {
                aborted(e);
            }
            return step;
        },
        [&codes, &aborted, &ahead](std::string_view path) -> std::unique_ptr<StartedTask> {
            try {
                const std::string text(path);
                // The bytes stay with the listing thread for its next file.
                thread_local std::vector<std::uint8_t> bytes;
                // A file is read whole here only when it is decoded here: past the bound of results
                // ahead, its task reads it when the walk starts it.
                bool noted = false;
                const CheckedFile checked = lf_checkAndRead(text.c_str(), bytes, [&ahead, &noted] {
                    if (gf_scanHooks().decodeFile) return false;
                    if (ahead.tryAdd()) return true;
                    noted = true;
                    return false;
                });
                if (!checked.airport) return nullptr;
                if (checked.whole) {
                    // A stop starts no further task.
                    if (runControl.stopping()) {
                        ahead.taken();
                        return nullptr;
                    }
                    auto started =
                        std::make_unique<StartedDecode>(lf_decodeHere(fs::path(text), bytes), &ahead);
                    if (bytes.capacity() > 4 * 1024 * 1024) bytes = {}; // a rare large file does not stay
                    return started;
                }
                if (runControl.stopping()) return nullptr;
                if (noted) return std::make_unique<StartedDecode>(); // the walk starts its task
                // A task of its own, on the scan threads, that reads the file itself; also one that came
                // while the listing waited for a slot.
                if (!gf_claimTaskSlot()) return nullptr;
                if (runControl.stopping()) {
                    gf_endScanTask();
                    return nullptr;
                }
                return std::make_unique<StartedDecode>(lf_startTask(fs::path(text), codes.get()), nullptr);
            } catch (const std::exception& e) {
                aborted(e);
            }
            return nullptr;
        },
        [&](std::string_view path, std::unique_ptr<StartedTask> started) {
            // A task started before a stop is still waited for; a stop starts none (above) and ends the
            // listing, and with it the walk.
            if (!started) return true;
            try {
                std::future<DecodedFile> result = std::move(static_cast<StartedDecode&>(*started).result);
                if (!result.valid()) {
                    // A noted file: its task starts now, on the scan threads, unless a stop came.
                    if (runControl.stopping() || !gf_claimTaskSlot()) return true;
                    if (runControl.stopping()) {
                        gf_endScanTask();
                        return true;
                    }
                    result = lf_startTask(fs::path(path), codes.get());
                }
                // The results are taken in the walk's order with up to twice as many files pending as
                // tasks may run: a long task at the head does not hold back the start of the next ones.
                pending.push_back(PendingTask{fs::path(path), std::move(result)});
                if (pending.size() > 2 * limit) {
                    PendingTask oldest = std::move(pending.front());
                    pending.pop_front();
                    if (auto error = lf_collect(oldest))
                        gf_addToScanLog(fmt::format("{} airports search aborted, futs inner,\n{}\n{}\n{}",
                                                    "===> ", *error, pending.size() + 1, path));
                }
            } catch (const std::exception& e) {
                aborted(e);
            }
            return true;
        });
    // A stop ends the walk (the listing with it): the scan runs again at the next start.
    if (runControl.stopping()) cutShort = true;
    // A closed window ends the scan without waiting for the tasks: they may hang on a slow file system.
    // What they find is not written (the box stays ticked and the next start scans again).
    if (runControl.close.load() && !pending.empty()) {
        gf_addToScanLog(fmt::format("{} the window was closed: {} started task{} not waited for", "===> ",
                                    pending.size(), gf_plural(std::uint64_t{pending.size()})));
        pending.clear();
        cutShort = true;
    }
    while (!pending.empty()) {
        PendingTask oldest = std::move(pending.front());
        pending.pop_front();
        if (auto error = lf_collect(oldest))
            gf_addToScanLog(fmt::format("{} airports search in {} aborted, futs outer error: {}", "===> ",
                                        rootText, *error));
    }
}

void lf_scanRoots(const std::vector<fs::path>& roots) {
    TaskCodes codes;
    for (const fs::path& root : roots) {
        if (root.empty()) continue;
        std::error_code ec;
        const fs::file_status status = fs::status(root, ec);
        if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("exists", root, ec);
        if (fs::is_directory(status))
            lf_scanFolder(root, codes);
        else if (fs::exists(status))
            gf_showMessage(fmt::format("{} is not a folder name, skipped!", path_to_utf8(root)), true);
        else
            gf_showMessage(fmt::format("{} does not exist, skipped!", path_to_utf8(root)), true);
    }
}

// The scan log replaces its file at once (a reader sees the whole new log); its sync to the disk runs
// beside the rest of the scan's end (the save of the setting syncs too) and is waited for before the
// scan returns.
std::future<void> scanLogSync;

void lf_waitForScanLogSync() {
    if (scanLogSync.valid()) scanLogSync.get();
}

// Under scanLogMutex.
void lf_writeScanLog(const fs::path& file) {
    std::size_t size = 0;
    for (const std::string& line : scanLogLines)
        size += line.size() + 1;
    std::string content;
    content.reserve(size);
    for (const std::string& line : scanLogLines) {
        content += line;
        content += '\n';
    }
    if (!gf_writeFileAtomicallyUnsynced(file, content)) return;
    try {
        scanLogSync = std::async(std::launch::async, [file] { (void)gf_syncFiles({file}); });
    } catch (const std::system_error&) {
        (void)gf_syncFiles({file}); // no thread to spare: synced here
    }
}

bool lf_isSkippedText(std::string_view utf8) {
    if (lf_utf16Length(utf8) >= 250) return true;
    // The words are in lower case: the path is compared without regard to case, a byte at a time.
    static constexpr std::string_view words[] = {
        "fs-base",       "tutorials",           "aircraft",   "bushtrip",
        "discovery",     "point-of-interest",   "simobjects", "vcockpits",
        "aig-aitraffic", "justflight-aircraft", "fsltl",      "gsx-pro",
        "gsx-world",     "landingchallenge"};
    thread_local std::string lower;
    lower.assign(utf8);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::any_of(std::begin(words), std::end(words),
                       [](std::string_view word) { return lower.find(word) != std::string::npos; });
}

BglDecodeResult lf_decodeBytes(std::span<const std::uint8_t> bytes, const fs::path& path,
                               const std::function<bool(const std::string&)>& knownAirport) {
    BglDecodeOptions options;
    options.simulatorIs2024 = !lf_is2020();
    options.knownAirport = knownAirport;
    if (!options.knownAirport)
        options.knownAirport = [](const std::string& code) { return airportTable.codes.contains(code); };
    options.pathUtf8 = path_to_utf8(path);
    return gf_decodeBgl(bytes, options);
}

} // namespace

bool gf_lastScanCutShort() {
    return cutShort.load();
}

bool gf_isSkippedScanPath(const fs::path& path) {
    return lf_isSkippedText(path_to_utf8(path));
}

bool gf_hasAirportSection(const fs::path& path) {
    const FileHandle file(path);
    if (!file) return false;
    // The header and the table of a few hundred sections come with one read; a file that ends within
    // it needs no look at its size.
    std::array<std::uint8_t, 4096> buffer;
    const std::size_t got = file.readAt(0, buffer.data(), buffer.size());
    const std::optional<std::uint64_t> size = got < buffer.size() ? got : file.size();
    if (!size) return false;
    const std::span<const std::uint8_t> head(buffer.data(), got);
    const std::uint64_t end = gf_bglSectionTableEnd(head, *size);
    if (end <= got) return gf_bglHasAirportSection(head, *size);
    std::vector<std::uint8_t> table(static_cast<std::size_t>(end));
    table.resize(file.readAt(0, table.data(), table.size()));
    return gf_bglHasAirportSection(table, *size);
}

BglDecodeResult gf_decodeBglFile(const fs::path& path,
                                 const std::function<bool(const std::string&)>& knownAirport) {
    BglDecodeResult result;
    const FileHandle file(path);
    if (!file) return result;
    const std::optional<std::uint64_t> size = file.size();
    if (!size) return result;
    if (*size > maxBglFileBytes) {
        result.events.push_back(BglEvent{
            BglEvent::Kind::note,
            BglNote{BglNote::To::scanLog, fmt::format("{}{} is larger than 256 MiB ({} bytes), skipped",
                                                      "===> ", path_to_utf8(path), *size)},
            0});
        return result;
    }
    // The buffer stays with the thread for its next file.
    thread_local std::vector<std::uint8_t> bytes;
    bytes.resize(static_cast<std::size_t>(*size));
    bytes.resize(file.readAt(0, bytes.data(), bytes.size()));
    result = lf_decodeBytes(bytes, path, knownAirport);
    if (bytes.capacity() > 4 * 1024 * 1024) bytes = {}; // a rare large file does not stay
    return result;
}

std::vector<fs::path> gf_airportScanRoots() {
    std::vector<fs::path> roots;
    const auto& inInstall = gf_scanHooks().inInstallPath;
    if (!inInstall) return roots;
    if (lf_is2020()) roots.push_back(inInstall("Official"));
    roots.push_back(inInstall("Community"));
    std::erase_if(roots, [](const fs::path& p) { return p.empty(); });
    return roots;
}

bool gf_runAirportScan(const std::vector<fs::path>& roots) {
    lf_waitForScanLogSync();
    gf_log(fmt::format("The scan will search {} folder{}", roots.size(), roots.size() == 1 ? "" : "s"));
    const fs::path scanLog = os::inWorkingFolder(outputInfoFolder / "AirportsScanLog.txt");
    std::error_code ec;
    fs::remove(scanLog, ec);
    if (ec)
        gf_log(fmt::format("problems with removing previous files (maybe still open?): {}", ec.message()));
    tbloFileCount = 0;
    tbloPackingFailed = false;
    {
        std::lock_guard lock(scanLogMutex);
        scanLogLines.clear();
        scanLogLines.reserve(2048);
    }
    gf_clearScanWriteNotes();
    gf_forgetGeneratedPublishers();
    gf_keepManifestLookups(true);
    // The list was saved just before the run: the first save during it comes a few seconds in.
    lastMadeFilesSave = std::chrono::steady_clock::now();
    gf_startScanWriters(std::max(2, gf_scanTaskLimit()));
    {
        // The files asked for are all written (or reported) before the scan log and the collection.
        // Then the last scan's files that this one did not write again go.
        struct FinishWrites {
            ~FinishWrites() {
                gf_keepManifestLookups(false);
                gf_finishScanWrites();
                try {
                    gf_sweepScanFolders();
                } catch (const std::exception& e) {
                    gf_logError(fmt::format("Clearing the airports folders failed: {}", e.what()));
                }
                gf_saveScanMadeFilesIfChanged();
            }
        } finish;
        lf_scanRoots(roots);
    }
    {
        std::lock_guard lock(scanLogMutex);
        fs::create_directories(scanLog.parent_path(), ec);
        lf_writeScanLog(scanLog);
        gf_log(fmt::format("{} written", path_to_utf8(scanLog)));
        scanLogLines.clear();
    }
    gf_showMessage("", false);
    gf_collectTblo(gf_listMyThirdpartyXmlFiles());
    if (airportFilesChanged) gf_log("Airports scan successful");
    return airportFilesChanged;
}

void gf_scanForAddonAirports() {
    gf_showMessage("Scanning for addon airports ...", false);
    gf_logAndFlush(fmt::format(
        "\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", "automatic "));
    cutShort = false;
    airportFilesChanged = false;
    // The collection's folder is emptied here; one that is not there is made when the first file is
    // collected into it.
    const fs::path tblo = os::inWorkingFolder(tbloFolder);
    std::error_code ec;
    const bool tbloExists = fs::exists(tblo, ec);
    if (ec) throw fs::filesystem_error("exists", tblo, ec);
    if (tbloExists) gf_removeFilesFromDirectory(tblo);
    const std::vector<fs::path> roots = gf_airportScanRoots();

    // The last scan's files stay until this scan has written its own over them: at its end it removes
    // those it did not write again.
    gf_loadScanMadeFiles();
    std::vector<fs::path> folders;
    if (lf_is2020()) folders.push_back(os::inWorkingFolder(mySimaddonFolder));
    folders.push_back(os::inWorkingFolder(myThirdpartyFolder));
    gf_takeStockOfScanFolders(folders);

    if (!gf_runAirportScan(roots)) gf_showMessage("Warning: Scan has not found any add-on airports", true);

    if (cutShort) {
        gf_log("The scan was stopped before its end: it runs again at the next start");
    } else {
        SCAN_AIRPORTS.value = false;
        SCAN_AIRPORTS.save();
        SCAN_AIRPORTS.showValue();
    }
    if (const auto& repaint = gf_scanHooks().repaintStatus) repaint();
    if (tbloFileCount == 0 && !tbloPackingFailed) {
        fs::remove_all(tblo, ec);
        if (ec) throw fs::filesystem_error("remove_all", tblo, ec);
        if (const auto& repaint = gf_scanHooks().repaintStatus) repaint();
    }
    lf_waitForScanLogSync();
    gf_logAndFlush("-------------------------- airports scan ends    ----------------------------\n");
}
