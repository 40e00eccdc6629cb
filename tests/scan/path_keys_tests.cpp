// The keys of the scan's files: the quick way for paths that are already absolute and normal gives
// what the lexical functions give for every path.

#include "scan/path_keys.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string lf_slowKey(const fs::path& path) {
    return fs::absolute(path).lexically_normal().generic_string();
}

std::string lf_slowRelative(const fs::path& base, const fs::path& file) {
    const fs::path absolute = fs::absolute(file).lexically_normal();
    const fs::path relative = absolute.lexically_relative(fs::absolute(base).lexically_normal());
    return relative.empty() ? absolute.generic_string() : relative.generic_string();
}

TEST(ScanPathKeys, AgreeWithTheLexicalFormsForEveryKindOfPath) {
    const fs::path base = "/w/airports";
    for (const char* text :
         {"/w/airports/my_thirdparty/LSZH.xml", "/w/airports", "/w/airports/", "/w/airportsX/a.xml",
          "/w/airports/./my_thirdparty/a.xml", "/w/airports/x/../my_simaddon/a.txt", "/w//airports/a.xml",
          "/w/airports/my_thirdparty/", "/elsewhere/a.xml", "/", "relative/a.xml", "/w/airports/.hidden",
          "/w/airports/..a/b"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(gf_normalAbsoluteKey(text), lf_slowKey(text));
        EXPECT_EQ(gf_relativeKey(base, text), lf_slowRelative(base, text));
        EXPECT_EQ(gf_relativeKey("/w/airports/", text), lf_slowRelative("/w/airports/", text));
    }
}

} // namespace
