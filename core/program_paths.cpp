#include "core/program_paths.h"

#include <mutex>

#include "core/known_folders.h"
#include "core/log.h"
#include "core/version.h"

namespace {

std::mutex pathsMutex;
std::filesystem::path userFolderPath;

} // namespace

std::filesystem::path userFolder() {
    std::lock_guard lock(pathsMutex);
    return userFolderPath;
}

std::filesystem::path parametersPath() {
    std::lock_guard lock(pathsMutex);
    if (userFolderPath.empty()) return {};
    return userFolderPath / parametersFileName;
}

std::filesystem::path gf_resolveUserFolder() {
    auto appData = gf_getAppDataPath();
    if (appData.empty()) {
        gf_logError("No per-user folder: the settings cannot be loaded or kept");
        throw orv::UserErrorException(
            99, "Could not find the AppData path: set XDG_CONFIG_HOME or HOME to an absolute folder");
    }
    std::lock_guard lock(pathsMutex);
    userFolderPath = appData / userFolderName;
    return userFolderPath;
}

void gf_setUserFolder(const std::filesystem::path& folder) {
    std::lock_guard lock(pathsMutex);
    userFolderPath = folder;
}
