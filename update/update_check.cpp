#include "update/update_check.h"

#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "core/textfile.h"
#include "core/version.h"
#include "platform/os/folders.h"
#include "refdata/data_files.h"
#include "update/downloader.h"
#include "update/installers.h"
#include "update/update_hooks.h"

#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;

std::optional<VersionData> gf_versionMember(const nlohmann::json& json, const char* name) {
    if (!json.is_object()) return std::nullopt;
    const auto it = json.find(name);
    if (it == json.end() || !it->is_object()) return std::nullopt;
    std::uint32_t fields[3] = {};
    const char* keys[3] = {"major", "minor", "patch"};
    for (int i = 0; i < 3; ++i) {
        const auto field = it->find(keys[i]);
        if (field == it->end() || !field->is_number_integer()) return std::nullopt;
        const auto value = field->get<std::int64_t>();
        if (value < 0 || value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
        fields[i] = static_cast<std::uint32_t>(value);
    }
    return VersionData{fields[0], fields[1], fields[2]};
}

std::optional<nlohmann::json> gf_parseVersions(std::istream& in) {
    auto parsed = nlohmann::json::parse(in, nullptr, false);
    if (!parsed.is_discarded()) return parsed;
    gf_logError("versions.json is not valid JSON; the update check is skipped");
    return std::nullopt;
}

namespace {

void lf_setCheckBox(CheckBoxParameter& box) {
    if (const auto& set = gf_updateHooks().setCheckBox) {
        set(box, true);
    } else {
        box.value = true;
        box.save();
    }
    if (const auto& repaint = gf_updateHooks().repaint) repaint();
}

void lf_dataFile(const char* member, const VersionData& web, StringParameter& setting, const char* fileName) {
    const VersionData stored(setting.value());
    const fs::path path = os::inWorkingFolder(refdataInputFolder() / fileName);
    std::error_code ec;
    if (web.isNewerThan(stored) || !fs::exists(path, ec)) {
        const DownloadNotice notice(fileName);
        if (gf_downloadDataFile(fileName, path)) {
            setting.set(web.toString());
            gf_log(fmt::format("{} updated to {}", member, web.toString()));
        }
        return;
    }
    gf_log(fmt::format("{} version up-to-date", member));
}

// The new program version: prepared, shown, and the stop requested. False when it could not be prepared.
bool lf_newProgramVersion(const VersionData& web) {
    if (!gf_installNewVersion(web)) {
        gf_showMessage(
            "The downloading/unzipping of the new version failed? Try manually via the Harbrook website.",
            true);
        return false;
    }
    const fs::path folder = os::inWorkingFolder(newVersionFolder);
    if (!gf_downloadReleaseNotes(folder / "ReleaseNotes.pdf"))
        gf_logError(fmt::format("could not download {} to {}", "ReleaseNotes.pdf", folder.string()));
    const std::string notice = gf_installerNotice(os::workingFolder());
    gf_logAndFlush(notice);
    gf_writeTextFile(notice, folder / "README.txt", true);
    if (!gf_openNewVersionFolder())
        gf_showMessage(
            "Opening file explorer at the new version failed? Try manually via the Harbrook website.", true);
    gf_requestStop(StopReason::NewVersion, 0);
    return true;
}

// Reads and removes versions.json; nothing when it is no JSON object (logged).
std::optional<nlohmann::json> lf_readVersions(const fs::path& path) {
    std::optional<nlohmann::json> json;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            gf_logError("Cannot open versions.json");
            return std::nullopt;
        }
        json = gf_parseVersions(in);
    }
    std::error_code ec;
    fs::remove(path, ec);
    if (ec) gf_logError(fmt::format("Warning: could not remove {}: {}", path.string(), ec.message()));
    return json;
}

} // namespace

bool gf_checkForUpdates() {
    // What transfers of an earlier run left when they were killed.
    gf_removeLeftDownloads({os::workingFolder(), os::inWorkingFolder(refdataInputFolder()),
                            os::inWorkingFolder(airportsFolder), os::inWorkingFolder(newVersionFolder)});
    if (gf_downloadFolderUrl().empty()) {
        gf_log("No download server configured (SKYLOOM_DOWNLOAD_URL): the update check is skipped");
        return true;
    }
    const UpdateCheckDeadline deadline;
    const fs::path path = os::inWorkingFolder(versionsJsonPath);
    {
        const DownloadNotice notice(versionsJsonPath.string());
        DownloadHandle handle = gf_makeDownloadHandle();
        if (!Downloader(handle, gf_downloadFolderUrl() + "versions.json", path, false,
                        DownloadKind::VersionList)) {
            gf_logError("Downloading version info from my web site failed!");
            return true;
        }
    }
    const auto json = lf_readVersions(path);
    if (!json) return true;

    auto member = [&](const char* name) {
        auto web = gf_versionMember(*json, name);
        if (!web) gf_logError(fmt::format("{} version not found", name));
        return web;
    };

    if (const auto web = member("msfs")) {
        gf_log(fmt::format("{} program version at web = {}", "msfs", web->toString()));
        if (!web->isNewerThan(gf_programVersion))
            gf_log(fmt::format("{} version up-to-date", "msfs"));
        else if (lf_newProgramVersion(*web))
            return false;
    }
    const auto& is2020 = gf_coreHooks().simulatorIs2020;
    if (is2020 && !is2020()) {
        if (const auto web = member("simaddon")) {
            switch (gf_downloadSimAddon(*web)) {
            case AddonResult::Updated:
                gf_log(fmt::format("{} updated to {}", "simaddon", web->toString()));
                break;
            case AddonResult::UpToDate:
                gf_log(fmt::format("{} version up-to-date", "simaddon"));
                break;
            case AddonResult::Failed:
                gf_logError(fmt::format("{} update to {} failed; the installed version stays", "simaddon",
                                        web->toString()));
                break;
            }
        }
    }
    if (const auto web = member("airports")) lf_dataFile("airports", *web, AIRPORTS_VERSION, "airports.enc");
    if (const auto web = member("aig")) lf_dataFile("aig", *web, AIG_VERSION, "AIG-regcodes.enc");
    if (const auto web = member("liveries")) {
        std::error_code ec;
        if (web->isNewerThan(VersionData(LIV_SCAN_VERSION.value())) ||
            !fs::exists(os::inWorkingFolder(outputFolder / "LiveriesScanned.xml"), ec)) {
            lf_setCheckBox(SCAN_LIVERIES);
            LIV_SCAN_VERSION.set(web->toString());
            gf_log(fmt::format("{} updated to {}", "liveries", web->toString()));
        } else {
            gf_log(fmt::format("{} version up-to-date", "liveries"));
        }
    }
    if (const auto web = member("addons")) {
        if (web->isNewerThan(VersionData(ADDONS_SCAN_VERSION.value()))) {
            lf_setCheckBox(SCAN_AIRPORTS);
            ADDONS_SCAN_VERSION.set(web->toString());
            gf_log(fmt::format("{} updated to {}", "addons", web->toString()));
        } else {
            gf_log(fmt::format("{} version up-to-date", "addons"));
        }
    }
    if (const auto web = member("dbase")) lf_dataFile("dbase", *web, DBASE_VERSION, "dbase.enc");
    return true;
}
