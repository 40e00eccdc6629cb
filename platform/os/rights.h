#pragma once
// What the installer of a new version needs of the system: whether the program's folder is one of
// the system's program folders, whether this process may write there, and whether it runs with
// administrator rights.

#include <filesystem>

namespace os {

// The folder lies under one of the system's program folders (/usr or /opt here), compared exactly
// by whole path components.
bool isUnderProgramFolder(const std::filesystem::path& folder);

// A file ".write_test.tmp" can be created in the folder and one zero byte written to it; the file is
// removed again.
bool isFolderWritable(const std::filesystem::path& folder);

// The process runs with administrator rights (an effective user id of 0).
bool isElevated();

// The installer must be run with administrator rights: the folder is a program folder this process
// cannot write and the process is not elevated.
bool installerNeedsAdministrator(const std::filesystem::path& folder);

} // namespace os
