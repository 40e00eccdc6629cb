#pragma once
// The publisher of a scenery (BGL) file: from its path, from the reference data's publisher lists, or
// from the manifest.json of its package. The reasoning goes to the scan log.

#include <filesystem>
#include <optional>
#include <string>

struct ManifestFields {
    std::string manufacturer;
    std::string creator;
    std::string title;
};
using ManifestInfo = std::optional<ManifestFields>;

struct PublisherInfo {
    std::string publisher; // empty when none was found
    std::string manufacturer;
    std::string creator;
    std::string fourth; // stays empty
};

PublisherInfo gf_findPublisher(const std::filesystem::path& bglPath);
// The manifest of the package the file belongs to: the Community package folder first, then every
// folder from the file's own folder upwards to the root.
ManifestInfo gf_searchManifest(const std::filesystem::path& bglPath);
// The manifest.json directly inside the folder, or an empty path.
std::filesystem::path gf_findManifestIn(const std::filesystem::path& folder);
// While a scan runs, the answer of gf_findManifestIn for a folder is kept (true); false forgets them.
void gf_keepManifestLookups(bool keep);
// The three texts of a manifest; absent when the file cannot be read, is above 1 MiB, or holds no JSON
// object. A value that is not a text throws nlohmann::json's type error.
ManifestInfo gf_readManifest(const std::filesystem::path& file);
