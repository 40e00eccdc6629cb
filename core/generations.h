#pragma once
// File generations (Log.txt -> Log0.txt -> Log00.txt -> Log000.txt) and one-level folder clean-up.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// The path with `zeros` "0" characters inserted before the last "." of its file name; empty when the
// file name has no ".".
std::filesystem::path gf_generationName(const std::filesystem::path& path, int zeros);

// Copies the file to its first generation. True when done or when the file does not exist.
bool gf_save1GenerationOf(const std::filesystem::path& path);
// Shifts second -> third, first -> second, file -> first (each only when its source exists).
bool gf_saveUpto3GenerationsOf(const std::filesystem::path& path);

// Removes every entry of the folder (files and empty sub-folders); stops and logs at the first error.
void gf_removeFilesFromDirectory(const std::filesystem::path& folder);
// Removes the entries whose extension is ".XML" in any case.
void gf_removeXMLFilesFromDirectory(const std::filesystem::path& folder);
// The same for the folder tblo of the working folder.
void gf_removeXMLFilesFromDirectory();
// Entries directly in the folder; 0 when it does not exist. Throws std::filesystem::filesystem_error.
std::size_t gf_countDirectoryEntries(const std::filesystem::path& folder);
// Four-character stems of the ".XML" files in airports/my_thirdparty of the working folder.
// Throws std::filesystem::filesystem_error.
std::vector<std::string> gf_listMyThirdpartyXmlFiles();
