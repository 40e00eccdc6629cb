#pragma once
// The working folder of one benchmark: a folder of its own below the temporary folder (made on first
// use, with airports/my_thirdparty), entered at the start of each benchmark that uses it.

#include <filesystem>
#include <string_view>
#include <unistd.h>

#include <fmt/format.h>

inline void enterBenchFolder(std::string_view name) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / fmt::format("skyloom-{}-{}", name, ::getpid());
    std::filesystem::create_directories(folder / "airports" / "my_thirdparty");
    std::filesystem::current_path(folder);
}
