#include "platform/os/instance_lock.h"

#include "platform/os/folders.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace os {

InstanceLock::~InstanceLock() {
    release();
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool InstanceLock::tryAcquire(const std::filesystem::path& lockFile) {
    release();
    std::error_code ec;
    if (lockFile.has_parent_path()) std::filesystem::create_directories(lockFile.parent_path(), ec);
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void InstanceLock::release() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

std::filesystem::path instanceLockPath(std::string_view name) {
    std::string file = std::string(name) + ".lock";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0' && std::filesystem::path(runtime).is_absolute())
        return std::filesystem::path(runtime) / file;
    if (auto local = localAppDataFolder()) return *local / file;
    std::error_code ec;
    auto tmp = std::filesystem::temp_directory_path(ec);
    return (ec ? std::filesystem::path("/tmp") : tmp) / file;
}

bool acquireProcessInstanceLock(const std::filesystem::path& lockFile) {
    // Held until the process ends: the descriptor is never closed.
    static InstanceLock processLock;
    if (processLock.held()) return true;
    return processLock.tryAcquire(lockFile);
}

} // namespace os
