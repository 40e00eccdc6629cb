#include "core/textfile.h"

#include "test_support.h"

#include <csignal>
#include <optional>

#include <sys/resource.h>

using namespace testing_support;

namespace {

class TextFileTest : public WorkingFolderTest {
protected:
    fs::path file(std::string_view bytes, std::string_view name = "f.txt") {
        const auto p = folder / name;
        writeFile(p, bytes);
        return p;
    }
};

TEST_F(TextFileTest, DetectsTheCharsetFromMarksZeroBytesAndUtf8Validity) {
    const std::string ascii4096(4096, 'a');
    std::string straddling(5000, 'a');
    straddling[4095] = '\xC3'; // a two-byte character across the end of the detection window
    straddling[4096] = '\xA9';
    std::string cutByWindow(5000, 'a');
    cutByWindow[4094] = '\xE0'; // a three-byte sequence that the window's end cuts is not judged
    cutByWindow[4095] = 'A';
    struct Case {
        std::string bytes;
        Charset expected;
    };
    const std::vector<Case> cases{
        {"", Charset::UTF8_without_BOM},
        {"A", Charset::UTF8_without_BOM},
        {"\xE9", Charset::ANSI}, // one byte: no mark checks, judged as UTF-8
        {std::string("A\0B\0", 4), Charset::Unicode},
        {std::string("\0A\0B", 4), Charset::Unicode_big_endian},
        {std::string("A\0", 2), Charset::Unicode},
        {std::string("\0A", 2), Charset::Unicode_big_endian},
        {"\xFF\xFE"
         "A",
         Charset::Unicode},
        {"\xFE\xFF", Charset::Unicode_big_endian},
        {"\xEF\xBB\xBFtext", Charset::UTF8_with_BOM},
        {"caf\xC3\xA9", Charset::UTF8_without_BOM},
        {"caf\xE9 au lait", Charset::ANSI},
        {"\xE0\x80\x80", Charset::ANSI}, // overlong
        {"\xED\xA0\x80", Charset::UTF8_without_BOM},
        {"\xC0\x80", Charset::ANSI},
        {"\xF0\x8F\xBF\xBF", Charset::ANSI}, // overlong four-byte form
        {"\xF4\x90\x80\x80", Charset::ANSI}, // beyond U+10FFFF
        {"\xF0\x9F\x98\x80", Charset::UTF8_without_BOM},
        {"x\x80y", Charset::ANSI},        // stray continuation byte
        {"abcdefghi\xC3", Charset::ANSI}, // the file's end cuts the sequence
        {straddling, Charset::UTF8_without_BOM},
        {cutByWindow, Charset::UTF8_without_BOM},
        {"abc\xE0"
         "A",
         Charset::ANSI},                                         // the same bytes cut by the file's end
        {ascii4096 + "\xFF\xFE\xC0", Charset::UTF8_without_BOM}, // beyond the window
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(gf_detectCharset(file(cases[i].bytes)), cases[i].expected) << "case " << i;
    }
    EXPECT_EQ(gf_detectCharset(folder / "missing.txt"), Charset::none_found);
    EXPECT_EQ(gf_detectCharset(folder.path()), Charset::none_found); // a folder is no text file
}

// One text stored in every encoding reads back as the same lines. Its first two characters lie below
// U+0100 (as the zero-byte detection of unmarked UTF-16 needs) and its Windows-1252 form is not UTF-8.
TEST_F(TextFileTest, EveryEncodingOfOneTextReadsAsTheSameLines) {
    const std::u16string text = u"Zürich – Köln\r\n\r\n€ 5 für Straße\nlast line ½";
    const std::string utf8 = wide_to_utf8(text);
    std::string le;
    std::string be;
    for (char16_t c : text) {
        le += static_cast<char>(c & 0xFF);
        le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    // Windows-1252: the en dash is 0x96 and the euro sign 0x80.
    const std::string cp1252 = "Z\xFCrich \x96 K\xF6ln\r\n\r\n\x80 5 f\xFCr Stra\xDF"
                               "e\nlast line \xBD";
    const std::vector<std::string> expected{"Zürich – Köln", "", "€ 5 für Straße", "last line ½"};

    struct Case {
        std::string name;
        std::string bytes;
        Charset charset;
    };
    const std::vector<Case> cases{
        {"utf16le-bom", "\xFF\xFE" + le, Charset::Unicode},
        {"utf16le", le, Charset::Unicode},
        {"utf16be-bom", "\xFE\xFF" + be, Charset::Unicode_big_endian},
        {"utf16be", be, Charset::Unicode_big_endian},
        {"utf8-bom", "\xEF\xBB\xBF" + utf8, Charset::UTF8_with_BOM},
        {"utf8", utf8, Charset::UTF8_without_BOM},
        {"ansi", cp1252, Charset::ANSI},
    };
    for (const auto& c : cases) {
        const auto p = file(c.bytes, c.name);
        const Charset detected = gf_detectCharset(p);
        EXPECT_EQ(detected, c.charset) << c.name;
        std::vector<std::string> lines{"stale"};
        EXPECT_TRUE(gf_readLinesByCharset(detected, p, lines)) << c.name;
        EXPECT_EQ(lines, expected) << c.name;
    }
}

// The charset is judged on the first 4096 bytes; a Windows-1252 text further on must not reach the
// program as invalid UTF-8: each line that is not UTF-8 is read as Windows-1252, the others as they are.
TEST_F(TextFileTest, LinesThatAreNotUtf8AfterTheDetectionWindowAreReadAsWindows1252) {
    std::string bytes;
    while (bytes.size() < 4200)
        bytes += "// an ASCII comment that fills the detection window\r\n";
    bytes += "title = \"Boeing 777-200ER Austrian Caf\xE9\"\r\n";
    bytes += "atc_id = OE-LPA \x80\n";
    bytes += "description = d\xC3\xA9j\xC3\xA0 vu\n";
    bytes += "x = \xED\xA0\x80 \xC3\n";
    const fs::path path = file(bytes);
    const Charset charset = gf_detectCharset(path);
    for (const Charset declared : {charset, Charset::UTF8_with_BOM}) {
        std::vector<std::string> lines;
        ASSERT_TRUE(gf_readLinesByCharset(declared, path, lines));
        ASSERT_GE(lines.size(), 4u);
        const std::vector<std::string> tail(lines.end() - 4, lines.end());
        EXPECT_EQ(tail, (std::vector<std::string>{"title = \"Boeing 777-200ER Austrian Caf\xC3\xA9\"",
                                                  "atc_id = OE-LPA \xE2\x82\xAC",
                                                  "description = d\xC3\xA9j\xC3\xA0 vu",
                                                  "x = \xC3\xAD\xC2\xA0\xE2\x82\xAC \xC3\x83"}));
        for (const std::string& line : lines)
            EXPECT_NO_THROW(utf8_to_wide(line)) << line;
    }
    EXPECT_EQ(charset, Charset::UTF8_without_BOM);
}

TEST_F(TextFileTest, SplitsLinesAtLineFeedsAndDropsOneCarriageReturn) {
    struct Case {
        std::string buffer;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases{
        {"", {}},
        {"a\n", {"a"}},
        {"\n", {""}},
        {"a\n\nb\r\n", {"a", "", "b"}},
        {"a\r\r\nb", {"a\r", "b"}},
        {"\xEF\xBB\xBFx\ny", {"x", "y"}},
        {"\xEF\xBB\xBF", {}},
        {"no end", {"no end"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines{"kept"};
        gf_splitLines(c.buffer, lines);
        std::vector<std::string> expected{"kept"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(lines, expected) << c.buffer;
    }
}

TEST_F(TextFileTest, Utf16EdgeCases) {
    std::vector<std::string> lines;
    // An odd number of bytes after the mark gives no lines.
    EXPECT_TRUE(gf_readLinesByCharset(Charset::Unicode,
                                      file(std::string("\xFF\xFE"
                                                       "A\0B",
                                                       5),
                                           "odd"),
                                      lines));
    EXPECT_TRUE(lines.empty());
    // Without a mark the order comes from the charset; a mark overrides it.
    EXPECT_TRUE(gf_readLinesByCharset(Charset::Unicode, file(std::string("A\0B\0", 4), "le"), lines));
    EXPECT_EQ(lines, std::vector<std::string>{"AB"});
    EXPECT_TRUE(gf_readLinesByCharset(Charset::Unicode, file(std::string("\xFE\xFF\0A\0B", 6), "be"), lines));
    EXPECT_EQ(lines, std::vector<std::string>{"AB"});
    // A non-BMP character as a surrogate pair.
    EXPECT_TRUE(gf_readLinesByCharset(Charset::Unicode,
                                      file(std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "pair"), lines));
    EXPECT_EQ(lines, std::vector<std::string>{"\xF0\x9F\x98\x80"});
}

TEST_F(TextFileTest, ReadFailuresAreShownAndLoggedNeverThrown) {
    std::vector<std::string> shown;
    gf_coreHooks().showMessage = [&](std::string_view text, bool log) {
        EXPECT_TRUE(log);
        shown.emplace_back(text);
    };
    std::vector<std::string> lines{"stale"};
    lines.reserve(100);

    // An unpaired surrogate.
    const auto bad = file(std::string("\xFF\xFE\x00\xD8", 4), "bad.txt");
    EXPECT_FALSE(gf_readLinesByCharset(Charset::Unicode, bad, lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_GE(lines.capacity(), 100u);
    // A charset without a reading.
    const auto good = file("x\n", "good.txt");
    EXPECT_FALSE(gf_readLinesByCharset(Charset::none_found, good, lines));
    EXPECT_FALSE(gf_readLinesByCharset(static_cast<Charset>(9), good, lines));
    // A file that cannot be opened fails quietly.
    EXPECT_FALSE(gf_readLinesByCharset(Charset::UTF8_without_BOM, folder / "missing.txt", lines));
    for (const Charset charset : {Charset::ANSI, Charset::Unicode, Charset::UTF8_with_BOM})
        EXPECT_FALSE(gf_readLinesByCharset(charset, folder.path(), lines)); // a folder, likewise

    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], fmt::format("Read failed for '{}': wide_to_utf8: invalid UTF-16", bad.string()));
    EXPECT_EQ(shown[1], fmt::format("Read failed for '{}': file {} has unknown charset: none_found",
                                    good.string(), good.string()));
    EXPECT_EQ(shown[2], fmt::format("Read failed for '{}': invalid map<K, T> key", good.string()));

    // Without a status line the message still reaches the log.
    gf_resetCoreHooks();
    openLog();
    EXPECT_FALSE(gf_readLinesByCharset(Charset::Unicode, bad, lines));
    EXPECT_NE(logText().find("Read failed for '"), std::string::npos);
}

TEST_F(TextFileTest, Utf8WithMarkLosesEvenADoubledMark) {
    std::vector<std::string> lines;
    EXPECT_TRUE(gf_readLinesByCharset(Charset::UTF8_with_BOM,
                                      file("\xEF\xBB\xBF\xEF\xBB\xBF"
                                           "first\nsecond"),
                                      lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));
}

TEST_F(TextFileTest, CharsetNames) {
    EXPECT_EQ(gf_charsetName(Charset::ANSI), "ANSI");
    EXPECT_EQ(gf_charsetName(Charset::UTF8_without_BOM), "UTF8_without_BOM");
    EXPECT_EQ(gf_charsetName(Charset::none_found), "none_found");
    try {
        gf_charsetName(static_cast<Charset>(9));
        FAIL() << "expected std::out_of_range";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid map<K, T> key");
    }
}

TEST_F(TextFileTest, AnsiConversionCoversTheWindows1252Range) {
    EXPECT_EQ(ansi_to_utf8(""), "");
    EXPECT_EQ(ansi_to_utf8("plain"), "plain");
    EXPECT_EQ(ansi_to_utf8("\x80\x85\x96\x9F"), "€…–Ÿ");
    EXPECT_EQ(ansi_to_utf8("\xA0\xE9\xFF"), "\xC2\xA0"
                                            "é"
                                            "ÿ");
    EXPECT_EQ(ansi_to_utf8("\x81"), "\xC2\x81"); // unassigned: kept as the C1 control
}

TEST_F(TextFileTest, TextFileReadsLinesOrReportsOpenFailed) {
    TextFile missing(folder / "missing.txt");
    const auto failed = missing.readLines(10);
    ASSERT_TRUE(std::holds_alternative<TextFile::Error>(failed));
    EXPECT_EQ(std::get<TextFile::Error>(failed).text, "open_failed");
    EXPECT_TRUE(missing.lines.empty());
    TextFile aFolder(folder.path());
    const auto folderRead = aFolder.readLines(10);
    ASSERT_TRUE(std::holds_alternative<TextFile::Error>(folderRead));
    EXPECT_EQ(std::get<TextFile::Error>(folderRead).text, "open_failed");

    TextFile present(file("\xEF\xBB\xBF"
                          "one\r\ntwo\n"));
    const auto read = present.readLines(2);
    ASSERT_TRUE(std::holds_alternative<std::span<const std::string>>(read));
    const auto span = std::get<std::span<const std::string>>(read);
    EXPECT_EQ(std::vector<std::string>(span.begin(), span.end()), (std::vector<std::string>{"one", "two"}));
}

TEST_F(TextFileTest, WritersWriteBinaryLinesAndReplaceTheOldFile) {
    const auto p = folder / "out.txt";
    writeFile(p, "old content that is longer than the new one\n");
    EXPECT_TRUE(gf_writeLines(std::vector<std::string>{"a", "", "b"}, p));
    EXPECT_EQ(readFile(p), "a\n\nb\n");
    EXPECT_TRUE(gf_writeLines(std::list<std::string>{"x", "y"}, p));
    EXPECT_EQ(readFile(p), "x\ny\n");
    EXPECT_TRUE(gf_writeLines(std::vector<std::string>{}, p));
    EXPECT_TRUE(fs::exists(p));
    EXPECT_EQ(readFile(p), "");
    EXPECT_TRUE(gf_writeTextFile("1.2.3", p, false));
    EXPECT_EQ(readFile(p), "1.2.3");
    EXPECT_TRUE(gf_writeTextFile("1.2.3", p, true));
    EXPECT_EQ(readFile(p), "1.2.3\n");
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);

    EXPECT_FALSE(gf_writeTextFile("x", folder / "no-such-folder" / "f.txt", true));
}

// A write that fails half-way (here: the file-size limit, as a full disk would) is reported, and the old
// file stays as it was.
TEST_F(TextFileTest, AFailedWriteIsReportedAndKeepsTheOldFile) {
    const auto p = folder / "list.txt";
    writeFile(p, "old\n");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = gf_writeLines(std::vector<std::string>(500, "a line of text"), p);
    const bool textWritten = gf_writeTextFile(std::string(4096, 'x'), p, true);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);

    EXPECT_FALSE(written);
    EXPECT_FALSE(textWritten);
    EXPECT_EQ(readFile(p), "old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

} // namespace
