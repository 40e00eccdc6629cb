#pragma once
// The simulator's installed-packages folder (the folder that holds Community and the official
// packages) for the chosen simulator: its detection, its validity test and paths inside it.

#include <filesystem>
#include <string>
#include <vector>

// The detected package folder: the Steam tree when valid, else the folder named in UserCfg.opt when
// valid, else empty. Throws std::filesystem::filesystem_error for a status error other than "not found".
std::filesystem::path gf_detectInstallPath();
// Not empty, exists, and holds "Community" and the chosen simulator's official folder.
bool gf_isValidInstallPath(const std::filesystem::path& path);
// The chosen simulator's install-path value joined with the relative path (the relative path itself
// when the value is empty).
std::filesystem::path gf_inInstallPath(const std::filesystem::path& relative);

// Names that depend on the chosen simulator.
std::string gf_storePackageName();
std::string gf_steamFolderName();
std::string gf_officialFolderName();

// The Steam packages folder when it exists (logged), else empty.
std::filesystem::path gf_steamPackagesPath();
// The first of the four UserCfg.opt places that exists (each missing one is logged); the last place
// when none exists.
std::filesystem::path gf_findUserCfgOpt();
// The InstalledPackagesPath named in UserCfg.opt (empty when there is no file).
std::filesystem::path gf_packagesPathFromUserCfg();
// The value of the first InstalledPackagesPath line of at least 21 bytes, "???" when none matched.
std::string gf_installedPackagesValue(const std::vector<std::string>& lines);
