// Saves settings in an endless loop into the per-user folder given as the only argument and writes
// one byte to standard output after each round, so that a test can kill it in the middle of a save.

#include <string>

#include <unistd.h>

#include "core/parameters.h"
#include "core/program_paths.h"
#include "core/settings.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    gf_setUserFolder(argv[1]);
    for (long i = 1;; ++i) {
        MAIN_WINDOW_X.value = static_cast<int>(i % 30000);
        MAIN_WINDOW_X.save();
        DESTINATION.set("D" + std::to_string(i));
        if (i % 3 == 0) gf_saveParameters(false);
        if (i % 5 == 0) gf_rebuildParametersWithRoot();
        if (::write(STDOUT_FILENO, "x", 1) != 1) return 1;
    }
}
