#pragma once
// A test's own temporary folder.

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace testing_support {

// A fresh folder under the temporary folder ("<prefix>-XXXXXX"), removed with everything in it at the
// end.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "skyloom-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }

private:
    std::filesystem::path path_;
};

// The current folder moved into `folder` for the life of the object, then back where it was: for a test
// whose code writes files relative to the current folder.
class InFolder {
public:
    explicit InFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~InFolder() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::filesystem::path previous_;
};

} // namespace testing_support
