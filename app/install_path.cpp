#include "app/install_path.h"

#include "app/run_state.h"
#include "core/known_folders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/textfile.h"

#include <fmt/format.h>

#include <algorithm>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// exists() that throws only for errors other than "not found".
bool lf_exists(const fs::path& p) {
    std::error_code ec;
    const auto status = fs::status(p, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
        throw fs::filesystem_error("exists", p, ec);
    return fs::exists(status);
}

std::string lf_utf8(const fs::path& p) {
    const auto u8 = p.u8string();
    return {u8.begin(), u8.end()};
}

// Paths written on Windows use "\" between their parts.
fs::path lf_pathFromText(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return fs::path(text);
}

} // namespace

std::string gf_storePackageName() {
    return simulatorIs2020 ? "Microsoft.FlightSimulator_8wekyb3d8bbwe" : "Microsoft.Limitless_8wekyb3d8bbwe";
}

std::string gf_steamFolderName() {
    return simulatorIs2020 ? "Microsoft Flight Simulator" : "Microsoft Flight Simulator 2024";
}

std::string gf_officialFolderName() {
    return simulatorIs2020 ? "Official" : "Official2024";
}

bool gf_isValidInstallPath(const fs::path& path) {
    if (path.empty()) return false;
    return lf_exists(path) && lf_exists(path / "Community") && lf_exists(path / gf_officialFolderName());
}

fs::path gf_steamPackagesPath() {
    const fs::path candidate = gf_getAppDataPath() / gf_steamFolderName() / "Packages";
    if (!lf_exists(candidate)) return {};
    gf_log(fmt::format("Steam packages:{}", lf_utf8(candidate)));
    return candidate;
}

fs::path gf_findUserCfgOpt() {
    const fs::path local = gf_getLocalAppDataPath();
    const fs::path roaming = gf_getAppDataPath();
    const std::pair<fs::path, const char*> candidates[] = {
        {local / "Packages" / gf_storePackageName() / "LocalCache" / "UserCfg.opt",
         "MSFS detection, no Store:{}"},
        {roaming / gf_steamFolderName() / "UserCfg.opt", "MSFS detection, no Steam1:{}"},
        {local / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
         "MSFS detection, no Steam2:{}"},
        {local / "MSFSPackages" / "UserCfg.opt", "MSFS detection, no Boxed:{}"},
    };
    for (const auto& [path, missing] : candidates) {
        if (lf_exists(path)) return path;
        gf_log(fmt::format(fmt::runtime(missing), lf_utf8(path)));
    }
    return candidates[std::size(candidates) - 1].first;
}

std::string gf_installedPackagesValue(const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        if (line.size() < 21 || line.find("InstalledPackagesPath") == std::string::npos) continue;
        const auto open = line.find('"');
        if (open == std::string::npos) return line;
        const auto close = line.find('"', open + 1);
        if (close == std::string::npos || close == open + 1) return {};
        return line.substr(open + 1, close - open - 1);
    }
    return "???";
}

fs::path gf_packagesPathFromUserCfg() {
    const fs::path cfg = gf_findUserCfgOpt();
    if (!lf_exists(cfg)) {
        gf_log("No UserCfg.opt found?");
        return {};
    }
    std::vector<std::string> lines;
    gf_readLinesByCharset(gf_detectCharset(cfg), cfg, lines);
    const std::string value = gf_installedPackagesValue(lines);
    gf_log(fmt::format("UserCfg.opt: InstalledPackagesPath={}", value));
    if (value == "???") return {};
    return lf_pathFromText(value);
}

fs::path gf_detectInstallPath() {
    if (auto p = gf_steamPackagesPath(); gf_isValidInstallPath(p)) return p;
    if (auto p = gf_packagesPathFromUserCfg(); gf_isValidInstallPath(p)) return p;
    return {};
}

fs::path gf_inInstallPath(const fs::path& relative) {
    const std::string value = simulatorIs2020 ? MSFS_INSTALL_PATH.value() : MSFS_2024_INSTALL_PATH.value();
    if (value.empty()) return relative;
    return lf_pathFromText(value) / relative;
}
