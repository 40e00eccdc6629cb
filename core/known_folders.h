#pragma once
// The user's application-data folders and showing a folder in the desktop's file manager.

#include <filesystem>
#include <optional>

enum class KnownFolder {
    RoamingAppData, // the program's per-user folder lies here, and a local RealTraffic installation
    LocalAppData,
};

// The folder's path; empty when the system cannot name it.
std::optional<std::filesystem::path> gf_knownFolderPath(KnownFolder folder);

// The roaming application-data folder; logs "Could not find the AppData path" (an error) and gives an
// empty path when it is unknown.
std::filesystem::path gf_getAppDataPath();
// The local application-data folder; logs "Could not find the Local AppData path" and gives an empty
// path when it is unknown.
std::filesystem::path gf_getLocalAppDataPath();

// Shows in the file manager the folder that contains the path. False when the path does not exist,
// has no parent folder ("/" and "\" both separate) or the file manager could not be started.
bool gf_shellOpen(const std::filesystem::path& path);
