// Saves a learned parking file of 200 stands with 10 flights each in an endless loop below the
// working folder given as the only argument, and writes one byte to standard output after each save,
// so that a test can kill it in the middle of a save.

#include "refdata/airport_files.h"
#include "refdata/apf_writer.h"

#include <filesystem>
#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::filesystem::current_path(argv[1]);
    ApfData data;
    data.code = "LSZH";
    data.publisher = "stock";
    for (int s = 0; s < 200; ++s) {
        std::vector<ParkOpt> opts;
        for (std::uint32_t n = 1; n <= 10; ++n) {
            ParkOpt o;
            o.airl = "SWR";
            o.type = "A320";
            o.reg = "HB-" + std::to_string(s * 10 + n);
            o.hh.set(n);
            o.seq = n;
            o.day = 1 + n % 7;
            opts.push_back(o);
        }
        data.stands.emplace_back("S" + std::to_string(s), std::move(opts), 47.0 + s * 0.001, 8.0, 0.0, 20.0,
                                 false, false, false);
    }
    const auto path = gf_learnedPathOf("LSZH", "stock");
    for (long i = 1;; ++i) {
        data.airport_name = "round " + std::to_string(i);
        if (!gf_writeApf(data, path, apfLearnedMode, 1)) return 1;
        if (::write(STDOUT_FILENO, "x", 1) != 1) return 1;
    }
}
