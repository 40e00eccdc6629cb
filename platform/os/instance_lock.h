#pragma once
// The single-instance lock: a lock file held with flock(LOCK_EX | LOCK_NB).

#include <filesystem>
#include <string_view>

namespace os {

// One held lock; released when destroyed (the file itself stays).
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Creates the file (and its folder) when missing and takes the lock without waiting.
    // Returns false when another holder has it or the file cannot be opened.
    bool tryAcquire(const std::filesystem::path& lockFile);
    bool held() const { return fd_ >= 0; }
    void release();

private:
    int fd_ = -1;
};

// The lock file for a name: $XDG_RUNTIME_DIR/<name>.lock, else the local application data folder,
// else the temporary folder.
std::filesystem::path instanceLockPath(std::string_view name);

// Takes the process's single-instance lock for its lifetime. False when another process holds it.
bool acquireProcessInstanceLock(const std::filesystem::path& lockFile);

} // namespace os
