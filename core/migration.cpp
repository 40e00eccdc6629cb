#include "core/migration.h"

#include <array>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "core/generations.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/program_paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/version.h"
#include "platform/os/folders.h"

namespace fs = std::filesystem;

namespace {

// The oldest version whose settings can be converted.
constexpr VersionData oldestConvertible{11, 0, 2};

constexpr std::array<std::string_view, 5> obsoleteKeysFirst{"CALLSIGN_OBJECTIDS", "PARK_FAKE",
                                                            "SUPPRESS_STUB", "LOG", "LEARN_SOFT"};
constexpr std::array<std::string_view, 9> obsoleteKeysThen{
    "PROGRAM_INSTALL_PATH",    "LATERAL_RANGE",  "CUSTOM_MAX_PARK", "MAX_LIVE",        "AIRPORT_RANGE",
    "AUTO_RANGE_ABOVE_HEIGHT", "AIRPORT_HEIGHT", "MSFS_2020",       "AI_PACKAGE_ORDER"};

// Throwing forms on purpose: a file system that refuses ends the migration before the new version
// is stored.
void lf_removeFileIfThere(const fs::path& relative) {
    const auto path = os::inWorkingFolder(relative);
    if (fs::exists(path)) fs::remove(path);
}

void lf_removeFolderIfThere(const fs::path& relative) {
    const auto path = os::inWorkingFolder(relative);
    if (fs::exists(path)) fs::remove_all(path);
}

// Characters, not bytes: a name of three characters with one of them beyond ASCII is no match.
std::size_t lf_characterCount(const std::string& utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// Files of older versions directly in the working folder: a four-character stem and ".xml".
void lf_sweepFourLetterXmlFiles() {
    const auto folder = os::workingFolder();
    gf_log(path_to_utf8(folder));
    try {
        for (const auto& entry : fs::directory_iterator(folder)) {
            const auto& p = entry.path();
            if (entry.is_regular_file() && p.extension() == ".xml" &&
                lf_characterCount(p.stem().string()) == 4)
                fs::remove(p);
        }
    } catch (const std::exception&) {
        // Files not yet removed stay; the next update tries again.
    }
}

// Compared as every other version is (signed numbers), so that a stored version that counts as older
// than the running one is also judged too old by the same rule.
bool lf_olderThanConvertible(const VersionData& v) {
    return oldestConvertible.isNewerThan(v);
}

} // namespace

bool gf_migrateParameters() {
    const std::string running = gf_programVersion.toString();
    const std::string storedText = PROGRAM_VERSION.value();
    if (storedText == PROGRAM_VERSION.defaultValue()) {
        PROGRAM_VERSION.set(running);
        return false;
    }

    const VersionData stored(storedText);
    if (!gf_programVersion.isNewerThan(stored)) {
        // The same version, or a downgrade: record the running version when it differs.
        if (!(stored == gf_programVersion)) PROGRAM_VERSION.set(running);
        return false;
    }

    gf_log(fmt::format("This is a version update from {} -> {}", stored.toString(), running));
    if (lf_olderThanConvertible(stored)) {
        // The file is about to be replaced by defaults, which record the running version.
        PROGRAM_VERSION.setValue(running);
        return true;
    }

    for (auto key : obsoleteKeysFirst)
        gf_removeParameter(key);
    lf_removeFileIfThere(callsign2ObjectIdPath);
    for (auto key : obsoleteKeysThen)
        gf_removeParameter(key);

    lf_removeFolderIfThere(toBeLearnedOfflineFolder);
    lf_removeFileIfThere(versionsJsonPath);

    lf_sweepFourLetterXmlFiles();

    lf_removeFileIfThere(airportsMsfsPath);
    lf_removeFileIfThere(airportsMsfsNamesPath);
    lf_removeFolderIfThere(newVersionFolder);

    // Only now: an update whose clean-up failed part way is cleaned up again at the next start.
    PROGRAM_VERSION.set(running);
    return false;
}

void gf_startParameters() {
    if (gf_readParameters()) {
        for (CheckBoxParameter* scan : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
            scan->value = true;
            scan->save();
            scan->showValue();
        }
        return;
    }
    if (gf_migrateParameters()) {
        gf_log("\nYour previous version was too old to convert the old text box parameters to the newdropbox "
               "values.");
        gf_log(fmt::format("{} re-starts with default parameter values ...\n", gf_productName));
        // The old file is kept as its first generation before the file of defaults replaces it in one
        // step; when it cannot be kept it stays as it is. This run keeps the values it loaded.
        std::lock_guard lock(gf_parametersFileMutex());
        const auto path = parametersPath();
        std::error_code ec;
        if (!path.empty() && fs::exists(path, ec)) {
            if (!gf_save1GenerationOf(path)) {
                gf_logError(fmt::format("{} could not be kept as a generation; it is left as it is",
                                        path_to_utf8(path)));
                return;
            }
            gf_log(fmt::format("The old settings are kept as {}", path_to_utf8(gf_generationName(path, 1))));
        }
        gf_saveParameters(true);
    }
}
