#include "scan/publishers.h"

#include "core/strings.h"
#include "core/textfile.h"
#include "refdata/type_lookups.h"
#include "scan/scan_state.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

// The answers of gf_findManifestIn during a scan: folder -> its manifest.json, or an empty path.
std::mutex manifestsMutex;
bool keepManifests = false;
std::unordered_map<std::string, fs::path> manifestsFound;

std::string lf_lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A manifest found in `folder`, read; absent when the folder has none or it gives nothing.
ManifestInfo lf_manifestIn(const fs::path& folder) {
    const fs::path manifest = gf_findManifestIn(folder);
    if (manifest.empty()) return std::nullopt;
    gf_addToScanLog(fmt::format("{} found", path_to_utf8(manifest)));
    return gf_readManifest(manifest);
}

std::string lf_text(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return {};
    return it->get<std::string>();
}

} // namespace

PublisherInfo gf_findPublisher(const fs::path& bglPath) {
    PublisherInfo info;
    gf_addToScanLog(fmt::format("\nTry to find publisher in: {}", path_to_utf8(bglPath)));
    if (gf_pathContainsNoCase(bglPath, "microsoft-airport") ||
        gf_pathContainsNoCase(bglPath, "asobo-airport")) {
        info.publisher = "simaddon";
        gf_addToScanLog(fmt::format("from filename => publisher {}", info.publisher));
        return info;
    }
    if (auto publisher = gf_publisherOfPath(bglPath); publisher && !publisher->empty()) {
        info.publisher = *publisher;
        gf_addToScanLog(fmt::format("publisher '{}' found", info.publisher));
        return info;
    }
    const ManifestInfo manifest = gf_searchManifest(bglPath);
    if (!manifest) {
        gf_addToScanLog(fmt::format("{}No publisher found", "===> "));
        return info;
    }
    info.manufacturer = manifest->manufacturer;
    info.creator = manifest->creator;
    if (!info.manufacturer.empty()) {
        if (auto publisher = gf_publisherOfPath(fs::path(info.manufacturer));
            publisher && !publisher->empty()) {
            info.publisher = *publisher;
            gf_addToScanLog(fmt::format("from manifest.json: manufacturer '{}' => publisher '{}'",
                                        info.manufacturer, info.publisher));
            return info;
        }
    }
    if (!info.creator.empty()) {
        if (auto publisher = gf_publisherOfPath(fs::path(info.creator)); publisher && !publisher->empty()) {
            info.publisher = *publisher;
            gf_addToScanLog(fmt::format("from manifest.json: creator '{}' => publisher '{}'", info.creator,
                                        info.publisher));
            return info;
        }
    }
    gf_addToScanLog(
        fmt::format("no valid info found in manifest about publisher, manufacturer:'{}', creator:'{}' {}",
                    info.manufacturer, info.creator, path_to_utf8(bglPath)));
    return info;
}

ManifestInfo gf_searchManifest(const fs::path& bglPath) {
    try {
        // The package folder of a Community package: Community\package\folder\folder\file.bgl.
        std::vector<fs::path> parts(bglPath.begin(), bglPath.end());
        const bool inCommunity = std::any_of(parts.begin(), parts.end(), [](const fs::path& part) {
            return lf_lower(part.string()) == "community";
        });
        if (inCommunity && parts.size() > 3) {
            fs::path package;
            for (std::size_t i = 0; i + 3 < parts.size(); ++i)
                package /= parts[i];
            if (ManifestInfo found = lf_manifestIn(package)) return found;
        }
        // Then upwards from the file's folder (a file holds no manifest). The walk ends at the root,
        // whose parent is itself.
        fs::path current = bglPath;
        while (!current.empty() && !current.has_filename() && current != current.root_path())
            current = current.parent_path();
        current = current.parent_path();
        while (!current.empty()) {
            if (ManifestInfo found = lf_manifestIn(current)) return found;
            fs::path parent = current.parent_path();
            if (parent == current) break;
            current = std::move(parent);
        }
        return std::nullopt;
    } catch (const std::exception& e) {
        gf_addToScanLog(fmt::format("exception in gf_searchManifest: {}", e.what()));
        return std::nullopt;
    }
}

fs::path gf_findManifestIn(const fs::path& folder) {
    // One look-up of the name, not a listing: the upward search asks every folder up to the root, and
    // some of them (a temporary folder, a home) hold thousands of entries. A folder that is not one
    // has no entry of that name either. The files of one package share their folders: each folder is
    // asked once per scan.
    const std::string key = folder.native();
    {
        std::lock_guard lock(manifestsMutex);
        if (const auto it = manifestsFound.find(key); it != manifestsFound.end()) return it->second;
    }
    std::error_code ec;
    fs::path manifest = folder / "manifest.json";
    if (!fs::is_regular_file(manifest, ec)) manifest.clear();
    std::lock_guard lock(manifestsMutex);
    if (keepManifests) manifestsFound.emplace(key, manifest);
    return manifest;
}

void gf_keepManifestLookups(bool keep) {
    std::lock_guard lock(manifestsMutex);
    keepManifests = keep;
    manifestsFound.clear();
}

ManifestInfo gf_readManifest(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec || size > maxManifestBytes) return std::nullopt;
    TextFile text(file);
    const TextFile::Result read = text.readLines(48);
    if (std::holds_alternative<TextFile::Error>(read) || text.lines.empty()) return std::nullopt;
    std::string joined;
    for (const std::string& line : text.lines)
        joined += line;
    const nlohmann::json json = nlohmann::json::parse(joined, nullptr, false);
    if (!json.is_object()) return std::nullopt;
    return ManifestFields{lf_text(json, "manufacturer"), lf_text(json, "creator"), lf_text(json, "title")};
}
