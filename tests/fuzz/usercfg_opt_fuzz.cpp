// Fuzz target: the InstalledPackagesPath line of UserCfg.opt, over the file's lines as the reader
// splits them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/install_path.h"
#include "core/textfile.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines;
    gf_splitLines(fuzz_support::text(data, size), lines);
    const std::string value = gf_installedPackagesValue(lines);
    // The value is a piece of one line, or "???" for none.
    fuzz_support::require(value == "???" || value.size() <= size);
    return 0;
}
