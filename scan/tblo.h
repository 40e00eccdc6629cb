#pragma once
// The collection of unrecognised add-on airports: the airport files the scan generated for airports
// of known makers go into the tblo folder and are packed into tblo/tblo.zip for the user to mail to
// the maker. An original leaves airports/my_thirdparty only once the zip holding it was written and
// read back complete, and only when the program made it.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Collects the codes (stems of the .xml files in airports/my_thirdparty) after a scan.
void gf_collectTblo(const std::vector<std::string>& codes);

// Packs every regular file directly in `source` into the zip `target` (the zip itself left out) and
// reads the zip back: true when it holds exactly those files with their sizes.
bool gf_zipFolder(const std::filesystem::path& target, const std::filesystem::path& source);
// Packs the tblo folder of the working folder.
bool gf_zipFolder(const std::filesystem::path& target);

// The whole file, or nothing when it cannot be read completely.
std::optional<std::string> gf_readWholeFile(const std::filesystem::path& path);

// The entries of a zip with their sizes; nothing when it cannot be opened.
std::optional<std::map<std::string, std::uint64_t>> gf_zipEntries(const std::filesystem::path& zip);
