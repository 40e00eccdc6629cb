#include "core/version.h"

#include "test_support.h"

#include <algorithm>
#include <optional>
#include <random>

using namespace testing_support;

namespace {

class VersionTest : public WorkingFolderTest {};

TEST_F(VersionTest, ParsesTextAndJson) {
    openLog();
    struct Case {
        std::string text;
        VersionData expected;
        std::string logged; // part of the log line, empty for none
    };
    const std::vector<Case> cases{
        {"11.10.5", {11, 10, 5}, ""},
        {"11-10-5", {11, 10, 5}, ""},
        {"1a2b3", {1, 2, 3}, ""},
        {"12345", {1, 3, 5}, ""}, // the separators may be digits: the longest first runs win
        {"2024.1.10", {2024, 1, 10}, ""},
        {"1\n2.3", {0, 0, 0}, "VersionData exception: "}, // a line end is no separator
        {"11.10.5 ", {0, 0, 0}, "VersionData exception: "},
        {"", {0, 0, 0}, ""},
        {"11.10", {0, 0, 0}, ""}, // a JSON number, not an object
        {R"({"major": 2, "minor": 1})", {2, 1, 0}, ""},
        {"11.10.5.1", {0, 0, 0}, "VersionData exception: "},
        {"4294967296.1.1", {0, 0, 0}, "VersionData exception: parse error in version string"},
        {"1.4294967296.1", {1, 0, 0}, "VersionData exception: parse error in version string"},
        {R"({"major": 3, "minor": "x"})", {3, 0, 0}, "VersionData exception: "},
        // JSON numbers obey the same range as digit runs; true is no number.
        {R"({"major": 4294967295, "minor": 0.0, "patch": 7})", {4294967295u, 0, 7}, ""},
        {R"({"major": 3, "minor": 4294967296})",
         {3, 0, 0},
         "VersionData exception: parse error in version string"},
        {R"({"major": 3, "minor": -1})", {3, 0, 0}, "VersionData exception: parse error in version string"},
        {R"({"major": 3, "minor": 1.5})", {3, 0, 0}, "VersionData exception: parse error in version string"},
        {R"({"major": true})", {0, 0, 0}, "VersionData exception: [json.exception.type_error.302]"},
    };
    for (const auto& c : cases) {
        const auto before = logText().size();
        const VersionData v(c.text);
        EXPECT_EQ(v, c.expected) << c.text;
        const auto added = logText().substr(before);
        if (c.logged.empty())
            EXPECT_EQ(added, "") << c.text;
        else
            EXPECT_TRUE(added.starts_with(c.logged)) << c.text << " logged " << added;
    }
}

// The plain reading of the three-number form: every pair of separator positions, the longest first
// run first, then the longest second run; a separator is any character but a line end.
std::optional<VersionData> splitByTrial(const std::string& s) {
    const auto digits = [&](std::size_t from, std::size_t to) {
        return from < to && std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from),
                                        s.begin() + static_cast<std::ptrdiff_t>(to),
                                        [](char c) { return c >= '0' && c <= '9'; });
    };
    const auto separator = [&](std::size_t i) { return s[i] != '\n' && s[i] != '\r'; };
    for (std::size_t i = s.size(); i-- > 1;) {
        for (std::size_t j = s.size(); j-- > i + 1;) {
            if (digits(0, i) && separator(i) && digits(i + 1, j) && separator(j) && digits(j + 1, s.size()))
                return VersionData(static_cast<std::uint32_t>(std::stoul(s.substr(0, i))),
                                   static_cast<std::uint32_t>(std::stoul(s.substr(i + 1, j - i - 1))),
                                   static_cast<std::uint32_t>(std::stoul(s.substr(j + 1))));
        }
    }
    return std::nullopt;
}

TEST_F(VersionTest, SplitsLikeThePlainReadingOfTheForm) {
    const std::string alphabet = "0129.x\n\r";
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        std::string text(rng() % 10, ' ');
        for (char& c : text)
            c = alphabet[rng() % alphabet.size()];
        // Texts that do not match are no JSON objects either.
        ASSERT_EQ(VersionData(text), splitByTrial(text).value_or(VersionData()))
            << testing::PrintToString(text);
    }
    // A long text is read in one pass: it does not match and is no JSON either.
    EXPECT_EQ(VersionData(std::string(20000, '1') + "x"), VersionData());
    EXPECT_EQ(VersionData("1." + std::string(20000, '0') + "2.3"), VersionData(1, 2, 3));
}

TEST_F(VersionTest, PrintsAndCompares) {
    EXPECT_EQ(VersionData(11, 10, 5).toString(), "11.10.5");
    EXPECT_EQ(VersionData().toString(), "0.0.0");
    EXPECT_EQ(gf_programVersion.toString(), "11.10.5");

    struct Case {
        VersionData a, b;
        bool newer;
    };
    for (const auto& c : std::vector<Case>{
             {{11, 10, 5}, {11, 9, 40}, true},
             {{11, 10, 5}, {11, 10, 5}, false},
             {{11, 10, 6}, {11, 10, 5}, true},
             {{12, 0, 0}, {11, 99, 99}, true},
             {{11, 9, 99}, {11, 10, 0}, false},
             {{0, 0, 1}, {0, 0, 0}, true},
             {{0x80000000u, 0, 0}, {1, 0, 0}, false}, // compared as signed numbers
         }) {
        EXPECT_EQ(c.a.isNewerThan(c.b), c.newer) << c.a.toString() << " vs " << c.b.toString();
    }
}

TEST_F(VersionTest, UserErrorMessages) {
    EXPECT_STREQ(orv::UserErrorException(41, "Run me").what(), "41: Run me");
    EXPECT_STREQ(orv::UserErrorException(99, "Run me").what(), "Run me");
    try {
        throw orv::UserErrorException(150, "no install path");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "150: no install path");
    }
}

} // namespace
