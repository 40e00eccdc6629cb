#pragma once
// Versions of three numbers, and the exception for conditions the user has to see.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

inline constexpr std::string_view gf_productName = "Skyloom";

struct VersionData {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;

    VersionData() = default;
    constexpr VersionData(std::uint32_t ma, std::uint32_t mi, std::uint32_t pa)
        : major(ma), minor(mi), patch(pa) {}
    // "1.2.3" (any one separator character), or a JSON object with "major", "minor", "patch".
    // Never throws: failures are logged and leave 0.0.0 (or the fields read so far).
    explicit VersionData(std::string_view text);

    // "{}.{}.{}"
    std::string toString() const;
    // major, then minor, then patch, each compared as signed 32-bit numbers.
    bool isNewerThan(const VersionData& other) const;
    friend bool operator==(const VersionData&, const VersionData&) = default;
};

// The program's own version.
extern const VersionData gf_programVersion;

namespace orv {

// The message is "{code}: {text}", or the text alone for code 99.
class UserErrorException : public std::exception {
public:
    UserErrorException(std::uint32_t code, std::string_view text);
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

} // namespace orv
