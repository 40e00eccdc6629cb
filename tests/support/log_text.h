#pragma once
// The log the program wrote into a working folder, as tests read it.

#include "core/log.h"

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testing_support {

// Log.txt of the working folder as written so far (the log's buffer flushed first).
inline std::string logText(const std::filesystem::path& workingFolder) {
    gf_logFlush();
    std::ifstream in(workingFolder / "Log.txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// How often `what` occurs in `text` (occurrences may overlap).
inline std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

} // namespace testing_support
