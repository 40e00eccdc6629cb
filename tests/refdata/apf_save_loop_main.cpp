// Saves two learned parking files in turn (LSZH, then EDDF, then LSZH again ...) in an endless loop
// below the working folder given as the only argument, and writes one byte to standard output after
// each save, so that a test can kill it in the middle of a save.

#include "refdata/airport_files.h"
#include "tests/refdata/apf_save_loop_data.h"

#include <filesystem>

#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::filesystem::current_path(argv[1]);
    for (long i = 1;; ++i) {
        const auto& airport = apf_save_loop::loopAirports[i % 2];
        if (!gf_writeApf(apf_save_loop::saveData(airport, i), gf_learnedPathOf(airport.code, "stock"),
                         apfLearnedMode, 1))
            return 1;
        if (::write(STDOUT_FILENO, "x", 1) != 1) return 1;
    }
}
