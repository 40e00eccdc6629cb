// Fuzz target: the user's parameters.xml as the program reads it at start-up (a file that does not
// read is kept as a generation and the defaults are written).

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "core/parameters.h"
#include "core/program_paths.h"
#include "core/settings.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto user = fuzz_support::folder() / "user";
    std::error_code ec;
    std::filesystem::remove_all(user, ec);
    fuzz_support::writeInput("user/parameters.xml", fuzz_support::text(data, size));
    gf_setUserFolder(user);
    gf_resetSettingsForTests();
    (void)gf_readParameters();
    return 0;
}
