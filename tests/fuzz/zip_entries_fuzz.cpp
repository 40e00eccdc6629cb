// Fuzz target: the reader of downloaded archives. Any archive opens or is refused; every entry it lets
// through reads within the caps, and no entry name it accepts leaves the target folder.

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "update/zip_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzz_support::writeInput("archive.zip", fuzz_support::text(data, size));
    ZipLimits limits;
    limits.maxEntrySize = 1u << 20;
    limits.maxTotalSize = 4u << 20;
    limits.maxEntries = 256;
    ZipReader reader;
    std::string error;
    if (!reader.open(path, limits, &error)) return 0;
    fuzz_support::require(reader.entries().size() <= limits.maxEntries);
    std::uint64_t total = 0;
    for (const ZipEntryInfo& entry : reader.entries()) {
        if (!entry.refusal.empty() || entry.folder) continue;
        fuzz_support::require(entry.name.find("..") == std::string::npos || entry.fileName != "..");
        fuzz_support::require(!entry.fileName.empty() && entry.fileName.find('/') == std::string::npos);
        std::uint64_t read = 0;
        reader.read(
            entry,
            [&](const char*, std::size_t n) {
                read += n;
                return true;
            },
            &error);
        fuzz_support::require(read <= limits.maxEntrySize);
        total += read;
    }
    fuzz_support::require(total <= limits.maxTotalSize);
    reader.close();
    return 0;
}
