#pragma once
// The one way the program rewrites a file in full: the content goes to a temporary file in the same
// folder, is flushed and synced to disk, and the temporary file is renamed over the old one. A reader
// sees either the old file or the new one, never a half-written file.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// Writes `content` as the whole new content of `path`. True on success; on failure the old file is
// untouched, the temporary file is removed and `error` (when given) holds the cause.
bool gf_writeFileAtomically(const std::filesystem::path& path, std::string_view content,
                            std::error_code* error = nullptr);

// As gf_writeFileAtomically, but without waiting for the disk: a reader still sees the old file or the
// whole new one, but after a crash of the system the new file may be missing or empty until it was
// synced with gf_syncFiles. For many files written at once and synced together at the end.
bool gf_writeFileAtomicallyUnsynced(const std::filesystem::path& path, std::string_view content,
                                    std::error_code* error = nullptr);

// The first half of gf_writeFileAtomicallyUnsynced: `content` in a new temporary file beside `path`
// (".NAME.tmp<pid>-<n>", an existing file's permissions kept), handed to the disk but not synced. The
// caller renames it over `path` (or removes it). Nothing on failure, with `error` (when given) set.
std::optional<std::filesystem::path> gf_writeTemporaryBeside(const std::filesystem::path& path,
                                                             std::string_view content,
                                                             std::error_code* error = nullptr);

// Syncs a folder's names (after renames in it). False when it could not be opened or synced.
bool gf_syncFolder(const std::filesystem::path& folder);

// Syncs the content of the files to disk, then each of their folders once (their names). All files
// are first handed to the disk together and then waited for, which costs far less than one sync after
// each write. Returns the files that could not be synced (a file whose folder could not be synced
// among them).
std::vector<std::filesystem::path> gf_syncFiles(const std::vector<std::filesystem::path>& files);

// A save that was killed half way leaves its temporary file beside `path` (".NAME.tmp<pid>-<n>"). Removes
// every such file, each with a log line (an error line when it cannot be removed). Only for files that
// one thread of this process saves, at a moment when no save of them runs.
void gf_removeStaleTemporaryFiles(const std::filesystem::path& path);
