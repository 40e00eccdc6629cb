#pragma once
// The keys under which the scan notes its files: a path made absolute and lexically normal, in generic
// form. The scan's own paths are already so (the working folder is absolute): they are taken as they
// are, without splitting them into their parts.

#include <filesystem>
#include <string>

// The absolute, lexically normal form of `path` with "/" separators.
std::string gf_normalAbsoluteKey(const std::filesystem::path& path);
// `file` relative to `base` ("/" separators), as lexically_relative gives it from the normal absolute
// forms of both; the normal absolute form of `file` when there is no relative path.
std::string gf_relativeKey(const std::filesystem::path& base, const std::filesystem::path& file);
