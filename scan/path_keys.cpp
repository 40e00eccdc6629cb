#include "scan/path_keys.h"

#include <string_view>

namespace fs = std::filesystem;

namespace {

// An absolute path without empty, "." or ".." parts and without a separator at its end: its own
// normal form.
bool lf_isNormalAbsolute(std::string_view text) {
    if (text.empty() || text.front() != '/') return false;
    if (text.size() == 1) return true;
    if (text.back() == '/') return false;
    std::size_t start = 1;
    while (start <= text.size()) {
        std::size_t end = text.find('/', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view part = text.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

fs::path lf_normalAbsolute(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    return (ec ? path : absolute).lexically_normal();
}

} // namespace

std::string gf_normalAbsoluteKey(const fs::path& path) {
    if (lf_isNormalAbsolute(path.native())) return path.native();
    return lf_normalAbsolute(path).generic_string();
}

std::string gf_relativeKey(const fs::path& base, const fs::path& file) {
    if (lf_isNormalAbsolute(base.native()) && lf_isNormalAbsolute(file.native())) {
        const std::string& baseText = base.native();
        const std::string& fileText = file.native();
        // Below the base: what follows it.
        if (baseText.size() > 1 && fileText.size() > baseText.size() + 1 && fileText.starts_with(baseText) &&
            fileText[baseText.size()] == '/')
            return fileText.substr(baseText.size() + 1);
    }
    const fs::path absolute = lf_normalAbsolute(file);
    const fs::path relative = absolute.lexically_relative(lf_normalAbsolute(base));
    return relative.empty() ? absolute.generic_string() : relative.generic_string();
}
