// skyloom-datapack: packs the plain XML data files into the encrypted containers the program reads.
//   skyloom-datapack encrypt IN OUT

#include "tools/datapack/datapack.h"

#include <exception>
#include <iostream>
#include <string_view>

int main(int argc, char** argv) {
    if (argc != 4 || std::string_view(argv[1]) != "encrypt") {
        std::cerr << "usage: skyloom-datapack encrypt IN OUT\n";
        return 2;
    }
    try {
        datapack::encryptDataFile(argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::cerr << "skyloom-datapack: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
