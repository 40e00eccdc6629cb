// Helpers of the fuzz targets: a property check that stops the run, and a folder of the process's own
// for the readers that take a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace fuzz_support {

// Stops the run (a finding) when a property does not hold.
inline void require(bool condition) {
    if (!condition) std::abort();
}

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The process's own temporary folder, removed at exit. It lies in memory (/dev/shm) where there is
// one: the readers that take a path are fed through a file for every input, and the writers they call
// sync what they write, which on a disk costs more than the parsing itself.
inline const std::filesystem::path& folder() {
    struct Folder {
        std::filesystem::path path;
        Folder() {
            std::error_code ec;
            std::filesystem::path base = "/dev/shm";
            if (!std::filesystem::is_directory(base, ec) || ::access(base.c_str(), W_OK) != 0)
                base = std::filesystem::temp_directory_path();
            std::string pattern = (base / "skyloom-fuzz-XXXXXX").string();
            if (::mkdtemp(pattern.data()) == nullptr) std::abort();
            path = pattern;
        }
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder temp;
    return temp.path;
}

// Writes the bytes to `name` in the process's folder (created or truncated) and returns its path.
inline std::filesystem::path writeInput(const std::filesystem::path& name, std::string_view bytes) {
    const auto path = folder() / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

} // namespace fuzz_support
