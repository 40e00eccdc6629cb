#include "core/file_io.h"

#include "core/log.h"
#include "core/parallel.h"
#include "core/strings.h"

#include <fmt/format.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<unsigned> tempCounter{0};

std::error_code lastError() {
    return {errno, std::generic_category()};
}

bool writeAll(int fd, std::string_view content) {
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool lf_syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// The content in a new temporary file beside `path` (an existing file's permissions kept), synced or
// only handed to the disk. Nothing is left behind on failure.
std::optional<std::filesystem::path> lf_writeTemporary(const std::filesystem::path& path,
                                                       std::string_view content, std::error_code* error,
                                                       bool sync) {
    const auto report = [error](std::error_code ec) -> std::optional<std::filesystem::path> {
        if (error != nullptr) *error = ec;
        return std::nullopt;
    };
    if (path.filename().empty()) return report(std::make_error_code(std::errc::invalid_argument));

    const auto tempPath =
        path.parent_path() / ("." + path.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
                              std::to_string(tempCounter.fetch_add(1)));

    // An existing file keeps its permissions.
    bool keepMode = false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return report(std::make_error_code(std::errc::is_a_directory));
        keepMode = true;
    }

    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return report(lastError());
    if (keepMode) ::fchmod(fd, st.st_mode & 07777);
    if (!writeAll(fd, content) || (sync && ::fsync(fd) != 0)) {
        const auto ec = lastError();
        ::close(fd);
        ::unlink(tempPath.c_str());
        return report(ec);
    }
#ifdef SYNC_FILE_RANGE_WRITE
    // Not waited for: the disk starts on the content now, so that the caller's later sync finds it done.
    if (!sync) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    if (::close(fd) != 0) {
        const auto ec = lastError();
        ::unlink(tempPath.c_str());
        return report(ec);
    }
    if (error != nullptr) error->clear();
    return tempPath;
}

bool lf_writeAtomically(const std::filesystem::path& path, std::string_view content, std::error_code* error,
                        bool sync) {
    const std::optional<std::filesystem::path> tempPath = lf_writeTemporary(path, content, error, sync);
    if (!tempPath) return false;
    if (::rename(tempPath->c_str(), path.c_str()) != 0) {
        const auto ec = lastError();
        ::unlink(tempPath->c_str());
        if (error != nullptr) *error = ec;
        return false;
    }
    if (sync) lf_syncFolder(path.parent_path());
    return true;
}

} // namespace

bool gf_writeFileAtomically(const std::filesystem::path& path, std::string_view content,
                            std::error_code* error) {
    return lf_writeAtomically(path, content, error, true);
}

bool gf_writeFileAtomicallyUnsynced(const std::filesystem::path& path, std::string_view content,
                                    std::error_code* error) {
    return lf_writeAtomically(path, content, error, false);
}

std::optional<std::filesystem::path>
gf_writeTemporaryBeside(const std::filesystem::path& path, std::string_view content, std::error_code* error) {
    return lf_writeTemporary(path, content, error, false);
}

bool gf_syncFolder(const std::filesystem::path& folder) {
    return lf_syncFolder(folder);
}

std::vector<std::filesystem::path> gf_syncFiles(const std::vector<std::filesystem::path>& files) {
    // Syncs of several threads at once share the file system's journal commits.
    const auto syncOne = [](const std::filesystem::path& path, int flags) {
        const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_CLOEXEC | flags);
        const bool synced = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0) ::close(fd);
        return synced;
    };
    std::vector<char> fileSynced(files.size(), 0);
    gf_forEachOnThreads(files.size(), gf_hardwareThreads(), 8,
                        [&](std::size_t i) { fileSynced[i] = syncOne(files[i], 0) ? 1 : 0; });
    std::map<std::filesystem::path, bool> folders;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (fileSynced[i]) folders.emplace(files[i].parent_path(), false);
    for (auto& [folder, synced] : folders)
        synced = lf_syncFolder(folder);
    std::vector<std::filesystem::path> failed;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!fileSynced[i] || !folders.at(files[i].parent_path())) failed.push_back(files[i]);
    return failed;
}

void gf_removeStaleTemporaryFiles(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    const std::string prefix = "." + path.filename().string() + ".tmp";
    std::error_code ec;
    for (fs::directory_iterator it(path.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (!it->path().filename().string().starts_with(prefix) ||
            it->symlink_status(entryError).type() != fs::file_type::regular)
            continue;
        const bool removed = fs::remove(it->path(), entryError);
        if (entryError)
            gf_logError(
                fmt::format("{} could not be removed: {}", path_to_utf8(it->path()), entryError.message()));
        else if (removed)
            gf_log(fmt::format("removed {}, left by an interrupted save", path_to_utf8(it->path())));
    }
}
