// Fuzz target: charset detection and line reading of a text file in any encoding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/textfile.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzz_support::writeInput("text.txt", fuzz_support::text(data, size));
    const Charset charset = gf_detectCharset(path);
    std::vector<std::string> lines;
    gf_readLinesByCharset(charset, path, lines);
    std::size_t total = 0;
    for (const auto& line : lines)
        total += line.size();
    // UTF-8 of UTF-16 or of an ANSI byte takes at most three bytes per input byte.
    fuzz_support::require(total <= 3 * size + 3);
    return 0;
}
