#include "core/generations.h"

#include "core/log.h"
#include "core/strings.h"
#include "platform/os/folders.h"

#include <algorithm>

#include <fmt/format.h>

namespace fs = std::filesystem;

namespace {

// Copies source to target when the source exists.
bool copyIfPresent(const fs::path& source, const fs::path& target) {
    std::error_code ec;
    const auto status = fs::status(source, ec);
    // A path below a plain file is missing as well, not an error.
    if (ec && status.type() != fs::file_type::not_found) {
        gf_logError(fmt::format("exists({}): {}", path_to_utf8(source), ec.message()));
        return false;
    }
    if (!fs::exists(status)) return true;
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        gf_logError(fmt::format("copy {} -> {} failed: {}", path_to_utf8(source), path_to_utf8(target),
                                ec.message()));
        return false;
    }
    return true;
}

template <typename Keep> void removeEntries(const fs::path& folder, std::string_view operation, Keep keep) {
    try {
        if (!fs::is_directory(folder)) return;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (keep(entry.path())) continue;
            fs::remove(entry.path());
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception: {}", operation, e.what()));
    }
}

bool isXmlExtension(const fs::path& p) {
    return gf_equalsAsUpper(".XML", p.extension().string());
}

// Characters of a UTF-8 text (its bytes that are not continuation bytes).
std::size_t characterCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

fs::path gf_generationName(const fs::path& path, int zeros) {
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || zeros < 0) return {};
    std::string generation = name;
    generation.insert(dot, static_cast<std::size_t>(zeros), '0');
    return path.parent_path() / generation;
}

bool gf_save1GenerationOf(const fs::path& path) {
    const auto first = gf_generationName(path, 1);
    if (first.empty()) {
        gf_logError(fmt::format("gf_save1GenerationOf: no dot in filename: {}", path_to_utf8(path)));
        return false;
    }
    return copyIfPresent(path, first);
}

bool gf_saveUpto3GenerationsOf(const fs::path& path) {
    const auto first = gf_generationName(path, 1);
    if (first.empty()) {
        gf_logError(fmt::format("gf_saveUpto3GenerationsOf: no dot in filename: {}", path_to_utf8(path)));
        return false;
    }
    const auto second = gf_generationName(path, 2);
    const auto third = gf_generationName(path, 3);
    bool ok = copyIfPresent(second, third);
    ok = copyIfPresent(first, second) && ok;
    ok = copyIfPresent(path, first) && ok;
    return ok;
}

void gf_removeFilesFromDirectory(const fs::path& folder) {
    removeEntries(folder, "gf_removeFilesFromDirectory", [](const fs::path&) { return false; });
}

void gf_removeXMLFilesFromDirectory(const fs::path& folder) {
    removeEntries(folder, "gf_removeXMLFilesFromDirectory",
                  [](const fs::path& p) { return !isXmlExtension(p); });
}

void gf_removeXMLFilesFromDirectory() {
    gf_removeXMLFilesFromDirectory(os::inWorkingFolder("tblo"));
}

std::size_t gf_countDirectoryEntries(const fs::path& folder) {
    if (!fs::exists(folder)) return 0;
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++count;
    return count;
}

std::vector<std::string> gf_listMyThirdpartyXmlFiles() {
    std::vector<std::string> stems;
    const auto folder = os::inWorkingFolder(fs::path("airports") / "my_thirdparty");
    if (!fs::exists(folder)) return stems;
    stems.reserve(512);
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const auto stem = entry.path().stem().string();
        if (isXmlExtension(entry.path()) && characterCount(stem) == 4) stems.push_back(stem);
    }
    return stems;
}
