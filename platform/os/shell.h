#pragma once
// Opening a file or folder in the desktop's file manager.

#include <filesystem>
#include <string>
#include <vector>

namespace os {

// Starts `xdg-open target` (the program and the target as separate arguments, no shell) without
// waiting for it. True when the program could be started.
bool shellOpen(const std::filesystem::path& target);

// Starts a program with an argument vector (argv[0] is the program, looked up in PATH) without a
// shell and without waiting; the child is reaped in the background. True when it started.
bool spawnDetached(const std::vector<std::string>& argv);

// Replaces "xdg-open" (tests); an empty value restores it.
void setShellOpenProgram(std::string program);

} // namespace os
