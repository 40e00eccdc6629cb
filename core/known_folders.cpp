#include "core/known_folders.h"

#include <string>
#include <system_error>

#include "core/log.h"
#include "platform/os/folders.h"
#include "platform/os/shell.h"

std::optional<std::filesystem::path> gf_knownFolderPath(KnownFolder folder) {
    switch (folder) {
    case KnownFolder::RoamingAppData:
        return os::roamingAppDataFolder();
    case KnownFolder::LocalAppData:
        return os::localAppDataFolder();
    }
    return std::nullopt;
}

std::filesystem::path gf_getAppDataPath() {
    if (auto path = gf_knownFolderPath(KnownFolder::RoamingAppData)) return *path;
    gf_logError("Could not find the AppData path");
    return {};
}

std::filesystem::path gf_getLocalAppDataPath() {
    if (auto path = gf_knownFolderPath(KnownFolder::LocalAppData)) return *path;
    gf_logError("Could not find the Local AppData path");
    return {};
}

namespace {

// The path without its last element and the separators before it; both "/" and "\" separate. A path
// that ends in a separator has an empty last element: its parent is the folder it names.
std::string lf_parentText(const std::string& text) {
    auto end = text.find_last_not_of("/\\");
    if (end == std::string::npos) return {}; // only separators
    if (end + 1 < text.size()) return text.substr(0, end + 1);
    auto sep = text.find_last_of("/\\", end);
    if (sep == std::string::npos) return {};
    auto parentEnd = text.find_last_not_of("/\\", sep);
    if (parentEnd == std::string::npos) return text.substr(0, 1); // the root folder
    return text.substr(0, parentEnd + 1);
}

} // namespace

bool gf_shellOpen(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) || ec) return false;
    auto parent = lf_parentText(path.string());
    if (parent.empty()) return false;
    return os::shellOpen(parent);
}
