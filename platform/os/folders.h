#pragma once
// The folders of the program: the working folder (the program's data folder, where docs, input,
// output, airports and tblo lie) and the user's known folders.

#include <filesystem>
#include <optional>

namespace os {

// The working folder. Default: the process's current folder at the first call; after
// setWorkingFolder the folder given there.
std::filesystem::path workingFolder();
// Sets the working folder that workingFolder() reports, without changing the process's current
// folder (tests use this).
void setWorkingFolder(const std::filesystem::path& folder);
// Makes the folder the process's current folder and the working folder. False when it cannot be entered.
bool enterWorkingFolder(const std::filesystem::path& folder);
// Forgets an override (tests).
void resetWorkingFolder();
// A path inside the working folder: relative paths are joined to it, absolute ones stay.
std::filesystem::path inWorkingFolder(const std::filesystem::path& relative);

// The folder of the running executable (empty when it cannot be found).
std::filesystem::path executableFolder();

// Roaming application data: $XDG_CONFIG_HOME, or ~/.config. Local application data: $XDG_DATA_HOME,
// or ~/.local/share. Relative values of the variables are ignored. Empty when neither the variable
// nor $HOME gives an absolute folder.
std::optional<std::filesystem::path> roamingAppDataFolder();
std::optional<std::filesystem::path> localAppDataFolder();

} // namespace os
