#include "refdata_fixture.h"

#include <csignal>
#include <random>

#include <sys/resource.h>

namespace {

std::string randomBytes(std::size_t size) {
    std::mt19937 engine(static_cast<std::uint32_t>(size));
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(engine() & 0xff);
    return bytes;
}

class ContainerTest : public RefdataTest {
protected:
    std::filesystem::path enc() const { return input / "data.enc"; }
    std::filesystem::path plain() const { return input / "data.xml"; }
    void pack(const std::string& bytes, const datapack::EncryptOptions& options = {}) {
        packInput("data.enc", bytes, options);
    }
    void truncateContainer(std::uintmax_t size) { std::filesystem::resize_file(enc(), size); }
};

TEST_F(ContainerTest, RoundTripsByteForByte) {
    struct Case {
        std::size_t size;
        bool separateFinal;
    };
    // Full chunks, a short last chunk, an empty file, and a FINAL chunk of 17 bytes (0 plain bytes).
    for (const Case c : {Case{0, false}, Case{1, false}, Case{4095, false}, Case{4096, false},
                         Case{4097, false}, Case{3 * 4096 + 5, false}, Case{0, true}, Case{8192, true}}) {
        SCOPED_TRACE(testing::Message()
                     << "size " << c.size << (c.separateFinal ? " with empty FINAL chunk" : ""));
        const std::string bytes = randomBytes(c.size);
        pack(bytes, {.finalTag = true, .separateFinalChunk = c.separateFinal});
        ASSERT_TRUE(gf_streamDecrypt(enc(), plain()));
        EXPECT_EQ(readFile(plain()), bytes);
    }
    const std::size_t chunks = 2;
    pack(randomBytes(4096 * chunks), {.finalTag = true, .separateFinalChunk = true});
    EXPECT_EQ(std::filesystem::file_size(enc()), 24 + chunks * 4113 + 17);
}

// Nothing marks where a short last chunk ends, so the bytes after it arrive in the same read.
TEST_F(ContainerTest, IgnoresDataAfterTheFinalChunk) {
    struct Case {
        std::size_t plainSize;
        bool separateFinal;
        std::size_t trailer;
    };
    // A full-size FINAL chunk, short FINAL chunks followed by less and by more than a chunk, and an
    // empty FINAL chunk of 17 bytes.
    for (const Case c :
         {Case{8192, false, 300}, Case{5000, false, 300}, Case{5000, false, 5000}, Case{4096, true, 100}}) {
        SCOPED_TRACE(testing::Message() << "size " << c.plainSize << ", trailer " << c.trailer);
        const std::string bytes = randomBytes(c.plainSize);
        pack(bytes, {.finalTag = true, .separateFinalChunk = c.separateFinal});
        std::ofstream(enc(), std::ios::binary | std::ios::app) << randomBytes(c.trailer + 1);
        ASSERT_TRUE(gf_streamDecrypt(enc(), plain()));
        EXPECT_EQ(readFile(plain()), bytes);
    }
}

TEST_F(ContainerTest, WrongKeyFailsAndLeavesNoPlainFile) {
    const std::filesystem::path source = dir / "source";
    writeFile(source, randomBytes(5000));
    std::array<std::uint8_t, 32> otherKey{};
    otherKey.fill(7);
    datapack::encryptFile(otherKey, source, enc());
    EXPECT_FALSE(gf_streamDecrypt(enc(), plain()));
    EXPECT_FALSE(std::filesystem::exists(plain()));
    EXPECT_NE(logText().find("gf_streamDecrypt exception: Decryption failed\n"), std::string::npos);
}

// A cut-off download must not pass for a complete file.
TEST_F(ContainerTest, IncompleteContainersFail) {
    struct Case {
        const char* what;
        std::size_t plainSize;
        bool finalTag;
        std::uintmax_t cutTo; // 0: keep the whole container
        const char* logged;
    };
    const Case cases[] = {
        {"no FINAL tag at all", 5000, false, 0, "Incomplete stream"},
        {"cut at a chunk boundary", 9000, true, 24 + 4113, "Incomplete stream"},
        {"cut within a chunk", 9000, true, 24 + 4113 + 100, "Decryption failed"},
        {"header only", 9000, true, 24, "Incomplete stream"},
        {"short header", 9000, true, 10, "Incomplete header"},
        {"empty file", 9000, true, 0, "Incomplete header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pack(randomBytes(c.plainSize), {.finalTag = c.finalTag});
        if (c.cutTo > 0 || std::string_view(c.what) == "empty file") truncateContainer(c.cutTo);
        writeFile(plain(), "stale");
        const std::size_t logBefore = logText().size();
        EXPECT_FALSE(gf_streamDecrypt(enc(), plain()));
        EXPECT_FALSE(std::filesystem::exists(plain()));
        EXPECT_NE(logText().substr(logBefore).find(std::string("gf_streamDecrypt exception: ") + c.logged),
                  std::string::npos);
    }
}

TEST_F(ContainerTest, UnopenableFilesFail) {
    writeFile(plain(), "stale");
    EXPECT_FALSE(gf_streamDecrypt(input / "absent.enc", plain()));
    EXPECT_FALSE(std::filesystem::exists(plain()));
    EXPECT_NE(logText().find("gf_streamDecrypt exception: Could not open input file: " +
                             (input / "absent.enc").string()),
              std::string::npos);

    pack("<root/>");
    const std::filesystem::path unwritable = input / "no-such-folder" / "data.xml";
    EXPECT_FALSE(gf_streamDecrypt(enc(), unwritable));
    EXPECT_NE(
        logText().find("gf_streamDecrypt exception: Could not open output file: " + unwritable.string()),
        std::string::npos);
}

// A plain file that could not be written whole (here: the file-size limit, as a full disk would) is
// a failure, also when the loss shows only when the file is closed.
TEST_F(ContainerTest, AFailedWriteOfThePlainFileFails) {
    // Small enough to stay in the stream's buffer until the file is closed.
    pack(randomBytes(900));
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool decrypted = gf_streamDecrypt(enc(), plain());
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
    EXPECT_FALSE(decrypted);
    EXPECT_FALSE(std::filesystem::exists(plain()));
    EXPECT_NE(logText().find("gf_streamDecrypt exception: Could not write output file: " + plain().string()),
              std::string::npos);
}

TEST_F(ContainerTest, RemoveIfExists) {
    gf_removeIfExists(input / "absent.xml");
    EXPECT_EQ(logText().find("Warning"), std::string::npos);

    writeFile(plain(), "x");
    gf_removeIfExists(plain());
    EXPECT_FALSE(std::filesystem::exists(plain()));

    // A folder that is not empty cannot be removed: logged as an error line, not thrown.
    std::filesystem::create_directories(dir / "busy" / "inner");
    EXPECT_NO_THROW(gf_removeIfExists(dir / "busy"));
    EXPECT_NE(logText().find("==> Warning: could not remove " + (dir / "busy").string() + ", errorcode: "),
              std::string::npos);
}

} // namespace
