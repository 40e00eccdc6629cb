#include "liveries/regcodes.h"

#include "liveries/livery_data.h"

#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/strings.h"
#include "core/textfile.h"

#include "platform/os/folders.h"

#include "refdata/data_files.h"
#include "refdata/regcodes.h"

#include <fmt/format.h>

#include <exception>
#include <system_error>

TextMap<TitleView> regcodeTitles;
TitleViews specialTitles;
std::unordered_set<TitleView> specialTitleSet;
std::set<std::string, std::less<>> uniqueRegcodes;
std::vector<std::string> regcodeReport;
std::vector<std::string> dontUseTitles;

namespace {

std::filesystem::path lf_aigEncPath() {
    return refdataInputFolder() / "AIG-regcodes.enc";
}
std::filesystem::path lf_aigXmlPath() {
    return refdataInputFolder() / "AIG-regcodes.xml";
}
std::filesystem::path lf_userRegcodeFolder() {
    return refdataInputFolder() / "my_regcodes";
}
std::filesystem::path lf_offlineReportPath() {
    return os::inWorkingFolder(outputInfoFolder / "OfflineRegcodes.txt");
}
std::filesystem::path lf_inlineReportPath() {
    return os::inWorkingFolder(outputErrorsFolder / "InlineRegcodes.txt");
}

// "{:3} {:4}" of airline and type: how log and report lines name an airline's model.
std::string lf_airlTypeKey(std::string_view airline, std::string_view type) {
    return fmt::format("{:3} {:4}", airline, type);
}

bool lf_folderHasEntries(const std::filesystem::path& folder) {
    std::error_code error;
    return std::filesystem::is_directory(folder, error) &&
           std::filesystem::directory_iterator(folder, error) != std::filesystem::directory_iterator();
}

void lf_mergeAigRegcodes() {
    const std::filesystem::path path = lf_aigXmlPath();
    regcodeReport.push_back(fmt::format("Processing file {}", path.string()));
    std::list<RegcodeLivery> entries;
    if (!gf_readRegcodesXml(path, entries))
        regcodeReport.push_back(fmt::format(
            "There were errors processing the AIG-regcode file '{}', see Log.txt", path.string()));
    lf_mergeRegcodeList(entries);
}

void lf_mergeUserRegcodes() {
    const std::filesystem::path folder = lf_userRegcodeFolder();
    if (!lf_folderHasEntries(folder)) return;
    regcodeReport.push_back(fmt::format("Processing files in {}", folder.string()));
    std::list<RegcodeLivery> entries;
    if (!gf_readRegcodeFiles(folder, entries))
        gf_showMessage(
            fmt::format("There were errors processing the regcode files in folder '{}', see Log.txt",
                        folder.string()),
            true);
    lf_mergeRegcodeList(entries);
}

// Appends the titles of the entries without registrations to dontUseTitles; returns how many.
std::size_t lf_appendDontUseTitles(const std::list<RegcodeLivery>& entries) {
    std::size_t count = 0;
    for (const RegcodeLivery& entry : entries) {
        if (!entry.regs.empty()) continue;
        dontUseTitles.push_back(entry.title);
        ++count;
    }
    return count;
}

} // namespace

void lf_addInlineRegcodes() {
    std::vector<std::string> clashes;
    for (const LiveryData& livery : scannedLiveries) {
        if (livery.atcid.empty()) continue;
        const TitleView view = lf_findTitleView(livery.title);
        if (view.empty()) {
            clashes.push_back(fmt::format("==> [{}] {} '{}' not available, system error, should not happen?",
                                          lf_airlTypeKey(livery.airl, livery.type), livery.atcid,
                                          livery.title));
            continue;
        }
        const auto [slot, added] = regcodeTitles.try_emplace(livery.atcid, view);
        if (!added && slot->second != view)
            clashes.push_back(
                fmt::format("{} '{}' => already in use by '{}'", livery.atcid, livery.title, slot->second));
    }
    if (clashes.empty()) return;
    const std::filesystem::path path = lf_inlineReportPath();
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (!gf_writeLines(clashes, path)) gf_logError(fmt::format("Could not write {}", path.string()));
    gf_log(fmt::format("{} in-line regcode clashes, see '{}'", clashes.size(), path.string()));
}

void lf_mergeRegcodeList(const std::list<RegcodeLivery>& entries) {
    std::int64_t added = 0;
    std::int64_t replaced = 0;
    std::int64_t special = 0;
    for (const RegcodeLivery& entry : entries) {
        const TitleView view = lf_findTitleView(entry.title);
        if (view.empty()) continue;
        for (const std::string& reg : entry.regs) {
            const auto [slot, isNew] = regcodeTitles.try_emplace(reg, view);
            if (isNew) {
                ++added;
            } else if (slot->second != view) {
                regcodeReport.push_back(fmt::format("   regcode {} for '{}', instead of the same for '{}'",
                                                    reg, entry.title, slot->second));
                slot->second = view;
                ++replaced;
            }
            if (entry.special && entry.regs.size() == 1) uniqueRegcodes.insert(reg);
        }
        if (entry.special) {
            specialTitles.push_back(view);
            specialTitleSet.insert(view);
            ++special;
        }
    }
    std::string line = fmt::format("{} new regcode{} added", added, gf_plural(added));
    if (replaced > 0) line += fmt::format(", {} regcode{} replaced", replaced, gf_plural(replaced));
    if (special > 0) line += fmt::format(", {} regcode{} defined as special", special, gf_plural(special));
    regcodeReport.push_back(std::move(line));
}

void gf_buildRegcodeTable() {
    regcodeReport.clear();
    try {
        const std::filesystem::path xmlPath = lf_aigXmlPath();
        if (!gf_streamDecrypt(lf_aigEncPath(), xmlPath)) return;
        lf_mergeAigRegcodes();
        gf_removeIfExists(xmlPath);
        lf_mergeUserRegcodes();

        const std::filesystem::path reportPath = lf_offlineReportPath();
        std::filesystem::remove(reportPath);
        if (!regcodeReport.empty()) {
            if (gf_writeLines(regcodeReport, reportPath))
                gf_log(fmt::format("Offline regcode files processed, results can be found in '{}'",
                                   reportPath.string()));
            else
                gf_logError(fmt::format("Could not write {}", reportPath.string()));
        }
        if (!specialTitles.empty()) gf_log(fmt::format("{} special liveries", specialTitles.size()));
        if (!uniqueRegcodes.empty()) gf_log(fmt::format("{} unique liveries", uniqueRegcodes.size()));
    } catch (const std::exception& e) {
        gf_logError(fmt::format("exception: {}", e.what()));
    }
}

void gf_readAigDontUseTitles() {
    std::list<RegcodeLivery> entries;
    gf_readRegcodesXml(lf_aigXmlPath(), entries);
    const std::size_t count = lf_appendDontUseTitles(entries);
    gf_log(fmt::format("{} don't use title{} read", count, gf_plural(std::uint64_t{count})));
}

void gf_readUserDontUseTitles() {
    const std::filesystem::path folder = lf_userRegcodeFolder();
    std::list<RegcodeLivery> entries;
    gf_readRegcodeFiles(folder, entries);
    const std::size_t count = lf_appendDontUseTitles(entries);
    gf_log(fmt::format("{} don't use title{} read from files in {}", count, gf_plural(std::uint64_t{count}),
                       folder.string()));
}

void gf_clearRegcodeTables() {
    regcodeTitles.clear();
    specialTitles.clear();
    specialTitleSet.clear();
    uniqueRegcodes.clear();
}
