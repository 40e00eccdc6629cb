#pragma once
// The one way the program rewrites a file in full: the content goes to a temporary file in the same
// folder, is flushed and synced to disk, and the temporary file is renamed over the old one. A reader
// sees either the old file or the new one, never a half-written file.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// Writes `content` as the whole new content of `path`. True on success; on failure the old file is
// untouched, the temporary file is removed and `error` (when given) holds the cause.
bool gf_writeFileAtomically(const std::filesystem::path& path, std::string_view content,
                            std::error_code* error = nullptr);

// A save that was killed half way leaves its temporary file beside `path` (".NAME.tmp<pid>-<n>"). Removes
// every such file, each with a log line (an error line when it cannot be removed). Only for files that
// one thread of this process saves, at a moment when no save of them runs.
void gf_removeStaleTemporaryFiles(const std::filesystem::path& path);
