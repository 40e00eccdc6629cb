#pragma once
// Writes the encrypted data-file container that the program reads: a 24-byte secretstream header,
// then chunks of 4096 plain bytes plus 17 bytes of overhead each; the last chunk carries the FINAL tag.

#include <cstdint>
#include <filesystem>
#include <span>

namespace datapack {

struct EncryptOptions {
    // Write the FINAL tag on the last chunk. Off only to build damaged containers in tests.
    bool finalTag = true;
    // When the data ends at a chunk boundary (or is empty), append an empty FINAL chunk instead of
    // tagging the last data chunk. A short chunk can only be the last one, so otherwise this is ignored.
    bool separateFinalChunk = false;
};

// Encrypts the file `in` into the container `out` with `key`. Throws std::runtime_error on failure.
void encryptFile(std::span<const std::uint8_t, 32> key, const std::filesystem::path& in,
                 const std::filesystem::path& out, const EncryptOptions& options = {});

// The same with the program's own data-file key.
void encryptDataFile(const std::filesystem::path& in, const std::filesystem::path& out,
                     const EncryptOptions& options = {});

} // namespace datapack
