#include "platform/os/rights.h"

#include <fcntl.h>
#include <unistd.h>

namespace os {

namespace {

bool lf_isUnder(const std::filesystem::path& folder, const std::filesystem::path& root) {
    auto f = folder.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++f) {
        if (r->empty()) continue; // a trailing separator
        if (f == folder.end() || *f != *r) return false;
    }
    return true;
}

} // namespace

bool isUnderProgramFolder(const std::filesystem::path& folder) {
    const std::filesystem::path absolute = folder.is_absolute() ? folder : std::filesystem::absolute(folder);
    return lf_isUnder(absolute.lexically_normal(), "/usr") || lf_isUnder(absolute.lexically_normal(), "/opt");
}

bool isFolderWritable(const std::filesystem::path& folder) {
    const std::filesystem::path probe = folder / ".write_test.tmp";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const char zero = 0;
    const bool written = ::write(fd, &zero, 1) == 1;
    ::close(fd);
    ::unlink(probe.c_str());
    return written;
}

bool isElevated() {
    return ::geteuid() == 0;
}

bool installerNeedsAdministrator(const std::filesystem::path& folder) {
    return isUnderProgramFolder(folder) && !isFolderWritable(folder) && !isElevated();
}

} // namespace os
