#pragma once
// Finding, fetching and reading the airport file of an airport, and its learned parking file.
//
// Folders (relative to the working folder): airports/my_thirdparty and airports/my_simaddon hold
// airport files CODE.xml and pointer files CODE.txt (first line: a reference); airports/learned holds
// the learned files; airports/park_airport.xml is the fetched copy of an archived file.
//
// A reference is either a local path beginning with "airports" or a path on the maker's server below
// its download folder ("archive/stock/EDDF.xml").

#include "refdata/park_airport.h"
#include "refdata/parking_format.h"

#include <pugixml.hpp>

#include <filesystem>
#include <string>
#include <string_view>

// The one maker name of "manufacturer" / "creator" that does not make an add-on airport file name its
// maker: the simulator's own airport packages give their developer studio as creator, so the name
// says nothing about who made an add-on. Compared without case.
inline constexpr std::string_view excludedMakerName = "Asobo Studio";

std::filesystem::path gf_xmlFileNameOf(const std::filesystem::path& name);
std::filesystem::path gf_txtFileNameOf(const std::filesystem::path& name);

// my_thirdparty/CODE.xml or .txt, my_simaddon/CODE.xml or .txt, or at least one stand in the airports
// table.
bool gf_hasParkingSource(const std::string& code);
// The reference of the airport's file: pointer before file, my_thirdparty before my_simaddon, then
// "archive/stock/CODE.xml" for an airport with stands in the airports table; "" when none.
std::string gf_apfRefOf(const std::string& code);
// The first line of a pointer file when it is a safe reference ending in ".xml" (any case).
bool gf_readPointerFile(const std::filesystem::path& path, std::string& reference);
// A reference that may be used as a path and in a download address: not empty, relative, no "." or
// ".." component, no colon (drive letters, streams), no control character.
bool gf_isSafeReference(std::string_view reference);

// Fetches an archived file into the target: from downloads/MSFS/ for MSFS 2020 and for stock and
// simaddon files, else from downloads/MSFS2024/. "" on success, else "failed to download: '{}'"
// (the target is removed).
std::string gf_downloadArchivedApf(const std::string& reference, const std::filesystem::path& target);

// The learned file of the park airport: airports/learned/stock/CODE.xml for the publisher "stock",
// .../simaddon/CODE.xml for "simaddon", else .../thirdparty/P/CODE.xml with P the publisher made one
// safe folder name (.../thirdparty/CODE.xml when nothing is left of it). Empty for a code that is no
// safe file name. The reader and the saving of learned stands both use it.
std::filesystem::path gf_learnedPathOf(std::string_view code, std::string_view publisher);
// The publisher as one folder name: separators become blanks, control characters go, trimmed, at most
// 100 bytes; "" for nothing left, "." or "..".
std::string gf_publisherFolderName(std::string_view publisher);

// The add-on airport scan's test whether an airport file names its maker.
bool gf_apfHasPublisher(const std::filesystem::path& path);
// The excluded maker name (without case).
bool gf_isExcludedMaker(std::string_view name);
