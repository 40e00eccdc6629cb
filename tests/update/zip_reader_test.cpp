#include "tests/update/update_fixture.h"
#include "update/zip_reader.h"

namespace update_test {
namespace {

TEST(ZipNames, UnsafeNamesAreRefused) {
    const struct {
        const char* name;
        bool symlink;
        bool refused;
    } cases[] = {
        {"EHAM.xml", false, false},
        {"folder/sub/EHAM.xml", false, false},
        {"folder/", false, false},
        {"README", false, false},
        {"../x.xml", false, true},
        {"a/../../x.xml", false, true},
        {"a/..", false, true},
        {"/abs/x.xml", false, true},
        {"//server/share/x.xml", false, true},
        {"C:/x.xml", false, true},
        {"c:x.xml", false, true},
        {"link.xml", true, true},
        {"bad\nname.xml", false, true},
        {"tab\there.xml", false, true},
        {"folder/.xml", false, true},
        {"folder/..xml", false, true},
        {"", false, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(!gf_zipNameRefusal(c.name, c.symlink).empty(), c.refused) << c.name;
}

class ZipReaderTest : public UpdateTest {};

TEST_F(ZipReaderTest, BackslashesReadAsSlashesAndOnlyTheLastComponentIsUsed) {
    const fs::path zip = temp / "a.zip";
    makeZip(zip, {{"folder\\EHAM.xml", "<a/>"}, {"dir/", ""}, {"C:\\x.xml", "x"}, {"a\\..\\..\\x.xml", "x"}});
    ZipReader reader;
    ASSERT_TRUE(reader.open(zip, gf_addonZipLimits(), nullptr));
    const auto& e = reader.entries();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].name, "folder/EHAM.xml");
    EXPECT_EQ(e[0].fileName, "EHAM.xml");
    EXPECT_EQ(e[0].stem, "EHAM");
    EXPECT_TRUE(e[0].refusal.empty());
    EXPECT_TRUE(e[1].folder);
    EXPECT_EQ(e[2].refusal, "absolute path");
    EXPECT_EQ(e[3].refusal, "\"..\" in the path");
    std::string text;
    EXPECT_TRUE(reader.readText(e[0], text, nullptr));
    EXPECT_EQ(text, "<a/>");
    std::string error;
    EXPECT_FALSE(reader.readText(e[3], text, &error));
    EXPECT_EQ(error, "\"..\" in the path");
}

TEST_F(ZipReaderTest, CapsAndDamageFailTheEntryOrTheArchive) {
    ZipLimits small{1000, 1500, 3};
    const fs::path zip = temp / "a.zip";
    makeZip(zip, {{"a.xml", std::string(900, 'a')},
                  {"b.xml", std::string(900, 'b')},
                  {"c.xml", std::string(1001, 'c')}});
    ZipReader reader;
    ASSERT_TRUE(reader.open(zip, small, nullptr));
    EXPECT_TRUE(reader.entries()[0].refusal.empty());
    EXPECT_NE(reader.entries()[1].refusal.find("more than 1500"), std::string::npos);
    EXPECT_NE(reader.entries()[2].refusal.find("above the limit"), std::string::npos);

    // More entries than allowed: the archive is not opened at all.
    makeZip(zip, {{"1.xml", ""}, {"2.xml", ""}, {"3.xml", ""}, {"4.xml", ""}});
    std::string error;
    EXPECT_FALSE(reader.open(zip, small, &error));
    EXPECT_NE(error.find("more than 3"), std::string::npos);

    // A checksum error fails the entry.
    makeZip(zip, {{"a.xml", "checksummed content", false, true}});
    patchFile(zip, "checksummed", "CHECKSUMMED");
    ASSERT_TRUE(reader.open(zip, small, nullptr));
    std::string text;
    EXPECT_FALSE(reader.readText(reader.entries()[0], text, &error));
    EXPECT_NE(error.find("CRC"), std::string::npos) << error;
    EXPECT_FALSE(gf_zipVerify(zip, small, nullptr));

    // An entry that declares less than it holds is cut off where it passes its declared size.
    makeZip(zip, {{"a.xml", std::string(100'000, '\0')}});
    const auto le32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    };
    std::string bytes = readFile(zip);
    for (auto at = bytes.find(le32(100'000)); at != std::string::npos; at = bytes.find(le32(100'000), at))
        bytes.replace(at, 4, le32(900));
    writeFile(zip, bytes);
    ASSERT_TRUE(reader.open(zip, small, &error)) << error;
    EXPECT_EQ(reader.entries()[0].size, 900u);
    std::size_t delivered = 0;
    EXPECT_FALSE(reader.read(
        reader.entries()[0],
        [&](const char*, std::size_t n) {
            delivered += n;
            return true;
        },
        &error));
    EXPECT_LE(delivered, 900u);
    EXPECT_NE(error.find("more than 900"), std::string::npos) << error;

    // A cut-off archive does not open.
    makeZip(zip, {{"a.xml", std::string(500, 'a')}});
    bytes = readFile(zip);
    writeFile(zip, bytes.substr(0, bytes.size() / 2));
    EXPECT_FALSE(reader.open(zip, small, nullptr));
}

} // namespace
} // namespace update_test
