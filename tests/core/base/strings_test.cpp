#include "core/strings.h"

#include "core/run_control.h"
#include "core/scan_tasks.h"
#include "test_support.h"
#include "tests/support/eventually.h"

#include <future>
#include <limits>
#include <thread>

#include <gsl/narrow>

using namespace testing_support;

namespace {

class StringsTest : public WorkingFolderTest {};

using Pieces = std::vector<std::string>;

TEST_F(StringsTest, TrimSplitAndNormalise) {
    EXPECT_EQ(gf_trim(" \tx y\r\n"), "x y");
    EXPECT_EQ(gf_trim("\t\t"), "");
    EXPECT_EQ(gf_trim(""), "");
    EXPECT_EQ(gf_trim("\vx\f"), "\vx\f"); // only the four blank-set characters
    // Values from outside files also end in Unicode blanks: no-break space, the typographic spaces,
    // the ideographic space, a stray byte-order mark. Inside the text they stay.
    for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{
             {"HB-JNA\xC2\xA0", "HB-JNA"},
             {"\xC2\xA0 HB-JNA \xC2\xA0\t", "HB-JNA"},
             {"\xE2\x80\xAF"
              "Caf\xC3\xA9\xE3\x80\x80",
              "Caf\xC3\xA9"},
             {"\xEF\xBB\xBFtitle\xE2\x80\x83", "title"},
             {"a\xC2\xA0"
              "b",
              "a\xC2\xA0"
              "b"},
             {"\xC2\xA0\xE2\x80\x8A", ""},
             {"x\xC3\xA0", "x\xC3\xA0"}, // a letter whose last byte equals the space's is kept
             {"\xA0x\xC2", "\xA0x\xC2"}, // lone bytes are no blanks
         })
        EXPECT_EQ(gf_trim(in), out) << in;
    EXPECT_EQ(gf_splitAndTrim("HB-JNA\xC2\xA0, HB-JNB", ','), (Pieces{"HB-JNA", "HB-JNB"}));

    struct Split {
        std::string text;
        Pieces pieces;
    };
    for (const auto& c : std::vector<Split>{{"", {}},
                                            {",", {"", ""}},
                                            {"AIG, FSLTL", {"AIG", "FSLTL"}},
                                            {"a,,b,", {"a", "", "b", ""}},
                                            {",a", {"", "a"}},
                                            {" one piece ", {"one piece"}}}) {
        EXPECT_EQ(gf_splitAtComma(c.text), c.pieces) << c.text;
        const auto list = gf_splitAtCommaToList(c.text);
        EXPECT_EQ(Pieces(list.begin(), list.end()), c.pieces) << c.text;
    }
    EXPECT_EQ(gf_splitAndTrim("a; b ;c", ';'), (Pieces{"a", "b", "c"}));

    struct Normalise {
        std::string in, out;
    };
    for (const auto& c : std::vector<Normalise>{{"", ""},
                                                {"AIG,FSLTL", "AIG,FSLTL"},
                                                {"AIG, FSLTL", "AIG,FSLTL"},
                                                {" My Pack , Other\t", "My Pack,Other"},
                                                {"a,\n", "a,"},
                                                {"SWR\xC2\xA0", "SWR"},
                                                {"Caf\xC3\xA9,\xE3\x80\x80x", "Caf\xC3\xA9,x"}}) {
        std::string text = c.in;
        gf_normalizeCommaList(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST_F(StringsTest, ComparisonsAndTypeCodes) {
    EXPECT_TRUE(gf_equalsAsUpper(".XML", ".xml"));
    EXPECT_TRUE(gf_equalsAsUpper(".XML", ".XmL"));
    EXPECT_FALSE(gf_equalsAsUpper(".XML", ".xmll"));
    EXPECT_FALSE(gf_equalsAsUpper(".XML", ".xm"));
    // Upper-casing is ASCII only: the bytes of "é" are never changed.
    EXPECT_EQ(gf_toUpperChar('\xE9'), '\xE9');
    EXPECT_EQ(gf_toUpperChar('z'), 'Z');
    EXPECT_EQ(gf_toUpperChar('{'), '{');

    EXPECT_TRUE(gf_equalsWithStar("A320", "A320*"));
    EXPECT_FALSE(gf_equalsWithStar("A320", "A320"));
    EXPECT_FALSE(gf_equalsWithStar("A320", "A321*"));
    EXPECT_FALSE(gf_equalsWithStar("A320", "A320**"));

    for (const char* code : {"GLID", "GND", "BALL", "SHIP", "ABCDE"})
        EXPECT_TRUE(gf_isNonAircraftType(code)) << code;
    for (const char* code : {"A320", "", "glid", "B7"})
        EXPECT_FALSE(gf_isNonAircraftType(code)) << code;
}

TEST_F(StringsTest, NumberTexts) {
    EXPECT_EQ(gf_oid2string(255), "255");
    gf_coreHooks().simulatorIs2020 = [] { return false; };
    EXPECT_EQ(gf_oid2string(255), "ff");
    EXPECT_EQ(gf_oid2string(0xFFFFFFFFu), "ffffffff");

    EXPECT_EQ(gf_float2string(2.5f), "2.5");
    EXPECT_EQ(gf_float2string(24.0f), "24");

    struct Percent {
        std::int64_t part, whole;
        std::int32_t result;
    };
    for (const auto& c : std::vector<Percent>{
             {1, 3, 33}, {2, 3, 67}, {5, 0, 0}, {5, -2, 0}, {1, 200, 1}, {-1, 200, -1}, {3, 2, 150}}) {
        EXPECT_EQ(gf_percentage(c.part, c.whole), c.result) << c.part << "/" << c.whole;
    }
    EXPECT_EQ(gf_roundedPercent(1, 3), 33);
    EXPECT_THROW(gf_percentage(100'000'000, 1), gsl::narrowing_error);
    EXPECT_THROW(gf_percentage(std::numeric_limits<std::int64_t>::max(), 1), gsl::narrowing_error);

    EXPECT_EQ(gf_plural(std::int64_t{0}), "s");
    EXPECT_EQ(gf_plural(std::int64_t{1}), "");
    EXPECT_EQ(gf_plural(std::int32_t{-3}), "");
    EXPECT_EQ(gf_plural(std::int32_t{2}), "s");
    EXPECT_EQ(gf_plural(std::uint64_t{1}), "");
    EXPECT_EQ(gf_plural(std::uint64_t{0}), "s");
}

TEST_F(StringsTest, StarBanner) {
    const std::string stars10(10, '*');
    EXPECT_EQ(gf_starBanner(10, 11, false, false, "parameters"), stars10 + " parameters " + stars10);
    EXPECT_EQ(gf_starBanner(3, 3, false, false, "a much longer text"), "a much longer text");
    EXPECT_EQ(gf_starBanner(3, 3, true, false, "a much longer text"), "\na much longer text");
    EXPECT_EQ(gf_starBanner(4, 3, true, true, ""), "\n********\n");
    EXPECT_EQ(gf_starBanner(3, 3, false, false, "abcd"), "abcd"); // W must exceed length + 2
    EXPECT_EQ(gf_starBanner(4, 3, false, false, "abcd"), "*** abcd ***");
}

TEST_F(StringsTest, RandomChoicesFollowTheRandomSetting) {
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(gf_randomIndex(1), 0);
        EXPECT_EQ(gf_randomIndex(0), 0);
        const auto idx = gf_randomIndex(7);
        EXPECT_TRUE(idx >= 0 && idx < 7);
    }
    std::vector<std::string> one{"only"};
    gf_shuffle(one);
    EXPECT_EQ(one, Pieces{"only"});

    Pieces many;
    for (int i = 0; i < 50; ++i)
        many.push_back(std::to_string(i));
    auto shuffled = many;
    gf_shuffle(shuffled);
    EXPECT_TRUE(std::is_permutation(shuffled.begin(), shuffled.end(), many.begin()));

    gf_coreHooks().randomEnabled = [] { return false; };
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(gf_randomIndex(1000), 0);
    auto unchanged = many;
    gf_shuffle(unchanged);
    EXPECT_EQ(unchanged, many);

    // gf_varyByPercent does not look at RANDOM.
    for (int i = 0; i < 20; ++i) {
        const double v = gf_varyByPercent(2.5, 10.0);
        EXPECT_TRUE(v == 2.5 + 0.25 || v == 2.5 - 0.25) << v;
    }
    EXPECT_EQ(gf_varyByPercent(5.0, 0.0), 5.0);
    EXPECT_EQ(gf_varyByPercent(5.0, -3.0), 5.0);
}

TEST_F(StringsTest, EachThreadHasItsOwnEngine) {
    std::mt19937* mine = &gf_randomEngine();
    std::mt19937* other = nullptr;
    std::thread([&] { other = &gf_randomEngine(); }).join();
    EXPECT_NE(mine, other);
    EXPECT_EQ(mine, &gf_randomEngine());
}

TEST_F(StringsTest, Utf8AndUtf16ConversionsRejectInvalidInput) {
    EXPECT_EQ(utf8_to_wide(""), u"");
    EXPECT_EQ(wide_to_utf8(u""), "");
    const std::string mixed = "A é € 😀";
    EXPECT_EQ(utf8_to_wide(mixed), u"A é € 😀");
    EXPECT_EQ(wide_to_utf8(utf8_to_wide(mixed)), mixed);

    for (const std::string bad : {"\xC3\x28", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xE2\x82",
                                  "\xF4\x90\x80\x80", "\x80", "\xFF", "ok\xC3"}) {
        try {
            utf8_to_wide(bad);
            ADD_FAILURE() << "accepted invalid UTF-8";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "utf8_to_wide: invalid UTF-8");
        }
    }
    for (const std::u16string& bad :
         {std::u16string(1, u'\xD800'), std::u16string(1, u'\xDC00'), std::u16string{u'\xD800', u'A'},
          std::u16string{u'A', u'\xDFFF', u'\xD800'}}) {
        try {
            wide_to_utf8(bad);
            ADD_FAILURE() << "accepted invalid UTF-16";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "wide_to_utf8: invalid UTF-16");
        }
    }
    EXPECT_EQ(path_to_utf8(fs::path("airports") / "Zürich.xml"), "airports/Zürich.xml");
}

TEST_F(StringsTest, ScanTaskLimitIsAtLeastOne) {
    gf_setScanTaskLimit(0);
    EXPECT_EQ(gf_scanTaskLimit(), 1);
    gf_setScanTaskLimit(-4);
    EXPECT_EQ(gf_scanTaskLimit(), 1);
    gf_runningScanTasks = 7;
    gf_resetScanTasks();
    EXPECT_GE(gf_scanTaskLimit(), 1);
    EXPECT_EQ(gf_runningScanTasks.load(), 0);
}

TEST_F(StringsTest, WaitForTaskSlotBlocksUntilATaskEnds) {
    gf_resetScanTasks();
    gf_setScanTaskLimit(2);
    gf_runningScanTasks = 1;
    gf_waitForTaskSlot(); // a free slot: returns at once
    EXPECT_EQ(gf_taskSlotWaits.load(), 0u);

    gf_runningScanTasks = 2;
    std::atomic<bool> through{false};
    std::thread waiter([&] {
        gf_waitForTaskSlot();
        through = true;
    });
    // The waiter tests the full count again and again and stays in the wait...
    const bool held = testing_support::eventually([] { return gf_taskSlotWaits.load() >= 3; });
    EXPECT_TRUE(held) << "the wait never blocked";
    EXPECT_FALSE(through.load());
    // ...until a task ends.
    gf_runningScanTasks.fetch_sub(1);
    waiter.join();
    EXPECT_TRUE(through);
    gf_resetScanTasks();
}

// Tasks stuck on a slow file system never give their slot back: a stop or a close ends the wait.
TEST_F(StringsTest, WaitForTaskSlotEndsOnAStopOrAClose) {
    for (const StopReason reason : {StopReason::NewSettings, StopReason::UserClosedSim}) {
        SCOPED_TRACE(static_cast<int>(reason));
        gf_resetScanTasks();
        runControl.reset();
        gf_setScanTaskLimit(2);
        gf_runningScanTasks = 2;
        auto ended = std::make_shared<std::promise<void>>();
        std::future<void> waited = ended->get_future();
        std::thread([ended] {
            gf_waitForTaskSlot();
            ended->set_value();
        }).detach();
        EXPECT_TRUE(testing_support::eventually([] { return gf_taskSlotWaits.load() >= 3; }));
        EXPECT_EQ(waited.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
        gf_requestStop(reason, 0);
        EXPECT_EQ(waited.wait_for(std::chrono::seconds(5)), std::future_status::ready)
            << "the wait did not end on the stop";
        runControl.reset();
    }
    gf_runningScanTasks = 0;
    gf_resetScanTasks();
}

} // namespace
