#pragma once
// Preparing a new program version (installer archive -> new_version/install_new_version.exe, with the
// release notes and a notice on administrator rights) and installing the companion add-on's airport
// files into airports/my_simaddon. The program never runs the installer itself.

#include "core/version.h"

#include <filesystem>
#include <string>

inline constexpr const char* installerExeName = "install_new_version.exe";
inline constexpr const char* addonZipName = "my_simaddon2024.zip";

// "setup_Skyloom_d_v{web}.zip"
std::string gf_installerZipName(const VersionData& web);

// True when install_new_version.exe is in place in new_version. A refused or damaged entry of the
// archive fails the whole install.
bool gf_installNewVersion(const VersionData& web);

enum class AddonResult {
    UpToDate, // nothing to do: the stored version is current and the folder holds files
    Updated,  // downloaded and installed; MYSIMADDON24_VERSION saved
    Failed,   // download or unpacking failed; the installed files and the stored version stay
};

// Downloads and installs the add-on when `web` is newer than MYSIMADDON24_VERSION or the add-on
// folder is missing or empty. The archive is unpacked into a staging folder beside the add-on
// folder; only when every entry was written are the previous add-on's files replaced, file by file.
// The user's own files in the folder stay.
AddonResult gf_downloadSimAddon(const VersionData& web);

bool gf_downloadReleaseNotes(const std::filesystem::path& target);

// The notice written into new_version/README.txt.
std::string gf_installerNotice(const std::filesystem::path& folder);

// Shows new_version in the file manager; a failure shows a warning box.
bool gf_openNewVersionFolder();
