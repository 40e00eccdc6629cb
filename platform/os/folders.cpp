#include "platform/os/folders.h"

#include <cstdlib>
#include <mutex>
#include <system_error>

#include <unistd.h>

namespace os {

namespace {

std::mutex folderMutex;
std::filesystem::path workingOverride;
std::filesystem::path workingDefault;

std::optional<std::filesystem::path> absoluteFromEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    std::filesystem::path p(value);
    if (!p.is_absolute()) return std::nullopt;
    return p;
}

std::optional<std::filesystem::path> xdgFolder(const char* variable, const std::filesystem::path& underHome) {
    if (auto p = absoluteFromEnv(variable)) return p;
    if (auto home = absoluteFromEnv("HOME")) return *home / underHome;
    return std::nullopt;
}

} // namespace

std::filesystem::path workingFolder() {
    std::lock_guard lock(folderMutex);
    if (!workingOverride.empty()) return workingOverride;
    if (workingDefault.empty()) {
        std::error_code ec;
        workingDefault = std::filesystem::current_path(ec);
        if (ec) workingDefault = ".";
    }
    return workingDefault;
}

void setWorkingFolder(const std::filesystem::path& folder) {
    std::lock_guard lock(folderMutex);
    std::error_code ec;
    auto absolute = std::filesystem::absolute(folder, ec);
    workingOverride = ec ? folder : absolute;
}

bool enterWorkingFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::current_path(folder, ec);
    if (ec) return false;
    setWorkingFolder(std::filesystem::current_path(ec));
    return !ec;
}

void resetWorkingFolder() {
    std::lock_guard lock(folderMutex);
    workingOverride.clear();
    workingDefault.clear();
}

std::filesystem::path inWorkingFolder(const std::filesystem::path& relative) {
    if (relative.is_absolute()) return relative;
    return workingFolder() / relative;
}

std::filesystem::path executableFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path();
}

std::optional<std::filesystem::path> roamingAppDataFolder() {
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

std::optional<std::filesystem::path> localAppDataFolder() {
    return xdgFolder("XDG_DATA_HOME", std::filesystem::path(".local") / "share");
}

} // namespace os
