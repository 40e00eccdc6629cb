#include "update/installers.h"

#include "core/generations.h"
#include "core/hooks.h"
#include "core/known_folders.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/settings.h"
#include "core/textfile.h"
#include "platform/os/folders.h"
#include "platform/os/rights.h"
#include "refdata/made_files.h"
#include "update/downloader.h"
#include "update/update_hooks.h"
#include "update/zip_reader.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <set>
#include <string_view>
#include <unistd.h>

#include <fmt/format.h>

namespace fs = std::filesystem;

namespace {

void lf_removeZip(const fs::path& zip) {
    std::error_code ec;
    fs::remove(zip, ec);
    if (ec) gf_logError(fmt::format("Warning: could not remove downloaded zip: {}", ec.message()));
}

// Every refused entry is logged; true when there was one.
bool lf_logRefusals(const ZipReader& reader, const fs::path& zip) {
    bool refused = false;
    for (const auto& entry : reader.entries()) {
        if (entry.refusal.empty()) continue;
        gf_logError(fmt::format("Refused entry '{}' in {}: {}", entry.name, zip.string(), entry.refusal));
        refused = true;
    }
    return refused;
}

// The size-checked move of the installer into new_version.
bool lf_moveChecked(const fs::path& from, const fs::path& folder) {
    const fs::path target = folder / from.filename();
    const fs::path part = fs::path(target).concat(".part");
    std::error_code ec;
    fs::remove(part, ec);
    fs::remove(target, ec);
    const auto size = fs::file_size(from, ec);
    if (ec) {
        gf_log(fmt::format("file_size({}) failed: {}", from.string(), ec.message()));
        return false;
    }
    fs::rename(from, part, ec);
    if (ec) {
        gf_log(fmt::format("could not rename {} => {}: {}", from.string(), part.string(), ec.message()));
        return false;
    }
    const auto size2 = fs::file_size(part, ec);
    if (ec) {
        gf_log(fmt::format("file_size({}) failed: {}", part.string(), ec.message()));
        return false;
    }
    if (size2 != size) {
        gf_log(fmt::format("rename {} => {} suspicious: size {} != {}", from.string(), part.string(), size,
                           size2));
        return false;
    }
    fs::rename(part, target, ec);
    if (ec) {
        gf_log(fmt::format("could not finalize rename {} => {}: {}", part.string(), target.string(),
                           ec.message()));
        return false;
    }
    return true;
}

bool lf_folderMissingOrEmpty(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return true;
    const bool empty = fs::is_empty(folder, ec);
    return ec || empty;
}

// A staged file, written with one call and not yet synced (lf_syncFolder syncs them all at once).
// An existing file of the name is truncated: of two entries with the same name the last one wins.
bool lf_writeStaged(std::string_view text, const fs::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool written = true;
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            written = false;
            break;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return ::close(fd) == 0 && written;
}

bool lf_syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::syncfs(fd) == 0;
    ::close(fd);
    return synced;
}

// The add-on's files: every name the archive holds, and those of them written into the staging folder.
// The others are in place already: the previous add-on installed the same content and nobody changed it.
struct UnpackedAddon {
    std::set<std::string> names;
    std::set<std::string> staged;
};

// Unpacks every file entry of the add-on archive as text into `staging` (stem + ".txt"), but for the
// files `folder` holds already as the program wrote them with the same content. Nothing after a
// failure (logged).
std::optional<UnpackedAddon> lf_unpackAddon(const fs::path& zip, const fs::path& staging,
                                            const fs::path& folder, const MadeFiles& made) {
    ZipReader reader;
    std::string error;
    if (!reader.open(zip, gf_addonZipLimits(), &error)) {
        gf_logError(fmt::format("Could not open {}", zip.string()));
        gf_log(error);
        return std::nullopt;
    }
    if (lf_logRefusals(reader, zip)) return std::nullopt;
    std::error_code ec;
    fs::remove_all(staging, ec);
    fs::create_directories(staging, ec);
    if (ec) {
        gf_logError(fmt::format("Could not create directory {}: {}", staging.string(), ec.message()));
        return std::nullopt;
    }
    const auto listed = made.entries();
    const std::string prefix = mySimaddonFolder.filename().string() + "/";
    UnpackedAddon addon;
    std::string text;
    for (const auto& entry : reader.entries()) {
        if (entry.folder) continue;
        if (!reader.readText(entry, text, &error)) {
            gf_logError(fmt::format("Unzipping '{}' from {} failed: {}", entry.name, zip.string(), error));
            return std::nullopt;
        }
        const std::string name = entry.stem + ".txt";
        addon.names.insert(name);
        const auto it = listed.find(prefix + name);
        if (it != listed.end() && it->second == gf_contentHash(text) &&
            made.state(folder / name) == MadeFiles::State::unchanged) {
            // In place already; an earlier entry of the same name staged is not the last word.
            if (addon.staged.erase(name) != 0) fs::remove(staging / name, ec);
            continue;
        }
        const fs::path path = staging / name;
        if (!lf_writeStaged(text, path)) {
            gf_logError(fmt::format("Failed to write file: {}", path.string()));
            return std::nullopt;
        }
        addon.staged.insert(name);
    }
    // One sync of the file system for all staged files, instead of one per file.
    if (!addon.staged.empty() && !lf_syncFolder(staging)) {
        gf_logError(fmt::format("Could not sync {}", staging.string()));
        return std::nullopt;
    }
    return addon;
}

// Puts the staged files in place of the previous add-on's files, one rename each. The list of
// program-made files tells the add-on's files from the user's: a file of the user's (not listed, or
// changed since the program wrote it) is neither removed nor replaced. The count of the add-on's files
// in place, or nothing when a rename fails.
std::optional<std::size_t> lf_replaceAddonFiles(const fs::path& staging, const fs::path& folder,
                                                const UnpackedAddon& addon, MadeFiles& made) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        gf_logError(fmt::format("Could not create directory {}: {}", folder.string(), ec.message()));
        return std::nullopt;
    }
    const std::string prefix = mySimaddonFolder.filename().string() + "/";
    for (const auto& [key, hash] : made.entries()) {
        if (!key.starts_with(prefix)) continue;
        const std::string name = key.substr(prefix.size());
        if (name.find('/') != std::string::npos || addon.names.contains(name)) continue;
        made.removeIfMade(folder / name);
    }
    std::size_t installed = addon.names.size() - addon.staged.size();
    bool ok = true;
    for (const auto& name : addon.staged) {
        const fs::path target = folder / name;
        if (made.isUsersFile(target)) {
            gf_log(fmt::format("{} is left alone: it is your own file", target.string()));
            continue;
        }
        fs::rename(staging / name, target, ec);
        if (ec) {
            gf_logError(fmt::format("could not rename {} => {}: {}", (staging / name).string(),
                                    target.string(), ec.message()));
            ok = false;
            break;
        }
        made.recordFromDisk(target);
        ++installed;
    }
    if (!made.save(&ec))
        gf_logError(fmt::format("Cannot write {}: {}", made.listPath().string(), ec.message()));
    if (!ok) return std::nullopt;
    return installed;
}

} // namespace

std::string gf_installerZipName(const VersionData& web) {
    return fmt::format("setup_{}_d_v{}.zip", gf_productName, web.toString());
}

bool gf_installNewVersion(const VersionData& web) {
    const fs::path zip = os::inWorkingFolder(gf_installerZipName(web));
    const fs::path exe = os::inWorkingFolder(installerExeName);
    bool fetched = false;
    {
        const DownloadNotice notice(gf_installerZipName(web));
        DownloadHandle handle = gf_makeDownloadHandle();
        const std::string url = gf_downloadFolderUrl() + "release/" + gf_installerZipName(web);
        fetched = Downloader(handle, url, zip, true, DownloadKind::InstallerArchive);
    }
    if (!fetched) {
        gf_showMessage(fmt::format("Downloading program installer file version {} failed", web.toString()),
                       true);
        return false;
    }
    gf_log(fmt::format("Downloaded {}", zip.string()));

    bool unpacked = false;
    {
        ZipReader reader;
        std::string error;
        if (!reader.open(zip, gf_installerZipLimits(), &error)) {
            gf_logError(fmt::format("Could not open {}", zip.string()));
            gf_log(error);
        } else if (!lf_logRefusals(reader, zip)) {
            unpacked = true;
            for (const auto& entry : reader.entries()) {
                if (entry.folder) continue;
                std::error_code ec;
                fs::remove(exe, ec);
                if (ec) gf_logError(fmt::format("Warning: could not remove old installer: {}", ec.message()));
                if (!reader.extract(entry, exe, &error)) {
                    gf_logError(fmt::format("Unzipping error code: {}", error));
                    unpacked = false;
                    break;
                }
                gf_log(fmt::format("{} unzipped to {}", zip.string(), exe.string()));
            }
        }
    }
    std::error_code ec;
    if (!unpacked) {
        fs::remove(exe, ec);
        lf_removeZip(zip);
        return false;
    }

    // A new_version that cannot be made (a file of that name, no rights) fails the install; the run goes on.
    const fs::path folder = os::inWorkingFolder(newVersionFolder);
    if (fs::is_directory(folder, ec)) {
        gf_removeFilesFromDirectory(folder);
    } else if (!fs::create_directory(folder, ec) || ec) {
        gf_logError(fmt::format("Could not create directory {}: {}", folder.string(),
                                ec ? ec.message() : std::string("a file of that name is in the way")));
        fs::remove(exe, ec);
        lf_removeZip(zip);
        return false;
    }
    lf_removeZip(zip);

    if (!fs::exists(exe, ec)) {
        gf_logError(fmt::format("{} does not exists?", exe.string()));
        return false;
    }
    if (!lf_moveChecked(exe, folder)) return false;
    if (fs::exists(exe, ec)) {
        fs::remove(exe, ec);
        if (ec) gf_logError(fmt::format("Warning: could not remove extracted: {}", ec.message()));
    }
    return true;
}

AddonResult gf_downloadSimAddon(const VersionData& web) {
    const VersionData stored(MYSIMADDON24_VERSION.value());
    const fs::path folder = os::inWorkingFolder(mySimaddonFolder);
    if (!web.isNewerThan(stored) && !lf_folderMissingOrEmpty(folder)) return AddonResult::UpToDate;

    const fs::path zip = os::inWorkingFolder(addonZipName);
    const fs::path staging = fs::path(folder).concat(".staging");
    AddonResult result = AddonResult::Failed;
    {
        std::optional<DownloadNotice> notice(std::in_place, addonZipName);
        DownloadHandle handle = gf_makeDownloadHandle();
        const std::string url = gf_downloadFolderUrl() + "mysimaddon24/" + addonZipName;
        MadeFiles made(os::inWorkingFolder(airportsFolder));
        std::error_code ec;
        if (!made.load(&ec)) {
            gf_logError(fmt::format("Cannot read {}: {}", made.listPath().string(), ec.message()));
        } else if (Downloader(handle, url, zip, true, DownloadKind::AddonArchive)) {
            notice.reset(); // the unpacking tells its own result
            const auto addon = lf_unpackAddon(zip, staging, folder, made);
            if (const auto count =
                    addon ? lf_replaceAddonFiles(staging, folder, *addon, made) : std::nullopt) {
                gf_showMessage(fmt::format("{} unzipped {} files", zip.string(), *count), true);
                MYSIMADDON24_VERSION.set(web.toString());
                result = AddonResult::Updated;
            }
        }
    }
    std::error_code ec;
    fs::remove_all(staging, ec);
    if (fs::exists(zip, ec)) lf_removeZip(zip);
    return result;
}

bool gf_downloadReleaseNotes(const fs::path& target) {
    const DownloadNotice notice(target.filename().string());
    DownloadHandle handle = gf_makeDownloadHandle();
    return Downloader(handle, gf_downloadFolderUrl() + "docs/ReleaseNotes.pdf", target, true,
                      DownloadKind::Document);
}

std::string gf_installerNotice(const fs::path& folder) {
    if (os::installerNeedsAdministrator(folder))
        return "A new version is available. Run the installer as Administrator";
    return "A new version is available.\nThe installer can be executed normally (no Administrator rights "
           "required).";
}

bool gf_openNewVersionFolder() {
    const bool opened = gf_shellOpen(os::inWorkingFolder(newVersionFolder / installerExeName));
    if (!opened) {
        if (const auto& box = gf_updateHooks().warningBox)
            box("Could not open File Explorer at new version", gf_productName);
        else
            gf_logError("Could not open File Explorer at new version");
    }
    return opened;
}
