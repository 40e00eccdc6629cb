#pragma once
// The key of the encrypted data files (airports.enc, dbase.enc, AIG-regcodes.enc).
// The program decrypts with it and the data packer encrypts with it; nothing else holds it.

#include <array>
#include <cstdint>

namespace refdata {

inline constexpr std::array<std::uint8_t, 32> dataFileKey{
    0x36, 0x26, 0x80, 0x84, 0x61, 0xcc, 0x10, 0x95, 0x22, 0x03, 0xa9, 0xbb, 0xc5, 0x76, 0x78, 0xb4,
    0x9f, 0x6a, 0x25, 0xf5, 0xfe, 0xf3, 0x32, 0x86, 0x53, 0xca, 0x24, 0xfc, 0xb9, 0xbe, 0xac, 0x74};

// Layout of the container: a secretstream header, then chunks of this many plain bytes plus the
// authentication overhead.
inline constexpr std::size_t dataFileChunkBytes = 4096;

} // namespace refdata
