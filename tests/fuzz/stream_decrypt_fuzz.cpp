// Fuzz target: the encrypted container of the data files. Any bytes decrypt in full or fail, and a
// failure leaves no plain file behind.

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "refdata/data_files.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto in = fuzz_support::writeInput("data.enc", fuzz_support::text(data, size));
    const auto out = fuzz_support::folder() / "data.xml";
    const bool ok = gf_streamDecrypt(in, out);
    std::error_code ec;
    fuzz_support::require(ok == std::filesystem::exists(out, ec));
    if (ok) fuzz_support::require(std::filesystem::file_size(out) <= size);
    std::filesystem::remove(out, ec);
    return 0;
}
