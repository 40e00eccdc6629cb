#pragma once
// The encrypted data files of the input folder: decryption of the container into a plain file beside
// it, and removal of the plain copy after reading.

#include <filesystem>

// The folder of the data files, "input" in the working folder. Tests point it at a temporary folder.
std::filesystem::path& refdataInputFolder();

// Decrypts the container `in` into the plain file `out` (created or truncated). True when the whole
// stream up to its FINAL chunk was decrypted; false after any failure, which is logged as
// "gf_streamDecrypt exception: {}" and leaves no `out` behind. Never throws.
bool gf_streamDecrypt(const std::filesystem::path& in, const std::filesystem::path& out);

// Removes the file when it exists. A failed removal is logged
// ("Warning: could not remove {}, errorcode: {}"), never thrown.
void gf_removeIfExists(const std::filesystem::path& path);
