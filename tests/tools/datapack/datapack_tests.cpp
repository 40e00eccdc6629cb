#include "refdata/data_files.h"
#include "tools/datapack/datapack.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int runPacker(const std::string& arguments) {
    const int status =
        std::system((std::string("\"") + DATAPACK_EXE + "\" " + arguments + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DatapackTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("skyloom-datapack-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(DatapackTool, EncryptsForTheProgram) {
    const std::string plain = "<root>" + std::string(9000, 'x') + "</root>";
    std::ofstream(dir / "in.xml", std::ios::binary) << plain;
    ASSERT_EQ(
        runPacker("encrypt \"" + (dir / "in.xml").string() + "\" \"" + (dir / "out.enc").string() + "\""), 0);
    ASSERT_TRUE(gf_streamDecrypt(dir / "out.enc", dir / "back.xml"));
    EXPECT_EQ(readFile(dir / "back.xml"), plain);
}

TEST_F(DatapackTool, ReportsUsageAndFailures) {
    EXPECT_EQ(runPacker(""), 2);
    EXPECT_EQ(runPacker("decrypt a b"), 2);
    EXPECT_EQ(
        runPacker("encrypt \"" + (dir / "absent.xml").string() + "\" \"" + (dir / "out.enc").string() + "\""),
        1);
}

// The build packs data/*.xml into the program's input folder.
TEST_F(DatapackTool, BuildLeavesTheDataFilesInInput) {
    const std::filesystem::path input = std::filesystem::path(SKYLOOM_BINARY_DIR) / "run" / "input";
    for (const std::string name : {"airports", "dbase", "AIG-regcodes"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(gf_streamDecrypt(input / (name + ".enc"), dir / (name + ".xml")));
        EXPECT_EQ(readFile(dir / (name + ".xml")),
                  readFile(std::filesystem::path(SKYLOOM_SOURCE_DIR) / "data" / (name + ".xml")));
    }
}

} // namespace
